#include "platform/temporaryfile.h"

#include <linux/fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

#include "platform/paths.h"

namespace platform {

namespace {

constexpr int NameAttempts = 100;

// A short name, whatever the destination's name length (a name of 255 bytes plus a suffix
// would be too long), that no neighbouring run guesses.
std::string temporaryName()
{
    static std::uint64_t counter = 0;
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t x = (static_cast<std::uint64_t>(::getpid()) << 32)
        ^ static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 20)
        ^ (++counter * 0x9E3779B97F4A7C15ull);
    // splitmix64 finaliser: neighbouring seeds give unrelated names.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".bellwick-";
    for (int i = 0; i < 6; ++i, x /= 36)
        name += digits[x % 36];
    return name + ".tmp";
}

} // namespace

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int lastError()
{
    return errno != 0 ? errno : EIO;
}

int syncFolder(const std::string &folder)
{
    const UniqueFd fd(fileSystem().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isValid())
        return lastError();
    if (fileSystem().fsync(fd.get()) != 0 && errno != EINVAL)
        return lastError();
    return 0;
}

TemporaryFile::TemporaryFile(std::string folder)
    : m_folder(std::move(folder))
{ }

TemporaryFile::~TemporaryFile()
{
    if (!m_name.empty()) {
        const int savedErrno = errno;
        m_fd.reset();
        fileSystem().unlink(m_name.c_str());
        errno = savedErrno;
    }
}

int TemporaryFile::create(bool replaces, mode_t mode)
{
    m_replaces = replaces;
    m_fd = UniqueFd(fileSystem().open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
    if (m_fd.isValid()) {
        m_unnamed = true;
        if (replaces && folderKeepsNames()) {
            m_fd.reset();
            return EPERM;
        }
        return 0;
    }
    // Kernels and file systems without O_TMPFILE say so in one of these ways.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return lastError();
    if (folderKeepsNames())
        return EPERM;
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        const std::string name = platform::AddBackslash(m_folder) + temporaryName();
        m_fd = UniqueFd(fileSystem().open(
            name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, mode));
        if (m_fd.isValid()) {
            m_name = name;
            return 0;
        }
        if (errno != EEXIST)
            return lastError();
    }
    return EEXIST;
}

int TemporaryFile::commit(const std::string &destination)
{
    if (m_unnamed && !m_replaces) {
        if (linkTo(destination) != 0)
            return lastError();
        if (!m_fd.close()) {
            const int error = lastError();
            fileSystem().unlink(destination.c_str());
            return error;
        }
        return 0;
    }
    if (m_unnamed) {
        int error = EEXIST;
        for (int attempt = 0; attempt < NameAttempts && m_name.empty(); ++attempt) {
            const std::string name = platform::AddBackslash(m_folder) + temporaryName();
            if (linkTo(name) == 0)
                m_name = name;
            else if ((error = lastError()) != EEXIST)
                return error;
        }
        if (m_name.empty())
            return error;
    }
    if (!m_fd.close())
        return lastError();
    if (fileSystem().rename(m_name.c_str(), destination.c_str()) != 0)
        return lastError();
    m_name.clear();
    return 0;
}

int TemporaryFile::linkTo(const std::string &path)
{
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
    if (fileSystem().linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != ENOENT)
        return -1;
    // No /proc: linking the descriptor itself needs CAP_DAC_READ_SEARCH.
    return fileSystem().linkat(m_fd.get(), "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
}

// An append-only or immutable folder lets a name be made but never removed or renamed
// away: a named temporary file there would stay behind.
bool TemporaryFile::folderKeepsNames() const
{
    const UniqueFd folder(
        fileSystem().open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    int flags = 0;
    return folder.isValid() && ::ioctl(folder.get(), FS_IOC_GETFLAGS, &flags) == 0
        && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
}

} // namespace platform
