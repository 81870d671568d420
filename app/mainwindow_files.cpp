// The main window's file operations on the work list.

#include "app/Unit1.h"
#include "fileops/filecommands.h"
#include "lists/filelistview.h"
#include "platform/modal.h"
#include "platform/runcontrol.h"
#include "widgets/BrowsDlg.h"

void TForm1::transferWorkList(const char *caption, const char *verb, fileops::Transfer kind)
{
    BrowseDialog2->Caption = caption;
    if (!BrowseDialog2->Execute())
        return;
    runBusy(verb, [this, kind](platform::IRunControl &status) {
        fileops::transferRows(*ListView2, BrowseDialog2->Directory, kind, this, &status);
    });
}

void TForm1::Button3Click(QObject *)
{
    transferWorkList("コピー先のフォルダを指定してください。", "コピー中", fileops::Transfer::Copy);
}

void TForm1::Button4Click(QObject *)
{
    transferWorkList("移動先のフォルダを指定してください。", "移動中", fileops::Transfer::Move);
}

void TForm1::Button5Click(QObject *)
{
    // Asked also when nothing is selected; delete never falls back to every row.
    if (platform::modal().messageBox(this,
            QString::fromUtf8("選択されたファイルを削除して構いませんか？"),
            QString::fromUtf8("最終確認"),
            platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2)
        == platform::IDYES)
        runBusy("削除中",
            [this](platform::IRunControl &status) { fileops::deleteRows(*ListView2, &status); });
}

void TForm1::Button8Click(QObject *)
{
    // The new folder is made in the folder chosen here, through the dialog's folder maker.
    BrowseDialog2->Caption = "新しいフォルダを作るフォルダを指定してください。";
    if (BrowseDialog2->Execute())
        fileops::showNewFolderDialog(*Form2);
}
