#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editing/restorerun.h"
#include "editing/tagwriter.h"

namespace editing {

// The journal of every tag write the program makes, kept so that a batch of writes can be
// undone and redone after the files were saved, across restarts, by the window and the
// companion alike. It is one file that only grows by appending, each record with a
// checksum; a torn or damaged tail is ignored. It is written in $XDG_STATE_HOME/bellwick/
// (default ~/.local/state/bellwick/), else (that folder full or read-only) in
// $XDG_CACHE_HOME/bellwick/; the journals of both folders are read as one history.

// The folders of the journal, the state folder's first ("" when it has no base: no
// XDG variable nor HOME).
std::vector<std::string> journalFolders();

// A batch as the undo list shows it. Its mark is that of the last undo or redo run that
// finished on it: undone (with the files that run left alone), or none after a redo.
struct BatchSummary
{
    std::uint64_t id = 0;
    std::int64_t startedAt = 0; // seconds since the epoch, local time is the reader's business
    std::string name;           // "タグ変更", "タグ一括設定", "bellwick-cli set", ...
    std::size_t files = 0;      // distinct files the batch wrote
    bool undone = false;
    bool damaged = false;      // some of its records could not be read
    bool renames = false;      // its files were renamed, not written
    std::size_t leftAlone = 0; // files its last undo left alone
    std::int64_t stamp = 0;    // when it began, in nanoseconds since the epoch
    std::int64_t order = 0;    // when it or the last undo or redo of it began (nanoseconds)
    // The next undo only: the batch partly undone that it goes past, said before it acts
    // (none, or one).
    std::vector<BatchSummary> passesOver;
};

// A hold on the journal's lock, from its making to its end.
class JournalHold
{
public:
    virtual ~JournalHold() = default;
};

// The journal as the window, the companion and the writers use it. One object serves a whole
// process (a second one writing is a fault and aborts): a batch holds the lock of the journal
// written from its begin to its end, and other processes wait for that end.
class ITagJournal
{
public:
    virtual ~ITagJournal() = default;

    // Opens (creating it when needed) the journal in the state folder, or in the cache folder
    // when the state folder cannot be written; nullptr when neither can. The journal of the
    // other folder, when there is one, is read with it. Reads nothing of them yet.
    static std::unique_ptr<ITagJournal> open();

    // The journal file in use.
    virtual const std::string &path() const = 0;

    // Read anew from the file on each call, so that batches another process appended since
    // are seen; they need no lock, read only whole records and never change the file. The
    // batch the next undo would take, and the one the next redo would take.
    virtual std::optional<BatchSummary> nextUndo() = 0;
    virtual std::optional<BatchSummary> nextRedo() = 0;
    // The last `count` batches, newest first (undo and redo runs are not batches).
    virtual std::vector<BatchSummary> history(std::size_t count) = 0;
    // The name of the newest batch or run begun and not ended ("" when there is none): what
    // a process holding the lock is doing.
    virtual std::string batchInProgress() = 0;

    // The lock, waiting for it as long as another process holds it. Holds nest in a thread.
    virtual std::unique_ptr<JournalHold> hold() = 0;
    // The lock without waiting: null while another process holds it.
    virtual std::unique_ptr<JournalHold> tryHold() = 0;
    // Waits for the lock in a thread of its own, so that the caller's thread goes on; calls
    // `taken` on that thread once it has it. Then takeWaited() on the caller's thread makes
    // it a hold (null: the journal was replaced meanwhile; wait again). After abandonWait(),
    // `taken` is not called and the lock is given up as soon as it is had.
    virtual void waitForLock(std::function<void()> taken) = 0;
    virtual std::unique_ptr<JournalHold> takeWaited() = 0;
    virtual void abandonWait() = 0;

    // A write batch: its Begin record (the lock is held from here to endBatch), records of
    // it (framed, with the id given), and its end made durable. endBatch never throws: the
    // batch's records are in the journal already and it can be undone as one cut short.
    virtual std::uint64_t beginBatch(std::string_view name) = 0;
    virtual void appendRecords(const std::string &records) = 0;
    virtual void endBatch(const std::string &lastRecords) = 0;

    // Undo of the newest batch not yet undone, redo of the one undone last: see
    // restoreLatest.
    virtual RestoreResult undo(std::string_view name, IRestoreReport &report) = 0;
    virtual RestoreResult redo(std::string_view name, IRestoreReport &report) = 0;
    // Undoes batch `id` again, whatever came after it: the retry for files an undo left
    // alone. nothingToDo when the journal holds no such batch.
    virtual RestoreResult undoBatch(std::uint64_t id, std::string_view name, IRestoreReport &report)
        = 0;

    // The journal files it reads, the one it writes first.
    virtual std::vector<JournalFile *> files() = 0;
};

// Writes into the files and records each write in the journal, inside batches. With no
// journal (null), each batch first asks `mayWriteWithoutJournal` (the window asks its user
// once per session; the companion answers by its --no-journal option). Each batch first takes
// the journal's lock through `holdJournal` when given (the window waits for it with its
// events turning; null: the wait was given up and the batch does not start).
class JournaledTagWriter final : public ITagWriter
{
public:
    using HoldJournal = std::function<std::unique_ptr<JournalHold>(ITagJournal &)>;
    JournaledTagWriter(std::shared_ptr<ITagJournal> journal,
        std::function<bool()> mayWriteWithoutJournal, HoldJournal holdJournal = {});
    ~JournaledTagWriter() override;

    tags::WriteOutcome write(const std::string &path, const tags::Block &block) override;
    tags::WriteOutcome write(const std::string &path, const tags::TagMerge &merge) override;
    bool beginBatch(std::string_view name) override;
    void endBatch() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace editing
