// The main window's tools: file names from tags and tags from file names.

#include <unordered_map>
#include <unordered_set>

#include <QAbstractItemView>
#include <QLabel>

#include "app/Unit1.h"
#include "app/statusprogress.h"
#include "editing/fromnamesdialog.h"
#include "editing/renameundo.h"
#include "editing/tagjournal.h"
#include "editing/tagsfromnames.h"
#include "editing/tagwriter.h"
#include "fileops/namesdialog.h"
#include "fileops/renamerun.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "platform/modal.h"
#include "platform/mountinfo.h"
#include "platform/paths.h"
#include "platform/scopeguard.h"
#include "platform/textcodec.h"
#include "widgets/errorreport.h"

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// A rename run's report: the plan into the journal before the first rename, the files
// renamed and those that were not.
class RenameReport final : public fileops::IRenameReport
{
public:
    RenameReport(editing::ITagJournal *journal, platform::IRunControl &control)
        : m_batch(journal)
        , m_control(control)
    { }

    void aboutToRename(const std::vector<fileops::NamePlanRow> &plan) override
    {
        m_plan = &plan;
        m_batch.begin(fileops::renamesOf<editing::PlannedRename>(plan));
    }
    void renamed(std::size_t index, const std::string &why) override
    {
        const fileops::NamePlanRow &row = (*m_plan)[index];
        if (why.empty())
            newPaths.emplace(row.path, row.newPath);
        else
            failures.push_back({"ファイル ", row.path, " の名前を変更できません: " + why});
    }
    void progress(const platform::RunProgress &progress) override { m_control.progress(progress); }
    bool stopRequested() override { return m_control.stopRequested(); }

    std::unordered_map<std::string, std::string> newPaths;
    std::vector<platform::PathMessage> failures;

private:
    editing::JournaledRenames m_batch;
    platform::IRunControl &m_control;
    const std::vector<fileops::NamePlanRow> *m_plan = nullptr;
};

// A tags-from-names run's report: the work list's rows of each written file get the cells
// the file's merge gives them, as the bulk setting's rows do.
class FromNameReport final : public editing::IFromNameReport
{
public:
    FromNameReport(FileListView &list, const std::vector<editing::FromNameRow> &rows,
        platform::IRunControl &control)
        : m_list(list)
        , m_rows(rows)
        , m_control(control)
    {
        for (int index = 0; index < list.rowCount(); ++index)
            m_rowsOf[list.row(index).path()].push_back(index);
    }

    void written(std::size_t index, const platform::PathMessage &why) override
    {
        const editing::FromNameRow &row = m_rows[index];
        if (!why.withPathBytes().empty()) {
            failures.push_back(why.path.empty() ? platform::PathMessage {"ファイル ", row.path,
                                   " に書き込めません: " + why.before}
                                                : why);
            return;
        }
        const auto found = m_rowsOf.find(row.path);
        if (found == m_rowsOf.end())
            return;
        const lists::CellChanges cells = lists::cellsAfter(row.merge);
        for (const int at : found->second)
            m_list.model()->setSubItems(at, cells);
    }
    void progress(const platform::RunProgress &progress) override { m_control.progress(progress); }
    bool stopRequested() override { return m_control.stopRequested(); }

    std::vector<platform::PathMessage> failures;

private:
    FileListView &m_list;
    const std::vector<editing::FromNameRow> &m_rows;
    platform::IRunControl &m_control;
    std::unordered_map<std::string, std::vector<int>> m_rowsOf;
};

// The files a run could not do, one a line, the first few of many.
void reportFailures(QWidget *parent, const std::vector<platform::PathMessage> &failures)
{
    if (failures.empty())
        return;
    const QString lines = widgets::reportLines(
        failures.size(), [&failures](std::size_t i) { return widgets::shownMessage(failures[i]); });
    platform::modal().messageBox(parent,
        text("%1 個のファイルはそのままです。").arg(widgets::groupedCount(failures.size())) + lines,
        text("確認"), platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

// Whether any of the files' folders is on FAT or exFAT, each folder asked once.
bool anyOnFat(const std::vector<std::string> &paths)
{
    std::unordered_set<std::string> folders;
    for (const std::string &path : paths) {
        const std::string folder
            = path.substr(0, path.size() - platform::fileNamePart(path).size());
        if (folders.insert(folder).second && platform::isFatFolder(folder.empty() ? "." : folder))
            return true;
    }
    return false;
}

} // namespace

std::vector<std::string> TForm1::toolPaths() const
{
    // As the copy takes them: the selected rows, every row when none is selected.
    const bool all = !ListView2->hasSelection();
    std::vector<std::string> paths;
    for (int index = 0; index < ListView2->rowCount(); ++index) {
        if (all || ListView2->isSelected(index))
            paths.push_back(ListView2->row(index).path());
    }
    return paths;
}

void TForm1::NamesFromTags1Click(QObject *)
{
    const std::vector<std::string> paths = toolPaths();
    if (paths.empty())
        return;
    const std::optional<fileops::NamesChoice> choice
        = fileops::askNamesFromTags(this, paths, m_nameFormat, anyOnFat(paths));
    if (!choice)
        return;
    m_nameFormat = choice->format;

    std::unique_ptr<editing::JournalHold> held;
    if (!holdForBatch(held))
        return;
    std::unordered_map<std::string, std::string> newPaths;
    std::vector<platform::PathMessage> failures;
    {
        const platform::ScopeGuard release([&held] { held.reset(); });
        runBusy("名前を変更中", [&](platform::IRunControl &status) {
            RenameReport report(m_journal.get(), status);
            // The rows follow the files however the run ends.
            const platform::ScopeGuard apply([&] {
                newPaths = std::move(report.newPaths);
                failures = std::move(report.failures);
            });
            fileops::runRenames(choice->plan.rows, report);
        });
    }
    // Rows of both lists that name a renamed file take its new path; nothing is read again.
    for (FileListView *list : {ListView1, ListView2}) {
        for (int index = 0; index < list->rowCount(); ++index) {
            const auto found = newPaths.find(list->row(index).path());
            if (found != newPaths.end())
                list->model()->setSubItem(index, lists::SubItem::Path, found->second);
        }
        list->currentView()->viewport()->update();
    }
    if (m_statusPath) {
        if (const auto found = newPaths.find(*m_statusPath); found != newPaths.end())
            setStatusText(found->second);
    }
    reportFailures(this, failures);
}

void TForm1::TagsFromNames1Click(QObject *)
{
    const std::vector<std::string> paths = toolPaths();
    if (paths.empty())
        return;
    const std::optional<editing::FromNamesChoice> choice
        = editing::askTagsFromNames(this, paths, m_namePattern);
    if (!choice)
        return;
    m_namePattern = choice->pattern;

    std::vector<platform::PathMessage> failures;
    runBusy("タグ書き込み中", [&](platform::IRunControl &status) {
        FromNameReport report(*ListView2, choice->plan.rows, status);
        QWidget *viewport = ListView2->currentView()->viewport();
        const platform::ScopeGuard finalPaint([&] {
            viewport->update();
            failures = std::move(report.failures);
        });
        editing::runTagsFromNames(choice->plan.rows, *m_tagWriter, report);
    });
    reportFailures(this, failures);
}
