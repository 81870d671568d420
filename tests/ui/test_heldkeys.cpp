// A held Return, Enter or Escape acts once: its auto-repeated presses reach no button, box,
// dialog or menu entry.

#include <gtest/gtest.h>

#include <functional>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest/QTest>

#include "app/Unit1.h"
#include "lists/filelistview.h"
#include "tests/support/mainwindowfixture.h"
#include "widgets/heldkeyfilter.h"

namespace {

// Sends a press of `key` to the widget with the focus in `window`, else to the window.
void press(QWidget *window, Qt::Key key, bool repeated)
{
    QWidget *target = window->focusWidget() ? window->focusWidget() : window;
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, QString(), repeated);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(HeldKeys, RepeatedReturnEnterAndEscapeAnswerNoBoxAndCloseNoDialog)
{
    HeldKeyFilter filter;
    qApp->installEventFilter(&filter);
    struct Case
    {
        const char *what;
        Qt::Key key;
        // Makes the window to press on and tells whether it has acted.
        std::function<std::pair<QWidget *, std::function<bool()>>()> make;
    };
    QMessageBox *box = nullptr;
    QDialog *dialog = nullptr;
    const auto makeBox = [&box] {
        delete box;
        box = new QMessageBox(QMessageBox::Question, QStringLiteral("Bellwick"),
            QString::fromUtf8("消去してもよろしいですか?"), QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
        box->show();
        box->button(QMessageBox::Yes)->setFocus();
        return std::pair<QWidget *, std::function<bool()>>(
            box, [&box] { return box->clickedButton() != nullptr; });
    };
    const auto makeDialog = [&dialog] {
        delete dialog;
        dialog = new QDialog;
        auto *okButton = new QPushButton(QStringLiteral("OK"), dialog);
        okButton->setDefault(true);
        QObject::connect(okButton, &QPushButton::clicked, dialog, &QDialog::accept);
        dialog->show();
        dialog->setFocus();
        return std::pair<QWidget *, std::function<bool()>>(
            dialog, [&dialog] { return dialog->result() != 0 || !dialog->isVisible(); });
    };
    const Case cases[] = {
        {"message box, Return", Qt::Key_Return, makeBox},
        {"message box, Enter", Qt::Key_Enter, makeBox},
        {"message box, Escape", Qt::Key_Escape, makeBox},
        {"dialog, Return", Qt::Key_Return, makeDialog},
        {"dialog, Escape", Qt::Key_Escape, makeDialog},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto [window, acted] = c.make();
        press(window, c.key, true);
        EXPECT_FALSE(acted());
        EXPECT_TRUE(window->isVisible());
        // The first press itself acts.
        press(window, c.key, false);
        EXPECT_TRUE(acted());
    }
    delete box;
    delete dialog;

    // A menu entry's shortcut held down, through the window system's shortcut handling.
    QWidget window;
    QAction action(QStringLiteral("Entry"), &window);
    window.addAction(&action);
    action.setShortcut(QKeySequence(Qt::Key_Return));
    int triggered = 0;
    QObject::connect(&action, &QAction::triggered, [&triggered] { ++triggered; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::simulateEvent(&window, true, Qt::Key_Return, Qt::NoModifier, QString(), true);
    EXPECT_EQ(triggered, 0);
    QTest::simulateEvent(&window, true, Qt::Key_Return, Qt::NoModifier, QString(), false);
    EXPECT_EQ(triggered, 1);
}

using HeldKeysInTheWindow = testing_support::MainWindowTest;

TEST_F(HeldKeysInTheWindow, AHeldEnterOnABarButtonAsksNothingAndEveryEntryActsOnce)
{
    for (QMenu *menu : {form.PopupMenu1, form.PopupMenu2, form.File1, form.Edit1, form.View1,
             form.CodePage1, form.Help1}) {
        for (const QAction *action : menu->actions())
            EXPECT_FALSE(action->autoRepeat()) << action->text().toStdString();
    }
    addFile(form.ListView1, "a.mp3", "x");
    form.show();
    form.Button6->setFocus();
    press(&form, Qt::Key_Return, true);
    EXPECT_TRUE(modal.questions.empty());
    EXPECT_EQ(form.ListView1->rowCount(), 1);
    modal.answer(platform::IDNO);
    press(&form, Qt::Key_Return, false);
    EXPECT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(form.ListView1->rowCount(), 1);
}
