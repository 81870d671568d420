// The edit menu's undo and redo, driven as the user drives them: bulk runs and editor saves
// made in the window or batches written as the companion writes them, the menu opened, the
// entries pressed or their shortcuts typed, the questions answered through the scripted modal
// interface; files, rows and messages checked.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include <QAbstractItemView>
#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "editing/Unit3.h"
#include "editing/Unit6.h"
#include "editing/tagfieldedit.h"
#include "editing/tagjournal.h"
#include "lists/filelistview.h"
#include "lists/row.h"
#include "platform/filesystem.h"
#include "tests/support/faults.h"
#include "tests/support/faultyfs.h"
#include "tests/support/mainwindowaccess.h"
#include "tests/support/mainwindowfixture.h"
#include "tests/support/scopedenv.h"

using testing_support::MainWindowAccess;

using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::snapshot;
using testing_support::tagBytes;
using testing_support::text;

namespace {

struct EntryState
{
    QString caption;
    bool enabled;
};

class UndoMenu : public testing_support::MainWindowTest
{
protected:
    // Opens the edit menu as the user does and gives what its two entries show.
    static std::pair<EntryState, EntryState> editMenu(MainWindowAccess &window)
    {
        const bool wasActive = window.isActiveWindow();
        window.Edit1->popup(QPoint(0, 0));
        EXPECT_TRUE(window.Edit1->isVisible());
        const std::pair<EntryState, EntryState> shown {
            {window.Undo1->text(), window.Undo1->isEnabled()},
            {window.Redo1->text(), window.Redo1->isEnabled()}};
        window.Edit1->hide();
        // The offscreen platform leaves the window inactive after a popup; a desktop gives
        // the activation back, and the shortcuts need it.
        if (wasActive) {
            window.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        }
        return shown;
    }
    std::pair<EntryState, EntryState> editMenu() { return editMenu(form); }

    // A bulk run over the given rows of a list that sets their Title.
    void bulkTitle(MainWindowAccess &window, FileListView *list, std::initializer_list<int> rows,
        const char *title)
    {
        list->setSelectionFlags({});
        select(list, rows);
        modal.onDialog([title](QDialog *d) {
            auto *bulk = qobject_cast<TForm6 *>(d);
            bulk->Edit2->setText(text(title));
            bulk->Edit2->setModified(true);
            bulk->Button1->click();
            return bulk->result();
        });
        window.N17Click(list == window.ListView1 ? window.N17 : window.N18);
    }
    void bulkTitle(std::initializer_list<int> rows, const char *title)
    {
        bulkTitle(form, form.ListView1, rows, title);
    }

    // The files the companion's `set` writes, in a process of its own: one batch, a
    // complete tag with this title each.
    static void companionSet(const std::vector<std::string> &paths, const std::string &title)
    {
        EXPECT_TRUE(testing_support::passesInChild([&] {
            editing::JournaledTagWriter writer(editing::ITagJournal::open(), [] { return false; });
            const editing::TagWriteBatch batch(writer, "bellwick-cli set");
            ASSERT_TRUE(batch.started());
            for (const std::string &path : paths)
                ASSERT_EQ(writer.write(path, testing_support::completeTagBlock(title)),
                    tags::WriteOutcome::Written);
        }));
    }

    static std::string title(const FileListView *list, int row)
    {
        return list->row(row).subItem(lists::SubItem::Title);
    }
    QString lastQuestion() const
    {
        return modal.questions.empty() ? QString() : modal.questions.back().text;
    }
};

const QString UndoPlain = text("元に戻す(&U)");
const QString RedoPlain = text("やり直し(&R)");

} // namespace

TEST_F(UndoMenu, EntriesNameTheBatchTheyTakeAndAreGreyedWhenThereIsNone)
{
    // The menu stands right after the file menu, with its shortcuts.
    const QList<QAction *> menus = form.menuBar()->actions();
    ASSERT_GE(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), text("ファイル(&F)"));
    EXPECT_EQ(menus[1]->menu(), form.Edit1);
    EXPECT_EQ(menus[1]->text(), text("編集(&E)"));
    EXPECT_EQ(menus.back()->text(), text("ヘルプ(&H)"));
    EXPECT_EQ(form.Edit1->actions(), (QList<QAction *> {form.Undo1, form.Redo1}));
    EXPECT_EQ(
        form.Undo1->shortcuts(), QList<QKeySequence> {QKeySequence(QStringLiteral("Ctrl+Z"))});
    EXPECT_EQ(form.Redo1->shortcuts(),
        (QList<QKeySequence> {
            QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))}));

    addFile(form.ListView1, "a.mp3", audioBytes(200) + tagBytes("Old"));
    addFile(form.ListView1, "b.mp3", audioBytes(300));
    addFile(form.ListView1, "c.mp3", audioBytes(400) + tagBytes("C"));

    auto [undo, redo] = editMenu();
    EXPECT_EQ(undo.caption, UndoPlain);
    EXPECT_FALSE(undo.enabled);
    EXPECT_EQ(redo.caption, RedoPlain);
    EXPECT_FALSE(redo.enabled);
    // Closed again, the entries take their shortcuts whatever the journal holds.
    EXPECT_TRUE(form.Undo1->isEnabled());
    EXPECT_TRUE(form.Redo1->isEnabled());

    bulkTitle({0, 1, 2}, "New");
    std::tie(undo, redo) = editMenu();
    EXPECT_EQ(undo.caption, text("元に戻す(&U): タグ一括設定 (3 ファイル)"));
    EXPECT_TRUE(undo.enabled);
    EXPECT_EQ(redo.caption, RedoPlain);
    EXPECT_FALSE(redo.enabled);

    modal.answer(platform::IDYES);
    form.Undo1->trigger();
    std::tie(undo, redo) = editMenu();
    EXPECT_EQ(undo.caption, UndoPlain);
    EXPECT_FALSE(undo.enabled);
    EXPECT_EQ(redo.caption, text("やり直し(&R): タグ一括設定 (3 ファイル)"));
    EXPECT_TRUE(redo.enabled);

    // A save of the editor is a batch of its own, and a new write clears what could be redone.
    form.ListView1->setSelectionFlags({true});
    modal.onDialog([](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        editor->Edit2->setText(QStringLiteral("Edited"));
        editor->Edit2->setModified(true);
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    std::tie(undo, redo) = editMenu();
    EXPECT_EQ(undo.caption, text("元に戻す(&U): タグ変更 (1 ファイル)"));
    EXPECT_FALSE(redo.enabled);
    EXPECT_TRUE(modal.allAnswersUsed());
}

TEST_F(UndoMenu, UndoAsksFirstAndPutsBackEveryByteAndBothListsRows)
{
    // Tagged with a genre and a track number, untagged, read-only, and a file too short to
    // hold a tag.
    std::string tagged = audioBytes(200) + tagBytes("Old", "Art", "Alb", "1999", "note", 17);
    tagged[tagged.size() - 3] = '\0';
    tagged[tagged.size() - 2] = '\x05';
    const std::string a = addFile(form.ListView1, "a.mp3", tagged);
    const std::string b = addFile(form.ListView1, "b.mp3", audioBytes(300));
    const std::string c = addFile(form.ListView1, "c.mp3", audioBytes(150) + tagBytes("C"), 0444);
    const std::string d = addFile(form.ListView1, "d.mp3", audioBytes(100));
    addRows(form.ListView2, {c, a});
    const std::vector<std::string> files = {a, b, c, d};
    std::vector<testing_support::Snapshot> before;
    for (const std::string &file : files)
        before.push_back(snapshot(file));
    form.setStatusText(a);

    bulkTitle({0, 1, 2, 3}, "New");
    std::vector<std::string> after;
    for (const std::string &file : files)
        after.push_back(readBytes(file));
    ASSERT_EQ(title(form.ListView1, 1), "New");

    // No, the default, changes nothing.
    modal.answer(platform::IDNO);
    form.Undo1->trigger();
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(modal.questions[0].text,
        text("4 個のファイルのタグを書き込み前に戻します。よろしいですか？"));
    EXPECT_EQ(modal.questions[0].caption, text("確認"));
    EXPECT_EQ(modal.questions[0].flags, platform::MB_YESNO | platform::MB_DEFBUTTON2);
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(readBytes(files[i]), after[i]) << files[i];

    modal.answer(platform::IDYES);
    form.Undo1->trigger();
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(snapshot(files[i]), before[i]) << files[i];
    EXPECT_EQ(modal.questions.size(), 2u); // no summary: every file was put back
    const lists::Row &rowA = form.ListView1->row(0);
    EXPECT_EQ(rowA.subItem(lists::SubItem::Title), "Old");
    EXPECT_EQ(rowA.subItem(lists::SubItem::Genre), "Rock");
    EXPECT_EQ(rowA.subItem(lists::SubItem::Comment), "note"); // the track number is no text
    EXPECT_EQ(title(form.ListView1, 1), "");
    EXPECT_EQ(title(form.ListView1, 2), "C");
    EXPECT_EQ(title(form.ListView1, 3), "");
    // The status line shows again what it showed before the run.
    EXPECT_EQ(form.StatusBar1->text(), QString::fromStdString(a));

    // Redo writes the batch again; the work list's rows, which the bulk run left alone, show
    // it as well.
    modal.answer(platform::IDYES);
    form.Redo1->trigger();
    EXPECT_EQ(lastQuestion(), text("4 個のファイルのタグをもう一度書き込みます。よろしいですか？"));
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(readBytes(files[i]), after[i]) << files[i];
    EXPECT_EQ(testing_support::fileMode(c), 0444);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(title(form.ListView1, i), "New");
    EXPECT_EQ(title(form.ListView2, 0), "New");
    EXPECT_EQ(title(form.ListView2, 1), "New");
    EXPECT_EQ(form.ListView2->row(1).subItem(lists::SubItem::Genre), "Rock");

    // And undone again.
    modal.answer(platform::IDYES);
    form.Undo1->trigger();
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(readBytes(files[i]), before[i].bytes) << files[i];
    EXPECT_EQ(title(form.ListView2, 0), "C");
    EXPECT_TRUE(modal.allAnswersUsed());
}

TEST_F(UndoMenu, FilesChangedOrGoneSinceTheBatchAreLeftAloneAndCounted)
{
    const std::string a = addFile(form.ListView1, "a.mp3", audioBytes(200) + tagBytes("A"));
    const std::string b = addFile(form.ListView1, "b.mp3", audioBytes(300) + tagBytes("B"));
    const std::string c = addFile(form.ListView1, "c.mp3", audioBytes(400) + tagBytes("C"));
    const std::string d = addFile(form.ListView1, "d.mp3", audioBytes(500) + tagBytes("D"));
    const std::string cBefore = readBytes(c);
    bulkTitle({0, 1, 2, 3}, "New");
    // Another program writes a's tag afterwards, b is deleted, and d's name becomes a link
    // to itself, which cannot be opened.
    const std::string aChanged = audioBytes(200) + tagBytes("Other");
    tree.file("a.mp3", aChanged);
    ASSERT_EQ(::unlink(b.c_str()), 0);
    ASSERT_EQ(::unlink(d.c_str()), 0);
    tree.symlink("d.mp3", "d.mp3");

    modal.answer(platform::IDYES);
    modal.answer(platform::IDCANCEL);
    modal.answer(platform::IDOK);
    form.Undo1->trigger();
    ASSERT_EQ(modal.questions.size(), 3u);
    // The report names the files left alone and offers the same batch again.
    const QString report = modal.questions[1].text;
    EXPECT_TRUE(report.startsWith(
        text("1 個のファイルを戻しました。2 "
             "個は書き込みの後で変更されたか見つからないため、そのままにしました。\n")));
    EXPECT_TRUE(
        report.contains(QString::fromStdString(a)) && report.contains(QString::fromStdString(b)))
        << report.toStdString();
    EXPECT_EQ(modal.questions[1].caption, text("確認"));
    EXPECT_EQ(modal.questions[1].flags & 0xF, platform::MB_RETRYCANCEL);
    // The file that could not be opened is neither changed nor gone: its own error says so.
    EXPECT_EQ(modal.questions[2].text, QString::fromStdString("ファイル " + d + " は開けません."));
    EXPECT_EQ(modal.questions[2].flags & platform::MB_ICONERROR, platform::MB_ICONERROR);
    EXPECT_EQ(readBytes(a), aChanged);
    EXPECT_FALSE(testing_support::exists(b));
    EXPECT_EQ(readBytes(c), cBefore);
    // Only the restored file's row changes.
    EXPECT_EQ(title(form.ListView1, 0), "New");
    EXPECT_EQ(title(form.ListView1, 1), "New");
    EXPECT_EQ(title(form.ListView1, 2), "C");
    EXPECT_EQ(title(form.ListView1, 3), "New");
}

TEST_F(UndoMenu, AnUndoThatLeftFilesAloneIsNotOfferedAgainAfterANewBatch)
{
    const std::string a = addFile(form.ListView1, "a.mp3", audioBytes(200) + tagBytes("A"));
    const std::string b = addFile(form.ListView1, "b.mp3", audioBytes(300) + tagBytes("B"));
    const std::string c = addFile(form.ListView1, "c.mp3", audioBytes(400) + tagBytes("C"));
    bulkTitle({0}, "One");
    bulkTitle({1}, "Two");
    tree.file("b.mp3", readBytes(b) + "changed");
    modal.answer(platform::IDYES);
    modal.answer(platform::IDOK);
    form.Undo1->trigger();
    bulkTitle({2}, "Three");
    EXPECT_FALSE(editMenu().second.enabled);
    // Undo takes the new batch and then the first; the one undone before is not taken again.
    for (int i = 0; i < 2; ++i) {
        modal.answer(platform::IDYES);
        form.Undo1->trigger();
    }
    EXPECT_EQ(title(form.ListView1, 0), "A");
    EXPECT_EQ(title(form.ListView1, 2), "C");
    auto [undo, redo] = editMenu();
    EXPECT_EQ(undo.caption, UndoPlain);
    EXPECT_FALSE(undo.enabled);
    EXPECT_EQ(redo.caption, text("やり直し(&R): タグ一括設定 (1 ファイル)"));
    EXPECT_TRUE(modal.allAnswersUsed());
}

TEST_F(UndoMenu, ShortcutsTakeABatchTheCompanionWroteWithoutTheMenuEverOpening)
{
    showWindow();
    // 1,204 files written by the companion after the window had started.
    std::vector<std::string> files;
    for (int i = 0; i < 1204; ++i)
        files.push_back(tree.file("many/f" + std::to_string(i) + ".mp3",
            audioBytes(130, static_cast<unsigned>(i)) + (i % 2 ? tagBytes("Was") : "")));
    std::vector<std::string> before;
    for (const std::string &file : files)
        before.push_back(readBytes(file));
    addRows(form.ListView1, {files[0], files[1]});
    addRows(form.ListView2, {files[1]});
    QWidget *focus = form.ListView2->currentView();
    focus->setFocus();

    // Nothing to redo: the shortcut does nothing and asks nothing.
    QTest::keyClick(focus, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(modal.questions.empty());

    companionSet(files, "Cli");
    modal.answer(platform::IDNO);
    QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(
        lastQuestion(), text("1,204 個のファイルのタグを書き込み前に戻します。よろしいですか？"));
    EXPECT_EQ(readBytes(files[1]),
        audioBytes(130, 1) + testing_support::bytesOf(testing_support::completeTagBlock("Cli")));

    auto [undo, redo] = editMenu();
    EXPECT_EQ(undo.caption, text("元に戻す(&U): bellwick-cli set (1,204 ファイル)"));
    EXPECT_FALSE(redo.enabled);

    modal.answer(platform::IDYES);
    QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
    for (std::size_t i = 0; i < files.size(); ++i)
        ASSERT_EQ(readBytes(files[i]), before[i]) << files[i];

    // Both redo shortcuts ask for the batch; the second one is answered yes.
    modal.answer(platform::IDNO);
    QTest::keyClick(focus, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(
        lastQuestion(), text("1,204 個のファイルのタグをもう一度書き込みます。よろしいですか？"));
    modal.answer(platform::IDYES);
    QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(modal.questions.size(), 4u);
    EXPECT_EQ(title(form.ListView1, 0), "Cli");
    EXPECT_EQ(title(form.ListView1, 1), "Cli");
    EXPECT_EQ(title(form.ListView2, 0), "Cli");
    EXPECT_EQ(readBytes(files[0]),
        audioBytes(130, 0) + testing_support::bytesOf(testing_support::completeTagBlock("Cli")));
    EXPECT_TRUE(modal.allAnswersUsed());
}

TEST_F(UndoMenu, WithoutAJournalTheWindowAsksOnceBeforeItsFirstWrite)
{
    // Neither the state folder nor the cache folder can be made: their parent is a file.
    const std::string plain = tree.file("plain", "not a folder");
    const testing_support::ScopedEnv state("XDG_STATE_HOME", plain + "/state");
    const testing_support::ScopedEnv cache("XDG_CACHE_HOME", plain + "/cache");
    MainWindowAccess window;
    window.createDialogs();
    const std::string bytes = audioBytes(200) + tagBytes("Old");
    const std::string a = addFile(window.ListView1, "a.mp3", bytes);
    const QString question = text("元に戻すための記録を保存できません。このまま書き込みますか？");

    // No in the editor: nothing written, the editor stays open with what was typed.
    window.ListView1->setSelectionFlags({true});
    modal.answer(platform::IDNO);
    modal.onDialog([](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        editor->show();
        editor->Edit2->setText(QStringLiteral("Typed"));
        editor->Edit2->setModified(true);
        editor->Button1->click();
        EXPECT_TRUE(editor->isVisible());
        EXPECT_EQ(editor->Edit2->text(), QStringLiteral("Typed"));
        editor->Button2->click();
        return editor->result();
    });
    window.N9Click(window.N9);
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(modal.questions[0].text, question);
    EXPECT_EQ(modal.questions[0].caption, text("確認"));
    EXPECT_EQ(modal.questions[0].flags & (platform::MB_YESNO | platform::MB_DEFBUTTON2),
        platform::MB_YESNO | platform::MB_DEFBUTTON2);
    EXPECT_EQ(readBytes(a), bytes);
    EXPECT_EQ(title(window.ListView1, 0), "Old");

    // No again in a bulk run: asked again, nothing written.
    modal.answer(platform::IDNO);
    bulkTitle(window, window.ListView1, {0}, "Bulk");
    EXPECT_EQ(modal.questions.size(), 2u);
    EXPECT_EQ(readBytes(a), bytes);
    EXPECT_EQ(title(window.ListView1, 0), "Old");

    // Yes is kept for the session.
    modal.answer(platform::IDYES);
    bulkTitle(window, window.ListView1, {0}, "Bulk");
    EXPECT_EQ(readBytes(a), audioBytes(200) + tagBytes("Bulk"));
    bulkTitle(window, window.ListView1, {0}, "Again");
    EXPECT_EQ(modal.questions.size(), 3u);
    EXPECT_EQ(readBytes(a), audioBytes(200) + tagBytes("Again"));
    EXPECT_EQ(title(window.ListView1, 0), "Again");

    // Nothing can be undone, by the menu or the shortcut's handler.
    const auto [undo, redo] = editMenu(window);
    EXPECT_FALSE(undo.enabled);
    EXPECT_FALSE(redo.enabled);
    window.Undo1->trigger();
    EXPECT_EQ(modal.questions.size(), 3u);
    EXPECT_TRUE(modal.allAnswersUsed());
}

TEST_F(UndoMenu, ABatchWrittenWhileTheQuestionWaitedIsAskedAboutBeforeAnythingIsUndone)
{
    const std::string a = addFile(form.ListView1, "a.mp3", audioBytes(200) + tagBytes("A"));
    const std::string b = addFile(form.ListView1, "b.mp3", audioBytes(300) + tagBytes("B"));
    bulkTitle({0}, "New");
    const std::string bBefore = readBytes(b);
    // The companion writes b while the user reads the first question and answers yes.
    modal.unqueuedAnswer = [&](const testing_support::ScriptedModal::Question &) {
        if (modal.questions.size() == 1)
            companionSet({a, b}, "Cli");
        return modal.questions.size() == 1 ? platform::IDYES : platform::IDNO;
    };
    form.Undo1->trigger();
    ASSERT_EQ(modal.questions.size(), 2u);
    EXPECT_EQ(modal.questions[0].text,
        text("1 個のファイルのタグを書き込み前に戻します。よろしいですか？"));
    EXPECT_EQ(modal.questions[1].text,
        text("2 個のファイルのタグを書き込み前に戻します。よろしいですか？"));
    // Answered no about the companion's batch: nothing is undone.
    EXPECT_EQ(readBytes(b),
        audioBytes(300) + testing_support::bytesOf(testing_support::completeTagBlock("Cli")));
    EXPECT_NE(readBytes(b), bBefore);
    EXPECT_EQ(title(form.ListView1, 0), "New");
}

TEST_F(UndoMenu, AJournalThatCannotBeSyncedIsReportedAndTheRowsStillFollowTheFiles)
{
    const std::string a = addFile(form.ListView1, "a.mp3", audioBytes(200) + tagBytes("A"));
    const std::string before = readBytes(a);
    bulkTitle({0}, "New");
    testing_support::FaultyFileSystem fs;
    const platform::ScopedFileSystem useFs(fs);
    fs.fail(testing_support::FaultyFileSystem::Call::Fsync, EIO);

    modal.answer(platform::IDYES);
    modal.answer(platform::IDOK);
    form.Undo1->trigger();
    ASSERT_EQ(modal.questions.size(), 2u);
    EXPECT_TRUE(modal.questions[1].text.endsWith(text(" に書き込めません.")))
        << modal.questions[1].text.toStdString();
    EXPECT_EQ(modal.questions[1].caption, QStringLiteral("Bellwick"));
    EXPECT_EQ(readBytes(a), before);
    EXPECT_EQ(title(form.ListView1, 0), "A");
    EXPECT_EQ(form.StatusBar1->text(), QString());
}

// The report of an undo that left a file alone names it and offers "再試行", which takes the
// same batch again (never an older one); a plain undo after it says it goes further back.
TEST_F(UndoMenu, ARetryTakesTheSameBatchAndGoingFurtherBackIsAskedAbout)
{
    const std::string older = addFile(form.ListView1, "older.mp3", audioBytes(200) + tagBytes("O"));
    const std::string a = addFile(form.ListView1, "a.mp3", audioBytes(300) + tagBytes("A"));
    const std::string b = addFile(form.ListView1, "b.mp3", audioBytes(400) + tagBytes("B"));
    const std::string olderBefore = readBytes(older);
    bulkTitle({0}, "Older");
    bulkTitle({1, 2}, "Newer");
    const std::string moved = tree.path("moved.mp3");
    ASSERT_EQ(::rename(b.c_str(), moved.c_str()), 0);

    modal.answer(platform::IDYES);
    modal.answer(platform::IDRETRY); // b is still away: the retry leaves it alone again
    modal.answer(platform::IDCANCEL);
    form.Undo1->trigger();
    ASSERT_EQ(modal.questions.size(), 3u);
    for (const int i : {1, 2}) {
        EXPECT_TRUE(modal.questions[i].text.contains(QString::fromStdString(b)));
        EXPECT_TRUE(modal.questions[i].text.contains(text("「再試行」")));
        EXPECT_EQ(modal.questions[i].flags & 0xF, platform::MB_RETRYCANCEL);
    }
    EXPECT_NE(readBytes(older), olderBefore);

    modal.answer(platform::IDNO);
    form.Undo1->trigger();
    EXPECT_EQ(lastQuestion(),
        text("「タグ一括設定 (2 ファイル)」は一部そのままです。その前の「タグ一括設定 (1 "
             "ファイル)」を元に戻します。よろしいですか？"));
    EXPECT_NE(readBytes(older), olderBefore);
    EXPECT_TRUE(modal.allAnswersUsed());
}
