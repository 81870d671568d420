#include "lists/folderscan.h"

#include <sys/stat.h>

#include <functional>
#include <unordered_set>
#include <vector>

#include "lists/row.h"
#include "platform/bytetext.h"
#include "platform/filesystem.h"
#include "platform/folderlisting.h"
#include "platform/mountinfo.h"
#include "platform/paths.h"

namespace lists {

bool hasAudioExtension(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot != 4)
        return false;
    const std::string extension = platform::asciiUpper(name.substr(dot));
    return extension == ".MP3" || extension == ".MP2";
}

namespace {

struct FolderId
{
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId &o) const { return device == o.device && inode == o.inode; }
};

struct FolderIdHash
{
    std::size_t operator()(const FolderId &id) const
    {
        return std::hash<dev_t>()(id.device) * 31 + std::hash<ino_t>()(id.inode);
    }
};

// A folder about to be walked: where it is, its device, and whether that device holds a
// pseudo file system.
struct Folder
{
    std::string path;
    dev_t device;
    bool isPseudo;
};

class Walker
{
public:
    Walker(const AudioEntryHandler &onAudio, const WalkStep &step)
        : m_onAudio(onAudio)
        , m_step(step)
    { }

    void start(const std::string &folder)
    {
        struct stat st;
        if (platform::fileSystem().stat(folder.empty() ? "." : folder.c_str(), &st, true) != 0)
            return walk({folder, 0, false}); // the listing decides, and fails silently
        m_entered.insert({st.st_dev, st.st_ino});
        // Read once per walk; a chosen folder on a pseudo file system is walked all the same.
        m_mounts = platform::MountTable::read();
        walk({folder, st.st_dev, isPseudo(st.st_dev)});
    }

private:
    void walk(const Folder &folder)
    {
        if (stopped())
            return;
        std::vector<platform::FolderEntry> entries;
        if (!platform::listFolder(folder.path, entries))
            return;
        const std::string prefix = platform::AddBackslash(folder.path);
        for (const platform::FolderEntry &entry : entries) {
            if (stopped())
                return;
            const std::string path = prefix + entry.name;
            if (hasAudioExtension(entry.name))
                m_onAudio(
                    path, entry.type == DT_REG ? tags::FileKind::Regular : tags::FileKind::Unknown);
            if (entry.name[0] == '.' || (folder.isPseudo && isLink(path, entry)))
                continue;
            struct stat st;
            if (!platform::isFolder(path, entry, &st)
                || !m_entered.insert({st.st_dev, st.st_ino}).second)
                continue;
            // The type is looked up only where the device changes.
            bool pseudo = folder.isPseudo;
            if (st.st_dev != folder.device) {
                pseudo = isPseudo(st.st_dev);
                if (pseudo)
                    continue;
            }
            walk({path, st.st_dev, pseudo});
        }
    }

    bool isPseudo(dev_t device) const
    {
        return platform::isPseudoFileSystem(m_mounts.typeOf(device));
    }

    static bool isLink(const std::string &path, const platform::FolderEntry &entry)
    {
        if (entry.type != DT_UNKNOWN)
            return entry.type == DT_LNK;
        struct stat st;
        return platform::fileSystem().stat(path.c_str(), &st, false) == 0 && S_ISLNK(st.st_mode);
    }

    // Once asked to stop, the walk unwinds without asking again.
    bool stopped()
    {
        if (!m_stopped && m_step)
            m_stopped = m_step();
        return m_stopped;
    }

    const AudioEntryHandler &m_onAudio;
    const WalkStep &m_step;
    bool m_stopped = false;
    std::unordered_set<FolderId, FolderIdHash> m_entered;
    platform::MountTable m_mounts;
};

} // namespace

void scanFolder(const std::string &folder, const AudioEntryHandler &onAudio, const WalkStep &step)
{
    Walker(onAudio, step).start(folder);
}

} // namespace lists
