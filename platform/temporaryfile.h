#pragma once

#include <sys/types.h>

#include <string>

#include "platform/filesystem.h"

namespace platform {

// The folder holding a path: the text before its last "/" ("/" for a file in the root,
// "." for a bare name).
std::string folderOf(const std::string &path);

// The errno of a call that just failed, never 0 (a short transfer may leave errno as it was).
int lastError();

// Flushes a folder's entries to disk, so a name just made there survives a power cut.
// Gives 0 or the errno; a file system that cannot flush a folder at all counts as flushed.
int syncFolder(const std::string &folder);

// A new file written in the folder of the file it is to become, put in place only when
// complete. It has no name while it is written where the file system offers O_TMPFILE, so
// an interrupted run leaves nothing behind; else it gets a short dot-name that the folder
// scan never takes for audio and that is created with O_EXCL | O_NOFOLLOW, so a file or a
// symbolic link planted at that name is never opened. Whatever of it is on disk is removed
// again unless it was committed.
class TemporaryFile
{
public:
    explicit TemporaryFile(std::string folder);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    // Open for reading and writing, so that what was written can be read back.
    int fd() const { return m_fd.get(); }

    // Creates the file with `mode` (less the umask). `replaces` tells whether the commit
    // will put it over an existing file; that needs a name of its own for the rename, so a
    // folder whose names cannot be removed again (append-only or immutable) is refused with
    // EPERM before anything is made there. Gives 0 or the errno.
    int create(bool replaces, mode_t mode);

    // Closes the complete file and puts it at `destination`. A free destination gets the
    // unnamed file linked in directly, which never replaces a file that appeared there
    // meanwhile (EEXIST); an existing one is replaced by a rename, so it is whole before
    // and after. Gives 0 or the errno.
    int commit(const std::string &destination);

private:
    int linkTo(const std::string &path);
    bool folderKeepsNames() const;

    std::string m_folder;
    UniqueFd m_fd;
    std::string m_name; // the name on disk, removed unless committed
    bool m_unnamed = false;
    bool m_replaces = false;
};

} // namespace platform
