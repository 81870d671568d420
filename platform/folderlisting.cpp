#include "platform/folderlisting.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>

#include "platform/bytetext.h"
#include "platform/filesystem.h"

namespace platform {

namespace {

bool nameOrder(const FolderEntry &a, const FolderEntry &b)
{
    const std::size_t n = std::min(a.name.size(), b.name.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(platform::asciiUpper(a.name[i]));
        const auto y = static_cast<unsigned char>(platform::asciiUpper(b.name[i]));
        if (x != y)
            return x < y;
    }
    if (a.name.size() != b.name.size())
        return a.name.size() < b.name.size();
    return a.name < b.name;
}

} // namespace

bool listFolder(const std::string &folder, std::vector<FolderEntry> &entries)
{
    entries.clear();
    DIR *dir = fileSystem().opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return false;
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            ok = errno == 0; // a read error ends the folder; no retry
            break;
        }
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            entries.push_back({entry->d_name, entry->d_type});
    }
    ::closedir(dir);
    if (!ok) {
        entries.clear();
        return false;
    }
    std::sort(entries.begin(), entries.end(), nameOrder);
    return true;
}

bool isFolder(const std::string &path, const FolderEntry &entry, struct stat *st)
{
    if (entry.type != DT_DIR && entry.type != DT_LNK && entry.type != DT_UNKNOWN)
        return false;
    return fileSystem().stat(path.c_str(), st, true) == 0 && S_ISDIR(st->st_mode);
}

} // namespace platform
