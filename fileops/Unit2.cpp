#include "fileops/Unit2.h"

#include <limits>

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "app/Unit1.h"
#include "fileops/filetransfer.h"
#include "lists/row.h"
#include "platform/error.h"
#include "platform/errorreport.h"
#include "platform/paths.h"
#include "widgets/BrowsDlg.h"

TForm2::TForm2(TForm1 *mainWindow)
    : QDialog(mainWindow, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QString::fromUtf8("フォルダ新規作成"));
    setFixedSize(521, 77);

    Label1
        = new QLabel(QString::fromUtf8("新しく作成したいフォルダの名前を入力してください"), this);
    Label1->move(16, 8);
    Label1->adjustSize();

    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(16, 24, 497, 21);
    Edit1->setMaxLength(std::numeric_limits<int>::max());

    Button1 = new QPushButton(QString::fromUtf8("作成"), this);
    Button1->setGeometry(360, 48, 75, 25);
    Button1->setDefault(true);

    Button2 = new QPushButton(QString::fromUtf8("キャンセル"), this);
    Button2->setGeometry(440, 48, 75, 25);

    connect(Button1, &QPushButton::clicked, this,
        [this] { platform::guarded([this] { Button1Click(Button1); }); });
    connect(Button2, &QPushButton::clicked, this,
        [this] { platform::guarded([this] { Button2Click(Button2); }); });
}

void TForm2::Button1Click(QObject *)
{
    // Exactly the typed name, in the file system's encoding; nothing trimmed or checked.
    const std::string path
        = platform::AddBackslash(Form1()->BrowseDialog2->Directory) + Edit1->text().toStdString();
    const fileops::FolderOutcome outcome = fileops::makeFolder(path);
    if (!outcome.isMade())
        throw platform::Error(outcome.text, outcome.code);
    accept();
}

void TForm2::Button2Click(QObject *)
{
    QDialog::reject();
}

void TForm2::reject()
{
    Button2Click(Button2);
}

void TForm2::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Centred on the desktop, not on the main window.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - rect().center());
    }
}
