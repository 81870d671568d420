// The main window's edit menu: undo and redo of tag writes, batch by batch, from the journal.

#include <initializer_list>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>

#include "app/Unit1.h"
#include "editing/tagjournal.h"
#include "lists/filelistview.h"
#include "lists/row.h"
#include "lists/rowmodel.h"
#include "platform/error.h"
#include "platform/modal.h"
#include "platform/scopeguard.h"
#include "platform/textcodec.h"
#include "widgets/errorreport.h"
#include "widgets/inputshield.h"

using widgets::groupedCount;

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// "元に戻す(&U): タグ一括設定 (1,204 ファイル)": the entry's caption with the batch it takes.
QString entryCaption(const char *entry, const editing::BatchSummary &batch)
{
    QString name = QString::fromStdString(batch.name);
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("%1: %2 (%3 %4)")
        .arg(text(entry), name, groupedCount(batch.files), text("ファイル"));
}

// Carries an undo or redo's progress to the status line and keeps the tags of the files it
// put back, for the rows.
class RestoreReport final : public editing::IRestoreReport
{
public:
    explicit RestoreReport(platform::IRunControl &status)
        : m_status(status)
    { }

    void restored(const editing::RestoredFile &file) override
    {
        m_tags.insert_or_assign(file.path, file.tag);
    }
    void renamed(const std::string &from, const std::string &to) override
    {
        m_newPaths.insert_or_assign(from, to);
    }
    void progress(const platform::RunProgress &progress) override { m_status.progress(progress); }
    bool stopRequested() override { return m_status.stopRequested(); }

    // The name a file was given back, if it was.
    const std::string *renamedTo(const std::string &path) const
    {
        const auto found = m_newPaths.find(path);
        return found == m_newPaths.end() ? nullptr : &found->second;
    }

    // Every row of the lists whose path names a restored file gets that file's tag.
    void applyTo(std::initializer_list<FileListView *> lists) const
    {
        // Rows naming a file given its other name back take that name.
        for (FileListView *list : lists) {
            for (int index = 0; !m_newPaths.empty() && index < list->rowCount(); ++index) {
                const auto found = m_newPaths.find(list->row(index).path());
                if (found != m_newPaths.end())
                    list->model()->setSubItem(index, lists::SubItem::Path, found->second);
            }
        }
        if (m_tags.empty())
            return;
        for (FileListView *list : lists) {
            for (int index = 0; index < list->rowCount(); ++index) {
                const auto found = m_tags.find(list->row(index).path());
                // A restored file's cells show its tag as the scan shows a tag read from a file.
                if (found != m_tags.end())
                    list->model()->setSubItems(
                        index, lists::cellsAfter(lists::shownMerge(found->second)));
            }
        }
    }

private:
    platform::IRunControl &m_status;
    std::unordered_map<std::string, tags::TTagRecord> m_tags;
    std::unordered_map<std::string, std::string> m_newPaths;
};

// "「タグ一括設定 (18 ファイル)」"
QString quotedBatch(const editing::BatchSummary &batch)
{
    return QStringLiteral("「%1 (%2 %3)」")
        .arg(QString::fromStdString(batch.name), groupedCount(batch.files), text("ファイル"));
}

// The paths of a report, one a line, the first few of many.
QString pathLines(const std::vector<std::string> &paths)
{
    return widgets::reportLines(paths.size(),
        [&paths](std::size_t i) { return QString::fromStdString(platform::shownPath(paths[i])); });
}

} // namespace

void TForm1::Edit1Popup(QObject *)
{
    // Greyed and plain first, so that a journal that cannot be read leaves nothing to press.
    Undo1->setText(text("元に戻す(&U)"));
    Undo1->setEnabled(false);
    Redo1->setText(text("やり直し(&R)"));
    Redo1->setEnabled(false);
    if (!m_journal)
        return;
    if (const auto batch = m_journal->nextUndo()) {
        Undo1->setText(entryCaption("元に戻す(&U)", *batch));
        Undo1->setEnabled(true);
    }
    if (const auto batch = m_journal->nextRedo()) {
        Redo1->setText(entryCaption("やり直し(&R)", *batch));
        Redo1->setEnabled(true);
    }
}

void TForm1::Undo1Click(QObject *)
{
    restoreBatch(true);
}

void TForm1::Redo1Click(QObject *)
{
    restoreBatch(false);
}

void TForm1::restoreBatch(bool undo)
{
    if (!m_journal)
        return;
    const auto next = [this, undo] { return undo ? m_journal->nextUndo() : m_journal->nextRedo(); };
    const auto question = [undo](const editing::BatchSummary &batch) {
        if (batch.renames)
            return undo ? "%1 個のファイルの名前を変更前に戻します。よろしいですか？"
                        : "%1 個のファイルの名前をもう一度変更します。よろしいですか？";
        return undo ? "%1 個のファイルのタグを書き込み前に戻します。よろしいですか？"
                    : "%1 個のファイルのタグをもう一度書き込みます。よろしいですか？";
    };
    // The companion may write a batch while the question waits: the run must take the batch
    // the user agreed to, so a batch that changed meanwhile, as seen once the lock is held,
    // is asked about again. No question is asked with the lock held.
    std::unique_ptr<editing::JournalHold> held;
    bool renames = false;
    for (auto batch = next();;) {
        if (!batch)
            return;
        renames = batch->renames;
        QString asked = text(question(*batch)).arg(groupedCount(batch->files));
        // An undo after one that left files alone goes on to the batch before it: said first.
        if (!batch->passesOver.empty())
            asked = text("%1は一部そのままです。その前の%2を元に戻します。よろしいですか？")
                        .arg(quotedBatch(batch->passesOver.front()), quotedBatch(*batch));
        if (platform::modal().messageBox(
                this, asked, text("確認"), platform::MB_YESNO | platform::MB_DEFBUTTON2)
            != platform::IDYES)
            return;
        held = holdJournal();
        if (!held)
            return;
        auto now = next();
        if (now && now->id == batch->id)
            break;
        held.reset();
        batch = std::move(now);
    }

    std::optional<std::uint64_t> again;
    for (;;) {
        if (!held) {
            held = holdJournal();
            if (!held)
                return;
        }
        editing::RestoreResult result;
        std::optional<std::string> statusRenamed;
        const platform::ScopeGuard release([&held] { held.reset(); });
        runBusy(undo ? "元に戻し中" : "やり直し中", [&](platform::IRunControl &status) {
            RestoreReport report(status);
            // The rows follow the files however the run ends, a journal error included.
            const platform::ScopeGuard showRestored([this, &report, &statusRenamed] {
                report.applyTo({ListView1, ListView2});
                for (FileListView *list : {ListView1, ListView2})
                    list->currentView()->viewport()->update();
                if (m_statusPath) {
                    if (const std::string *path = report.renamedTo(*m_statusPath))
                        statusRenamed = *path;
                }
            });
            result = again ? m_journal->undoBatch(*again, "元に戻す", report)
                : undo     ? m_journal->undo("元に戻す", report)
                           : m_journal->redo("やり直し", report);
        });
        held.reset();
        // The status line names the file by the name it has now.
        if (statusRenamed)
            setStatusText(*statusRenamed);
        if (!reportRestore(result, undo, renames))
            return;
        again = result.batch;
    }
}

bool TForm1::reportRestore(const editing::RestoreResult &result, bool undo, bool renames)
{
    std::vector<std::string> changedOrGone;
    const editing::LeftAloneFile *failed = nullptr;
    for (const editing::LeftAloneFile &file : result.leftAlone) {
        if (file.why == editing::LeftAloneFile::Why::Failed) {
            if (!failed)
                failed = &file;
        } else {
            changedOrGone.push_back(file.path);
        }
    }
    bool retry = false;
    if (!changedOrGone.empty()) {
        // A batch of renames says what it did to names, and that a name can be taken.
        const char *done = !renames ? "%1 個のファイルを戻しました。%2 "
                                      "個は書き込みの後で変更されたか見つからないため、"
                                      "そのままにしました。"
            : undo
            ? "%1 個のファイルの名前を戻しました。%2 個は名前の変更の後で変更されたか"
              "見つからないか、戻す先の名前がほかのファイルの名前のため、そのままにしました。"
            : "%1 個のファイルの名前をもう一度変更しました。%2 個は元に戻した後で"
              "変更されたか見つからないか、新しい名前がほかのファイルの名前のため、"
              "そのままにしました。";
        QString report
            = text(done).arg(groupedCount(result.restored), groupedCount(changedOrGone.size()))
            + pathLines(changedOrGone);
        if (undo) {
            // The same batch again for those files, once the user has put them back as the
            // batch left them.
            report += QStringLiteral("\n\n")
                + text(renames ? "名前の変更の後の状態に戻してから「再試行」を押すと、同じバッチを"
                                 "これらのファイルについてもう一度元に戻します "
                                 "(bellwick-cli undo --batch %1)。"
                               : "書き込みの後の状態に戻してから「再試行」を押すと、同じバッチを"
                                 "これらのファイルについてもう一度元に戻します "
                                 "(bellwick-cli undo --batch %1)。")
                      .arg(result.batch);
            retry = platform::modal().messageBox(this, report, text("確認"),
                        platform::MB_RETRYCANCEL | platform::MB_ICONINFORMATION)
                == platform::IDRETRY;
        } else {
            platform::modal().messageBox(
                this, report, text("確認"), platform::MB_OK | platform::MB_ICONINFORMATION);
        }
    }
    // A file that could not be written is neither changed nor gone: its own error says why.
    if (failed)
        widgets::showErrorReport(failed->message);
    if (result.lost > 0)
        platform::modal().messageBox(this,
            QString::fromStdString(editing::lostFilesMessage(result.lost))
                + pathLines(result.lostPaths),
            text("確認"), platform::MB_OK | platform::MB_ICONEXCLAMATION);
    return retry;
}

std::unique_ptr<editing::JournalHold> TForm1::holdJournal()
{
    if (!m_journal)
        return nullptr;
    if (std::unique_ptr<editing::JournalHold> held = m_journal->tryHold())
        return held;
    QEventLoop loop;
    bool gaveUp = false;
    QWidget *const dialog = QApplication::activeModalWidget();
    std::vector<QPointer<QWidget>> greyed;
    for (QWidget *part : {static_cast<QWidget *>(menuBar()), centralWidget(), dialog}) {
        if (part && part->isEnabled()) {
            part->setEnabled(false);
            greyed.emplace_back(part);
        }
    }
    const QString before = StatusBar1->text();
    const auto showHolder = [this] {
        std::string holder;
        try {
            holder = m_journal->batchInProgress();
        } catch (const platform::Error &) {
            // Unreadable for now: the line says what it waits for without the name.
        }
        StatusBar1->setText(holder.empty()
                ? text("タグ履歴の使用を待っています")
                : text("タグ履歴の使用を待っています: %1").arg(QString::fromStdString(holder)));
    };
    // The holder's Begin record may follow its lock by a moment: the line is read again.
    QTimer statusTimer;
    statusTimer.setInterval(250);
    connect(&statusTimer, &QTimer::timeout, this, showHolder);
    ++m_busyDepth;
    // The window takes no input while it waits; Escape gives the wait up.
    const widgets::InputShield shield([&] {
        gaveUp = true;
        loop.quit();
    });
    const platform::ScopeGuard restore([&] {
        --m_busyDepth;
        for (const QPointer<QWidget> &part : greyed) {
            if (part)
                part->setEnabled(true);
        }
        StatusBar1->setText(before);
    });
    showHolder();
    statusTimer.start();

    std::unique_ptr<editing::JournalHold> held;
    while (!held) {
        // Called on the waiting thread: the loop is ended from this one.
        m_journal->waitForLock([waiting = QPointer<QEventLoop>(&loop)] {
            QMetaObject::invokeMethod(
                qApp,
                [waiting] {
                    if (waiting)
                        waiting->quit();
                },
                Qt::QueuedConnection);
        });
        loop.exec();
        if (gaveUp) {
            m_journal->abandonWait();
            break;
        }
        held = m_journal->takeWaited(); // null when the journal was replaced meanwhile
    }
    // A close asked for meanwhile is asked again, to be carried out or deferred as it finds
    // the window then.
    if (m_closeRequested) {
        m_closeRequested = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
    return held;
}

bool TForm1::holdForBatch(std::unique_ptr<editing::JournalHold> &held)
{
    if (!m_journal)
        return mayWriteWithoutJournal();
    held = holdJournal();
    return held != nullptr;
}

bool TForm1::mayWriteWithoutJournal()
{
    if (m_writesWithoutJournal)
        return true;
    // Asked over the dialog that writes, when one is open.
    QWidget *over = QApplication::activeModalWidget();
    m_writesWithoutJournal
        = platform::modal().messageBox(over ? over : this,
              text("元に戻すための記録を保存できません。このまま書き込みますか？"), text("確認"),
              platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2)
        == platform::IDYES;
    return m_writesWithoutJournal;
}
