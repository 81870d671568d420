#include "editing/journalfile.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include <fcntl.h>

#include "editing/journalset.h"
#include "platform/error.h"
#include "platform/paths.h"
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

} // namespace

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
    return std::unique_ptr<JournalFile>(new JournalFile(folder, path, std::move(fd), sizeBound));
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
{ }

JournalFile::Lock::Lock(JournalFile &file)
    : m_file(file)
{
    m_file.m_mutex.lock();
    if (m_file.m_depth++ > 0)
        return;
    try {
        m_file.acquire();
    } catch (...) {
        --m_file.m_depth;
        m_file.m_mutex.unlock();
        throw;
    }
}

JournalFile::Lock::~Lock()
{
    if (--m_file.m_depth == 0)
        m_file.release();
    m_file.m_mutex.unlock();
}

void JournalFile::acquire()
{
    // Compaction renames a new file over the journal; a lock taken on the old one is no lock,
    // so the descriptor is checked against the path once the lock is held (a journal removed
    // by hand is made anew the same way).
    for (;;) {
        if (!m_fd.isValid()) {
            m_fd = platform::UniqueFd(fileSystem().open(
                m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
            resetModel();
            if (!m_fd.isValid())
                throw platform::Error(platform::cannotWriteMessage(m_path), platform::lastError());
        }
        if (flockRetrying(m_fd.get(), LOCK_EX) != 0)
            throw platform::Error(platform::cannotWriteMessage(m_path), platform::lastError());
        struct stat held, named;
        if (fileSystem().fstat(m_fd.get(), &held) != 0) {
            const int error = platform::lastError();
            flockRetrying(m_fd.get(), LOCK_UN);
            throw platform::Error(platform::cannotWriteMessage(m_path), error);
        }
        if (fileSystem().stat(m_path.c_str(), &named, false) == 0 && held.st_dev == named.st_dev
            && held.st_ino == named.st_ino) {
            m_end = held.st_size;
            break;
        }
        m_fd.reset();
    }
    try {
        refresh();
    } catch (...) {
        release();
        throw;
    }
}

void JournalFile::release()
{
    flockRetrying(m_fd.get(), LOCK_UN);
}

void JournalFile::resetModel()
{
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
    m_end = st.st_size;
    if (m_end < m_parsedEnd) {
        resetModel(); // cut short by someone else: read it all anew
        m_end = st.st_size;
    }
    if (m_end == m_parsedEnd)
        return;
    const std::int64_t validEnd = journal::readRecords(
        m_fd.get(), m_path, m_parsedEnd, m_end,
        [this](const journal::Record &record, std::int64_t offset) { take(record, offset); },
        [this](const journal::Damage &damage) { m_damage = damage; });
    if (validEnd < m_end) {
        // A torn or damaged tail, left by a writer that was killed: it is never read as
        // records, and is cut off (the lock is held, so no one is writing it) so that what is
        // appended next follows a whole record.
        if (fileSystem().ftruncate(m_fd.get(), validEnd) == 0)
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
    case RecordType::Mode: {
        BatchInfo &info = batchOf(record, offset);
        if (info.ended || info.kind != RunKind::Write)
            break;
        countIn(info, record.id,
            record.type == RecordType::Before ? record.before.path : record.mode.path);
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
        if (found != m_batches.end() && record.restore.action == journal::RestoreAction::LeftAlone)
            ++found->second.leftAlone;
        break;
    }
    case RecordType::After:
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
    }
    return s;
}

std::optional<std::uint64_t> JournalFile::undoTarget()
{
    refresh();
    // A run that was cut short is finished first, whichever way it went: both undo and redo
    // take its batch, and each brings every file of it to one side.
    const State s = state();
    if (s.pending)
        return s.pending;
    if (s.done.empty())
        return std::nullopt;
    return s.done.back();
}

std::optional<std::uint64_t> JournalFile::redoTarget()
{
    refresh();
    const State s = state();
    if (s.pending)
        return s.pending;
    if (s.undone.empty())
        return std::nullopt;
    return s.undone.back();
}

BatchSummary JournalFile::summary(std::uint64_t id, const BatchInfo &info) const
{
    BatchSummary summary;
    summary.id = id;
    summary.startedAt = info.time;
    summary.name = info.name;
    summary.files = info.ended ? info.files : info.paths.size();
    summary.damaged = info.damaged;
    summary.leftAlone = info.leftAlone;
    summary.stamp = info.stamp;
    summary.order = info.acted;
    return summary;
}

std::optional<BatchSummary> JournalFile::summaryOf(std::uint64_t id)
{
    refresh();
    const auto found = m_batches.find(id);
    if (found == m_batches.end())
        return std::nullopt;
    BatchSummary result = summary(id, found->second);
    const State s = state();
    result.undone = std::find(s.undone.begin(), s.undone.end(), id) != s.undone.end();
    return result;
}

bool JournalFile::hasBatch(std::uint64_t id)
{
    refresh();
    const auto found = m_batches.find(id);
    return found != m_batches.end() && found->second.kind == RunKind::Write
        && found->second.counted;
}

BatchDamage JournalFile::damageOf(std::uint64_t id)
{
    refresh();
    const auto found = m_batches.find(id);
    return found == m_batches.end() ? BatchDamage {} : found->second.damage;
}

std::int64_t JournalFile::lastActed(std::uint64_t id)
{
    refresh();
    const auto found = m_batches.find(id);
    return found == m_batches.end() ? 0 : found->second.acted;
}

std::vector<BatchSummary> JournalFile::partlyUndone()
{
    refresh();
    std::vector<BatchSummary> result;
    for (const auto &[id, info] : m_batches) {
        if (info.kind == RunKind::Write && info.leftAlone > 0)
            result.push_back(summary(id, info));
    }
    return result;
}

std::vector<JournalFile::UndoRun> JournalFile::undoRuns()
{
    refresh();
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
    const Lock lock(*this);
    const std::optional<std::uint64_t> id = undoTarget();
    std::optional<BatchSummary> next = id ? summaryOf(*id) : std::nullopt;
    if (next)
        next->passesOver = partlyUndoneAbove({this}, *next);
    return next;
}

std::optional<BatchSummary> JournalFile::nextRedo()
{
    const Lock lock(*this);
    const std::optional<std::uint64_t> id = redoTarget();
    return id ? summaryOf(*id) : std::nullopt;
}

std::vector<BatchSummary> JournalFile::history(std::size_t count)
{
    const Lock lock(*this);
    refresh();
    const State s = state();
    std::vector<BatchSummary> result;
    for (auto it = m_batches.rbegin(); it != m_batches.rend() && result.size() < count; ++it) {
        if (it->second.kind != RunKind::Write || !it->second.counted)
            continue;
        BatchSummary entry = summary(it->first, it->second);
        entry.undone = std::find(s.undone.begin(), s.undone.end(), it->first) != s.undone.end();
        result.push_back(std::move(entry));
    }
    return result;
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
    m_fd = std::move(fresh);
    const std::uint64_t maxId = m_maxId;
    resetModel();
    refresh();
    m_maxId = std::max(m_maxId, maxId);
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
