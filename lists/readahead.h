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
    // Reads in flight. Warm, a few readers already keep pace with the walk; cold, the disk
    // takes many requests at once and 32 came within a few percent of 64 (bench_scan).
    static constexpr std::size_t DefaultReaders = 16;

    explicit TagReadAhead(std::size_t readers = DefaultReaders);
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

    mutable std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_done;
    std::deque<Item> m_items;
    std::size_t m_next = 0; // the first waiting item; all before it are read or being read
    std::size_t m_idleReaders = 0;
    bool m_taking = false; // the taker waits for the oldest item
    bool m_stopping = false;
    std::vector<std::thread> m_readers;
};

// Called for each audio file of a scan, in walk order, with its tag.
using TagHandler = std::function<void(const std::string &path, const tags::TTagRecord &tag)>;

// scanFolder with each file's tag read ahead of its turn: `onTag` gets the same files, tags
// and order as reading each file when the walk meets it, and the first file that cannot be
// opened ends the scan with its error, giving no tag for the files after it. `step` (when
// given) runs as in scanFolder, after every file handed over, and at least every `stepWait`
// while a read is awaited; true ends the scan at once.
void scanFolderReadingAhead(const std::string &folder, const TagHandler &onTag,
    const WalkStep &step = {}, std::chrono::milliseconds stepWait = std::chrono::milliseconds(20));

} // namespace lists
