#pragma once

#include <chrono>

#include "app/Unit1.h"

namespace testing_support {

// The main window as widget tests and benchmarks drive it: its controls, dialogs, handlers
// and sort state reached by their given names, and its run intervals set for a case.
class MainWindowAccess final : public TForm1
{
public:
    explicit MainWindowAccess(QWidget *parent = nullptr, app::RunIntervals intervals = {})
        : TForm1(parent, intervals)
    { }

    // 0: an event step, or a repaint of the progress, after every file.
    void setEventStepInterval(int milliseconds)
    {
        m_intervals.eventStep = std::chrono::milliseconds(milliseconds);
    }
    void setProgressStepInterval(int milliseconds)
    {
        m_intervals.progressStep = std::chrono::milliseconds(milliseconds);
    }

    // Controls.
    using TForm1::BrowseDialog1, TForm1::BrowseDialog2, TForm1::Button1, TForm1::Button10,
        TForm1::Button11, TForm1::Button12, TForm1::Button13, TForm1::Button14, TForm1::Button2,
        TForm1::Button3, TForm1::Button4, TForm1::Button5, TForm1::Button6, TForm1::Button7,
        TForm1::Button8, TForm1::Button9, TForm1::ListView1, TForm1::ListView2, TForm1::Panel1,
        TForm1::PanelEx1, TForm1::SplitPanel1, TForm1::StatusBar1;
    // Menus and their entries.
    using TForm1::About1, TForm1::CodePage1, TForm1::CodePageItems, TForm1::Edit1, TForm1::Exit1,
        TForm1::File1, TForm1::Help1, TForm1::N1, TForm1::N10, TForm1::N11, TForm1::N12,
        TForm1::N13, TForm1::N14, TForm1::N15, TForm1::N16, TForm1::N17, TForm1::N18, TForm1::N2,
        TForm1::N3, TForm1::N4, TForm1::N5, TForm1::N6, TForm1::N7, TForm1::N8, TForm1::N9,
        TForm1::PopupMenu1, TForm1::PopupMenu2, TForm1::Redo1, TForm1::Undo1, TForm1::View1;
    // The tools: their menu, entries, dialogs and handlers.
    using TForm1::Tools1, TForm1::NamesFromTags1, TForm1::TagsFromNames1, TForm1::ExportV21,
        TForm1::ExportPreview, TForm1::ExportV21Click, TForm1::N19, TForm1::N20, TForm1::N21;
    // Dialogs.
    using TForm1::Form2, TForm1::Form3, TForm1::Form4, TForm1::Form5, TForm1::Form6;
    // Shared sort state.
    using TForm1::SortKey, TForm1::SortOrder;
    // Handlers and the window's own steps.
    using TForm1::About1Click, TForm1::AddFileRow, TForm1::Button10Click, TForm1::Button11Click,
        TForm1::Button1Click, TForm1::Button2Click, TForm1::Button3Click, TForm1::Button4Click,
        TForm1::Button5Click, TForm1::Button6Click, TForm1::Button7Click, TForm1::Button8Click,
        TForm1::Button9Click, TForm1::CodePageClick, TForm1::Edit1Popup, TForm1::Exit1Click,
        TForm1::FormCreate, TForm1::FormDestroy, TForm1::ListView1Click,
        TForm1::ListView1ColumnClick, TForm1::ListView1DblClick, TForm1::ListView1KeyDown,
        TForm1::ListView2ColumnClick, TForm1::ListView2DragDrop, TForm1::ListView2DragOver,
        TForm1::N13Click, TForm1::N15Click, TForm1::N16Click, TForm1::N17Click, TForm1::N1Click,
        TForm1::N9Click, TForm1::PopupMenu2Popup, TForm1::Redo1Click, TForm1::ScanFolder,
        TForm1::Undo1Click, TForm1::clearStatusText, TForm1::isBusy, TForm1::isScanning,
        TForm1::runBusy, TForm1::scanChosenFolder, TForm1::setStatusText, TForm1::showInCodePage,
        TForm1::m_nameFormat, TForm1::m_namePattern;
};

} // namespace testing_support
