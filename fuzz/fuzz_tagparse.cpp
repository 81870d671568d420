// The tag parse and the tag write on a file tail of any 0..300 bytes, held in memory: a
// tag read back and rendered gives the same 128 bytes, and writing it changes nothing; a
// blank comment keeps an ID3v1.1 track number; a file without a tag (or ending with an APE
// tag footer) reads as the empty record and gains exactly one block at its end.

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>

#include "fuzz/targets.h"
#include "platform/filesystem.h"
#include "tags/tagfile.h"

namespace fuzz {

namespace {

// One regular file in memory behind the file-system seam; every other path is missing.
class MemoryFile final : public platform::PosixFileSystem
{
public:
    static constexpr int Fd = 1000;
    std::string path;
    std::string bytes;

    int open(const char *p, int, mode_t) override { return p == path ? Fd : fail(ENOENT); }
    int stat(const char *p, struct stat *st, bool) override
    {
        return p == path ? fstat(Fd, st) : fail(ENOENT);
    }
    int fstat(int fd, struct stat *st) override
    {
        if (fd != Fd)
            return fail(EBADF);
        *st = {};
        st->st_mode = S_IFREG | 0644;
        st->st_size = static_cast<off_t>(bytes.size());
        return 0;
    }
    ssize_t pread(int fd, void *buf, size_t n, off_t at) override
    {
        if (fd != Fd || at < 0)
            return fail(EINVAL);
        const auto from = std::min(bytes.size(), static_cast<size_t>(at));
        const size_t got = std::min(n, bytes.size() - from);
        std::memcpy(buf, bytes.data() + from, got);
        return static_cast<ssize_t>(got);
    }
    ssize_t pwrite(int fd, const void *buf, size_t n, off_t at) override
    {
        if (fd != Fd || at < 0)
            return fail(EINVAL);
        const auto from = static_cast<size_t>(at);
        if (bytes.size() < from + n)
            bytes.resize(from + n, '\0');
        std::memcpy(bytes.data() + from, buf, n);
        return static_cast<ssize_t>(n);
    }
    int ftruncate(int fd, off_t size) override
    {
        if (fd != Fd)
            return fail(EBADF);
        bytes.resize(static_cast<size_t>(size), '\0');
        return 0;
    }
    int close(int fd) override { return fd == Fd ? 0 : fail(EBADF); }
    int chmod(const char *, mode_t) override { return 0; }

private:
    static int fail(int error)
    {
        errno = error;
        return -1;
    }
};

std::string bytesOf(const tags::Block &block)
{
    return std::string(block.data(), block.size());
}

} // namespace

bool tagParse(const std::uint8_t *data, std::size_t size)
{
    MemoryFile file;
    file.path = "/music/a.mp3";
    file.bytes.assign(reinterpret_cast<const char *>(data), std::min<std::size_t>(size, 300));
    const std::string before = file.bytes;
    platform::ScopedFileSystem installed(file);

    const tags::TTagRecord record = tags::ReadTag(file.path);
    const std::size_t length = before.size();
    // A file that ends with an APE tag footer (version 1000 or 2000) has no ID3v1 tag.
    const bool apeFooter = length >= 32 && before.compare(length - 32, 8, "APETAGEX") == 0
        && (before.compare(length - 24, 4, "\xe8\x03\0\0", 4) == 0
            || before.compare(length - 24, 4, "\xd0\x07\0\0", 4) == 0);
    const bool tagged = length >= tags::BlockSize && !apeFooter
        && before.compare(length - tags::BlockSize, 3, tags::HeaderText) == 0;
    if (!tagged) {
        if (!(record == tags::TTagRecord()))
            return false;
        const tags::Block block = tags::completeBlock({});
        if (tags::WriteTagBlock(file.path, block) != tags::WriteOutcome::Written)
            return false;
        return file.bytes == before + bytesOf(block);
    }
    tags::CompleteTag tag;
    tag.texts = {record.Title, record.Artist, record.Album, record.Year, record.Comment};
    tag.genre = record.Genre;
    const tags::Block rendered = tags::completeBlock(tag);
    if (bytesOf(rendered) != before.substr(before.size() - tags::BlockSize))
        return false;
    if (tags::WriteTagBlock(file.path, rendered) != tags::WriteOutcome::Written)
        return false;
    if (file.bytes != before)
        return false;
    // A blank comment keeps an ID3v1.1 track number (a zero, then a byte not zero), and
    // changes nothing else of a comment.
    const char mark = before[length - 3], track = before[length - 2];
    tag.texts[static_cast<std::size_t>(tags::TextField::Comment)].clear();
    if (tags::WriteTagBlock(file.path, tags::completeBlock(tag)) != tags::WriteOutcome::Written)
        return false;
    std::string expected = before;
    const bool v11 = mark == '\0' && track != '\0';
    expected.replace(
        length - 31, 30, std::string(28, ' ') + (v11 ? std::string {'\0', track} : "  "));
    return file.bytes == expected;
}

} // namespace fuzz
