#include "platform/mountinfo.h"

#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <array>
#include <cstdio>

namespace platform {

namespace {

// The next field of a line (fields are separated by single spaces), advancing `line`.
std::string_view nextField(std::string_view &line)
{
    const std::size_t space = line.find(' ');
    const std::string_view field = line.substr(0, space);
    line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    return field;
}

bool parseNumber(std::string_view text, unsigned long &value)
{
    if (text.empty() || text.size() > 10)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return true;
}

} // namespace

MountTable MountTable::read(const char *path)
{
    std::string text;
    if (std::FILE *file = std::fopen(path, "re")) {
        std::array<char, 65536> buffer;
        std::size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
            text.append(buffer.data(), n);
        std::fclose(file);
    }
    return parse(text);
}

MountTable MountTable::parse(std::string_view text)
{
    // A line: id, parent id, major:minor, root, mount point, options, optional fields (any
    // number), "-", type, source, super options. Paths have their spaces escaped as \040.
    MountTable table;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        nextField(line);
        nextField(line);
        const std::string_view device = nextField(line);
        const std::size_t colon = device.find(':');
        unsigned long major = 0;
        unsigned long minor = 0;
        if (colon == std::string_view::npos || !parseNumber(device.substr(0, colon), major)
            || !parseNumber(device.substr(colon + 1), minor))
            continue;
        const std::size_t separator = line.find(" - ");
        if (separator == std::string_view::npos)
            continue;
        line = line.substr(separator + 3);
        const std::string_view type = nextField(line);
        if (type.empty())
            continue;
        // Bind mounts repeat a device with the same type; the first line serves.
        table.m_types.emplace(makedev(major, minor), std::string(type));
    }
    return table;
}

std::string MountTable::typeOf(dev_t device) const
{
    const auto found = m_types.find(device);
    return found == m_types.end() ? std::string() : found->second;
}

bool isPseudoFileSystem(std::string_view type)
{
    static constexpr std::string_view pseudo[] = {"proc", "sysfs", "devtmpfs", "devpts", "cgroup",
        "cgroup2", "debugfs", "tracefs", "securityfs", "pstore", "bpf", "configfs", "fusectl",
        "mqueue", "hugetlbfs", "efivarfs", "binfmt_misc", "nsfs"};
    for (const std::string_view name : pseudo) {
        if (type == name)
            return true;
    }
    return false;
}

bool isFatFolder(const std::string &folder)
{
    // The kernel's magic numbers of vfat/msdos and of exfat.
    constexpr long MsdosMagic = 0x4d44;
    constexpr long ExfatMagic = 0x2011BAB0;
    struct statfs info;
    if (::statfs(folder.c_str(), &info) != 0)
        return false;
    const long type = static_cast<long>(info.f_type);
    return type == MsdosMagic || type == ExfatMagic;
}

} // namespace platform
