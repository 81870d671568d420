#pragma once

#include <sys/types.h>

#include <string>

namespace platform {

// Gives a file owner write permission for the length of one operation and puts the exact
// former mode back on every way out, unless the operation dismissed it (the file is gone).
// A file that is writable already is left alone, so a file system that refuses chmod
// still lets it be written or deleted.
class ScopedWritableMode
{
public:
    ScopedWritableMode(const std::string &path, mode_t currentMode);
    ~ScopedWritableMode();
    ScopedWritableMode(const ScopedWritableMode &) = delete;
    ScopedWritableMode &operator=(const ScopedWritableMode &) = delete;

    // False when the mode had to change and the change was refused.
    bool isWritable() const { return m_writable; }
    // The file no longer exists: nothing to restore.
    void dismiss() { m_changed = false; }

private:
    std::string m_path;
    mode_t m_formerMode;
    bool m_changed = false;
    bool m_writable = true;
};

} // namespace platform
