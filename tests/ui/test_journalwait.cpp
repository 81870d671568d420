// The window while another process holds the tag journal's lock: it keeps turning, says what
// it waits for, and gives the wait up on Escape.

#include <gtest/gtest.h>

#include <sys/wait.h>

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
#include "editing/cp932lineedit.h"
#include "editing/tagjournal.h"
#include "lists/filelistview.h"
#include "tags/tagfile.h"
#include "tests/support/mainwindowfixture.h"

using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::tagBytes;

namespace {

// A process that holds the journal's lock in a batch of its own until it is told to end.
class LockHolder
{
public:
    explicit LockHolder(const char *name)
    {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(m_go), 0);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(m_go[1]); // the parent's closing it is the word to end
            editing::JournaledTagWriter writer(editing::ITagJournal::open(), nullptr);
            const bool began = writer.beginBatch(name);
            char byte = 0;
            const bool told = ::write(ready[1], &byte, 1) == 1 && ::read(m_go[0], &byte, 1) >= 0;
            writer.endBatch();
            ::_exit(began && told ? 0 : 1);
        }
        ::close(ready[1]);
        ::close(m_go[0]);
        char byte = 0;
        EXPECT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
    }
    ~LockHolder() { end(); }

    // Ends the batch and the process; true when it held the lock throughout.
    bool end()
    {
        if (m_pid <= 0)
            return m_passed;
        ::close(m_go[1]);
        int status = 0;
        m_passed = ::waitpid(m_pid, &status, 0) == m_pid && WIFEXITED(status)
            && WEXITSTATUS(status) == 0;
        m_pid = -1;
        return m_passed;
    }

private:
    pid_t m_pid = -1;
    int m_go[2] = {-1, -1};
    bool m_passed = false;
};

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
    LockHolder holder("bellwick-cli set");

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
