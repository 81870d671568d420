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
#include "widgets/errorreport.h"

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
    return widgets::reportLines(problems.size(), [&problems](std::size_t i) {
        const editing::ExportProblem &problem = problems[i];
        if (!problem.message.path.empty())
            return widgets::shownMessage(problem.message);
        return QString::fromStdString(platform::shownPath(problem.path)) + text(": ")
            + QString::fromStdString(platform::withInvisibleMarked(problem.message.before));
    });
}

} // namespace

void TForm1::ExportV21Click(QObject *)
{
    const std::vector<std::string> paths = toolPaths();
    if (paths.empty())
        return;
    const std::optional<tags::ExportOptions> options
        = ExportPreview->ask(paths, platform::tagCodePage());
    if (!options)
        return;

    // The batch is journaled as tag writes are; without a journal, only with the user's leave.
    std::unique_ptr<editing::JournalHold> held;
    if (!holdForBatch(held))
        return;
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
    QString report
        = text("%1 個のファイルに書き出しました。").arg(widgets::groupedCount(result.written));
    if (!result.refused.empty())
        report += QStringLiteral("\n\n")
            + text("書き出せないファイル (%1 個):")
                  .arg(widgets::groupedCount(result.refused.size()))
            + problemLines(result.refused);
    if (!result.failed.empty())
        report += QStringLiteral("\n\n")
            + text("書き込みに失敗したファイル (%1 個、元のままです):")
                  .arg(widgets::groupedCount(result.failed.size()))
            + problemLines(result.failed);
    platform::modal().messageBox(
        this, report, text("確認"), platform::MB_OK | platform::MB_ICONEXCLAMATION);
}
