// The export to ID3v2 of many 4 MiB files: rewritten (no tag before, the whole file written
// anew and flushed) against cp followed by sync of the same files, and written in place (a
// tag with room for the new frames) against rewritten, in the same run. Medians of five
// interleaved rounds. Prints figures; never fails a test run.

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "bench/benchfiles.h"
#include "bench/benchtree.h"
#include "platform/error.h"
#include "tags/id3v2export.h"
#include "tags/tagfile.h"

using bench::median;
using bench::numberedName;
using bench::runCommand;

namespace {

constexpr std::size_t FileSize = 4u << 20;
constexpr int Rounds = 5;

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A title per round, so that each in-place export has a frame to replace.
tags::Block titleBlock(int round, int file)
{
    tags::CompleteTag tag;
    tag.texts[static_cast<int>(tags::TextField::Title)]
        = "\x83\x65\x83\x58\x83\x67 " + std::to_string(round) + "-" + std::to_string(file);
    tag.texts[static_cast<int>(tags::TextField::Artist)] = "Artist";
    tag.genre = 17;
    return tags::completeBlock(tag);
}

} // namespace

int main()
{
    int count = 1000;
    if (const char *files = std::getenv("BELLWICK_BENCH_FILES"))
        count = std::max(1, std::atoi(files));
    const double mib = static_cast<double>(count) * FileSize / (1 << 20);

    char pattern[] = "/tmp/bellwick-bench-export-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    const std::string src = root + "/src";
    const std::string dst = root + "/dst";
    ::mkdir(src.c_str(), 0755);
    if (!bench::hasFreeSpace(root, 2 * mib * (1 << 20) + (1u << 30))) {
        runCommand("rm -rf '" + root + "'");
        std::printf("goals met: 0/2\n");
        return 0;
    }

    // Audio stand-in bytes and an ID3v1 tag; no ID3v2 tag, so the first export rewrites.
    std::vector<char> data = bench::noiseBytes(FileSize - tags::BlockSize);
    data[0] = '\xFF';
    data[1] = '\xFB';
    for (int i = 0; i < count; ++i) {
        const int fd = ::open((src + numberedName(i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const tags::Block block = titleBlock(0, i);
        if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())
            || ::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
            std::perror("write");
            runCommand("rm -rf '" + root + "'");
            return 1;
        }
        ::close(fd);
    }
    ::sync();

    std::vector<double> cpRates, rewriteRates, inPlaceRates;
    int failures = 0, unexpected = 0;
    bool cpOk = true;
    for (int round = 0; round < Rounds; ++round) {
        const double cpSeconds = bench::copyAndSyncSeconds(src, dst);
        cpOk = cpSeconds >= 0 && cpOk;
        cpRates.push_back(count / std::max(cpSeconds, 1e-9));

        auto start = std::chrono::steady_clock::now();

        tags::TagRegionBatch batch;
        for (int i = 0; i < count; ++i) {
            try {
                const tags::ExportPlan plan = tags::exportToId3v2(src + numberedName(i), {}, batch);
                unexpected += plan.state == tags::ExportState::NewTag ? 0 : 1;
            } catch (const platform::Error &) {
                ++failures;
            }
        }
        failures += static_cast<int>(batch.finish().size());
        ::sync();
        rewriteRates.push_back(count / seconds(start));

        // A new ID3v1 title (not timed), then the export replaces TIT2 within the padding.
        for (int i = 0; i < count; ++i)
            tags::WriteTagBlock(src + numberedName(i), titleBlock(round + 1, i));
        ::sync();
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) {
            try {
                const tags::ExportPlan plan
                    = tags::exportToId3v2(src + numberedName(i), {platform::CodePage::Cp932, true});
                unexpected += plan.writes() && plan.region.inPlace() ? 0 : 1;
            } catch (const platform::Error &) {
                ++failures;
            }
        }
        ::sync();
        inPlaceRates.push_back(count / seconds(start));

        // Back to files without an ID3v2 tag for the next round (not timed).
        tags::TagRegionBatch restore;
        for (int i = 0; i < count; ++i) {
            try {
                const tags::ExportSource source = tags::readExportSource(src + numberedName(i));
                tags::TagRegionChange change;
                change.oldRegion = source.oldTag;
                change.fileSize = source.fileSize;
                restore.add(src + numberedName(i), change);
            } catch (const platform::Error &) {
                ++failures;
            }
        }
        failures += static_cast<int>(restore.finish().size());
        ::sync();
    }
    runCommand("rm -rf '" + root + "'");

    const double cp = median(cpRates), rewritten = median(rewriteRates),
                 inPlace = median(inPlaceRates);
    std::printf("files: %d of %zu MiB, rounds: %d, cp: %s, failures: %d, unexpected plans: %d\n",
        count, FileSize >> 20, Rounds, cpOk ? "ok" : "failed", failures, unexpected);
    std::printf("cp_sync_rate: %.1f files/s\n", cp);
    std::printf("rewritten_rate: %.1f files/s (goal: >= 0.8 of cp_sync_rate, %.2f)\n", rewritten,
        rewritten / cp);
    std::printf("in_place_rate: %.1f files/s (goal: >= 20 times rewritten_rate, %.1f)\n", inPlace,
        inPlace / rewritten);
    const bool ok = cpOk && failures == 0 && unexpected == 0;
    const int met = (ok && rewritten >= 0.8 * cp) + (ok && inPlace >= 20 * rewritten);
    std::printf("goals met: %d/2\n", met);
    return 0;
}
