#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// The initialisation-file format: "[Section]" lines, each followed by "Key=Value" lines.
// Section and key names are matched without regard to ASCII case; lines that are no
// section and no key (comments, garbage) are kept as they are when the file is rewritten.

// Lines longer than this are skipped by the reader and copied through by the writer,
// never held whole.
constexpr std::size_t ProfileMaxLine = 64 * 1024;
// The reader looks no further than this into a file, so a huge or endless file (a sparse
// file of gigabytes) cannot hold the start-up; the writer still copies every byte.
constexpr long long ProfileReadLimit = 256LL << 20;

// The keys of one section as they stand in the file, the first occurrence of each key.
class ProfileSection
{
public:
    // The value of a key (spaces around it removed, one pair of enclosing quotes too), or
    // null when the section does not have it.
    const std::string *find(const std::string &key) const;
    void add(std::string key, std::string value);

private:
    std::vector<std::pair<std::string, std::string>> m_entries; // folded key, value
};

// Reads the first section called `section`. A missing, unreadable or non-regular file (a
// FIFO, a device, a folder) gives an empty section: it is opened without blocking and read
// line by line, so neither a FIFO nor a device that never ends can hold the program.
ProfileSection readProfileSection(const std::string &path, const std::string &section);

// Rewrites the file with the keys of `section` set to the given values, in one step: the
// old file is streamed through into a new file beside it, the section's keys replaced (or
// added at the end of the section, the section added at the end of the file), every other
// line kept byte for byte; the new file is synced and renamed over the old one. A symbolic
// link keeps its target rewritten. Gives false, with errno set, when the file could not be
// written; the old file is then untouched and no new file is left behind. A path that is
// not a regular file is never opened for writing.
bool writeProfileSection(const std::string &path, const std::string &section,
    const std::vector<std::pair<std::string, std::string>> &entries);

// The two steps above on open descriptors, read and written from offset 0: the section of
// the file `in`, and the old file `in` (or none, when -1) streamed into `out` with the
// section's keys set. The copy gives false, with errno set, when a read or write failed.
ProfileSection readProfileSectionFrom(int in, const std::string &section);
bool copyProfileWithSection(int in, int out, const std::string &section,
    const std::vector<std::pair<std::string, std::string>> &entries);

} // namespace platform
