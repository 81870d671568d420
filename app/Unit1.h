#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QMainWindow>

#include "app/settingsfile.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QWidget;

class FileListView;
class TBrowseDialog;
class TPanelEx;
class TSplitPanel;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class ExportPreviewDialog;

namespace platform {
class IRunControl;
}
namespace editing {
class ITagWriter;
class ITagJournal;
class JournalHold;
struct RestoreResult;
} // namespace editing
namespace fileops {
class FolderMakerIn;
enum class Transfer;
} // namespace fileops
namespace lists {
class ScanRun;
}
namespace search {
class ListSearch;
}
namespace widgets {
class AlignLayout;
}
namespace testing_support {
class MainWindowAccess;
}

namespace app {

// How often long runs handle waiting events and repaint, and how often a long operation
// repaints its progress: handling them after every file would cost more than reading the
// files.
struct RunIntervals
{
    std::chrono::milliseconds eventStep {20};
    std::chrono::milliseconds progressStep {100};
};

} // namespace app

// The main window: the result list and the work list with their button bars, the menus and
// the status line. Each handler gathers its inputs, calls a run of its subsystem and applies
// the result; they are defined by concern in app/mainwindow_*.cpp, the window itself in
// Unit1.cpp.
class TForm1 : public QMainWindow
{
    Q_OBJECT
    // Widget tests and benchmarks reach the controls and handlers through this one type.
    friend class testing_support::MainWindowAccess;

public:
    explicit TForm1(QWidget *parent = nullptr, app::RunIntervals intervals = {});
    ~TForm1() override;

    // Creates the five dialogs, once, in their fixed order (tag editor, search, new folder,
    // version box, bulk setting), each given what its own buttons need. Called by the entry
    // after the main window exists.
    void createDialogs();

    // Hands a document to the desktop. Gives the started process's id, or 0.
    long ShellExecute(const std::string &FileName, const std::string &Params,
        const std::string &Verb, const std::string &WorkDir, int ShowCmd);

    // The values the settings file keeps, as they are now; and applying read ones.
    app::WindowSettings currentSettings() const;
    void applySettings(const app::WindowSettings &settings);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Shared sort state of both lists: the column last clicked (none yet), +1 or -1.
    std::optional<lists::Column> SortKey;
    int SortOrder = 1;

    // Controls, as the window's definition names them.
    QWidget *Panel1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *Button12 = nullptr;
    QPushButton *Button13 = nullptr;
    QPushButton *Button14 = nullptr;
    QPushButton *Button6 = nullptr;
    FileListView *ListView1 = nullptr;
    TSplitPanel *SplitPanel1 = nullptr;
    TPanelEx *PanelEx1 = nullptr;
    QPushButton *Button8 = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *Button4 = nullptr;
    QPushButton *Button5 = nullptr;
    QPushButton *Button11 = nullptr;
    QPushButton *Button10 = nullptr;
    QPushButton *Button9 = nullptr;
    QPushButton *Button7 = nullptr;
    FileListView *ListView2 = nullptr;
    QLabel *StatusBar1 = nullptr;

    QMenu *PopupMenu1 = nullptr;
    QAction *N9 = nullptr;
    QAction *N17 = nullptr;
    QAction *N10 = nullptr;
    QAction *N1 = nullptr;
    QAction *N2 = nullptr;
    QAction *N3 = nullptr;
    QAction *N4 = nullptr;
    QMenu *PopupMenu2 = nullptr;
    QAction *N12 = nullptr;
    QAction *N18 = nullptr;
    QAction *N11 = nullptr;
    QAction *N5 = nullptr;
    QAction *N6 = nullptr;
    QAction *N7 = nullptr;
    QAction *N8 = nullptr;
    QAction *N19 = nullptr; // the tools' entries in the work list's menu
    QAction *N20 = nullptr;
    QAction *N21 = nullptr;

    QMenu *File1 = nullptr;
    QAction *N13 = nullptr;
    QAction *N16 = nullptr;
    QAction *N14 = nullptr;
    QAction *Exit1 = nullptr;
    QMenu *Edit1 = nullptr;
    QAction *Undo1 = nullptr;
    QAction *Redo1 = nullptr;
    QMenu *View1 = nullptr;
    QMenu *CodePage1 = nullptr;
    QList<QAction *> CodePageItems; // one radio item per code page, in menu order
    QMenu *Tools1 = nullptr;
    QAction *NamesFromTags1 = nullptr;
    QAction *TagsFromNames1 = nullptr;
    QAction *ExportV21 = nullptr;
    QMenu *Help1 = nullptr;
    QAction *N15 = nullptr;
    QAction *About1 = nullptr;

    TBrowseDialog *BrowseDialog1 = nullptr;
    TBrowseDialog *BrowseDialog2 = nullptr;

    // The dialogs, owned by the application (created by createDialogs()).
    TForm3 *Form3 = nullptr;
    TForm4 *Form4 = nullptr;
    TForm2 *Form2 = nullptr;
    TForm5 *Form5 = nullptr;
    TForm6 *Form6 = nullptr;
    ExportPreviewDialog *ExportPreview = nullptr;

    // Start and end.
    void FormCreate();
    void FormDestroy();
    void Exit1Click(QObject *Sender);
    void N13Click(QObject *Sender);
    void N15Click(QObject *Sender);
    void About1Click(QObject *Sender);
    // Switches the tag code page to the chosen item's and shows every list again from the
    // rows' bytes; nothing is read or written.
    void CodePageClick(QObject *Sender);

    // Folder scan and adding files.
    void Button1Click(QObject *Sender);
    void N16Click(QObject *Sender);
    void AddFileRow(const std::string &path);
    void ScanFolder(const std::string &folder);
    // The scan of a chosen folder with the window busy: the scan button and menu entry
    // greyed, the hourglass, the result list's drawing suspended; all restored however the
    // scan ends, and a close request made meanwhile carried out afterwards. Escape pressed
    // in the window stops it at its next step, keeping the rows found so far.
    void scanChosenFolder(const std::string &folder);
    bool isScanning() const { return m_scanDepth > 0; }
    // Runs a long operation (bulk tag setting, copy, move, delete): its progress on the status
    // line as "<verb> N / M: PATH", which gets its text back afterwards; a close request
    // made meanwhile is carried out when it has ended.
    void runBusy(const char *verb, const std::function<void(platform::IRunControl &)> &work);
    bool isBusy() const { return m_busyDepth > 0; }

    // List operations.
    void ListView1ColumnClick(QObject *Sender, int column);
    void ListView2ColumnClick(QObject *Sender, int column);
    void N1Click(QObject *Sender);
    void Button11Click(QObject *Sender);
    void Button10Click(QObject *Sender);
    void Button9Click(QObject *Sender);
    void Button6Click(QObject *Sender);
    void Button7Click(QObject *Sender);
    void ListView1Click(QObject *Sender);
    void ListView1KeyDown(QObject *Sender, int key, Qt::KeyboardModifiers shift);
    void ListView1DblClick(QObject *Sender);
    bool ListView2DragOver(QObject *Sender, QObject *Source);
    void ListView2DragDrop(QObject *Sender, QObject *Source);

    // Search, tag editing, file operations.
    void Button2Click(QObject *Sender);
    void PopupMenu2Popup(QObject *Sender);
    void N9Click(QObject *Sender);
    void N17Click(QObject *Sender);
    // The work list's files (the selected rows, every row when none is) to ID3v2 tags, after
    // the preview.
    void ExportV21Click(QObject *Sender);
    void Button3Click(QObject *Sender);
    void Button4Click(QObject *Sender);
    void Button5Click(QObject *Sender);
    void Button8Click(QObject *Sender);

    // Undo and redo of tag writes, batch by batch, from the journal that every write of the
    // window and the companion goes to. The menu's entries name the batch they would take and
    // are greyed when there is none; they are refreshed from the journal each time the menu is
    // about to show, and the entries check the journal again themselves, so their shortcuts
    // work whether the menu was ever opened or not.
    void Edit1Popup(QObject *Sender);
    void Undo1Click(QObject *Sender);
    void Redo1Click(QObject *Sender);

    // The tools: file names from tags and tags from file names, each on the work list's
    // selected rows (every row when none is selected), previewed in its dialog, run with its
    // progress on the status line and Escape stopping it, and undoable as one batch.
    void NamesFromTags1Click(QObject *Sender);
    void TagsFromNames1Click(QObject *Sender);
    // The paths of the work list's rows a tool takes.
    std::vector<std::string> toolPaths() const;

    // The status line: only the program's own writers change it.
    void setStatusText(const std::string &path);
    void clearStatusText();
    // Decodes the status line and both lists again in the tag code page, and checks its item.
    void showInCodePage();

    std::optional<std::string> m_statusPath; // what the status line shows, as bytes
    void buildControls();
    void buildMenus();
    // The controls in the order Tab goes through them.
    QList<QWidget *> tabOrder() const;
    void connectHandlers();
    QPushButton *addBarButton(QWidget *bar, int left, int width, const char *caption);
    // Runs `work` with a scan run that feeds the result list; rows still pending reach the
    // list however the work ends. AddFileRow uses the innermost such run.
    void runScan(const std::function<void(lists::ScanRun &)> &work);
    // The list a shared handler acts on: the result list for its own senders, else the
    // work list (also for no sender).
    FileListView *listOf(
        QObject *sender, QObject *resultSender, QObject *otherResultSender = nullptr);
    bool askYesNo(const char *question);
    // Copy or move: the target folder chosen with `caption`, then the run with its progress.
    void transferWorkList(const char *caption, const char *verb, fileops::Transfer kind);
    void sortByHeader(FileListView *list, int column);
    // Shows the result list at the user's height, or less while the window is too small to
    // leave the work list's bar, some of the work list and the status line visible; after a
    // drag of the split bar, a resize and reading the settings.
    void boundResultList();
    // The most height the result list may have in the window as it is now.
    int resultListRoom() const;
    // The result list's height as the user set it (by the split bar or the settings file).
    int userViewHeight() const;
    // A deferred close is carried out once no scan or long operation runs any more: after
    // `work` has returned, or, when it failed, after the failure's report.
    void runHonouringClose(const std::function<void()> &work);

    app::RunIntervals m_intervals;
    widgets::AlignLayout *m_layout = nullptr;
    int m_scanDepth = 0;
    int m_busyDepth = 0;
    bool m_closeRequested = false;
    int m_viewHeight = 0;      // the user's height of the result list
    int m_shownViewHeight = 0; // the height the window last gave it
    bool m_scanStopRequested = false;
    bool m_resultListSorted = false;
    bool m_shownOnce = false;
    lists::ScanRun *m_scanRun = nullptr;
    // Undo (true) or redo of the next batch, after the user's yes; the restored files' rows
    // of both lists show their tags afterwards.
    void restoreBatch(bool undo);
    // Shows what an undo or redo (of a batch of renames, or of tag writes) left alone or could
    // not know; true when the user asks for the same batch again ("再試行").
    bool reportRestore(const editing::RestoreResult &result, bool undo, bool renames);
    // Asked by the tag writer when there is no journal: the user's leave to write without
    // one, asked until it is given, then kept for the session.
    bool mayWriteWithoutJournal();
    // Before a batch of a tool: the journal's lock (waited for as holdJournal does), or without
    // a journal the user's leave to write without one. False: the batch does not start.
    bool holdForBatch(std::unique_ptr<editing::JournalHold> &held);
    // The journal's lock for a write batch or an undo. While another process holds it, a
    // thread waits for it and the window is busy meanwhile: its commands greyed, the status
    // line naming what the lock is held for, a close request deferred, and Escape giving the
    // wait up (null: the command does nothing).
    std::unique_ptr<editing::JournalHold> holdJournal();

    // The journal of tag writes (null when it could not be opened) and the writer that
    // records into it; the dialogs' own buttons write through the writer.
    std::shared_ptr<editing::ITagJournal> m_journal;
    std::unique_ptr<editing::ITagWriter> m_tagWriter;
    bool m_writesWithoutJournal = false;
    // The tools' format and pattern, as BELWIK.INI kept them and the dialogs last ran them.
    std::string m_nameFormat;
    std::string m_namePattern;
    std::unique_ptr<search::ListSearch> m_resultListSearch;
    std::unique_ptr<fileops::FolderMakerIn> m_folderMaker;
};
