#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "platform/filesystem.h"

namespace testing_support {

// A file system that fails chosen calls: the POSIX one, but for the rules set on it.
// A rule names a call, from which call of that kind on it fails (1 = the first), and the
// errno it fails with; a pwrite rule may instead write only part of the buffer. A rule or
// hook may be kept to one path: it then counts only the calls on that path (a call on a
// descriptor belongs to the path it was opened by), so it holds however many threads read
// other files meanwhile. Rules, counts and hooks are guarded: any thread may call.
class FaultyFileSystem : public platform::PosixFileSystem
{
public:
    enum class Call {
        Open,
        Stat,
        Pread,
        Pwrite,
        Ftruncate,
        Fsync,
        Close,
        Rename,
        Unlink,
        Mkdir,
        Chmod,
        Fchmod,
        Futimens,
        Linkat,
        CopyFileRange,
        Opendir,
        Renameat2
    };

    // Fail call `call` with `error` from its `fromNth` call on (counting from installation),
    // `times` times (0 = for ever).
    void fail(Call call, int error, int fromNth = 1, int times = 0);
    // The same for the calls on one path only.
    void fail(Call call, const std::string &path, int error, int fromNth = 1, int times = 0);
    // Let the next pwrite write only `bytes` bytes.
    void shortWrite(size_t bytes);
    // Run `hook` once, before the next call of this kind (another program acting meanwhile),
    // or the next one on `path`.
    void before(Call call, std::function<void()> hook) { before(call, {}, std::move(hook)); }
    void before(Call call, const std::string &path, std::function<void()> hook);
    int count(Call call) const;
    int count(Call call, const std::string &path) const;

    int open(const char *path, int flags, mode_t mode = 0) override;
    int stat(const char *path, struct stat *st, bool followLinks) override;
    ssize_t pread(int fd, void *buf, size_t n, off_t at) override;
    ssize_t pwrite(int fd, const void *buf, size_t n, off_t at) override;
    int ftruncate(int fd, off_t size) override;
    int fsync(int fd) override;
    int close(int fd) override;
    int rename(const char *from, const char *to) override;
    int renameat2(
        int fromDir, const char *from, int toDir, const char *to, unsigned flags) override;
    int unlink(const char *path) override;
    // Calls on a name within an open folder count on that name (a per-path rule gives it).
    int unlinkAt(int dirFd, const char *name) override;
    int lstatAt(int dirFd, const char *name, struct stat *st) override;
    int mkdir(const char *path, mode_t mode) override;
    int chmod(const char *path, mode_t mode) override;
    int fchmod(int fd, mode_t mode) override;
    int futimens(int fd, const struct timespec times[2]) override;
    int linkat(int fromDir, const char *from, int toDir, const char *to, int flags) override;
    ssize_t copyFileRange(int in, off_t *inAt, int out, off_t *outAt, size_t n) override;
    DIR *opendir(const char *path) override;

private:
    struct Rule
    {
        int error;
        int fromNth;
        int times;
    };
    using Key = std::pair<Call, std::string>; // no path: every call of the kind
    // Counts the call on its path (or its descriptor's) and tells whether it is to fail
    // (errno is then set).
    bool shouldFail(Call call, const char *path);
    bool shouldFail(Call call, int fd);
    bool matches(const Key &key, int n, int &error) const;

    mutable std::mutex m_mutex;
    std::map<Key, Rule> m_rules;
    std::map<Key, int> m_counts;
    std::map<Key, std::function<void()>> m_hooks;
    std::map<int, std::string> m_openPaths;
    size_t m_shortWrite = 0;
};

} // namespace testing_support
