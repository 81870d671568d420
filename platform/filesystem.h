#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <dirent.h>

namespace platform {

// Every file-system call the core makes, one method per POSIX call with POSIX results
// (-1 and errno on failure). The program uses the POSIX implementation; tests install a
// double that fails chosen calls.
struct IFileSystem
{
    virtual ~IFileSystem() = default;
    virtual int open(const char *path, int flags, mode_t mode = 0) = 0;
    virtual int openat(int dirFd, const char *name, int flags, mode_t mode = 0) = 0;
    virtual int stat(const char *path, struct stat *st, bool followLinks) = 0;
    // fstatat(2) without following a last link: a name within an open folder.
    virtual int lstatAt(int dirFd, const char *name, struct stat *st) = 0;
    virtual int fstat(int fd, struct stat *st) = 0;
    virtual ssize_t pread(int fd, void *buf, size_t n, off_t at) = 0;
    virtual ssize_t pwrite(int fd, const void *buf, size_t n, off_t at) = 0;
    virtual int ftruncate(int fd, off_t size) = 0;
    virtual int fsync(int fd) = 0;
    virtual int close(int fd) = 0;
    virtual int rename(const char *from, const char *to) = 0;
    // renameat2(2) with its flags (RENAME_NOREPLACE): EINVAL where the file system does not
    // take them.
    virtual int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned flags)
        = 0;
    virtual int unlink(const char *path) = 0;
    virtual int unlinkAt(int dirFd, const char *name) = 0;
    virtual int mkdir(const char *path, mode_t mode) = 0;
    virtual int chmod(const char *path, mode_t mode) = 0;
    virtual int fchmod(int fd, mode_t mode) = 0;
    virtual int futimens(int fd, const struct timespec times[2]) = 0;
    virtual int linkat(int fromDir, const char *from, int toDir, const char *to, int flags) = 0;
    virtual ssize_t copyFileRange(int in, off_t *inAt, int out, off_t *outAt, size_t n) = 0;
    virtual DIR *opendir(const char *path) = 0; // readdir and closedir stay direct
};

// The plain POSIX calls.
class PosixFileSystem : public IFileSystem
{
public:
    int open(const char *path, int flags, mode_t mode = 0) override;
    int openat(int dirFd, const char *name, int flags, mode_t mode = 0) override;
    int stat(const char *path, struct stat *st, bool followLinks) override;
    int lstatAt(int dirFd, const char *name, struct stat *st) override;
    int fstat(int fd, struct stat *st) override;
    ssize_t pread(int fd, void *buf, size_t n, off_t at) override;
    ssize_t pwrite(int fd, const void *buf, size_t n, off_t at) override;
    int ftruncate(int fd, off_t size) override;
    int fsync(int fd) override;
    int close(int fd) override;
    int rename(const char *from, const char *to) override;
    int renameat2(
        int fromDir, const char *from, int toDir, const char *to, unsigned flags) override;
    int unlink(const char *path) override;
    int unlinkAt(int dirFd, const char *name) override;
    int mkdir(const char *path, mode_t mode) override;
    int chmod(const char *path, mode_t mode) override;
    int fchmod(int fd, mode_t mode) override;
    int futimens(int fd, const struct timespec times[2]) override;
    int linkat(int fromDir, const char *from, int toDir, const char *to, int flags) override;
    ssize_t copyFileRange(int in, off_t *inAt, int out, off_t *outAt, size_t n) override;
    DIR *opendir(const char *path) override;
};

// The file system in use: POSIX unless a test has installed a double.
IFileSystem &fileSystem();

// Installs a double for the lifetime of the guard and puts the previous one back after.
class ScopedFileSystem
{
public:
    explicit ScopedFileSystem(IFileSystem &replacement);
    ~ScopedFileSystem();
    ScopedFileSystem(const ScopedFileSystem &) = delete;
    ScopedFileSystem &operator=(const ScopedFileSystem &) = delete;

private:
    IFileSystem *m_previous;
};

// A descriptor closed through the file system on every way out.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : m_fd(fd)
    { }
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept
        : m_fd(other.release())
    { }
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    int release();
    void reset();
    // Closes now and tells whether the close succeeded (a late write error shows here).
    bool close();

private:
    int m_fd = -1;
};

// Opens a regular file and nothing else: O_NONBLOCK so a FIFO never blocks, then fstat
// checked, so a device, socket or folder counts as a file that cannot be opened.
// Gives an invalid descriptor on failure, with errno set; st receives the file's status.
UniqueFd openRegularFile(const char *path, int flags, struct stat *st);

// Reads or writes exactly n bytes at an offset, going on after short transfers and EINTR.
// Gives false when the file ended early or a call failed.
bool readFully(int fd, void *buf, size_t n, off_t at);
bool writeFully(int fd, const void *buf, size_t n, off_t at);

// When the file a path names was made (its birth time, which a rename keeps), in nanoseconds
// since the epoch; 0 when the file system does not tell. With the device and inode it tells
// a file from a later one that was given the same inode number.
long long birthTime(const char *path);

// What renameWithoutReplacing gives when `from` no longer names the expected file.
constexpr int NotTheExpectedFile = -1;

// Gives the file `from` names, when it is still the file (device, inode) expected, the name
// `to` in its own folder without ever replacing another file: 0, the errno of the failure
// (EEXIST when the name is taken), or NotTheExpectedFile. A target that is the same file (a
// change of case on FAT) is renamed plainly; where the file system refuses the no-replace
// flag, the file gets a hard link under its new name and loses its old one.
int renameWithoutReplacing(const char *from, const char *to, dev_t device, ino_t inode);
// The same for two names within a folder open as `folder` (O_PATH is enough): a batch of
// renames in one folder spares the walk of the folder's path for each file.
int renameWithoutReplacingAt(
    int folder, const char *from, const char *to, dev_t device, ino_t inode);

} // namespace platform
