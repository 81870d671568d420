#pragma once

#include <cstddef>
#include <string>

namespace bench {

// Builds (once, then reuses) a tree of `files` audio files under `root`: nested folders,
// mixed tags with Shift-JIS texts, files of 300 bytes to 4 KiB, and one non-audio file for
// every ten audio files. Gives the number of audio files in it.
std::size_t buildAudioTree(const std::string &root, std::size_t files);

// The time since `start`, in seconds.
double secondsSince(long long startNanoseconds);
long long nowNanoseconds();

// Prints one figure line; gives whether its goal was met.
bool report(const char *name, double value, const char *unit, const char *goal, bool met);

} // namespace bench
