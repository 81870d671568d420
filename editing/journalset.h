#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "editing/journalfile.h"
#include "editing/tagjournal.h"

namespace editing {

// The journals of the state folder and of the cache folder read as one history: a batch
// written into the cache folder's while the state folder was full stays reachable. Batches
// are merged by the time they (or the last undo or redo of them) began. New batches go
// into the first journal, whose lock is the one batches hold and the window waits for; the
// others are read without it, and locked only by an undo or redo of one of their batches.
class JournalSet final : public ITagJournal
{
public:
    // `files` the journals there are, the one written to first; `elsewhere` the folder where
    // another may appear later (another process writes there while this one runs), or "".
    JournalSet(std::vector<std::unique_ptr<JournalFile>> files, std::string elsewhere);

    const std::string &path() const override { return m_written->path(); }
    std::optional<BatchSummary> nextUndo() override;
    std::optional<BatchSummary> nextRedo() override;
    std::vector<BatchSummary> history(std::size_t count) override;
    std::string batchInProgress() override;
    std::unique_ptr<JournalHold> hold() override { return m_written->hold(); }
    std::unique_ptr<JournalHold> tryHold() override { return m_written->tryHold(); }
    void waitForLock(std::function<void()> taken) override
    {
        m_written->waitForLock(std::move(taken));
    }
    std::unique_ptr<JournalHold> takeWaited() override { return m_written->takeWaited(); }
    void abandonWait() override { m_written->abandonWait(); }
    std::uint64_t beginBatch(std::string_view name) override;
    void appendRecords(const std::string &records) override { m_written->appendRecords(records); }
    void endBatch(const std::string &lastRecords) override { m_written->endBatch(lastRecords); }
    RestoreResult undo(std::string_view name, IRestoreReport &report) override;
    RestoreResult redo(std::string_view name, IRestoreReport &report) override;
    RestoreResult undoBatch(
        std::uint64_t id, std::string_view name, IRestoreReport &report) override;

    // The journals, the one in the other folder included once it exists.
    std::vector<JournalFile *> files() override;

private:
    JournalFile *m_written;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<JournalFile>> m_files;
    std::string m_elsewhere;
};

// Holds the locks of several journals, always in the same order.
class JournalLocks
{
public:
    explicit JournalLocks(const std::vector<JournalFile *> &files);

private:
    std::vector<std::unique_ptr<JournalFile::Lock>> m_locks;
};

// The journals an ITagJournal reads, the one it writes first.
inline std::vector<JournalFile *> journalsOf(ITagJournal &journal)
{
    return journal.files();
}

// Of the journals (read anew, with their locks or without), the one whose undo (redo) target was
// acted on last, and that target.
struct JournalTarget
{
    JournalFile *file = nullptr;
    std::uint64_t id = 0;
};
std::optional<JournalTarget> latestTarget(const std::vector<JournalFile *> &files, bool undo);

// The batch partly undone (its last undo left files alone) that an undo of `next` goes past
// for the first time: written after `next`, and no undo since its own has gone past it.
// The newest such batch; none when there is none. Read anew, with the locks or without.
std::vector<BatchSummary> partlyUndoneAbove(
    const std::vector<JournalFile *> &files, const BatchSummary &next);

} // namespace editing
