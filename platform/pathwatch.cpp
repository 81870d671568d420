#include "platform/pathwatch.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace platform {

namespace {

std::mutex watchersMutex;
std::vector<IPathWatcher *> watchers;

} // namespace

void tellPathChanged(const std::string &path)
{
    // Held while telling, so a watch being removed waits for the telling to end.
    const std::lock_guard<std::mutex> lock(watchersMutex);
    for (IPathWatcher *watcher : watchers)
        watcher->pathChanged(path);
}

void addPathWatcher(IPathWatcher &watcher)
{
    const std::lock_guard<std::mutex> lock(watchersMutex);
    watchers.push_back(&watcher);
}

void removePathWatcher(IPathWatcher &watcher)
{
    const std::lock_guard<std::mutex> lock(watchersMutex);
    watchers.erase(std::remove(watchers.begin(), watchers.end(), &watcher), watchers.end());
}

} // namespace platform
