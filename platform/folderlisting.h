#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

namespace platform {

// An entry of a folder: its name (bytes) and the type the listing gave (d_type).
struct FolderEntry
{
    std::string name;
    unsigned char type;
};

// Reads a folder's entries whole and closes it, "." and ".." left out, in name order:
// ascending bytes after the ASCII fold, ties by the raw bytes (the order the original
// platform's file system gave). False, with nothing listed, when the folder cannot be
// read (a read error part way counts too). An empty path reads the current directory.
bool listFolder(const std::string &folder, std::vector<FolderEntry> &entries);

// True when `entry` of `folder` is a folder, following links; `st` receives its status.
// The type from the listing is used where it says enough; stat only for links and
// unknown types, and for folders, whose identity the caller may need.
bool isFolder(const std::string &path, const FolderEntry &entry, struct stat *st);

} // namespace platform
