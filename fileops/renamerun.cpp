#include "fileops/renamerun.h"

#include <cerrno>
#include <cstdio>
#include <string_view>

#include <fcntl.h>

#include "fileops/filetransfer.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
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

namespace {

// The folder of the files being renamed, open while they are in it: each rename then walks
// one name, not the whole path. Where the folder cannot be opened, the full paths serve.
class FolderAtHand
{
public:
    int renameWithoutReplacing(const NamePlanRow &row)
    {
        const std::string_view name = platform::fileNamePart(row.path);
        const std::string_view folder
            = std::string_view(row.path).substr(0, row.path.size() - name.size());
        const std::string_view newName = platform::fileNamePart(row.newPath);
        if (folder.empty() || row.newPath.compare(0, folder.size(), folder) != 0
            || row.newPath.size() != folder.size() + newName.size())
            return fileops::renameWithoutReplacing(row);
        if (folder != m_folder) {
            m_folder = folder;
            m_fd = platform::UniqueFd(
                platform::fileSystem().open(m_folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        }
        if (!m_fd.isValid())
            return fileops::renameWithoutReplacing(row);
        return platform::renameWithoutReplacingAt(m_fd.get(), std::string(name).c_str(),
            std::string(newName).c_str(), row.device, row.inode);
    }

private:
    std::string m_folder;
    platform::UniqueFd m_fd;
};

} // namespace

void runRenames(const std::vector<NamePlanRow> &plan, IRenameReport &report)
{
    std::size_t total = 0;
    for (const NamePlanRow &row : plan)
        total += row.state == NameState::Changes;
    report.aboutToRename(plan);
    std::size_t done = 0;
    FolderAtHand folder;
    for (std::size_t i = 0; i < plan.size() && !report.stopRequested(); ++i) {
        const NamePlanRow &row = plan[i];
        if (row.state != NameState::Changes)
            continue;
        const int error = folder.renameWithoutReplacing(row);
        if (error == 0) {
            tags::tellWriteWatchers(row.path);
            tags::tellWriteWatchers(row.newPath);
        }
        report.renamed(i, error == 0 ? std::string() : renameErrorText(error));
        report.progress({++done, total, row.path});
    }
}

} // namespace fileops
