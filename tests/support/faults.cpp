#include "tests/support/faults.h"

#include "editing/tagjournal.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/fanotify.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <unistd.h>

namespace testing_support {

namespace {

std::string failure(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

std::string &mountReason()
{
    static std::string reason = "no private mount namespace: not set up";
    return reason;
}

} // namespace

void enterPrivateMountNamespace()
{
    if (::geteuid() != 0)
        mountReason() = "needs root";
    else if (::unshare(CLONE_NEWNS) != 0)
        mountReason() = failure("no private mount namespace");
    else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        mountReason() = failure("no private mount namespace");
    else
        mountReason().clear();
}

const std::string &mountSkipReason()
{
    return mountReason();
}

std::string runWithoutDacOverride(const std::function<void()> &work)
{
    std::string error;
    std::thread([&] {
        __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] {};
        if (::syscall(SYS_capget, &header, data) != 0) {
            error = failure("capget");
            return;
        }
        for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            data[cap / 32].effective &= ~(1u << (cap % 32));
        if (::syscall(SYS_capset, &header, data) != 0) {
            error = failure("capset");
            return;
        }
        work(); // the thread ends with it, so its capabilities need no restoring
    }).join();
    return error;
}

int runAsNobody(const std::function<int()> &work)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0
            || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(125);
        ::_exit(work());
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool passesInChild(const std::function<void()> &work)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        try {
            work();
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

JournalLockHolder::JournalLockHolder(const char *name, const std::string &stateHome)
{
    int ready[2], go[2];
    // Closed on exec: a program the test starts meanwhile must not keep the word from coming.
    if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(go, O_CLOEXEC) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(go[1]); // the parent's closing it is the word to end
        if (!stateHome.empty())
            ::setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
        editing::JournaledTagWriter writer(editing::ITagJournal::open(), nullptr);
        const bool began = writer.beginBatch(name);
        char byte = 0;
        const bool told = ::write(ready[1], &byte, 1) == 1 && ::read(go[0], &byte, 1) >= 0;
        writer.endBatch();
        ::_exit(began && told ? 0 : 1);
    }
    ::close(ready[1]);
    ::close(go[0]);
    m_go = go[1];
    char byte = 0;
    if (m_pid < 0 || ::read(ready[0], &byte, 1) != 1)
        end();
    ::close(ready[0]);
}

JournalLockHolder::~JournalLockHolder()
{
    end();
}

bool JournalLockHolder::end()
{
    if (m_go >= 0)
        ::close(m_go);
    m_go = -1;
    if (m_pid <= 0)
        return m_passed;
    int status = 0;
    m_passed
        = ::waitpid(m_pid, &status, 0) == m_pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    m_pid = -1;
    return m_passed;
}

Chattr::Chattr(const std::string &path, Flag flag)
    : m_path(path)
    , m_flag(flag == Immutable ? FS_IMMUTABLE_FL : FS_APPEND_FL)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    long flags = 0;
    if (fd < 0 || ::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
        m_error = failure("chattr");
    } else {
        flags |= m_flag;
        if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
            m_error = failure("chattr");
    }
    if (fd >= 0)
        ::close(fd);
}

Chattr::~Chattr()
{
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    long flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags &= ~m_flag;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0)
        ::close(fd);
}

Mount Mount::tmpfs(const std::string &folder, const std::string &options)
{
    return ofType(folder, "tmpfs", options);
}

Mount Mount::ofType(const std::string &folder, const std::string &type, const std::string &options)
{
    Mount m;
    if (!mountSkipReason().empty())
        m.m_error = mountSkipReason();
    else if (::mount(type.c_str(), folder.c_str(), type.c_str(), 0, options.c_str()) != 0)
        m.m_error = failure("mount " + type);
    else
        m.m_folders.push_back(folder);
    return m;
}

Mount Mount::readOnlyBind(const std::string &folder)
{
    Mount m;
    if (!mountSkipReason().empty()) {
        m.m_error = mountSkipReason();
    } else if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        m.m_error = failure("bind mount");
    } else {
        m.m_folders.push_back(folder);
        if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr)
            != 0)
            m.m_error = failure("read-only remount");
    }
    return m;
}

Mount Mount::thinDisk(const std::string &folder, const std::string &backing)
{
    Mount m = tmpfs(backing, "size=3m");
    if (!m.m_error.empty())
        return m;
    const std::string image = backing + "/disk.img";
    const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const bool sparse = fd >= 0 && ::ftruncate(fd, 64 << 20) == 0;
    if (fd >= 0)
        ::close(fd);
    const std::string quiet = " >/dev/null 2>&1";
    if (!sparse
        || std::system(("mkfs.ext4 -q -F -m 0 -O ^has_journal '" + image + "'" + quiet).c_str())
            != 0
        || std::system(
               ("mount -o loop,errors=continue '" + image + "' '" + folder + "'" + quiet).c_str())
            != 0) {
        m.m_error = "no loop device or mkfs.ext4";
        return m;
    }
    m.m_folders.insert(m.m_folders.begin(), folder);
    return m;
}

Mount::Mount(Mount &&other) noexcept
    : m_folders(std::move(other.m_folders))
    , m_error(std::move(other.m_error))
{
    other.m_folders.clear();
}

Mount::~Mount()
{
    for (const std::string &folder : m_folders)
        ::umount2(folder.c_str(), MNT_DETACH);
}

void fillUp(const std::string &folder)
{
    const int fd = ::open((folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return;
    std::string chunk(65536, 'f');
    for (size_t n = chunk.size(); n > 0;) {
        if (::write(fd, chunk.data(), n) < 0)
            n /= 2;
    }
    ::close(fd);
}

FileSizeLimit::FileSizeLimit(off_t limit)
{
    struct rlimit rl;
    if (::getrlimit(RLIMIT_FSIZE, &rl) != 0) {
        m_error = failure("getrlimit");
        return;
    }
    m_former = rl.rlim_cur;
    rl.rlim_cur = static_cast<rlim_t>(limit);
    if (::setrlimit(RLIMIT_FSIZE, &rl) != 0)
        m_error = failure("setrlimit");
}

FileSizeLimit::~FileSizeLimit()
{
    struct rlimit rl;
    if (m_error.empty() && ::getrlimit(RLIMIT_FSIZE, &rl) == 0) {
        rl.rlim_cur = static_cast<rlim_t>(m_former);
        ::setrlimit(RLIMIT_FSIZE, &rl);
    }
}

namespace {
// FAN_PRE_ACCESS of newer kernels; Debian 12's headers lack it.
constexpr std::uint64_t PreAccess = 0x00100000;

// The end of the range an access event is about: its range record (type 6: u8 type, u8,
// u16 length, u32, u64 offset, u64 count) follows the event's metadata. An event without
// one counts as reaching everywhere.
std::uint64_t rangeEnd(const fanotify_event_metadata *event)
{
    const char *at = reinterpret_cast<const char *>(event) + event->metadata_len;
    const char *end = reinterpret_cast<const char *>(event) + event->event_len;
    while (end - at >= 4) {
        std::uint8_t type;
        std::uint16_t length;
        std::memcpy(&type, at, 1);
        std::memcpy(&length, at + 2, 2);
        if (length < 4 || length > end - at)
            break;
        if (type == 6 && length >= 24) {
            std::uint64_t offset, count;
            std::memcpy(&offset, at + 8, 8);
            std::memcpy(&count, at + 16, 8);
            return offset + count;
        }
        at += length;
    }
    return UINT64_MAX;
}
} // namespace

FanotifyDeny::FanotifyDeny(
    Mode mode, int error, const std::vector<std::string> &paths, int allowFirst, off_t beyond)
    : m_errno(error)
    , m_allowFirst(allowFirst)
    , m_beyond(beyond)
{
    m_fd = ::fanotify_init(FAN_CLASS_PRE_CONTENT | FAN_CLOEXEC, O_RDONLY | O_LARGEFILE);
    if (m_fd < 0) {
        m_error = failure("fanotify");
        return;
    }
    const std::uint64_t mask = mode == Mode::Open ? (FAN_OPEN_PERM | FAN_ONDIR)
        : mode == Mode::Read                      ? (FAN_ACCESS_PERM | FAN_ONDIR)
                                                  : PreAccess;
    for (const std::string &path : paths) {
        if (::fanotify_mark(m_fd, FAN_MARK_ADD, mask, AT_FDCWD, path.c_str()) != 0) {
            m_error = failure("fanotify");
            return;
        }
    }
    if (::pipe2(m_stop, O_CLOEXEC) != 0) {
        m_error = failure("pipe");
        return;
    }
    m_thread = std::thread([this] { listen(); });
}

FanotifyDeny::~FanotifyDeny()
{
    if (m_thread.joinable()) {
        const char c = 0;
        (void)!::write(m_stop[1], &c, 1);
        m_thread.join();
    }
    for (const int fd : {m_fd, m_stop[0], m_stop[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void FanotifyDeny::listen()
{
    alignas(fanotify_event_metadata) char buffer[8192];
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        auto *event = reinterpret_cast<fanotify_event_metadata *>(buffer);
        for (; FAN_EVENT_OK(event, n); event = FAN_EVENT_NEXT(event, n)) {
            const bool deny = m_seen++ >= m_allowFirst
                && (m_beyond < 0 || rangeEnd(event) > static_cast<std::uint64_t>(m_beyond));
            const fanotify_response response {event->fd,
                deny ? FAN_DENY | (static_cast<std::uint32_t>(m_errno & 0xFF) << 24) : FAN_ALLOW};
            if (deny)
                ++m_denied;
            (void)!::write(m_fd, &response, sizeof response);
            if (event->fd >= 0)
                ::close(event->fd);
        }
    }
}

int crashAtByte(off_t limit, const std::function<void()> &work)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        struct rlimit rl;
        ::getrlimit(RLIMIT_FSIZE, &rl);
        rl.rlim_cur = static_cast<rlim_t>(limit);
        ::setrlimit(RLIMIT_FSIZE, &rl);
        try {
            work();
        } catch (...) { }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

void removeTreeAt(int dirFd, const std::string &name)
{
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR *dir = ::fdopendir(fd)) {
            std::vector<std::string> names;
            while (const dirent *entry = ::readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    names.emplace_back(entry->d_name);
            }
            for (const std::string &child : names)
                removeTreeAt(::dirfd(dir), child);
            ::closedir(dir);
        } else {
            ::close(fd);
        }
        ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
    } else {
        ::unlinkat(dirFd, name.c_str(), 0);
    }
}

} // namespace testing_support
