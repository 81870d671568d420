#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <unistd.h>

#include "app/Unit1.h"
#include "editing/Unit3.h"
#include "editing/Unit6.h"
#include "editing/tagfieldedit.h"
#include "lists/filelistview.h"
#include "tags/tagfile.h"
#include "tests/support/codepage.h"
#include "tests/support/mainwindowfixture.h"
#include "tests/support/scriptedmodal.h"
#include "tests/support/testtree.h"
#include "widgets/errorreport.h"

using namespace std::string_literals;
using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::tagBytes;

namespace {

class TagEditing : public testing_support::MainWindowTest
{
protected:
    std::string addFile(const std::string &name, const std::string &bytes, mode_t mode = 0644)
    {
        return MainWindowTest::addFile(form.ListView1, name, bytes, mode);
    }

    const lists::Row &row(int i) const { return form.ListView1->row(i); }

    // Types text into a field as the user would (a committed input-method string).
    static void type(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QCoreApplication::sendEvent(edit, &commit);
    }

    static void press(QWidget *widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(widget, &event);
    }

    // Pastes as the user would, by Ctrl+V.
    static void paste(QLineEdit *edit, const QString &text)
    {
        QGuiApplication::clipboard()->setText(text);
        press(edit, Qt::Key_V, Qt::ControlModifier);
    }
};

} // namespace

TEST_F(TagEditing, EditorShowsTheFileAndSavesACompleteBlockFromTheDialog)
{
    addFile("a.mp3", audioBytes(300) + tagBytes("A", "x"));
    const std::string b = addFile(
        "b.mp3", audioBytes(300) + tagBytes("  Old  ", "Artist", "Alb", "1999", "c", 200));
    addFile("c.mp3", audioBytes(300));
    form.ListView1->setSelectionFlags({false, true, true});
    modal.onDialog([](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        EXPECT_EQ(editor->Edit2->text(), QStringLiteral("Old")); // trimmed
        EXPECT_EQ(editor->Edit6->text(), QStringLiteral("Artist"));
        EXPECT_EQ(editor->ComboBox1->currentIndex(), 0); // code 200 has no name
        editor->Edit2->setText(QStringLiteral("New"));
        editor->Edit2->setModified(true);
        editor->Edit4->setText(QStringLiteral("ab9"));
        editor->Edit4->setModified(true);
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    EXPECT_EQ(readBytes(b), audioBytes(300) + tagBytes("New", "Artist", "Alb", "ab9", "c", 255));
    EXPECT_EQ(row(1).subItem(lists::SubItem::Title), "New");
    EXPECT_EQ(row(1).subItem(lists::SubItem::Year), "ab9");
    EXPECT_EQ(row(2).subItem(lists::SubItem::Title), ""); // only the first selected row
    EXPECT_EQ(row(0).subItem(lists::SubItem::Title), "A");
}

TEST_F(TagEditing, ReturnAndEscapePressNothingAndCancelLeavesFileAndRow)
{
    const std::string bytes = audioBytes(300) + tagBytes("Keep");
    const std::string a = addFile("a.mp3", bytes);
    form.ListView1->setSelected(0, true);
    modal.onDialog([](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        editor->show();
        editor->Edit2->setText(QStringLiteral("Changed"));
        editor->Edit2->setModified(true);
        for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(editor->Edit2, &press);
        }
        EXPECT_TRUE(editor->isVisible());
        EXPECT_FALSE(editor->Button1->autoDefault());
        editor->Button2->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    EXPECT_EQ(readBytes(a), bytes);
    EXPECT_EQ(row(0).subItem(lists::SubItem::Title), "Keep");
}

TEST_F(TagEditing, UntouchedFieldsKeepTheirBytesAndReadOnlyFilesStayReadOnly)
{
    // An IBM-row code and a byte that is not valid CP932: neither survives decoding, but a
    // field the user did not touch is written from its bytes.
    const std::string title = "\xee\xf9\xa0x"s;
    const std::string a = addFile("a.mp3", audioBytes(200) + tagBytes(title, "Art"), 0444);
    form.ListView1->setSelected(0, true);
    modal.onDialog([](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        editor->Edit6->setText(QString::fromUtf8("〜曲"));
        editor->Edit6->setModified(true);
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    EXPECT_EQ(readBytes(a), audioBytes(200) + tagBytes(title, "\x81\x60\x8b\xc8", "", "", "", 255));
    EXPECT_EQ(testing_support::fileMode(a), 0444);
    EXPECT_EQ(row(0).subItem(lists::SubItem::Title), title);
}

TEST_F(TagEditing, MissingFileKeepsTheDialogOpenAndWritesNothing)
{
    const std::string a = addFile("a.mp3", audioBytes(200));
    form.ListView1->setSelected(0, true);
    modal.onDialog([&](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        ::unlink(a.c_str());
        modal.answer(platform::IDOK);
        editor->Button1->click();
        EXPECT_EQ(editor->result(), QDialog::Rejected); // still open
        editor->Button2->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(modal.questions[0].text, QString::fromUtf8("ファイルが開けません"));
    EXPECT_EQ(modal.questions[0].caption, QString::fromUtf8("エラー"));
    EXPECT_FALSE(testing_support::exists(a));
}

TEST_F(TagEditing, FieldsTakeOnlyWhatShiftJisHoldsUpToTheirBytes)
{
    TagFieldEdit edit(4);
    edit.setOriginalBytes("");
    type(&edit, QString::fromUtf8("日本語")); // 6 bytes: cut after the last whole character
    EXPECT_EQ(edit.text(), QString::fromUtf8("日本"));
    EXPECT_EQ(edit.bytes(), "\x93\xfa\x96\x7b"s);
    TagFieldEdit title(30);
    title.setOriginalBytes("");
    type(&title, QString::fromUtf8("aé😀b")); // refused characters are left out
    EXPECT_EQ(title.text(), QStringLiteral("ab"));
    // A mark keeps its byte through a change of the text around it.
    title.setOriginalBytes("\xff"s);
    EXPECT_EQ(title.bytes(), "\xff"s);
    title.setText(title.text() + QStringLiteral("x"));
    EXPECT_EQ(title.bytes(), "\xffx"s);
    // The line edit's own undo brings a deleted mark back with its byte.
    title.setOriginalBytes("a\xfe"
                           "b"s);
    title.setCursorPosition(2);
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(&title, &backspace);
    EXPECT_EQ(title.bytes(), "ab");
    title.undo();
    EXPECT_EQ(title.bytes(),
        "a\xfe"
        "b"s);
}

TEST_F(TagEditing, RefusalsKeepTheOtherCharactersTheCursorAndTheUndoHistory)
{
    using editing::Refusal;
    using platform::CodePage;
    using Result = std::pair<std::string, std::vector<Refusal>>; // bytes, refusals told
    // Steps: "t..." types, "p..." pastes, "E" End, "B" Backspace, "Z" Ctrl+Z.
    const auto edited = [](CodePage codePage, std::size_t maxBytes, const std::string &original,
                            const std::vector<std::string> &steps) {
        const testing_support::CodePageScope scope(codePage);
        TagFieldEdit edit(maxBytes);
        edit.setOriginalBytes(original);
        Result result;
        QObject::connect(&edit, &TagFieldEdit::refused,
            [&](Refusal reason, const QString &) { result.second.push_back(reason); });
        for (const std::string &step : steps) {
            const QString text = QString::fromStdString(step.substr(1));
            if (step[0] == 't')
                type(&edit, text);
            else if (step[0] == 'p')
                paste(&edit, text);
            else
                press(&edit,
                    step == "E"       ? Qt::Key_End
                        : step == "B" ? Qt::Key_Backspace
                                      : Qt::Key_Z,
                    step == "Z" ? Qt::ControlModifier : Qt::NoModifier);
        }
        result.first = edit.bytes();
        EXPECT_EQ(edit.text(), QString::fromStdString(result.first));
        return result;
    };
    // The cursor stays behind the emoji's two UTF-16 units.
    EXPECT_EQ(
        edited(CodePage::Utf8, 30, "a😀", {"E", "p\t", "tZ"}), Result("a😀Z", {Refusal::Control}));
    EXPECT_EQ(edited(CodePage::Utf8, 4, "😀", {"E", "t1", "B"}), Result("", {Refusal::TooLong}));
    // Undo takes back the edit before a refused one; a paste kept in part is one step.
    EXPECT_EQ(edited(CodePage::Cp932, 30, "ab", {"E", "tc", "p\t", "Z"}),
        Result("ab", {Refusal::Control}));
    EXPECT_EQ(
        edited(CodePage::Cp932, 30, "", {"tx", "p1\t2", "Z"}), Result("x", {Refusal::Control}));
    // Invisible characters cannot be typed, a zero-width joiner can.
    EXPECT_EQ(edited(CodePage::Utf8, 30, "", {"pa\u200Bb\u202Ec\u00AD\u200Dd"}),
        Result("abc\u200Dd", {Refusal::Control}));
}

TEST_F(TagEditing, PasteAtTheStartOfAFieldWithInvalidBytesEndsWithinItsBytes)
{
    // Two bytes that start no CP932 character, then "Live!": 7 bytes the field must count.
    const std::string title = "\xa0\xfd"
                              "Live!"s;
    const std::string artist = "Ab\x82"s; // a lone lead byte at the end
    const std::string a
        = addFile("a.mp3", audioBytes(200) + tagBytes(title, artist, "Al", "", "", 3));
    form.ListView1->setSelected(0, true);
    std::vector<editing::Refusal> refusals;
    modal.onDialog([&](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        const QString mark = QStringLiteral("▯");
        EXPECT_EQ(editor->Edit2->text(), mark + mark + QStringLiteral("Live!"));
        QObject::connect(editor->Edit2, &TagFieldEdit::refused,
            [&](editing::Refusal reason, const QString &) { refusals.push_back(reason); });
        editor->Edit2->setCursorPosition(0);
        paste(editor->Edit2, QString(20, QChar(0x3042))); // 20 "あ", 40 bytes
        EXPECT_EQ(editor->Edit2->text(),
            QString(11, QChar(0x3042)) + mark + mark + QStringLiteral("Live!"));
        // Typing a character and taking it back again, in a field whose last byte is a lone
        // lead byte: "`" would join it into "Ａ" and is refused; nothing stops the save.
        type(editor->Edit6, QStringLiteral("`"));
        EXPECT_EQ(editor->Edit6->text(), QStringLiteral("Ab") + mark);
        type(editor->Edit6, QStringLiteral("!"));
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QCoreApplication::sendEvent(editor->Edit6, &backspace);
        EXPECT_EQ(editor->Edit6->text(), QStringLiteral("Ab") + mark);
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    EXPECT_TRUE(modal.questions.empty());
    std::string pasted;
    for (int i = 0; i < 11; ++i)
        pasted += "\x82\xa0";
    EXPECT_EQ(readBytes(a), audioBytes(200) + tagBytes(pasted + title, artist, "Al", "", "", 3));
    EXPECT_EQ(refusals, std::vector<editing::Refusal> {editing::Refusal::TooLong});
    EXPECT_EQ(row(0).subItem(lists::SubItem::Title), pasted + title);
}

TEST_F(TagEditing, AFieldShowsItsTextUpToItsFirstZeroByte)
{
    const std::string title = "Short\0ld Long Title Residue!"s;
    const std::string a = addFile("a.mp3", audioBytes(200) + tagBytes(title, "Art"));
    form.ListView1->setSelected(0, true);
    // Untouched, every byte of the field stays, the ones after the zero too.
    modal.onDialog([](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        EXPECT_EQ(editor->Edit2->text(), QStringLiteral("Short"));
        editor->Edit4->setText(QStringLiteral("2001"));
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    EXPECT_EQ(readBytes(a), audioBytes(200) + tagBytes(title, "Art", "", "2001"));
    // Edited, what the field shows is what is written.
    modal.onDialog([](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        editor->Edit2->setCursorPosition(5);
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QCoreApplication::sendEvent(editor->Edit2, &backspace);
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    EXPECT_EQ(readBytes(a), audioBytes(200) + tagBytes("Shor", "Art", "", "2001"));
    EXPECT_EQ(row(0).subItem(lists::SubItem::Title), "Shor");
}

TEST_F(TagEditing, RefusedInputIsDroppedAndToldOncePerEdit)
{
    const std::string a = addFile("a.mp3", audioBytes(200));
    form.ListView1->setSelected(0, true);
    std::vector<std::pair<editing::Refusal, QString>> refusals;
    modal.onDialog([&](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        for (TagFieldEdit *edit : {editor->Edit2, editor->Edit3, editor->Edit4}) {
            QObject::connect(
                edit, &TagFieldEdit::refused, [&](editing::Refusal reason, const QString &text) {
                    refusals.emplace_back(reason, text);
                });
        }
        paste(editor->Edit2, QStringLiteral("Tab\tand\nline\x7f!"));
        type(editor->Edit3, QString::fromUtf8("Café ok"));
        type(editor->Edit4, QStringLiteral("19999"));
        type(editor->Edit4, QStringLiteral("8"));
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    EXPECT_EQ(readBytes(a), audioBytes(200) + tagBytes("Tabandline!", "", "Caf ok", "1999"));
    ASSERT_EQ(refusals.size(), 4u);
    EXPECT_EQ(refusals[0].first, editing::Refusal::Control);
    EXPECT_EQ(refusals[1].first, editing::Refusal::Unencodable);
    EXPECT_EQ(refusals[1].second, QString::fromUtf8("シフト JIS で表せない文字は入力できません"));
    EXPECT_EQ(refusals[2].first, editing::Refusal::TooLong);
    EXPECT_EQ(refusals[3].second, QString::fromUtf8("4 バイトを超える分は入力できません"));
}

TEST_F(TagEditing, EditorKeepsTheTrackNumberOfAnId3v11Tag)
{
    // Comment empty, track 65: the comment must not show as "A".
    std::string tag = tagBytes("Song", "Band", "", "1999", "", 8);
    tag[125] = '\0';
    tag[126] = 65;
    const std::string a = addFile("a.mp3", audioBytes(200) + tag);
    EXPECT_EQ(row(0).subItem(lists::SubItem::Comment), "");
    form.ListView1->setSelected(0, true);
    modal.onDialog([](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        EXPECT_EQ(editor->Edit5->text(), QString());
        EXPECT_EQ(editor->Edit5->maxBytes(), 28u);
        editor->Edit4->setText(QStringLiteral("2001"));
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    std::string expected = tagBytes("Song", "Band", "", "2001", "", 8);
    expected[125] = '\0';
    expected[126] = 65;
    EXPECT_EQ(readBytes(a), audioBytes(200) + expected);
    // A comment typed past 28 bytes is cut there, and the tooltip says why.
    QString told;
    modal.onDialog([&](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        QObject::connect(editor->Edit5, &TagFieldEdit::refused,
            [&](editing::Refusal, const QString &text) { told = text; });
        type(editor->Edit5, QString(30, QLatin1Char('c')));
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    expected = tagBytes("Song", "Band", "", "2001", std::string(28, 'c'), 8);
    expected[125] = '\0';
    expected[126] = 65;
    EXPECT_EQ(readBytes(a), audioBytes(200) + expected);
    EXPECT_TRUE(told.startsWith(QString::fromUtf8("28 バイトを超える分は入力できません")));
    EXPECT_TRUE(told.contains(QString::fromUtf8("トラック番号")));
    // The bulk dialog takes the whole 30 bytes.
    EXPECT_EQ(form.Form6->Edit5->maxBytes(), 30u);
}

TEST_F(TagEditing, PopupEntriesFollowEachListsSelection)
{
    addFile("a.mp3", audioBytes(10));
    form.PopupMenu2Popup(form.PopupMenu1);
    EXPECT_FALSE(form.N9->isEnabled());
    EXPECT_FALSE(form.N18->isEnabled());
    form.ListView1->setSelected(0, true);
    form.PopupMenu2Popup(form.PopupMenu2);
    EXPECT_TRUE(form.N9->isEnabled());
    EXPECT_TRUE(form.N17->isEnabled());
    EXPECT_FALSE(form.N12->isEnabled());
}

TEST_F(TagEditing, BulkSettingMergesIntoEverySelectedFileAndStopsAtAMissingOne)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        const std::string tag = i % 2 ? std::string() : tagBytes("T", "Keep", "Al", "", "C", 8);
        paths.push_back(addFile(std::to_string(i) + ".mp3", audioBytes(100, i) + tag, 0444));
    }
    ::unlink(paths[2].c_str());
    form.ListView1->selectAll();
    modal.answer(platform::IDOK);
    modal.onDialog([](QDialog *d) {
        auto *bulk = qobject_cast<TForm6 *>(d);
        EXPECT_TRUE(bulk->Edit2->isEnabled());
        EXPECT_TRUE(bulk->Button1->isDefault());
        bulk->Edit2->setText(QStringLiteral("New"));
        bulk->Edit2->setModified(true);
        bulk->Edit5->setText(QStringLiteral("ignored"));
        bulk->Edit5->setModified(true);
        bulk->CheckBox6->setChecked(true); // filled and ticked: erased
        EXPECT_FALSE(bulk->Edit5->isEnabled());
        EXPECT_EQ(bulk->Edit5->text(), QStringLiteral("ignored"));
        bulk->Button1->click();
        return bulk->result();
    });
    form.N17Click(form.N17);
    EXPECT_EQ(readBytes(paths[0]), audioBytes(100, 0) + tagBytes("New", "Keep", "Al", "", "", 8));
    // A file without a tag gets one holding only the given fields; no genre is 255.
    std::string fresh = "TAGNew" + std::string(27, ' ') + std::string(60, '\0') + "\0\0\0\0"s
        + std::string(30, ' ') + "\xff"s;
    EXPECT_EQ(readBytes(paths[1]), audioBytes(100, 1) + fresh);
    EXPECT_EQ(testing_support::fileMode(paths[1]), 0444);
    EXPECT_EQ(readBytes(paths[3]), audioBytes(100, 3)); // after the missing file: untouched
    EXPECT_EQ(readBytes(paths[4]), audioBytes(100, 4) + tagBytes("T", "Keep", "Al", "", "C", 8));
    EXPECT_EQ(row(0).subItem(lists::SubItem::Title), "New");
    EXPECT_EQ(row(0).subItem(lists::SubItem::Comment), "");
    EXPECT_EQ(row(1).subItem(lists::SubItem::Genre), ""); // genre cell left alone
    EXPECT_EQ(row(4).subItem(lists::SubItem::Title), "T");
    EXPECT_EQ(modal.questions.at(0).text, QString::fromUtf8("ファイルが開けません"));
}

TEST_F(TagEditing, BulkEraseOfGenreSpacesAndCancel)
{
    const std::string a = addFile("a.mp3", audioBytes(100) + tagBytes("T", "A", "", "", "", 8));
    form.ListView1->setSelected(0, true);
    modal.onDialog([](QDialog *d) {
        auto *bulk = qobject_cast<TForm6 *>(d);
        EXPECT_FALSE(bulk->CheckBox5->isChecked()); // every opening starts empty
        bulk->CheckBox5->setChecked(true);
        bulk->Edit6->setText(QStringLiteral("  "));
        bulk->Edit6->setModified(true);
        bulk->Button1->click();
        return bulk->result();
    });
    form.N17Click(form.N17);
    EXPECT_EQ(readBytes(a), audioBytes(100) + tagBytes("T", "  ", "", "", "", 255));
    EXPECT_EQ(row(0).subItem(lists::SubItem::Genre), "");
    EXPECT_EQ(row(0).subItem(lists::SubItem::Artist), "  ");
    modal.onDialog([](QDialog *d) {
        auto *bulk = qobject_cast<TForm6 *>(d);
        EXPECT_TRUE(bulk->ComboBox1->isEnabled()); // unticked again at the opening
        bulk->Edit2->setText(QStringLiteral("X"));
        bulk->Edit2->setModified(true);
        bulk->Button2->click();
        return bulk->result();
    });
    form.N17Click(form.N18); // the work list has no selection anyway
    EXPECT_EQ(readBytes(a), audioBytes(100) + tagBytes("T", "  ", "", "", "", 255));
}

TEST(BulkDialog, GivesItsDecisionsOnlyWhenSavedAndStartsEmptyEachTime)
{
    using Kind = tags::TextChange::Kind;
    using Genre = tags::GenreChange::Kind;
    struct Case
    {
        const char *title;
        bool eraseAlbum, eraseGenre;
        QPushButton *TForm6::*button;
        std::optional<std::tuple<Kind, Kind, Genre>> merge; // Title, Album, genre
    };
    const Case cases[] = {
        {"New", false, false, &TForm6::Button1, {{Kind::Set, Kind::Keep, Genre::Keep}}},
        {"", true, true, &TForm6::Button1, {{Kind::Keep, Kind::Erase, Genre::Erase}}},
        {"New", true, false, &TForm6::Button2, std::nullopt},
    };
    testing_support::ScriptedModal modal;
    const platform::ScopedModal modalGuard(modal);
    TForm6 dialog(nullptr);
    for (const Case &c : cases) {
        modal.onDialog([&c](QDialog *d) {
            auto *bulk = static_cast<TForm6 *>(d);
            EXPECT_EQ(bulk->Edit2->text(), QString());
            EXPECT_FALSE(bulk->CheckBox2->isChecked());
            EXPECT_TRUE(bulk->ComboBox1->isEnabled());
            bulk->Edit2->setText(QString::fromUtf8(c.title));
            bulk->Edit2->setModified(true);
            bulk->CheckBox2->setChecked(c.eraseAlbum);
            bulk->CheckBox5->setChecked(c.eraseGenre);
            (bulk->*c.button)->click();
            return bulk->result();
        });
        const std::optional<tags::TagMerge> merge = dialog.ask();
        ASSERT_EQ(merge.has_value(), c.merge.has_value()) << c.title;
        if (merge) {
            EXPECT_EQ(
                std::make_tuple(merge->texts[0].kind, merge->texts[2].kind, merge->genre.kind),
                *c.merge);
        }
    }
}
