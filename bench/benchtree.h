#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

// Builds (once, then reuses) a tree of `files` audio files under `root`: nested folders,
// mixed tags with Shift-JIS texts, files of 300 bytes to 4 KiB, and one non-audio file for
// every ten audio files. Gives the number of audio files in it.
std::size_t buildAudioTree(const std::string &root, std::size_t files);

// The time since `start`, in seconds.
double secondsSince(long long startNanoseconds);
long long nowNanoseconds();

// Points $XDG_STATE_HOME and $XDG_CACHE_HOME at a temporary folder for the life of the
// object, so that the tag writes of a benchmark never grow the user's undo journal.
class TemporaryStateFolders
{
public:
    TemporaryStateFolders();
    ~TemporaryStateFolders();
    TemporaryStateFolders(const TemporaryStateFolders &) = delete;
    TemporaryStateFolders &operator=(const TemporaryStateFolders &) = delete;

    const std::string &root() const { return m_root; }

private:
    std::string m_root;
};

// Removes a folder and all it holds, without following links.
void removeTree(const std::string &path);

// The median of a figure's rounds, and "UNIT (median of N, spread a-b)" for its line.
double median(std::vector<double> values);
std::string spread(const char *unit, const std::vector<double> &values);

// The machine's load average over the last minute (-1 when it cannot be read): figures taken
// on a shared machine are read beside it.
double loadAverage();

// Prints one figure line; gives whether its goal was met.
bool report(const char *name, double value, const char *unit, const char *goal, bool met);

} // namespace bench
