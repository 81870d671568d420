// The tag journal on real files: bulk runs undone, redone and undone again byte for byte;
// files changed or gone since left alone; the journal read anew, bounded, and never
// misled by a damaged tail; an undo killed part way finished by the next.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>

#include <fcntl.h>
#include <unistd.h>

#include "editing/bulktagrun.h"
#include "editing/journalfile.h"
#include "editing/journalformat.h"
#include "editing/tagjournal.h"
#include "platform/scopeguard.h"
#include "tags/tagfile.h"
#include "tests/support/faults.h"
#include "tests/support/killtest.h"
#include "tests/support/scopedenv.h"
#include "tests/support/testtree.h"

using editing::JournalFile;
using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::snapshot;
using testing_support::Snapshot;
using testing_support::tagBytes;

namespace {

class Report final : public editing::IRestoreReport
{
public:
    void restored(const editing::RestoredFile &file) override { files.push_back(file); }
    std::vector<editing::RestoredFile> files;
};

class SilentBulkReport final : public editing::IBulkTagReport
{
public:
    void written(std::size_t) override { }
};

void setMtime(const std::string &path, long long seconds, long nanoseconds)
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

tags::TagMerge artistMerge(const std::string &artist)
{
    tags::TagMerge merge;
    merge.texts[static_cast<std::size_t>(tags::TextField::Artist)] = tags::TextChange::set(artist);
    return merge;
}

class UndoJournal : public ::testing::Test
{
protected:
    std::shared_ptr<JournalFile> journal(std::uint64_t bound = JournalFile::DefaultSizeBound)
    {
        return JournalFile::openIn(tree.path("state/bellwick"), bound);
    }

    // One bulk run over `paths` in a batch of its own.
    void bulk(const std::shared_ptr<JournalFile> &file, const std::vector<std::string> &paths,
        const tags::TagMerge &merge, const char *name = "タグ一括設定")
    {
        editing::JournaledTagWriter writer(file, nullptr);
        const editing::TagWriteBatch batch(writer, name);
        ASSERT_TRUE(batch.started());
        SilentBulkReport report;
        editing::runBulkTagSetting(paths, merge, writer, report);
    }

    std::map<std::string, Snapshot> snapshots(const std::vector<std::string> &paths)
    {
        std::map<std::string, Snapshot> result;
        for (const std::string &path : paths)
            result[path] = snapshot(path);
        return result;
    }

    testing_support::TempTree tree;
};

} // namespace

TEST_F(UndoJournal, BulkRunUndoneRedoneAndUndoneAgainByteForByte)
{
    const std::string tagged
        = tree.file("tagged.mp3", audioBytes(3000, 1) + tagBytes("Song", "Old", "Album", "1999"));
    const std::string untagged = tree.file("untagged.mp3", audioBytes(2000, 2));
    const std::string readOnly
        = tree.file("readonly.mp3", audioBytes(5000, 3) + tagBytes("Locked", "Old"), 0444);
    const std::string twice
        = tree.file("twice.mp3", audioBytes(4000, 4) + tagBytes("Twice", "Old", "", "", "c", 3));
    const std::string small = tree.file("small.mp3", "TAG" + std::string(97, 'x'));
    const std::vector<std::string> files = {tagged, untagged, readOnly, twice, small};
    for (std::size_t i = 0; i < files.size(); ++i)
        setMtime(files[i], 1000000000 + static_cast<long long>(i), 123456789);
    const auto before = snapshots(files);

    const auto file = journal();
    ASSERT_TRUE(file);
    {
        editing::JournaledTagWriter writer(file, nullptr);
        const editing::TagWriteBatch batch(writer, "タグ一括設定");
        SilentBulkReport report;
        // The same file twice in the list, and once more with another block.
        editing::runBulkTagSetting(
            {tagged, untagged, twice, readOnly, twice, small}, artistMerge("New"), writer, report);
        writer.write(twice, testing_support::completeTagBlock("Last", 7));
    }
    const auto after = snapshots(files);
    EXPECT_EQ(after.at(small).bytes.size(), 228u);
    EXPECT_EQ(after.at(untagged).bytes.size(), 2128u);
    EXPECT_EQ(after.at(readOnly).mode, 0444);
    EXPECT_EQ(tags::ReadTag(twice).Title.substr(0, 4), "Last");

    const std::optional<editing::BatchSummary> next = file->nextUndo();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->name, "タグ一括設定");
    EXPECT_EQ(next->files, 5u);
    EXPECT_FALSE(file->nextRedo());

    Report undone;
    editing::RestoreResult result = file->undo({}, undone);
    EXPECT_FALSE(result.nothingToDo);
    EXPECT_EQ(result.restored, 5u);
    EXPECT_TRUE(result.leftAlone.empty());
    EXPECT_EQ(undone.files.size(), 5u);
    for (const std::string &path : files)
        EXPECT_EQ(snapshot(path), before.at(path)) << path;
    for (const editing::RestoredFile &restored : undone.files) {
        if (restored.path == untagged || restored.path == small)
            EXPECT_TRUE(restored.tag.Header.empty()) << restored.path;
        else
            EXPECT_EQ(restored.tag.Artist.substr(0, 3), "Old") << restored.path;
    }
    EXPECT_FALSE(file->nextUndo());
    ASSERT_TRUE(file->nextRedo());

    Report redone;
    result = file->redo({}, redone);
    EXPECT_EQ(result.restored, 5u);
    for (const std::string &path : files) {
        EXPECT_EQ(readBytes(path), after.at(path).bytes) << path;
        EXPECT_EQ(snapshot(path).mode, after.at(path).mode) << path;
    }
    EXPECT_FALSE(file->nextRedo());

    result = file->undo({}, undone);
    EXPECT_EQ(result.restored, 5u);
    for (const std::string &path : files)
        EXPECT_EQ(snapshot(path), before.at(path)) << path;

    // Nothing left: usage says so rather than acting.
    EXPECT_TRUE(file->undo({}, undone).nothingToDo);
}

TEST_F(UndoJournal, FilesChangedOrGoneSinceAreLeftAloneAndReported)
{
    const std::string kept = tree.file("kept.mp3", audioBytes(1000, 1) + tagBytes("A", "Old"));
    const std::string changed
        = tree.file("changed.mp3", audioBytes(1000, 2) + tagBytes("B", "Old"));
    const std::string gone = tree.file("gone.mp3", audioBytes(1000, 3) + tagBytes("C", "Old"));
    const std::string keptBefore = readBytes(kept);
    const auto file = journal();
    bulk(file, {kept, changed, gone}, artistMerge("New"));

    tags::WriteTagBlock(changed, artistMerge("Someone else")); // another program, unjournaled
    const std::string changedNow = readBytes(changed);
    ASSERT_EQ(::unlink(gone.c_str()), 0);

    Report report;
    const editing::RestoreResult result = file->undo({}, report);
    EXPECT_EQ(result.restored, 1u);
    EXPECT_EQ(readBytes(kept), keptBefore);
    EXPECT_EQ(readBytes(changed), changedNow);
    EXPECT_FALSE(testing_support::exists(gone));
    ASSERT_EQ(result.leftAlone.size(), 2u);
    std::map<std::string, editing::LeftAloneFile::Why> why;
    for (const editing::LeftAloneFile &left : result.leftAlone) {
        why[left.path] = left.why;
        EXPECT_FALSE(left.message.withPathBytes().empty());
    }
    EXPECT_EQ(why.at(changed), editing::LeftAloneFile::Why::Changed);
    EXPECT_EQ(why.at(gone), editing::LeftAloneFile::Why::Gone);
}

TEST_F(UndoJournal, JournalIsReadAnewByEveryObjectAndAfterARestart)
{
    const std::string a = tree.file("a.mp3", audioBytes(1000, 1) + tagBytes("A", "Old"));
    const std::string b = tree.file("b.mp3", audioBytes(1000, 2));
    const std::string aBefore = readBytes(a), bBefore = readBytes(b);
    auto window = journal();
    bulk(window, {a}, artistMerge("Window"), "タグ変更");
    // The companion, meanwhile, a process with a journal object of its own.
    EXPECT_TRUE(testing_support::passesInChild([&] {
        bulk(journal(), {a, b}, artistMerge("Companion"), "bellwick-cli set");
    }));
    const std::optional<editing::BatchSummary> next = window->nextUndo();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->name, "bellwick-cli set");
    EXPECT_EQ(next->files, 2u);

    Report report;
    EXPECT_EQ(window->undo({}, report).restored, 2u);
    EXPECT_EQ(tags::ReadTag(a).Artist.substr(0, 6), "Window");

    // After a restart, the journal says what was undone and what is next.
    window.reset();
    const auto restarted = journal();
    const std::vector<editing::BatchSummary> history = restarted->history(10);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].name, "bellwick-cli set");
    EXPECT_TRUE(history[0].undone);
    EXPECT_EQ(history[1].name, "タグ変更");
    EXPECT_FALSE(history[1].undone);
    EXPECT_GT(history[0].id, history[1].id);
    EXPECT_EQ(restarted->nextRedo()->name, "bellwick-cli set");
    EXPECT_EQ(restarted->undo({}, report).restored, 1u);
    EXPECT_EQ(readBytes(a), aBefore);
    EXPECT_EQ(readBytes(b), bBefore);

    // A batch whose files had all gone wrote nothing: it is no entry of the history, and
    // what could be redone stays.
    bulk(restarted, {tree.path("gone.mp3")}, artistMerge("Nothing"));
    EXPECT_EQ(restarted->history(10).size(), 2u);
    ASSERT_TRUE(restarted->nextRedo());
    EXPECT_EQ(restarted->nextRedo()->name, "タグ変更");

    // A new write takes away what could be redone.
    bulk(restarted, {b}, artistMerge("Fresh"));
    EXPECT_FALSE(restarted->nextRedo());
    EXPECT_EQ(restarted->history(1).front().files, 1u);
}

TEST(JournalFormat, ChecksumIsCrc32AndRecordsReadBackWhole)
{
    EXPECT_EQ(editing::journal::crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(editing::journal::crc32(std::string(1000, 'a')),
        editing::journal::crc32(std::string(999, 'a') + "a"));

    testing_support::TempTree tree;
    editing::journal::BeforeRecord before;
    before.path = "/music/\xff\x95\x5c.mp3";
    before.size = 4096;
    before.mode = 0100444;
    before.mtimeNanoseconds = 999999999;
    before.hasTail = true;
    before.tail[0] = 'T';
    before.block[127] = 17;
    std::string bytes;
    editing::journal::appendBefore(bytes, 7, before);
    editing::journal::appendAfter(bytes, 7, {3, 4096});
    const std::string path = tree.file("journal", bytes);
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<editing::journal::Record> records;
    EXPECT_EQ(editing::journal::readRecords(fd, path, 0, static_cast<std::int64_t>(bytes.size()),
                  [&](const editing::journal::Record &record, std::int64_t) {
                      records.push_back(record);
                  }),
        static_cast<std::int64_t>(bytes.size()));
    ::close(fd);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].id, 7u);
    EXPECT_EQ(records[0].before.path, before.path);
    EXPECT_EQ(records[0].before.mode, 0100444u);
    EXPECT_EQ(records[0].before.mtimeNanoseconds, 999999999);
    EXPECT_TRUE(records[0].before.hasTail);
    EXPECT_FALSE(records[0].before.appends);
    EXPECT_EQ(records[0].before.tail, before.tail);
    EXPECT_EQ(records[0].before.block, before.block);
    EXPECT_EQ(records[1].after.index, 3u);
    EXPECT_EQ(records[1].after.newSize, 4096);
}

TEST_F(UndoJournal, DamagedOrTornTailIsIgnoredAndLaterBatchesStillRead)
{
    const std::string a = tree.file("a.mp3", audioBytes(1000, 1) + tagBytes("A", "Old"));
    auto file = journal();
    bulk(file, {a}, artistMerge("One"), "first");
    const std::string afterFirst = readBytes(a);
    bulk(file, {a}, artistMerge("Two"), "second");
    const std::string journalPath = file->path();
    file.reset();

    // A flipped byte in the last record: the second batch's end is no record at all, and
    // the batch counts as one cut short, still undoable.
    std::string bytes = readBytes(journalPath);
    bytes[bytes.size() - 10] ^= 0x55;
    tree.file("state/bellwick/tag-journal", bytes, 0600);
    EXPECT_EQ(journal()->nextUndo()->name, "second");

    // Half a record at the end, as a killed writer leaves it; a batch appended after it is
    // read.
    std::string torn = readBytes(journalPath);
    torn += torn.substr(0, 40);
    tree.file("state/bellwick/tag-journal", torn, 0600);
    bulk(journal(), {a}, artistMerge("Three"), "third");
    const std::vector<editing::BatchSummary> history = journal()->history(5);
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[0].name, "third");

    // Garbage alone is no journal entry at all.
    tree.file("state/bellwick/tag-journal", std::string(1000, 'B') + "WJ1garbage", 0600);
    EXPECT_FALSE(journal()->nextUndo());
    (void)afterFirst;
}

TEST_F(UndoJournal, WholeRecordsOfANewerWriterStayAndOnlyADamagedTailIsCut)
{
    using editing::journal::appendRecord;
    using editing::journal::RecordType;
    const std::string a = tree.file("a.mp3", audioBytes(1000, 1) + tagBytes("A", "Old"));
    const auto unknown = [](std::size_t size) {
        std::string bytes;
        appendRecord(bytes, static_cast<RecordType>(200), 1, std::string(size, 'x'));
        return bytes;
    };
    std::string badBegin; // a known type with a kind this reader has never heard of
    appendRecord(badBegin, RecordType::Begin, 9, std::string(1, '\x07') + std::string(20, '\0'));
    std::string damaged = unknown(100);
    damaged[30] ^= 0x20;
    struct Case
    {
        const char *name;
        std::string middle, tail;
        bool tailCut;
        std::string inSecond = {}; // before the second batch's last record
    } cases[] = {
        {"unknown type at the end", "", unknown(40), false},
        {"unknown type between batches, large one at the end", unknown(40), unknown(5 << 20),
            false},
        {"known type it cannot read at the end", badBegin, badBegin, false},
        {"checksum failed at the end", unknown(40), damaged, true},
        {"unknown type inside a batch", "", "", false, unknown(40)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tree.path("state/bellwick/tag-journal");
        ::unlink(path.c_str());
        bulk(journal(), {a}, artistMerge("One"), "first");
        tree.file("state/bellwick/tag-journal", readBytes(path) + c.middle, 0600);
        bulk(journal(), {a}, artistMerge("Two"), "second");
        std::string written = readBytes(path);
        written.insert(written.rfind("BWJ1"), c.inSecond);
        written += c.tail;
        tree.file("state/bellwick/tag-journal", written, 0600);

        auto file = journal();
        EXPECT_EQ(file->nextUndo()->name, "second");
        EXPECT_EQ(file->history(5).size(), 2u);
        // A whole record is never damage, whatever its type.
        for (const editing::BatchSummary &batch : file->history(5))
            EXPECT_FALSE(batch.damaged) << batch.name;
        // Looks never change the file; the next batch cuts a damaged tail and nothing else,
        // and follows what it keeps.
        EXPECT_EQ(readBytes(path), written);
        const std::string kept
            = c.tailCut ? written.substr(0, written.size() - c.tail.size()) : written;
        bulk(file, {a}, artistMerge("Three"), "third");
        EXPECT_EQ(readBytes(path).compare(0, kept.size(), kept), 0);
        EXPECT_EQ(file->history(5).size(), 3u);
    }
    EXPECT_THROW(unknown(editing::journal::MaxPayload), std::length_error);
}

TEST_F(UndoJournal, SizeBoundDropsOldestBatchesButKeepsTheNewest)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 20; ++i)
        paths.push_back(tree.file("f" + std::to_string(i) + ".mp3", audioBytes(600, i)));
    constexpr std::uint64_t Bound = 8 * 1024;
    const auto file = journal(Bound);
    for (int round = 0; round < 6; ++round)
        bulk(file, {paths.begin(), paths.begin() + 8}, artistMerge("R" + std::to_string(round)),
            ("round " + std::to_string(round)).c_str());
    EXPECT_LE(file->size(), static_cast<std::int64_t>(Bound));
    std::vector<editing::BatchSummary> history = file->history(10);
    ASSERT_GE(history.size(), 1u);
    EXPECT_LT(history.size(), 6u);
    EXPECT_EQ(history[0].name, "round 5");
    EXPECT_EQ(history[0].files, 8u);

    // Another process, with the journal open and read meanwhile; it goes on when told.
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        const bool passed = testing_support::passesInChild([&] {
            const auto mine = journal(Bound);
            ASSERT_TRUE(mine->nextUndo());
            char byte = 0;
            ASSERT_EQ(::write(ready[1], &byte, 1), 1);
            ASSERT_EQ(::read(go[0], &byte, 1), 1);
            // It finds the compacted file in place of the one it opened, and what it appends
            // is read by everyone.
            EXPECT_EQ(mine->nextRedo()->name, "big");
            bulk(mine, {paths[0]}, artistMerge("Other"), "other");
        });
        ::_exit(passed ? 0 : 1);
    }
    ::close(ready[1]); // a child that died is an end of file, not a wait
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);

    // One batch larger than the bound is kept whole, alone.
    bulk(file, paths, artistMerge("Big"), "big");
    history = file->history(10);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].name, "big");
    EXPECT_EQ(history[0].files, 20u);
    Report report;
    EXPECT_EQ(file->undo({}, report).restored, 20u);
    EXPECT_EQ(tags::ReadTag(paths[0]).Artist.substr(0, 2), "R5");

    ASSERT_EQ(::write(go[1], &byte, 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(other, &status, 0), other);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(file->nextUndo()->name, "other");
    EXPECT_FALSE(file->nextRedo());
}

TEST_F(UndoJournal, WriteTornAtAPageBoundaryIsFinished)
{
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    // Tags that straddle a page boundary: 64 bytes before it, 64 after.
    const std::string inPlace
        = tree.file("inplace.mp3", audioBytes(page - 64, 1) + tagBytes("Torn", "Old"));
    const std::string appended = tree.file("appended.mp3", audioBytes(page - 64, 2));
    const std::string inPlaceBefore = readBytes(inPlace), appendedBefore = readBytes(appended);
    const auto file = journal();
    // The title lies before the boundary and the comment after it, so a torn tag is neither.
    tags::TagMerge merge;
    merge.texts[static_cast<std::size_t>(tags::TextField::Title)] = tags::TextChange::set("New");
    merge.texts[static_cast<std::size_t>(tags::TextField::Comment)]
        = tags::TextChange::set("New comment");
    // Each write killed after the 64 bytes before the boundary, as a crash leaves it: the
    // new bytes up to the boundary, the old ones after; the append cut at the boundary.
    for (const std::string &path : {inPlace, appended}) {
        const int status
            = testing_support::killedBeforeCall(testing_support::FaultyFileSystem::Call::Pwrite,
                path, 1, 64, [&] { bulk(journal(), {path}, merge); });
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
    }
    EXPECT_EQ(readBytes(inPlace).substr(page, 64), inPlaceBefore.substr(page, 64));
    EXPECT_NE(readBytes(inPlace), inPlaceBefore);
    EXPECT_EQ(readBytes(appended).size(), page);
    Report first;
    EXPECT_EQ(file->undo({}, first).restored, 1u);
    Report report;
    const editing::RestoreResult result = file->undo({}, report);
    EXPECT_EQ(result.restored, 1u);
    EXPECT_EQ(readBytes(inPlace), inPlaceBefore);
    EXPECT_EQ(readBytes(appended), appendedBefore);
}

TEST_F(UndoJournal, UndoKilledAtChosenPointsIsFinishedByTheNextUndo)
{
    constexpr int Files = 1000;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<std::string> paths;
    for (int i = 0; i < Files; ++i) {
        const std::string name = "f" + std::to_string(i) + ".mp3";
        // Tagged and untagged files, some with a tag across a page boundary, some read-only.
        const std::size_t audio = i % 5 == 0 ? page - 64 : 700 + 13 * static_cast<std::size_t>(i);
        const std::string bytes
            = i % 2 == 0 ? audioBytes(audio, i) + tagBytes("Song", "Old") : audioBytes(audio, i);
        paths.push_back(tree.file(name, bytes, i % 7 == 0 ? 0444 : 0644));
        setMtime(paths.back(), 1100000000 + i, 5000);
    }
    const auto before = snapshots(paths);
    bulk(journal(), paths, artistMerge("Killed"));
    const auto after = snapshots(paths);

    const std::function<void()> undo = [this] {
        Report report;
        journal()->undo({}, report);
    };
    const auto redo = [this] {
        Report report;
        EXPECT_EQ(journal()->redo({}, report).restored, std::size_t(Files));
    };

    // The undo killed just before it writes a chosen tagged file (an appended tag is taken
    // back by a cut, not a write): the first files, the middle ones, the last; and, for a tag
    // that straddles a page boundary, with its write torn there.
    struct Kill
    {
        int file;
        std::size_t tornAfter;
    };
    const Kill kills[] = {{0, 0}, {2, 0}, {498, 0}, {500, 64}, {502, 0}, {990, 64}, {998, 0}};
    int killedMidRun = 0;
    for (const Kill &kill : kills) {
        const std::string trial
            = "file " + std::to_string(kill.file) + " torn after " + std::to_string(kill.tornAfter);
        const int status
            = testing_support::killedBeforeCall(testing_support::FaultyFileSystem::Call::Pwrite,
                paths[kill.file], 1, kill.tornAfter, undo);
        ASSERT_TRUE(WIFSIGNALED(status)) << trial << ": " << status;
        int restored = 0;
        for (const std::string &path : paths) {
            const std::string now = readBytes(path);
            const std::string &old = before.at(path).bytes, &whole = after.at(path).bytes;
            restored += now == old;
            const bool torn = now.size() == old.size() && now.size() == whole.size()
                && now.size() >= page && now.size() - 128 < now.size() / page * page
                && now
                    == whole.substr(0, now.size() / page * page)
                        + old.substr(now.size() / page * page);
            EXPECT_TRUE(now == old || now == whole || torn) << trial << ": " << path;
        }
        killedMidRun += WIFSIGNALED(status) && restored > 0 && restored < Files;

        // The next undo finishes what the killed one began (or finds it all done).
        Report report;
        const editing::RestoreResult result = journal()->undo({}, report);
        EXPECT_TRUE(result.leftAlone.empty());
        for (const std::string &path : paths)
            ASSERT_EQ(snapshot(path), before.at(path)) << trial << ": " << path;
        redo();
    }
    EXPECT_GT(killedMidRun, 0);
}

TEST_F(UndoJournal, UndoAndRedoTellTheWriteWatchers)
{
    struct Watcher final : tags::IWriteWatcher
    {
        void tagWritten(const std::string &path) override { paths.push_back(path); }
        std::vector<std::string> paths;
    } watcher;
    const std::string a = tree.file("a.mp3", audioBytes(1000, 1) + tagBytes("A", "Old"));
    const auto file = journal();
    bulk(file, {a}, artistMerge("New"));
    tags::addWriteWatcher(watcher);
    Report report;
    file->undo({}, report);
    file->redo({}, report);
    tags::removeWriteWatcher(watcher);
    EXPECT_EQ(watcher.paths, (std::vector<std::string> {a, a}));
}

TEST_F(UndoJournal, FullOrReadOnlyStateFolderGivesWayToTheCacheFolder)
{
    const std::string state = tree.folder("state"), cache = tree.folder("cache");
    const std::string savedState = std::getenv("XDG_STATE_HOME"),
                      savedCache = std::getenv("XDG_CACHE_HOME");
    const platform::ScopeGuard putBack([&] {
        ::setenv("XDG_STATE_HOME", savedState.c_str(), 1);
        ::setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);
    });
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    {
        const auto mount = testing_support::Mount::tmpfs(state, "size=64k");
        if (!mount.error().empty())
            GTEST_SKIP() << mount.error();
        testing_support::fillUp(state);
        const std::unique_ptr<editing::ITagJournal> journal = editing::ITagJournal::open();
        ASSERT_TRUE(journal);
        EXPECT_EQ(journal->path(), cache + "/bellwick/tag-journal");
    }
    {
        tree.folder("state/bellwick");
        const auto mount = testing_support::Mount::readOnlyBind(state);
        ASSERT_EQ(mount.error(), "");
        EXPECT_EQ(editing::ITagJournal::open()->path(), cache + "/bellwick/tag-journal");
        const auto cacheMount = testing_support::Mount::readOnlyBind(cache);
        ASSERT_EQ(cacheMount.error(), "");
        EXPECT_FALSE(editing::ITagJournal::open());
    }
    EXPECT_EQ(editing::ITagJournal::open()->path(), state + "/bellwick/tag-journal");
}

TEST_F(UndoJournal, ARunStoppedPartWayIsTakenAgainByUndoOrRedo)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i)
        paths.push_back(tree.file("f" + std::to_string(i) + ".mp3",
            audioBytes(900, i) + (i % 2 ? tagBytes("Song", "Old") : std::string())));
    const auto before = snapshots(paths);
    const auto file = journal();
    bulk(file, paths, artistMerge("New"), "bulk");
    const auto after = snapshots(paths);

    // Told to stop after three files: the redo that follows finishes the batch either way.
    class StopAfterThree final : public editing::IRestoreReport
    {
    public:
        void restored(const editing::RestoredFile &) override { ++m_done; }
        bool stopRequested() override { return m_done >= 3; }

    private:
        int m_done = 0;
    } stopping;
    EXPECT_EQ(file->undo({}, stopping).restored, 3u);
    int restored = 0;
    for (const std::string &path : paths)
        restored += readBytes(path) == before.at(path).bytes;
    EXPECT_EQ(restored, 3);
    EXPECT_EQ(file->nextUndo()->name, "bulk");
    EXPECT_EQ(file->nextRedo()->name, "bulk");

    Report report;
    EXPECT_EQ(file->redo({}, report).restored, 6u);
    for (const std::string &path : paths)
        EXPECT_EQ(readBytes(path), after.at(path).bytes) << path;
    EXPECT_FALSE(file->nextRedo());
    EXPECT_EQ(file->undo({}, report).restored, 6u);
    for (const std::string &path : paths)
        EXPECT_EQ(snapshot(path), before.at(path)) << path;
}

TEST_F(UndoJournal, AnotherProcessWaitsForTheBatchInProgress)
{
    const std::string mine = tree.file("mine.mp3", audioBytes(900, 1));
    const std::string theirs = tree.file("theirs.mp3", audioBytes(900, 2));
    const auto file = journal();
    editing::JournaledTagWriter writer(file, nullptr);
    ASSERT_TRUE(writer.beginBatch("window"));
    const pid_t child = ::fork();
    if (child == 0) {
        editing::JournaledTagWriter companion(journal(), nullptr);
        const bool began = companion.beginBatch("companion");
        companion.write(theirs, artistMerge("Theirs"));
        companion.endBatch();
        ::_exit(began ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    ::usleep(300 * 1000);
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0); // still waiting for the lock
    writer.write(mine, artistMerge("Mine"));
    writer.endBatch();
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::vector<editing::BatchSummary> history = file->history(5);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].name, "companion");
    EXPECT_EQ(history[1].name, "window");
    Report report;
    EXPECT_EQ(file->undo({}, report).restored, 1u);
    EXPECT_EQ(readBytes(theirs), audioBytes(900, 2));
    EXPECT_EQ(file->undo({}, report).restored, 1u);
    EXPECT_EQ(readBytes(mine), audioBytes(900, 1));
}

// Kills through the file seam at chosen points of a write, and the undo after each: a file
// made writable before its write was recorded, or written but not given its mode back, is
// put back whole, mode and time included.
TEST_F(UndoJournal, KillsAtChosenPointsOfAWriteLeaveNothingUndoCannotPutBack)
{
    using Call = testing_support::FaultyFileSystem::Call;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const struct
    {
        const char *point;
        bool tagged;
        mode_t mode;
        Call call;
        int nth;
        std::size_t tornAfter;
    } cases[] = {
        {"read-only, before it is made writable", true, 0444, Call::Chmod, 1, 0},
        {"read-only, made writable, its write not yet recorded", true, 0444, Call::Open, 1, 0},
        {"read-only, written, its mode not yet put back", true, 0444, Call::Chmod, 2, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.point);
        const std::string path = tree.file("killed.mp3",
            audioBytes(page - 64, 3) + (c.tagged ? tagBytes("Song", "Old") : std::string()),
            c.mode);
        ::chmod(path.c_str(), c.mode);
        setMtime(path, 1200000000, 777);
        const Snapshot before = snapshot(path);
        const int status = testing_support::killedBeforeCall(c.call, path, c.nth, c.tornAfter,
            [&] { bulk(journal(), {path}, artistMerge("Killed")); });
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        Report report;
        const editing::RestoreResult result = journal()->undo({}, report);
        EXPECT_TRUE(result.leftAlone.empty());
        EXPECT_EQ(snapshot(path), before);
        ::unlink(journal()->path().c_str());
    }
}

TEST_F(UndoJournal, OneHistoryOverTheStateAndTheCacheFolder)
{
    const std::string state = tree.folder("state"), cache = tree.folder("cache");
    const testing_support::ScopedEnv stateHome("XDG_STATE_HOME", state);
    const testing_support::ScopedEnv cacheHome("XDG_CACHE_HOME", cache);
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i)
        paths.push_back(tree.file("f" + std::to_string(i) + ".mp3", audioBytes(900, i)));
    std::vector<std::string> beforeEach;
    // Each batch written by a process of its own, as the companion writes while the window
    // is open (a process has one journal set).
    const auto set = [&](const std::string &path, const char *name) {
        beforeEach.push_back(readBytes(path));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool started = false;
            {
                editing::JournaledTagWriter writer(editing::ITagJournal::open(), nullptr);
                const editing::TagWriteBatch batch(writer, name);
                started = batch.started();
                if (started)
                    writer.write(path, artistMerge(name));
            }
            ::_exit(started ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name;
    };
    // Opened as the window opens it, before there is any journal in the cache folder.
    const auto journal = editing::ITagJournal::open();
    set(paths[0], "A");
    {
        // The state folder cannot be written for a while: B goes into the cache folder.
        const auto mount = testing_support::Mount::readOnlyBind(state);
        if (!mount.error().empty())
            GTEST_SKIP() << mount.error();
        set(paths[1], "B");
    }
    set(paths[2], "C");
    ASSERT_TRUE(testing_support::exists(cache + "/bellwick/tag-journal"));

    std::vector<std::string> names;
    for (const editing::BatchSummary &batch : journal->history(10))
        names.push_back(batch.name);
    EXPECT_EQ(names, (std::vector<std::string> {"C", "B", "A"}));
    for (int i = 2; i >= 0; --i) {
        Report report;
        EXPECT_EQ(journal->undo({}, report).restored, 1u) << i;
        EXPECT_EQ(readBytes(paths[i]), beforeEach[i]) << i;
    }
    Report report;
    EXPECT_TRUE(journal->undo({}, report).nothingToDo);
}

// A file changed behind the program's back, even keeping its size and tag, is not the file
// the batch left: it is left alone, its content and time as they are.
TEST_F(UndoJournal, OnlyTheFileTheBatchLeftIsRestored)
{
    const std::string edited = tree.file("edited.mp3", audioBytes(900, 1) + tagBytes("E"));
    const std::string replaced = tree.file("replaced.mp3", audioBytes(900, 2) + tagBytes("R"));
    const std::string kept = tree.file("kept.mp3", audioBytes(900, 3) + tagBytes("K"));
    const std::string keptBefore = readBytes(kept);
    const auto file = journal();
    bulk(file, {edited, replaced, kept}, artistMerge("X"));

    // An audio byte edited in place, and a file of the same size and tag renamed over one.
    std::string bytes = readBytes(edited);
    bytes[10] = static_cast<char>(bytes[10] ^ 0x55);
    const int fd = ::open(edited.c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, &bytes[10], 1, 10), 1);
    ::close(fd);
    std::string other = readBytes(replaced);
    other[20] = static_cast<char>(other[20] ^ 0x55);
    const Snapshot replacedAfter = snapshot(replaced);
    const std::string swap = tree.file("swap.tmp", other);
    setMtime(swap, replacedAfter.mtimeNs / 1000000000, replacedAfter.mtimeNs % 1000000000);
    ASSERT_EQ(::rename(swap.c_str(), replaced.c_str()), 0);
    const Snapshot editedNow = snapshot(edited), replacedNow = snapshot(replaced);

    Report report;
    const editing::RestoreResult result = file->undo({}, report);
    std::vector<std::string> leftAlone;
    for (const editing::LeftAloneFile &left : result.leftAlone)
        leftAlone.push_back(left.path);
    std::sort(leftAlone.begin(), leftAlone.end());
    EXPECT_EQ(leftAlone, (std::vector<std::string> {edited, replaced}));
    EXPECT_EQ(snapshot(edited), editedNow);
    EXPECT_EQ(snapshot(replaced), replacedNow);
    EXPECT_EQ(readBytes(kept), keptBefore);
}

// Damaged bytes inside a batch: a file record lost is reported, named when its path can
// still be read; a damaged batch header hides none of the batch's files.
TEST_F(UndoJournal, DamagedRecordsAreReportedAndIntactOnesKept)
{
    const struct
    {
        const char *damage;
        bool inFileRecord; // else the batch's first record gets a length of 0x7fffffff
    } cases[]
        = {{"eight bytes inside one file's record", true}, {"the first record's length", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.damage);
        std::vector<std::string> paths;
        for (int i = 0; i < 3; ++i)
            paths.push_back(
                tree.file("d" + std::to_string(i) + ".mp3", audioBytes(900, i) + tagBytes("Old")));
        const auto before = snapshots(paths);
        auto file = journal();
        bulk(file, paths, artistMerge("New"), "damaged");
        const std::string journalPath = file->path();
        file.reset(); // reopened below, as by the next process

        // The records' offsets, and the second file's Before record (type 2).
        std::string bytes = readBytes(journalPath);
        std::vector<std::size_t> records;
        for (std::size_t at = bytes.find("BWJ1"); at != std::string::npos;
             at = bytes.find("BWJ1", at + 1))
            records.push_back(at);
        std::vector<std::size_t> befores;
        for (const std::size_t at : records)
            if (bytes[at + 8] == 2)
                befores.push_back(at);
        ASSERT_EQ(befores.size(), 3u);
        const int fd = ::open(journalPath.c_str(), O_WRONLY);
        if (c.inFileRecord) {
            const std::size_t next = *std::upper_bound(records.begin(), records.end(), befores[1]);
            ASSERT_EQ(::pwrite(fd, "XXXXXXXX", 8, off_t(next - 100)), 8);
        } else {
            ASSERT_EQ(::pwrite(fd, "\xff\xff\xff\x7f", 4, off_t(records[0] + 4)), 4);
        }
        ::close(fd);

        const auto reopened = journal();
        const std::vector<editing::BatchSummary> history = reopened->history(5);
        ASSERT_EQ(history.size(), 1u);
        EXPECT_TRUE(history[0].damaged);
        EXPECT_EQ(history[0].files, c.inFileRecord ? 2u : 3u);
        Report report;
        const editing::RestoreResult result = reopened->undo({}, report);
        EXPECT_EQ(result.restored, c.inFileRecord ? 2u : 3u);
        EXPECT_EQ(result.lost, c.inFileRecord ? 1u : 0u);
        EXPECT_EQ(result.lostPaths,
            c.inFileRecord ? std::vector<std::string> {paths[1]} : std::vector<std::string> {});
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (!c.inFileRecord || i != 1) {
                EXPECT_EQ(snapshot(paths[i]), before.at(paths[i])) << paths[i];
            }
        }
        ::unlink(journalPath.c_str());
    }
}
