// Batches of renames in the journal: undone and redone name by name, and only where the name
// still names the file the batch renamed and the other name is free.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <functional>

#include "editing/journalfile.h"
#include "editing/renameundo.h"
#include "fileops/namesfromtags.h"
#include "fileops/renamerun.h"
#include "platform/filesystem.h"
#include "tags/tagfile.h"
#include "tests/support/testtree.h"

using testing_support::audioBytes;
using testing_support::listNames;
using testing_support::readBytes;
using testing_support::tagBytes;

namespace {

using Names = std::vector<std::string>;

// A rename run whose plan goes into the journal before the first rename.
class JournalingReport final : public fileops::IRenameReport
{
public:
    explicit JournalingReport(editing::ITagJournal &journal)
        : m_batch(&journal)
    { }
    void aboutToRename(const std::vector<fileops::NamePlanRow> &plan) override
    {
        m_batch.begin(fileops::renamesOf<editing::PlannedRename>(plan));
    }
    void renamed(std::size_t, const std::string &) override { }

private:
    editing::JournaledRenames m_batch;
};

class RenameReport final : public editing::IRestoreReport
{
public:
    void restored(const editing::RestoredFile &) override { }
    void renamed(const std::string &from, const std::string &to) override
    {
        moves.emplace_back(from, to);
    }
    bool stopRequested() override { return moves.size() >= stopAfter; }
    std::vector<std::pair<std::string, std::string>> moves;
    std::size_t stopAfter = 99;
};

class RenameUndo : public ::testing::Test
{
public:
    // Renames a.mp3 ... d.mp3 to their titles A ... D in one journaled batch.
    void renameBatch()
    {
        std::vector<std::string> paths;
        for (const char *name : {"a", "b", "c", "d"})
            paths.push_back(tree.file(std::string("d/") + name + ".mp3",
                audioBytes(300) + tagBytes(std::string(1, char(name[0] - 'a' + 'A')))));
        platform::IRunControl quiet;
        const fileops::NamePlan plan
            = fileops::planNamesFromTags(paths, fileops::parseNameFormat("%title%"), {}, quiet);
        JournalingReport report(*journal);
        fileops::runRenames(plan.rows, report);
    }
    std::string path(const std::string &name) { return tree.path("d/" + name); }

    testing_support::TempTree tree;
    std::unique_ptr<editing::JournalFile> journal
        = editing::JournalFile::openIn(tree.path("state/bellwick"));
};

} // namespace

TEST_F(RenameUndo, UndoAndRedoAfterFilesWereRenamedReplacedOrChangedBetween)
{
    struct Case
    {
        const char *what;
        std::function<void(RenameUndo &)> between;
        Names afterUndo;
        std::size_t leftAlone;
        Names afterRedo;
        std::size_t redoLeftAlone;
    };
    const auto rename = [](RenameUndo &t, const char *from, const char *to) {
        ASSERT_EQ(std::rename(t.path(from).c_str(), t.path(to).c_str()), 0);
    };
    const Names all = {"a.mp3", "b.mp3", "c.mp3", "d.mp3"};
    const Names renamed = {"A.mp3", "B.mp3", "C.mp3", "D.mp3"};
    const Case cases[] = {
        {"nothing", [](RenameUndo &) {}, all, 0, renamed, 0},
        {"renamed again", [&](RenameUndo &t) { rename(t, "B.mp3", "x.mp3"); },
            {"a.mp3", "c.mp3", "d.mp3", "x.mp3"}, 1, {"A.mp3", "C.mp3", "D.mp3", "x.mp3"}, 1},
        {"replaced by another file",
            [&](RenameUndo &t) {
                t.tree.file("d/other", "other");
                rename(t, "other", "C.mp3");
            },
            {"C.mp3", "a.mp3", "b.mp3", "d.mp3"}, 1, renamed, 1},
        // The redo finds the file under the name it is to take already.
        {"old name taken", [](RenameUndo &t) { t.tree.file("d/a.mp3", "new"); },
            {"A.mp3", "a.mp3", "b.mp3", "c.mp3", "d.mp3"}, 1,
            {"A.mp3", "B.mp3", "C.mp3", "D.mp3", "a.mp3"}, 0},
        {"tag changed in place",
            [](RenameUndo &t) { tags::WriteTagBlock(t.path("D.mp3"), tags::completeBlock({})); },
            all, 0, renamed, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testing_support::removeTree(tree.path("d"));
        renameBatch();
        ASSERT_EQ(listNames(tree.path("d")), renamed);
        const auto batch = journal->nextUndo();
        ASSERT_TRUE(batch);
        EXPECT_EQ(batch->name, "ファイル名の変更");
        EXPECT_EQ(batch->files, 4u);
        EXPECT_TRUE(batch->renames);
        const std::size_t size = readBytes(path("D.mp3")).size();

        c.between(*this);
        RenameReport undo;
        const editing::RestoreResult undone = journal->undo("元に戻す", undo);
        EXPECT_EQ(listNames(tree.path("d")), c.afterUndo);
        EXPECT_EQ(undone.leftAlone.size(), c.leftAlone);
        EXPECT_EQ(undone.restored + undone.leftAlone.size(), 4u);
        EXPECT_EQ(undo.moves.size(), undone.restored);
        EXPECT_EQ(readBytes(path("d.mp3")).size(), size); // the file moved whole
        EXPECT_EQ(journal->history(1).front().leftAlone, c.leftAlone);

        RenameReport redo;
        EXPECT_EQ(journal->redo("やり直し", redo).leftAlone.size(), c.redoLeftAlone);
        EXPECT_EQ(listNames(tree.path("d")), c.afterRedo);
    }
}

TEST_F(RenameUndo, AnUndoStoppedPartWayIsFinishedByTheNext)
{
    renameBatch();
    RenameReport stopped;
    stopped.stopAfter = 2;
    journal->undo("元に戻す", stopped);
    EXPECT_EQ(listNames(tree.path("d")), (Names {"A.mp3", "B.mp3", "c.mp3", "d.mp3"}));
    // The run that was cut short is taken again, and the names it moved count as done.
    RenameReport again;
    const editing::RestoreResult result = journal->undo("元に戻す", again);
    EXPECT_EQ(result.restored, 4u);
    EXPECT_EQ(again.moves.size(), 2u);
    EXPECT_EQ(listNames(tree.path("d")), (Names {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
}

TEST_F(RenameUndo, AFileBornLaterUnderTheSameInodeNumberIsAnotherFile)
{
    const std::string now = tree.file("d/B.mp3", audioBytes(300));
    struct stat st;
    ASSERT_EQ(::stat(now.c_str(), &st), 0);
    const long long birth = platform::birthTime(now.c_str());
    if (birth == 0)
        GTEST_SKIP() << "the file system does not tell birth times";
    // The batch renamed b.mp3 to B.mp3; the file there now has its inode number but was made
    // at another time.
    for (const long long recorded : {birth + 1, birth}) {
        const std::uint64_t id = journal->beginBatch(editing::RenameBatchName);
        std::string records;
        editing::journal::appendRename(records, id,
            {path("b.mp3"), now, std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), recorded});
        editing::journal::appendEnd(records, id);
        journal->appendRecords(records);
        journal->endBatch({});
        RenameReport report;
        const editing::RestoreResult result = journal->undo("元に戻す", report);
        EXPECT_EQ(result.leftAlone.size(), recorded == birth ? 0u : 1u);
        EXPECT_EQ(testing_support::exists(path("b.mp3")), recorded == birth);
    }
}
