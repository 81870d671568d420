// The split bar's drag and the window's size never hide the work list, its bar or the
// status line.

#include "tests/ui/desktopwindow.h"

using namespace desktop_window;
using SplitBound = DesktopWindow;

TEST_F(SplitBound, TheSplitBarLeavesTheWorkListItsBarAndTheStatusLineVisible)
{
    form.resize(780, 540);
    QApplication::processEvents();
    const auto dragBarTo = [this](int y) {
        QWidget *bar = form.SplitPanel1;
        const auto send
            = [bar](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
                  QMouseEvent event(type, QPointF(at), QPointF(bar->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
                  QApplication::sendEvent(bar, &event);
              };
        send(QEvent::MouseButtonPress, QPoint(2, 2), Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(2, y), Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, QPoint(2, y), Qt::LeftButton, Qt::NoButton);
    };
    const auto expectAllVisible = [this] {
        QWidget *central = form.centralWidget();
        EXPECT_EQ(form.StatusBar1->geometry().bottom(), central->height() - 1);
        EXPECT_GE(form.ListView2->height(), 60);
        EXPECT_LE(form.PanelEx1->geometry().bottom(), form.ListView2->geometry().top());
        EXPECT_LE(form.ListView2->geometry().bottom(), form.StatusBar1->geometry().top());
        EXPECT_GE(form.ListView1->height(), 0);
    };
    // Released far below the window's bottom edge.
    dragBarTo(2000);
    expectAllVisible();
    EXPECT_EQ(form.ListView2->height(), 60);
    EXPECT_EQ(form.currentSettings()[4], form.ListView1->height());
    const int bounded = form.ListView1->height();
    // A smaller window takes from the result list first, down to nothing.
    form.resize(780, 400);
    QApplication::processEvents();
    expectAllVisible();
    EXPECT_EQ(form.ListView1->height(), bounded - 140);
    form.resize(780, form.minimumHeight());
    QApplication::processEvents();
    expectAllVisible();
    // A drag that leaves room is kept as it is.
    form.resize(780, 540);
    QApplication::processEvents();
    const int before = form.ListView1->height();
    dragBarTo(-50);
    EXPECT_LT(form.ListView1->height(), before);
    EXPECT_GT(form.ListView1->height(), before - 100);
    expectAllVisible();
}

TEST_F(SplitBound, ASmallWindowSqueezesTheResultListOnlyWhileItIsSmall)
{
    form.resize(780, 540);
    QApplication::processEvents();
    form.ListView1->resize(form.ListView1->width(), 191); // as the split bar sets it
    form.SplitPanel1->OnEndSizing(form.SplitPanel1);
    for (const int height : {300, 540, 240, 100, 600, 540}) {
        form.resize(780, height);
        QApplication::processEvents();
        EXPECT_EQ(form.ListView1->height() == 191, height >= 540) << height;
        EXPECT_EQ(form.currentSettings()[4], 191) << height; // never the squeezed height
    }
}
