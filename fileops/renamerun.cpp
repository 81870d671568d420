#include "fileops/renamerun.h"

#include <cerrno>
#include <cstdio>

#include "fileops/filetransfer.h"
#include "platform/filesystem.h"
#include "tags/tagfile.h"

namespace fileops {

int renameWithoutReplacing(const NamePlanRow &row)
{
    return platform::renameWithoutReplacing(
        row.path.c_str(), row.newPath.c_str(), row.device, row.inode);
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
