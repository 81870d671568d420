#include "lists/folderscan.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "lists/row.h"
#include "platform/bytetext.h"
#include "platform/filesystem.h"
#include "platform/folderlisting.h"
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

class Walker
{
public:
    Walker(const AudioEntryHandler &onAudio, const StopRequest &stopRequested)
        : m_onAudio(onAudio)
        , m_stopRequested(stopRequested)
    { }

    void walk(const std::string &folder)
    {
        std::vector<platform::FolderEntry> entries;
        if (!platform::listFolder(folder, entries))
            return;
        const std::string prefix = platform::AddBackslash(folder);
        for (const platform::FolderEntry &entry : entries) {
            if (stopped())
                return;
            const std::string path = prefix + entry.name;
            if (hasAudioExtension(entry.name))
                m_onAudio(
                    path, entry.type == DT_REG ? tags::FileKind::Regular : tags::FileKind::Unknown);
            struct stat st;
            if (entry.name[0] == '.' || !platform::isFolder(path, entry, &st))
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
    // Once asked to stop, the walk unwinds without asking again.
    bool stopped()
    {
        if (!m_stopped && m_stopRequested)
            m_stopped = m_stopRequested();
        return m_stopped;
    }

    const AudioEntryHandler &m_onAudio;
    const StopRequest &m_stopRequested;
    bool m_stopped = false;
    std::vector<FolderId> m_path;
};

} // namespace

void scanFolder(
    const std::string &folder, const AudioEntryHandler &onAudio, const StopRequest &stopRequested)
{
    Walker(onAudio, stopRequested).start(folder);
}

} // namespace lists
