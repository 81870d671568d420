#include "editing/journalfile.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "editing/journalset.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/scopeguard.h"
#include "platform/temporaryfile.h"

namespace editing {

using journal::RecordType;
using journal::RunKind;
using platform::fileSystem;

namespace {

constexpr off_t PreallocatedSize = 256 * 1024;

// Makes a folder and those above it that are missing.
bool makeFolders(const std::string &folder)
{
    std::string path;
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = folder.find('/', at + 1);
        path = folder.substr(0, at);
        if (path.empty())
            continue;
        struct stat st;
        if (fileSystem().stat(path.c_str(), &st, true) == 0) {
            if (!S_ISDIR(st.st_mode))
                return false;
            continue;
        }
        if (fileSystem().mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

int flockRetrying(int fd, int operation)
{
    int result;
    do
        result = ::flock(fd, operation);
    while (result != 0 && errno == EINTR);
    return result;
}

int openJournal(const std::string &path, int access)
{
    return fileSystem().open(
        path.c_str(), access | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
}

// The process whose written journal is alive: a second object writing would take the lock
// it holds (flock knows no nesting between descriptors) or wait for itself. Journals opened
// only to be read with it (the other folder's, in its journal set) do not count.
std::atomic<pid_t> journalOwner {0};

struct HeldLock final : JournalHold
{
    HeldLock(JournalFile &file, JournalFile::Taking how)
        : lock(file, how)
    { }
    JournalFile::Lock lock;
};

} // namespace

// The wait for the lock in a thread of its own. The thread blocks in flock on a duplicate of
// the journal's descriptor (the same open file, so the lock it gets is the journal's), and
// closes it once it has the lock; it outlives the journal when it must.
struct JournalFile::Waiter
{
    std::mutex mutex;
    std::condition_variable ended;
    bool running = false; // a thread waits in flock
    bool wanted = false;  // and its lock is still wanted
    bool taken = false;   // the lock is had and not yet made a hold
    bool failed = false;
    std::function<void()> onTaken;
};

std::unique_ptr<JournalFile> JournalFile::openIn(const std::string &folder, std::uint64_t sizeBound)
{
    if (folder.empty() || !makeFolders(folder))
        return nullptr;
    const std::string path = platform::AddBackslash(folder) + FileName;
    platform::UniqueFd fd(fileSystem().open(
        path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    struct stat st;
    if (!fd.isValid() || fileSystem().fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    // A full disk lets the file be opened but no record be added: room for the next batches
    // is taken now, past the end (the size stays), so that a full folder counts as one that
    // cannot be written. A file system that cannot do this is taken at its word.
    if (::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, st.st_size, PreallocatedSize) != 0
        && (errno == ENOSPC || errno == EDQUOT))
        return nullptr;
    if (journalOwner.exchange(::getpid()) == ::getpid()) {
        std::fputs("bellwick: a second tag journal in one process\n", stderr);
        std::abort();
    }
    std::unique_ptr<JournalFile> journal(new JournalFile(folder, path, std::move(fd), sizeBound));
    journal->m_owned = true;
    return journal;
}

std::unique_ptr<JournalFile> JournalFile::openExisting(
    const std::string &folder, std::uint64_t sizeBound)
{
    if (folder.empty())
        return nullptr;
    const std::string path = platform::AddBackslash(folder) + FileName;
    platform::UniqueFd fd(
        fileSystem().open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    // A journal on a read-only file system is still read: its batches stay in the history,
    // and undoing one says the journal cannot be written.
    if (!fd.isValid() && (errno == EROFS || errno == EACCES || errno == EPERM))
        fd = platform::UniqueFd(
            fileSystem().open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    struct stat st;
    if (!fd.isValid() || fileSystem().fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    return std::unique_ptr<JournalFile>(new JournalFile(folder, path, std::move(fd), sizeBound));
}

JournalFile::JournalFile(
    std::string folder, std::string path, platform::UniqueFd fd, std::uint64_t sizeBound)
    : m_folder(std::move(folder))
    , m_path(std::move(path))
    , m_fd(std::move(fd))
    , m_sizeBound(sizeBound)
    , m_waiter(std::make_shared<Waiter>())
{ }

JournalFile::~JournalFile()
{
    abandonWait();
    m_batchLock.reset();
    pid_t self = ::getpid();
    if (m_owned)
        journalOwner.compare_exchange_strong(self, 0);
}

JournalFile::Lock::Lock(JournalFile &file, Taking how)
    : m_file(file)
{
    m_file.m_mutex.lock();
    if (m_file.m_depth > 0) {
        ++m_file.m_depth;
        m_held = true;
        return;
    }
    try {
        m_held = m_file.acquire(how);
    } catch (...) {
        m_file.m_mutex.unlock();
        throw;
    }
    if (m_held)
        ++m_file.m_depth;
    else
        m_file.m_mutex.unlock();
}

JournalFile::Lock::~Lock()
{
    if (!m_held)
        return;
    if (--m_file.m_depth == 0)
        m_file.release();
    m_file.m_mutex.unlock();
}

bool JournalFile::acquire(Taking how)
{
    if (how != Taking::Adopt) {
        // A thread still waiting on the journal's descriptor (for a wait given up) shares its
        // lock: that wait ends first, and a lock it got is this one.
        std::unique_lock<std::mutex> waiting(m_waiter->mutex);
        if (how == Taking::Try && m_waiter->running)
            return false;
        m_waiter->ended.wait(waiting, [this] { return !m_waiter->running; });
        if (m_waiter->taken) {
            m_waiter->taken = false;
            how = Taking::Adopt;
        }
    }
    // Compaction renames a new file over the journal; a lock taken on the old one is no lock,
    // so the descriptor is checked against the path once the lock is held (a journal removed
    // by hand is made anew the same way).
    for (;;) {
        if (!m_fd.isValid()) {
            m_fd = platform::UniqueFd(openJournal(m_path, O_RDWR));
            if (!m_fd.isValid())
                throw platform::Error(platform::cannotWriteMessage(m_path), platform::lastError());
        }
        if (how != Taking::Adopt
            && flockRetrying(m_fd.get(), LOCK_EX | (how == Taking::Try ? LOCK_NB : 0)) != 0) {
            if (how == Taking::Try && errno == EWOULDBLOCK)
                return false;
            throw platform::Error(platform::cannotWriteMessage(m_path), platform::lastError());
        }
        struct stat held, named;
        if (fileSystem().fstat(m_fd.get(), &held) != 0) {
            const int error = platform::lastError();
            flockRetrying(m_fd.get(), LOCK_UN);
            throw platform::Error(platform::cannotWriteMessage(m_path), error);
        }
        if (fileSystem().stat(m_path.c_str(), &named, false) == 0 && held.st_dev == named.st_dev
            && held.st_ino == named.st_ino)
            break;
        // Unlocked by name: a forked child may share the descriptor's open file.
        flockRetrying(m_fd.get(), LOCK_UN);
        m_fd.reset();
        if (how == Taking::Adopt)
            return false;
    }
    try {
        refresh();
    } catch (...) {
        release();
        throw;
    }
    return true;
}

void JournalFile::release()
{
    flockRetrying(m_fd.get(), LOCK_UN);
}

std::unique_ptr<JournalHold> JournalFile::hold()
{
    return std::make_unique<HeldLock>(*this, Taking::Wait);
}

std::unique_ptr<JournalHold> JournalFile::tryHold()
{
    auto held = std::make_unique<HeldLock>(*this, Taking::Try);
    return held->lock.held() ? std::move(held) : nullptr;
}

void JournalFile::waitForLock(std::function<void()> taken)
{
    const std::shared_ptr<Waiter> waiter = m_waiter;
    const std::lock_guard<std::mutex> guard(waiter->mutex);
    waiter->wanted = true;
    waiter->onTaken = std::move(taken);
    if (waiter->running)
        return; // the thread of a wait given up goes on for this one
    if (!m_fd.isValid())
        m_fd = platform::UniqueFd(openJournal(m_path, O_RDWR));
    const int fd = m_fd.isValid() ? ::fcntl(m_fd.get(), F_DUPFD_CLOEXEC, 0) : -1;
    if (fd < 0)
        throw platform::Error(platform::cannotWriteMessage(m_path), platform::lastError());
    waiter->running = true;
    waiter->failed = false;
    try {
        std::thread([waiter, fd] {
            const bool got = flockRetrying(fd, LOCK_EX) == 0;
            std::function<void()> call;
            {
                const std::lock_guard<std::mutex> threadGuard(waiter->mutex);
                waiter->running = false;
                if (waiter->wanted) {
                    waiter->taken = got;
                    waiter->failed = !got;
                    call = std::move(waiter->onTaken);
                    waiter->onTaken = nullptr;
                } else if (got) {
                    flockRetrying(fd, LOCK_UN);
                }
                ::close(fd);
                waiter->ended.notify_all();
            }
            if (call)
                call();
        }).detach();
    } catch (const std::system_error &error) {
        ::close(fd);
        waiter->running = false;
        throw platform::Error(platform::cannotWriteMessage(m_path), error.code().value());
    }
}

std::unique_ptr<JournalHold> JournalFile::takeWaited()
{
    {
        const std::lock_guard<std::mutex> guard(m_waiter->mutex);
        if (m_waiter->failed) {
            m_waiter->failed = false;
            throw platform::Error(platform::cannotWriteMessage(m_path));
        }
        if (!m_waiter->taken)
            return nullptr;
        m_waiter->taken = false;
        m_waiter->wanted = false;
    }
    auto held = std::make_unique<HeldLock>(*this, Taking::Adopt);
    return held->lock.held() ? std::move(held) : nullptr;
}

void JournalFile::abandonWait()
{
    const std::lock_guard<std::mutex> guard(m_waiter->mutex);
    m_waiter->wanted = false;
    m_waiter->onTaken = nullptr;
    if (m_waiter->taken) {
        m_waiter->taken = false;
        flockRetrying(m_fd.get(), LOCK_UN);
    }
}

std::uint64_t JournalFile::beginBatch(std::string_view name)
{
    m_batchLock.emplace(*this);
    try {
        return begin(RunKind::Write, 0, name);
    } catch (...) {
        m_batchLock.reset();
        throw;
    }
}

void JournalFile::appendRecords(const std::string &records)
{
    const Lock lock(*this);
    append(records);
}

void JournalFile::endBatch(const std::string &lastRecords)
{
    if (!m_batchLock)
        return;
    const platform::ScopeGuard unlock([this] { m_batchLock.reset(); });
    try {
        append(lastRecords);
        sync();
    } catch (const platform::Error &) {
        // Every Before record is in the journal already: the batch can still be undone, as
        // one cut short is.
    }
}

RestoreResult JournalFile::undo(std::string_view name, IRestoreReport &report)
{
    return restoreLatest({this}, RunKind::Undo, name, report);
}

RestoreResult JournalFile::redo(std::string_view name, IRestoreReport &report)
{
    return restoreLatest({this}, RunKind::Redo, name, report);
}

RestoreResult JournalFile::undoBatch(
    std::uint64_t id, std::string_view name, IRestoreReport &report)
{
    return restoreBatch({this}, id, name, report);
}

void JournalFile::resetModel()
{
    m_modelOf = {};
    m_parsedEnd = 0;
    m_end = 0;
    m_maxId = 0;
    m_batches.clear();
    m_events.clear();
    m_damage.reset();
    m_lastId = 0;
    m_lastTime = 0;
}

void JournalFile::refresh()
{
    struct stat st;
    if (fileSystem().fstat(m_fd.get(), &st) != 0)
        throw platform::Error(platform::cannotOpenMessage(m_path), platform::lastError());
    read(m_fd.get(), st, true);
}

void JournalFile::look()
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    if (m_depth > 0) {
        refresh();
        return;
    }
    // Without the lock: through a descriptor of the file now at the path, reopened when
    // compaction has put a new file there.
    struct stat named, st;
    if (fileSystem().stat(m_path.c_str(), &named, false) != 0) {
        if (errno != ENOENT)
            throw platform::Error(platform::cannotOpenMessage(m_path), platform::lastError());
        resetModel(); // removed by hand: the next hold makes it anew
        return;
    }
    if (!m_readFd.isValid() || fileSystem().fstat(m_readFd.get(), &st) != 0
        || st.st_dev != named.st_dev || st.st_ino != named.st_ino) {
        m_readFd = platform::UniqueFd(
            fileSystem().open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0));
        if (!m_readFd.isValid() || fileSystem().fstat(m_readFd.get(), &st) != 0)
            throw platform::Error(platform::cannotOpenMessage(m_path), platform::lastError());
    }
    read(m_readFd.get(), st, false);
}

void JournalFile::read(int fd, const struct stat &st, bool mayCut)
{
    const Identity of {st.st_dev, st.st_ino};
    if (!(of == m_modelOf) || st.st_size < m_parsedEnd) {
        resetModel(); // another file, or cut short by someone else: read it all anew
        m_modelOf = of;
    }
    m_end = st.st_size;
    if (m_end == m_parsedEnd)
        return;
    const std::int64_t validEnd = journal::readRecords(
        fd, m_path, m_parsedEnd, m_end,
        [this](const journal::Record &record, std::int64_t offset) { take(record, offset); },
        [this](const journal::Damage &damage) { m_damage = damage; });
    if (validEnd < m_end && mayCut) {
        // A torn or damaged tail, left by a writer that was killed: it is never read as
        // records, and is cut off (the lock is held, so no one is writing it) so that what is
        // appended next follows a whole record. Whole records of kinds this reader does not
        // know lie before validEnd and stay.
        if (fileSystem().ftruncate(fd, validEnd) == 0)
            m_end = validEnd;
    }
    m_parsedEnd = validEnd;
}

JournalFile::BatchInfo &JournalFile::batchOf(const journal::Record &record, std::int64_t offset)
{
    const auto [found, isNew] = m_batches.try_emplace(record.id);
    if (isNew) {
        // Its Begin record was damaged: the batch is kept with what its records still
        // tell, marked damaged, its time that of the records before it.
        BatchInfo &info = found->second;
        info.damaged = true;
        info.time = m_lastTime;
        info.stamp = info.acted = m_lastTime * 1000000000;
        info.offset = offset;
    }
    return found->second;
}

void JournalFile::takeDamage(std::uint64_t owner, const journal::Damage &damage)
{
    auto found = m_batches.find(owner);
    if (found != m_batches.end() && found->second.kind != RunKind::Write)
        found = m_batches.find(found->second.target); // a run's damage: its batch loses nothing
    if (found == m_batches.end() || found->second.kind != RunKind::Write
        || (damage.fileRecords == 0 && owner != found->first))
        return;
    BatchInfo &info = found->second;
    info.damaged = info.damaged || damage.fileRecords > 0;
    info.damage.files += damage.fileRecords;
    if (!damage.path.empty())
        info.damage.paths.push_back(damage.path);
}

void JournalFile::take(const journal::Record &record, std::int64_t offset)
{
    m_maxId = std::max(m_maxId, record.id);
    // Damage read before this record belongs to the batch whose records stand around it:
    // the one this record continues, else the one the last record left open.
    std::uint64_t damageOwner = 0;
    if (m_damage) {
        const auto open = [this](std::uint64_t id) {
            const auto found = m_batches.find(id);
            return found == m_batches.end() || !found->second.ended;
        };
        if (record.type != RecordType::Begin && open(record.id))
            damageOwner = record.id;
        else if (m_lastId != 0 && open(m_lastId))
            damageOwner = m_lastId;
    }

    const auto countIn = [this](BatchInfo &info, std::uint64_t id, const std::string &path) {
        info.paths.insert(path);
        if (!info.counted) {
            info.counted = true;
            m_events.push_back({id, false});
        }
    };
    switch (record.type) {
    case RecordType::Begin: {
        BatchInfo &info = m_batches[record.id];
        info.kind = record.begin.kind;
        info.target = record.begin.target;
        info.time = record.begin.time;
        info.stamp = info.acted = record.begin.time * 1000000000;
        m_lastTime = record.begin.time;
        info.name = record.begin.name;
        info.offset = offset;
        // A write batch enters the history with its first file: one that found its files
        // gone wrote nothing, and must neither be offered for undo nor take away a redo.
        info.counted = info.kind != RunKind::Write;
        if (info.counted)
            m_events.push_back({record.id, false});
        if (const auto target = m_batches.find(info.target);
            info.kind != RunKind::Write && target != m_batches.end())
            target->second.acted = info.stamp;
        break;
    }
    case RecordType::Stamp: {
        BatchInfo &info = batchOf(record, offset);
        info.stamp = info.acted = record.stamp.nanoseconds;
        if (info.kind != RunKind::Write) {
            const auto target = m_batches.find(info.target);
            if (target != m_batches.end())
                target->second.acted = record.stamp.nanoseconds;
        }
        break;
    }
    case RecordType::Before:
    case RecordType::Mode:
    case RecordType::Region:
    case RecordType::Rename: {
        BatchInfo &info = batchOf(record, offset);
        if (info.ended || info.kind != RunKind::Write)
            break;
        info.renames = info.renames || record.type == RecordType::Rename;
        countIn(info, record.id,
            record.type == RecordType::Before       ? record.before.path
                : record.type == RecordType::Mode   ? record.mode.path
                : record.type == RecordType::Region ? record.region.path
                                                    : record.rename.path);
        break;
    }
    case RecordType::End: {
        const auto found = m_batches.find(record.id);
        if (found == m_batches.end() || found->second.ended)
            break;
        BatchInfo &info = found->second;
        info.ended = true;
        info.files = info.paths.size();
        info.paths = {};
        if (info.counted)
            m_events.push_back({record.id, true});
        if (info.kind != RunKind::Write) {
            const auto target = m_batches.find(info.target);
            if (target != m_batches.end())
                target->second.leftAlone = info.kind == RunKind::Undo ? info.leftAlone : 0;
        }
        break;
    }
    case RecordType::Restore: {
        const auto found = m_batches.find(record.id);
        if (found != m_batches.end() && !found->second.ended
            && record.restore.action == journal::RestoreAction::LeftAlone)
            ++found->second.leftAlone;
        break;
    }
    case RecordType::After:
    case RecordType::Format:
    case RecordType::Left:
        break;
    }
    m_lastId = record.id;
    if (m_damage && damageOwner != 0)
        takeDamage(damageOwner, *m_damage);
    m_damage.reset();
}

JournalFile::State JournalFile::state() const
{
    State s;
    const auto isWrite = [this](std::uint64_t id) {
        const auto found = m_batches.find(id);
        return found != m_batches.end() && found->second.kind == RunKind::Write;
    };
    for (const Event &event : m_events) {
        const BatchInfo &info = m_batches.at(event.id);
        if (info.kind == RunKind::Write) {
            if (event.isEnd)
                continue;
            // A new write takes away what could be redone. A redo that was cut short has
            // written some of its files: its batch counts as done, so an undo takes it.
            if (s.pending
                && std::find(s.undone.begin(), s.undone.end(), *s.pending) != s.undone.end())
                s.done.push_back(*s.pending);
            s.undone.clear();
            s.pending.reset();
            s.done.push_back(event.id);
            continue;
        }
        if (!isWrite(info.target))
            continue; // its batch was dropped by compaction
        if (!event.isEnd) {
            s.pending = info.target;
            continue;
        }
        s.pending.reset();
        s.done.erase(std::remove(s.done.begin(), s.done.end(), info.target), s.done.end());
        s.undone.erase(std::remove(s.undone.begin(), s.undone.end(), info.target), s.undone.end());
        (info.kind == RunKind::Undo ? s.undone : s.done).push_back(info.target);
        s.lastRun[info.target] = info.kind == RunKind::Undo ? event.id : 0;
    }
    return s;
}

std::optional<std::uint64_t> JournalFile::targetOf(RunKind kind) const
{
    // A run that was cut short is finished first, whichever way it went: both undo and redo
    // take its batch, and each brings every file of it to one side.
    const State s = state();
    const std::vector<std::uint64_t> &list = kind == RunKind::Undo ? s.done : s.undone;
    if (s.pending)
        return s.pending;
    if (list.empty())
        return std::nullopt;
    return list.back();
}

std::optional<std::uint64_t> JournalFile::undoTarget()
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    return targetOf(RunKind::Undo);
}

std::optional<std::uint64_t> JournalFile::redoTarget()
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    return targetOf(RunKind::Redo);
}

BatchSummary JournalFile::summary(std::uint64_t id, const BatchInfo &info, const State &state) const
{
    BatchSummary summary;
    summary.id = id;
    summary.startedAt = info.time;
    summary.name = info.name;
    summary.files = info.ended ? info.files : info.paths.size();
    // Marked by its last finished run alone: a later write takes away the redo, not the mark.
    const auto run = state.lastRun.find(id);
    if (run != state.lastRun.end() && run->second != 0) {
        summary.undone = true;
        summary.leftAlone = m_batches.at(run->second).leftAlone;
    }
    summary.damaged = info.damaged;
    summary.renames = info.renames;
    summary.stamp = info.stamp;
    summary.order = info.acted;
    return summary;
}

std::optional<BatchSummary> JournalFile::summaryOf(std::uint64_t id)
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    const auto found = m_batches.find(id);
    if (found == m_batches.end())
        return std::nullopt;
    return summary(id, found->second, state());
}

std::uint64_t JournalFile::lookedMaxId()
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    return m_maxId;
}

bool JournalFile::hasBatch(std::uint64_t id)
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    const auto found = m_batches.find(id);
    return found != m_batches.end() && found->second.kind == RunKind::Write
        && found->second.counted;
}

BatchDamage JournalFile::damageOf(std::uint64_t id)
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    const auto found = m_batches.find(id);
    return found == m_batches.end() ? BatchDamage {} : found->second.damage;
}

std::int64_t JournalFile::lastActed(std::uint64_t id)
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    const auto found = m_batches.find(id);
    return found == m_batches.end() ? 0 : found->second.acted;
}

std::vector<BatchSummary> JournalFile::partlyUndone()
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    std::vector<BatchSummary> result;
    for (const auto &[id, info] : m_batches) {
        if (info.kind == RunKind::Write && info.leftAlone > 0)
            result.push_back(summary(id, info, state()));
    }
    return result;
}

std::vector<JournalFile::UndoRun> JournalFile::undoRuns()
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    std::vector<UndoRun> result;
    for (const auto &[id, info] : m_batches) {
        if (info.kind != RunKind::Undo || !info.ended)
            continue;
        const auto target = m_batches.find(info.target);
        if (target != m_batches.end())
            result.push_back({info.stamp, target->second.stamp});
    }
    return result;
}

std::optional<BatchSummary> JournalFile::nextUndo()
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    const std::optional<std::uint64_t> id = targetOf(RunKind::Undo);
    std::optional<BatchSummary> next = id ? summaryOf(*id) : std::nullopt;
    if (next)
        next->passesOver = partlyUndoneAbove({this}, *next);
    return next;
}

std::optional<BatchSummary> JournalFile::nextRedo()
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    const std::optional<std::uint64_t> id = targetOf(RunKind::Redo);
    return id ? summaryOf(*id) : std::nullopt;
}

std::vector<BatchSummary> JournalFile::history(std::size_t count)
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    const State s = state();
    std::vector<BatchSummary> result;
    for (auto it = m_batches.rbegin(); it != m_batches.rend() && result.size() < count; ++it) {
        if (it->second.kind != RunKind::Write || !it->second.counted)
            continue;
        result.push_back(summary(it->first, it->second, s));
    }
    return result;
}

std::string JournalFile::batchInProgress()
{
    const std::lock_guard<std::recursive_mutex> guard(m_mutex);
    look();
    // A holder of the lock writes its Begin record first: the newest batch or run, when it
    // has not ended, is what it does (an older one not ended was cut short).
    if (m_batches.empty() || m_batches.rbegin()->second.ended)
        return {};
    return m_batches.rbegin()->second.name;
}

std::uint64_t JournalFile::begin(RunKind kind, std::uint64_t target, std::string_view name)
{
    const std::uint64_t id = std::max(m_maxId, m_idFloor) + 1;
    journal::BeginRecord record;
    record.kind = kind;
    record.target = target;
    record.time = static_cast<std::int64_t>(std::time(nullptr));
    record.name = std::string(name);
    std::string bytes;
    journal::appendBegin(bytes, id, record);
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    journal::appendStamp(
        bytes, id, {std::int64_t(now.tv_sec) * 1000000000 + std::int64_t(now.tv_nsec)});
    append(bytes);
    m_maxId = id;
    return id;
}

void JournalFile::append(const std::string &records)
{
    if (!platform::writeFully(m_fd.get(), records.data(), records.size(), m_end)) {
        const int error = platform::lastError();
        fileSystem().ftruncate(m_fd.get(), m_end);
        throw platform::Error(platform::cannotWriteMessage(m_path), error);
    }
    m_end += static_cast<std::int64_t>(records.size());
}

void JournalFile::sync()
{
    if (fileSystem().fsync(m_fd.get()) != 0)
        throw platform::Error(platform::cannotWriteMessage(m_path), platform::lastError());
    if (static_cast<std::uint64_t>(m_end) <= m_sizeBound)
        return;
    try {
        compact();
    } catch (const platform::Error &) {
        // The records are safe; the journal stays over its bound until a later batch
        // compacts it.
    }
}

void JournalFile::compact()
{
    refresh();
    // Keep the newest batches that fit, and the newest whatever its size: the journal is cut
    // before the oldest batch begin whose records up to the end fit.
    std::int64_t cut = -1;
    std::int64_t newest = -1;
    for (const Event &event : m_events) {
        const BatchInfo &info = m_batches.at(event.id);
        if (event.isEnd || info.kind != RunKind::Write)
            continue;
        newest = info.offset;
        if (cut < 0 && static_cast<std::uint64_t>(m_end - info.offset) <= m_sizeBound)
            cut = info.offset;
    }
    if (cut < 0)
        cut = newest;
    if (cut <= 0)
        return;

    platform::TemporaryFile copy(m_folder);
    if (int error = copy.create(true, 0600); error != 0)
        throw platform::Error(platform::cannotWriteMessage(m_path), error);
    std::string buffer;
    for (std::int64_t at = cut; at < m_end;) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(1 << 20, m_end - at));
        buffer.resize(n);
        if (!platform::readFully(m_fd.get(), buffer.data(), n, at)
            || !platform::writeFully(copy.fd(), buffer.data(), n, at - cut))
            throw platform::Error(platform::cannotWriteMessage(m_path), platform::lastError());
        at += static_cast<std::int64_t>(n);
    }
    if (fileSystem().fsync(copy.fd()) != 0)
        throw platform::Error(platform::cannotWriteMessage(m_path), platform::lastError());
    if (int error = copy.commit(m_path); error != 0)
        throw platform::Error(platform::cannotWriteMessage(m_path), error);
    platform::syncFolder(m_folder);

    // Take the lock on the new file before the old one's is given up, so the hold goes on.
    platform::UniqueFd fresh(
        fileSystem().open(m_path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (!fresh.isValid() || flockRetrying(fresh.get(), LOCK_EX) != 0)
        throw platform::Error(platform::cannotWriteMessage(m_path), platform::lastError());
    flockRetrying(m_fd.get(), LOCK_UN);
    m_fd = std::move(fresh);
    const std::uint64_t maxId = m_maxId;
    resetModel();
    refresh();
    m_maxId = std::max(m_maxId, maxId);
}

std::vector<journal::RenameRecord> JournalFile::renamesOf(std::uint64_t id)
{
    refresh();
    std::vector<journal::RenameRecord> renames;
    const auto found = m_batches.find(id);
    if (found == m_batches.end() || !found->second.renames)
        return renames;
    journal::readRecords(m_fd.get(), m_path, found->second.offset, m_end,
        [&](const journal::Record &record, std::int64_t) {
            if (record.id == id && record.type == RecordType::Rename)
                renames.push_back(record.rename);
        });
    return renames;
}

std::vector<BatchFile> JournalFile::filesOf(std::uint64_t id)
{
    refresh();
    std::vector<BatchFile> files;
    const auto found = m_batches.find(id);
    if (found == m_batches.end())
        return files;
    // The batch's own records, then those of the runs on it: what the last of them left
    // of each file, and a mode a run cut short had changed.
    const auto isRunOnIt = [this, id](std::uint64_t other) {
        const auto run = m_batches.find(other);
        return run != m_batches.end() && run->second.kind != RunKind::Write
            && run->second.target == id;
    };
    std::map<std::string, std::size_t> byPath;
    std::size_t order = 0;
    const auto entry = [&](const std::string &path) -> BatchFile * {
        const auto at = byPath.find(path);
        return at == byPath.end() ? nullptr : &files[at->second];
    };
    journal::readRecords(m_fd.get(), m_path, found->second.offset, m_end,
        [&](const journal::Record &record, std::int64_t) {
            const bool own = record.id == id;
            if (!own && !isRunOnIt(record.id))
                return;
            switch (record.type) {
            case RecordType::Before: {
                if (!own)
                    return;
                BatchFile *file = entry(record.before.path);
                if (!file || file->modeOnly) {
                    if (!file) {
                        byPath.emplace(record.before.path, files.size());
                        files.push_back({});
                        file = &files.back();
                    }
                    file->first = record.before;
                    file->modeOnly.reset();
                }
                file->last = record.before;
                file->order = order++;
                file->left.reset();
                return;
            }
            case RecordType::Mode: {
                BatchFile *file = entry(record.mode.path);
                if (!own) {
                    if (file)
                        file->runMode = record.mode;
                    return;
                }
                if (file)
                    return; // its Before record has the mode already
                byPath.emplace(record.mode.path, files.size());
                BatchFile added;
                added.first.path = added.last.path = record.mode.path;
                added.modeOnly = record.mode;
                added.order = order++;
                files.push_back(std::move(added));
                return;
            }
            case RecordType::Region: {
                if (!own)
                    return;
                BatchFile *file = entry(record.region.path);
                if (!file) {
                    byPath.emplace(record.region.path, files.size());
                    files.push_back({});
                    file = &files.back();
                    file->first.path = file->last.path = record.region.path;
                    file->regionFirst = record.region;
                }
                file->regionLast = record.region;
                file->order = order++;
                file->left.reset();
                return;
            }
            case RecordType::Left:
                if (BatchFile *file = entry(record.left.path)) {
                    file->left = record.left;
                    file->runMode.reset();
                }
                return;
            case RecordType::Restore:
                if (BatchFile *file = entry(record.restore.path);
                    file && record.restore.action != journal::RestoreAction::LeftAlone)
                    file->left.reset();
                return;
            default:
                return;
            }
        });
    std::sort(files.begin(), files.end(),
        [](const BatchFile &a, const BatchFile &b) { return a.order > b.order; });
    return files;
}

} // namespace editing
