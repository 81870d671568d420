#pragma once

#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/pathwatch.h"
#include "tags/id3v1.h"

namespace tags {

// Reading and writing the last 128 bytes of a file. Only regular files are opened; a FIFO,
// device, socket or folder named like an audio file counts as a file that cannot be opened.

enum class FileKind { Unknown, Regular };

// The tag of the file at `path`, or the empty record when it has none (a file that ends
// with an APE tag footer has none), is shorter than 128 bytes, or its tail cannot be read.
// Throws platform::Error with "ファイル %s は開けません" when the file cannot be opened.
// `kind` Regular says the caller already knows the entry is a regular file (from the folder
// listing), which saves a stat.
TTagRecord ReadTag(const std::string &path, FileKind kind = FileKind::Unknown);

enum class WriteOutcome { Written, FileMissing };

// Builds the block to write from the file's present tag (none when the file has no tag).
using BlockBuilder = std::function<Block(const std::optional<Block> &presentTag)>;

// Told what a write is about to do and, once done, what it did, so that a record of it can
// be kept before anything about the file changes. aboutToChangeMode comes first when a
// read-only file is to get owner write for the write (`status` as it is, `newMode` the
// mode it is to have meanwhile). The status given to aboutToWrite is as it was before the
// write (its mode before owner write was added for it); `tail` is its last 128 bytes, null
// when it has fewer; `appends` says the block goes after them rather than over them. An
// exception thrown by either leaves the file as it was: nothing is changed. `written` gets
// the file's status once the block is in it (null when it could not be taken).
class IWriteObserver
{
public:
    virtual ~IWriteObserver() = default;
    virtual void aboutToChangeMode(
        const std::string &path, const struct stat &status, mode_t newMode)
        = 0;
    virtual void aboutToWrite(const std::string &path, const struct stat &status, const Block *tail,
        bool appends, const Block &block)
        = 0;
    virtual void written(const std::string &path, off_t newSize, const struct stat *after) = 0;
};

// Writes a block over the file's tag, or appends it when the file has none. The decision is
// taken from the bytes read on the same descriptor that is then written, so a file changed
// by another program since the scan still ends with exactly one tag. A file that ends with
// an APE tag footer has no ID3v1 tag: the block goes after the APE tag. An ID3v1.1 track
// number in the replaced tag is kept while the new comment fits in 28 bytes
// (keepTrackNumber). The file is never shortened, nothing before its last 128 bytes
// changes, and its mode is restored (a read-only file is written and read-only again).
// Gives FileMissing when the file does not exist (nothing written). Throws platform::Error
// with "ファイル %s は開けません" when it cannot be opened for writing, and with
// "%s に書き込めません" when its tail cannot be read or the write did not complete; in both
// cases the file is left as it was (a partial append is cut back).
WriteOutcome WriteTagBlock(
    const std::string &path, const BlockBuilder &build, IWriteObserver *observer = nullptr);
WriteOutcome WriteTagBlock(
    const std::string &path, const Block &block, IWriteObserver *observer = nullptr);
WriteOutcome WriteTagBlock(
    const std::string &path, const TagMerge &merge, IWriteObserver *observer = nullptr);

// Every path WriteTagBlock has been at is a changed path (platform/pathwatch.h), told once
// the call is over, written or not. For code that only cares about tags, a watcher of
// changed paths under the name of written tags.
class IWriteWatcher : public platform::IPathWatcher
{
public:
    virtual void tagWritten(const std::string &path) = 0;

private:
    void pathChanged(const std::string &path) final { tagWritten(path); }
};
inline void addWriteWatcher(IWriteWatcher &watcher)
{
    platform::addPathWatcher(watcher);
}
inline void removeWriteWatcher(IWriteWatcher &watcher)
{
    platform::removePathWatcher(watcher);
}
// Tells the watchers that something other than WriteTagBlock wrote a file's tail.
inline void tellWriteWatchers(const std::string &path)
{
    platform::tellPathChanged(path);
}

} // namespace tags
