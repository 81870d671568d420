#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <unordered_map>

namespace platform {

// The file-system type of every mounted device, as the kernel lists its mounts in
// /proc/self/mountinfo.
class MountTable
{
public:
    // Reads the table of this process's mounts; empty when it cannot be read.
    static MountTable read(const char *path = "/proc/self/mountinfo");
    // The table from the text of a mountinfo file; lines that do not parse are left out.
    static MountTable parse(std::string_view text);

    // The type of the file system on `device` ("ext4", "proc", "fuse.sshfs"), or "" when no
    // mount has that device.
    std::string typeOf(dev_t device) const;
    bool empty() const { return m_types.empty(); }

private:
    std::unordered_map<dev_t, std::string> m_types;
};

// True for the kernel's pseudo file systems (proc, sysfs, devtmpfs, cgroup and the like):
// they hold no files of the user, and their links lead back into the whole disk. autofs is
// not one: its mount points are network shares and other real file systems.
bool isPseudoFileSystem(std::string_view type);

// True when the folder is on a FAT or exFAT file system (memory cards, music players), whose
// names cannot hold \ : * ? " < > |. False when it cannot be told.
bool isFatFolder(const std::string &folder);

} // namespace platform
