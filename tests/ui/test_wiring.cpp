// Every binding of the main window, once: the real button, menu entry or list signal is
// pressed, triggered or emitted, and what only its handler does is seen.

#include <gtest/gtest.h>

#include <functional>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "app/Unit5.h"
#include "editing/Unit3.h"
#include "editing/Unit6.h"
#include "editing/tagjournal.h"
#include "lists/filelistview.h"
#include "search/Unit4.h"
#include "tests/support/mainwindowaccess.h"
#include "tests/support/scopedenv.h"
#include "tests/support/scriptedmodal.h"
#include "tests/support/testtree.h"
#include "widgets/BrowsDlg.h"
#include "widgets/errorreport.h"
#include "widgets/folderchooser.h"

using testing_support::MainWindowAccess;

using testing_support::audioBytes;
using testing_support::tagBytes;

namespace {

struct Window
{
    Window()
    {
        widgets::setApplicationTitle(QStringLiteral("Bellwick"));
        form.createDialogs();
        std::vector<lists::Row> rows;
        for (const char *name : {"a.mp3", "b.mp3"})
            rows.push_back(lists::makeRow(tree.file(name, audioBytes(20) + tagBytes(name)), {}));
        form.ListView1->appendRows(rows);
        form.ListView2->appendRows(rows);
        form.ListView1->setSelected(0, true);
        form.ListView2->setSelected(1, true);
    }

    const QDialog *shown(std::size_t i = 0) const
    {
        return i < modal.dialogsShown.size() ? modal.dialogsShown[i] : nullptr;
    }
    QString question() const
    {
        return modal.questions.empty() ? QString() : modal.questions[0].text;
    }

    bool chooserShown = false;

    testing_support::ScriptedModal modal;
    platform::ScopedModal guard {modal};
    testing_support::TempTree tree;
    testing_support::TempTree journalTree;
    testing_support::ScopedEnv stateHome {"XDG_STATE_HOME", journalTree.path("state")};
    testing_support::ScopedEnv cacheHome {"XDG_CACHE_HOME", journalTree.path("cache")};
    MainWindowAccess form;
};

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

struct Binding
{
    const char *name;
    std::function<void(Window &)> prepare; // queue what the handler will ask
    std::function<void(Window &)> fire;
    std::function<void(Window &)> check;
};

const auto rejectDialog = [](Window &w) { w.modal.onDialog([](QDialog *) { return 0; }); };
// The folder chooser lives only while its browser runs: it is seen there.
const auto rejectChooser = [](Window &w) {
    w.modal.onDialog([&w](QDialog *d) {
        w.chooserShown = qobject_cast<FolderChooser *>(d) != nullptr;
        return 0;
    });
};
const auto answerNo = [](Window &w) { w.modal.answer(platform::IDNO); };
const auto nothing = [](Window &) {};

// A batch written as the companion writes one: a new title in the first row's file.
void writeBatch(Window &w)
{
    editing::JournaledTagWriter writer(editing::TagJournal::open(), [] { return false; });
    const editing::TagWriteBatch batch(writer, "bellwick-cli set");
    writer.write(w.form.ListView1->row(0).path(), testing_support::completeTagBlock("Cli"));
}

struct NoRestoreReport final : editing::IRestoreReport
{
    void restored(const editing::RestoredFile &) override { }
};

Binding button(const char *name, QPushButton *TForm1::*control,
    std::function<void(Window &)> prepare, std::function<void(Window &)> check)
{
    return {name, std::move(prepare), [control](Window &w) { (w.form.*control)->click(); },
        std::move(check)};
}

Binding action(const char *name, QAction *TForm1::*control, std::function<void(Window &)> prepare,
    std::function<void(Window &)> check)
{
    return {name, std::move(prepare), [control](Window &w) { (w.form.*control)->trigger(); },
        std::move(check)};
}

// The folder chooser was shown with the caption its handler sets.
std::function<void(Window &)> chooserWith(TBrowseDialog *TForm1::*browser, const char *caption)
{
    return [browser, caption](Window &w) {
        EXPECT_TRUE(w.chooserShown);
        EXPECT_EQ((w.form.*browser)->Caption, caption);
    };
}

std::function<void(Window &)> asked(const char *question)
{
    return [question](Window &w) { EXPECT_EQ(w.question(), text(question)); };
}

template<typename Dialog> std::function<void(Window &)> dialogShown(Dialog *TForm1::*dialog)
{
    return [dialog](Window &w) { EXPECT_EQ(w.shown(), w.form.*dialog); };
}

std::function<void(Window &)> selection(FileListView *TForm1::*list, std::vector<bool> flags)
{
    return [list, flags](Window &w) { EXPECT_EQ((w.form.*list)->selectionFlags(), flags); };
}

std::function<void(Window &)> style(FileListView *TForm1::*list, FileListView::ViewStyle s)
{
    return [list, s](Window &w) { EXPECT_EQ((w.form.*list)->viewStyle(), s); };
}

} // namespace

TEST(Wiring, EveryButtonAndMenuEntryRunsItsHandler)
{
    using Style = FileListView::ViewStyle;
    // The report style is the first one, so the lists leave it before its entries are tried.
    const auto toIcons = [](FileListView *TForm1::*list) {
        return [list](Window &w) { (w.form.*list)->setViewStyle(Style::Icon); };
    };
    const std::vector<Binding> bindings = {
        button("Button1", &MainWindowAccess::Button1, rejectChooser,
            chooserWith(&MainWindowAccess::BrowseDialog1,
                "MP3ファイルのあるディレクトリを指定してください")),
        action("N13", &MainWindowAccess::N13, rejectChooser,
            chooserWith(&MainWindowAccess::BrowseDialog1,
                "MP3ファイルのあるディレクトリを指定してください")),
        button("Button2", &MainWindowAccess::Button2, rejectDialog,
            dialogShown(&MainWindowAccess::Form4)),
        button("Button12", &MainWindowAccess::Button12, nothing,
            selection(&MainWindowAccess::ListView1, {true, true})),
        button("Button13", &MainWindowAccess::Button13, nothing,
            selection(&MainWindowAccess::ListView1, {false, true})),
        button("Button14", &MainWindowAccess::Button14, answerNo,
            asked("リストから削除して構いませんね？")),
        button("Button6", &MainWindowAccess::Button6, answerNo,
            asked("リストをクリアしてよろしいですね？")),
        button("Button8", &MainWindowAccess::Button8, rejectChooser,
            chooserWith(&MainWindowAccess::BrowseDialog2,
                "新しいフォルダを作るフォルダを指定してください。")),
        button("Button3", &MainWindowAccess::Button3, rejectChooser,
            chooserWith(
                &MainWindowAccess::BrowseDialog2, "コピー先のフォルダを指定してください。")),
        button("Button4", &MainWindowAccess::Button4, rejectChooser,
            chooserWith(&MainWindowAccess::BrowseDialog2, "移動先のフォルダを指定してください。")),
        button("Button5", &MainWindowAccess::Button5, answerNo,
            asked("選択されたファイルを削除して構いませんか？")),
        button("Button11", &MainWindowAccess::Button11, nothing,
            selection(&MainWindowAccess::ListView2, {true, true})),
        button("Button10", &MainWindowAccess::Button10, nothing,
            selection(&MainWindowAccess::ListView2, {true, false})),
        button("Button9", &MainWindowAccess::Button9, answerNo,
            asked("リストから削除して構いませんね？")),
        button("Button7", &MainWindowAccess::Button7, answerNo,
            asked("作業リストをクリアしてよろしいですね？")),
        action("N9", &MainWindowAccess::N9, rejectDialog, dialogShown(&MainWindowAccess::Form3)),
        action("N12", &MainWindowAccess::N12, rejectDialog, dialogShown(&MainWindowAccess::Form3)),
        action("N17", &MainWindowAccess::N17, rejectDialog, dialogShown(&MainWindowAccess::Form6)),
        action("N18", &MainWindowAccess::N18, rejectDialog, dialogShown(&MainWindowAccess::Form6)),
        action("N1", &MainWindowAccess::N1, toIcons(&MainWindowAccess::ListView1),
            style(&MainWindowAccess::ListView1, Style::Report)),
        action(
            "N2", &MainWindowAccess::N2, nothing, style(&MainWindowAccess::ListView1, Style::Icon)),
        action("N3", &MainWindowAccess::N3, nothing,
            style(&MainWindowAccess::ListView1, Style::SmallIcon)),
        action(
            "N4", &MainWindowAccess::N4, nothing, style(&MainWindowAccess::ListView1, Style::List)),
        action("N5", &MainWindowAccess::N5, toIcons(&MainWindowAccess::ListView2),
            style(&MainWindowAccess::ListView2, Style::Report)),
        action(
            "N6", &MainWindowAccess::N6, nothing, style(&MainWindowAccess::ListView2, Style::Icon)),
        action("N7", &MainWindowAccess::N7, nothing,
            style(&MainWindowAccess::ListView2, Style::SmallIcon)),
        action(
            "N8", &MainWindowAccess::N8, nothing, style(&MainWindowAccess::ListView2, Style::List)),
        action(
            "N16", &MainWindowAccess::N16, [](Window &w) { w.modal.chooseFiles({}); },
            [](Window &w) { EXPECT_EQ(w.modal.fileRequests.size(), 1u); }),
        action("N15", &MainWindowAccess::N15, nothing,
            [](Window &w) {
                ASSERT_EQ(w.modal.spawned.size(), 1u);
                EXPECT_EQ(
                    w.modal.spawned[0].back().substr(w.modal.spawned[0].back().rfind('/') + 1),
                    "belwik.htm");
            }),
        action(
            "Undo1", &MainWindowAccess::Undo1,
            [](Window &w) {
                writeBatch(w);
                answerNo(w);
            },
            asked("1 個のファイルのタグを書き込み前に戻します。よろしいですか？")),
        action(
            "Redo1", &MainWindowAccess::Redo1,
            [](Window &w) {
                writeBatch(w);
                NoRestoreReport report;
                editing::undoLatest(*editing::TagJournal::open(), report);
                answerNo(w);
            },
            asked("1 個のファイルのタグをもう一度書き込みます。よろしいですか？")),
        {"Edit1", writeBatch,
            [](Window &w) {
                w.form.Edit1->popup(QPoint(0, 0));
                w.form.Edit1->hide();
            },
            [](Window &w) {
                EXPECT_EQ(
                    w.form.Undo1->text(), text("元に戻す(&U): bellwick-cli set (1 ファイル)"));
            }},
        action("About1", &MainWindowAccess::About1, rejectDialog,
            dialogShown(&MainWindowAccess::Form5)),
        action(
            "Exit1", &MainWindowAccess::Exit1, [](Window &w) { w.form.show(); },
            [](Window &w) { EXPECT_FALSE(w.form.isVisible()); }),
    };
    for (const Binding &binding : bindings) {
        SCOPED_TRACE(binding.name);
        Window w;
        binding.prepare(w);
        binding.fire(w);
        binding.check(w);
        EXPECT_TRUE(w.modal.allAnswersUsed());
    }
}

TEST(Wiring, EveryListSignalRunsItsHandlerForItsOwnList)
{
    for (FileListView *TForm1::*list :
        {&MainWindowAccess::ListView1, &MainWindowAccess::ListView2}) {
        const bool isResult = list == &MainWindowAccess::ListView1;
        SCOPED_TRACE(isResult ? "ListView1" : "ListView2");
        Window w;
        FileListView *view = w.form.*list;
        const std::string selected = view->row(view->firstSelectedRow()).path();

        Q_EMIT view->clicked();
        EXPECT_EQ(w.form.StatusBar1->text(), QString::fromStdString(selected));

        Q_EMIT view->doubleClicked();
        ASSERT_EQ(w.modal.spawned.size(), 1u);
        EXPECT_EQ(w.modal.spawned[0].back(), selected);

        w.modal.answer(platform::IDNO);
        Q_EMIT view->keyPressed(Qt::Key_Delete, Qt::NoModifier);
        EXPECT_EQ(w.question(), text("リストから削除して構いませんね？"));

        Q_EMIT view->headerClicked(3);
        EXPECT_EQ(w.form.SortKey, lists::Column::Album);

        // The popup's handler greys the entries of a list without a selection.
        w.form.ListView2->setSelectionFlags({false, false});
        Q_EMIT view->popupRequested(QPoint(10, 10));
        QMenu *menu = isResult ? w.form.PopupMenu1 : w.form.PopupMenu2;
        EXPECT_TRUE(menu->isVisible());
        menu->hide();
        EXPECT_TRUE(w.form.N9->isEnabled());
        EXPECT_FALSE(w.form.N12->isEnabled());
        EXPECT_TRUE(w.modal.allAnswersUsed());
    }
}

TEST(Wiring, OnlyADropFromTheResultListAddsItsSelectedRowsToTheWorkList)
{
    Window w;
    EXPECT_FALSE(w.form.ListView2->acceptsDropFrom(w.form.ListView2));
    ASSERT_TRUE(w.form.ListView2->acceptsDropFrom(w.form.ListView1));
    Q_EMIT w.form.ListView2->dropped(w.form.ListView1);
    ASSERT_EQ(w.form.ListView2->rowCount(), 3);
    EXPECT_EQ(w.form.ListView2->row(2).path(), w.form.ListView1->row(0).path());
}
