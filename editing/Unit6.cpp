#include "editing/Unit6.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "editing/tagfieldedit.h"
#include "editing/tagfields.h"
#include "platform/modal.h"
#include "tags/genretable.h"

TForm6::TForm6(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QString::fromUtf8("ID3TAG 一括設定"));
    Edit2 = new TagFieldEdit(tags::TitleSpan.width, this);
    Edit3 = new TagFieldEdit(tags::AlbumSpan.width, this);
    Edit6 = new TagFieldEdit(tags::ArtistSpan.width, this);
    Edit4 = new TagFieldEdit(tags::YearSpan.width, this);
    ComboBox1 = new QComboBox(this);
    Edit5 = new TagFieldEdit(tags::CommentSpan.width, this);
    const QString erase = QString::fromUtf8("消去");
    QCheckBox **boxes[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5, &CheckBox6};
    for (QCheckBox **box : boxes) {
        *box = new QCheckBox(erase, this);
        // toggled, not clicked: unticking by setChecked at the next opening must enable
        // the field again too.
        connect(*box, &QCheckBox::toggled, this, [this, box] { CheckBox1Click(*box); });
    }
    Button1 = new QPushButton(QString::fromUtf8("セーブ"), this);
    Button2 = new QPushButton(QString::fromUtf8("キャンセル"), this);
    Button1->setDefault(true);
    const std::vector<QCheckBox *> eraseBoxes
        = {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6};
    Label7 = editing::layOutTagFields(this, {{"Title", Edit2}, {"Album", Edit3}, {"Artist", Edit6}},
        Edit4, ComboBox1, Edit5, &eraseBoxes, Button1, Button2);
    editing::fillGenreList(ComboBox1);
    connect(Button1, &QPushButton::clicked, this, &TForm6::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm6::Button2Click);
}

QWidget *TForm6::fieldOf(QObject *box) const
{
    const std::pair<const QCheckBox *, QWidget *> pairs[] = {
        {CheckBox1, Edit2},
        {CheckBox2, Edit3},
        {CheckBox3, Edit6},
        {CheckBox4, Edit4},
        {CheckBox5, ComboBox1},
        {CheckBox6, Edit5},
    };
    for (const auto &[b, field] : pairs) {
        if (b == box)
            return field;
    }
    return nullptr;
}

std::optional<tags::TagMerge> TForm6::ask()
{
    reset();
    m_saved = false;
    platform::modal().execDialog(this);
    if (!m_saved)
        return std::nullopt;
    return decide();
}

void TForm6::reset()
{
    for (TagFieldEdit *edit : {Edit2, Edit3, Edit6, Edit4, Edit5})
        edit->setOriginalBytes(std::string());
    ComboBox1->setCurrentIndex(0);
    for (QCheckBox *box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6}) {
        box->setChecked(false);
        CheckBox1Click(box);
    }
}

void TForm6::CheckBox1Click(QObject *Sender)
{
    if (QWidget *field = fieldOf(Sender))
        field->setEnabled(!static_cast<QCheckBox *>(Sender)->isChecked());
}

void TForm6::Button1Click()
{
    m_saved = true;
    accept();
}

void TForm6::Button2Click()
{
    reject();
}

tags::TagMerge TForm6::decide() const
{
    tags::TagMerge merge;
    // Block order: Title, Artist, Album, Year, Comment.
    const std::pair<const TagFieldEdit *, const QCheckBox *> fields[tags::TextFieldCount] = {
        {Edit2, CheckBox1},
        {Edit6, CheckBox3},
        {Edit3, CheckBox2},
        {Edit4, CheckBox4},
        {Edit5, CheckBox6},
    };
    for (std::size_t i = 0; i < tags::TextFieldCount; ++i) {
        const auto &[edit, box] = fields[i];
        std::string bytes = edit->bytes();
        if (box->isChecked())
            merge.texts[i] = tags::TextChange::erase();
        else if (!bytes.empty())
            merge.texts[i] = tags::TextChange::set(std::move(bytes));
        else
            merge.texts[i] = tags::TextChange::keep();
    }
    const std::string genreName = ComboBox1->currentText().toStdString();
    if (CheckBox5->isChecked())
        merge.genre = {tags::GenreChange::Kind::Erase, tags::NoGenre};
    else if (!genreName.empty())
        merge.genre = {tags::GenreChange::Kind::Set, tags::GenreNameToCode(genreName)};
    else
        merge.genre = {};
    return merge;
}
