#include "lists/readahead.h"

#include <sys/resource.h>

#include <algorithm>

namespace lists {

namespace {

// Most files a reader takes at once while the first readers keep up (the cache is warm):
// one wake-up for many. Once readers were added for the disk, each takes one file, so
// the reads finish in the order they are taken.
constexpr std::size_t MostClaimed = 8;

// Reads judged at once, and the first ones: few, so a cold scan gets its readers soon.
constexpr std::size_t JudgedReads = 32;
constexpr std::size_t FirstJudgedReads = 4;

// Longest the readers hold back for the walk before the readers the disk wants start.
constexpr std::chrono::seconds MostHeldBack(1);

// Whether this thread has read from the disk since it last asked. A read that merely took
// long may only have waited for a processor on a busy machine; what the disk served is
// counted in the thread's blocks read.
bool hasReadFromDisk()
{
    thread_local long blocksBefore = 0;
    struct rusage usage;
    if (::getrusage(RUSAGE_THREAD, &usage) != 0)
        return true;
    const bool read = usage.ru_inblock != blocksBefore;
    blocksBefore = usage.ru_inblock;
    return read;
}

ReaderHost &systemHost()
{
    static ReaderHost host;
    return host;
}

} // namespace

bool ReaderHost::servedByDisk(std::chrono::steady_clock::duration took)
{
    // A read from the cache takes a few microseconds; one served by a fast disk (or its
    // host's cache) well under a millisecond, and still wants more readers. At 100 µs, the
    // few evicted pages of a large warm tree were enough to add readers, whose wake-ups
    // then slowed the window's scan of a million files twice.
    return took > std::chrono::microseconds(300) && hasReadFromDisk();
}

std::thread ReaderHost::startReader(std::function<void()> loop)
{
    return std::thread(std::move(loop));
}

TagReadAhead::TagReadAhead(std::size_t firstReaders, std::size_t mostReaders, ReaderHost *host)
    : m_host(host ? *host : systemHost())
    , m_mostReaders(std::max(mostReaders, firstReaders))
    , m_readers(*this)
    , m_watch(*this)
{
    if (!m_readers.start(std::max<std::size_t>(firstReaders, 1))) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_mostReaders = m_readers.size();
    }
}

bool TagReadAhead::Readers::start(std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        {
            const std::lock_guard<std::mutex> lock(m_owner.m_mutex);
            ++m_owner.m_readerCount;
        }
        try {
            m_threads.reserve(m_threads.size() + 1);
            m_threads.push_back(m_owner.m_host.startReader([this] { m_owner.readLoop(); }));
        } catch (...) {
            // Out of threads or memory: the readers there are go on.
            const std::lock_guard<std::mutex> lock(m_owner.m_mutex);
            --m_owner.m_readerCount;
            return false;
        }
    }
    return true;
}

TagReadAhead::Readers::~Readers()
{
    {
        const std::lock_guard<std::mutex> lock(m_owner.m_mutex);
        m_owner.m_stopping = true;
    }
    m_owner.m_work.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void TagReadAhead::add(std::string path, tags::FileKind kind)
{
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        Item &item = m_items.emplace_back();
        item.path = std::move(path);
        item.kind = kind;
        wake = m_idleReaders > 0 && m_items.size() - m_next >= mostClaimed() && mayRead();
    }
    if (wake)
        m_work.notify_one();
}

std::size_t TagReadAhead::mostClaimed() const
{
    return m_readerCount > FirstReaders ? 1 : MostClaimed;
}

bool TagReadAhead::mayRead() const
{
    // While more readers are wanted for the disk than run, those there hold back: the walk
    // is listing folders, and reads would only put its folder reads in a longer queue.
    return m_next < m_items.size() && m_wantedReaders <= m_readerCount;
}

std::size_t TagReadAhead::pending() const
{
    // Items are added and taken on this thread only; the readers never change their number.
    return m_items.size();
}

bool TagReadAhead::diskBound() const
{
    // Both are changed on this thread only.
    return m_wantedReaders > FirstReaders || m_readerCount > FirstReaders;
}

std::size_t TagReadAhead::judgeReads(bool waiting)
{
    const std::size_t now = m_readers.size();
    // A read from the page cache takes microseconds; when some take longer the disk is the
    // limit, and it serves more requests at once. Only some: the device reads ahead, so the
    // neighbours of a slow read come from the cache. When any of the first reads came from
    // the disk the scan is cold, and the readers the disk wants are wanted at once. (How
    // long the taker waits says nothing: on a busy machine the readers are merely
    // descheduled.) Judged on every 32 reads, so a cache that runs out midway is noticed.
    // The readers wanted start when the taker has to wait for a read, or a second later.
    if (m_reads >= (m_judged ? JudgedReads : FirstJudgedReads)) {
        const std::size_t wanted = m_wantedReaders;
        if (!m_judged && m_slowReads > 0)
            m_wantedReaders = m_mostReaders;
        else if (m_judged && m_slowReads * 16 >= m_reads)
            m_wantedReaders = std::min(std::max(m_wantedReaders, now) * 2, m_mostReaders);
        if (wanted <= now && m_wantedReaders > now)
            m_heldSince = std::chrono::steady_clock::now();
        m_judged = true;
        m_reads = m_slowReads = 0;
    }
    if (m_wantedReaders <= now)
        return 0;
    // A walk over a slow disk may take long to get far ahead: after a second the files it
    // has listed are read anyway, so that rows come before it has ended.
    if (waiting || std::chrono::steady_clock::now() - m_heldSince > MostHeldBack)
        return std::min(m_wantedReaders, m_mostReaders) - now;
    return 0;
}

std::optional<std::pair<std::string, tags::TTagRecord>> TagReadAhead::takeOldest(
    std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (const std::size_t more = judgeReads(wait.count() > 0)) {
        lock.unlock();
        const bool started = m_readers.start(more);
        lock.lock();
        if (!started)
            m_mostReaders = m_wantedReaders = m_readers.size();
        // The readers that held back for the walk go on.
        m_work.notify_all();
    }
    if (m_readerCount == 0 && !m_items.empty()) {
        // No reader could be started: the taker reads the oldest file itself.
        Item item = std::move(m_items.front());
        m_items.pop_front();
        lock.unlock();
        return std::make_pair(std::move(item.path), tags::ReadTag(item.path, item.kind));
    }
    const auto oldestDone
        = [this] { return m_items.empty() || m_items.front().state == Item::State::Done; };
    if (!oldestDone() && wait.count() > 0) {
        if (m_idleReaders > 0 && m_next < m_items.size())
            m_work.notify_all();
        m_taking = true;
        m_done.wait_for(lock, wait, oldestDone);
        m_taking = false;
    }
    if (m_items.empty() || m_items.front().state != Item::State::Done)
        return std::nullopt;
    Item item = std::move(m_items.front());
    m_items.pop_front();
    --m_next;
    lock.unlock();
    if (item.stale)
        return std::make_pair(std::move(item.path), tags::ReadTag(item.path, item.kind));
    if (item.error)
        std::rethrow_exception(item.error);
    return std::make_pair(std::move(item.path), std::move(item.tag));
}

void TagReadAhead::forget(const std::string &path)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    // A file not yet being read will be read after the change anyway.
    for (std::size_t i = 0; i < m_next; ++i) {
        if (m_items[i].path == path)
            m_items[i].stale = true;
    }
}

void TagReadAhead::readLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (!mayRead() && !m_stopping) {
            ++m_idleReaders;
            m_work.wait(lock, [this] { return m_stopping || mayRead(); });
            --m_idleReaders;
        }
        if (m_stopping)
            return;
        // Items stay where they are until taken, and only done ones are taken. A share of
        // the waiting files is claimed at once, so a warm cache costs one wake-up for many.
        const std::size_t waiting = m_items.size() - m_next;
        const std::size_t claimed
            = std::clamp<std::size_t>(waiting / m_readerCount, 1, mostClaimed());
        // Pointers, not indexes: the taker may take done items from the front meanwhile.
        Item *items[MostClaimed];
        for (std::size_t i = 0; i < claimed; ++i) {
            items[i] = &m_items[m_next++];
            items[i]->state = Item::State::Reading;
        }
        // Reads are timed only while readers may still be added: once they are all there, a
        // read judged slow would only cost a system call a file (its blocks read).
        const bool judging = m_readerCount < m_mostReaders;
        for (std::size_t i = 0; i < claimed; ++i) {
            Item &item = *items[i];
            lock.unlock();
            tags::TTagRecord tag;
            std::exception_ptr error;
            const auto start = judging ? std::chrono::steady_clock::now()
                                       : std::chrono::steady_clock::time_point();
            try {
                tag = tags::ReadTag(item.path, item.kind);
            } catch (...) {
                error = std::current_exception();
            }
            const bool slow
                = m_host.servedByDisk(judging ? std::chrono::steady_clock::now() - start
                                              : std::chrono::steady_clock::duration::zero());
            lock.lock();
            if (m_stopping)
                return;
            item.tag = std::move(tag);
            item.error = std::move(error);
            item.state = Item::State::Done;
            ++m_reads;
            m_slowReads += slow;
            if (m_taking && &item == &m_items.front())
                m_done.notify_one();
        }
    }
}

void scanFolderReadingAhead(const std::string &folder, const TagHandler &onTag,
    const WalkStep &step, std::chrono::milliseconds stepWait, std::size_t readers, ReaderHost *host)
{
    // How far the walk may run ahead of the tags handed over: enough to keep the first
    // readers busy on a warm cache. When the reads wait for the disk, much further: the
    // walk lists its folders while only the first readers read, and the readers the disk
    // wants start when it has ended or is this far ahead, as a walk that lists everything
    // before reading does. (A cold scan of 100,000 files took 2.2 times as long as that
    // walk at 512 and 1.45 times at 4096 with every reader reading during the walk; 1.1
    // times with them held back.) A file waiting costs some 350 bytes, 46 MB at most. A
    // stop is prompt either way: the reads not begun are dropped.
    constexpr std::size_t Window = 512;
    constexpr std::size_t DiskWindow = std::size_t(1) << 17;
    stepWait = std::max(stepWait, std::chrono::milliseconds(1));
    TagReadAhead ahead(readers ? readers : TagReadAhead::FirstReaders,
        readers ? readers : TagReadAhead::MostReaders, host);
    bool stopped = false;
    const auto stepped = [&] {
        if (!stopped && step && step())
            stopped = true;
        return stopped;
    };
    // Hands over the tags read, oldest first; waits for reads while more than the window
    // is pending, or for every read when `all`.
    const auto handOver = [&](bool all) {
        while (!stopped && ahead.pending() > 0) {
            const std::size_t window = ahead.diskBound() ? DiskWindow : Window;
            const bool mustWait = all || ahead.pending() > window;
            auto taken = ahead.takeOldest(mustWait ? stepWait : std::chrono::milliseconds(0));
            if (taken) {
                onTag(taken->first, taken->second);
                stepped();
            } else if (!mustWait || stepped()) {
                return;
            }
        }
    };
    scanFolder(
        folder,
        [&](const std::string &path, tags::FileKind kind) {
            ahead.add(path, kind);
            handOver(false);
        },
        stepped);
    handOver(true);
}

} // namespace lists
