// The main window's list operations, shared by both lists (each handler tells the lists
// apart by the control that sent the event), and the conditional search.

#include <QAction>
#include <QApplication>
#include <QPushButton>

#include "app/Unit1.h"
#include "lists/filelistview.h"
#include "platform/modal.h"
#include "platform/scopeguard.h"
#include "search/Unit4.h"

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

FileListView *TForm1::listOf(QObject *sender, QObject *resultSender, QObject *otherResultSender)
{
    return sender && (sender == resultSender || sender == otherResultSender) ? ListView1
                                                                             : ListView2;
}

bool TForm1::askYesNo(const char *question)
{
    return platform::modal().messageBox(this, text(question), text("確認"), platform::MB_YESNO)
        == platform::IDYES;
}

void TForm1::sortByHeader(FileListView *list, int column)
{
    if (column < 0 || column >= lists::ColumnCount)
        return;
    const auto clicked = static_cast<lists::Column>(column);
    if (clicked == SortKey)
        SortOrder = -SortOrder;
    else
        SortOrder = 1;
    SortKey = clicked;
    QCoreApplication::processEvents();
    list->sortRows(clicked, SortOrder);
    if (list == ListView1)
        m_resultListSorted = true;
}

void TForm1::ListView1ColumnClick(QObject *, int column)
{
    sortByHeader(ListView1, column);
}

void TForm1::ListView2ColumnClick(QObject *, int column)
{
    sortByHeader(ListView2, column);
}

void TForm1::N1Click(QObject *Sender)
{
    // The entries captioned "小さなアイコン" give the large-icon style and "大きなアイコン"
    // the small-icon style, crossed as the program has always had them.
    struct Entry
    {
        QAction *action;
        FileListView *list;
        FileListView::ViewStyle style;
    };
    using Style = FileListView::ViewStyle;
    const Entry entries[] = {
        {N1, ListView1, Style::Report},
        {N2, ListView1, Style::Icon},
        {N3, ListView1, Style::SmallIcon},
        {N4, ListView1, Style::List},
        {N5, ListView2, Style::Report},
        {N6, ListView2, Style::Icon},
        {N7, ListView2, Style::SmallIcon},
        {N8, ListView2, Style::List},
    };
    for (const Entry &entry : entries) {
        if (entry.action == Sender)
            entry.list->setViewStyle(entry.style);
    }
}

void TForm1::Button11Click(QObject *Sender)
{
    listOf(Sender, Button12)->selectAll();
}

void TForm1::Button10Click(QObject *Sender)
{
    listOf(Sender, Button13)->invertSelection();
}

void TForm1::Button9Click(QObject *Sender)
{
    FileListView *list = listOf(Sender, Button14, ListView1);
    if (!askYesNo("リストから削除して構いませんね？"))
        return;
    list->removeSelectedRows();
}

void TForm1::Button6Click(QObject *)
{
    if (askYesNo("リストをクリアしてよろしいですね？"))
        ListView1->clear();
}

void TForm1::Button7Click(QObject *)
{
    if (askYesNo("作業リストをクリアしてよろしいですね？"))
        ListView2->clear();
}

void TForm1::ListView1Click(QObject *Sender)
{
    const FileListView *list = listOf(Sender, ListView1);
    const int first = list->firstSelectedRow();
    if (first >= 0)
        setStatusText(list->row(first).path());
}

void TForm1::ListView1KeyDown(QObject *Sender, int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Delete)
        Button9Click(Sender);
}

void TForm1::ListView1DblClick(QObject *Sender)
{
    const FileListView *list = listOf(Sender, ListView1);
    const int first = list->firstSelectedRow();
    if (first >= 0)
        ShellExecute(list->row(first).path(), "", "PLAY", "", 5);
}

bool TForm1::ListView2DragOver(QObject *, QObject *Source)
{
    return Source == ListView1;
}

void TForm1::ListView2DragDrop(QObject *, QObject *)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const platform::ScopeGuard restoreCursor([] { QApplication::restoreOverrideCursor(); });
    std::vector<lists::Row> copies;
    const std::vector<bool> selected = ListView1->selectionFlags();
    for (std::size_t i = 0; i < selected.size(); ++i) {
        if (selected[i])
            copies.push_back(ListView1->row(static_cast<int>(i)));
    }
    ListView2->appendRows(std::move(copies));
}

void TForm1::Button2Click(QObject *)
{
    // The dialog's start button selects the matching rows of the result list.
    const std::optional<TForm4::Choice> choice = Form4->ask();
    if (choice && choice->addToWorkList)
        ListView2DragDrop(nullptr, nullptr);
}
