#pragma once

#include <string>
#include <vector>

namespace bench {

// Many large files named "/f0000.mp3", "/f0001.mp3", ... in one folder, and cp followed by
// sync over them: the reference the copy and the export are measured against.

// Runs a shell command; gives whether it exited with 0.
bool runCommand(const std::string &command);

// "/f0042.mp3" for 42: the name of a file of the set, to append to its folder.
std::string numberedName(int i);

// Bytes of a fixed pseudo-random sequence, the same on every run.
std::vector<char> noiseBytes(std::size_t size);

// Whether the file system of `folder` has `bytes` free; when not, says so on stdout.
bool hasFreeSpace(const std::string &folder, double bytes);

// Times `cp --reflink=never` of every "*.mp3" of `from` into the new folder `to` followed by
// sync, then removes `to` (not timed). Gives the seconds, or a negative value when cp failed.
double copyAndSyncSeconds(const std::string &from, const std::string &to);

} // namespace bench
