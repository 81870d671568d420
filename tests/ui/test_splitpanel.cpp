#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include "lists/filelistview.h"
#include "tests/support/mainwindowaccess.h"
#include "tests/support/scriptedmodal.h"
#include "widgets/SplitPnl.h"
#include "widgets/alignlayout.h"
#include "widgets/errorreport.h"

using testing_support::MainWindowAccess;

using widgets::AlignLayout;
using widgets::TAlign;

namespace {

void sendMouse(
    QWidget *to, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(
        type, QPointF(at), QPointF(to->mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(to, &event);
}

// Presses a button on the bar, moves to `to` (the bar's coordinates) and releases it there.
void drag(QWidget *bar, QPoint to, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(bar, QEvent::MouseButtonPress, QPoint(2, 2), button, button);
    sendMouse(bar, QEvent::MouseMove, to, Qt::NoButton, button);
    sendMouse(bar, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

// A form of 400 × 300 with a host, the bar and a client control, all aligned.
class SplitPanel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form.resize(400, 300);
        layout = new AlignLayout(&form);
        host = new QWidget(&form);
        host->setGeometry(0, 0, 100, 100);
        bar = new TSplitPanel(&form);
        client = new QWidget(&form);
        layout->addWidget(host, TAlign::alNone);
        layout->addWidget(bar, TAlign::alNone);
        layout->addWidget(client, TAlign::alClient);
        form.show();
    }

    void relayout()
    {
        layout->invalidate();
        layout->activate();
    }

    testing_support::ScriptedModal modal;
    platform::ScopedModal guard {modal};
    QWidget form;
    AlignLayout *layout = nullptr;
    QWidget *host = nullptr;
    TSplitPanel *bar = nullptr;
    QWidget *client = nullptr;
};

} // namespace

TEST_F(SplitPanel, AlignmentSetsCursorThicknessAndPlacesTheBarAfterItsHost)
{
    EXPECT_EQ(bar->width(), 4);
    // A host aligned alNone becomes alLeft, and so does the bar.
    bar->SetHostComponent(host);
    EXPECT_EQ(layout->alignOf(host), TAlign::alLeft);
    EXPECT_EQ(bar->Align(), TAlign::alLeft);
    EXPECT_EQ(bar->cursor().shape(), Qt::SplitHCursor);
    relayout();
    EXPECT_EQ(bar->geometry(), QRect(100, 0, 4, 300));
    EXPECT_EQ(client->geometry(), QRect(104, 0, 296, 300));

    bar->SetAlign(TAlign::alTop);
    EXPECT_EQ(layout->alignOf(host), TAlign::alTop);
    EXPECT_EQ(bar->cursor().shape(), Qt::SplitVCursor);
    host->resize(400, 120);
    relayout();
    EXPECT_EQ(bar->geometry(), QRect(0, 120, 400, 4));

    // Setting the same alignment again moves nothing.
    bar->move(0, 200);
    bar->SetAlign(TAlign::alTop);
    EXPECT_EQ(bar->y(), 200);

    bar->SetAlign(TAlign::alNone);
    EXPECT_FALSE(bar->testAttribute(Qt::WA_SetCursor));
    EXPECT_TRUE(modal.questions.empty());
}

TEST_F(SplitPanel, ClientAlignmentIsRefusedWithAMessage)
{
    layout->setAlign(host, TAlign::alTop);
    bar->SetHostComponent(host);
    modal.answer(platform::IDOK);
    bar->SetAlign(TAlign::alClient);
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(modal.questions[0].text, QString::fromUtf8("AlignにalClientは選択できません。"));
    EXPECT_EQ(modal.questions[0].caption, widgets::applicationTitle());
    EXPECT_EQ(modal.questions[0].flags, unsigned(platform::MB_OK));
    EXPECT_EQ(bar->Align(), TAlign::alTop);
    EXPECT_EQ(layout->alignOf(bar), TAlign::alTop);

    // A host aligned alClient becomes alLeft.
    auto *other = new QWidget(&form);
    layout->addWidget(other, TAlign::alClient);
    bar->SetHostComponent(other);
    EXPECT_EQ(layout->alignOf(other), TAlign::alLeft);
    EXPECT_EQ(bar->Align(), TAlign::alLeft);
}

TEST_F(SplitPanel, DragShowsALineAndResizesTheHostOnRelease)
{
    layout->setAlign(host, TAlign::alTop);
    bar->SetHostComponent(host);
    relayout();
    ASSERT_EQ(bar->y(), 100);
    int endings = 0;
    bar->OnEndSizing = [&](QObject *sender) {
        EXPECT_EQ(sender, bar);
        ++endings;
    };

    const auto lines = [&] {
        int n = 0;
        for (QWidget *w : form.findChildren<QWidget *>()) {
            if (w->testAttribute(Qt::WA_TransparentForMouseEvents))
                ++n;
        }
        return n;
    };
    sendMouse(bar, QEvent::MouseButtonPress, QPoint(5, 2), Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(bar->isSizing());
    EXPECT_EQ(lines(), 1);
    sendMouse(bar, QEvent::MouseMove, QPoint(5, 52), Qt::NoButton, Qt::LeftButton);
    sendMouse(bar, QEvent::MouseButtonRelease, QPoint(5, 52), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(bar->isSizing());
    EXPECT_EQ(lines(), 0);
    EXPECT_EQ(host->height(), 152);
    EXPECT_EQ(bar->y(), 152);
    EXPECT_EQ(endings, 1);

    // Without a move the height stays; above the host's top it ends at zero.
    drag(bar, QPoint(0, 0));
    EXPECT_EQ(host->height(), 152);
    drag(bar, QPoint(0, -400));
    EXPECT_EQ(host->height(), 0);
    EXPECT_EQ(endings, 3);

    // Only the left button drags.
    drag(bar, QPoint(0, 60), Qt::RightButton);
    EXPECT_EQ(host->height(), 0);
    EXPECT_EQ(endings, 3);
}

TEST_F(SplitPanel, NewSizeFollowsTheAlignment)
{
    struct Case
    {
        TAlign align;
        QPoint to;
        QSize expected;
    };
    const Case cases[] = {
        {TAlign::alLeft, QPoint(30, 0), QSize(130, 300)},
        {TAlign::alRight, QPoint(-30, 0), QSize(134, 300)},
        {TAlign::alBottom, QPoint(0, -30), QSize(400, 134)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.align));
        bar->SetHostComponent(nullptr);
        bar->SetAlign(TAlign::alNone);
        host->resize(100, 100);
        layout->setAlign(host, c.align);
        bar->SetHostComponent(host);
        relayout();
        // The new size is measured from the bar's origin: a bar after an alRight or
        // alBottom host also gives it its own thickness.
        drag(bar, c.to);
        EXPECT_EQ(host->size(), c.expected);
    }

    // Aligned alNone with a host, the bar draws its line but leaves the host's size.
    bar->SetAlign(TAlign::alNone);
    const QSize before = host->size();
    drag(bar, QPoint(25, 25));
    EXPECT_EQ(host->size(), before);
}

TEST_F(SplitPanel, MainWindowBarSetsTheResultListHeight)
{
    MainWindowAccess window;
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.SplitPanel1->Align(), TAlign::alTop);
    EXPECT_EQ(window.SplitPanel1->HostComponent(), window.ListView1);
    const int height = window.ListView1->height();
    const int workHeight = window.ListView2->height();
    drag(window.SplitPanel1, QPoint(0, 30));
    EXPECT_EQ(window.ListView1->height(), height + 30);
    EXPECT_EQ(window.ListView2->height(), workHeight - 30);
    EXPECT_EQ(window.SplitPanel1->y(), window.ListView1->y() + height + 30);

    // The height survives a resize of the window.
    window.resize(window.width() + 50, window.height() + 40);
    QApplication::processEvents();
    EXPECT_EQ(window.ListView1->height(), height + 30);
}
