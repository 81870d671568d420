#include <gtest/gtest.h>

#include <set>

#include <sys/stat.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>

#include "app/Unit1.h"
#include "editing/Unit3.h"
#include "editing/tagfieldedit.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "platform/textcodec.h"
#include "tests/support/codepage.h"
#include "tests/support/mainwindowfixture.h"

using namespace std::string_literals;
using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::tagBytes;

namespace {

// Western tags as Windows taggers write them: Windows-1252 bytes.
const std::string WesternTitle = "Mot\xf6rhead";
const std::string WesternArtist = "Caf\xe9 \xfc"
                                  "ber";

class CodePages : public testing_support::MainWindowTest
{
protected:
    static QString cell(const FileListView *list, int row, lists::Column column)
    {
        const RowModel *model = list->model();
        return model->data(model->index(row, static_cast<int>(column))).toString();
    }

    QAction *item(platform::CodePage codePage) const
    {
        for (QAction *entry : form.CodePageItems) {
            if (entry->data().toInt() == static_cast<int>(codePage))
                return entry;
        }
        return nullptr;
    }

    testing_support::CodePageScope scope {platform::CodePage::Cp932};
};

struct Stamp
{
    std::string bytes;
    struct timespec modified;
};

Stamp stampOf(const std::string &path)
{
    struct stat st
    {
    };
    ::stat(path.c_str(), &st);
    return {readBytes(path), st.st_mtim};
}

} // namespace

TEST_F(CodePages, ViewMenuStandsBeforeHelpWithOneRadioItemPerCodePage)
{
    const QList<QAction *> menus = form.menuBar()->actions();
    ASSERT_EQ(menus.size(), 5); // the tools menu stands between view and help
    EXPECT_EQ(menus[0]->text(), QStringLiteral("ファイル(&F)"));
    EXPECT_EQ(menus[2]->text(), QStringLiteral("表示(&V)"));
    EXPECT_EQ(menus[4]->text(), QStringLiteral("ヘルプ(&H)"));
    const QList<QAction *> submenus = menus[2]->menu()->actions();
    ASSERT_EQ(submenus.size(), 1);
    EXPECT_EQ(submenus[0]->text(), QStringLiteral("文字コード"));
    const QList<QAction *> items = submenus[0]->menu()->actions();
    ASSERT_EQ(items.size(), 7);
    EXPECT_EQ(items[0]->text(), QStringLiteral("日本語 (シフト JIS / CP932)"));
    EXPECT_EQ(items[1]->text(), QStringLiteral("西欧 (Windows-1252)"));
    EXPECT_EQ(items[6]->text(), QStringLiteral("Unicode (UTF-8)"));
    for (QAction *entry : items) {
        EXPECT_TRUE(entry->isCheckable());
        EXPECT_EQ(entry->isChecked(), entry == items[0]) << entry->text().toStdString();
    }
    items[2]->trigger();
    EXPECT_EQ(platform::tagCodePage(), platform::CodePage::Cp1251);
    EXPECT_FALSE(items[0]->isChecked());
    EXPECT_TRUE(items[2]->isChecked());
}

TEST_F(CodePages, SwitchingRedrawsBothListsFromTheRowsBytesAndTouchesNoFile)
{
    const std::string tag = tagBytes(WesternTitle, WesternArtist);
    const std::string a = addFile(form.ListView1, "a.mp3", audioBytes(100) + tag);
    const std::string b = addFile(form.ListView1, "b.mp3", audioBytes(100) + tag);
    const std::string c = addFile(form.ListView2, "c.mp3", audioBytes(100) + tag);
    select(form.ListView1, {1});
    select(form.ListView2, {0});
    form.setStatusText(tree.path("Caf\xe9.mp3"));
    const Stamp before[] = {stampOf(a), stampOf(b), stampOf(c)};

    // Read as CP932 the pairs are user-defined characters: marks, one per pair.
    EXPECT_EQ(cell(form.ListView1, 0, lists::Column::Title), QStringLiteral("Mot▯head"));
    EXPECT_EQ(cell(form.ListView2, 0, lists::Column::Artist), QStringLiteral("Caf▯ ▯ber"));

    QSignalSpy reset1(form.ListView1->model(), &QAbstractItemModel::modelReset);
    QSignalSpy changed1(form.ListView1->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy changed2(form.ListView2->model(), &QAbstractItemModel::dataChanged);
    item(platform::CodePage::Cp1252)->trigger();

    EXPECT_EQ(cell(form.ListView1, 1, lists::Column::Title), QStringLiteral("Motörhead"));
    EXPECT_EQ(cell(form.ListView2, 0, lists::Column::Artist), QStringLiteral("Café über"));
    EXPECT_EQ(form.StatusBar1->text(), QString::fromStdString(tree.path("Café.mp3")));
    EXPECT_EQ(reset1.count(), 0);
    ASSERT_EQ(changed1.count(), 1);
    const QModelIndex topLeft = changed1[0][0].value<QModelIndex>();
    const QModelIndex bottomRight = changed1[0][1].value<QModelIndex>();
    EXPECT_EQ(topLeft.row(), 0);
    EXPECT_EQ(topLeft.column(), 0);
    EXPECT_EQ(bottomRight.row(), 1);
    EXPECT_EQ(bottomRight.column(), lists::ColumnCount - 1);
    EXPECT_EQ(changed2.count(), 1);
    EXPECT_EQ(form.ListView1->selectionFlags(), (std::vector<bool> {false, true}));
    EXPECT_TRUE(form.ListView2->isSelected(0));
    for (const auto &[path, stamp] :
        {std::pair {a, before[0]}, std::pair {b, before[1]}, std::pair {c, before[2]}}) {
        const Stamp after = stampOf(path);
        EXPECT_EQ(after.bytes, stamp.bytes) << path;
        EXPECT_EQ(after.modified.tv_sec, stamp.modified.tv_sec) << path;
        EXPECT_EQ(after.modified.tv_nsec, stamp.modified.tv_nsec) << path;
    }

    // Back to CP932: the same cells as before, from the same bytes.
    item(platform::CodePage::Cp932)->trigger();
    EXPECT_EQ(cell(form.ListView1, 1, lists::Column::Title), QStringLiteral("Mot▯head"));
}

TEST_F(CodePages, TheEditorShowsTakesAndWritesTextsInTheChosenCodePage)
{
    const std::string a
        = addFile(form.ListView1, "a.mp3", audioBytes(100) + tagBytes(WesternTitle, "x\x01y"));
    form.ListView1->setSelected(0, true);
    item(platform::CodePage::Cp1252)->trigger();
    QStringList shown;
    std::vector<QString> refusals;
    modal.onDialog([&](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        QObject::connect(editor->Edit3, &TagFieldEdit::refused,
            [&](editing::Refusal, const QString &text) { refusals.push_back(text); });
        shown << editor->Edit2->text() << editor->Edit6->text();
        editor->Edit3->setText(QStringLiteral("Crème 日本"));
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    // The control byte is one mark, written back as it was.
    EXPECT_EQ(shown, (QStringList {QStringLiteral("Motörhead"), QStringLiteral("x▯y")}));
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0], QStringLiteral("Windows-1252 で表せない文字は入力できません"));
    const std::string tag = readBytes(a).substr(100);
    EXPECT_EQ(tag.substr(3, 9), WesternTitle);
    EXPECT_EQ(tag.substr(33, 3), "x\x01y"s);
    EXPECT_EQ(tag.substr(63, 6), "Cr\xe8me "s);

    // Under UTF-8 ten three-byte characters fill a 30-byte field.
    item(platform::CodePage::Utf8)->trigger();
    modal.onDialog([&](QDialog *d) {
        auto *editor = qobject_cast<TForm3 *>(d);
        editor->Edit2->setText(QString(11, QChar(u'あ')));
        shown = QStringList {editor->Edit2->text()};
        editor->Button1->click();
        return editor->result();
    });
    form.N9Click(form.N9);
    EXPECT_EQ(shown, QStringList {QString(10, QChar(u'あ'))});
    std::string full;
    for (int k = 0; k < 10; ++k)
        full += "\xe3\x81\x82";
    EXPECT_EQ(readBytes(a).substr(100 + 3, 30), full);
}

TEST(InvisibleCharacters, AreTheControlFormatPrivateUseAndSeparatorCategories)
{
    const std::set<QChar::Category> hidden = {QChar::Other_Control, QChar::Other_Format,
        QChar::Other_PrivateUse, QChar::Separator_Line, QChar::Separator_Paragraph};
    std::vector<char32_t> wrong; // surrogates are never decoded text
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const bool invisible
            = c == 0xFFFD || (hidden.count(QChar::category(c)) && c != 0x200C && c != 0x200D);
        if ((c < 0xD800 || c > 0xDFFF) && platform::isInvisible(c) != invisible)
            wrong.push_back(c);
    }
    EXPECT_EQ(wrong, std::vector<char32_t> {});
}

TEST_F(CodePages, ListsAndFieldsDrawEachCodePageWithItsOwnFaceFirst)
{
    // Needs fonts-wqy-microhei and fonts-dejavu-core, as the package does.
    const QString program = QFontInfo(QApplication::font()).family();
    for (const auto &[codePage, family] :
        {std::pair(platform::CodePage::Cp936, "WenQuanYi Micro Hei"),
            std::pair(platform::CodePage::Cp1251, "DejaVu Sans"),
            std::pair(platform::CodePage::Cp932, "")}) {
        item(codePage)->trigger();
        const QString face = *family ? QString::fromUtf8(family) : program;
        EXPECT_EQ(QFontInfo(form.ListView1->currentView()->font()).family(), face);
        EXPECT_EQ(QFontInfo(form.Form3->Edit2->font()).family(), face);
        EXPECT_EQ(QFontInfo(form.ListView1->findChild<QHeaderView *>()->font()).family(), program);
    }
}
