// The export to ID3v2 of many 4 MiB files: rewritten (no tag before, the whole file written
// anew and flushed) against cp followed by sync of the same files, and written in place (a
// tag with room for the new frames) against rewritten, in the same run. Medians of five
// interleaved rounds. Prints figures; never fails a test run.

#include <sys/statvfs.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "platform/error.h"
#include "tags/id3v2export.h"
#include "tags/tagfile.h"

namespace {

constexpr std::size_t FileSize = 4u << 20;
constexpr int Rounds = 5;

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool run(const std::string &command)
{
    return std::system(command.c_str()) == 0;
}

std::string name(int i)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "/f%04d.mp3", i);
    return buffer;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
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
    struct statvfs fs
    {
    };
    const double needed = 2 * mib * (1 << 20) + (1u << 30);
    if (::statvfs(root.c_str(), &fs) != 0
        || static_cast<double>(fs.f_bavail) * fs.f_frsize < needed) {
        std::printf("not enough free space under /tmp for %.0f MiB; nothing measured\n",
            needed / (1 << 20));
        run("rm -rf '" + root + "'");
        std::printf("goals met: 0/2\n");
        return 0;
    }

    // Audio stand-in bytes and an ID3v1 tag; no ID3v2 tag, so the first export rewrites.
    std::vector<char> data(FileSize - tags::BlockSize);
    unsigned state = 1;
    for (char &byte : data) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    data[0] = '\xFF';
    data[1] = '\xFB';
    for (int i = 0; i < count; ++i) {
        const int fd = ::open((src + name(i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const tags::Block block = titleBlock(0, i);
        if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())
            || ::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
            std::perror("write");
            run("rm -rf '" + root + "'");
            return 1;
        }
        ::close(fd);
    }
    ::sync();

    std::vector<double> cpRates, rewriteRates, inPlaceRates;
    int failures = 0, unexpected = 0;
    bool cpOk = true;
    for (int round = 0; round < Rounds; ++round) {
        ::mkdir(dst.c_str(), 0755);
        auto start = std::chrono::steady_clock::now();
        cpOk = run("cp --reflink=never '" + src + "'/*.mp3 '" + dst + "'/ && sync") && cpOk;
        cpRates.push_back(count / seconds(start));
        run("rm -rf '" + dst + "' && sync");

        start = std::chrono::steady_clock::now();
        tags::TagRegionBatch batch;
        for (int i = 0; i < count; ++i) {
            try {
                const tags::ExportPlan plan = tags::exportToId3v2(src + name(i), {}, batch);
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
            tags::WriteTagBlock(src + name(i), titleBlock(round + 1, i));
        ::sync();
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) {
            try {
                const tags::ExportPlan plan
                    = tags::exportToId3v2(src + name(i), {platform::CodePage::Cp932, true});
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
                const tags::ExportSource source = tags::readExportSource(src + name(i));
                tags::TagRegionChange change;
                change.oldRegion = source.oldTag;
                change.fileSize = source.fileSize;
                restore.add(src + name(i), change);
            } catch (const platform::Error &) {
                ++failures;
            }
        }
        failures += static_cast<int>(restore.finish().size());
        ::sync();
    }
    run("rm -rf '" + root + "'");

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
