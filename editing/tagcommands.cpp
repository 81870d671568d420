// The main window's tag commands: the single-file editor and the bulk setting.

#include <chrono>

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QMenu>

#include "app/Unit1.h"
#include "editing/Unit3.h"
#include "editing/Unit6.h"
#include "editing/tagfields.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "platform/errorreport.h"
#include "platform/modal.h"
#include "platform/scopeguard.h"
#include "tags/tagfile.h"

namespace {

// The row's sub-items of the tag's text fields, in block order.
constexpr lists::SubItem TextSubItems[tags::TextFieldCount] = {lists::SubItem::Title,
    lists::SubItem::Artist, lists::SubItem::Album, lists::SubItem::Year, lists::SubItem::Comment};

} // namespace

void TForm1::PopupMenu2Popup(QObject *)
{
    const bool result = ListView1->hasSelection();
    const bool work = ListView2->hasSelection();
    N9->setEnabled(result);
    N17->setEnabled(result);
    N12->setEnabled(work);
    N18->setEnabled(work);
}

void TForm1::N9Click(QObject *Sender)
{
    FileListView *list = listOf(Sender, N9);
    const int index = list->firstSelectedRow();
    if (index < 0)
        return;
    const std::string path = list->row(index).path();
    // What the file holds now, not the row's text; a file that cannot be read shows the
    // error and no editor.
    Form3->fill(path, tags::ReadTag(path));
    if (platform::modal().execDialog(Form3) != QDialog::Accepted)
        return;
    // The row gets exactly the bytes written; the same file's row in the other list keeps
    // its old text, and nothing is re-sorted.
    RowModel *model = list->model();
    for (std::size_t i = 0; i < tags::TextFieldCount; ++i)
        model->setSubItem(index, TextSubItems[i], Form3->savedTexts()[i]);
    model->setSubItem(index, lists::SubItem::Genre, Form3->savedGenreName());
}

void TForm1::N17Click(QObject *Sender)
{
    Form6->reset();
    FileListView *list = listOf(Sender, N17);
    Form6->Cancelled = true;
    platform::modal().execDialog(Form6);
    if (Form6->Cancelled)
        return;
    tags::TagMerge merge;
    std::string genreName;
    if (!Form6->decide(merge, genreName)) {
        editing::showUnencodableBox(this);
        return;
    }

    // Progress shows as the run goes: the list repaints at most every event-step interval
    // and once at the end, however the run ends.
    QWidget *viewport = list->currentView()->viewport();
    auto lastPaint = std::chrono::steady_clock::now();
    const platform::ScopeGuard finalPaint([viewport] { viewport->repaint(); });
    RowModel *model = list->model();
    const int count = list->rowCount();
    for (int index = 0; index < count; ++index) {
        if (!list->isSelected(index))
            continue;
        const std::string path = list->row(index).path();
        if (tags::WriteTagBlock(path, merge) == tags::WriteOutcome::FileMissing) {
            platform::showFileMissingBox();
            return;
        }
        for (std::size_t i = 0; i < tags::TextFieldCount; ++i) {
            const tags::TextChange &change = merge.texts[i];
            if (change.kind != tags::TextChange::Kind::Keep)
                model->setSubItem(index, TextSubItems[i], change.text);
        }
        if (merge.genre.kind == tags::GenreChange::Kind::Erase)
            model->setSubItem(index, lists::SubItem::Genre, std::string());
        else if (merge.genre.kind == tags::GenreChange::Kind::Set)
            model->setSubItem(index, lists::SubItem::Genre, genreName);
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPaint >= std::chrono::milliseconds(eventStepInterval)) {
            lastPaint = now;
            viewport->repaint();
        }
    }
}
