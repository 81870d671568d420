// The subsystem runs on real files, without a window: the scan run, the bulk tag run and the
// copy, move and delete runs, each through its small report interface.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "editing/bulktagrun.h"
#include "fileops/transferrun.h"
#include "lists/scanrun.h"
#include "tags/genretable.h"
#include "tests/support/faults.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;
using testing_support::audioBytes;
using testing_support::exists;
using testing_support::readBytes;
using testing_support::tagBytes;

namespace {

// Records what a scan hands over, and can ask it to stop after some files.
class RecordingScanHost final : public lists::IScanHost
{
public:
    void appendRows(std::vector<lists::Row> rows) override
    {
        for (lists::Row &row : rows)
            rows_.push_back(std::move(row));
        ++batches;
    }
    void handleWaitingEvents() override
    {
        // Every row read so far has reached the host before events run.
        rowsAtEachStep.push_back(rows_.size());
        filesReadAtEachStep.push_back(reported.size());
        stepTimes.push_back(std::chrono::steady_clock::now());
    }
    void progress(const platform::RunProgress &progress) override
    {
        reported.emplace_back(progress.path);
        EXPECT_EQ(progress.done, reported.size());
        EXPECT_EQ(progress.total, 0u);
    }
    bool stopRequested() override
    {
        return stopAfter >= 0 && reported.size() >= std::size_t(stopAfter);
    }

    std::vector<std::string> captions() const
    {
        std::vector<std::string> names;
        for (const lists::Row &row : rows_)
            names.emplace_back(row.caption());
        return names;
    }

    std::vector<lists::Row> rows_;
    std::vector<std::string> reported;
    std::vector<std::size_t> rowsAtEachStep;
    std::vector<std::size_t> filesReadAtEachStep;
    std::vector<std::chrono::steady_clock::time_point> stepTimes;
    int batches = 0;
    int stopAfter = -1;
};

using Names = std::vector<std::string>;

class ScanRunTest : public ::testing::Test
{
protected:
    void makeTree()
    {
        tree.file("a.mp3", audioBytes(200) + tagBytes("Alpha", "Artist", "", "1999"));
        tree.file("b.mp2", audioBytes(50));
        tree.file("sub/c.MP3", audioBytes(300) + tagBytes("Gamma"));
        tree.file("sub/notes.txt", "x");
        tree.file("z.mp3", audioBytes(10));
    }
    testing_support::TempTree tree;
    RecordingScanHost host;
};

} // namespace

TEST_F(ScanRunTest, RowsReachTheHostInWalkOrderBeforeEveryEventStep)
{
    makeTree();
    lists::ScanRun run(host, std::chrono::milliseconds(0));
    run.scanFolder(tree.root());
    run.flush();
    EXPECT_EQ(host.captions(), (Names {"a.mp3", "b.mp2", "c.MP3", "z.mp3"}));
    EXPECT_EQ(host.rows_[0].subItem(lists::SubItem::Title), "Alpha");
    EXPECT_EQ(host.rows_[0].subItem(lists::SubItem::Year), "1999");
    EXPECT_EQ(host.rows_[2].path(), tree.path("sub/c.MP3"));
    EXPECT_EQ(host.reported.back(), tree.path("z.mp3"));
    EXPECT_EQ(run.filesRead(), 4u);
    // With no interval, a step follows every file (and every folder and entry of the walk),
    // and each step saw all rows read so far.
    for (const std::size_t rows : {1, 2, 3, 4})
        EXPECT_EQ(
            std::count(host.rowsAtEachStep.begin(), host.rowsAtEachStep.end(), rows) > 0, true)
            << rows;
    EXPECT_EQ(host.rowsAtEachStep, host.filesReadAtEachStep);
}

TEST_F(ScanRunTest, ALongIntervalBatchesRowsAndFlushHandsOverTheRest)
{
    makeTree();
    lists::ScanRun run(host, std::chrono::hours(1));
    run.addFile(tree.path("a.mp3"));
    run.scanFolder(tree.root());
    // Only the first file steps (no step has been taken yet); the rest waits for flush().
    EXPECT_EQ(host.rowsAtEachStep, (std::vector<std::size_t> {1}));
    EXPECT_EQ(host.rows_.size(), 1u);
    run.flush();
    EXPECT_EQ(host.rows_.size(), 5u);
    EXPECT_EQ(host.batches, 2);
    run.flush();
    EXPECT_EQ(host.batches, 2) << "an empty flush hands over nothing";
}

TEST_F(ScanRunTest, AStopRequestEndsTheWalkAfterTheFileAtHand)
{
    makeTree();
    host.stopAfter = 2;
    lists::ScanRun run(host, std::chrono::milliseconds(0));
    run.scanFolder(tree.root());
    run.flush();
    EXPECT_EQ(host.captions(), (Names {"a.mp3", "b.mp2"}));
}

TEST_F(ScanRunTest, AWalkThatFindsNoAudioFileStillStepsEveryTwentyMilliseconds)
{
    // On tmpfs where it can be mounted: 20,000 folders come and go slowly on a busy disk.
    const std::string empty = tree.folder("empty");
    const testing_support::Mount fast = testing_support::Mount::tmpfs(empty, "size=64m");
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(::mkdir((empty + "/" + std::to_string(i)).c_str(), 0755), 0);
    {
        // With no interval, a step at every folder at least.
        lists::ScanRun run(host, std::chrono::milliseconds(0));
        run.scanFolder(tree.root());
        EXPECT_GE(host.stepTimes.size(), 20000u);
        EXPECT_TRUE(host.rows_.empty());
    }
    host.stepTimes.clear();
    const auto start = std::chrono::steady_clock::now();
    lists::ScanRun run(host, std::chrono::milliseconds(20));
    run.scanFolder(tree.root());
    const auto end = std::chrono::steady_clock::now();
    ASSERT_FALSE(host.stepTimes.empty());
    // No more often than the interval, and no long gap (generous for a loaded machine).
    EXPECT_LE(
        host.stepTimes.size(), std::size_t((end - start) / std::chrono::milliseconds(20)) + 1);
    std::vector<std::chrono::steady_clock::time_point> times = host.stepTimes;
    // (The host reads its clock a moment after the run read its own.)
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_GE(times[i] - times[i - 1], std::chrono::milliseconds(19)) << "step " << i;
    times.push_back(end);
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_LT(times[i] - times[i - 1], std::chrono::milliseconds(500)) << "step " << i;
}

TEST_F(ScanRunTest, AFileThatCannotBeReadEndsTheScanWithoutARowAndKeepsTheRowsBefore)
{
    makeTree();
    // A FIFO named like audio is never opened: it counts as a file that cannot be opened.
    ASSERT_EQ(::mkfifo(tree.path("m.mp3").c_str(), 0644), 0);
    lists::ScanRun run(host, std::chrono::hours(1));
    EXPECT_NE(testing_support::errorOf([&] { run.scanFolder(tree.root()); }), "");
    run.flush();
    EXPECT_EQ(host.captions(), (Names {"a.mp3", "b.mp2"}));
    // Adding single files goes on after the failure, through the same run.
    run.addFile(tree.path("z.mp3"));
    run.flush();
    EXPECT_EQ(host.captions().back(), "z.mp3");
}

namespace {

class RecordingBulkReport final : public editing::IBulkTagReport
{
public:
    void written(std::size_t index) override { writtenIndexes.push_back(index); }
    void progress(const platform::RunProgress &progress) override
    {
        EXPECT_EQ(progress.done, writtenIndexes.size());
        total = progress.total;
    }
    bool stopRequested() override
    {
        return stopAfter >= 0 && writtenIndexes.size() >= std::size_t(stopAfter);
    }

    std::vector<std::size_t> writtenIndexes;
    std::size_t total = 0;
    int stopAfter = -1;
};

tags::TagMerge albumMerge(const std::string &album)
{
    tags::TagMerge merge;
    merge.texts[static_cast<std::size_t>(tags::TextField::Album)] = tags::TextChange::set(album);
    return merge;
}

} // namespace

TEST(BulkTagRun, WritesEachFileInTurnAndStopsAtTheFirstThatHasGone)
{
    testing_support::TempTree tree;
    const std::string audio = audioBytes(500);
    const std::vector<std::string> paths = {tree.file("a.mp3", audio + tagBytes("A", "X")),
        tree.file("b.mp3", audio), tree.path("gone.mp3"), tree.file("c.mp3", audio)};
    editing::FileTagWriter writer;
    RecordingBulkReport report;
    const editing::BulkTagResult result
        = editing::runBulkTagSetting(paths, albumMerge("Live"), writer, report);

    EXPECT_EQ(result.outcome, editing::BulkTagResult::Outcome::FileMissing);
    EXPECT_EQ(result.missingPath, paths[2]);
    EXPECT_EQ(result.written, 2u);
    EXPECT_EQ(report.writtenIndexes, (std::vector<std::size_t> {0, 1}));
    EXPECT_EQ(report.total, 4u);
    // The merge kept the other fields; the file without a tag got one appended.
    EXPECT_EQ(readBytes(paths[0]), audio + tagBytes("A", "X", "Live"));
    EXPECT_EQ(readBytes(paths[1]).substr(0, audio.size()), audio);
    EXPECT_EQ(readBytes(paths[1]).size(), audio.size() + 128);
    EXPECT_FALSE(exists(paths[2]));
    EXPECT_EQ(readBytes(paths[3]), audio) << "nothing is written after the missing file";
}

TEST(BulkTagRun, AStopRequestLeavesTheRestUntouched)
{
    testing_support::TempTree tree;
    const std::string tagged = audioBytes(100) + tagBytes("T");
    std::vector<std::string> paths;
    for (const char *name : {"a.mp3", "b.mp3", "c.mp3"})
        paths.push_back(tree.file(name, tagged));
    editing::FileTagWriter writer;
    RecordingBulkReport report;
    report.stopAfter = 1;
    const editing::BulkTagResult result
        = editing::runBulkTagSetting(paths, albumMerge("Z"), writer, report);
    EXPECT_EQ(result.outcome, editing::BulkTagResult::Outcome::Stopped);
    EXPECT_EQ(result.written, 1u);
    EXPECT_NE(readBytes(paths[0]), tagged);
    EXPECT_EQ(readBytes(paths[1]), tagged);
    EXPECT_EQ(readBytes(paths[2]), tagged);
}

TEST(RowCells, AMergeChangesOnlyItsFieldsAndAGenreByItsName)
{
    tags::TagMerge merge;
    merge.texts[static_cast<std::size_t>(tags::TextField::Title)] = tags::TextChange::set("New");
    merge.texts[static_cast<std::size_t>(tags::TextField::Comment)] = tags::TextChange::erase();
    merge.genre = {tags::GenreChange::Kind::Set, 17};
    const lists::CellChanges expected = {{lists::SubItem::Title, "New"},
        {lists::SubItem::Comment, ""}, {lists::SubItem::Genre, tags::GenreCodeToName(17)}};
    EXPECT_EQ(lists::cellsAfter(merge), expected);
    EXPECT_EQ(tags::GenreCodeToName(17), "Rock");

    merge = {};
    merge.genre = {tags::GenreChange::Kind::Erase, tags::NoGenre};
    EXPECT_EQ(lists::cellsAfter(merge), (lists::CellChanges {{lists::SubItem::Genre, ""}}));
    EXPECT_TRUE(lists::cellsAfter(tags::TagMerge {}).empty());

    tags::CompleteTag tag;
    tag.texts = {"T", "Ar", "Al", "2001", "C"};
    tag.genre = 200; // a code with no name shows empty
    const lists::CellChanges all = {{lists::SubItem::Title, "T"}, {lists::SubItem::Artist, "Ar"},
        {lists::SubItem::Album, "Al"}, {lists::SubItem::Year, "2001"},
        {lists::SubItem::Comment, "C"}, {lists::SubItem::Genre, ""}};
    EXPECT_EQ(lists::cellsAfter(lists::mergeOf(tag)), all);
}

namespace {

// Records outcomes and questions, and checks that every file before a question has ended.
class RecordingTransferReport final : public fileops::ITransferReport
{
public:
    bool mayReplace(std::string_view name) override
    {
        asked.emplace_back(name);
        finishedWhenAsked.push_back(outcomes.size());
        return answers.empty() ? false : takeAnswer();
    }
    void finished(std::size_t index, bool done) override
    {
        EXPECT_EQ(index, outcomes.size());
        outcomes.push_back(done);
    }
    bool stopRequested() override
    {
        return stopAfter >= 0 && outcomes.size() >= std::size_t(stopAfter);
    }

    bool takeAnswer()
    {
        const bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }

    std::vector<bool> answers;
    std::vector<std::string> asked;
    std::vector<std::size_t> finishedWhenAsked;
    std::vector<bool> outcomes;
    int stopAfter = -1;
};

} // namespace

TEST(TransferRun, CopyAsksBeforeEachReplacementAndReportsEveryFileInOrder)
{
    testing_support::TempTree tree;
    const std::vector<std::string> sources = {tree.file("src/a.mp3", "A"),
        tree.file("src/b.mp3", "B"), tree.path("src/gone.mp3"), tree.file("src/c.mp3", "C")};
    tree.file("dst/b.mp3", "old b");
    tree.file("dst/c.mp3", "old c");
    RecordingTransferReport report;
    report.answers = {false, true};
    fileops::runTransfer(sources, tree.path("dst"), fileops::Transfer::Copy, report);

    EXPECT_EQ(report.outcomes, (std::vector<bool> {true, false, false, true}));
    EXPECT_EQ(report.asked, (Names {"b.mp3", "c.mp3"}));
    EXPECT_EQ(report.finishedWhenAsked, (std::vector<std::size_t> {1, 3}));
    EXPECT_EQ(readBytes(tree.path("dst/a.mp3")), "A");
    EXPECT_EQ(readBytes(tree.path("dst/b.mp3")), "old b");
    EXPECT_EQ(readBytes(tree.path("dst/c.mp3")), "C");
    EXPECT_EQ(readBytes(sources[0]), "A") << "a copy keeps its source";
}

TEST(TransferRun, MoveAndDeleteTakeTheirFilesAndStopWhenAsked)
{
    testing_support::TempTree tree;
    const std::vector<std::string> sources
        = {tree.file("src/a.mp3", "A"), tree.file("src/b.mp3", "B"), tree.file("src/c.mp3", "C")};
    tree.folder("dst");
    RecordingTransferReport moves;
    moves.stopAfter = 2;
    fileops::runTransfer(sources, tree.path("dst"), fileops::Transfer::Move, moves);
    EXPECT_EQ(moves.outcomes, (std::vector<bool> {true, true}));
    EXPECT_EQ(testing_support::listNames(tree.path("dst")), (Names {"a.mp3", "b.mp3"}));
    EXPECT_EQ(testing_support::listNames(tree.path("src")), (Names {"c.mp3"}));

    RecordingTransferReport deletes;
    fileops::runDelete({tree.path("dst/a.mp3"), tree.path("dst/none.mp3"), sources[2]}, deletes);
    EXPECT_EQ(deletes.outcomes, (std::vector<bool> {true, false, true}));
    EXPECT_TRUE(deletes.asked.empty());
    EXPECT_EQ(testing_support::listNames(tree.path("dst")), (Names {"b.mp3"}));
    EXPECT_TRUE(testing_support::listNames(tree.path("src")).empty());
}
