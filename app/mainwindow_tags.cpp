// The main window's tag commands: the single-file editor and the bulk setting.

#include <chrono>

#include <QAbstractItemView>
#include <QAction>

#include "app/Unit1.h"
#include "editing/Unit3.h"
#include "editing/Unit6.h"
#include "editing/bulktagrun.h"
#include "editing/tagwriter.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "platform/scopeguard.h"
#include "widgets/errorreport.h"

namespace {

// Carries a bulk run into a list: each written file's row gets the merge's cells, and the
// list repaints at most every event step (and once at the end, by the caller).
class ListCellsReport final : public editing::IBulkTagReport
{
public:
    ListCellsReport(FileListView &list, std::vector<int> rows, lists::CellChanges cells,
        std::chrono::milliseconds paintStep, platform::IRunControl &status)
        : m_list(list)
        , m_rows(std::move(rows))
        , m_cells(std::move(cells))
        , m_paintStep(paintStep)
        , m_lastPaint(std::chrono::steady_clock::now())
        , m_status(status)
    { }

    void written(std::size_t index) override
    {
        m_list.model()->setSubItems(m_rows[index], m_cells);
    }
    void progress(const platform::RunProgress &progress) override
    {
        m_status.progress(progress);
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastPaint >= m_paintStep) {
            m_lastPaint = now;
            m_list.currentView()->viewport()->repaint();
        }
    }

private:
    FileListView &m_list;
    std::vector<int> m_rows;
    lists::CellChanges m_cells;
    std::chrono::milliseconds m_paintStep;
    std::chrono::steady_clock::time_point m_lastPaint;
    platform::IRunControl &m_status;
};

} // namespace

void TForm1::PopupMenu2Popup(QObject *)
{
    const bool result = ListView1->hasSelection();
    const bool work = ListView2->hasSelection();
    N9->setEnabled(result);
    N17->setEnabled(result);
    N12->setEnabled(work);
    N18->setEnabled(work);
    // The tools take every row of the work list when none is selected.
    for (QAction *entry : {N19, N20, N21})
        entry->setEnabled(ListView2->rowCount() > 0);
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
    const std::optional<tags::CompleteTag> saved = Form3->ask(path, tags::ReadTag(path));
    if (!saved)
        return;
    // The row gets exactly what was written; the same file's row in the other list keeps
    // its old text, and nothing is re-sorted.
    list->model()->setSubItems(index, lists::cellsAfter(lists::mergeOf(*saved)));
}

void TForm1::N17Click(QObject *Sender)
{
    FileListView *list = listOf(Sender, N17);
    const std::optional<tags::TagMerge> decided = Form6->ask();
    if (!decided)
        return;
    const tags::TagMerge &merge = *decided;
    std::vector<int> rows;
    std::vector<std::string> paths;
    for (int index = 0; index < list->rowCount(); ++index) {
        if (list->isSelected(index)) {
            rows.push_back(index);
            paths.push_back(list->row(index).path());
        }
    }
    if (paths.empty())
        return;
    bool fileMissing = false;
    {
        // The run is one batch of the undo list, ended before any message; without leave to
        // write, nothing is written.
        const editing::TagWriteBatch batch(*m_tagWriter, "タグ一括設定");
        if (!batch.started())
            return;
        runBusy("タグ書き込み中", [&](platform::IRunControl &status) {
            ListCellsReport report(
                *list, std::move(rows), lists::cellsAfter(merge), m_intervals.eventStep, status);
            QWidget *viewport = list->currentView()->viewport();
            const platform::ScopeGuard finalPaint([viewport] { viewport->repaint(); });
            fileMissing = editing::runBulkTagSetting(paths, merge, *m_tagWriter, report).outcome
                == editing::BulkTagResult::Outcome::FileMissing;
        });
    }
    if (fileMissing)
        widgets::showFileMissingBox();
}
