#include "editing/tagjournal.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

#include <unistd.h>

#include "editing/journalfile.h"
#include "platform/error.h"
#include "platform/scopeguard.h"

namespace editing {

namespace {

// $NAME when it is an absolute path, else the folder below the home folder.
std::string baseFolder(const char *name, const char *belowHome)
{
    const char *value = std::getenv(name);
    if (value && value[0] == '/')
        return value;
    const char *home = std::getenv("HOME");
    if (!home || home[0] != '/')
        return {};
    return std::string(home) + belowHome;
}

std::string absolutePath(const std::string &path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    std::string cwd(4096, '\0');
    while (!::getcwd(cwd.data(), cwd.size())) {
        if (errno != ERANGE)
            throw platform::Error(platform::cannotOpenMessage(path), errno);
        cwd.resize(cwd.size() * 2);
    }
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
    return cwd == "/" ? cwd + path : cwd + "/" + path;
}

} // namespace

std::unique_ptr<TagJournal> TagJournal::open()
{
    for (const std::string &base :
        {baseFolder("XDG_STATE_HOME", "/.local/state"), baseFolder("XDG_CACHE_HOME", "/.cache")}) {
        if (base.empty())
            continue;
        if (std::unique_ptr<JournalFile> journal = JournalFile::openIn(base + "/bellwick"))
            return journal;
    }
    return nullptr;
}

// Records each write of a batch: the Before record goes to the journal before the file is
// touched; the After record waits to go with the next file's Before (or the batch's end),
// so that a file costs the journal one append. The journal's lock is held from the batch's
// begin to its end, so that its records follow one another and a file costs no locking;
// another process's batch or undo waits for the end of this one.
struct JournaledTagWriter::Impl final : tags::IWriteObserver
{
    std::shared_ptr<TagJournal> journal;
    JournalFile *file = nullptr;
    std::function<bool()> mayWriteWithoutJournal;
    bool inBatch = false;
    std::uint64_t id = 0;
    std::uint32_t writes = 0;
    std::string pendingAfter;
    std::optional<JournalFile::Lock> batchLock;

    void aboutToWrite(const std::string &path, const struct stat &status, const tags::Block *tail,
        bool appends, const tags::Block &block) override
    {
        journal::BeforeRecord record;
        record.path = absolutePath(path);
        record.device = status.st_dev;
        record.inode = status.st_ino;
        record.size = status.st_size;
        record.mode = status.st_mode;
        record.mtimeSeconds = status.st_mtim.tv_sec;
        record.mtimeNanoseconds = status.st_mtim.tv_nsec;
        record.hasTail = tail != nullptr;
        if (tail)
            record.tail = *tail;
        record.appends = appends;
        record.block = block;
        std::string bytes = std::move(pendingAfter);
        pendingAfter.clear();
        journal::appendBefore(bytes, id, record);
        const JournalFile::Lock lock(*file);
        file->append(bytes);
        ++writes;
    }

    void written(const std::string &, off_t newSize) override
    {
        pendingAfter.clear();
        journal::appendAfter(pendingAfter, id, {writes - 1, newSize});
    }

    bool journaling() const { return inBatch && file; }
};

JournaledTagWriter::JournaledTagWriter(
    std::shared_ptr<TagJournal> journal, std::function<bool()> mayWriteWithoutJournal)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->file = dynamic_cast<JournalFile *>(journal.get());
    m_impl->journal = std::move(journal);
    m_impl->mayWriteWithoutJournal = std::move(mayWriteWithoutJournal);
}

JournaledTagWriter::~JournaledTagWriter()
{
    endBatch();
}

tags::WriteOutcome JournaledTagWriter::write(const std::string &path, const tags::Block &block)
{
    return tags::WriteTagBlock(path, block, m_impl->journaling() ? m_impl.get() : nullptr);
}

tags::WriteOutcome JournaledTagWriter::write(const std::string &path, const tags::TagMerge &merge)
{
    return tags::WriteTagBlock(path, merge, m_impl->journaling() ? m_impl.get() : nullptr);
}

bool JournaledTagWriter::beginBatch(std::string_view name)
{
    endBatch();
    if (!m_impl->file) {
        if (!m_impl->mayWriteWithoutJournal || !m_impl->mayWriteWithoutJournal())
            return false;
        m_impl->inBatch = true;
        return true;
    }
    m_impl->batchLock.emplace(*m_impl->file);
    try {
        m_impl->id = m_impl->file->begin(journal::RunKind::Write, 0, name);
    } catch (...) {
        m_impl->batchLock.reset();
        throw;
    }
    m_impl->writes = 0;
    m_impl->pendingAfter.clear();
    m_impl->inBatch = true;
    return true;
}

void JournaledTagWriter::endBatch()
{
    if (!m_impl->journaling()) {
        m_impl->inBatch = false;
        return;
    }
    m_impl->inBatch = false;
    std::string bytes = std::move(m_impl->pendingAfter);
    m_impl->pendingAfter.clear();
    journal::appendEnd(bytes, m_impl->id);
    const platform::ScopeGuard unlock([this] { m_impl->batchLock.reset(); });
    try {
        m_impl->file->append(bytes);
        m_impl->file->sync();
    } catch (const platform::Error &) {
        // Called on every way out of a batch, so it cannot throw. Every Before record is in
        // the journal already: the batch can still be undone, as one cut short is.
    }
}

} // namespace editing
