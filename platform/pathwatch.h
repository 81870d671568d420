#pragma once

#include <string>

namespace platform {

// Every path the program creates, replaces, writes or removes is told to the watchers once
// the change is over (made or not: a failed change may have touched the file for a moment),
// on the changing thread. The file layer tells them itself: a tag write, a file put in place
// by TemporaryFile::commit, a file deleted, a tag put back by undo. So a reader that keeps
// what it read (the scan's read-ahead) can read such a path again.
class IPathWatcher
{
public:
    virtual ~IPathWatcher() = default;
    virtual void pathChanged(const std::string &path) = 0;
};

void tellPathChanged(const std::string &path);
void addPathWatcher(IPathWatcher &watcher);
void removePathWatcher(IPathWatcher &watcher);

// A watcher registered for the lifetime of this object, from any thread. Once the
// destructor has returned, the watcher is never told again.
class PathWatch
{
public:
    explicit PathWatch(IPathWatcher &watcher)
        : m_watcher(watcher)
    {
        addPathWatcher(m_watcher);
    }
    ~PathWatch() { removePathWatcher(m_watcher); }
    PathWatch(const PathWatch &) = delete;
    PathWatch &operator=(const PathWatch &) = delete;

private:
    IPathWatcher &m_watcher;
};

} // namespace platform
