#include "platform/filesystem.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

int PosixFileSystem::open(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

int PosixFileSystem::openat(int dirFd, const char *name, int flags, mode_t mode)
{
    return ::openat(dirFd, name, flags, mode);
}

int PosixFileSystem::stat(const char *path, struct stat *st, bool followLinks)
{
    return followLinks ? ::stat(path, st) : ::lstat(path, st);
}

int PosixFileSystem::lstatAt(int dirFd, const char *name, struct stat *st)
{
    return ::fstatat(dirFd, name, st, AT_SYMLINK_NOFOLLOW);
}

int PosixFileSystem::fstat(int fd, struct stat *st)
{
    return ::fstat(fd, st);
}

ssize_t PosixFileSystem::pread(int fd, void *buf, size_t n, off_t at)
{
    return ::pread(fd, buf, n, at);
}

ssize_t PosixFileSystem::pwrite(int fd, const void *buf, size_t n, off_t at)
{
    return ::pwrite(fd, buf, n, at);
}

int PosixFileSystem::ftruncate(int fd, off_t size)
{
    return ::ftruncate(fd, size);
}

int PosixFileSystem::fsync(int fd)
{
    return ::fsync(fd);
}

int PosixFileSystem::close(int fd)
{
    return ::close(fd);
}

int PosixFileSystem::rename(const char *from, const char *to)
{
    return ::rename(from, to);
}

int PosixFileSystem::renameat2(
    int fromDir, const char *from, int toDir, const char *to, unsigned flags)
{
    return ::renameat2(fromDir, from, toDir, to, flags);
}

int PosixFileSystem::unlink(const char *path)
{
    return ::unlink(path);
}

int PosixFileSystem::unlinkAt(int dirFd, const char *name)
{
    return ::unlinkat(dirFd, name, 0);
}

int PosixFileSystem::mkdir(const char *path, mode_t mode)
{
    return ::mkdir(path, mode);
}

int PosixFileSystem::chmod(const char *path, mode_t mode)
{
    return ::chmod(path, mode);
}

int PosixFileSystem::fchmod(int fd, mode_t mode)
{
    return ::fchmod(fd, mode);
}

int PosixFileSystem::futimens(int fd, const struct timespec times[2])
{
    return ::futimens(fd, times);
}

int PosixFileSystem::linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    return ::linkat(fromDir, from, toDir, to, flags);
}

ssize_t PosixFileSystem::copyFileRange(int in, off_t *inAt, int out, off_t *outAt, size_t n)
{
    return ::copy_file_range(in, inAt, out, outAt, n, 0);
}

DIR *PosixFileSystem::opendir(const char *path)
{
    return ::opendir(path);
}

namespace {
PosixFileSystem posixFileSystem;
IFileSystem *currentFileSystem = &posixFileSystem;
} // namespace

IFileSystem &fileSystem()
{
    return *currentFileSystem;
}

ScopedFileSystem::ScopedFileSystem(IFileSystem &replacement)
    : m_previous(currentFileSystem)
{
    currentFileSystem = &replacement;
}

ScopedFileSystem::~ScopedFileSystem()
{
    currentFileSystem = m_previous;
}

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other) {
        reset();
        m_fd = other.release();
    }
    return *this;
}

int UniqueFd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void UniqueFd::reset()
{
    if (m_fd >= 0) {
        const int savedErrno = errno;
        fileSystem().close(m_fd);
        errno = savedErrno;
        m_fd = -1;
    }
}

bool UniqueFd::close()
{
    if (m_fd < 0)
        return true;
    const int fd = release();
    return fileSystem().close(fd) == 0;
}

UniqueFd openRegularFile(const char *path, int flags, struct stat *st)
{
    UniqueFd fd(fileSystem().open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.isValid())
        return fd;
    if (fileSystem().fstat(fd.get(), st) != 0)
        return UniqueFd();
    if (!S_ISREG(st->st_mode)) {
        fd.reset();
        errno = S_ISDIR(st->st_mode) ? EISDIR : ENXIO;
        return fd;
    }
    return fd;
}

bool readFully(int fd, void *buf, size_t n, off_t at)
{
    auto *p = static_cast<char *>(buf);
    while (n > 0) {
        const ssize_t got = fileSystem().pread(fd, p, n, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<size_t>(got);
        at += got;
    }
    return true;
}

bool writeFully(int fd, const void *buf, size_t n, off_t at)
{
    const auto *p = static_cast<const char *>(buf);
    while (n > 0) {
        const ssize_t put = fileSystem().pwrite(fd, p, n, at);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        n -= static_cast<size_t>(put);
        at += put;
    }
    return true;
}

namespace {

bool isFile(const struct stat &st, dev_t device, ino_t inode)
{
    return st.st_dev == device && st.st_ino == inode;
}

// Where renameat2 does not take its flag (NFS, 9p, some FUSE): linkat never replaces a name,
// and on NFS it is atomic; the old name goes once the new one is there.
int linkThenUnlink(int folder, const char *from, const char *to)
{
    IFileSystem &fs = fileSystem();
    if (fs.linkat(folder, from, folder, to, 0) != 0)
        return errno;
    if (fs.unlinkAt(folder, from) != 0) {
        const int error = errno;
        fs.unlinkAt(folder, to);
        return error;
    }
    return 0;
}

} // namespace

long long birthTime(const char *path)
{
    struct statx st;
    if (::statx(AT_FDCWD, path, AT_SYMLINK_NOFOLLOW, STATX_BTIME, &st) != 0
        || !(st.stx_mask & STATX_BTIME))
        return 0;
    return static_cast<long long>(st.stx_btime.tv_sec) * 1000000000 + st.stx_btime.tv_nsec;
}

int renameWithoutReplacing(const char *from, const char *to, dev_t device, ino_t inode)
{
    return renameWithoutReplacingAt(AT_FDCWD, from, to, device, inode);
}

int renameWithoutReplacingAt(
    int folder, const char *from, const char *to, dev_t device, ino_t inode)
{
    IFileSystem &fs = fileSystem();
    struct stat st;
    if (fs.lstatAt(folder, from, &st) != 0)
        return errno;
    if (!isFile(st, device, inode))
        return NotTheExpectedFile;
    if (fs.renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    if (error != EEXIST && error != EINVAL && error != ENOSYS)
        return error;
    // The new name already names this very file and no other name does: a change of case on
    // a file system that ignores case.
    if (fs.lstatAt(folder, to, &st) == 0 && isFile(st, device, inode) && st.st_nlink == 1)
        return fs.renameat2(folder, from, folder, to, 0) == 0 ? 0 : errno;
    if (error == EEXIST)
        return EEXIST;
    return linkThenUnlink(folder, from, to);
}

} // namespace platform
