#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "fileops/namesfromtags.h"
#include "platform/filesystem.h"
#include "platform/runcontrol.h"

namespace fileops {

// Told of a rename run: the whole plan before anything is renamed (so that a record of it can
// be kept in one piece), then each file as it ends.
class IRenameReport : public platform::IRunControl
{
public:
    // The rows whose state is Changes are about to be renamed, in order. An exception thrown
    // here leaves the run before any file is renamed.
    virtual void aboutToRename(const std::vector<NamePlanRow> &plan) = 0;
    // Row `index` of the plan has been renamed (`why` empty) or has not, and why.
    virtual void renamed(std::size_t index, const std::string &why) = 0;
};

// What renameWithoutReplacing gives when the path no longer names the file that was planned.
constexpr int NotThePlannedFile = platform::NotTheExpectedFile;

// Gives a planned file its new name without ever replacing another file, as
// platform::renameWithoutReplacing does.
int renameWithoutReplacing(const NamePlanRow &row);

// The program's words for a failure of renameWithoutReplacing.
std::string renameErrorText(int error);

// The rows of a plan that are to be renamed, each made a `Planned` from its path, new path,
// device, inode and birth time (the undo journal's record of a run takes them so).
template<typename Planned> std::vector<Planned> renamesOf(const std::vector<NamePlanRow> &plan)
{
    std::vector<Planned> renames;
    for (const NamePlanRow &row : plan) {
        if (row.state == NameState::Changes)
            renames.push_back({row.path, row.newPath, row.device, row.inode, row.birth});
    }
    return renames;
}

// Renames the files of the plan whose state is Changes, in order. A file that fails is
// reported with why and the run goes on; the watchers of changed paths are told of both
// names of every file renamed. Stops between files when asked.
void runRenames(const std::vector<NamePlanRow> &plan, IRenameReport &report);

} // namespace fileops
