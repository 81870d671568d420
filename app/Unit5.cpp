#include "app/Unit5.h"

#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "widgets/URLLabel.h"

namespace {

QLabel *label(QWidget *parent, const char *caption, int left, int top, int width, int height)
{
    auto *l = new QLabel(TForm5::captionText(caption), parent);
    l->setTextFormat(Qt::PlainText);
    // Placed as designed; grown where this font is wider than the original's.
    l->setGeometry(left, top, width, height);
    l->resize(std::max(width, l->sizeHint().width()), height);
    return l;
}

} // namespace

QString TForm5::captionText(const char *utf8)
{
    return QString::fromUtf8(utf8).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

TForm5::TForm5(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Version Information"));
    setFixedSize(341, 183);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setGeometry(0, 0, 341, 145);
    Label1 = label(GroupBox1, "MPEG AUDIO 整理支援ソフト", 16, 24, 150, 14);
    QFont underlined = Label1->font();
    underlined.setUnderline(true);
    Label1->setFont(underlined);
    Label1->resize(std::max(150, Label1->sizeHint().width()), 14);
    Label1->setStyleSheet(QStringLiteral("color: black"));
    Label2 = label(GroupBox1, "Bellwick Version 1.03", 104, 40, 221, 17);
    QFont larger = Label2->font();
    larger.setPixelSize(15);
    Label2->setFont(larger);
    auto *rule = new QFrame(GroupBox1);
    rule->setGeometry(16, 64, 305, 2);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Raised);
    Label3 = label(GroupBox1, "作者連絡先 && 最新版公開先", 16, 80, 154, 14);
    Label4 = label(GroupBox1, "E-Mail Address : info@example.org", 136, 104, 200, 14);
    Label5 = label(GroupBox1, "WEB PAGE :", 88, 120, 64, 14);
    URLLabel1 = new TURLLabel(GroupBox1);
    URLLabel1->setText(QStringLiteral("https://example.org/bellwick/"));
    URLLabel1->setGeometry(160, 120, 168, 14);
    URLLabel1->resize(std::max(168, URLLabel1->sizeHint().width()), 14);
    URLLabel1->Executable = true;
    URLLabel1->SetHotColor(0xFF0000); // blue

    Button1 = new QPushButton(QString::fromUtf8("閉じる(&C)"), this);
    Button1->setGeometry(136, 152, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
}

void TForm5::Button1Click()
{
    reject();
}

void TForm5::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(
            std::max(0, (area.width() - width()) / 2), std::max(0, (area.height() - height()) / 2));
    }
}
