#include "fileops/filetransfer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "platform/filemode.h"
#include "platform/filesystem.h"
#include "platform/temporaryfile.h"

namespace fileops {

namespace {

using platform::fileSystem;
using platform::folderOf;
using platform::lastError;
using platform::UniqueFd;

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

} // namespace

bool fileExists(const std::string &path)
{
    struct stat st;
    return fileSystem().stat(path.c_str(), &st, true) == 0 && S_ISREG(st.st_mode);
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

    platform::TemporaryFile copy(folderOf(destination));
    if (const int error = copy.create(replaces, 0600))
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
    return copy.commit(destination);
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
    if (const int error = platform::syncFolder(folderOf(destination)))
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
        return {0, {}, path};
    const int error = lastError();
    if (const int code = folderErrorCode(error))
        return {code, ioErrorText(code), {}};
    return {error, generalIoErrorText(error), {}};
}

} // namespace fileops
