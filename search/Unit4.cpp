#include "search/Unit4.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/modal.h"
#include "platform/textcodec.h"
#include "search/searchmatch.h"
#include "search/searchstep.h"
#include "tags/genretable.h"
#include "widgets/errorreport.h"

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

std::optional<std::string> tagCondition(const QLineEdit *edit)
{
    return platform::utf8ToTagText(edit->text().toStdString());
}

} // namespace

TForm4::TForm4(QWidget *parent, search::ISearchStep &searchStep)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_searchStep(searchStep)
{
    setWindowTitle(text("検索"));
    setFixedSize(506, 334);

    const auto label = [this](const char *caption, int left, int top) {
        auto *l = new QLabel(text(caption), this);
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    const auto edit = [this](int left, int top, int width) {
        auto *e = new QLineEdit(this);
        e->setGeometry(left, top, width, 20);
        return e;
    };
    const auto combo = [this](int left, int top, int width) {
        auto *c = new QComboBox(this);
        c->setGeometry(left, top, width, 20);
        return c;
    };

    label("ファイル名", 8, 8);
    Edit1 = edit(8, 24, 489);
    label("Title", 8, 56);
    Edit6 = edit(8, 72, 489);
    label("Artist", 8, 104);
    Edit2 = edit(8, 120, 489);
    label("Album", 8, 152);
    Edit3 = edit(8, 168, 489);
    label("Year", 8, 200);
    Edit4 = edit(40, 196, 121);
    label("Genere", 176, 200);
    ComboBox1 = combo(224, 196, 145);
    label("Comment", 8, 224);
    Edit5 = edit(8, 240, 489);
    label("検索方法", 8, 272);
    ComboBox2 = combo(64, 266, 185);
    ComboBox2->addItems({text("OR検索(どれかに当てはまる)"), text("AND検索(全部に当てはまる)")});
    label("検索後の処理", 264, 270);
    ComboBox3 = combo(344, 266, 145);
    ComboBox3->addItems({text("作業リストに追加"), text("マーキング")});
    Label7 = label("※空欄の項目は無視されます", 168, 288);
    Label7->setStyleSheet(QStringLiteral("color: red"));

    Button1 = new QPushButton(text("検索開始"), this);
    Button1->setGeometry(176, 304, 75, 25);
    Button1->setDefault(true);
    Button2 = new QPushButton(text("キャンセル"), this);
    Button2->setGeometry(272, 304, 75, 25);

    const QList<QWidget *> order = {Edit1, Edit6, Edit2, Edit3, Edit4, ComboBox1, Edit5, ComboBox2,
        ComboBox3, Button1, Button2};
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(Button1, &QPushButton::clicked, this,
        [this] { widgets::guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    FormCreate();
}

std::optional<TForm4::Choice> TForm4::ask()
{
    for (QLineEdit *edit : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6})
        edit->clear();
    ComboBox1->setCurrentIndex(0);
    ComboBox2->setCurrentIndex(0);
    ComboBox3->setCurrentIndex(0);
    m_searched.reset();
    platform::modal().execDialog(this);
    if (!m_searched)
        return std::nullopt;
    return Choice {*m_searched, ComboBox3->currentIndex() == 0};
}

void TForm4::FormCreate()
{
    ComboBox1->clear();
    for (const std::string &name : tags::genreListEntries())
        ComboBox1->addItem(QString::fromStdString(name));
}

search::Conditions TForm4::conditions() const
{
    search::Conditions c;
    // The file-name condition is matched against path bytes, in the file system's encoding.
    c.fileName = Edit1->text().toStdString();
    using tags::TextField;
    c.text(TextField::Title) = tagCondition(Edit6);
    c.text(TextField::Artist) = tagCondition(Edit2);
    c.text(TextField::Album) = tagCondition(Edit3);
    c.text(TextField::Year) = tagCondition(Edit4);
    c.text(TextField::Comment) = tagCondition(Edit5);
    c.genre = ComboBox1->currentText().toStdString();
    c.allMustMatch = ComboBox2->currentIndex() == 1;
    return c;
}

void TForm4::Button1Click()
{
    search::Conditions searched = conditions();
    m_searchStep.run(searched);
    m_searched = std::move(searched);
    accept();
}

void TForm4::Button2Click()
{
    m_searched.reset();
    QDialog::reject();
}

void TForm4::reject()
{
    Button2Click();
}
