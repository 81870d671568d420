// The main window's folder scan and the adding of chosen files.

#include <functional>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app/Unit1.h"
#include "lists/filelistview.h"
#include "lists/scanrun.h"
#include "platform/modal.h"
#include "platform/scopeguard.h"
#include "widgets/BrowsDlg.h"

namespace {

// The main window as a scan's host: rows go to the result list, the file at hand to the
// status line, and an event step repaints the status line and handles waiting events.
class ResultListScanHost final : public lists::IScanHost
{
public:
    ResultListScanHost(FileListView &list, QLabel &statusLine,
        std::function<void(const std::string &)> showPath, const bool &stopRequested)
        : m_list(list)
        , m_statusLine(statusLine)
        , m_showPath(std::move(showPath))
        , m_stopRequested(stopRequested)
    { }

    void appendRows(std::vector<lists::Row> rows) override { m_list.appendRows(std::move(rows)); }
    void handleWaitingEvents() override
    {
        // The status line shows the file at hand only when it is drawn: setting its text for
        // every file would cost the scan more than reading the file does.
        showLatestPath();
        m_statusLine.repaint();
        QCoreApplication::processEvents();
    }
    void progress(const platform::RunProgress &progress) override
    {
        m_path.assign(progress.path);
        m_hasNewPath = true;
    }
    bool stopRequested() override { return m_stopRequested; }
    void showLatestPath()
    {
        if (m_hasNewPath) {
            m_showPath(m_path);
            m_hasNewPath = false;
        }
    }

private:
    FileListView &m_list;
    QLabel &m_statusLine;
    std::function<void(const std::string &)> m_showPath;
    const bool &m_stopRequested;
    std::string m_path;
    bool m_hasNewPath = false;
};

} // namespace

void TForm1::runScan(const std::function<void(lists::ScanRun &)> &work)
{
    ResultListScanHost host(
        *ListView1, *StatusBar1, [this](const std::string &path) { setStatusText(path); },
        m_scanStopRequested);
    lists::ScanRun run(host, m_intervals.eventStep);
    lists::ScanRun *const outer = std::exchange(m_scanRun, &run);
    const platform::ScopeGuard end([this, &host, &run, outer] {
        m_scanRun = outer;
        run.flush();
        host.showLatestPath();
    });
    work(run);
}

void TForm1::AddFileRow(const std::string &path)
{
    if (m_scanRun)
        m_scanRun->addFile(path);
    else
        runScan([&path](lists::ScanRun &run) { run.addFile(path); });
}

void TForm1::ScanFolder(const std::string &folder)
{
    runScan([&folder](lists::ScanRun &run) { run.scanFolder(folder); });
}

void TForm1::Button1Click(QObject *)
{
    // The button is greyed while its scan runs: a focus it had (which the chooser may have
    // taken away meanwhile) goes to the result list, where Enter starts nothing.
    const bool hadFocus = focusWidget() == Button1;
    if (!BrowseDialog1->Execute())
        return;
    if (hadFocus || focusWidget() == Button1)
        ListView1->currentView()->setFocus(Qt::OtherFocusReason);
    scanChosenFolder(BrowseDialog1->Directory);
}

void TForm1::scanChosenFolder(const std::string &folder)
{
    runHonouringClose([&] {
        Button1->setEnabled(false);
        N13->setEnabled(false);
        ListView1->setDrawingSuspended(true);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++m_scanDepth;
        m_scanStopRequested = false;
        const platform::ScopeGuard endScan([this] {
            --m_scanDepth;
            m_scanStopRequested = false;
            clearStatusText();
            ListView1->setDrawingSuspended(false);
            if (m_resultListSorted && SortKey)
                ListView1->sortRows(*SortKey, SortOrder);
            N13->setEnabled(true);
            Button1->setEnabled(true);
            QApplication::restoreOverrideCursor();
        });
        ScanFolder(folder);
    });
}

void TForm1::keyPressEvent(QKeyEvent *event)
{
    // Only an Escape that no one else took reaches the window: an open menu or popup, a
    // drag and a dialog each take their own Escape first.
    if (event->key() == Qt::Key_Escape && isScanning()) {
        m_scanStopRequested = true;
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TForm1::N16Click(QObject *)
{
    platform::OpenFilesRequest request;
    request.filter = QStringLiteral("MPEG AUDIO(*.MP2;*.MP3) (*.MP2 *.MP3)");
    const std::vector<std::string> paths = platform::modal().openFiles(this, request);
    runScan([this, &paths](lists::ScanRun &) {
        for (const std::string &path : paths)
            AddFileRow(path);
    });
}
