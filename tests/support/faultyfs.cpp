#include "tests/support/faultyfs.h"

#include <cerrno>

namespace testing_support {

void FaultyFileSystem::fail(Call call, int error, int fromNth, int times)
{
    m_rules[call] = Rule {error, fromNth, times};
}

int FaultyFileSystem::count(Call call) const
{
    const auto it = m_counts.find(call);
    return it == m_counts.end() ? 0 : it->second;
}

bool FaultyFileSystem::shouldFail(Call call)
{
    const int n = ++m_counts[call];
    if (auto hook = m_hooks.find(call); hook != m_hooks.end()) {
        const std::function<void()> run = std::move(hook->second);
        m_hooks.erase(hook);
        run();
    }
    const auto it = m_rules.find(call);
    if (it == m_rules.end())
        return false;
    const Rule &rule = it->second;
    if (n < rule.fromNth || (rule.times > 0 && n >= rule.fromNth + rule.times))
        return false;
    errno = rule.error;
    return true;
}

#define BELLWICK_FAULT(call, failed, ...)                                                          \
    if (shouldFail(Call::call))                                                                    \
        return failed;                                                                             \
    return PosixFileSystem::__VA_ARGS__;

int FaultyFileSystem::open(const char *path, int flags, mode_t mode)
{
    BELLWICK_FAULT(Open, -1, open(path, flags, mode))
}
int FaultyFileSystem::stat(const char *path, struct stat *st, bool followLinks) {
    BELLWICK_FAULT(Stat, -1, stat(path, st, followLinks))} ssize_t FaultyFileSystem::pread(int fd,
    void *buf, size_t n, off_t at) {
    BELLWICK_FAULT(Pread, -1, pread(fd, buf, n, at))} ssize_t FaultyFileSystem::pwrite(int fd,
    const void *buf, size_t n, off_t at)
{
    if (shouldFail(Call::Pwrite))
        return -1;
    if (m_shortWrite > 0 && m_shortWrite < n) {
        n = m_shortWrite;
        m_shortWrite = 0;
    }
    return PosixFileSystem::pwrite(fd, buf, n, at);
}
int FaultyFileSystem::ftruncate(int fd, off_t size)
{
    BELLWICK_FAULT(Ftruncate, -1, ftruncate(fd, size))
}
int FaultyFileSystem::fsync(int fd)
{
    BELLWICK_FAULT(Fsync, -1, fsync(fd))
}
int FaultyFileSystem::close(int fd)
{
    // A failed close still releases the descriptor, as on Linux.
    if (shouldFail(Call::Close)) {
        const int error = errno;
        PosixFileSystem::close(fd);
        errno = error;
        return -1;
    }
    return PosixFileSystem::close(fd);
}
int FaultyFileSystem::rename(const char *from, const char *to)
{
    BELLWICK_FAULT(Rename, -1, rename(from, to))
}
int FaultyFileSystem::unlink(const char *path)
{
    BELLWICK_FAULT(Unlink, -1, unlink(path))
}
int FaultyFileSystem::mkdir(const char *path, mode_t mode)
{
    BELLWICK_FAULT(Mkdir, -1, mkdir(path, mode))
}
int FaultyFileSystem::chmod(const char *path, mode_t mode)
{
    BELLWICK_FAULT(Chmod, -1, chmod(path, mode))
}
int FaultyFileSystem::fchmod(int fd, mode_t mode)
{
    BELLWICK_FAULT(Fchmod, -1, fchmod(fd, mode))
}
int FaultyFileSystem::futimens(int fd, const struct timespec times[2])
{
    BELLWICK_FAULT(Futimens, -1, futimens(fd, times))
}
int FaultyFileSystem::linkat(int fromDir, const char *from, int toDir, const char *to, int flags) {
    BELLWICK_FAULT(Linkat, -1,
        linkat(fromDir, from, toDir, to, flags))} ssize_t FaultyFileSystem::copyFileRange(int in,
    off_t *inAt, int out, off_t *outAt, size_t n) {BELLWICK_FAULT(CopyFileRange, -1,
    copyFileRange(in, inAt, out, outAt, n))} DIR *FaultyFileSystem::opendir(const char *path)
{
    BELLWICK_FAULT(Opendir, nullptr, opendir(path))
}

#undef BELLWICK_FAULT

} // namespace testing_support
