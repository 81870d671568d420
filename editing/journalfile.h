#pragma once

#include <sys/types.h>

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
    // when it cannot be written there. Reads nothing of it. A second journal object in one
    // process aborts it.
    static std::unique_ptr<JournalFile> openIn(
        const std::string &folder, std::uint64_t sizeBound = DefaultSizeBound);
    ~JournalFile() override;
    JournalFile(const JournalFile &) = delete;
    JournalFile &operator=(const JournalFile &) = delete;

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
    std::int64_t size() const { return m_end; }

private:
    struct BatchInfo
    {
        journal::RunKind kind = journal::RunKind::Write;
        std::uint64_t target = 0;
        std::int64_t time = 0;
        std::string name;
        std::int64_t offset = 0;
        bool ended = false;
        bool counted = false; // in the history: a run, or a write batch that wrote a file
        std::size_t files = 0;
        std::size_t leftAlone = 0;             // by a run
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
    State state() const;
    std::optional<std::uint64_t> targetOf(journal::RunKind kind) const;
    std::optional<BatchSummary> summaryOf(std::uint64_t id);
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

    Identity m_modelOf;           // the file the model was read from
    std::int64_t m_parsedEnd = 0; // records read up to here
    std::int64_t m_end = 0;       // the file's end while locked
    std::uint64_t m_maxId = 0;
    std::map<std::uint64_t, BatchInfo> m_batches;
    std::vector<Event> m_events;
};

} // namespace editing
