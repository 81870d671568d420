#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "lists/filelistview.h"
#include "tests/support/mainwindowaccess.h"
#include "tests/support/scriptedmodal.h"
#include "tests/support/testtree.h"
#include "widgets/BrowsDlg.h"
#include "widgets/folderchooser.h"

using testing_support::MainWindowAccess;

using namespace std::string_literals;

namespace {

class BrowseDialog : public ::testing::Test
{
protected:
    BrowseDialog()
        : guard(modal)
        , dialog(nullptr)
    {
        tree.folder("music/rock");
        tree.folder("music/.hidden");
        tree.folder("music/\xff\xfe"s);
        tree.file("music/file.mp3", "x");
    }

    // The next chooser selects `path` (when given) and is confirmed or cancelled.
    void choose(const std::string &path, bool confirm = true)
    {
        modal.onDialog([this, path, confirm](QDialog *d) {
            auto *chooser = qobject_cast<FolderChooser *>(d);
            EXPECT_NE(chooser, nullptr);
            if (!path.empty()) {
                EXPECT_TRUE(chooser->selectPath(path)) << path;
            }
            seenSelection = chooser->selectedPath();
            seenStatus = chooser->statusText();
            okEnabled = chooser->okButton()->isEnabled();
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (w != d && w->isVisible() && w->isEnabled())
                    otherWindowEnabled = true;
            }
            return confirm ? QDialog::Accepted : QDialog::Rejected;
        });
    }

    testing_support::ScriptedModal modal;
    platform::ScopedModal guard;
    testing_support::TempTree tree;
    TBrowseDialog dialog;
    std::string seenSelection;
    QString seenStatus;
    bool okEnabled = false;
    bool otherWindowEnabled = false;
};

} // namespace

TEST_F(BrowseDialog, ConfirmedChoiceGivesThePathAndCancelKeepsIt)
{
    EXPECT_EQ(dialog.Options, optionBit(biReturnOnlyFSDirs));
    EXPECT_EQ(TBrowseDialog::browseFlags(dialog.Options), 0x0001u);
    EXPECT_EQ(TBrowseDialog::browseFlags(0x3F), 0x300Fu);
    choose(tree.path("music/rock"));
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.Directory, tree.path("music/rock"));
    EXPECT_EQ(dialog.DisplayName, "rock");
    choose("", false);
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.Directory, tree.path("music/rock"));
    // Reopened, it preselected the folder chosen last.
    EXPECT_EQ(seenSelection, tree.path("music/rock"));
    choose(tree.path("music"), false);
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.Directory, tree.path("music/rock"));
}

TEST_F(BrowseDialog, FolderNamesThatAreNotUtf8AndDotFoldersCanBeChosen)
{
    dialog.Root = tree.path("music");
    choose(tree.path("music/\xff\xfe"s));
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.Directory, tree.path("music/\xff\xfe"s));
    choose(tree.path("music/.hidden"));
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.Directory, tree.path("music/.hidden"));
}

TEST_F(BrowseDialog, PreselectionDropsAFinalSlashExceptOnTheRoot)
{
    std::vector<std::string> initialised;
    dialog.OnInitialized = [&](TBrowseDialog *sender, QWidget *, const std::string &path,
                               std::string &, TOKButtonState &) {
        EXPECT_EQ(sender, &dialog);
        initialised.push_back(path);
    };
    dialog.Directory = tree.path("music/rock/");
    choose("");
    dialog.Execute();
    EXPECT_EQ(seenSelection, tree.path("music/rock"));
    dialog.Directory = "/";
    choose("");
    dialog.Execute();
    dialog.Directory.clear();
    choose("", false);
    dialog.Execute();
    EXPECT_EQ(
        initialised, (std::vector<std::string> {tree.path("music/rock"), "/", std::string()}));
}

TEST_F(BrowseDialog, EventsAnswerWithStatusTextAndOkButtonState)
{
    dialog.Options = optionBit(biReturnOnlyFSDirs) | optionBit(biStatusText);
    dialog.OnSelectionChanged = [](TBrowseDialog *, QWidget *, const std::string &path,
                                    std::string &text, TOKButtonState &ok) {
        text = "chosen: " + path;
        ok = path.find("rock") != std::string::npos ? obsDisable : obsEnable;
    };
    choose(tree.path("music/rock"));
    dialog.Execute();
    EXPECT_EQ(seenStatus, QString::fromStdString("chosen: " + tree.path("music/rock")));
    EXPECT_FALSE(okEnabled);
    choose(tree.path("music"));
    dialog.Execute();
    EXPECT_TRUE(okEnabled);
}

TEST_F(BrowseDialog, OtherWindowsAreDisabledWhileItRunsAndEnabledAfter)
{
    MainWindowAccess form;
    form.show();
    choose(tree.path("music"));
    dialog.Execute();
    EXPECT_FALSE(otherWindowEnabled);
    EXPECT_TRUE(form.isEnabled());
}

TEST_F(BrowseDialog, ScanButtonRunsTheChosenFolder)
{
    MainWindowAccess form;
    tree.file("music/rock/a.mp3", "x");
    choose(tree.path("music"));
    form.Button1Click(form.Button1);
    ASSERT_EQ(form.ListView1->rowCount(), 2);
    EXPECT_EQ(form.ListView1->row(0).path(), tree.path("music/file.mp3"));
    EXPECT_EQ(form.ListView1->row(1).path(), tree.path("music/rock/a.mp3"));
    choose("", false); // cancelled: nothing changes
    form.N13Click(form.N13);
    EXPECT_EQ(form.ListView1->rowCount(), 2);
    EXPECT_TRUE(modal.allAnswersUsed());
}

namespace {

// Sets an environment variable for the scope, putting the old value back.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const std::string &value)
        : m_name(name)
        , m_had(std::getenv(name) != nullptr)
        , m_old(m_had ? std::getenv(name) : "")
    {
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    std::string m_old;
};

// Types `text` into the chooser's path line as the user would, then presses Enter there or,
// with `byOk`, clicks OK.
void typeAndEnter(FolderChooser *chooser, const QString &text, bool edit = true, bool byOk = false)
{
    if (edit) {
        chooser->pathLine()->setText(text);
        Q_EMIT chooser->pathLine()->textEdited(text);
    }
    if (byOk)
        return chooser->okButton()->click();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(chooser->pathLine(), &enter);
}

} // namespace

TEST_F(BrowseDialog, FirstUseStartsAtTheMusicFolderElseHomeAndAGoneFolderAtItsParent)
{
    const ScopedEnv home("HOME", tree.folder("home"));
    const ScopedEnv config("XDG_CONFIG_HOME", tree.folder("home/.config"));
    std::vector<std::string> initialised;
    dialog.OnInitialized = [&](TBrowseDialog *, QWidget *, const std::string &path, std::string &,
                               TOKButtonState &) { initialised.push_back(path); };
    choose("", false);
    dialog.Execute();
    EXPECT_EQ(seenSelection, tree.path("home"));
    tree.folder("home/Music");
    choose("", false);
    dialog.Execute();
    EXPECT_EQ(seenSelection, tree.path("home/Music"));
    // A folder that no longer exists: the event gets it, the tree shows its nearest parent.
    dialog.Directory = tree.path("music/rock/gone/deeper");
    choose("", false);
    dialog.Execute();
    EXPECT_EQ(seenSelection, tree.path("music/rock"));
    EXPECT_EQ(
        initialised, (std::vector<std::string> {"", "", tree.path("music/rock/gone/deeper")}));
}

TEST_F(BrowseDialog, PathLineFollowsTheSelectionAndEnterGoesToATypedFolder)
{
    const ScopedEnv home("HOME", tree.path("music"));
    std::vector<std::string> changes;
    dialog.Options = optionBit(biReturnOnlyFSDirs) | optionBit(biStatusText);
    dialog.OnSelectionChanged = [&](TBrowseDialog *, QWidget *, const std::string &path,
                                    std::string &text, TOKButtonState &ok) {
        changes.push_back(path);
        text = "at " + path;
        ok = path.find(".hidden") != std::string::npos ? obsDisable : obsEnable;
    };
    const auto run = [&](std::function<void(FolderChooser *)> act) {
        modal.onDialog([act](QDialog *d) {
            auto *chooser = qobject_cast<FolderChooser *>(d);
            act(chooser);
            return d->result();
        });
        return dialog.Execute();
    };

    // "~/rock": selected (the event fires) and confirmed.
    EXPECT_TRUE(run([&](FolderChooser *chooser) {
        chooser->selectPath(tree.path("music"));
        EXPECT_EQ(chooser->pathLine()->text(), QString::fromStdString(tree.path("music")));
        typeAndEnter(chooser, QStringLiteral("~/rock/"));
    }));
    EXPECT_EQ(dialog.Directory, tree.path("music/rock"));
    EXPECT_EQ(changes.back(), tree.path("music/rock"));

    // A path that is no folder keeps the chooser open and says so; so does a folder whose
    // OK button is disabled, which is still selected.
    QString status;
    EXPECT_FALSE(run([&](FolderChooser *chooser) {
        typeAndEnter(chooser, QString::fromStdString(tree.path("music/file.mp3")));
        status = chooser->statusText();
        typeAndEnter(chooser, QString::fromStdString(tree.path("music/.hidden")));
        EXPECT_EQ(chooser->selectedPath(), tree.path("music/.hidden"));
        chooser->setResult(QDialog::Rejected);
    }));
    EXPECT_TRUE(status.contains(QStringLiteral("file.mp3"))) << status.toStdString();

    // A folder whose name is not UTF-8, Enter on the line as the selection left it: its
    // own bytes come back.
    EXPECT_TRUE(run([&](FolderChooser *chooser) {
        chooser->selectPath(tree.path("music/\xff\xfe"s));
        typeAndEnter(chooser, QString(), false);
    }));
    EXPECT_EQ(dialog.Directory, tree.path("music/\xff\xfe"s));

    // OK takes a typed path as Enter does, refusal included; a click on the selected folder
    // after typing puts its path back on the line.
    EXPECT_TRUE(run([&](FolderChooser *chooser) {
        typeAndEnter(chooser, QStringLiteral("~/none"), true, true);
        EXPECT_TRUE(chooser->statusText().contains(QStringLiteral("none")));
        auto *folders = chooser->findChild<QTreeWidget *>();
        Q_EMIT folders->itemPressed(folders->currentItem(), 0);
        EXPECT_EQ(chooser->pathLine()->text(), QString::fromStdString(chooser->selectedPath()));
        typeAndEnter(chooser, QStringLiteral("~/rock"), true, true);
    }));
    EXPECT_EQ(dialog.Directory, tree.path("music/rock"));
    EXPECT_EQ(changes.back(), tree.path("music/rock"));

    // Names left as shown keep their bytes, below a CP932 folder with a UTF-8 twin too; a
    // typed CP932 name is found as the tree shows it.
    const std::string soft = "\x83\x5c\x83\x74\x83\x67"; // ソフト
    tree.folder("music/" + soft + "/x");
    tree.folder("music/ソフト");
    EXPECT_TRUE(run([&](FolderChooser *chooser) {
        chooser->selectPath(tree.path("music/" + soft));
        typeAndEnter(chooser, chooser->pathLine()->text() + QStringLiteral("/x"));
    }));
    EXPECT_EQ(dialog.Directory, tree.path("music/" + soft + "/x"));
    tree.folder("other/" + soft);
    EXPECT_TRUE(run([&](FolderChooser *chooser) {
        typeAndEnter(chooser, QString::fromStdString(tree.path("other/ソフト")), true, true);
    }));
    EXPECT_EQ(dialog.Directory, tree.path("other/" + soft));

    EXPECT_EQ(FolderChooser::typedPath(QStringLiteral("/a/./b/../c/")), QStringLiteral("/a/c"));
}
