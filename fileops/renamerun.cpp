#include "fileops/renamerun.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>

#include "fileops/filetransfer.h"
#include "platform/filesystem.h"
#include "tags/tagfile.h"

namespace fileops {

namespace {

bool isFile(const struct stat &st, const NamePlanRow &row)
{
    return st.st_dev == row.device && st.st_ino == row.inode;
}

// True when the new name already names this very file and no other name does: a change of
// case on a file system that ignores case.
bool targetIsThisFile(const NamePlanRow &row)
{
    struct stat st;
    return platform::fileSystem().stat(row.newPath.c_str(), &st, false) == 0 && isFile(st, row)
        && st.st_nlink == 1;
}

// Where renameat2 does not take its flag (NFS, 9p, some FUSE): linkat never replaces a name,
// and on NFS it is atomic; the old name goes once the new one is there.
int linkThenUnlink(const NamePlanRow &row)
{
    platform::IFileSystem &fs = platform::fileSystem();
    if (fs.linkat(AT_FDCWD, row.path.c_str(), AT_FDCWD, row.newPath.c_str(), 0) != 0)
        return errno;
    if (fs.unlink(row.path.c_str()) != 0) {
        const int error = errno;
        fs.unlink(row.newPath.c_str());
        return error;
    }
    return 0;
}

} // namespace

int renameWithoutReplacing(const NamePlanRow &row)
{
    platform::IFileSystem &fs = platform::fileSystem();
    struct stat st;
    if (fs.stat(row.path.c_str(), &st, false) != 0)
        return errno;
    if (!isFile(st, row))
        return NotThePlannedFile;
    if (fs.renameat2(AT_FDCWD, row.path.c_str(), AT_FDCWD, row.newPath.c_str(), RENAME_NOREPLACE)
        == 0)
        return 0;
    const int error = errno;
    if (error != EEXIST && error != EINVAL && error != ENOSYS)
        return error;
    if (targetIsThisFile(row))
        return fs.rename(row.path.c_str(), row.newPath.c_str()) == 0 ? 0 : errno;
    if (error == EEXIST)
        return EEXIST;
    return linkThenUnlink(row);
}

std::string renameErrorText(int error)
{
    switch (error) {
    case NotThePlannedFile:
        return "プレビューのあとで別のファイルに置き換わりました";
    case EEXIST:
        return "同じ名前のファイルがあります";
    case ENOENT:
        return ioErrorText(2);
    case EACCES:
    case EPERM:
    case EROFS:
        return ioErrorText(5);
    case ENOSPC:
    case EDQUOT:
        return ioErrorText(101);
    case ENAMETOOLONG:
        return "名前が長すぎます";
    default:
        return "I/O エラー (" + std::to_string(error) + ")";
    }
}

void runRenames(const std::vector<NamePlanRow> &plan, IRenameReport &report)
{
    std::size_t total = 0;
    for (const NamePlanRow &row : plan)
        total += row.state == NameState::Changes;
    report.aboutToRename(plan);
    std::size_t done = 0;
    for (std::size_t i = 0; i < plan.size() && !report.stopRequested(); ++i) {
        const NamePlanRow &row = plan[i];
        if (row.state != NameState::Changes)
            continue;
        const int error = renameWithoutReplacing(row);
        if (error == 0) {
            tags::tellWriteWatchers(row.path);
            tags::tellWriteWatchers(row.newPath);
        }
        report.renamed(i, error == 0 ? std::string() : renameErrorText(error));
        report.progress({++done, total, row.path});
    }
}

} // namespace fileops
