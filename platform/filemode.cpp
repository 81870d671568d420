#include "platform/filemode.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/filesystem.h"

namespace platform {

ScopedWritableMode::ScopedWritableMode(const std::string &path, mode_t currentMode)
    : m_path(path)
    , m_formerMode(currentMode & 07777)
{
    if (m_formerMode & S_IWUSR)
        return;
    m_changed = fileSystem().chmod(m_path.c_str(), m_formerMode | S_IWUSR) == 0;
    m_writable = m_changed;
}

ScopedWritableMode::~ScopedWritableMode()
{
    if (m_changed) {
        const int savedErrno = errno;
        fileSystem().chmod(m_path.c_str(), m_formerMode);
        errno = savedErrno;
    }
}

} // namespace platform
