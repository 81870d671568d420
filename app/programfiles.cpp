#include "app/programfiles.h"

#include <sys/stat.h>

#include "platform/filesystem.h"

namespace app {

namespace {

bool isRegularFile(const std::string &path)
{
    struct stat st;
    return platform::fileSystem().stat(path.c_str(), &st, true) == 0 && S_ISREG(st.st_mode);
}

std::string joined(const std::string &folder, const std::string &name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

} // namespace

bool isInstalledProgram(const std::string &programFolder)
{
    return !programFolder.empty() && isRegularFile(joined(programFolder, InstalledMarkerName));
}

std::string findHelpPage(
    const std::string &name, const std::string &currentFolder, const std::string &programFolder)
{
    for (const std::string *folder : {&currentFolder, &programFolder}) {
        if (!folder->empty() && isRegularFile(joined(*folder, name)))
            return joined(*folder, name);
    }
    return {};
}

} // namespace app
