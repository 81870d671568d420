#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Real file-system faults for tests run as root: a private mount namespace, dropped
// permission overrides, the nobody user, chattr flags, read-only and small mounts, a file
// size limit, fanotify denials and a child killed at a chosen byte. Each helper tells why
// it could not be set up, for the test's skip message.
namespace testing_support {

// Called once by the core test main before any thread: when root, moves the process into a
// private mount namespace, so mounts made by tests vanish with it even after a crash.
void enterPrivateMountNamespace();
// Why mount tests cannot run here, or "" when they can.
const std::string &mountSkipReason();

// Runs `work` in a thread of its own without CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH and
// CAP_FOWNER, so mode bits and ownership apply to it. Gives "" or why it could not.
std::string runWithoutDacOverride(const std::function<void()> &work);

// Runs `work` in a child process as nobody:nogroup; gives its exit status or -1.
int runAsNobody(const std::function<int()> &work);
// Runs `work` in a forked child (a process of its own, as the companion is); true when it
// returned without a test failure or an exception.
bool passesInChild(const std::function<void()> &work);

// A process that holds the tag journal's lock in a batch named `name` (its journal in
// `stateHome` when given, else as the environment says) until end().
class JournalLockHolder
{
public:
    explicit JournalLockHolder(const char *name, const std::string &stateHome = {});
    ~JournalLockHolder();
    JournalLockHolder(const JournalLockHolder &) = delete;
    JournalLockHolder &operator=(const JournalLockHolder &) = delete;
    // Ends the batch and the process; true when it held the lock throughout.
    bool end();

private:
    pid_t m_pid = -1;
    int m_go = -1;
    bool m_passed = false;
};

// chattr +i (FS_IMMUTABLE_FL) or +a (FS_APPEND_FL) on a file or folder, cleared again at
// destruction.
class Chattr
{
public:
    enum Flag { Immutable, AppendOnly };
    Chattr(const std::string &path, Flag flag);
    ~Chattr();
    Chattr(const Chattr &) = delete;
    Chattr &operator=(const Chattr &) = delete;
    const std::string &error() const { return m_error; }

private:
    std::string m_path;
    long m_flag = 0;
    std::string m_error;
};

// A mount on a folder, detached at destruction: a small tmpfs, a read-only bind of the
// folder over itself, or a thin disk: an ext4 file system of 64 MiB on a loop device whose
// image lives in a tmpfs of 3 MiB at `backing`, so writes beyond 3 MiB succeed into the
// cache and the fsync after them fails.
class Mount
{
public:
    static Mount tmpfs(const std::string &folder, const std::string &options);
    // A new mount of a kernel file system of that type (proc, bpf, devtmpfs...).
    static Mount ofType(
        const std::string &folder, const std::string &type, const std::string &options = {});
    static Mount readOnlyBind(const std::string &folder);
    static Mount thinDisk(const std::string &folder, const std::string &backing);
    Mount(Mount &&other) noexcept;
    ~Mount();
    Mount &operator=(Mount &&) = delete;
    const std::string &error() const { return m_error; }

private:
    Mount() = default;
    std::vector<std::string> m_folders; // detached in this order
    std::string m_error;
};

// Grows a file `filler` in `folder` until the file system is full (down to single bytes).
void fillUp(const std::string &folder);

// A soft RLIMIT_FSIZE for the process, put back at destruction.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(off_t limit);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    const std::string &error() const { return m_error; }

private:
    unsigned long long m_former = 0;
    std::string m_error;
};

// fanotify permission events on chosen paths, answered by a listener thread with an errno.
//   Open:   open and opendir fail.
//   Read:   read, pread and readdir fail; open and writes pass.
//   Access: read, write, pwrite and ftruncate fail (ext4 only; files opened after the mark).
// The first `allowFirst` events pass. With `beyond` given, an access passes unless its range
// reaches past that offset, so a file can fail part way.
class FanotifyDeny
{
public:
    enum class Mode { Open, Read, Access };
    FanotifyDeny(Mode mode, int error, const std::vector<std::string> &paths, int allowFirst = 0,
        off_t beyond = -1);
    ~FanotifyDeny();
    FanotifyDeny(const FanotifyDeny &) = delete;
    FanotifyDeny &operator=(const FanotifyDeny &) = delete;
    const std::string &error() const { return m_error; }
    int denied() const { return m_denied.load(); }

private:
    void listen();

    int m_fd = -1;
    int m_stop[2] = {-1, -1};
    int m_errno;
    int m_allowFirst;
    off_t m_beyond;
    int m_seen = 0;
    std::atomic<int> m_denied {0};
    std::string m_error;
    std::thread m_thread;
};

// Runs `work` in a child whose file-size limit is `limit` bytes with SIGXFSZ at its default,
// so the child dies as it writes byte `limit`. Gives the signal that ended it, 0 when it
// exited.
int crashAtByte(off_t limit, const std::function<void()> &work);

// Removes a tree by descriptors, so paths longer than PATH_MAX go too.
void removeTreeAt(int dirFd, const std::string &name);

} // namespace testing_support
