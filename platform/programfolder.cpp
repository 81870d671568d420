#include "platform/programfolder.h"

#include <sys/stat.h>

#include <vector>

#include <unistd.h>

#include "platform/filesystem.h"

namespace platform {

namespace {

bool isRegularFile(const std::string &path)
{
    struct stat st;
    return fileSystem().stat(path.c_str(), &st, true) == 0 && S_ISREG(st.st_mode);
}

std::string joined(const std::string &folder, const std::string &name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

} // namespace

std::string programFolder()
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            // The kernel adds " (deleted)" to the file's name when it was replaced while
            // running (a package upgrade); the folder part is still right.
            const std::string path(buffer.data(), static_cast<std::size_t>(length));
            const std::size_t slash = path.rfind('/');
            if (slash == std::string::npos)
                return {};
            return slash == 0 ? std::string("/") : path.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

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

} // namespace platform
