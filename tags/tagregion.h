#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
// original, with the original's mode and, where allowed, its owner, group and extended
// attributes. A rewritten
// file is a new file: another hard link to the old one keeps the old content.
//
// Throws platform::Error with the reason when the file cannot be opened, has changed since
// it was read, cannot be written, or the check fails; the original is then as it was.
// The read-ahead is told of the path on every way out.
void replaceTagRegion(const std::string &path, const TagRegionChange &change,
    const TagRegionCheck &check = {}, ITagRegionObserver *observer = nullptr);

struct PendingRewrite;

// Tag region replacements of many files, flushed to disk together: each rewritten file is
// written and checked at once, then one flush of the file system covers a group of them
// before each is renamed over its original, as replaceTagRegion does. Writes in place are
// done at once. Files still pending when the batch is dropped are left as they were.
class TagRegionBatch final
{
public:
    struct Failure
    {
        std::string path;
        std::string message;
    };

    explicit TagRegionBatch(ITagRegionObserver *observer = nullptr, std::size_t groupSize = 32);
    ~TagRegionBatch();
    TagRegionBatch(const TagRegionBatch &) = delete;
    TagRegionBatch &operator=(const TagRegionBatch &) = delete;

    // Throws platform::Error for a file that fails before it waits for its group; a file
    // that fails later is among the failures.
    void add(
        const std::string &path, const TagRegionChange &change, const TagRegionCheck &check = {});
    // Puts every pending file in place and gives the files that failed since the start.
    std::vector<Failure> finish();

private:
    void flush();

    ITagRegionObserver *m_observer;
    std::size_t m_groupSize;
    std::vector<std::unique_ptr<PendingRewrite>> m_pending;
    std::vector<Failure> m_failures;
};

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
    // Four lanes of eight bytes each, mixed independently so that the processor overlaps
    // them; a block is 32 bytes.
    void mix(const unsigned char *block);
    std::uint64_t m_lanes[4] = {
        0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull, 0x27D4EB2F165667C5ull};
    unsigned char m_pending[32] = {};
    std::size_t m_pendingBytes = 0;
    std::uint64_t m_length = 0;
};

} // namespace tags
