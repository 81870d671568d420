#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "tags/id3v1.h"

namespace tags {

// Replacing the region at a file's start that holds its ID3v2 tag (empty when it has none),
// leaving every byte after it as it was.

// What a replacement expects to find and what it puts there. The file must still be as it
// was read: `oldRegion` at its start, `fileSize` bytes long and `tail` (when given) as its
// last 128 bytes; a file changed since is left alone.
struct TagRegionChange
{
    std::string oldRegion;
    std::string newRegion;
    off_t fileSize = 0;
    std::optional<Block> tail;

    // Equal sizes: the new region is written over the old one. Else the file is rewritten.
    bool inPlace() const { return oldRegion.size() == newRegion.size(); }
};

// Told before the one step that changes the file (the write in place, or the rename of the
// rewritten file over it), and once it is done, so that a record of it can be kept. `status`
// is the file's as it was before. An exception thrown by aboutToReplace leaves the file as
// it was.
class ITagRegionObserver
{
public:
    virtual ~ITagRegionObserver() = default;
    virtual void aboutToReplace(
        const std::string &path, const struct stat &status, const TagRegionChange &change)
        = 0;
    virtual void replaced(const std::string &path) = 0;
};

// Checks a region as it was read back; gives why it is wrong, or empty.
using TagRegionCheck = std::function<std::string(std::string_view region)>;

// Puts `change.newRegion` in place of `change.oldRegion` at the start of the file at `path`
// (a symbolic link is followed: the file it names is changed).
//
// In place it is one write of the region. Otherwise the whole new file is written into a
// temporary file in the same folder (the new region, then the rest of the old file copied
// unchanged), flushed to disk, read back and checked: the region by `check`, the bytes
// after it against the old file's by a running hash. Only then is it renamed over the
// original, with the original's mode and, where allowed, its owner and group. A rewritten
// file is a new file: another hard link to the old one keeps the old content.
//
// Throws platform::Error with the reason when the file cannot be opened, has changed since
// it was read, cannot be written, or the check fails; the original is then as it was.
// The read-ahead is told of the path on every way out.
void replaceTagRegion(const std::string &path, const TagRegionChange &change,
    const TagRegionCheck &check = {}, ITagRegionObserver *observer = nullptr);

// The file a path names, symbolic links followed (the path itself when it cannot be resolved):
// a rewrite replaces that file, never the link.
std::string linkTarget(const std::string &path);

// A 64-bit hash of a byte stream given in pieces of any size, to compare two copies of it.
class RunningHash
{
public:
    void add(std::string_view bytes);
    std::uint64_t value() const;

private:
    void mix(std::uint64_t word);
    std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
    std::uint64_t m_pending = 0;
    std::size_t m_pendingBytes = 0;
    std::uint64_t m_length = 0;
};

} // namespace tags
