#include "tags/tagfile.h"

#include <sys/stat.h>

#include <cerrno>

#include <fcntl.h>

#include "platform/error.h"
#include "platform/filemode.h"
#include "platform/filesystem.h"
#include "platform/pathwatch.h"
#include "platform/scopeguard.h"

namespace tags {

using platform::fileSystem;

TTagRecord ReadTag(const std::string &path, FileKind kind)
{
    TTagRecord record;
    struct stat st;
    // Devices are never opened: their type is checked first.
    if (kind != FileKind::Regular
        && (fileSystem().stat(path.c_str(), &st, true) != 0 || !S_ISREG(st.st_mode)))
        throw platform::Error(platform::cannotOpenMessage(path));
    platform::UniqueFd fd = platform::openRegularFile(path.c_str(), O_RDONLY, &st);
    if (!fd.isValid())
        throw platform::Error(platform::cannotOpenMessage(path));
    if (st.st_size < static_cast<off_t>(BlockSize))
        return record;
    Block block;
    if (!platform::readFully(fd.get(), block.data(), BlockSize, st.st_size - BlockSize))
        return record;
    return isFileTag(block) ? parseTag(block) : record;
}

WriteOutcome WriteTagBlock(
    const std::string &path, const BlockBuilder &build, IWriteObserver *observer)
{
    // Told on every way out: even a failed write may have changed the file for a moment.
    const platform::ScopeGuard told([&path] { platform::tellPathChanged(path); });
    struct stat st;
    // Only a file that is not there is missing; a link loop, a path too long or a folder
    // that cannot be searched is a file that cannot be opened.
    if (fileSystem().stat(path.c_str(), &st, true) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return WriteOutcome::FileMissing;
        throw platform::Error(platform::cannotOpenMessage(path));
    }
    if (!S_ISREG(st.st_mode))
        throw platform::Error(platform::cannotOpenMessage(path));

    const mode_t formerMode = st.st_mode;
    if (observer && !(st.st_mode & S_IWUSR))
        observer->aboutToChangeMode(path, st, (st.st_mode & 07777) | S_IWUSR);
    platform::ScopedWritableMode writable(path, st.st_mode);
    platform::UniqueFd fd = platform::openRegularFile(path.c_str(), O_RDWR, &st);
    if (!fd.isValid())
        throw platform::Error(platform::cannotOpenMessage(path));

    // Decide from the bytes on this descriptor, never from sizes taken earlier. A failed
    // read is not "no tag": appending then would leave two tags.
    const off_t size = st.st_size;
    std::optional<Block> present;
    Block tail;
    if (size >= static_cast<off_t>(BlockSize)) {
        if (!platform::readFully(fd.get(), tail.data(), BlockSize, size - BlockSize))
            throw platform::Error(platform::cannotWriteMessage(path));
        if (isFileTag(tail))
            present = tail;
    }
    const off_t at = present ? size - static_cast<off_t>(BlockSize) : size;
    Block block = build(present);
    if (present)
        keepTrackNumber(*present, block);
    if (observer) {
        struct stat before = st;
        before.st_mode = formerMode;
        observer->aboutToWrite(
            path, before, size >= static_cast<off_t>(BlockSize) ? &tail : nullptr, !present, block);
    }

    if (!platform::writeFully(fd.get(), block.data(), BlockSize, at)) {
        // Put the file back as it was: cut an append back, rewrite the old tag in place,
        // and give it its former times, since nothing of it has changed.
        if (present)
            platform::writeFully(fd.get(), present->data(), BlockSize, at);
        else
            fileSystem().ftruncate(fd.get(), size);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        fileSystem().futimens(fd.get(), times);
        throw platform::Error(platform::cannotWriteMessage(path));
    }
    struct stat after
    {
    };
    const bool known = observer && fileSystem().fstat(fd.get(), &after) == 0;
    if (!fd.close())
        throw platform::Error(platform::cannotWriteMessage(path));
    if (observer)
        observer->written(path, at + static_cast<off_t>(BlockSize), known ? &after : nullptr);
    return WriteOutcome::Written;
}

WriteOutcome WriteTagBlock(const std::string &path, const Block &block, IWriteObserver *observer)
{
    return WriteTagBlock(
        path, [&block](const std::optional<Block> &) { return block; }, observer);
}

WriteOutcome WriteTagBlock(const std::string &path, const TagMerge &merge, IWriteObserver *observer)
{
    return WriteTagBlock(
        path, [&merge](const std::optional<Block> &present) { return mergedBlock(present, merge); },
        observer);
}

} // namespace tags
