// The main window's folder scan and the adding of chosen files.

#include <QAction>
#include <QApplication>
#include <QPushButton>

#include "app/Unit1.h"
#include "lists/filelistview.h"
#include "lists/folderscan.h"
#include "lists/rowmodel.h"
#include "platform/modal.h"
#include "platform/scopeguard.h"
#include "tags/tagfile.h"
#include "widgets/BrowsDlg.h"

void TForm1::AddFileRow(const std::string &path)
{
    addScannedFile(path, tags::FileKind::Unknown);
}

void TForm1::addScannedFile(const std::string &path, tags::FileKind kind)
{
    // The tag is read before the row is appended, so a file that cannot be read leaves no
    // row behind; its error ends the scan.
    const tags::TTagRecord tag = tags::ReadTag(path, kind);
    m_pendingRows.push_back(lists::makeRow(path, tag));
    setStatusText(path);
    processWaitingEvents(false);
}

void TForm1::flushPendingRows()
{
    if (!m_pendingRows.empty())
        ListView1->appendRows(std::exchange(m_pendingRows, {}));
}

void TForm1::ScanFolder(const std::string &folder)
{
    lists::scanFolder(folder,
        [this](const std::string &path, tags::FileKind kind) { addScannedFile(path, kind); });
}

void TForm1::Button1Click(QObject *)
{
    if (BrowseDialog1->Execute())
        scanChosenFolder(BrowseDialog1->Directory);
}

void TForm1::scanChosenFolder(const std::string &folder)
{
    {
        Button1->setEnabled(false);
        N13->setEnabled(false);
        ListView1->setUpdatesEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++m_scanDepth;
        const platform::ScopeGuard endScan([this] {
            --m_scanDepth;
            flushPendingRows();
            clearStatusText();
            ListView1->setUpdatesEnabled(true);
            if (m_resultListSorted)
                ListView1->sortRows(SortKey, SortOrder);
            N13->setEnabled(true);
            Button1->setEnabled(true);
            QApplication::restoreOverrideCursor();
        });
        ScanFolder(folder);
    }
    if (m_closeRequested) {
        m_closeRequested = false;
        close();
    }
}

void TForm1::N16Click(QObject *)
{
    platform::OpenFilesRequest request;
    request.filter = QStringLiteral("MPEG AUDIO(*.MP2;*.MP3) (*.MP2 *.MP3)");
    const std::vector<std::string> paths = platform::modal().openFiles(this, request);
    const platform::ScopeGuard flush([this] { flushPendingRows(); });
    for (const std::string &path : paths)
        AddFileRow(path);
}
