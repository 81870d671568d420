#include "editing/Unit3.h"

#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "editing/tagfieldedit.h"
#include "editing/tagfields.h"
#include "editing/tagwriter.h"
#include "platform/bytetext.h"
#include "platform/modal.h"
#include "platform/textcodec.h"
#include "tags/genretable.h"
#include "tags/tagfile.h"
#include "widgets/errorreport.h"

TForm3::TForm3(QWidget *parent, editing::ITagWriter &tagWriter)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_tagWriter(tagWriter)
{
    setWindowTitle(QStringLiteral("ID3 TAG"));
    Edit1 = new QLineEdit(this);
    Edit1->setReadOnly(true);
    QPalette menuColour = Edit1->palette();
    menuColour.setColor(QPalette::Base, menuColour.color(QPalette::Window));
    Edit1->setPalette(menuColour);
    Edit2 = new TagFieldEdit(tags::TitleSpan.width, this);
    Edit3 = new TagFieldEdit(tags::AlbumSpan.width, this);
    Edit6 = new TagFieldEdit(tags::ArtistSpan.width, this);
    Edit4 = new TagFieldEdit(tags::YearSpan.width, this);
    ComboBox1 = new QComboBox(this);
    Edit5 = new TagFieldEdit(tags::CommentSpan.width, this);
    Button1 = new QPushButton(QString::fromUtf8("セーブ"), this);
    Button2 = new QPushButton(QString::fromUtf8("キャンセル"), this);
    // Qt makes the first button of a dialog its default: here Enter presses nothing.
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    editing::layOutTagFields(this,
        {{"Filename", Edit1}, {"Title", Edit2}, {"Album", Edit3}, {"Artist", Edit6}}, Edit4,
        ComboBox1, Edit5, nullptr, Button1, Button2);
    connect(Button1, &QPushButton::clicked, this,
        [this] { widgets::guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    FormCreate();
}

void TForm3::FormCreate()
{
    editing::fillGenreList(ComboBox1);
}

std::optional<tags::CompleteTag> TForm3::ask(const std::string &path, const tags::TTagRecord &tag)
{
    fill(path, tag);
    m_saved.reset();
    platform::modal().execDialog(this);
    return m_saved;
}

void TForm3::fill(const std::string &path, const tags::TTagRecord &tag)
{
    m_path = path;
    Edit1->setText(QString::fromStdString(platform::shownPath(path)));
    Edit2->setOriginalBytes(platform::trimmed(tag.Title));
    Edit6->setOriginalBytes(platform::trimmed(tag.Artist));
    Edit3->setOriginalBytes(platform::trimmed(tag.Album));
    Edit4->setOriginalBytes(platform::trimmed(tag.Year));
    // An ID3v1.1 tag keeps its track number in the comment's last two bytes: the field shows
    // and takes only the 28 before them, so that the write keeps the track.
    const bool track = tags::hasTrackNumber(tag);
    Edit5->setMaxBytes(track ? tags::TrackCommentWidth : tags::CommentSpan.width,
        track ? editing::LimitNote::TrackNumber : editing::LimitNote::None);
    Edit5->setOriginalBytes(platform::trimmed(tags::commentText(tag)));
    const int genre = ComboBox1->findText(QString::fromStdString(tags::GenreCodeToName(tag.Genre)));
    ComboBox1->setCurrentIndex(std::max(genre, 0));
}

void TForm3::Button1Click()
{
    // A complete block from the dialog alone: nothing of the old tag survives.
    tags::CompleteTag tag;
    const TagFieldEdit *fields[tags::TextFieldCount] = {Edit2, Edit6, Edit3, Edit4, Edit5};
    for (std::size_t i = 0; i < tags::TextFieldCount; ++i)
        tag.texts[i] = fields[i]->bytes();
    tag.genre = tags::GenreNameToCode(ComboBox1->currentText().toStdString());
    // One save is one batch of the undo list. A batch that may not start (no journal, and
    // writing without one declined) writes nothing and leaves the dialog as it is.
    const editing::TagWriteBatch batch(m_tagWriter, "タグ変更");
    if (!batch.started())
        return;
    if (m_tagWriter.write(m_path, tags::completeBlock(tag)) == tags::WriteOutcome::FileMissing) {
        widgets::showFileMissingBox();
        return;
    }
    m_saved = tag;
    accept();
}

void TForm3::Button2Click()
{
    reject();
}

void TForm3::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
