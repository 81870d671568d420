// Undo and redo of the replacement of a file's ID3v2 tag region, file by file.

#include "editing/regionundo.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "editing/journalfile.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "tags/tagfile.h"
#include "tags/tagregion.h"

namespace editing {

namespace {

using journal::RegionRecord;
using journal::RestoreAction;
using platform::fileSystem;

const char *const ChangedMessage = "書き込みの後で変更されています";
const char *const GoneMessage = "見つかりません";

RegionRestore leftAlone(const std::string &path, LeftAloneFile::Why why,
    platform::PathMessage message,
    RegionRestore::Outcome outcome = RegionRestore::Outcome::LeftAlone)
{
    RegionRestore result;
    result.outcome = outcome;
    result.file = {path, why, std::move(message)};
    return result;
}

// Whether `now` is, page by page, `first` or `second`: a write of equal regions that a kill
// stopped part way.
bool tornBetween(const std::string &now, const std::string &first, const std::string &second)
{
    if (now.size() != first.size() || now.size() != second.size())
        return false;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    for (std::size_t at = 0; at < now.size(); at += page) {
        const std::size_t n = std::min(page, now.size() - at);
        if (now.compare(at, n, first, at, n) != 0 && now.compare(at, n, second, at, n) != 0)
            return false;
    }
    return true;
}

bool isFileLeft(const struct stat &st, const journal::LeftRecord &left)
{
    return st.st_dev == dev_t(left.device) && st.st_ino == ino_t(left.inode)
        && st.st_size == left.size && st.st_mtim.tv_sec == left.mtimeSeconds
        && st.st_mtim.tv_nsec == left.mtimeNanoseconds;
}

} // namespace

RegionRestore restoreRegion(const BatchFile &file, bool undo, IRegionRestoreJournal &journal)
{
    const RegionRecord &first = *file.regionFirst;
    const RegionRecord &last = *file.regionLast;
    const std::string &path = first.path;
    // The side the file is to leave and the side it is to reach.
    const std::string &from = undo ? last.newRegion : first.oldRegion;
    const std::int64_t fromSize = undo ? last.newSize : first.size;
    const std::string &to = undo ? first.oldRegion : last.newRegion;
    const std::int64_t toSize = undo ? first.size : last.newSize;

    struct stat st;
    if (fileSystem().stat(path.c_str(), &st, true) != 0) {
        const bool gone = errno == ENOENT || errno == ENOTDIR;
        journal.decided(path, RestoreAction::LeftAlone);
        return gone
            ? leftAlone(path, LeftAloneFile::Why::Gone, {GoneMessage, {}, {}})
            : leftAlone(path, LeftAloneFile::Why::Failed, platform::cannotOpenMessage(path));
    }
    const auto changed = [&] {
        journal.decided(path, RestoreAction::LeftAlone);
        return leftAlone(path, LeftAloneFile::Why::Changed, {ChangedMessage, {}, {}});
    };
    if (!S_ISREG(st.st_mode) || (file.left && !isFileLeft(st, *file.left)))
        return changed();

    struct stat opened;
    platform::UniqueFd fd = platform::openRegularFile(path.c_str(), O_RDONLY, &opened);
    if (!fd.isValid()) {
        journal.decided(path, RestoreAction::LeftAlone);
        return leftAlone(path, LeftAloneFile::Why::Failed, platform::cannotOpenMessage(path));
    }
    const std::size_t span = std::max(from.size(), to.size());
    std::string now(
        static_cast<std::size_t>(std::min<std::int64_t>(opened.st_size, std::int64_t(span))), '\0');
    tags::Block tail {};
    const bool read = platform::readFully(fd.get(), now.data(), now.size(), 0)
        && (!first.hasTail || opened.st_size < std::int64_t(tags::BlockSize)
            || platform::readFully(
                fd.get(), tail.data(), tail.size(), opened.st_size - off_t(tags::BlockSize)));
    fd.close();
    if (!read || (first.hasTail && tail != first.tail))
        return changed();

    const auto startsWith
        = [&now](const std::string &region) { return now.compare(0, region.size(), region) == 0; };
    tags::TTagRecord tag;
    if (first.hasTail && tags::isFileTag(first.tail))
        tag = tags::parseTag(first.tail);
    if (opened.st_size == toSize && startsWith(to)) {
        journal.decided(path, RestoreAction::AlreadyDone);
        RegionRestore done;
        done.outcome = RegionRestore::Outcome::AlreadyDone;
        done.tag = tag;
        return done;
    }
    tags::TagRegionChange change;
    change.newRegion = to;
    change.fileSize = opened.st_size;
    if (first.hasTail)
        change.tail = first.tail;
    if (opened.st_size == fromSize && startsWith(from)) {
        change.oldRegion = from;
    } else if (fromSize == toSize && opened.st_size == fromSize
        && tornBetween(now.substr(0, to.size()), from, to)) {
        change.oldRegion = now.substr(0, to.size());
    } else {
        return changed();
    }

    journal.decided(path, RestoreAction::Restore);
    try {
        tags::replaceTagRegion(path, change);
    } catch (const platform::Error &error) {
        return leftAlone(
            path, LeftAloneFile::Why::Failed, error.message(), RegionRestore::Outcome::Failed);
    }
    // An undo gives back the time the file had before the batch; a redo leaves its own.
    platform::UniqueFd after = platform::openRegularFile(path.c_str(), O_RDONLY, &opened);
    if (after.isValid()) {
        if (undo) {
            const timespec times[2] = {{0, UTIME_OMIT},
                {static_cast<time_t>(first.mtimeSeconds),
                    static_cast<long>(first.mtimeNanoseconds)}};
            if (fileSystem().futimens(after.get(), times) == 0)
                fileSystem().fstat(after.get(), &opened);
        }
        journal.left(path, opened);
    }
    RegionRestore done;
    done.tag = tag;
    return done;
}

} // namespace editing
