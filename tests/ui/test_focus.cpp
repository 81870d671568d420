// Where the keyboard focus goes: the Tab order of the main window, the focus after a
// command has ended, and a held key acting once.

#include <QMenu>
#include <QMessageBox>

#include "tests/ui/desktopwindow.h"

using namespace desktop_window;
using Focus = DesktopWindow;

TEST_F(Focus, TabGoesThroughBothListsThenTheResultBarThenTheWorkBarInEveryViewStyle)
{
    const auto expectOrder = [this](QWidget *workView, QWidget *resultView) {
        const std::vector<QWidget *> order
            = {workView, resultView, form.Button1, form.Button2, form.Button6, form.Button12,
                form.Button13, form.Button14, form.Button7, form.Button5, form.Button4,
                form.Button3, form.Button8, form.Button9, form.Button10, form.Button11, workView};
        workView->setFocus();
        ASSERT_EQ(form.focusWidget(), workView);
        for (std::size_t i = 1; i < order.size(); ++i)
            EXPECT_EQ(pressTab(), order[i]) << "step " << i;
    };
    expectOrder(form.ListView2->reportView(), form.ListView1->reportView());
    // The chain holds after a switch of view style, in either list and back.
    form.N6->trigger();
    form.N3->trigger();
    expectOrder(form.ListView2->iconView(), form.ListView1->iconView());
    form.N8->trigger();
    form.N1->trigger();
    expectOrder(form.ListView2->iconView(), form.ListView1->reportView());
    // Shift+Tab goes back.
    form.Button1->setFocus();
    QKeyEvent backtab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
    QApplication::sendEvent(form.Button1, &backtab);
    EXPECT_EQ(form.focusWidget(), form.ListView1->reportView());
}

TEST_F(Focus, ACommandEndsWithTheFocusWhereItStarted)
{
    addWorkRows({"src/a.mp3", "src/b.mp3"});
    const std::string target = tree.folder("dst");

    // A copy started from its button: the button keeps the focus.
    form.Button3->setFocus();
    chooseFolder(target);
    form.Button3->click();
    EXPECT_EQ(form.ListView2->rowCount(), 0);
    EXPECT_EQ(form.focusWidget(), form.Button3);

    // A clear from the work list's key: the list keeps it, whatever the question did.
    addWorkRows({"src/c.mp3"});
    form.ListView2->currentView()->setFocus();
    modal.answer(platform::IDNO);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(form.ListView2->currentView(), &del);
    EXPECT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(form.focusWidget(), form.ListView2->currentView());

    // A scan from the menu entry while the list had the focus: back on the list.
    form.ListView1->currentView()->setFocus();
    chooseFolder(tree.folder("music"));
    form.N13->trigger();
    EXPECT_EQ(form.focusWidget(), form.ListView1->currentView());
    EXPECT_TRUE(modal.allAnswersUsed());
}

TEST_F(Focus, AScanFromItsButtonNeverHandsTheFocusToTheNextButton)
{
    tree.file("music/a.mp3", "x");
    form.Button1->setFocus();
    QWidget *focusDuringScan = form.Button1;
    bool scanning = false;
    PaintWatch watch(form.StatusBar1, [&] {
        scanning = form.isScanning();
        focusDuringScan = form.focusWidget();
        // One more Enter starts nothing (no dialog is scripted for it).
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(focusDuringScan ? focusDuringScan : &form, &enter);
    });
    form.setEventStepInterval(0);
    chooseFolder(tree.path("music"));
    form.Button1->click();
    EXPECT_EQ(form.ListView1->rowCount(), 1);
    if (scanning) {
        EXPECT_EQ(focusDuringScan, form.ListView1->currentView());
    }
    EXPECT_TRUE(modal.allAnswersUsed());
    EXPECT_EQ(modal.dialogsShown.size(), 1u); // the chooser alone
    EXPECT_TRUE(form.Button1->isEnabled());
    EXPECT_EQ(form.focusWidget(), form.Button1);

    // Greying the focused button leaves the focus with no other control.
    form.Button1->setEnabled(false);
    EXPECT_NE(form.focusWidget(), form.Button2);
    form.Button1->setEnabled(true);
}

TEST_F(Focus, AHeldReturnEnterOrEscapeActsOnceOnBarButtonsBoxesAndDialogs)
{
    for (const QMenu *menu : form.findChildren<QMenu *>()) {
        for (const QAction *action : menu->actions())
            EXPECT_FALSE(action->autoRepeat()) << action->text().toStdString();
    }
    const auto press = [](QWidget *window, Qt::Key key, bool repeated) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, QString(), repeated);
        QApplication::sendEvent(window->focusWidget() ? window->focusWidget() : window, &event);
    };
    addWorkRows({"a.mp3"});
    form.Button7->setFocus(); // "クリア": no question is scripted
    press(&form, Qt::Key_Return, true);
    EXPECT_EQ(form.ListView2->rowCount(), 1);
    // Boxes and dialogs click their default buttons in their own key handling.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QMessageBox box(QMessageBox::Question, text("確認"), text("消去しますか?"),
            QMessageBox::Yes | QMessageBox::No, &form);
        box.setDefaultButton(QMessageBox::Yes);
        QDialog dialog(&form);
        auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        for (QWidget *window : {static_cast<QWidget *>(&box), static_cast<QWidget *>(&dialog)}) {
            window->show();
            press(window, key, true);
            EXPECT_TRUE(window->isVisible()) << key;
            press(window, key, false);
            EXPECT_FALSE(window->isVisible()) << key;
        }
    }
}
