#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "lists/folderscan.h"
#include "platform/pathwatch.h"
#include "tags/tagfile.h"

namespace lists {

// What the read-ahead asks of the system about its readers: whether a read was served by
// the disk (more readers help then) and a new reader thread. A test overrides either.
class ReaderHost
{
public:
    virtual ~ReaderHost() = default;
    // Asked on the reader's thread after each of its reads, with the time the read took.
    virtual bool servedByDisk(std::chrono::steady_clock::duration took);
    // Throws std::system_error when the thread cannot be started.
    virtual std::thread startReader(std::function<void()> loop);
};

// Reads files' tags on a few reader threads, in the order the files were added, and hands
// them back oldest first. Readers only read, and close each file before the next. A file
// the program changes after it was added (platform::tellPathChanged: a tag written, a file
// copied or moved over it, deleted, put back by undo) is read again when it is taken, so
// its tag is never older than a read at that moment would give. A reader that cannot be
// started leaves the work to those that could; with none, the taker reads each file itself.
// Destruction waits for the reads in progress (one file per reader) and drops the rest.
class TagReadAhead final : private platform::IPathWatcher
{
public:
    // Reads in flight, measured with bench_scan --readers on 100,000 files: warm, 2 readers were
    // fastest (more only contend for the processors); cold, 32 were fastest, 64 no better. So a
    // scan starts with 2. When one of its first 4 reads was served by the disk (the next files'
    // blocks often come with it) it wants 32 at once; later it wants twice as many, up to 32,
    // while 2 or more of every 32 reads wait for the disk (on a busy machine a read may take long
    // for want of a processor, and more readers would only make that worse). The readers wanted
    // start when the taker first has to wait for a read, or a second later: while the walk still
    // lists folders ahead of the readers, each of its folder reads would queue behind 32 tail
    // reads, and a cold scan of 100,000 files took 1.5 times as long as a walk that lists
    // everything first.
    static constexpr std::size_t FirstReaders = 2;
    static constexpr std::size_t MostReaders = 32;

    explicit TagReadAhead(std::size_t firstReaders = FirstReaders,
        std::size_t mostReaders = MostReaders, ReaderHost *host = nullptr);
    ~TagReadAhead() override = default;
    TagReadAhead(const TagReadAhead &) = delete;
    TagReadAhead &operator=(const TagReadAhead &) = delete;

    // add, pending, takeOldest, diskBound and the destructor are for one thread, the
    // taker's; forget may be called on any.
    void add(std::string path, tags::FileKind kind);
    std::size_t pending() const;
    // The oldest file's path and tag, once its read is done, waiting for it up to `wait`;
    // nothing when none is pending or its read takes longer. The error of a file that
    // cannot be opened (platform::Error) leaves this function, as from tags::ReadTag.
    std::optional<std::pair<std::string, tags::TTagRecord>> takeOldest(
        std::chrono::milliseconds wait);
    // Reads the file's tag again when it is taken (the program has changed it).
    void forget(const std::string &path);
    // The reader threads running now.
    std::size_t readers() const { return m_readers.size(); }
    // Whether the reads wait for the disk: the first were served by it, or readers were
    // added for it. The walk may then run far ahead of the reads.
    bool diskBound() const;

private:
    struct Item
    {
        enum class State { Waiting, Reading, Done };
        std::string path;
        tags::FileKind kind = tags::FileKind::Unknown;
        State state = State::Waiting;
        bool stale = false;
        tags::TTagRecord tag;
        std::exception_ptr error;
    };

    // The reader threads: told to stop and joined when this goes, before the items go.
    class Readers
    {
    public:
        explicit Readers(TagReadAhead &owner)
            : m_owner(owner)
        { }
        ~Readers();
        Readers(const Readers &) = delete;
        Readers &operator=(const Readers &) = delete;
        // Starts up to `count` more; false when one could not be started.
        bool start(std::size_t count);
        std::size_t size() const { return m_threads.size(); }

    private:
        TagReadAhead &m_owner;
        std::vector<std::thread> m_threads; // grown and joined by the owner's thread only
    };

    void pathChanged(const std::string &path) override { forget(path); }
    void readLoop();
    std::size_t judgeReads(bool waiting); // readers to add; with the mutex held
    std::size_t mostClaimed() const;      // with the mutex held
    bool mayRead() const;                 // a reader may claim files; with the mutex held

    ReaderHost &m_host;
    mutable std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_done;
    std::deque<Item> m_items;
    std::size_t m_next = 0; // the first waiting item; all before it are read or being read
    std::size_t m_idleReaders = 0;
    std::size_t m_reads = 0;                           // since they were last judged
    std::size_t m_slowReads = 0;                       // of them, those served by the disk
    bool m_judged = false;                             // the first reads were judged
    std::size_t m_wantedReaders = 0;                   // for the disk, started when the taker waits
    std::chrono::steady_clock::time_point m_heldSince; // since more were wanted than run
    bool m_taking = false;                             // the taker waits for the oldest item
    bool m_stopping = false;
    std::size_t m_readerCount = 0; // readers started or starting, for the readers
    std::size_t m_mostReaders;     // with the mutex held, but for the owner's reads
    // Declared last: the watch goes first, then the readers, then what they read.
    Readers m_readers;
    platform::PathWatch m_watch;
};

// Called for each audio file of a scan, in walk order, with its tag.
using TagHandler = std::function<void(const std::string &path, const tags::TTagRecord &tag)>;

// scanFolder with each file's tag read ahead of its turn: `onTag` gets the same files, tags
// and order as reading each file when the walk meets it, and the first file that cannot be
// opened ends the scan with its error, giving no tag for the files after it. `step` (when
// given) runs as in scanFolder, after every file handed over, and at least every `stepWait`
// while a read is awaited; true ends the scan at once. A fixed number of `readers` is for
// measuring; 0 lets them grow as TagReadAhead does. `host` is for tests.
void scanFolderReadingAhead(const std::string &folder, const TagHandler &onTag,
    const WalkStep &step = {}, std::chrono::milliseconds stepWait = std::chrono::milliseconds(20),
    std::size_t readers = 0, ReaderHost *host = nullptr);

} // namespace lists
