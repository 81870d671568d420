#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <QObject>

class QEvent;
class QWidget;
class FolderChooser;

enum TBrowseOption {
    biBrowseForComputer,
    biBrowseForPrinter,
    biDontGoBelowDomain,
    biReturnFSAncestors,
    biReturnOnlyFSDirs,
    biStatusText,
};
// A set of TBrowseOption, one bit per ordinal.
using TBrowseOptions = std::uint8_t;
constexpr TBrowseOptions optionBit(TBrowseOption option)
{
    return static_cast<TBrowseOptions>(1u << option);
}

enum TOKButtonState { obsNoChange, obsEnable, obsDisable };

class TBrowseDialog;
using TBrowseDialogEvent = std::function<void(TBrowseDialog *Sender, QWidget *Wnd,
    const std::string &Path, std::string &ShowText, TOKButtonState &OKButtonState)>;

// Lets the user choose one folder in a modal folder chooser. Before Execute, Directory is
// the folder to preselect; after a confirmed choice it holds the chosen folder's path
// (bytes). The owner may answer the chooser's initialisation and every selection change
// with a status text and the OK button's state.
class TBrowseDialog : public QObject
{
    Q_OBJECT

public:
    // The chooser's messages, as the events report them.
    enum Message { BFFM_INITIALIZED = 1, BFFM_SELCHANGED = 2 };

    explicit TBrowseDialog(QObject *owner);

    std::string DisplayName; // the chosen folder's shown name (read only for users)
    std::string Directory;
    std::string Caption;
    TBrowseOptions Options = optionBit(biReturnOnlyFSDirs);
    std::string Root;
    TBrowseDialogEvent OnInitialized;
    TBrowseDialogEvent OnSelectionChanged;

    // The browser flags of the options: the table's value for every option in the set.
    static std::uint32_t browseFlags(TBrowseOptions options);

    // Sees the application's events while Execute runs; true when it handled one.
    virtual bool MessageHook(QEvent *event);
    // Runs the chooser modally; true when the user confirmed a folder.
    virtual bool Execute();

    // Answers the chooser's initialisation and selection changes (the browse callback).
    void BrowseCallback(FolderChooser *Wnd, Message message, const std::string &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
