#include "fileops/Unit2.h"

#include <limits>

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "fileops/foldermaker.h"
#include "platform/error.h"
#include "platform/modal.h"
#include "widgets/errorreport.h"

TForm2::TForm2(QWidget *parent, fileops::IFolderMaker &folderMaker)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_folderMaker(folderMaker)
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
        [this] { widgets::guarded([this] { Button1Click(Button1); }); });
    connect(Button2, &QPushButton::clicked, this,
        [this] { widgets::guarded([this] { Button2Click(Button2); }); });
}

std::optional<std::string> TForm2::ask(const QString &name)
{
    Edit1->setText(name);
    Edit1->selectAll();
    m_made.reset();
    platform::modal().execDialog(this);
    return m_made;
}

void TForm2::Button1Click(QObject *)
{
    // Exactly the typed name, in the file system's encoding; nothing trimmed or checked.
    const fileops::FolderOutcome outcome = m_folderMaker.makeFolder(Edit1->text().toStdString());
    if (!outcome.isMade())
        throw platform::Error(outcome.text, outcome.code);
    m_made = outcome.path;
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
