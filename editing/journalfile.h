#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "editing/journalformat.h"
#include "editing/tagjournal.h"
#include "platform/filesystem.h"

namespace editing {

// A file a batch wrote: the first record of it in the batch (the state before the batch) and
// the last (what the batch left), in the order of the records.
struct BatchFile
{
    journal::BeforeRecord first;
    journal::BeforeRecord last;
    std::size_t order = 0; // the place of its last record among the batch's records
    // What the last write or restore of it left, when that was recorded (a kill may have
    // come first).
    std::optional<journal::LeftRecord> left;
    // The batch only made it writable (a kill came before its Before record): the mode noted.
    std::optional<journal::ModeRecord> modeOnly;
    // An undo or redo run cut short made it writable: the mode it had before.
    std::optional<journal::ModeRecord> runMode;
    // A file whose tag region the batch replaced: its first record (the file before the
    // batch) and its last (what the batch put there). `first` and `last` then hold only the
    // path.
    std::optional<journal::RegionRecord> regionFirst;
    std::optional<journal::RegionRecord> regionLast;
};

// What a batch's records could not tell: damaged records among them.
struct BatchDamage
{
    std::size_t files = 0;          // file records lost
    std::vector<std::string> paths; // those whose path could still be read
};

// The journal file: its lock, its appends, what its records say, and its compaction. The
// model of batches is built as the records are read and kept, so that each look at the
// journal reads only what was appended since. Looks without the lock read through a
// descriptor of their own, only up to the last whole record, and never change the file.
class JournalFile final : public ITagJournal
{
public:
    static constexpr std::uint64_t DefaultSizeBound = std::uint64_t(256) << 20;
    static constexpr const char *FileName = "tag-journal";

    // Opens the journal in `folder`, making the folder and the file when missing; nullptr
    // when it cannot be written there. Reads nothing of it. A process has one journal it
    // writes (that of its one journal set): a second one aborts it.
    static std::unique_ptr<JournalFile> openIn(
        const std::string &folder, std::uint64_t sizeBound = DefaultSizeBound);
    ~JournalFile() override;
    JournalFile(const JournalFile &) = delete;
    JournalFile &operator=(const JournalFile &) = delete;
    // Opens the journal in `folder` when there is one, to undo its batches; nullptr when
    // there is none or it cannot be opened. Makes nothing and reserves no room.
    static std::unique_ptr<JournalFile> openExisting(
        const std::string &folder, std::uint64_t sizeBound = DefaultSizeBound);

    const std::string &path() const override { return m_path; }
    std::optional<BatchSummary> nextUndo() override;
    std::optional<BatchSummary> nextRedo() override;
    std::vector<BatchSummary> history(std::size_t count) override;
    std::string batchInProgress() override;
    std::unique_ptr<JournalHold> hold() override;
    std::unique_ptr<JournalHold> tryHold() override;
    void waitForLock(std::function<void()> taken) override;
    std::unique_ptr<JournalHold> takeWaited() override;
    void abandonWait() override;
    std::uint64_t beginBatch(std::string_view name) override;
    void appendRecords(const std::string &records) override;
    void endBatch(const std::string &lastRecords) override;
    RestoreResult undo(std::string_view name, IRestoreReport &report) override;
    RestoreResult redo(std::string_view name, IRestoreReport &report) override;
    RestoreResult undoBatch(
        std::uint64_t id, std::string_view name, IRestoreReport &report) override;
    std::vector<JournalFile *> files() override { return {this}; }

    // How a Lock is taken: waiting in flock, not at all when another process holds it, or
    // from the thread that waited (waitForLock).
    enum class Taking { Wait, Try, Adopt };

    // Holds the journal's lock for its lifetime, against other processes (flock) and other
    // threads; holds nest. Taking it reads what was appended since the last hold.
    class Lock
    {
    public:
        explicit Lock(JournalFile &file, Taking how = Taking::Wait);
        ~Lock();
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;
        // False when a Try or Adopt found it could not be had now.
        bool held() const { return m_held; }

    private:
        JournalFile &m_file;
        bool m_held = false;
    };

    // The rest needs a Lock held.

    // Appends the Begin record of a new batch or run and gives its id.
    std::uint64_t begin(journal::RunKind kind, std::uint64_t target, std::string_view name);
    // Appends framed records; nothing of them stays when the write fails (throws).
    void append(const std::string &records);
    // Makes what was appended durable and drops the oldest batches when the journal has
    // grown past its bound. Throws when the sync fails.
    void sync();
    // The batch an undo would take and the one a redo would take.
    std::optional<std::uint64_t> undoTarget();
    std::optional<std::uint64_t> redoTarget();
    // The files batch `id` wrote, newest record first.
    std::vector<BatchFile> filesOf(std::uint64_t id);
    // The renames of batch `id`, in the order they were planned (none for a batch of writes).
    std::vector<journal::RenameRecord> renamesOf(std::uint64_t id);
    // Batch `id` as the history shows it, read anew (with the lock or without).
    std::optional<BatchSummary> summaryOf(std::uint64_t id);
    // The batches whose last undo left files alone, and the undo runs that ended (when they
    // began, and when the batch each took began), in nanoseconds.
    std::vector<BatchSummary> partlyUndone();
    struct UndoRun
    {
        std::int64_t stamp = 0;
        std::int64_t targetStamp = 0;
    };
    std::vector<UndoRun> undoRuns();
    // Whether `id` is a write batch of this journal.
    bool hasBatch(std::uint64_t id);
    BatchDamage damageOf(std::uint64_t id);
    // When the batch or the run last done on it began, in nanoseconds: batches of two
    // journals are ordered by it. 0 for an unknown batch.
    std::int64_t lastActed(std::uint64_t id);
    std::uint64_t maxId() const { return m_maxId; }
    // The same, read anew without the lock.
    std::uint64_t lookedMaxId();
    // Ids of new batches and runs are above this (another journal's ids).
    void keepIdsAbove(std::uint64_t id) { m_idFloor = std::max(m_idFloor, id); }
    std::int64_t size() const { return m_end; }
    // The size past which compaction drops the oldest batches.
    std::uint64_t sizeBound() const { return m_sizeBound; }

private:
    struct BatchInfo
    {
        journal::RunKind kind = journal::RunKind::Write;
        std::uint64_t target = 0;
        std::int64_t time = 0;
        std::int64_t stamp = 0; // nanoseconds; time's seconds when it has no Stamp record
        std::int64_t acted = 0; // the stamp of the last run on it, or its own
        std::string name;
        std::int64_t offset = 0;
        bool ended = false;
        bool damaged = false;      // its Begin record, or one of its records, was damaged
        std::size_t leftAlone = 0; // a run: files it left alone; a batch: its last undo's
        BatchDamage damage;
        bool counted = false; // in the history: a run, or a write batch that wrote a file
        bool renames = false; // a batch of renames
        std::size_t files = 0;
        std::unordered_set<std::string> paths; // while the batch is open
    };
    struct Event
    {
        std::uint64_t id;
        bool isEnd;
    };
    struct State
    {
        std::vector<std::uint64_t> done;      // undoable, oldest first
        std::vector<std::uint64_t> undone;    // redoable, undone last at the back
        std::optional<std::uint64_t> pending; // a run begun and not ended
        // Each batch's last finished run: the undo that marked it undone, or 0 after a redo.
        std::map<std::uint64_t, std::uint64_t> lastRun;
    };
    struct Waiter;
    struct Identity
    {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity &other) const
        {
            return device == other.device && inode == other.inode;
        }
    };

    JournalFile(
        std::string folder, std::string path, platform::UniqueFd fd, std::uint64_t sizeBound);
    bool acquire(Taking how);
    void release();
    void refresh();
    // Reads what was appended without the lock (or with it, when this process holds it).
    void look();
    void read(int fd, const struct stat &st, bool mayCut);
    void resetModel();
    void take(const journal::Record &record, std::int64_t offset);
    void takeDamage(std::uint64_t owner, const journal::Damage &damage);
    BatchInfo &batchOf(const journal::Record &record, std::int64_t offset);
    State state() const;
    std::optional<std::uint64_t> targetOf(journal::RunKind kind) const;
    void compact();
    BatchSummary summary(std::uint64_t id, const BatchInfo &info, const State &state) const;

    std::string m_folder;
    std::string m_path;
    platform::UniqueFd m_fd;
    platform::UniqueFd m_readFd; // for looks without the lock
    std::uint64_t m_sizeBound;
    std::recursive_mutex m_mutex;
    int m_depth = 0;
    std::shared_ptr<Waiter> m_waiter;
    std::optional<Lock> m_batchLock;
    bool m_owned = false; // the process's written journal (openIn)

    Identity m_modelOf;           // the file the model was read from
    std::int64_t m_parsedEnd = 0; // records read up to here
    std::int64_t m_end = 0;       // the file's end while locked
    std::uint64_t m_maxId = 0;
    std::uint64_t m_idFloor = 0;
    std::map<std::uint64_t, BatchInfo> m_batches;
    std::vector<Event> m_events;
    std::optional<journal::Damage> m_damage; // read, waiting for the record after it
    std::uint64_t m_lastId = 0;              // of the last valid record read
    std::int64_t m_lastTime = 0;
};

} // namespace editing
