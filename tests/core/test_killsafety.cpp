// A bulk tag run killed at random points: every file must be its old bytes, its new bytes,
// or, for an append, its old bytes followed by a prefix of the new block.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <random>
#include <thread>

#include <unistd.h>

#include "tags/tagfile.h"
#include "tests/support/testtree.h"

using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::tagBytes;

namespace {

enum class Outcome { Old, New, PartialAppend, TornAtPage, Other };

Outcome outcomeOf(const std::string &now, const std::string &old, const std::string &added,
    bool append, const std::string &whole)
{
    if (now == old)
        return Outcome::Old;
    if (now == whole)
        return Outcome::New;
    if (append && now.size() > old.size() && now.size() < whole.size()
        && now.compare(0, old.size(), old) == 0
        && now.compare(old.size(), std::string::npos, added, 0, now.size() - old.size()) == 0)
        return Outcome::PartialAppend;
    // A write in place that spans a page boundary can stop at it, as an append can: the new
    // bytes up to the boundary, the old ones after.
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t at = old.size() - added.size();
    const std::size_t boundary = (at / page + 1) * page;
    if (!append && boundary < old.size() && now.size() == old.size()
        && now == old.substr(0, at) + added.substr(0, boundary - at) + old.substr(boundary))
        return Outcome::TornAtPage;
    return Outcome::Other;
}

} // namespace

TEST(KillSafety, BulkTagRunKilledAtRandomPoints)
{
    constexpr int Trials = 200;
    constexpr int Files = 100;
    testing_support::TempTree tree;
    tags::TagMerge merge;
    merge.texts[static_cast<int>(tags::TextField::Artist)] = tags::TextChange::set("Killed");
    merge.texts[static_cast<int>(tags::TextField::Comment)] = tags::TextChange::erase();
    merge.genre = {tags::GenreChange::Kind::Set, 17};

    std::vector<std::string> paths, olds, wholes, blocks;
    std::vector<bool> appends;
    for (int i = 0; i < Files; ++i) {
        const bool tagged = i % 2 == 0;
        std::string old = audioBytes(1000 + 37 * i, i);
        std::optional<tags::Block> present;
        if (tagged) {
            const std::string tag = tagBytes("Song", "Artist", "Album", "1999", "Note", 3);
            old += tag;
            present.emplace();
            std::copy(tag.begin(), tag.end(), present->begin());
        }
        const tags::Block merged = tags::mergedBlock(present, merge);
        const std::string block(merged.data(), merged.size());
        paths.push_back(tree.path("f" + std::to_string(i) + ".mp3"));
        olds.push_back(old);
        blocks.push_back(block);
        appends.push_back(!tagged);
        wholes.push_back(tagged ? old.substr(0, old.size() - 128) + block : old + block);
    }

    // How long a whole run takes, so the kills fall inside it.
    const auto runAll = [&] {
        for (const std::string &path : paths)
            tags::WriteTagBlock(path, merge);
    };
    for (int i = 0; i < Files; ++i)
        tree.file("f" + std::to_string(i) + ".mp3", olds[i]);
    const auto start = std::chrono::steady_clock::now();
    runAll();
    const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);

    std::mt19937 random(12345);
    int checked = 0, neither = 0, partial = 0, torn = 0, killedMidRun = 0;
    for (int trial = 0; trial < Trials; ++trial) {
        for (int i = 0; i < Files; ++i)
            tree.file("f" + std::to_string(i) + ".mp3", olds[i]);
        int started[2];
        ASSERT_EQ(::pipe(started), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            (void)!::write(started[1], "s", 1);
            runAll();
            ::_exit(0);
        }
        char c;
        (void)!::read(started[0], &c, 1);
        ::close(started[0]);
        ::close(started[1]);
        // A point in the run, or a little after its end.
        std::this_thread::sleep_for(
            std::chrono::microseconds(random() % (runTime.count() * 5 / 4 + 1)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        int written = 0;
        for (int i = 0; i < Files; ++i) {
            const Outcome outcome
                = outcomeOf(readBytes(paths[i]), olds[i], blocks[i], appends[i], wholes[i]);
            ++checked;
            neither += outcome == Outcome::Other;
            partial += outcome == Outcome::PartialAppend;
            torn += outcome == Outcome::TornAtPage;
            written += outcome == Outcome::New;
            EXPECT_NE(outcome, Outcome::Other) << "trial " << trial << ", file " << i;
        }
        killedMidRun += WIFSIGNALED(status) && written > 0 && written < Files;
    }
    std::printf("kill safety: %d trials, %d files checked, %d neither old nor new, %d partial "
                "appends, %d in-place writes torn at a page boundary, %d kills in mid-run "
                "(run %lld us)\n",
        Trials, checked, neither, partial, torn, killedMidRun,
        static_cast<long long>(runTime.count()));
    EXPECT_EQ(neither, 0);
    EXPECT_GT(killedMidRun, 0);
}
