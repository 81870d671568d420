#include "editing/tagjournal.h"

#include <cstdlib>
#include <optional>

#include "editing/journalfile.h"
#include "editing/journalset.h"
#include "platform/error.h"
#include "platform/paths.h"

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

} // namespace

std::vector<std::string> journalFolders()
{
    std::vector<std::string> folders;
    for (const std::string &base :
        {baseFolder("XDG_STATE_HOME", "/.local/state"), baseFolder("XDG_CACHE_HOME", "/.cache")})
        folders.push_back(base.empty() ? base : base + "/bellwick");
    return folders;
}

std::unique_ptr<ITagJournal> ITagJournal::open()
{
    const std::vector<std::string> folders = journalFolders();
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (folders[i].empty())
            continue;
        std::unique_ptr<JournalFile> written = JournalFile::openIn(folders[i]);
        if (!written)
            continue;
        // The other folder's journal, when there is one or once there is, holds batches of
        // the same history.
        std::vector<std::unique_ptr<JournalFile>> files;
        files.push_back(std::move(written));
        return std::make_unique<JournalSet>(std::move(files), folders[1 - i]);
    }
    return nullptr;
}

std::string lostFilesMessage(std::size_t count)
{
    return "履歴が壊れています: " + std::to_string(count) + " 個のファイルは戻せません";
}

// Records each write of a batch: the Before record goes to the journal before the file is
// touched; the After record waits to go with the next file's Before (or the batch's end),
// so that a file costs the journal one append. An After record lost with a killed process
// costs nothing: the Before record holds the block written. The journal's lock is held from the
// batch's begin to its end, so that its records follow one another and a file costs no locking;
// another process's batch or undo waits for the end of this one.
struct JournaledTagWriter::Impl final : tags::IWriteObserver
{
    std::shared_ptr<ITagJournal> journal;
    std::function<bool()> mayWriteWithoutJournal;
    HoldJournal holdJournal;
    bool inBatch = false;
    std::uint64_t id = 0;
    std::uint32_t writes = 0;
    // The After record that waits to go with the next one, then the records going now; kept
    // from file to file, so that a file costs no allocation.
    std::string records;
    std::unique_ptr<JournalHold> hold; // while a batch is open, when taken through holdJournal

    // Appends the records in `records`; on failure those added after `waiting` are dropped.
    void appendNow(const std::size_t waiting)
    {
        try {
            journal->appendRecords(records);
        } catch (...) {
            records.resize(waiting);
            throw;
        }
        records.clear();
    }

    void aboutToChangeMode(
        const std::string &path, const struct stat &status, mode_t newMode) override
    {
        const std::size_t waiting = records.size();
        journal::appendMode(records, id,
            {platform::absolutePath(path), static_cast<std::uint64_t>(status.st_dev),
                static_cast<std::uint64_t>(status.st_ino),
                static_cast<std::uint32_t>(status.st_mode), static_cast<std::uint32_t>(newMode)});
        appendNow(waiting);
    }

    void aboutToWrite(const std::string &path, const struct stat &status, const tags::Block *tail,
        bool appends, const tags::Block &block) override
    {
        journal::BeforeRecord record;
        record.path = platform::absolutePath(path);
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
        const std::size_t waiting = records.size();
        journal::appendBefore(records, id, record);
        appendNow(waiting);
        ++writes;
        lastPath = std::move(record.path);
    }

    void written(const std::string &, off_t newSize, const struct stat *after) override
    {
        records.clear();
        journal::appendAfter(records, id, {writes - 1, newSize});
        if (after)
            journal::appendLeft(records, id,
                {lastPath, static_cast<std::uint64_t>(after->st_dev),
                    static_cast<std::uint64_t>(after->st_ino), after->st_size,
                    after->st_mtim.tv_sec, after->st_mtim.tv_nsec});
    }

    std::string lastPath; // of the last Before record

    bool journaling() const { return inBatch && journal; }
};

JournaledTagWriter::JournaledTagWriter(std::shared_ptr<ITagJournal> journal,
    std::function<bool()> mayWriteWithoutJournal, HoldJournal holdJournal)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->journal = std::move(journal);
    m_impl->mayWriteWithoutJournal = std::move(mayWriteWithoutJournal);
    m_impl->holdJournal = std::move(holdJournal);
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
    if (!m_impl->journal) {
        if (!m_impl->mayWriteWithoutJournal || !m_impl->mayWriteWithoutJournal())
            return false;
        m_impl->inBatch = true;
        return true;
    }
    if (m_impl->holdJournal) {
        m_impl->hold = m_impl->holdJournal(*m_impl->journal);
        if (!m_impl->hold)
            return false;
    }
    try {
        m_impl->id = m_impl->journal->beginBatch(name);
    } catch (...) {
        m_impl->hold.reset();
        throw;
    }
    m_impl->writes = 0;
    m_impl->records.clear();
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
    journal::appendEnd(m_impl->records, m_impl->id);
    m_impl->journal->endBatch(m_impl->records);
    m_impl->records.clear();
    m_impl->hold.reset();
}

} // namespace editing
