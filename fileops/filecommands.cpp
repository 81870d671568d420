#include "fileops/filecommands.h"

#include <vector>

#include <QItemSelectionModel>

#include "fileops/Unit2.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "platform/modal.h"
#include "platform/scopeguard.h"
#include "platform/textcodec.h"

namespace fileops {

namespace {

// Carries a run's outcomes into the work list as if the list changed after every row: a done
// row leaves it, any other finished row is unselected. The changes reach the list in batches
// (before each question and at the end), so a pass over 100,000 rows is not quadratic.
class WorkListUpdate final : public ITransferReport
{
public:
    WorkListUpdate(FileListView &list, QWidget *parent, platform::IRunControl *control)
        : m_list(list)
        , m_parent(parent)
        , m_control(control)
        , m_selected(list.selectionFlags())
        , m_removed(m_selected.size(), false)
        , m_done(m_selected.size(), false)
    {
        for (std::size_t i = 0; i < m_selected.size(); ++i) {
            if (m_selected[i])
                m_rowOf.push_back(i);
        }
    }

    // The paths of the selected rows, in list order: the run's files.
    std::vector<std::string> paths() const
    {
        std::vector<std::string> paths;
        paths.reserve(m_rowOf.size());
        for (const std::size_t row : m_rowOf)
            paths.push_back(m_list.row(static_cast<int>(row)).path());
        return paths;
    }

    bool mayReplace(std::string_view name) override
    {
        // The user sees the list as it stands at this row.
        apply();
        const QString question = QString::fromStdString(platform::shownPath(name))
            + QString::fromUtf8(" は既に存在します。上書きしますか？");
        return platform::modal().messageBox(m_parent, question, QString::fromUtf8("確認"),
                   platform::MB_YESNO | platform::MB_DEFBUTTON2)
            == platform::IDYES;
    }

    void progress(const platform::RunProgress &progress) override
    {
        if (m_control)
            m_control->progress(progress);
    }
    bool stopRequested() override { return m_control && m_control->stopRequested(); }

    void finished(std::size_t index, bool done) override
    {
        const std::size_t row = m_rowOf[index];
        m_selected[row] = false;
        m_done[row] = done;
        m_hasDone = m_hasDone || done;
        m_changed = true;
    }

    // Brings the list to the state the rows finished so far give it.
    void apply()
    {
        if (!m_changed)
            return;
        if (m_hasDone) {
            std::vector<bool> remove;
            for (std::size_t i = 0; i < m_removed.size(); ++i) {
                if (!m_removed[i])
                    remove.push_back(m_done[i]);
                m_removed[i] = m_removed[i] || m_done[i];
            }
            m_done.assign(m_done.size(), false);
            m_hasDone = false;
            m_list.selectionModel()->clearSelection();
            m_list.model()->removeFlaggedRows(remove);
        }
        std::vector<bool> selected;
        for (std::size_t i = 0; i < m_removed.size(); ++i) {
            if (!m_removed[i])
                selected.push_back(m_selected[i]);
        }
        m_list.setSelectionFlags(selected);
        m_changed = false;
    }

private:
    FileListView &m_list;
    QWidget *m_parent;
    platform::IRunControl *m_control;
    // Per row of the list as it was when the run began.
    std::vector<bool> m_selected;
    std::vector<bool> m_removed;      // taken out of the list already
    std::vector<bool> m_done;         // done since the last apply()
    std::vector<std::size_t> m_rowOf; // the run's file index to its row
    bool m_hasDone = false;
    bool m_changed = false;
};

} // namespace

void transferRows(FileListView &workList, const std::string &folder, Transfer kind, QWidget *parent,
    platform::IRunControl *control)
{
    if (!workList.hasSelection())
        workList.selectAll();
    WorkListUpdate update(workList, parent, control);
    const platform::ScopeGuard applyAtTheEnd([&update] { update.apply(); });
    runTransfer(update.paths(), folder, kind, update);
}

void deleteRows(FileListView &workList, platform::IRunControl *control)
{
    WorkListUpdate update(workList, nullptr, control);
    const platform::ScopeGuard applyAtTheEnd([&update] { update.apply(); });
    runDelete(update.paths(), update);
}

std::optional<std::string> showNewFolderDialog(TForm2 &dialog)
{
    return dialog.ask(QString::fromUtf8("新しいフォルダ"));
}

} // namespace fileops
