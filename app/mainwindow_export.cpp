// The main window's export of the work list's ID3v1 texts to ID3v2 tags.

#include <algorithm>

#include "app/Unit1.h"
#include "editing/exportpreview.h"
#include "editing/exportrun.h"
#include "editing/tagjournal.h"
#include "lists/filelistview.h"
#include "lists/row.h"
#include "platform/error.h"
#include "platform/modal.h"
#include "platform/runcontrol.h"
#include "platform/textcodec.h"

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Carries the run's progress to the status line and its stop from Escape.
class ExportStatus final : public editing::IExportReport
{
public:
    explicit ExportStatus(platform::IRunControl &status)
        : m_status(status)
    { }
    void progress(const platform::RunProgress &progress) override { m_status.progress(progress); }
    bool stopRequested() override { return m_status.stopRequested(); }

private:
    platform::IRunControl &m_status;
};

// "path: why", one a line, the first few of many.
QString problemLines(const std::vector<editing::ExportProblem> &problems)
{
    constexpr std::size_t Shown = 10;
    QString lines;
    for (std::size_t i = 0; i < problems.size() && i < Shown; ++i) {
        const editing::ExportProblem &problem = problems[i];
        const platform::PathMessage &message = problem.message;
        lines += QLatin1Char('\n');
        if (message.path.empty())
            lines += QString::fromStdString(platform::shownPath(problem.path)) + text(": ")
                + QString::fromStdString(platform::withInvisibleMarked(message.before));
        else
            lines += QString::fromStdString(platform::withInvisibleMarked(message.before)
                + platform::shownPath(message.path) + platform::withInvisibleMarked(message.after));
    }
    if (problems.size() > Shown)
        lines += QLatin1Char('\n') + text("ほか %1 個").arg(problems.size() - Shown);
    return lines;
}

} // namespace

void TForm1::ExportV21Click(QObject *)
{
    // The rows as copy takes them: the selected ones, every row when none is selected.
    std::vector<bool> rows = ListView2->selectionFlags();
    if (std::find(rows.begin(), rows.end(), true) == rows.end())
        rows.assign(rows.size(), true);
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i])
            paths.push_back(ListView2->row(static_cast<int>(i)).path());
    }
    if (paths.empty())
        return;
    const std::optional<tags::ExportOptions> options
        = ExportPreview->ask(paths, platform::tagCodePage());
    if (!options)
        return;

    // The batch is journaled as tag writes are; without a journal, only with the user's leave.
    std::unique_ptr<editing::JournalHold> held;
    if (m_journal) {
        held = holdJournal();
        if (!held)
            return;
    } else if (!mayWriteWithoutJournal()) {
        return;
    }
    editing::ExportRunResult result;
    runBusy("書き出し中", [&](platform::IRunControl &status) {
        ExportStatus report(status);
        result = editing::runExport(paths, *options, m_journal.get(), report);
    });
    held.reset();

    if (!result.refusal.empty()) {
        platform::modal().messageBox(this, QString::fromStdString(result.refusal), text("確認"),
            platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return;
    }
    if (result.refused.empty() && result.failed.empty())
        return;
    QString report = text("%1 個のファイルに書き出しました。").arg(result.written);
    if (!result.refused.empty())
        report += QStringLiteral("\n\n")
            + text("書き出せないファイル (%1 個):").arg(result.refused.size())
            + problemLines(result.refused);
    if (!result.failed.empty())
        report += QStringLiteral("\n\n")
            + text("書き込みに失敗したファイル (%1 個、元のままです):").arg(result.failed.size())
            + problemLines(result.failed);
    platform::modal().messageBox(
        this, report, text("確認"), platform::MB_OK | platform::MB_ICONEXCLAMATION);
}
