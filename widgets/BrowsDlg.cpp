#include "widgets/BrowsDlg.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include "platform/modal.h"
#include "platform/scopeguard.h"
#include "platform/textcodec.h"
#include "widgets/folderchooser.h"

namespace {

// The browser flag that each option adds, by ordinal.
constexpr std::uint32_t FlagTable[6] = {0x1000, 0x2000, 0x0002, 0x0008, 0x0001, 0x0004};

} // namespace

TBrowseDialog::TBrowseDialog(QObject *owner)
    : QObject(owner)
{ }

std::uint32_t TBrowseDialog::browseFlags(TBrowseOptions options)
{
    std::uint32_t flags = 0;
    for (int i = 0; i < 6; ++i) {
        if (options & (1u << i))
            flags |= FlagTable[i];
    }
    return flags;
}

bool TBrowseDialog::MessageHook(QEvent *)
{
    return false;
}

bool TBrowseDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (MessageHook(event))
        return true;
    return QObject::eventFilter(watched, event);
}

void TBrowseDialog::BrowseCallback(FolderChooser *Wnd, Message message, const std::string &path)
{
    std::string ShowText;
    TOKButtonState OKButtonState = obsNoChange;
    if (message == BFFM_SELCHANGED) {
        if (OnSelectionChanged)
            OnSelectionChanged(this, Wnd, path, ShowText, OKButtonState);
    } else if (message == BFFM_INITIALIZED) {
        std::string Path;
        if (!Directory.empty()) {
            Path = Directory;
            // A final "/" goes, except on the root itself.
            if (Path.size() > 1 && Path.back() == '/')
                Path.pop_back();
            // A folder that no longer exists shows its nearest existing parent.
            Wnd->selectNearest(Path);
        }
        if (OnInitialized)
            OnInitialized(this, Wnd, Path, ShowText, OKButtonState);
    }
    // The status text is sent at every event; an empty one clears the line.
    Wnd->setStatusText(QString::fromStdString(platform::shownPath(ShowText)));
    if (OKButtonState == obsEnable)
        Wnd->okButton()->setEnabled(true);
    else if (OKButtonState == obsDisable)
        Wnd->okButton()->setEnabled(false);
}

bool TBrowseDialog::Execute()
{
    FolderChooser chooser(QString::fromStdString(Caption), Root,
        (browseFlags(Options) & FlagTable[biStatusText]) != 0);
    connect(&chooser, &FolderChooser::selectionChanged, this,
        [this, &chooser](
            const std::string &path) { BrowseCallback(&chooser, BFFM_SELCHANGED, path); });

    // The chooser is modal for the whole application: every other window is disabled, and
    // the hook sees the application's events; all is put back however Execute ends.
    QPointer<QWidget> active = QApplication::activeWindow();
    std::vector<QPointer<QWidget>> disabled;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != &chooser && window->isVisible() && window->isEnabled()) {
            window->setEnabled(false);
            disabled.emplace_back(window);
        }
    }
    qApp->installEventFilter(this);
    const platform::ScopeGuard restore([this, &disabled, &active] {
        qApp->removeEventFilter(this);
        for (const QPointer<QWidget> &window : disabled) {
            if (window)
                window->setEnabled(true);
        }
        if (active)
            active->activateWindow();
    });

    BrowseCallback(&chooser, BFFM_INITIALIZED, std::string());
    if (platform::modal().execDialog(&chooser) != QDialog::Accepted)
        return false;
    DisplayName = chooser.selectedName().toStdString();
    Directory = chooser.selectedPath();
    return true;
}
