#include "tests/support/faultyfs.h"

#include <cerrno>
#include <vector>

namespace testing_support {

void FaultyFileSystem::fail(Call call, int error, int fromNth, int times)
{
    fail(call, std::string(), error, fromNth, times);
}

void FaultyFileSystem::fail(Call call, const std::string &path, int error, int fromNth, int times)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_rules[{call, path}] = Rule {error, fromNth, times};
}

void FaultyFileSystem::shortWrite(size_t bytes)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_shortWrite = bytes;
}

void FaultyFileSystem::before(Call call, const std::string &path, std::function<void()> hook)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_hooks[{call, path}] = std::move(hook);
}

int FaultyFileSystem::count(Call call) const
{
    return count(call, std::string());
}

int FaultyFileSystem::count(Call call, const std::string &path) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_counts.find({call, path});
    return it == m_counts.end() ? 0 : it->second;
}

bool FaultyFileSystem::matches(const Key &key, int n, int &error) const
{
    const auto it = m_rules.find(key);
    if (it == m_rules.end())
        return false;
    const Rule &rule = it->second;
    if (n < rule.fromNth || (rule.times > 0 && n >= rule.fromNth + rule.times))
        return false;
    error = rule.error;
    return true;
}

bool FaultyFileSystem::shouldFail(Call call, const char *path)
{
    std::vector<std::function<void()>> hooks;
    int error = 0;
    bool fails = false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<Key> keys {{call, std::string()}};
        if (path)
            keys.push_back({call, path});
        for (const Key &key : keys) {
            const int n = ++m_counts[key];
            if (auto hook = m_hooks.find(key); hook != m_hooks.end()) {
                hooks.push_back(std::move(hook->second));
                m_hooks.erase(hook);
            }
            if (!fails)
                fails = matches(key, n, error);
        }
    }
    // Outside the lock: a hook may well use this file system.
    for (const std::function<void()> &run : hooks)
        run();
    if (fails)
        errno = error;
    return fails;
}

bool FaultyFileSystem::shouldFail(Call call, int fd)
{
    std::string path;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_openPaths.find(fd);
        if (it != m_openPaths.end())
            path = it->second;
    }
    return shouldFail(call, path.empty() ? nullptr : path.c_str());
}

#define BELLWICK_FAULT(call, on, failed, ...)                                                      \
    if (shouldFail(Call::call, on))                                                                \
        return failed;                                                                             \
    return PosixFileSystem::__VA_ARGS__;

int FaultyFileSystem::open(const char *path, int flags, mode_t mode)
{
    if (shouldFail(Call::Open, path))
        return -1;
    const int fd = PosixFileSystem::open(path, flags, mode);
    if (fd >= 0) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_openPaths[fd] = path;
    }
    return fd;
}
int FaultyFileSystem::stat(const char *path, struct stat *st, bool followLinks) {BELLWICK_FAULT(
    Stat, path, -1, stat(path, st, followLinks))} ssize_t FaultyFileSystem::pread(int fd, void *buf,
    size_t n, off_t at) {
    BELLWICK_FAULT(Pread, fd, -1, pread(fd, buf, n, at))} ssize_t FaultyFileSystem::pwrite(int fd,
    const void *buf, size_t n, off_t at)
{
    if (shouldFail(Call::Pwrite, fd))
        return -1;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_shortWrite > 0 && m_shortWrite < n) {
            n = m_shortWrite;
            m_shortWrite = 0;
        }
    }
    return PosixFileSystem::pwrite(fd, buf, n, at);
}
int FaultyFileSystem::ftruncate(int fd, off_t size)
{
    BELLWICK_FAULT(Ftruncate, fd, -1, ftruncate(fd, size))
}
int FaultyFileSystem::fsync(int fd)
{
    BELLWICK_FAULT(Fsync, fd, -1, fsync(fd))
}
int FaultyFileSystem::close(int fd)
{
    const bool fails = shouldFail(Call::Close, fd);
    const int error = errno;
    {
        // Forgotten before the descriptor is free for another thread's open.
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_openPaths.erase(fd);
    }
    // A failed close still releases the descriptor, as on Linux.
    if (fails) {
        PosixFileSystem::close(fd);
        errno = error;
        return -1;
    }
    return PosixFileSystem::close(fd);
}
int FaultyFileSystem::rename(const char *from, const char *to)
{
    BELLWICK_FAULT(Rename, from, -1, rename(from, to))
}
int FaultyFileSystem::renameat2(
    int fromDir, const char *from, int toDir, const char *to, unsigned flags)
{
    BELLWICK_FAULT(Renameat2, from, -1, renameat2(fromDir, from, toDir, to, flags))
}
int FaultyFileSystem::unlink(const char *path)
{
    BELLWICK_FAULT(Unlink, path, -1, unlink(path))
}
int FaultyFileSystem::unlinkAt(int dirFd, const char *name)
{
    BELLWICK_FAULT(Unlink, name, -1, unlinkAt(dirFd, name))
}
int FaultyFileSystem::lstatAt(int dirFd, const char *name, struct stat *st)
{
    BELLWICK_FAULT(Stat, name, -1, lstatAt(dirFd, name, st))
}
int FaultyFileSystem::mkdir(const char *path, mode_t mode)
{
    BELLWICK_FAULT(Mkdir, path, -1, mkdir(path, mode))
}
int FaultyFileSystem::chmod(const char *path, mode_t mode)
{
    BELLWICK_FAULT(Chmod, path, -1, chmod(path, mode))
}
int FaultyFileSystem::fchmod(int fd, mode_t mode)
{
    BELLWICK_FAULT(Fchmod, fd, -1, fchmod(fd, mode))
}
int FaultyFileSystem::futimens(int fd, const struct timespec times[2])
{
    BELLWICK_FAULT(Futimens, fd, -1, futimens(fd, times))
}
int FaultyFileSystem::linkat(int fromDir, const char *from, int toDir, const char *to, int flags) {
    BELLWICK_FAULT(Linkat, from, -1,
        linkat(fromDir, from, toDir, to, flags))} ssize_t FaultyFileSystem::copyFileRange(int in,
    off_t *inAt, int out, off_t *outAt, size_t n) {BELLWICK_FAULT(CopyFileRange, in, -1,
    copyFileRange(in, inAt, out, outAt, n))} DIR *FaultyFileSystem::opendir(const char *path)
{
    BELLWICK_FAULT(Opendir, path, nullptr, opendir(path))
}

#undef BELLWICK_FAULT

} // namespace testing_support
