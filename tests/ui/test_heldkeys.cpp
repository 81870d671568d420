// A held Return, Enter or Escape acts once: its auto-repeated presses reach no button, box,
// dialog or menu entry.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "lists/filelistview.h"
#include "tests/support/mainwindowfixture.h"
#include "widgets/heldkeyfilter.h"

namespace {

// A press of `key` on the window's focused control, else on the window.
void press(QWidget *window, Qt::Key key, bool repeated)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, QString(), repeated);
    QApplication::sendEvent(window->focusWidget() ? window->focusWidget() : window, &event);
}

} // namespace

TEST(HeldKeys, ARepeatedPressAnswersNoBoxAndEndsNoDialog)
{
    HeldKeyFilter filter;
    qApp->installEventFilter(&filter);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Bellwick"), QStringLiteral("?"),
            QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        QDialog dialog;
        auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        for (QWidget *window : {static_cast<QWidget *>(&box), static_cast<QWidget *>(&dialog)}) {
            window->show();
            press(window, key, true);
            EXPECT_TRUE(window->isVisible()) << key;
            press(window, key, false); // the first press itself acts
            EXPECT_FALSE(window->isVisible()) << key;
        }
    }
}

using HeldKeysInTheWindow = testing_support::MainWindowTest;

TEST_F(HeldKeysInTheWindow, AHeldEnterOnABarButtonAsksNothingAndNoMenuEntryRepeats)
{
    for (const QMenu *menu : form.findChildren<QMenu *>()) {
        for (const QAction *action : menu->actions())
            EXPECT_FALSE(action->autoRepeat()) << action->text().toStdString();
    }
    addFile(form.ListView1, "a.mp3", "x");
    form.show();
    form.Button6->setFocus(); // "クリア"
    press(&form, Qt::Key_Return, true);
    EXPECT_TRUE(modal.questions.empty());
    EXPECT_EQ(form.ListView1->rowCount(), 1);
}
