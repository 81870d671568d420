// Undo and redo of a batch of tag writes, file by file, from the journal.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "editing/restorerun.h"

#include "editing/journalfile.h"
#include "editing/journalset.h"
#include "editing/regionundo.h"
#include "editing/renameundo.h"
#include "editing/tagjournal.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/scopeguard.h"
#include "tags/tagfile.h"

namespace editing {

namespace {

using journal::BeforeRecord;
using journal::RestoreAction;
using journal::RunKind;
using platform::fileSystem;

constexpr std::size_t Size = tags::BlockSize;

const char *const ChangedMessage = "書き込みの後で変更されています";
const char *const GoneMessage = "見つかりません";

std::string bytesOf(const tags::Block &block)
{
    return std::string(block.data(), block.size());
}

// Whether `now` is `first` up to a page boundary and `second` after it: a 128-byte write
// at `at` that a crash stopped at that boundary.
bool tornBetween(
    const std::string &now, const std::string &first, const std::string &second, std::int64_t at)
{
    const auto page = static_cast<std::int64_t>(::sysconf(_SC_PAGESIZE));
    const std::int64_t boundary = (at / page + 1) * page;
    const std::int64_t split = boundary - at;
    if (split <= 0 || split >= std::int64_t(Size))
        return false;
    const auto k = static_cast<std::size_t>(split);
    return now.compare(0, k, first, 0, k) == 0
        && now.compare(k, Size - k, second, k, Size - k) == 0;
}

// What a file is now: as before the batch, as the batch left it, or with a write between the
// two torn at a page boundary by a crash (the bytes of one side up to the boundary, the
// other's after it; for an append, the old bytes and the block up to the boundary).
enum class Found { Before, After, Torn, Other };

Found compare(int fd, std::int64_t size, const BatchFile &file)
{
    const BeforeRecord &first = file.first;
    const std::int64_t at = first.writeAt();
    const std::string block = bytesOf(file.last.block);
    std::string now;
    if (const std::int64_t readable = std::min<std::int64_t>(size - at, Size); readable > 0) {
        now.resize(static_cast<std::size_t>(readable));
        if (!platform::readFully(fd, now.data(), now.size(), at))
            return Found::Other;
    }
    if (size == file.last.sizeAfter() && now == block)
        return Found::After;
    if (size == first.size) {
        if (!first.appends) {
            const std::string before = bytesOf(first.tail);
            if (now == before)
                return Found::Before;
            return now.size() == Size
                    && (tornBetween(now, before, block, at) || tornBetween(now, block, before, at))
                ? Found::Torn
                : Found::Other;
        }
        if (!first.hasTail)
            return Found::Before;
        std::string tail(Size, '\0');
        if (platform::readFully(fd, tail.data(), Size, first.size - std::int64_t(Size))
            && tail == bytesOf(first.tail))
            return Found::Before;
        return Found::Other;
    }
    // Only an append changes the size: cut at a page boundary within the block it added.
    const auto page = static_cast<std::int64_t>(::sysconf(_SC_PAGESIZE));
    if (!first.appends)
        return Found::Other;
    return size > first.size && size < file.last.sizeAfter() && size % page == 0
            && block.compare(0, now.size(), now) == 0
        ? Found::Torn
        : Found::Other;
}

bool sameTime(const struct stat &st, std::int64_t seconds, std::int64_t nanoseconds)
{
    return st.st_mtim.tv_sec == seconds && st.st_mtim.tv_nsec == nanoseconds;
}

// Whether the file is the one the batch (or the last run on it) left: the same file, and,
// when what the last write or restore left was recorded, its size and time to the
// nanosecond too. Without that record (a kill came first) the bytes decide alone.
bool isFileLeft(const struct stat &st, const BatchFile &file)
{
    if (file.left)
        return st.st_dev == dev_t(file.left->device) && st.st_ino == ino_t(file.left->inode)
            && st.st_size == file.left->size
            && sameTime(st, file.left->mtimeSeconds, file.left->mtimeNanoseconds);
    return st.st_dev == dev_t(file.first.device) && st.st_ino == ino_t(file.first.inode);
}

class RestoreRun
{
public:
    RestoreRun(std::vector<JournalFile *> journals, RunKind kind, std::string_view name,
        IRestoreReport &report)
        : m_journals(std::move(journals))
        , m_kind(kind)
        , m_name(name)
        , m_report(report)
    { }

    // Takes the newest batch (or the one undone last), or batch `only` when given.
    RestoreResult run(std::optional<std::uint64_t> only = std::nullopt)
    {
        RestoreResult result;
        const JournalLocks locks(m_journals);
        const std::optional<JournalTarget> target
            = only ? batchNamed(*only) : latestTarget(m_journals, m_kind == RunKind::Undo);
        if (!target) {
            result.nothingToDo = true;
            return result;
        }
        if (!only && m_kind == RunKind::Undo)
            tellPassingOver(*target);
        m_journal = target->file;
        result.batch = target->id;
        const BatchDamage damage = m_journal->damageOf(target->id);
        result.lost = damage.files;
        result.lostPaths = damage.paths;
        std::vector<BatchFile> files = m_journal->filesOf(target->id);
        if (m_kind == RunKind::Redo)
            std::reverse(files.begin(), files.end());
        // Ids stay apart from those of the other folder's journal, so that a batch number
        // names one batch.
        for (JournalFile *other : m_journals)
            m_journal->keepIdsAbove(other->maxId());
        m_id = m_journal->begin(m_kind, target->id, m_name);
        if (const std::vector<journal::RenameRecord> renames = m_journal->renamesOf(target->id);
            !renames.empty()) {
            const auto record = [this](const std::string &path, RestoreAction action) {
                this->record(path, action);
            };
            if (!restoreRenames(renames, m_kind, record, m_report, result)) {
                flush();
                return result;
            }
            files.clear();
        }
        std::size_t done = 0;
        for (const BatchFile &file : files) {
            if (m_report.stopRequested()) {
                flush();
                return result; // no End: the next run takes the same batch and finishes it
            }
            restoreFile(file, result);
            m_report.progress({++done, files.size(), file.first.path});
        }
        journal::appendEnd(m_waiting, m_id);
        flush();
        m_journal->sync();
        return result;
    }

private:
    std::optional<JournalTarget> batchNamed(std::uint64_t id)
    {
        std::optional<JournalTarget> found;
        for (JournalFile *file : m_journals) {
            if (file->hasBatch(id) && (!found || file->lastActed(id) > found->file->lastActed(id)))
                found = JournalTarget {file, id};
        }
        return found;
    }

    // A plain undo that goes on past a batch whose undo left files alone says so first.
    void tellPassingOver(const JournalTarget &target)
    {
        const auto next = target.file->summaryOf(target.id);
        if (!next)
            return;
        const std::vector<BatchSummary> partly = partlyUndoneAbove(m_journals, *next);
        if (!partly.empty())
            m_report.passingOver(partly.front(), *next);
    }

    void flush()
    {
        if (m_waiting.empty())
            return;
        m_journal->append(m_waiting);
        m_waiting.clear();
    }

    // Records go to the journal before the change they announce; a Left record waits to go
    // with the next one.
    void record(const std::string &path, RestoreAction action)
    {
        journal::appendRestore(m_waiting, m_id, {path, action});
        flush();
    }

    void leftAlone(RestoreResult &result, const std::string &path, LeftAloneFile::Why why,
        platform::PathMessage message)
    {
        record(path, RestoreAction::LeftAlone);
        result.leftAlone.push_back({path, why, std::move(message)});
    }

    void noteLeft(const std::string &path, int fd)
    {
        struct stat st;
        if (fileSystem().fstat(fd, &st) != 0)
            return;
        journal::appendLeft(m_waiting, m_id,
            {path, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec});
    }

    // A file the batch only made writable, killed before its record of the write: its mode
    // goes back on undo, when it is the same file with the mode the batch gave it.
    void restoreMode(const BatchFile &file, const struct stat &st, RestoreResult &result)
    {
        const journal::ModeRecord &noted = *file.modeOnly;
        const std::string &path = noted.path;
        const mode_t now = st.st_mode & 07777;
        if (m_kind != RunKind::Undo || now == (noted.mode & 07777)) {
            record(path, RestoreAction::AlreadyDone);
            ++result.restored;
            return;
        }
        if (st.st_dev != dev_t(noted.device) || st.st_ino != ino_t(noted.inode)
            || now != (noted.newMode & 07777)) {
            leftAlone(result, path, LeftAloneFile::Why::Changed, {ChangedMessage, {}, {}});
            return;
        }
        record(path, RestoreAction::Restore);
        if (fileSystem().chmod(path.c_str(), noted.mode & 07777) != 0) {
            result.leftAlone.push_back(
                {path, LeftAloneFile::Why::Failed, platform::cannotWriteMessage(path)});
            return;
        }
        ++result.restored;
    }

    // A file whose tag region the batch replaced: regionundo.cpp decides and acts, through
    // this run's journal.
    void restoreRegionFile(const BatchFile &file, RestoreResult &result)
    {
        struct Steps final : IRegionRestoreJournal
        {
            RestoreRun &run;
            explicit Steps(RestoreRun &r)
                : run(r)
            { }
            void decided(const std::string &path, RestoreAction action) override
            {
                run.record(path, action);
            }
            void left(const std::string &path, const struct stat &st) override
            {
                journal::appendLeft(run.m_waiting, run.m_id,
                    {path, static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino), st.st_size, st.st_mtim.tv_sec,
                        st.st_mtim.tv_nsec});
            }
        } steps(*this);
        RegionRestore outcome = restoreRegion(file, m_kind == RunKind::Undo, steps);
        switch (outcome.outcome) {
        case RegionRestore::Outcome::LeftAlone:
        case RegionRestore::Outcome::Failed:
            result.leftAlone.push_back(std::move(outcome.file));
            return;
        case RegionRestore::Outcome::Restored:
        case RegionRestore::Outcome::AlreadyDone:
            ++result.restored;
            // The rows show the ID3v1 tag, which the region's restore leaves as it is.
            if (file.regionFirst->hasTail)
                m_report.restored({file.first.path, outcome.tag});
            return;
        }
    }

    void restoreFile(const BatchFile &file, RestoreResult &result)
    {
        if (file.regionFirst) {
            restoreRegionFile(file, result);
            return;
        }
        const std::string &path = file.first.path;
        const bool undo = m_kind == RunKind::Undo;
        const BeforeRecord &first = file.first;
        const std::int64_t at = first.writeAt();

        struct stat st;
        if (fileSystem().stat(path.c_str(), &st, true) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                leftAlone(result, path, LeftAloneFile::Why::Gone, {GoneMessage, {}, {}});
            else
                leftAlone(
                    result, path, LeftAloneFile::Why::Failed, platform::cannotOpenMessage(path));
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            leftAlone(result, path, LeftAloneFile::Why::Changed, {ChangedMessage, {}, {}});
            return;
        }
        if (file.modeOnly) {
            restoreMode(file, st, result);
            return;
        }
        if (!isFileLeft(st, file)) {
            leftAlone(result, path, LeftAloneFile::Why::Changed, {ChangedMessage, {}, {}});
            return;
        }
        // A read-only file is written as a tag write writes it: owner write added for the
        // write, noted first, then the mode put back (an undo puts back the mode the journal
        // recorded; a run cut short after making the file writable noted the mode before).
        bool wrote = false;
        const platform::ScopeGuard told([&] {
            if (wrote)
                tags::tellWriteWatchers(path);
        });
        const mode_t currentMode = st.st_mode & 07777;
        const mode_t formerMode = file.runMode && (file.runMode->newMode & 07777) == currentMode
            ? mode_t(file.runMode->mode & 07777)
            : currentMode;
        bool madeWritable = false;
        if (!(currentMode & S_IWUSR)) {
            journal::appendMode(m_waiting, m_id,
                {path, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                    static_cast<std::uint32_t>(currentMode),
                    static_cast<std::uint32_t>(currentMode | S_IWUSR)});
            flush();
            if (fileSystem().chmod(path.c_str(), currentMode | S_IWUSR) != 0) {
                leftAlone(
                    result, path, LeftAloneFile::Why::Failed, platform::cannotOpenMessage(path));
                return;
            }
            madeWritable = true;
        }
        mode_t finalMode = formerMode;
        const platform::ScopeGuard putModeBack([&] {
            if (madeWritable || finalMode != currentMode)
                fileSystem().chmod(path.c_str(), finalMode);
        });

        struct stat opened;
        platform::UniqueFd fd = platform::openRegularFile(path.c_str(), O_RDWR, &opened);
        if (!fd.isValid()) {
            leftAlone(result, path, LeftAloneFile::Why::Failed, platform::cannotOpenMessage(path));
            return;
        }
        if (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
            leftAlone(result, path, LeftAloneFile::Why::Changed, {ChangedMessage, {}, {}});
            return;
        }
        const Found found = compare(fd.get(), opened.st_size, file);
        if (found == Found::Other) {
            leftAlone(result, path, LeftAloneFile::Why::Changed, {ChangedMessage, {}, {}});
            return;
        }
        const bool already = found == (undo ? Found::Before : Found::After);
        record(path, already ? RestoreAction::AlreadyDone : RestoreAction::Restore);
        bool ok = true;
        if (!already) {
            wrote = true;
            if (undo && first.appends)
                ok = fileSystem().ftruncate(fd.get(), first.size) == 0;
            else if (undo)
                ok = platform::writeFully(fd.get(), first.tail.data(), Size, at);
            else
                ok = platform::writeFully(fd.get(), file.last.block.data(), Size, at);
        }
        if (ok && undo) {
            // The time the file had before the batch, only on a file restored whole; a redo
            // leaves the time of the redo.
            const timespec times[2] = {{0, UTIME_OMIT},
                {static_cast<time_t>(first.mtimeSeconds),
                    static_cast<long>(first.mtimeNanoseconds)}};
            ok = fileSystem().futimens(fd.get(), times) == 0;
            finalMode = first.mode & 07777;
        }
        if (ok)
            noteLeft(path, fd.get());
        ok = fd.close() && ok;
        if (!ok) {
            result.leftAlone.push_back(
                {path, LeftAloneFile::Why::Failed, platform::cannotWriteMessage(path)});
            return;
        }
        ++result.restored;
        tags::TTagRecord tag;
        const tags::Block &tail = undo ? first.tail : file.last.block;
        if (!(undo && first.appends) && tags::isFileTag(tail))
            tag = tags::parseTag(tail);
        m_report.restored({path, tag});
    }

    std::vector<JournalFile *> m_journals;
    JournalFile *m_journal = nullptr;
    RunKind m_kind;
    std::string_view m_name;
    IRestoreReport &m_report;
    std::uint64_t m_id = 0;
    std::string m_waiting;
};

} // namespace

RestoreResult restoreLatest(const std::vector<JournalFile *> &journals, RunKind kind,
    std::string_view name, IRestoreReport &report)
{
    if (journals.empty()) {
        RestoreResult none;
        none.nothingToDo = true;
        return none;
    }
    return RestoreRun(journals, kind, name, report).run();
}

RestoreResult restoreBatch(const std::vector<JournalFile *> &journals, std::uint64_t id,
    std::string_view name, IRestoreReport &report)
{
    if (journals.empty()) {
        RestoreResult none;
        none.nothingToDo = true;
        return none;
    }
    return RestoreRun(journals, RunKind::Undo, name, report).run(id);
}

} // namespace editing
