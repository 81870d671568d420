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
#include "tags/tagfile.h"

namespace lists {

// Reads files' tags on a few reader threads, in the order the files were added, and hands
// them back oldest first. Readers only read, and close each file before the next. A tag
// that the program writes (tags::WriteTagBlock) after its file was added is read again when
// it is taken, so it is never older than a read at that moment would give. Destruction
// waits for the reads in progress (one file per reader) and drops the rest.
class TagReadAhead final : private tags::IWriteWatcher
{
public:
    // Reads in flight, measured with bench_scan --readers on 100,000 files: warm, 2 readers
    // were fastest (more only contend for the processors); cold, 32 were fastest, 64 no
    // better. So a scan starts with 2 and doubles them up to 32 while 2 or more of every
    // 32 reads wait for the disk (take longer than a read from the cache, and the reader's
    // count of blocks read grew; on a busy machine a read may take long for want of a
    // processor, and more readers would only make that worse).
    static constexpr std::size_t FirstReaders = 2;
    static constexpr std::size_t MostReaders = 32;

    explicit TagReadAhead(
        std::size_t firstReaders = FirstReaders, std::size_t mostReaders = MostReaders);
    ~TagReadAhead() override;
    TagReadAhead(const TagReadAhead &) = delete;
    TagReadAhead &operator=(const TagReadAhead &) = delete;

    void add(std::string path, tags::FileKind kind);
    std::size_t pending() const;
    // The oldest file's path and tag, once its read is done, waiting for it up to `wait`;
    // nothing when none is pending or its read takes longer. The error of a file that
    // cannot be opened (platform::Error) leaves this function, as from tags::ReadTag.
    std::optional<std::pair<std::string, tags::TTagRecord>> takeOldest(
        std::chrono::milliseconds wait);
    // Reads the file's tag again when it is taken (the program has written it).
    void forget(const std::string &path);

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

    void tagWritten(const std::string &path) override { forget(path); }
    void readLoop();
    void addReaders(std::size_t count);
    std::size_t mostClaimed() const; // with the mutex held

    mutable std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_done;
    std::deque<Item> m_items;
    std::size_t m_next = 0; // the first waiting item; all before it are read or being read
    std::size_t m_idleReaders = 0;
    std::size_t m_reads = 0;     // since they were last judged
    std::size_t m_slowReads = 0; // of them, those that waited for the disk
    bool m_taking = false;       // the taker waits for the oldest item
    bool m_stopping = false;
    std::size_t m_readerCount = 0; // m_readers.size(), for the readers
    std::size_t m_mostReaders;
    std::vector<std::thread> m_readers; // grown and joined by the owner's thread only
};

// Called for each audio file of a scan, in walk order, with its tag.
using TagHandler = std::function<void(const std::string &path, const tags::TTagRecord &tag)>;

// scanFolder with each file's tag read ahead of its turn: `onTag` gets the same files, tags
// and order as reading each file when the walk meets it, and the first file that cannot be
// opened ends the scan with its error, giving no tag for the files after it. `step` (when
// given) runs as in scanFolder, after every file handed over, and at least every `stepWait`
// while a read is awaited; true ends the scan at once. A fixed number of `readers` is for
// measuring; 0 lets them grow as TagReadAhead does.
void scanFolderReadingAhead(const std::string &folder, const TagHandler &onTag,
    const WalkStep &step = {}, std::chrono::milliseconds stepWait = std::chrono::milliseconds(20),
    std::size_t readers = 0);

} // namespace lists
