#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QToolTip>
#include <QTreeView>
#include <QtTest/QTest>

#include "app/Unit1.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "tests/support/mainwindowfixture.h"
#include "tests/support/scriptedmodal.h"

namespace {

lists::Row row(const std::string &name, const std::string &artist = {})
{
    lists::Row r;
    r.subItem(lists::SubItem::Artist) = artist;
    r.subItem(lists::SubItem::Path) = "/music/" + name;
    return r;
}

class Lists : public testing_support::MainWindowTest
{
protected:
    Lists()
    {
        form.ListView1->appendRows(
            {row("c", "Bob"), row("A", "alice"), row("b", ""), row("d", "ALICE B")});
    }

    std::string names(const FileListView *list) const
    {
        std::string s;
        for (int i = 0; i < list->rowCount(); ++i)
            s += list->row(i).caption();
        return s;
    }
};

} // namespace

TEST_F(Lists, HeaderClicksShareOneSortStateAcrossBothLists)
{
    form.ListView1ColumnClick(form.ListView1, 0);
    EXPECT_EQ(names(form.ListView1), "Abcd");
    EXPECT_EQ(form.SortKey, lists::Column::FileName);
    form.ListView1ColumnClick(form.ListView1, 0);
    EXPECT_EQ(names(form.ListView1), "dcbA");
    // Artist: blank first; "alice" and "ALICE B" compare equal (prefix) and keep their order.
    form.ListView1ColumnClick(form.ListView1, 2);
    EXPECT_EQ(names(form.ListView1), "bdAc");
    // The same column on the work list right after counts as a repeated click.
    form.ListView2->appendRows({row("x", "a"), row("y", "b")});
    form.ListView2ColumnClick(form.ListView2, 2);
    EXPECT_EQ(names(form.ListView2), "yx");
    EXPECT_EQ(form.SortOrder, -1);
}

TEST_F(Lists, SelectionTravelsWithItsRowsThroughASort)
{
    form.ListView1->setSelected(0, true); // c
    form.ListView1->setSelected(3, true); // d
    form.ListView1ColumnClick(form.ListView1, 0);
    EXPECT_EQ(names(form.ListView1), "Abcd");
    EXPECT_EQ(form.ListView1->selectionFlags(), (std::vector<bool> {false, false, true, true}));
    EXPECT_EQ(form.ListView1->firstSelectedRow(), 2);
}

TEST_F(Lists, RowsAddedWhileDrawingIsSuspendedAreAllLaidOutWhenItResumes)
{
    // As a scan adds them: many small batches, each followed by the waiting events, with
    // the window shown, where the views lay out when those events are handled.
    form.show();
    FileListView *list = form.ListView1;
    QTreeView *view = list->reportView();
    list->setDrawingSuspended(true);
    for (int batch = 0; batch < 50; ++batch) {
        std::vector<lists::Row> rows;
        for (int i = 0; i < 20; ++i)
            rows.push_back(row("n" + std::to_string(batch * 20 + i) + ".mp3"));
        list->appendRows(std::move(rows));
        QApplication::processEvents();
    }
    list->setDrawingSuspended(false);
    QApplication::processEvents();
    const QModelIndex last = list->model()->index(list->rowCount() - 1, 0);
    ASSERT_EQ(last.row(), 1003);
    view->scrollTo(last);
    EXPECT_TRUE(view->viewport()->rect().contains(view->visualRect(last).center()));
    EXPECT_EQ(view->indexAt(view->visualRect(last).center()), last);
    view->setFocus();
    view->setCurrentIndex(list->model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_End);
    EXPECT_EQ(view->currentIndex().row(), 1003);
}

TEST_F(Lists, SharedButtonsActOnTheListOfTheirSender)
{
    form.ListView2->appendRows({row("w1"), row("w2"), row("w3"), row("w4")});
    form.Button11Click(form.Button11);
    EXPECT_FALSE(form.ListView1->hasSelection());
    EXPECT_EQ(form.ListView2->selectionFlags(), std::vector<bool>(4, true));
    form.Button11Click(nullptr); // no sender: the work list
    form.Button11Click(form.Button12);
    EXPECT_EQ(form.ListView1->selectionFlags(), std::vector<bool>(4, true));
    form.ListView2->setSelectionFlags({true, false, true, false});
    form.Button10Click(form.Button10);
    EXPECT_EQ(form.ListView2->selectionFlags(), (std::vector<bool> {false, true, false, true}));
    // The Delete key in the result list, whatever its style, asks and removes only there.
    form.N1Click(form.N2);
    EXPECT_EQ(form.ListView1->viewStyle(), FileListView::ViewStyle::Icon);
    EXPECT_EQ(form.ListView2->viewStyle(), FileListView::ViewStyle::Report);
    form.ListView1->setSelectionFlags({false, true, false, false});
    modal.answer(platform::IDYES);
    form.ListView1KeyDown(form.ListView1, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(names(form.ListView1), "cbd");
    EXPECT_EQ(form.ListView2->rowCount(), 4);
    EXPECT_EQ(modal.questions.back().text, QString::fromUtf8("リストから削除して構いませんね？"));
    EXPECT_EQ(modal.questions.back().caption, QString::fromUtf8("確認"));
}

TEST_F(Lists, RemoveAndClearAskFirst)
{
    modal.answer(platform::IDNO);
    form.Button9Click(form.Button14);
    modal.answer(platform::IDYES); // nothing selected: asks, removes nothing
    form.Button9Click(form.Button14);
    EXPECT_EQ(form.ListView1->rowCount(), 4);
    modal.answer(platform::IDNO);
    form.Button6Click(form.Button6);
    EXPECT_EQ(form.ListView1->rowCount(), 4);
    form.ListView2->appendRows({row("w")});
    modal.answer(platform::IDYES);
    form.Button7Click(form.Button7);
    EXPECT_EQ(form.ListView2->rowCount(), 0);
    EXPECT_EQ(form.ListView1->rowCount(), 4);
    EXPECT_EQ(modal.questions.size(), 4u);
    EXPECT_EQ(modal.questions[2].text, QString::fromUtf8("リストをクリアしてよろしいですね？"));
    EXPECT_EQ(modal.questions[3].text, QString::fromUtf8("作業リストをクリアしてよろしいですね？"));
}

TEST_F(Lists, TransferCopiesEverySelectedResultRowUnselected)
{
    form.ListView1->setSelectionFlags({true, false, true, false});
    EXPECT_TRUE(form.ListView2DragOver(form.ListView2, form.ListView1));
    EXPECT_FALSE(form.ListView2DragOver(form.ListView2, form.ListView2));
    form.ListView2DragDrop(form.ListView2, form.ListView1);
    form.ListView2DragDrop(nullptr, nullptr); // as the search calls it: no duplicate check
    EXPECT_EQ(names(form.ListView2), "cbcb");
    EXPECT_FALSE(form.ListView2->hasSelection());
    EXPECT_EQ(form.ListView1->selectionFlags(), (std::vector<bool> {true, false, true, false}));
    EXPECT_EQ(form.ListView2->row(0).path(), "/music/c");
}

TEST_F(Lists, ClickShowsThePathAndDoubleClickPlaysTheFirstSelectedRow)
{
    form.ListView1Click(form.ListView1);
    EXPECT_EQ(form.StatusBar1->text(), QString());
    form.ListView1->setSelectionFlags({false, false, true, true});
    form.ListView1Click(form.ListView1);
    EXPECT_EQ(form.StatusBar1->text(), QStringLiteral("/music/b"));
    form.ListView1DblClick(form.ListView1);
    ASSERT_EQ(modal.spawned.size(), 1u);
    EXPECT_EQ(modal.spawned[0], (std::vector<std::string> {"xdg-open", "/music/b"}));
    form.ListView1DblClick(form.ListView2); // the work list has no selected row
    EXPECT_EQ(modal.spawned.size(), 1u);
    // A relative name that begins with "-" reaches the opener as a path, never an option.
    form.ShellExecute("-n.mp3", "", "PLAY", "/music", 5);
    EXPECT_EQ(modal.spawned[1][1], "/music/-n.mp3");
}

TEST_F(Lists, ViewStylesDifferAndKeepDragAndDropPerList)
{
    using Style = FileListView::ViewStyle;
    form.N1Click(form.N7); // "大きなアイコン" gives the small-icon style
    EXPECT_EQ(form.ListView2->viewStyle(), Style::SmallIcon);
    form.N1Click(form.N6); // "小さなアイコン" gives the large-icon style
    EXPECT_EQ(form.ListView2->viewStyle(), Style::Icon);
    EXPECT_EQ(form.ListView2->iconView()->viewMode(), QListView::IconMode);
    EXPECT_FALSE(form.ListView2->iconView()->dragEnabled());
    EXPECT_TRUE(form.ListView2->iconView()->acceptDrops());
    form.N1Click(form.N4);
    EXPECT_EQ(form.ListView1->iconView()->flow(), QListView::TopToBottom);
    EXPECT_EQ(form.ListView1->iconView()->movement(), QListView::Static);
    EXPECT_TRUE(form.ListView1->iconView()->dragEnabled());
    EXPECT_FALSE(form.ListView1->iconView()->acceptDrops());
    form.N1Click(form.N5);
    EXPECT_EQ(form.ListView2->currentView(), form.ListView2->reportView());
}

TEST_F(Lists, IconAndListStylesShowWholeNamesUpToAWidthAndTheRestElidedWithATooltip)
{
    using Style = FileListView::ViewStyle;
    const std::string medium = "example of a rather longer name.mp3";
    const std::string huge = std::string(200, 'w') + ".mp3";
    form.resize(900, 600);
    form.show();
    for (FileListView *list : {form.ListView1, form.ListView2}) {
        list->clear();
        list->appendRows({row("em.mp3"), row(medium), row(huge)});
        for (const Style style : {Style::Icon, Style::SmallIcon, Style::List}) {
            list->setViewStyle(style);
            QApplication::processEvents();
            QListView *view = list->iconView();
            const QFontMetrics metrics = view->fontMetrics();
            const QRect first = view->visualRect(list->model()->index(0, 0));
            const QRect second = view->visualRect(list->model()->index(1, 0));
            const QRect third = view->visualRect(list->model()->index(2, 0));
            // One size for every item (the first row's name sets nothing), wide enough for
            // a name of ordinary length, not for any length.
            EXPECT_EQ(first.size(), second.size()) << int(style);
            EXPECT_EQ(first.size(), third.size()) << int(style);
            EXPECT_GT(second.width(), metrics.horizontalAdvance(QString::fromStdString(medium)))
                << int(style);
            EXPECT_LE(third.width(), 320) << int(style);
            EXPECT_GE(third.width(), 280) << int(style);
            EXPECT_EQ(view->textElideMode(), Qt::ElideMiddle);

            // The elided name has the whole name as its tooltip; a whole one has none.
            const auto tooltipAt = [view](const QRect &item) {
                // hideText() only starts the tip's fading: the tip itself goes.
                for (QWidget *w : QApplication::topLevelWidgets()) {
                    if (w->inherits("QTipLabel"))
                        delete w;
                }
                QHelpEvent help(
                    QEvent::ToolTip, item.center(), view->viewport()->mapToGlobal(item.center()));
                QApplication::sendEvent(view->viewport(), &help);
                return QToolTip::isVisible() ? QToolTip::text() : QString();
            };
            EXPECT_EQ(tooltipAt(third), QString::fromStdString(huge)) << int(style);
            EXPECT_EQ(tooltipAt(second), QString()) << int(style);
        }
    }
    QToolTip::hideText();
}
