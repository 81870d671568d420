#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QtTest/QTest>

#include <QTreeView>
#include <functional>
#include <stdexcept>

#include <sys/stat.h>

#include "app/Unit1.h"
#include "app/startup.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "platform/paths.h"
#include "platform/runcontrol.h"
#include "tags/tagfile.h"
#include "tests/support/mainwindowfixture.h"
#include "tests/support/scriptedmodal.h"
#include "tests/support/testtree.h"
#include "widgets/errorreport.h"

using namespace std::string_literals;
using testing_support::audioBytes;
using testing_support::tagBytes;

namespace {

class MainWindow : public testing_support::MainWindowTest
{
};

} // namespace

TEST_F(MainWindow, ControlsStandWhereTheWindowDefinitionPutsThem)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Bellwick"));
    EXPECT_EQ(form.Button1->text(), QString::fromUtf8("ファイル検索"));
    EXPECT_EQ(form.Button1->geometry(), QRect(8, 8, 81, 25));
    EXPECT_EQ(form.Button14->geometry(), QRect(576, 8, 89, 25));
    EXPECT_EQ(form.Button8->geometry(), QRect(8, 8, 105, 25));
    EXPECT_EQ(form.Button7->geometry(), QRect(672, 8, 75, 25));
    EXPECT_TRUE(form.Button3->autoDefault());
    QHeaderView *header = form.ListView2->reportView()->header();
    EXPECT_EQ(header->count(), 7);
    EXPECT_EQ(header->sectionSize(0), 160);
    EXPECT_EQ(header->sectionSize(4), 50);
    EXPECT_EQ(form.ListView1->model()->headerData(5, Qt::Horizontal).toString(),
        QStringLiteral("Genere"));
    EXPECT_FALSE(form.ListView1->reportView()->rootIsDecorated());
    EXPECT_FALSE(header->sectionsMovable());
    EXPECT_FALSE(header->stretchLastSection());
    EXPECT_EQ(form.PopupMenu1->actions().size(), 7);
    EXPECT_EQ(form.N2->text(), QString::fromUtf8("小さなアイコン"));
    EXPECT_EQ(form.Exit1->text(), QString::fromUtf8("終了(&C)"));
    EXPECT_EQ(form.SortKey, std::nullopt);
    EXPECT_EQ(form.SortOrder, 1);
}

TEST_F(MainWindow, ApplicationTitleRule)
{
    EXPECT_EQ(widgets::titleFromExecutableName("bellwick"), QStringLiteral("Bellwick"));
    EXPECT_EQ(widgets::titleFromExecutableName("BELLWICK.EXE"), QStringLiteral("Bellwick"));
    EXPECT_EQ(widgets::titleFromExecutableName("bell.wick.bin"), QStringLiteral("Bell"));
    EXPECT_EQ(widgets::errorReportText(QString::fromUtf8("ファイル /a は開けません")),
        QString::fromUtf8("ファイル /a は開けません."));
    EXPECT_EQ(widgets::errorReportText(QStringLiteral("done.")), QStringLiteral("done."));
    EXPECT_EQ(widgets::errorReportText(QStringLiteral("(x)")), QStringLiteral("(x)"));
}

TEST_F(MainWindow, ScanListsRowsInNameOrderAndRestoresTheWindow)
{
    tree.file("music/b.mp3", audioBytes(500) + tagBytes("Second", "Artist", "", "1999", "", 0));
    tree.file("music/a.MP3", audioBytes(500) + tagBytes("First\0\0"s, "", "", "", "", 200));
    tree.file("music/sub/c.mp2", audioBytes(100));
    tree.file("music/d.txt", "no");
    form.scanChosenFolder(tree.path("music"));
    ASSERT_EQ(captions(form.ListView1), (std::vector<std::string> {"a.MP3", "b.mp3", "c.mp2"}));
    const lists::Row &b = form.ListView1->row(1);
    EXPECT_EQ(b.subItem(lists::SubItem::Title), "Second");
    EXPECT_EQ(b.subItem(lists::SubItem::Genre), "Blues");
    EXPECT_EQ(b.path(), tree.path("music/b.mp3"));
    EXPECT_EQ(form.ListView1->row(0).subItem(lists::SubItem::Genre), "");
    EXPECT_EQ(form.ListView1->row(2).subItem(lists::SubItem::Title), "");
    EXPECT_EQ(form.StatusBar1->text(), QString());
    EXPECT_TRUE(form.Button1->isEnabled());
    EXPECT_TRUE(form.N13->isEnabled());
    EXPECT_TRUE(form.ListView1->updatesEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // Scanning again lists every file again, after the first ones.
    form.scanChosenFolder(tree.path("music"));
    EXPECT_EQ(form.ListView1->rowCount(), 6);
    EXPECT_TRUE(modal.questions.empty());
}

TEST_F(MainWindow, UnreadableFileEndsTheScanWithItsPathAndKeepsEarlierRows)
{
    tree.file("m/a.mp3", audioBytes(200));
    tree.folder("m/b.mp3"); // a folder named like an audio file cannot be opened
    tree.file("m/c.mp3", audioBytes(200));
    modal.answer(platform::IDOK);
    widgets::guarded([&] { form.scanChosenFolder(tree.path("m")); });
    EXPECT_EQ(captions(form.ListView1), (std::vector<std::string> {"a.mp3"}));
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(modal.questions[0].text,
        QString::fromStdString("ファイル " + tree.path("m/b.mp3") + " は開けません."));
    EXPECT_EQ(modal.questions[0].caption, QStringLiteral("Bellwick"));
    EXPECT_EQ(modal.questions[0].flags, platform::MB_OK | platform::MB_ICONERROR);
    EXPECT_TRUE(form.Button1->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindow, FifoAndUnreadableNamesNeverHangTheScan)
{
    tree.file("m/a.mp3", audioBytes(200));
    tree.file("m/\xff\xfe.mp3"s, audioBytes(200));
    ASSERT_EQ(::mkfifo(tree.path("m/\xff\xff.mp3"s).c_str(), 0644), 0);
    modal.answer(platform::IDOK);
    widgets::guarded([&] { form.scanChosenFolder(tree.path("m")); });
    EXPECT_EQ(captions(form.ListView1), (std::vector<std::string> {"a.mp3", "\xff\xfe.mp3"s}));
    EXPECT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(form.ListView1->model()->data(form.ListView1->model()->index(1, 0)).toString(),
        QStringLiteral("▯▯.mp3"));
}

TEST_F(MainWindow, AMessageShowsItsPathAsTheListsDoAndKeepsItsBytes)
{
    // Folder "フォルダ" and file "曲" in CP932 bytes; controls, undecodable bytes and a
    // right-to-left override become marks, so nothing breaks or reorders the message.
    const std::pair<std::string, std::string> cases[] = {
        {"\x83\x74\x83\x48\x83\x8b\x83\x5f/\x8b\xc8.mp3"s, "フォルダ/曲.mp3"},
        {"a\nb.mp3", "a▯b.mp3"},
        {"d\u202Efed.mp3", "d▯fed.mp3"},
    };
    for (const auto &[name, shown] : cases) {
        const std::string fifo = tree.path("f/" + name);
        tree.folder("f/" + name.substr(0, name.rfind('/') + 1));
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0) << shown;
        modal.answer(platform::IDOK);
        widgets::guarded([&] { form.scanChosenFolder(tree.path("f")); });
        ASSERT_FALSE(modal.questions.empty());
        EXPECT_EQ(modal.questions.back().text,
            QString::fromStdString("ファイル " + tree.path("f/") + shown + " は開けません."));
        // The companion and every file operation get the bytes themselves.
        EXPECT_EQ(testing_support::errorOf([&] { tags::ReadTag(fifo); }),
            "ファイル " + fifo + " は開けません");
        ::unlink(fifo.c_str());
    }
}

TEST_F(MainWindow, AddingChosenFilesAppendsInTheDialogsOrder)
{
    const std::string x = tree.file("x.wav", tagBytes("Any extension"));
    const std::string y = tree.file("y.mp3", audioBytes(10));
    const std::string z = tree.file("z.mp3", audioBytes(10));
    modal.chooseFiles({x, z, y});
    form.N16Click(form.N16);
    EXPECT_EQ(captions(form.ListView1), (std::vector<std::string> {"x.wav", "z.mp3", "y.mp3"}));
    EXPECT_EQ(form.StatusBar1->text(), QString::fromStdString(y));
    EXPECT_EQ(
        modal.fileRequests.at(0).filter, QStringLiteral("MPEG AUDIO(*.MP2;*.MP3) (*.MP2 *.MP3)"));
    modal.chooseFiles({});
    form.N16Click(form.N16);
    EXPECT_EQ(form.ListView1->rowCount(), 3);
    EXPECT_EQ(form.StatusBar1->text(), QString::fromStdString(y));
}

TEST_F(MainWindow, CommandsDuringAScanTakeEffectBetweenFiles)
{
    for (int i = 0; i < 400; ++i)
        tree.file("m/" + std::to_string(1000 + i) + ".mp3", audioBytes(150, i));
    form.setEventStepInterval(0); // an event step after every file
    const std::string added = tree.file("added.mp3", audioBytes(10));
    // Each command runs once from inside the scan's event step; each step schedules the
    // next one when it is done.
    int step = 0;
    std::function<void()> next = [&] {
        if (!form.isScanning())
            return;
        ++step;
        if (step == 1) {
            EXPECT_FALSE(form.Button1->isEnabled());
            EXPECT_FALSE(form.N13->isEnabled());
            modal.answer(platform::IDYES);
            form.Button6Click(form.Button6); // clear
        } else if (step == 2) {
            modal.chooseFiles({added});
            form.N16Click(form.N16);
        } else if (step == 3) {
            form.ListView1->selectAll();
            form.ListView2DragDrop(form.ListView2, form.ListView1);
            form.N1Click(form.N3);
            modal.answer(platform::IDYES);
            form.ListView1->setSelected(0, true);
            form.Button9Click(form.Button14);
        } else if (step == 4) {
            form.ListView1ColumnClick(form.ListView1, 0);
            // The tag commands, cancelled: the editor on the first selected row, the bulk run.
            form.ListView1->setSelected(0, true);
            modal.onDialog([](QDialog *) { return QDialog::Rejected; });
            form.N9Click(form.N9);
            modal.onDialog([](QDialog *) { return QDialog::Rejected; });
            form.N17Click(form.N17);
        } else if (step == 5) {
            form.close();
        }
        if (step < 5)
            QTimer::singleShot(1, &form, next);
    };
    QTimer::singleShot(1, &form, next);
    form.show();
    form.scanChosenFolder(tree.path("m"));
    ASSERT_EQ(step, 5) << "the scan handled too few event steps for this test";
    EXPECT_TRUE(form.Button1->isEnabled());
    EXPECT_FALSE(form.isVisible()); // closed once the scan had returned
    // Every row is whole, and the list ends sorted by file name.
    for (int i = 0; i < form.ListView1->rowCount(); ++i)
        EXPECT_EQ(platform::fileNamePart(form.ListView1->row(i).path()),
            form.ListView1->row(i).caption());
    for (int i = 1; i < form.ListView1->rowCount(); ++i)
        EXPECT_LE(form.ListView1->row(i - 1).caption(), form.ListView1->row(i).caption());
    EXPECT_LT(form.ListView1->rowCount(), 400);
    EXPECT_EQ(form.ListView2->rowCount() > 0, true);
}

// A scan of many files driven step by step: `onStep(n)` runs from inside the scan's n-th
// event step (counting from 1) and answers whether to be called again.
class ScanSteps : public MainWindow
{
protected:
    void makeFiles(int count)
    {
        for (int i = 0; i < count; ++i)
            tree.file("m/" + std::to_string(1000 + i) + ".mp3", audioBytes(150, i));
    }
    void scanWithSteps(const std::function<bool(int)> &onStep, const std::string &folder = "m")
    {
        form.setEventStepInterval(0); // an event step after every file
        form.show();
        form.activateWindow();
        form.ListView1->setFocus();
        int step = 0;
        std::function<void()> next = [&] {
            if (form.isScanning() && onStep(++step))
                QTimer::singleShot(1, &form, next);
        };
        QTimer::singleShot(1, &form, next);
        // As the button's handler runs it: an error ends in its report.
        widgets::guarded([&] { form.scanChosenFolder(tree.path(folder)); });
        steps = step;
    }
    // Escape typed into the main window, delivered as the window system would.
    void typeEscape() { QTest::keyClick(form.windowHandle(), Qt::Key_Escape); }

    int steps = 0;
};

TEST_F(ScanSteps, EscapeStopsTheScanAndKeepsTheRowsFoundSoFar)
{
    makeFiles(400);
    int rowsAtEscape = -1;
    scanWithSteps([&](int step) {
        if (step < 3)
            return true;
        rowsAtEscape = form.ListView1->rowCount();
        typeEscape();
        return false;
    });
    ASSERT_GT(rowsAtEscape, 0) << "the scan handled too few event steps for this test";
    EXPECT_EQ(form.ListView1->rowCount(), rowsAtEscape);
    EXPECT_LT(form.ListView1->rowCount(), 400);
    EXPECT_EQ(form.ListView1->row(0).caption(), "1000.mp3");
    EXPECT_EQ(form.StatusBar1->text(), QString());
    EXPECT_TRUE(form.Button1->isEnabled());
    EXPECT_TRUE(form.N13->isEnabled());
    EXPECT_FALSE(form.ListView1->isDrawingSuspended());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The next scan is not stopped by the Escape of the last one.
    form.scanChosenFolder(tree.path("m"));
    EXPECT_EQ(form.ListView1->rowCount(), rowsAtEscape + 400);
}

TEST_F(ScanSteps, EscapeThatClosesAPopupMenuOrADialogDoesNotStopTheScan)
{
    makeFiles(200);
    bool menuClosed = false;
    int dialogResult = -1;
    scanWithSteps([&](int step) {
        if (step == 2)
            form.PopupMenu1->popup(form.mapToGlobal(QPoint(50, 100)));
        if (step == 3) {
            EXPECT_TRUE(form.PopupMenu1->isVisible());
            typeEscape();
            menuClosed = !form.PopupMenu1->isVisible();
        }
        if (step == 4) {
            // A dialog opened from a command during the scan takes its own Escape.
            QDialog dialog(&form);
            QTimer::singleShot(
                10, &dialog, [&dialog] { QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape); });
            dialogResult = dialog.exec();
        }
        return step < 4;
    });
    EXPECT_TRUE(menuClosed);
    EXPECT_EQ(dialogResult, QDialog::Rejected);
    EXPECT_EQ(form.ListView1->rowCount(), 200);
}

TEST_F(ScanSteps, TheResultListShowsItselfAsItWasUntilTheScanEnds)
{
    makeFiles(50);
    modal.chooseFiles({tree.path("m/1049.mp3")});
    form.N16Click(form.N16);
    form.show();
    const QImage before = form.ListView1->grab().toImage();
    QImage during;
    int rowsDuring = 0;
    scanWithSteps([&](int step) {
        if (step == 3)
            form.N1Click(form.N2); // another view style comes to the front, drawn or not
        if (step < 5)
            return true;
        during = form.ListView1->grab().toImage();
        rowsDuring = form.ListView1->rowCount();
        return false;
    });
    EXPECT_GT(rowsDuring, 1);      // the rows are in the model...
    EXPECT_TRUE(during == before); // ...but not on the screen
    EXPECT_FALSE(form.ListView1->grab().toImage() == before);
}

TEST_F(ScanSteps, ClosingDuringAScanEndsTheProgramWhenTheScanHasReturned)
{
    makeFiles(200);
    // The scan runs inside the application's event loop, as a click starts it; the loop
    // ends when the main window, the last one, has closed.
    bool closeWasDeferred = false;
    QTimer::singleShot(0, &form, [&] {
        scanWithSteps([&](int step) {
            if (step == 2) {
                form.close();
                closeWasDeferred = form.isVisible();
            }
            return step < 2;
        });
    });
    bool timedOut = false;
    QTimer::singleShot(60000, &form, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(closeWasDeferred);
    EXPECT_EQ(form.ListView1->rowCount(), 200); // the scan went on to its end
    EXPECT_FALSE(form.isVisible());
}

TEST(JapaneseInterface, StandardButtonsAndFontAreJapanese)
{
    QTranslator translator;
    ASSERT_TRUE(app::installJapaneseInterface(translator)) << "qt6-translations-l10n missing";
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QString::fromUtf8("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QString::fromUtf8("いいえ(&N)"));
    EXPECT_EQ(QApplication::font().pixelSize(), 12);
    EXPECT_EQ(QFontInfo(QApplication::font()).family(), QStringLiteral("IPAPGothic"));
    QCoreApplication::removeTranslator(&translator);
}

TEST_F(ScanSteps, ACloseDuringAScanOrARunIsCarriedOutHoweverItEndsAndNeverLater)
{
    makeFiles(100);
    tree.file("ok/a.mp3", audioBytes(150));
    tree.folder("m/zzzz.mp3"); // cannot be opened: the scan ends on an error there
    // The scan ends by Escape, or on the error after its report.
    for (const bool escape : {true, false}) {
        if (!escape)
            modal.answer(platform::IDOK);
        scanWithSteps([&](int step) {
            if (step == 2)
                form.close();
            if (step == 3 && escape)
                typeEscape();
            return step < 3;
        });
        EXPECT_FALSE(form.isVisible()) << escape;
        EXPECT_EQ(modal.questions.size(), escape ? 0u : 1u);
        form.show();
        form.scanChosenFolder(tree.path("ok")); // a later scan is not ended by it
        EXPECT_TRUE(form.isVisible()) << escape;
    }
    modal.answer(platform::IDOK);
    widgets::guarded([&] { // a long operation that fails
        form.runBusy("書き込み中", [&](platform::IRunControl &) {
            form.close();
            throw std::runtime_error("failed");
        });
    });
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(modal.questions.size(), 2u);
}
