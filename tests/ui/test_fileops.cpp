#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "app/Unit1.h"
#include "fileops/Unit2.h"
#include "fileops/filecommands.h"
#include "fileops/foldermaker.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "platform/filesystem.h"
#include "tests/support/faults.h"
#include "tests/support/mainwindowfixture.h"
#include "tests/support/scriptedmodal.h"
#include "tests/support/testtree.h"
#include "widgets/BrowsDlg.h"
#include "widgets/errorreport.h"

using fileops::Transfer;
using testing_support::exists;
using testing_support::fileMode;
using testing_support::readBytes;
using testing_support::text;

namespace {

class FileOps : public testing_support::MainWindowTest
{
protected:
    // Work-list rows for files of the tree (made with their name as content).
    void addWorkRows(const std::vector<std::string> &names, bool makeFiles = true)
    {
        std::vector<lists::Row> rows;
        for (const std::string &name : names) {
            const std::string path = makeFiles ? tree.file(name, name) : tree.path(name);
            rows.push_back(lists::makeRow(path, tags::TTagRecord()));
        }
        form.ListView2->appendRows(std::move(rows));
    }
    std::vector<std::string> workCaptions() const
    {
        std::vector<std::string> captions;
        for (int i = 0; i < form.ListView2->rowCount(); ++i)
            captions.push_back(std::string(form.ListView2->row(i).caption()));
        return captions;
    }
    void select(std::initializer_list<int> rows)
    {
        for (const int row : rows)
            form.ListView2->setSelected(row, true);
    }
    void transfer(const std::string &folder, Transfer kind)
    {
        fileops::transferRows(*form.ListView2, folder, kind, &form);
    }
};

using Names = std::vector<std::string>;

} // namespace

TEST_F(FileOps, CopyTakesEveryRowWhenNoneIsSelectedAndNeverTouchesTheResultList)
{
    form.ListView1->appendRows({lists::makeRow(tree.file("r.mp3", "r"), tags::TTagRecord())});
    addWorkRows({"src/a.mp3", "src/b.mp3", "src/c.mp3"});
    const std::string target = tree.folder("dst");
    transfer(target, Transfer::Copy);
    EXPECT_EQ(form.ListView2->rowCount(), 0);
    EXPECT_EQ(testing_support::listNames(target), (Names {"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(readBytes(tree.path("dst/b.mp3")), "src/b.mp3");
    EXPECT_TRUE(modal.questions.empty());
    ASSERT_EQ(form.ListView1->rowCount(), 1);
    EXPECT_FALSE(form.ListView1->hasSelection());
}

TEST_F(FileOps, OnlySelectedRowsAreCopiedAndTheRestEndUnselected)
{
    addWorkRows({"src/a.mp3", "src/b.mp3", "src/c.mp3", "src/d.mp3", "src/e.mp3"});
    select({1, 3});
    transfer(tree.folder("dst"), Transfer::Copy);
    EXPECT_EQ(workCaptions(), (Names {"a.mp3", "c.mp3", "e.mp3"}));
    EXPECT_FALSE(form.ListView2->hasSelection());
    EXPECT_EQ(testing_support::listNames(tree.path("dst")), (Names {"b.mp3", "d.mp3"}));
}

TEST_F(FileOps, OverwriteQuestionSeesTheListAsItStandsAndNoSkipsTheFile)
{
    addWorkRows({"src/a.mp3", "src/b.mp3", "src/c.mp3"});
    tree.file("dst/b.mp3", "existing");
    // The list at the moment of the question: the done row gone, the rest selected.
    std::vector<Names> seen;
    QObject::connect(form.ListView2->model(), &QAbstractItemModel::modelReset, &form,
        [&] { seen.push_back(workCaptions()); });
    modal.answer(platform::IDNO);
    transfer(tree.path("dst"), Transfer::Copy);
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(modal.questions[0].text, text("b.mp3 は既に存在します。上書きしますか？"));
    EXPECT_EQ(modal.questions[0].caption, text("確認"));
    EXPECT_EQ(modal.questions[0].flags, platform::MB_YESNO | platform::MB_DEFBUTTON2);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), (Names {"b.mp3", "c.mp3"}));
    EXPECT_EQ(workCaptions(), Names {"b.mp3"});
    EXPECT_FALSE(form.ListView2->hasSelection());
    EXPECT_EQ(readBytes(tree.path("dst/b.mp3")), "existing");
    EXPECT_EQ(readBytes(tree.path("dst/c.mp3")), "src/c.mp3");
}

TEST_F(FileOps, MoveOverwritesOnYesAndDeletesAReadOnlySource)
{
    addWorkRows({"src/a.mp3", "src/b.mp3"});
    ::chmod(tree.path("src/b.mp3").c_str(), 0444);
    tree.file("dst/a.mp3", "existing");
    modal.answer(platform::IDYES);
    transfer(tree.path("dst"), Transfer::Move);
    EXPECT_EQ(form.ListView2->rowCount(), 0);
    EXPECT_EQ(readBytes(tree.path("dst/a.mp3")), "src/a.mp3");
    EXPECT_EQ(fileMode(tree.path("dst/b.mp3")), 0444);
    EXPECT_FALSE(exists(tree.path("src/a.mp3")));
    EXPECT_FALSE(exists(tree.path("src/b.mp3")));
}

TEST_F(FileOps, TheFilesOwnFolderLeavesItUntouchedWhateverTheAnswer)
{
    addWorkRows({"src/a.mp3"});
    for (const Transfer kind : {Transfer::Copy, Transfer::Move}) {
        modal.answer(platform::IDYES);
        transfer(tree.path("src"), kind);
        EXPECT_EQ(readBytes(tree.path("src/a.mp3")), "src/a.mp3");
        EXPECT_EQ(workCaptions(), Names {"a.mp3"});
        EXPECT_FALSE(form.ListView2->hasSelection());
    }
    EXPECT_EQ(testing_support::listNames(tree.path("src")), Names {"a.mp3"});
}

TEST_F(FileOps, TheSameFileTwiceIsAskedAboutTheSecondTime)
{
    addWorkRows({"src/a.mp3", "src/a.mp3"});
    modal.answer(platform::IDYES);
    transfer(tree.folder("dst"), Transfer::Copy);
    EXPECT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(form.ListView2->rowCount(), 0);
    // Moved twice: the second finds its source gone and stays.
    addWorkRows({"src/b.mp3"});
    form.ListView2->appendRows({form.ListView2->row(0)});
    modal.answer(platform::IDYES);
    transfer(tree.path("dst"), Transfer::Move);
    EXPECT_EQ(workCaptions(), Names {"b.mp3"});
    EXPECT_EQ(readBytes(tree.path("dst/b.mp3")), "src/b.mp3");
}

TEST_F(FileOps, FailuresAreSilentAndTheirRowsStay)
{
    addWorkRows({"src/a.mp3", "src/b.mp3"});
    tree.file("dst/a.mp3", "existing");
    {
        // A destination folder that takes no new name, and a source folder that lets none go.
        testing_support::Chattr destination(tree.path("dst"), testing_support::Chattr::Immutable);
        if (!destination.error().empty())
            GTEST_SKIP() << destination.error();
        for (const Transfer kind : {Transfer::Copy, Transfer::Move}) {
            modal.answer(platform::IDYES);
            transfer(tree.path("dst"), kind);
            EXPECT_EQ(workCaptions(), (Names {"a.mp3", "b.mp3"}));
        }
    }
    EXPECT_EQ(modal.questions.size(), 2u); // only the overwrite questions, no error message
    {
        testing_support::Chattr source(tree.path("src"), testing_support::Chattr::Immutable);
        modal.answer(platform::IDYES);
        transfer(tree.path("dst"), Transfer::Move);
        EXPECT_EQ(workCaptions(), (Names {"a.mp3", "b.mp3"}));
        EXPECT_EQ(modal.questions.size(), 3u);
    }
    EXPECT_EQ(readBytes(tree.path("src/a.mp3")), "src/a.mp3");
    EXPECT_EQ(readBytes(tree.path("dst/a.mp3")), "src/a.mp3"); // copied, the source kept
    EXPECT_EQ(readBytes(tree.path("dst/b.mp3")), "src/b.mp3");
}

TEST_F(FileOps, CancelledFolderChooserSelectsAndCopiesNothing)
{
    addWorkRows({"src/a.mp3"});
    form.BrowseDialog2->Directory = tree.folder("dst");
    // The chooser, if it shows, is cancelled.
    modal.onDialog([](QDialog *) { return 0; });
    modal.onDialog([](QDialog *) { return 0; });
    form.Button3Click(form.Button3);
    form.Button4Click(form.Button4);
    EXPECT_FALSE(form.ListView2->hasSelection());
    EXPECT_EQ(form.ListView2->rowCount(), 1);
    EXPECT_TRUE(testing_support::listNames(tree.path("dst")).empty());
    EXPECT_EQ(form.BrowseDialog2->Caption, "移動先のフォルダを指定してください。");
}

TEST_F(FileOps, DeleteAsksFirstEvenWithNothingSelected)
{
    addWorkRows({"a.mp3", "gone.mp3", "c.mp3"});
    modal.answer(platform::IDNO);
    form.Button5Click(form.Button5);
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(modal.questions[0].text, text("選択されたファイルを削除して構いませんか？"));
    EXPECT_EQ(modal.questions[0].caption, text("最終確認"));
    EXPECT_EQ(modal.questions[0].flags,
        platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2);
    modal.answer(platform::IDYES);
    form.Button5Click(form.Button5);
    EXPECT_EQ(form.ListView2->rowCount(), 3);

    // A vanished file stays unselected and the others go on; No deletes nothing.
    ::unlink(tree.path("gone.mp3").c_str());
    select({0, 1, 2});
    modal.answer(platform::IDNO);
    form.Button5Click(form.Button5);
    EXPECT_TRUE(exists(tree.path("a.mp3")));
    modal.answer(platform::IDYES);
    form.Button5Click(form.Button5);
    EXPECT_EQ(workCaptions(), Names {"gone.mp3"});
    EXPECT_FALSE(form.ListView2->hasSelection());
    EXPECT_FALSE(exists(tree.path("a.mp3")));
    EXPECT_FALSE(exists(tree.path("c.mp3")));
}

namespace {

// Pretends every file exists and every deletion succeeds, so a pass over many rows costs
// no disk.
class AcceptingFileSystem : public platform::PosixFileSystem
{
public:
    int stat(const char *, struct stat *st, bool) override
    {
        std::memset(st, 0, sizeof *st);
        st->st_mode = S_IFREG | 0644;
        return 0;
    }
    int unlink(const char *) override { return 0; }
};

// Records the paths asked about and refuses every open and folder creation.
class RecordingFileSystem : public platform::PosixFileSystem
{
public:
    int stat(const char *path, struct stat *st, bool followLinks) override
    {
        paths.emplace_back(path);
        return PosixFileSystem::stat(path, st, followLinks);
    }
    int open(const char *path, int, mode_t) override
    {
        paths.emplace_back(path);
        errno = EACCES;
        return -1;
    }
    int mkdir(const char *path, mode_t) override
    {
        paths.emplace_back(path);
        errno = EACCES;
        return -1;
    }
    std::vector<std::string> paths;
};

} // namespace

TEST_F(FileOps, AHundredThousandRowsLeaveTheListInOneBatch)
{
    std::vector<lists::Row> rows(100000);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = lists::makeRow("/nowhere/" + std::to_string(i) + ".mp3", tags::TTagRecord());
    rows.push_back(lists::makeRow("/nowhere/keep.mp3", tags::TTagRecord()));
    form.ListView2->appendRows(std::move(rows));
    form.ListView2->selectAll();
    form.ListView2->setSelected(100000, false);
    AcceptingFileSystem fs;
    platform::ScopedFileSystem installed(fs);
    // One removal for all the rows, never one per row (which took minutes).
    int removals = 0;
    QObject::connect(
        form.ListView2->model(), &QAbstractItemModel::modelReset, &form, [&] { ++removals; });
    QObject::connect(
        form.ListView2->model(), &QAbstractItemModel::rowsRemoved, &form, [&] { ++removals; });
    fileops::deleteRows(*form.ListView2);
    EXPECT_EQ(workCaptions(), Names {"keep.mp3"});
    EXPECT_EQ(removals, 1);
}

TEST_F(FileOps, TheRootAsTargetGetsNoDoubledSlash)
{
    addWorkRows({"src/a.mp3"});
    RecordingFileSystem fs;
    {
        platform::ScopedFileSystem installed(fs);
        transfer("/", Transfer::Copy);
        form.BrowseDialog2->Directory = "/";
        modal.onDialog([](QDialog *dialog) {
            auto *form2 = static_cast<TForm2 *>(dialog);
            form2->Edit1->setText(QStringLiteral("x"));
            form2->Button1->click();
            return 0;
        });
        modal.answer(platform::IDOK);
        fileops::showNewFolderDialog(*form.Form2);
    }
    EXPECT_NE(std::find(fs.paths.begin(), fs.paths.end(), "/a.mp3"), fs.paths.end());
    EXPECT_NE(std::find(fs.paths.begin(), fs.paths.end(), "/x"), fs.paths.end());
    for (const std::string &path : fs.paths)
        EXPECT_EQ(path.find("//"), std::string::npos) << path;
    EXPECT_EQ(workCaptions(), Names {"a.mp3"});
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(modal.questions[0].text, text("ファイルへのアクセスが拒否されました."));
}

TEST_F(FileOps, NewFolderPresetIsSelectedSoTypingReplacesIt)
{
    form.BrowseDialog2->Directory = tree.root();
    modal.onDialog([](QDialog *dialog) {
        auto *form2 = static_cast<TForm2 *>(dialog);
        form2->show();
        form2->Edit1->setFocus();
        EXPECT_EQ(form2->Edit1->selectedText(), text("新しいフォルダ"));
        for (const char c : std::string("abc")) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A + (c - 'a'), Qt::NoModifier,
                QString(QChar::fromLatin1(c)));
            QCoreApplication::sendEvent(form2->Edit1, &press);
        }
        form2->Button1->click();
        form2->hide();
        return 0;
    });
    fileops::showNewFolderDialog(*form.Form2);
    EXPECT_EQ(testing_support::listNames(tree.root()), (Names {"abc"}));
}

TEST_F(FileOps, NewFolderIsMadeAndRefusalsKeepTheDialogOpen)
{
    form.BrowseDialog2->Directory = tree.root();
    int accepted = 0;
    QObject::connect(form.Form2, &QDialog::accepted, &form, [&] { ++accepted; });
    QString preset;
    const auto typeAndCreate = [&](const QString &name) {
        modal.onDialog([&, name](QDialog *dialog) {
            auto *form2 = static_cast<TForm2 *>(dialog);
            preset = form2->Edit1->text();
            form2->Edit1->setText(name);
            form2->Button1->click();
            return 0;
        });
        fileops::showNewFolderDialog(*form.Form2);
    };
    EXPECT_EQ(form.Form2->windowTitle(), text("フォルダ新規作成"));
    EXPECT_TRUE(form.Form2->Button1->isDefault());
    typeAndCreate(text("新しいフォルダ"));
    EXPECT_EQ(preset, text("新しいフォルダ"));
    EXPECT_TRUE(exists(tree.path("新しいフォルダ")));
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(form.BrowseDialog2->Directory, tree.root());

    // Refusals reach the general error report; the dialog is not closed.
    modal.answer(platform::IDOK);
    typeAndCreate(text("新しいフォルダ"));
    modal.answer(platform::IDOK);
    typeAndCreate(QString());
    modal.answer(platform::IDOK);
    typeAndCreate(text("無い/子"));
    EXPECT_EQ(accepted, 1);
    ASSERT_EQ(modal.questions.size(), 3u);
    EXPECT_EQ(modal.questions[0].text, text("I/O エラー (183)"));
    EXPECT_EQ(modal.questions[0].caption, widgets::applicationTitle());
    EXPECT_EQ(modal.questions[0].flags, platform::MB_OK | platform::MB_ICONERROR);
    EXPECT_EQ(modal.questions[1].text, text("I/O エラー (183)"));
    EXPECT_EQ(modal.questions[2].text, text("不正なファイル名です."));

    // Cancel creates nothing; so does Escape's reject().
    modal.onDialog([](QDialog *dialog) {
        auto *form2 = static_cast<TForm2 *>(dialog);
        form2->Edit1->setText(QStringLiteral("cancelled"));
        form2->Button2->click();
        form2->reject();
        return 0;
    });
    fileops::showNewFolderDialog(*form.Form2);
    EXPECT_FALSE(exists(tree.path("cancelled")));
    EXPECT_TRUE(modal.allAnswersUsed());
}

TEST(NewFolderDialog, GivesTheFolderItMadeAndNothingWhenCancelled)
{
    // Each name is pressed with "作成" (the second "a" is refused), then "キャンセル".
    const std::pair<std::vector<const char *>, const char *> cases[]
        = {{{"a"}, "a"}, {{"a", "b"}, "b"}, {{"a"}, nullptr}, {{}, nullptr}};
    testing_support::TempTree tree;
    fileops::FolderMakerIn maker(tree.root());
    testing_support::ScriptedModal modal;
    const platform::ScopedModal modalGuard(modal);
    modal.unqueuedAnswer = [](const auto &) { return platform::IDOK; };
    TForm2 dialog(nullptr, maker);
    for (const auto &[typed, made] : cases) {
        modal.onDialog([&typed = typed](QDialog *d) {
            auto *form2 = static_cast<TForm2 *>(d);
            form2->setResult(0); // as exec() starts
            EXPECT_EQ(form2->Edit1->text(), QStringLiteral("preset"));
            for (const char *name : typed) {
                form2->Edit1->setText(QString::fromUtf8(name));
                form2->Button1->click();
            }
            if (form2->result() != QDialog::Accepted)
                form2->Button2->click();
            return form2->result();
        });
        EXPECT_EQ(dialog.ask(QStringLiteral("preset")),
            made ? std::optional(tree.path(made)) : std::nullopt);
    }
}
