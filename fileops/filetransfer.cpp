#include "fileops/filetransfer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "lists/row.h"
#include "platform/filemode.h"
#include "platform/filesystem.h"

namespace fileops {

namespace {

using platform::fileSystem;
using platform::UniqueFd;

// The errno of a call that failed, never 0 (a short transfer may leave errno untouched).
int lastError()
{
    return errno != 0 ? errno : EIO;
}

// A short name the folder scan never takes for audio, whatever the destination's name
// length (a name of 255 bytes plus a suffix would be too long).
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

constexpr int NameAttempts = 100;

// The copy under way in the destination folder. It has no name while it is written when
// the file system offers O_TMPFILE, so an interrupted copy leaves nothing behind; else it is
// a short dot-name. Whatever of it was put on disk is removed again unless it was committed.
class TemporaryCopy
{
public:
    explicit TemporaryCopy(std::string folder)
        : m_folder(std::move(folder))
    { }
    ~TemporaryCopy()
    {
        if (!m_name.empty()) {
            m_fd.reset();
            fileSystem().unlink(m_name.c_str());
        }
    }
    TemporaryCopy(const TemporaryCopy &) = delete;
    TemporaryCopy &operator=(const TemporaryCopy &) = delete;

    int fd() const { return m_fd.get(); }

    int create()
    {
        m_fd
            = UniqueFd(fileSystem().open(m_folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        if (m_fd.isValid()) {
            m_unnamed = true;
            return 0;
        }
        // Kernels and file systems without O_TMPFILE say so in one of these ways.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return lastError();
        for (int attempt = 0; attempt < NameAttempts; ++attempt) {
            const std::string name = lists::AddBackslash(m_folder) + temporaryName();
            m_fd = UniqueFd(fileSystem().open(
                name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (m_fd.isValid()) {
                m_name = name;
                return 0;
            }
            if (errno != EEXIST)
                return lastError();
        }
        return EEXIST;
    }

    // Puts the complete copy at `destination`. A free destination gets the unnamed copy
    // linked in directly, which never replaces a file that appeared there meanwhile; an
    // existing one is replaced by a rename, so it is whole before and after.
    int commit(const std::string &destination, bool replaces)
    {
        if (m_unnamed && !replaces) {
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
                const std::string name = lists::AddBackslash(m_folder) + temporaryName();
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

private:
    int linkTo(const std::string &path)
    {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
        if (fileSystem().linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW)
            == 0)
            return 0;
        if (errno != ENOENT)
            return -1;
        // No /proc: linking the descriptor itself needs CAP_DAC_READ_SEARCH.
        return fileSystem().linkat(m_fd.get(), "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
    }

    std::string m_folder;
    UniqueFd m_fd;
    std::string m_name; // the name on disk, removed unless committed
    bool m_unnamed = false;
};

// Copies the whole content, in the kernel where it can (copy_file_range), else through a
// buffer. Copies up to the end the source has now, not the size it had when opened.
int copyContent(int in, int out)
{
    off_t inAt = 0;
    off_t outAt = 0;
    bool inKernel = true;
    std::vector<char> buffer;
    for (;;) {
        errno = 0;
        if (inKernel) {
            const ssize_t n = fileSystem().copyFileRange(in, &inAt, out, &outAt, 1u << 30);
            if (n > 0)
                continue;
            // 0 is the end, but some file systems also say 0 for "cannot": the buffered
            // loop confirms the end with a read.
            if (n == 0 || errno == EXDEV || errno == EINVAL || errno == ENOSYS
                || errno == EOPNOTSUPP) {
                inKernel = false;
                continue;
            }
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (buffer.empty())
            buffer.resize(1u << 20);
        const ssize_t got = fileSystem().pread(in, buffer.data(), buffer.size(), inAt);
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        errno = 0;
        if (!platform::writeFully(out, buffer.data(), static_cast<size_t>(got), outAt))
            return lastError();
        inAt += got;
        outAt += got;
    }
}

// Mode and time are carried over as far as the destination allows: FAT and exFAT refuse
// them with EPERM or EOPNOTSUPP, which does not make the copy fail.
bool isRefusedAttribute(int error)
{
    return error == EPERM || error == EOPNOTSUPP;
}

int syncFolder(const std::string &folder)
{
    const UniqueFd fd(fileSystem().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isValid())
        return lastError();
    // Some file systems cannot flush a folder at all; their entries are as safe as they get.
    if (fileSystem().fsync(fd.get()) != 0 && errno != EINVAL)
        return lastError();
    return 0;
}

} // namespace

bool fileExists(const std::string &path)
{
    struct stat st;
    return fileSystem().stat(path.c_str(), &st, true) == 0 && S_ISREG(st.st_mode);
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int copyFile(const std::string &source, const std::string &destination)
{
    struct stat from;
    errno = 0;
    const UniqueFd in = platform::openRegularFile(source.c_str(), O_RDONLY, &from);
    if (!in.isValid())
        return lastError();

    struct stat to;
    bool replaces = false;
    if (fileSystem().stat(destination.c_str(), &to, true) == 0) {
        // Compared by device and inode, never by path: a hard link, a symlink or a
        // linked folder may name the source itself, and rename() onto a link of itself
        // does nothing and reports success.
        if (to.st_dev == from.st_dev && to.st_ino == from.st_ino)
            return EINVAL;
        if (S_ISDIR(to.st_mode))
            return EISDIR;
        if (!S_ISREG(to.st_mode))
            return EEXIST;
        // As root every permission check passes: a read-only destination is judged by its
        // mode bits, as the read-only attribute was.
        if ((to.st_mode & S_IWUSR) == 0)
            return EACCES;
        replaces = true;
    } else if (errno != ENOENT) {
        return lastError();
    }

    TemporaryCopy copy(folderOf(destination));
    if (const int error = copy.create())
        return error;
    if (const int error = copyContent(in.get(), copy.fd()))
        return error;
    if (fileSystem().fchmod(copy.fd(), from.st_mode & 07777) != 0 && !isRefusedAttribute(errno))
        return lastError();
    const timespec times[2] = {from.st_atim, from.st_mtim};
    if (fileSystem().futimens(copy.fd(), times) != 0 && !isRefusedAttribute(errno))
        return lastError();
    if (fileSystem().fsync(copy.fd()) != 0)
        return lastError();
    return copy.commit(destination, replaces);
}

int deleteFile(const std::string &path)
{
    struct stat st;
    if (fileSystem().stat(path.c_str(), &st, false) != 0)
        return lastError();
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (S_ISLNK(st.st_mode))
        return fileSystem().unlink(path.c_str()) == 0 ? 0 : lastError();
    errno = 0;
    platform::ScopedWritableMode writable(path, st.st_mode);
    if (!writable.isWritable())
        return lastError();
    if (fileSystem().unlink(path.c_str()) != 0)
        return lastError(); // the former mode comes back as `writable` ends
    writable.dismiss();
    return 0;
}

int moveFile(const std::string &source, const std::string &destination)
{
    if (const int error = copyFile(source, destination))
        return error;
    // The copy's name must be on disk before the only other copy goes.
    if (const int error = syncFolder(folderOf(destination)))
        return error;
    return deleteFile(source);
}

namespace {

int folderErrorCode(int error)
{
    switch (error) {
    case EEXIST:
        return 183;
    case ENOENT:
    case ENOTDIR:
        return 3;
    case EACCES:
    case EPERM:
    case EROFS:
        return 5;
    case EMFILE:
    case ENFILE:
        return 4;
    case ENOSPC:
    case EDQUOT:
        return 101;
    case EINVAL:
        return 123;
    case ENAMETOOLONG:
        return 206;
    default:
        return 0;
    }
}

std::string generalIoErrorText(int code)
{
    return "I/O エラー (" + std::to_string(code) + ")";
}

} // namespace

std::string ioErrorText(int code)
{
    switch (code) {
    case 2:
        return "ファイルが見つかりません";
    case 3:
        return "不正なファイル名です";
    case 4:
        return "オープンしたファイルが多すぎます";
    case 5:
        return "ファイルへのアクセスが拒否されました";
    case 100:
        return "ファイルの末尾以降を読み込みました";
    case 101:
        return "ディスクがいっぱいです";
    case 106:
        return "入力値が数値ではありません";
    default:
        return generalIoErrorText(code);
    }
}

FolderOutcome makeFolder(const std::string &path)
{
    if (fileSystem().mkdir(path.c_str(), 0777) == 0)
        return {};
    const int error = lastError();
    if (const int code = folderErrorCode(error))
        return {code, ioErrorText(code)};
    return {error, generalIoErrorText(error)};
}

} // namespace fileops
