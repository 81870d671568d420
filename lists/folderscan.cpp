#include "lists/folderscan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include <dirent.h>

#include "lists/row.h"
#include "platform/filesystem.h"
#include "tags/bytetext.h"

namespace lists {

bool hasAudioExtension(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot != 4)
        return false;
    const std::string extension = tags::asciiUpper(name.substr(dot));
    return extension == ".MP3" || extension == ".MP2";
}

namespace {

struct Entry
{
    std::string name;
    unsigned char type;
};

// Reads a folder's entries whole and closes it. False when it cannot be listed.
bool readFolder(const std::string &folder, std::vector<Entry> &entries)
{
    DIR *dir = platform::fileSystem().opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return false;
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            ok = errno == 0; // a read error ends the folder; nothing of it is visited
            break;
        }
        entries.push_back({entry->d_name, entry->d_type});
    }
    ::closedir(dir);
    return ok;
}

bool nameOrder(const Entry &a, const Entry &b)
{
    const std::size_t n = std::min(a.name.size(), b.name.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(tags::asciiUpper(a.name[i]));
        const auto y = static_cast<unsigned char>(tags::asciiUpper(b.name[i]));
        if (x != y)
            return x < y;
    }
    if (a.name.size() != b.name.size())
        return a.name.size() < b.name.size();
    return a.name < b.name;
}

struct FolderId
{
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId &o) const { return device == o.device && inode == o.inode; }
};

class Walker
{
public:
    explicit Walker(const AudioEntryHandler &onAudio)
        : m_onAudio(onAudio)
    { }

    void walk(const std::string &folder)
    {
        std::vector<Entry> entries;
        if (!readFolder(folder, entries))
            return;
        std::sort(entries.begin(), entries.end(), nameOrder);
        const std::string prefix = AddBackslash(folder);
        for (const Entry &entry : entries) {
            const std::string path = prefix + entry.name;
            if (hasAudioExtension(entry.name))
                m_onAudio(
                    path, entry.type == DT_REG ? tags::FileKind::Regular : tags::FileKind::Unknown);
            if (entry.name[0] == '.')
                continue;
            if (entry.type != DT_DIR && entry.type != DT_LNK && entry.type != DT_UNKNOWN)
                continue;
            struct stat st;
            if (platform::fileSystem().stat(path.c_str(), &st, true) != 0 || !S_ISDIR(st.st_mode))
                continue;
            const FolderId id {st.st_dev, st.st_ino};
            if (std::find(m_path.begin(), m_path.end(), id) != m_path.end())
                continue;
            m_path.push_back(id);
            walk(path);
            m_path.pop_back();
        }
    }

    void start(const std::string &folder)
    {
        struct stat st;
        if (platform::fileSystem().stat(folder.empty() ? "." : folder.c_str(), &st, true) == 0)
            m_path.push_back({st.st_dev, st.st_ino});
        walk(folder);
    }

private:
    const AudioEntryHandler &m_onAudio;
    std::vector<FolderId> m_path;
};

} // namespace

void scanFolder(const std::string &folder, const AudioEntryHandler &onAudio)
{
    Walker(onAudio).start(folder);
}

} // namespace lists
