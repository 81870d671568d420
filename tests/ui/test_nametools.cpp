// The tools menu's name commands driven as a user drives them: the preview, "実行", the rows
// of both lists afterwards, and undo.

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>

#include "app/settingsfile.h"
#include "lists/filelistview.h"
#include "tags/tagfile.h"
#include "tests/support/mainwindowfixture.h"
#include "widgets/previewdialog.h"

using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::tagBytes;
using testing_support::text;

namespace {

// The preview's column `column`, row by row.
QStringList previewColumn(widgets::PreviewDialog *dialog, int column)
{
    QStringList cells;
    QAbstractItemModel *model = dialog->table()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        cells.push_back(model->index(row, column).data().toString());
    return cells;
}

class NameTools : public testing_support::MainWindowTest
{
protected:
    NameTools() { app::setSettingsPath(tree.path("BELWIK.INI")); }
    ~NameTools() override { app::setSettingsPath(std::string()); }

    // Queues the preview dialog: `check` looks at it once its preview is made, then "実行"
    // is pressed (or Escape, when `run` is false).
    void onPreview(const std::function<void(widgets::PreviewDialog *)> &check, bool run = true)
    {
        modal.onDialog([check, run](QDialog *shown) {
            auto *dialog = qobject_cast<widgets::PreviewDialog *>(shown);
            EXPECT_TRUE(dialog);
            if (!dialog)
                return int(QDialog::Rejected);
            dialog->setResult(0);
            dialog->planNow();
            check(dialog);
            if (run)
                dialog->runButton()->click();
            else
                dialog->reject();
            return dialog->result();
        });
    }
};

} // namespace

TEST_F(NameTools, ToolsMenuStandsBetweenViewAndHelpAndThePopupHasItsEntries)
{
    const QList<QAction *> menus = form.menuBar()->actions();
    ASSERT_EQ(menus.size(), 5);
    EXPECT_EQ(menus[2]->text(), text("表示(&V)"));
    EXPECT_EQ(menus[3]->menu(), form.Tools1);
    EXPECT_EQ(menus[3]->text(), text("ツール(&T)"));
    EXPECT_EQ(form.NamesFromTags1->text(), text("タグからファイル名を付ける(&N)..."));
    EXPECT_EQ(form.TagsFromNames1->text(), text("ファイル名からタグを読む(&F)..."));
    EXPECT_TRUE(form.PopupMenu2->actions().contains(form.N19));
    EXPECT_TRUE(form.PopupMenu2->actions().contains(form.N20));
    // Greyed while the work list is empty; with rows, they take all of them.
    form.PopupMenu2Popup(form.PopupMenu2);
    EXPECT_FALSE(form.N19->isEnabled());
    addFile(form.ListView2, "a.mp3", audioBytes(10));
    form.PopupMenu2Popup(form.PopupMenu2);
    EXPECT_TRUE(form.N19->isEnabled());
    EXPECT_TRUE(form.N20->isEnabled());
}

TEST_F(NameTools, RenameUpdatesTheRowsOfBothListsAndIsUndoneAsOneBatch)
{
    const std::string a
        = addFile(form.ListView2, "a.mp3", audioBytes(100, 1) + tagBytes("Song", "Art"));
    addFile(form.ListView2, "b.mp3", audioBytes(100, 2) + tagBytes("Dup", "Art"));
    addFile(form.ListView2, "c.mp3", audioBytes(100, 3) + tagBytes("Dup", "Art"));
    addFile(form.ListView2, "d.mp3", audioBytes(100, 4));
    addRows(form.ListView1, {a});
    const std::vector<std::string> before = paths(form.ListView2);

    // Escape leaves everything as it was, the format typed included.
    onPreview(
        [](widgets::PreviewDialog *dialog) { dialog->line()->setText(QStringLiteral("%title%")); },
        false);
    form.NamesFromTags1->trigger();
    EXPECT_EQ(paths(form.ListView2), before);
    EXPECT_EQ(form.m_nameFormat, "%artist% - %title%");

    onPreview([](widgets::PreviewDialog *dialog) {
        EXPECT_EQ(dialog->line()->text(), QStringLiteral("%artist% - %title%"));
        EXPECT_FALSE(dialog->check()->isChecked()); // not on FAT
        EXPECT_EQ(previewColumn(dialog, 0),
            (QStringList {text("変更"), text("競合"), text("競合"), text("不可")}));
        EXPECT_EQ(previewColumn(dialog, 2).front(), QStringLiteral("Art - Song.mp3"));
        EXPECT_EQ(previewColumn(dialog, 3)[1], text("ほかのファイルも同じ名前になります"));
        // A format that cannot be used shows why and cannot be run.
        dialog->line()->setText(QStringLiteral("%titel%"));
        dialog->planNow();
        EXPECT_FALSE(dialog->runButton()->isEnabled());
        EXPECT_EQ(dialog->summaryLabel()->text(), text("書式の %titel% は使えません"));
        dialog->line()->setText(QStringLiteral("%title% (%artist%)"));
        dialog->planNow();
        EXPECT_TRUE(dialog->runButton()->isEnabled());
    });
    form.setStatusText(a);
    form.N19->trigger();
    const std::string renamed = tree.path("Song (Art).mp3");
    EXPECT_EQ(form.StatusBar1->text(), QString::fromStdString(renamed));
    EXPECT_EQ(readBytes(renamed), audioBytes(100, 1) + tagBytes("Song", "Art"));
    EXPECT_EQ(captions(form.ListView2),
        (std::vector<std::string> {"Song (Art).mp3", "b.mp3", "c.mp3", "d.mp3"}));
    EXPECT_EQ(paths(form.ListView1), std::vector<std::string> {renamed});
    EXPECT_EQ(form.m_nameFormat, "%title% (%artist%)");
    form.FormDestroy();
    EXPECT_EQ(app::readNameSetting(tree.path("BELWIK.INI"), app::NameFormatKey, ""),
        "%title% (%artist%)");

    modal.answer(platform::IDYES);
    form.Undo1Click(form.Undo1);
    ASSERT_FALSE(modal.questions.empty());
    EXPECT_EQ(modal.questions.back().text,
        text("1 個のファイルの名前を変更前に戻します。よろしいですか？"));
    EXPECT_EQ(readBytes(a), audioBytes(100, 1) + tagBytes("Song", "Art"));
    EXPECT_EQ(paths(form.ListView2), before);
    EXPECT_EQ(paths(form.ListView1), std::vector<std::string> {a});
    EXPECT_EQ(form.StatusBar1->text(), QString::fromStdString(a));
    EXPECT_TRUE(modal.allAnswersUsed());
}

TEST_F(NameTools, TagsFromNamesPreviewTheFieldsAndUpdateTheRows)
{
    const std::string song
        = addFile(form.ListView2, "Band/Live/03 Opening.mp3", audioBytes(100, 1));
    const std::string odd = addFile(form.ListView2, "Band/Live/bonus.mp3", audioBytes(100, 2));
    const std::string cut = addFile(form.ListView2, "Band/Live/04 " + std::string(40, 'x') + ".mp3",
        audioBytes(100, 3) + tagBytes("Old", "Old", "Old", "1999"));
    form.ListView2->setSelected(0, true);
    form.ListView2->setSelected(1, true);
    form.ListView2->setSelected(2, true);

    onPreview([](widgets::PreviewDialog *dialog) {
        EXPECT_EQ(dialog->line()->text(), QStringLiteral("%artist%/%album%/%track% %title%"));
        EXPECT_EQ(previewColumn(dialog, 0),
            (QStringList {text("一致"), text("一致しません"), text("一致")}));
        EXPECT_EQ(previewColumn(dialog, 2)[0], QStringLiteral("Opening (7)"));
        EXPECT_EQ(
            previewColumn(dialog, 2)[2], QString(30, QLatin1Char('x')) + text(" (30) 切り詰め"));
        EXPECT_EQ(previewColumn(dialog, 3)[0], QStringLiteral("Band (4)"));
        EXPECT_EQ(previewColumn(dialog, 9)[1], text("一致しません"));
    });
    form.N20->trigger();
    EXPECT_EQ(tags::trackNumber(tags::ReadTag(song)), 3);
    EXPECT_EQ(readBytes(odd), audioBytes(100, 2));
    EXPECT_EQ(form.ListView2->row(0).subItem(lists::SubItem::Title), "Opening");
    EXPECT_EQ(form.ListView2->row(2).subItem(lists::SubItem::Title), std::string(30, 'x'));
    EXPECT_EQ(form.ListView2->row(2).subItem(lists::SubItem::Year), "1999");
    EXPECT_EQ(form.ListView2->row(1).subItem(lists::SubItem::Title), "");
    EXPECT_EQ(tags::ReadTag(cut).Year, "1999");
    EXPECT_TRUE(modal.allAnswersUsed());
}

TEST(PreviewDialog, TypingDuringAPlanStopsItAndOnlyAWholePreviewRuns)
{
    widgets::PreviewDialog dialog({text("t"), text("書式:"), {}, {}, {text("状態")}}, nullptr);
    int plans = 0;
    int stopped = 0;
    dialog.setPlanner([&](platform::IRunControl &control) {
        ++plans;
        for (std::size_t i = 0; i < 100; ++i) {
            if (plans == 1 && i == 10)
                dialog.line()->setText(QStringLiteral("typed meanwhile"));
            control.progress({i + 1, 100, {}});
            if (control.stopRequested()) {
                ++stopped;
                return false;
            }
        }
        dialog.setRows({{{text("変更")}, true}}, text("変更 1"));
        return true;
    });
    dialog.planNow();
    EXPECT_EQ(stopped, 1);
    EXPECT_FALSE(dialog.runButton()->isEnabled()); // the rows shown are of no format
    dialog.planNow();                              // the pause after the typing has passed
    EXPECT_EQ(plans, 2);
    EXPECT_TRUE(dialog.runButton()->isEnabled());
    dialog.line()->setText(QStringLiteral("typed again"));
    EXPECT_FALSE(dialog.runButton()->isEnabled());
}

TEST_F(NameTools, EscapeStopsARunAfterTheFileAtHand)
{
    for (const std::string title : {"A", "B", "C"})
        addFile(form.ListView2, title + ".mp3", audioBytes(100) + tagBytes(title, "Art"));
    onPreview([this](widgets::PreviewDialog *) {
        // Pressed as the run begins: it is seen at the first file's progress.
        QCoreApplication::postEvent(form.ListView2->currentView(),
            new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    form.NamesFromTags1->trigger();
    const std::vector<std::string> names = {"Art - A.mp3", "B.mp3", "C.mp3"};
    EXPECT_EQ(captions(form.ListView2), names);
    EXPECT_EQ(testing_support::listNames(tree.root()), names);
}
