#include <gtest/gtest.h>

#include <unistd.h>

#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "app/Unit5.h"
#include "platform/paths.h"
#include "platform/programfolder.h"
#include "tests/support/mainwindowaccess.h"
#include "tests/support/scriptedmodal.h"
#include "tests/support/testtree.h"
#include "widgets/URLLabel.h"
#include "widgets/cursortable.h"

using testing_support::MainWindowAccess;

namespace {

void send(QWidget *w, QEvent::Type type, Qt::MouseButton button = Qt::LeftButton)
{
    if (type == QEvent::Enter) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)));
        QCoreApplication::sendEvent(w, &enter);
    } else if (type == QEvent::Leave) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(w, &leave);
    } else {
        QMouseEvent mouse(type, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), button,
            type == QEvent::MouseButtonPress ? button : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &mouse);
    }
}

class UrlLabel : public ::testing::Test
{
protected:
    UrlLabel()
        : guard(modal)
        , label(&parent)
    {
        label.setText(QStringLiteral("https://example.org/"));
        label.SetFontColor(0x123456);
    }
    testing_support::ScriptedModal modal;
    platform::ScopedModal guard;
    QWidget parent;
    TURLLabel label;
};

} // namespace

TEST_F(UrlLabel, ColoursFollowEnterPressReleaseAndLeave)
{
    EXPECT_EQ(label.HotColor(), 0xFFFF00u);
    EXPECT_EQ(label.PushedColor(), 0x0000FFu);
    EXPECT_EQ(TURLLabel::toQColor(0xFF0000), QColor(0, 0, 255)); // $FF0000 is blue
    send(&label, QEvent::Enter);
    EXPECT_EQ(label.FontColor(), 0xFFFF00u);
    send(&label, QEvent::MouseButtonPress);
    EXPECT_EQ(label.FontColor(), 0x0000FFu);
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(255, 0, 0));
    // Released with the pointer elsewhere (the test's pointer is not over the label).
    QCursor::setPos(label.mapToGlobal(QPoint(500, 500)));
    send(&label, QEvent::MouseButtonRelease);
    EXPECT_EQ(label.FontColor(), 0x123456u);
    send(&label, QEvent::Leave);
    EXPECT_EQ(label.FontColor(), 0x123456u);
    EXPECT_TRUE(modal.spawned.empty()); // not Executable
}

TEST_F(UrlLabel, ExecutableOpensItsCaptionAtThePressOfAnyButton)
{
    label.Executable = true;
    send(&label, QEvent::MouseButtonPress, Qt::RightButton);
    send(&label, QEvent::MouseButtonPress, Qt::MiddleButton);
    ASSERT_EQ(modal.spawned.size(), 2u);
    EXPECT_EQ(modal.spawned[0], (std::vector<std::string> {"xdg-open", "https://example.org/"}));
    label.SetHotTrack(false);
    label.SetFontColor(0x00FF00);
    send(&label, QEvent::Enter);
    send(&label, QEvent::MouseButtonPress);
    EXPECT_EQ(label.FontColor(), 0x00FF00u); // without HotTrack the colour stays
    EXPECT_EQ(modal.spawned.size(), 3u);
}

TEST_F(UrlLabel, EveryLabelInstallsTheOneHandCursor)
{
    TURLLabel second(&parent);
    EXPECT_EQ(widgets::cursorCount(), 1);
    const QCursor hand = widgets::cursorOf(widgets::crHandPoint);
    EXPECT_EQ(hand.hotSpot(), QPoint(7, 1));
    EXPECT_EQ(hand.pixmap().size(), QSize(32, 32));
}

TEST(VersionBox, ContentAndClosing)
{
    testing_support::ScriptedModal modal;
    platform::ScopedModal guard(modal);
    MainWindowAccess form;
    form.createDialogs();
    TForm5 *box = form.Form5;
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Version Information"));
    EXPECT_EQ(box->Label3->text(), QString::fromUtf8("作者連絡先 & 最新版公開先"));
    EXPECT_EQ(box->Label2->text(), QStringLiteral("Bellwick Version 1.03"));
    EXPECT_TRUE(box->URLLabel1->Executable);
    EXPECT_EQ(box->URLLabel1->HotColor(), 0xFF0000u);
    EXPECT_TRUE(box->Button1->isDefault());
    EXPECT_EQ(box->Button1->text(), QString::fromUtf8("閉じる(&C)"));
    modal.onDialog([](QDialog *d) {
        auto *version = qobject_cast<TForm5 *>(d);
        version->show();
        send(version->URLLabel1, QEvent::MouseButtonPress); // opens, box stays
        EXPECT_TRUE(version->isVisible());
        version->Button1->click();
        return version->result();
    });
    form.About1Click(form.About1);
    ASSERT_EQ(modal.spawned.size(), 1u);
    EXPECT_EQ(modal.spawned[0][1], "https://example.org/bellwick/");
    form.N15Click(form.N15); // help: belwik.htm in the current folder, as a full path
    ASSERT_EQ(modal.spawned.size(), 2u);
    EXPECT_EQ(platform::fileNamePart(modal.spawned[1][1]), "belwik.htm");
    EXPECT_EQ(modal.spawned[1][1].front(), '/');
}

TEST(Help, OpensThePageInTheCurrentFolderElseTheOneBesideTheProgram)
{
    // The test executable has a copy of the page beside it, as the installed program has.
    testing_support::ScriptedModal modal;
    platform::ScopedModal guard(modal);
    testing_support::TempTree tree;
    char saved[4096];
    ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
    MainWindowAccess form;

    tree.file("music/belwik.htm", "<html>here</html>");
    ASSERT_EQ(::chdir(tree.path("music").c_str()), 0);
    form.N15Click(form.N15);
    // A folder moved to by "ファイル追加", or where the program was started from elsewhere.
    ASSERT_EQ(::chdir(tree.folder("elsewhere").c_str()), 0);
    form.N15Click(form.N15);
    // The current folder removed under the program.
    ASSERT_EQ(::chdir(tree.folder("gone").c_str()), 0);
    ASSERT_EQ(::rmdir(tree.path("gone").c_str()), 0);
    form.N15Click(form.N15);
    ASSERT_EQ(::chdir(saved), 0);

    const std::string besideProgram = platform::programFolder() + "/belwik.htm";
    ASSERT_TRUE(testing_support::exists(besideProgram));
    ASSERT_EQ(modal.spawned.size(), 3u);
    EXPECT_EQ(
        modal.spawned[0], (std::vector<std::string> {"xdg-open", tree.path("music/belwik.htm")}));
    EXPECT_EQ(modal.spawned[1], (std::vector<std::string> {"xdg-open", besideProgram}));
    EXPECT_EQ(modal.spawned[2], (std::vector<std::string> {"xdg-open", besideProgram}));
    EXPECT_TRUE(modal.questions.empty());
}

TEST(VersionBox, TheLinkShowsItsNormalColourAtEveryShowing)
{
    testing_support::ScriptedModal modal;
    platform::ScopedModal guard(modal);
    MainWindowAccess form;
    form.createDialogs();
    TForm5 *box = form.Form5;
    // Closed by a key with the pointer on the link: no leave reaches the label. A press
    // shown at the second showing leaves it in the pushed colour until it is hidden.
    const auto closeOnTheLink = [&](QEvent::Type last) {
        modal.onDialog([last](QDialog *d) {
            auto *version = qobject_cast<TForm5 *>(d);
            version->show();
            EXPECT_EQ(version->URLLabel1->FontColor(), 0u);
            send(version->URLLabel1, QEvent::Enter);
            send(version->URLLabel1, last);
            EXPECT_NE(version->URLLabel1->FontColor(), 0u);
            version->reject();
            version->hide();
            return version->result();
        });
        form.About1Click(form.About1);
    };
    closeOnTheLink(QEvent::Enter);
    EXPECT_EQ(box->URLLabel1->FontColor(), 0u);
    closeOnTheLink(QEvent::MouseButtonPress);
    EXPECT_EQ(box->URLLabel1->FontColor(), 0u);
    // A third showing, entered twice without a leave, still leaves back to black.
    box->show();
    send(box->URLLabel1, QEvent::Enter);
    send(box->URLLabel1, QEvent::Enter);
    send(box->URLLabel1, QEvent::Leave);
    EXPECT_EQ(box->URLLabel1->FontColor(), 0u);
    EXPECT_EQ(box->URLLabel1->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    box->hide();
}
