// The scan with tags read ahead on reader threads against the same walk reading each file
// in its turn: the same files, tags and order, the same stop at the same file with the same
// message whatever the number of readers, a prompt end on request with no reader left, and
// files the program changes during a scan read again.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <system_error>
#include <thread>

#include <unistd.h>

#include "fileops/filetransfer.h"
#include "lists/readahead.h"
#include "platform/error.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using testing_support::audioBytes;
using testing_support::readBytes;
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
    // Counted after a first scan: ThreadSanitizer starts a thread of its own with the first.
    readAhead(tree.root());
    const std::size_t threadsBefore = liveThreads();
    std::size_t handedOver = 0;
    Outcome stopped;
    lists::scanFolderReadingAhead(
        tree.root(),
        [&](const std::string &path, const tags::TTagRecord &tag) {
            stopped.files.emplace_back(path, tag);
            ++handedOver;
        },
        [&] { return handedOver >= 10; });
    EXPECT_EQ(liveThreads(), threadsBefore);
    ASSERT_EQ(stopped.files.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(stopped.files[i], all.files[i]);

    // A stop while the oldest read is still awaited: the steps go on while it waits, and
    // the first one that asks to stop ends the scan without it. The read is held until then,
    // so the scan's end waits for it (the join waits for reads in progress).
    testing_support::FaultyFileSystem fs;
    const std::string first = tree.path("d0/100.mp3");
    std::atomic<bool> released {false};
    fs.before(
        Call::Open, first, [&] { testing_support::waitUntil([&] { return released.load(); }); });
    const platform::ScopedFileSystem installed(fs);
    int steps = 0;
    const Outcome none = readAhead(tree.root(), [&] {
        if (++steps < 5)
            return false;
        released = true;
        return true;
    });
    EXPECT_TRUE(none.files.empty());
    EXPECT_EQ(steps, 5);
    EXPECT_EQ(liveThreads(), threadsBefore);
}

namespace {

// Counts the reads done, says each was served by the disk or not as told, and starts
// only so many reader threads.
class CountingHost final : public lists::ReaderHost
{
public:
    explicit CountingHost(bool fromDisk = false, std::size_t startable = 1000)
        : m_fromDisk(fromDisk)
        , m_startable(startable)
    { }
    bool servedByDisk(std::chrono::steady_clock::duration) override
    {
        ++reads;
        return m_fromDisk;
    }
    std::thread startReader(std::function<void()> loop) override
    {
        if (started == m_startable)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        ++started;
        return std::thread(std::move(loop));
    }
    std::atomic<std::size_t> reads {0};
    std::size_t started = 0;

private:
    bool m_fromDisk;
    std::size_t m_startable;
};

} // namespace

TEST_F(ReadAhead, ReadersGrowOrFailToStartWithoutChangingTheRows)
{
    makeCollection();
    const Outcome inTurn = readEachInTurn(tree.root());
    struct Case
    {
        const char *name;
        bool fromDisk;
        std::size_t startable;
        std::size_t started;
    };
    for (const Case &c : {
             Case {"warm: the first two", false, 1000, 2},
             Case {"cold: all at once", true, 1000, 32},
             Case {"one thread only", true, 1, 1},
             Case {"no thread at all", true, 0, 0},
             Case {"threads run out while growing", true, 7, 7},
         }) {
        CountingHost host(c.fromDisk, c.startable);
        Outcome ahead;
        lists::scanFolderReadingAhead(
            tree.root(),
            [&](const std::string &path, const tags::TTagRecord &tag) {
                ahead.files.emplace_back(path, tag);
            },
            {}, std::chrono::milliseconds(20), 0, &host);
        EXPECT_EQ(host.started, c.started) << c.name;
        ASSERT_EQ(ahead.files.size(), inTurn.files.size()) << c.name;
        for (std::size_t i = 0; i < inTurn.files.size(); ++i)
            ASSERT_EQ(ahead.files[i], inTurn.files[i]) << c.name << " " << i;
    }
}

TEST_F(ReadAhead, AFileTheProgramChangesAfterItsReadIsReadAgain)
{
    const std::string source = tree.file("new/b.mp3", audioBytes(300) + tagBytes("NewB"));
    struct Case
    {
        const char *name;
        std::function<void(const std::string &b)> change;
        std::string title; // of b when taken; empty: b cannot be opened
    };
    tags::CompleteTag newTag;
    newTag.texts[0] = "NewB";
    for (const Case &c : {
             Case {"tag written",
                 [&](const std::string &b) { tags::WriteTagBlock(b, tags::completeBlock(newTag)); },
                 "NewB"},
             Case {"copied over", [&](const std::string &b) { fileops::copyFile(source, b); },
                 "NewB"},
             Case {"moved over",
                 [&](const std::string &b) {
                     const std::string moved = tree.file("new/moved.mp3", readBytes(source));
                     fileops::moveFile(moved, b);
                 },
                 "NewB"},
             Case {"deleted", [&](const std::string &b) { fileops::deleteFile(b); }, ""},
         }) {
        const std::string a = tree.file("scan/a.mp3", audioBytes(300) + tagBytes("OldA"));
        const std::string b = tree.file("scan/b.mp3", audioBytes(300) + tagBytes("OldB"));
        const std::string c2 = tree.file("scan/c.mp3", audioBytes(300) + tagBytes("OldC"));
        CountingHost host;
        lists::TagReadAhead ahead(2, 2, &host);
        for (const std::string &path : {a, b, c2})
            ahead.add(path, tags::FileKind::Regular);
        const auto first = ahead.takeOldest(std::chrono::minutes(1));
        ASSERT_TRUE(first) << c.name;
        EXPECT_EQ(first->second.Title.substr(0, 4), "OldA");
        // Changed once the readers have read b and c.
        ASSERT_TRUE(testing_support::waitUntil([&] { return host.reads == 3; })) << c.name;
        c.change(b);
        if (c.title.empty()) {
            EXPECT_EQ(testing_support::errorOf([&] { ahead.takeOldest(std::chrono::minutes(1)); }),
                platform::cannotOpenMessage(b).withPathBytes())
                << c.name;
        } else {
            const auto second = ahead.takeOldest(std::chrono::minutes(1));
            ASSERT_TRUE(second) << c.name;
            EXPECT_EQ(second->first, b);
            EXPECT_EQ(second->second.Title.substr(0, 4), c.title) << c.name;
        }
        const auto third = ahead.takeOldest(std::chrono::minutes(1));
        ASSERT_TRUE(third) << c.name;
        EXPECT_EQ(third->second.Title.substr(0, 4), "OldC");
        EXPECT_FALSE(ahead.takeOldest(std::chrono::milliseconds(1)));
    }
}

TEST_F(ReadAhead, ReadersForTheDiskStartOnlyWhenTheTakerWaits)
{
    // While the walk runs ahead, the disk's readers would put its folder reads behind
    // theirs: they start once the taker has to wait, and the walk may then run far ahead.
    std::vector<std::string> paths;
    for (int i = 0; i < 64; ++i)
        paths.push_back(tree.file("cold/" + std::to_string(i) + ".mp3", audioBytes(300)));
    CountingHost host(true);
    lists::TagReadAhead ahead(2, 32, &host);
    for (const std::string &path : paths)
        ahead.add(path, tags::FileKind::Regular);
    ASSERT_TRUE(testing_support::waitUntil([&] { return host.reads >= 8; }));
    // Judged cold, whether or not the oldest is read yet.
    std::size_t taken = ahead.takeOldest(std::chrono::milliseconds(0)) ? 1 : 0;
    EXPECT_TRUE(ahead.diskBound());
    EXPECT_EQ(ahead.readers(), 2u);
    for (; ahead.pending() > 0; ++taken)
        ASSERT_TRUE(ahead.takeOldest(std::chrono::minutes(1)));
    EXPECT_EQ(ahead.readers(), 32u);
    EXPECT_EQ(taken, paths.size());
}
