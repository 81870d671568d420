// The export to ID3v2 tags as the user drives it: the menu entries, the rows taken, the
// preview's states with and without the overwrite box, the run, its report and its undo.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "editing/exportpreview.h"
#include "lists/filelistview.h"
#include "tests/support/mainwindowfixture.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;
using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::tagBytes;
using testing_support::text;

namespace {

using ExportMenu = testing_support::MainWindowTest;

} // namespace

TEST_F(ExportMenu, PreviewShowsEachFilesStateAndTheRunWritesAndIsUndone)
{
    const QList<QAction *> menus = form.menuBar()->actions();
    ASSERT_GE(menus.size(), 3);
    EXPECT_EQ(menus[menus.size() - 3]->menu(), form.View1);
    EXPECT_EQ(menus[menus.size() - 2]->text(), text("ツール(&T)"));
    EXPECT_EQ(form.Tools1->actions().last(), form.ExportV21);
    EXPECT_EQ(form.ExportV21->text(), text("ID3v2 タグに書き出す(&2)..."));
    EXPECT_TRUE(form.PopupMenu2->actions().contains(form.N21));

    // A 2.4 tag with its own title and room to spare.
    const std::string v24 = "ID3\x04\x00\x00\x00\x00\x02\x0e"
                            "TIT2\x00\x00\x00\x04\x00\x00\x03Old"s
        + std::string(256, '\0');
    const std::string jp = addFile(
        form.ListView2, "jp.mp3", audioBytes(300, 1) + tagBytes("\x82\xb3\x82\xad\x82\xe7"));
    const std::string old
        = addFile(form.ListView2, "old.mp3", v24 + audioBytes(300, 2) + tagBytes("New"));
    const std::string bad
        = addFile(form.ListView2, "bad.mp3", audioBytes(300, 3) + tagBytes("\x85\x40"));
    const std::string jpBefore = readBytes(jp), oldBefore = readBytes(old),
                      badBefore = readBytes(bad);

    // The selected rows only; cancelled, nothing is written.
    select(form.ListView2, {1});
    modal.onDialog([](QDialog *d) {
        auto *preview = qobject_cast<ExportPreviewDialog *>(d);
        EXPECT_TRUE(QTest::qWaitFor([&] { return preview->filesRead() == 1; }));
        EXPECT_EQ(preview->List->topLevelItemCount(), 1);
        // Nothing to write until the frames are to be replaced.
        EXPECT_FALSE(preview->WriteButton->isEnabled());
        preview->OverwriteBox->setChecked(true);
        EXPECT_TRUE(preview->WriteButton->isEnabled());
        preview->CancelButton->click();
        return preview->result();
    });
    form.ExportV21Click(form.N21);
    EXPECT_EQ(readBytes(old), oldBefore);

    // No row selected: every row, read while the dialog shows.
    form.ListView2->setSelectionFlags({});
    std::vector<QStringList> states;
    modal.onDialog([&](QDialog *d) {
        auto *preview = qobject_cast<ExportPreviewDialog *>(d);
        EXPECT_TRUE(QTest::qWaitFor([&] { return preview->filesRead() == 3; }));
        EXPECT_FALSE(preview->OverwriteBox->isChecked());
        EXPECT_EQ(preview->List->topLevelItem(0)->text(2), text("さくら"));
        for (const bool overwrite : {false, true}) {
            preview->OverwriteBox->setChecked(overwrite);
            states.emplace_back();
            for (int row = 0; row < 3; ++row)
                states.back() << preview->List->topLevelItem(row)->text(1).section(
                    QLatin1Char(':'), 0, 0);
        }
        preview->WriteButton->click();
        return preview->result();
    });
    modal.answer(platform::IDOK);
    form.ExportV21Click(form.ExportV21);
    const QStringList refused {text("書き出せません")};
    EXPECT_EQ(states.at(0), QStringList({text("新しいタグ"), text("書き出すものなし")}) + refused);
    EXPECT_EQ(
        states.at(1), QStringList({text("新しいタグ"), text("フレームを置き換え")}) + refused);

    EXPECT_EQ(readBytes(jp).substr(0, 3), "ID3");
    EXPECT_EQ(readBytes(old).size(), oldBefore.size());
    EXPECT_NE(readBytes(old).find("New"), std::string::npos);
    EXPECT_EQ(readBytes(bad), badBefore);
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_TRUE(modal.questions[0].text.contains(text("書き出せないファイル (1 個)")));
    EXPECT_TRUE(modal.questions[0].text.contains(text("bad.mp3")));

    // One batch of the undo list, undone as any other.
    modal.answer(platform::IDYES);
    form.Undo1Click(form.Undo1);
    EXPECT_EQ(readBytes(jp), jpBefore);
    EXPECT_EQ(readBytes(old), oldBefore);
}
