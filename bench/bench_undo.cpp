// The undo journal's cost: a bulk tag run over 10,000 files with the journal against the same
// run without it (the journal's one sync at the end of the batch reported apart), and the
// undo of those 10,000 files. Every figure is the median of interleaved rounds, with its
// spread. Prints figures; never fails a test run.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "bench/benchtree.h"
#include "editing/bulktagrun.h"
#include "editing/journalfile.h"
#include "editing/journalset.h"
#include "editing/tagjournal.h"

using bench::median;
using bench::spread;

namespace {

class SilentBulk final : public editing::IBulkTagReport
{
public:
    void written(std::size_t) override { }
};

class SilentRestore final : public editing::IRestoreReport
{
public:
    void restored(const editing::RestoredFile &) override { }
};

bool writeFile(const std::string &path, const std::string &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && ok;
}

// Half the files tagged (the tag replaced in place), half not (a tag appended).
std::string fileBytes(std::size_t i)
{
    std::string bytes(600 + (i * 37) % 3500, '\0');
    for (std::size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<char>((k * 131 + i) & 0xFF);
    bytes[0] = '\xFF';
    bytes[1] = '\xFB';
    if (i % 2 == 0) {
        std::string tag = "TAG" + std::string(124, ' ') + '\x0C';
        tag.replace(3, 8, "Song " + std::to_string(i % 1000));
        bytes += tag.substr(0, 128);
    }
    return bytes;
}

std::vector<double> ms(std::vector<double> values)
{
    for (double &value : values)
        value *= 1000;
    return values;
}

} // namespace

int main()
{
    // BELLWICK_BENCH_FILES and BELLWICK_BENCH_ROUNDS change the run's size for a quick look.
    const char *files = std::getenv("BELLWICK_BENCH_FILES");
    const char *rounds = std::getenv("BELLWICK_BENCH_ROUNDS");
    const std::size_t Files
        = files ? static_cast<std::size_t>(std::max(1, std::atoi(files))) : 10000;
    const int Rounds = rounds ? std::max(1, std::atoi(rounds)) : 5;
    const bench::TemporaryStateFolders states;
    char pattern[] = "/tmp/bellwick-bench-undo-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    std::vector<std::string> paths, originals;
    for (std::size_t i = 0; i < Files; ++i) {
        const std::string folder = root + "/d" + std::to_string(i / 100);
        if (i % 100 == 0)
            ::mkdir(folder.c_str(), 0755);
        paths.push_back(folder + "/f" + std::to_string(i) + ".mp3");
        originals.push_back(fileBytes(i));
    }
    // Every timed run starts with nothing waiting to be written back, so that no run pays
    // for the writing of the one before.
    const auto settle = [] { ::sync(); };
    const auto reset = [&] {
        for (std::size_t i = 0; i < Files; ++i) {
            if (!writeFile(paths[i], originals[i])) {
                std::perror(paths[i].c_str());
                std::exit(1);
            }
        }
        settle();
    };
    reset();

    tags::TagMerge merge;
    merge.texts[static_cast<std::size_t>(tags::TextField::Artist)]
        = tags::TextChange::set("Bench Artist");
    merge.genre = {tags::GenreChange::Kind::Set, 17};
    const std::shared_ptr<editing::TagJournal> journal = editing::TagJournal::open();
    if (!journal) {
        std::fprintf(
            stderr, "bench_undo: no journal can be written in %s\n", states.root().c_str());
        return 1;
    }

    std::vector<double> plain, journaled, sync, undo, ratio, reading;
    for (int round = 0; round < Rounds; ++round) {
        // Without the journal, on the files as they were.
        SilentBulk bulkReport;
        editing::FileTagWriter fileWriter;
        long long start = bench::nowNanoseconds();
        editing::runBulkTagSetting(paths, merge, fileWriter, bulkReport);
        plain.push_back(bench::secondsSince(start));
        reset();

        // With it: the run, then the batch's end (its one sync) apart. What the round before
        // appended is read first, as the window reads it whenever its menu opens; that
        // reading is reported apart too.
        settle();
        start = bench::nowNanoseconds();
        journal->nextUndo();
        reading.push_back(bench::secondsSince(start));
        {
            editing::JournaledTagWriter writer(journal, nullptr);
            start = bench::nowNanoseconds();
            writer.beginBatch("タグ一括設定");
            editing::runBulkTagSetting(paths, merge, writer, bulkReport);
            journaled.push_back(bench::secondsSince(start));
            start = bench::nowNanoseconds();
            writer.endBatch();
            sync.push_back(bench::secondsSince(start));
        }
        ratio.push_back(journaled.back() / plain.back());

        // The undo brings every file back as it was, ready for the next round.
        settle();
        SilentRestore restoreReport;
        start = bench::nowNanoseconds();
        const editing::RestoreResult result = editing::undoLatest(*journal, restoreReport);
        undo.push_back(bench::secondsSince(start));
        if (result.restored != Files || !result.leftAlone.empty()) {
            std::fprintf(
                stderr, "bench_undo: undo restored %zu of %zu files\n", result.restored, Files);
            return 1;
        }
    }

    int met = 0, goals = 0;
    bench::report("bulk_run_without_journal", median(plain) * 1000, spread("ms", ms(plain)).c_str(),
        "reference", true);
    bench::report("bulk_run_with_journal", median(journaled) * 1000,
        spread("ms", ms(journaled)).c_str(), "reference", true);
    ++goals;
    met += bench::report("journal_cost", median(ratio), spread("x without journal", ratio).c_str(),
        "<= 1.3", median(ratio) <= 1.3);
    bench::report("journal_read_of_round_before", median(reading) * 1000,
        spread("ms", ms(reading)).c_str(), "reported apart", true);
    bench::report("journal_sync_at_batch_end", median(sync) * 1000, spread("ms", ms(sync)).c_str(),
        "reported apart", true);
    ++goals;
    met += bench::report(("undo_" + std::to_string(Files) + "_files").c_str(), median(undo),
        spread("s", undo).c_str(), "< 5 s", median(undo) < 5);
    std::printf("journal: %lld bytes after %d rounds\n",
        static_cast<long long>(editing::journalsOf(*journal).front()->size()), Rounds);
    std::printf("goals met: %d/%d\n", met, goals);
    bench::removeTree(root);
    return 0;
}
