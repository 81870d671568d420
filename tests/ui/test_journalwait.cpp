// The window while another process holds the tag journal's lock: it keeps turning, says what
// it waits for, and gives the wait up on Escape.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <unistd.h>

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/Unit1.h"
#include "editing/Unit3.h"
#include "editing/Unit6.h"
#include "editing/tagfieldedit.h"
#include "editing/tagjournal.h"
#include "lists/filelistview.h"
#include "tags/tagfile.h"
#include "tests/support/faults.h"
#include "tests/support/mainwindowfixture.h"

using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::tagBytes;

namespace {

class JournalWait : public testing_support::MainWindowTest
{
protected:
    struct Seen
    {
        int ticks = 0;
        QString status;
        bool menusEnabled = true;
    };

    // Runs a command with a timer turning beside it; at its third step the timer notes what
    // the window shows and presses Escape.
    Seen giveUpWhileWaiting(const std::function<void()> &command)
    {
        Seen seen;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (++seen.ticks != 3)
                return;
            seen.status = form.StatusBar1->text();
            seen.menusEnabled = form.menuBar()->isEnabled();
            QTest::keyClick(&form, Qt::Key_Escape);
        });
        timer.start();
        command();
        return seen;
    }

    void bulkTitle(const char *title)
    {
        select(form.ListView1, {0});
        modal.onDialog([title](QDialog *d) {
            auto *bulk = qobject_cast<TForm6 *>(d);
            bulk->Edit2->setText(QString::fromUtf8(title));
            bulk->Edit2->setModified(true);
            bulk->Button1->click();
            return bulk->result();
        });
        form.N17Click(form.N17);
    }
};

} // namespace

TEST_F(JournalWait, TheWindowKeepsTurningNamesTheHolderAndEscapeGivesUp)
{
    const std::string a = addFile(form.ListView1, "a.mp3", audioBytes(200) + tagBytes("A"));
    showWindow();
    bulkTitle("First"); // a batch for the undo to take
    const std::string before = readBytes(a);
    form.setStatusText(a);
    testing_support::JournalLockHolder holder("bellwick-cli set");

    // The edit menu's captions need no lock.
    form.Edit1->popup(QPoint(0, 0));
    EXPECT_TRUE(form.Edit1->isVisible());
    form.Edit1->hide();

    const std::pair<const char *, std::function<void()>> commands[] = {
        {"save in the editor",
            [&] {
                select(form.ListView1, {0});
                modal.onDialog([](QDialog *d) {
                    auto *editor = qobject_cast<TForm3 *>(d);
                    editor->Edit2->setText(QStringLiteral("Saved"));
                    editor->Button1->click();
                    return editor->result();
                });
                form.N9Click(form.N9);
            }},
        {"bulk run", [&] { bulkTitle("Bulk"); }},
        {"undo",
            [&] {
                modal.answer(platform::IDYES);
                form.Undo1->trigger();
            }},
    };
    for (const auto &[name, command] : commands) {
        SCOPED_TRACE(name);
        const Seen seen = giveUpWhileWaiting(command);
        EXPECT_GE(seen.ticks, 3);
        EXPECT_EQ(seen.status, QString::fromUtf8("タグ履歴の使用を待っています: bellwick-cli set"));
        EXPECT_FALSE(seen.menusEnabled);
        // Given up: nothing written, the window as it was.
        EXPECT_EQ(readBytes(a), before);
        EXPECT_EQ(form.StatusBar1->text(), QString::fromStdString(a));
        EXPECT_TRUE(form.menuBar()->isEnabled());
        EXPECT_FALSE(form.isBusy());
    }

    // Once the holder has ended, the lock the given-up waits got is free again.
    EXPECT_TRUE(holder.end());
    bulkTitle("Bulk");
    EXPECT_EQ(tags::ReadTag(a).Title.substr(0, 4), "Bulk");
}
