// A bulk tag run and a copy of many files killed at random points. A tagged file must be
// its old bytes, its new bytes or, for an append, its old bytes followed by a prefix of the
// new block; a copy's destination must be exactly what was there before or exactly the
// source, never a part of it under the destination's name.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <random>
#include <thread>

#include <unistd.h>

#include "fileops/filetransfer.h"
#include "tags/tagfile.h"
#include "tests/support/killtest.h"
#include "tests/support/testtree.h"

using testing_support::audioBytes;
using testing_support::killedAtRandomPoint;
using testing_support::readBytes;
using testing_support::tagBytes;
using testing_support::timeOf;

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

    const std::function<void()> runAll = [&] {
        for (const std::string &path : paths)
            tags::WriteTagBlock(path, merge);
    };
    for (int i = 0; i < Files; ++i)
        tree.file("f" + std::to_string(i) + ".mp3", olds[i]);
    const std::chrono::microseconds runTime = timeOf(runAll);

    std::mt19937 random(12345);
    int checked = 0, neither = 0, partial = 0, torn = 0, killedMidRun = 0;
    for (int trial = 0; trial < Trials; ++trial) {
        for (int i = 0; i < Files; ++i)
            tree.file("f" + std::to_string(i) + ".mp3", olds[i]);
        const int status = killedAtRandomPoint(runAll, runTime, random);
        ASSERT_NE(status, -1);
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

TEST(KillSafety, CopyOfManyFilesKilledAtRandomPoints)
{
    constexpr int Trials = 200;
    constexpr int Files = 40;
    testing_support::TempTree tree;
    std::vector<std::string> sources, destinations, contents, olds;
    for (int i = 0; i < Files; ++i) {
        const std::string name = "f" + std::to_string(i) + ".mp3";
        contents.push_back(audioBytes(16 * 1024 + 4099 * i, i));
        sources.push_back(tree.file("src/" + name, contents.back()));
        destinations.push_back(tree.path("dst/" + name));
        // Every other destination is there already, with other and fewer bytes.
        olds.push_back(i % 2 == 0 ? audioBytes(1000 + 10 * i, 100 + i) : std::string());
    }
    tree.folder("dst");
    const auto resetDestinations = [&] {
        for (const std::string &name : testing_support::listNames(tree.path("dst")))
            ::unlink(tree.path("dst/" + name).c_str());
        for (int i = 0; i < Files; ++i) {
            if (!olds[i].empty())
                tree.file("dst/f" + std::to_string(i) + ".mp3", olds[i]);
        }
    };
    const std::function<void()> copyAll = [&] {
        for (int i = 0; i < Files; ++i)
            fileops::copyFile(sources[i], destinations[i]);
    };
    resetDestinations();
    const std::chrono::microseconds runTime = timeOf(copyAll);

    std::mt19937 random(54321);
    int checked = 0, neither = 0, shorter = 0, temporaries = 0, killedMidRun = 0;
    for (int trial = 0; trial < Trials; ++trial) {
        resetDestinations();
        const int status = killedAtRandomPoint(copyAll, runTime, random);
        ASSERT_NE(status, -1);

        int copied = 0;
        for (int i = 0; i < Files; ++i) {
            ++checked;
            const bool there = testing_support::exists(destinations[i]);
            const std::string now = there ? readBytes(destinations[i]) : std::string();
            const bool isOld = olds[i].empty() ? !there : now == olds[i];
            const bool isNew = there && now == contents[i];
            copied += isNew;
            neither += !isOld && !isNew;
            shorter += there && !isOld && now.size() < contents[i].size();
            EXPECT_TRUE(isOld || isNew) << "trial " << trial << ", file " << i;
            EXPECT_TRUE(readBytes(sources[i]) == contents[i]) << "trial " << trial;
        }
        // A kill between naming the copy and renaming it over an existing file may leave a
        // dot-name behind; never anything the scan would take for audio.
        for (const std::string &name : testing_support::listNames(tree.path("dst"))) {
            if (name.rfind(".bellwick-", 0) == 0) {
                ++temporaries;
                EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
            } else {
                EXPECT_EQ(name.substr(0, 1), "f") << name;
            }
        }
        killedMidRun += WIFSIGNALED(status) && copied > 0 && copied < Files;
    }
    std::printf("copy kill safety: %d trials, %d files checked, %d neither old nor new, %d "
                "shorter than the source, %d temporary names left, %d kills in mid-run (run "
                "%lld us)\n",
        Trials, checked, neither, shorter, temporaries, killedMidRun,
        static_cast<long long>(runTime.count()));
    EXPECT_EQ(neither, 0);
    EXPECT_EQ(shorter, 0);
    EXPECT_GT(killedMidRun, 0);
}
