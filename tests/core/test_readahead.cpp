// The scan with tags read ahead on reader threads against the same walk reading each file
// in its turn: the same files, tags and order, the same stop at the same file with the same
// message, a prompt end on request with no reader left, and tags the program writes during
// a scan read again.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include <unistd.h>

#include "lists/readahead.h"
#include "platform/error.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using testing_support::audioBytes;
using testing_support::tagBytes;
using Call = testing_support::FaultyFileSystem::Call;

namespace {

struct Outcome
{
    std::vector<std::pair<std::string, tags::TTagRecord>> files;
    std::string message;
};

Outcome readEachInTurn(const std::string &root)
{
    Outcome outcome;
    try {
        lists::scanFolder(root, [&](const std::string &path, tags::FileKind kind) {
            outcome.files.emplace_back(path, tags::ReadTag(path, kind));
        });
    } catch (const platform::Error &error) {
        outcome.message = error.what();
    }
    return outcome;
}

Outcome readAhead(const std::string &root, const lists::WalkStep &step = {})
{
    Outcome outcome;
    try {
        lists::scanFolderReadingAhead(
            root,
            [&](const std::string &path, const tags::TTagRecord &tag) {
                outcome.files.emplace_back(path, tag);
            },
            step);
    } catch (const platform::Error &error) {
        outcome.message = error.what();
    }
    return outcome;
}

std::size_t liveThreads()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto &task : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

std::string title(int i)
{
    return "T" + std::to_string(i);
}

class ReadAhead : public ::testing::Test
{
protected:
    // 8 folders of 40 files, some nested, each file with its own tag, some without one.
    void makeCollection()
    {
        for (int f = 0; f < 8; ++f) {
            const std::string folder = (f % 2 ? "n/" : "") + std::string("d") + std::to_string(f);
            for (int i = 0; i < 40; ++i) {
                const int n = f * 40 + i;
                tree.file(folder + "/" + std::to_string(100 + i) + ".mp3",
                    audioBytes(200 + n) + (n % 7 ? tagBytes(title(n), "A", "B", "2001") : ""));
            }
        }
    }
    testing_support::TempTree tree;
};

} // namespace

TEST_F(ReadAhead, GivesWhatReadingEachFileInItsTurnGivesAndStopsAtTheSameFile)
{
    makeCollection();
    tree.symlink("links/folder", "../d0"); // entered once: d0 is walked first
    tree.symlink("links/song.mp3", "../d2/105.mp3");
    tree.symlink("n/d3/dangling.mp3", "missing.mp3");
    const std::string fifo = tree.path("d4/120a.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string unreadable = tree.file("d6/110a.mp3", audioBytes(300) + tagBytes("U"));
    // Changed between the walk and the read, just before their open: a new tag, a tail cut
    // off, a file gone.
    const std::string retagged = tree.path("n/d5/107.mp3");
    const std::string cut = tree.path("d6/103.mp3");
    const std::string gone = tree.file("n/d7/130a.mp3", audioBytes(400) + tagBytes("Gone"));
    const std::string goneBytes = testing_support::readBytes(gone);
    std::set<std::string> broken = {tree.path("n/d3/dangling.mp3"), fifo, unreadable, gone};

    const auto scanBoth = [&]() -> std::pair<Outcome, Outcome> {
        std::pair<Outcome, Outcome> both;
        for (const bool ahead : {false, true}) {
            tree.file("n/d5/107.mp3", audioBytes(300) + tagBytes("Before"));
            tree.file("d6/103.mp3", audioBytes(300) + tagBytes("Whole"));
            if (broken.count(gone))
                tree.file("n/d7/130a.mp3", goneBytes);
            testing_support::FaultyFileSystem fs;
            if (broken.count(unreadable))
                fs.fail(Call::Open, unreadable, EACCES);
            fs.before(Call::Open, retagged,
                [&] { tree.file("n/d5/107.mp3", audioBytes(300) + tagBytes("After")); });
            fs.before(Call::Open, cut, [&] { ::truncate(cut.c_str(), 100); });
            if (broken.count(gone))
                fs.before(Call::Open, gone, [&] { ::unlink(gone.c_str()); });
            const platform::ScopedFileSystem installed(fs);
            (ahead ? both.second : both.first)
                = ahead ? readAhead(tree.root()) : readEachInTurn(tree.root());
        }
        return both;
    };

    // Each broken file in walk order ends the scan with its own message; once it is
    // mended (or gone), the next one does.
    std::vector<std::string> stops;
    for (;;) {
        const auto [inTurn, ahead] = scanBoth();
        ASSERT_EQ(ahead.message, inTurn.message);
        ASSERT_EQ(ahead.files.size(), inTurn.files.size());
        for (std::size_t i = 0; i < inTurn.files.size(); ++i) {
            ASSERT_EQ(ahead.files[i].first, inTurn.files[i].first) << i;
            ASSERT_EQ(ahead.files[i].second, inTurn.files[i].second) << inTurn.files[i].first;
        }
        if (inTurn.message.empty()) {
            EXPECT_GT(inTurn.files.size(), 320u);
            // A structured binding cannot be captured in C++17: the lambda takes a reference.
            const auto &aheadFiles = ahead.files;
            const auto tagOf = [&aheadFiles](const std::string &path) {
                for (const auto &[p, tag] : aheadFiles) {
                    if (p == path)
                        return tag.Title.substr(
                            0, tag.Title.find_last_not_of(std::string(" \0", 2)) + 1);
                }
                return std::string("(no row)");
            };
            EXPECT_EQ(tagOf(retagged), "After");
            EXPECT_EQ(tagOf(cut), "");
            break;
        }
        const std::string path = inTurn.message.substr(std::string("ファイル ").size(),
            inTurn.message.size() - std::string("ファイル ").size()
                - std::string(" は開けません").size());
        ASSERT_EQ(broken.erase(path), 1u) << inTurn.message;
        stops.push_back(path.substr(tree.root().size() + 1));
        if (path != unreadable && path != gone) {
            ASSERT_EQ(::unlink(path.c_str()), 0);
        }
    }
    EXPECT_EQ(stops,
        (std::vector<std::string> {
            "d4/120a.mp3", "d6/110a.mp3", "n/d3/dangling.mp3", "n/d7/130a.mp3"}));
}

TEST_F(ReadAhead, AStopRequestEndsTheScanAtOnceWithNoReaderLeft)
{
    makeCollection();
    const Outcome all = readEachInTurn(tree.root());
    const std::size_t threadsBefore = liveThreads();
    std::size_t handedOver = 0;
    Outcome stopped;
    const auto start = std::chrono::steady_clock::now();
    lists::scanFolderReadingAhead(
        tree.root(),
        [&](const std::string &path, const tags::TTagRecord &tag) {
            stopped.files.emplace_back(path, tag);
            ++handedOver;
        },
        [&] { return handedOver >= 10; });
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(liveThreads(), threadsBefore);
    EXPECT_LT(took, std::chrono::milliseconds(500));
    ASSERT_EQ(stopped.files.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(stopped.files[i], all.files[i]);

    // A stop while the oldest read is still awaited: the steps go on while it waits, and
    // the first one that asks to stop ends the scan without it.
    testing_support::FaultyFileSystem fs;
    const std::string first = tree.path("d0/100.mp3");
    fs.before(Call::Open, first, [] { std::this_thread::sleep_for(std::chrono::seconds(1)); });
    const platform::ScopedFileSystem installed(fs);
    int steps = 0;
    const auto slowStart = std::chrono::steady_clock::now();
    const Outcome none = readAhead(tree.root(), [&] {
        ++steps;
        return std::chrono::steady_clock::now() - slowStart > std::chrono::milliseconds(100);
    });
    EXPECT_TRUE(none.files.empty());
    EXPECT_GT(steps, 1);
    // Ends when the one slow read does (the join waits for reads in progress), not later.
    EXPECT_LT(std::chrono::steady_clock::now() - slowStart, std::chrono::milliseconds(1500));
    EXPECT_EQ(liveThreads(), threadsBefore);
}

TEST_F(ReadAhead, ATagTheProgramWritesAfterItsReadIsReadAgain)
{
    const std::string a = tree.file("a.mp3", audioBytes(300) + tagBytes("OldA"));
    const std::string b = tree.file("b.mp3", audioBytes(300) + tagBytes("OldB"));
    const std::string c = tree.file("c.mp3", audioBytes(300) + tagBytes("OldC"));
    lists::TagReadAhead ahead(2);
    ahead.add(a, tags::FileKind::Regular);
    ahead.add(b, tags::FileKind::Regular);
    ahead.add(c, tags::FileKind::Regular);
    const auto first = ahead.takeOldest(std::chrono::seconds(5));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->second.Title.substr(0, 4), "OldA");
    // Give the readers time to read b and c, then write b as the tag editor does.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    tags::CompleteTag newTag;
    newTag.texts[0] = "NewB";
    ASSERT_EQ(tags::WriteTagBlock(b, tags::completeBlock(newTag)), tags::WriteOutcome::Written);
    const auto second = ahead.takeOldest(std::chrono::seconds(5));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->first, b);
    EXPECT_EQ(second->second.Title.substr(0, 4), "NewB");
    const auto third = ahead.takeOldest(std::chrono::seconds(5));
    ASSERT_TRUE(third);
    EXPECT_EQ(third->second.Title.substr(0, 4), "OldC");
    EXPECT_FALSE(ahead.takeOldest(std::chrono::milliseconds(1)));
}
