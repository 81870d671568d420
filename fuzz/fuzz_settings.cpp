// The settings-file reader and rewriter on any file content (random bytes, CR and CRLF line
// ends, NUL bytes, a byte-order mark, lines past the reader's limit). Every value read is
// one line's text; after a rewrite the reader finds exactly the values written, and a second
// rewrite with the same values changes no byte.

#include <sys/mman.h>

#include <unistd.h>

#include "app/settingsfile.h"
#include "fuzz/targets.h"
#include "platform/profilefile.h"

namespace fuzz {

namespace {

// An in-memory file, emptied and refilled for each input.
class MemoryFile
{
public:
    MemoryFile()
        : m_fd(::memfd_create("bellwick-fuzz", MFD_CLOEXEC))
    { }
    ~MemoryFile() { ::close(m_fd); }
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    int fd() const { return m_fd; }
    bool set(const std::string &bytes) const
    {
        return ::ftruncate(m_fd, 0) == 0
            && ::pwrite(m_fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    }
    std::string bytes() const
    {
        std::string out(static_cast<std::size_t>(::lseek(m_fd, 0, SEEK_END)), '\0');
        return ::pread(m_fd, out.data(), out.size(), 0) == static_cast<ssize_t>(out.size())
            ? out
            : std::string();
    }
    void clear() const { (void)!::ftruncate(m_fd, 0); }

private:
    int m_fd;
};

} // namespace

bool settingsFile(const std::uint8_t *data, std::size_t size)
{
    static const MemoryFile in, out, again;
    std::string content(reinterpret_cast<const char *>(data), size);
    // One input in sixteen gets a line longer than the reader holds, somewhere.
    if (size > 1 && data[0] % 16 == 0)
        content.insert(data[1] % size, platform::ProfileMaxLine + 100 + data[1] * 8u, 'x');
    if (!in.set(content))
        return false;

    const platform::ProfileSection section
        = platform::readProfileSectionFrom(in.fd(), app::SettingsSection);
    std::vector<std::pair<std::string, std::string>> entries;
    for (std::size_t i = 0; i < app::SettingCount; ++i) {
        const std::string name = app::settingName(i);
        int value = static_cast<int>(i * 1000003u + size);
        if (const std::string *text = section.find(name)) {
            if (text->find('\n') != std::string::npos || text->size() > platform::ProfileMaxLine)
                return false;
            // A stored number is kept, as the program does with settings it did not change.
            value = app::parseSettingInteger(*text).value_or(value);
        }
        entries.emplace_back(name, std::to_string(value));
    }

    out.clear();
    if (!platform::copyProfileWithSection(in.fd(), out.fd(), app::SettingsSection, entries))
        return false;
    const platform::ProfileSection written
        = platform::readProfileSectionFrom(out.fd(), app::SettingsSection);
    for (const auto &[name, value] : entries) {
        const std::string *found = written.find(name);
        if (!found || *found != value)
            return false;
    }
    again.clear();
    if (!platform::copyProfileWithSection(out.fd(), again.fd(), app::SettingsSection, entries))
        return false;
    return again.bytes() == out.bytes();
}

} // namespace fuzz
