// Undo and redo of a batch of tag writes, file by file, from the journal.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "editing/journalfile.h"
#include "editing/tagjournal.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/scopeguard.h"

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

class RestoreRun
{
public:
    RestoreRun(JournalFile &journal, RunKind kind, IRestoreReport &report)
        : m_journal(journal)
        , m_kind(kind)
        , m_report(report)
    { }

    RestoreResult run()
    {
        RestoreResult result;
        const JournalFile::Lock lock(m_journal);
        const std::optional<std::uint64_t> target
            = m_kind == RunKind::Undo ? m_journal.undoTarget() : m_journal.redoTarget();
        if (!target) {
            result.nothingToDo = true;
            return result;
        }
        std::vector<BatchFile> files = m_journal.filesOf(*target);
        if (m_kind == RunKind::Redo)
            std::reverse(files.begin(), files.end());
        m_id = m_journal.begin(m_kind, *target, {});
        std::size_t done = 0;
        for (const BatchFile &file : files) {
            if (m_report.stopRequested())
                return result; // no End: the next run takes the same batch and finishes it
            restoreFile(file, result);
            m_report.progress({++done, files.size(), file.first.path});
        }
        std::string end;
        journal::appendEnd(end, m_id);
        m_journal.append(end);
        m_journal.sync();
        return result;
    }

private:
    void record(const std::string &path, RestoreAction action)
    {
        std::string bytes;
        journal::appendRestore(bytes, m_id, {path, action});
        m_journal.append(bytes);
    }

    void leftAlone(RestoreResult &result, const std::string &path, LeftAloneFile::Why why,
        platform::PathMessage message)
    {
        record(path, RestoreAction::LeftAlone);
        result.leftAlone.push_back({path, why, std::move(message)});
    }

    void restoreFile(const BatchFile &file, RestoreResult &result)
    {
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
        // A read-only file is written as a tag write writes it: owner write added for the
        // write, then the mode put back (an undo puts back the mode the journal recorded).
        bool wrote = false;
        const platform::ScopeGuard told([&] {
            if (wrote)
                tags::tellWriteWatchers(path);
        });
        const mode_t currentMode = st.st_mode & 07777;
        bool madeWritable = false;
        if (!(currentMode & S_IWUSR)) {
            if (fileSystem().chmod(path.c_str(), currentMode | S_IWUSR) != 0) {
                leftAlone(
                    result, path, LeftAloneFile::Why::Failed, platform::cannotOpenMessage(path));
                return;
            }
            madeWritable = true;
        }
        mode_t finalMode = currentMode;
        const platform::ScopeGuard putModeBack([&] {
            if (madeWritable || finalMode != currentMode)
                fileSystem().chmod(path.c_str(), finalMode);
        });

        platform::UniqueFd fd = platform::openRegularFile(path.c_str(), O_RDWR, &st);
        if (!fd.isValid()) {
            leftAlone(result, path, LeftAloneFile::Why::Failed, platform::cannotOpenMessage(path));
            return;
        }
        const Found found = compare(fd.get(), st.st_size, file);
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
            // The time the file had before the batch; a redo leaves the time of the redo.
            const timespec times[2] = {{0, UTIME_OMIT},
                {static_cast<time_t>(first.mtimeSeconds),
                    static_cast<long>(first.mtimeNanoseconds)}};
            ok = fileSystem().futimens(fd.get(), times) == 0;
            finalMode = first.mode & 07777;
        }
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

    JournalFile &m_journal;
    RunKind m_kind;
    IRestoreReport &m_report;
    std::uint64_t m_id = 0;
};

JournalFile &fileOf(TagJournal &journal)
{
    auto *file = dynamic_cast<JournalFile *>(&journal);
    if (!file)
        throw platform::Error(platform::cannotOpenMessage(journal.path()));
    return *file;
}

} // namespace

RestoreResult undoLatest(TagJournal &journal, IRestoreReport &report)
{
    return RestoreRun(fileOf(journal), RunKind::Undo, report).run();
}

RestoreResult redoLatest(TagJournal &journal, IRestoreReport &report)
{
    return RestoreRun(fileOf(journal), RunKind::Redo, report).run();
}

} // namespace editing
