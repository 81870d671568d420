#pragma once

#include <sys/types.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "tags/id3v1.h"

namespace testing_support {

// A temporary folder under /tmp (ext4 here, not $TMPDIR), removed with all it holds.
class TempTree
{
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;

    const std::string &root() const { return m_root; }
    // The full path of a name relative to the root.
    std::string path(const std::string &relative) const;
    // Writes a file with the given bytes (folders on the way are made) and gives its path.
    std::string file(const std::string &relative, const std::string &bytes, mode_t mode = 0644);
    std::string folder(const std::string &relative);
    std::string symlink(const std::string &relative, const std::string &target);

private:
    std::string m_root;
};

std::string readBytes(const std::string &path);
// Mode bits (permission part) of the file, or -1 when it cannot be read.
int fileMode(const std::string &path);
bool exists(const std::string &path);

// A file's bytes, mode and modification time, to compare before and after.
struct Snapshot
{
    std::string bytes;
    int mode;
    long long mtimeNs;
    bool operator==(const Snapshot &o) const
    {
        return bytes == o.bytes && mode == o.mode && mtimeNs == o.mtimeNs;
    }
};
std::ostream &operator<<(std::ostream &out, const Snapshot &s);
Snapshot snapshot(const std::string &path);
// Names in a folder, sorted, without "." and "..".
std::vector<std::string> listNames(const std::string &folder);
void removeTree(const std::string &path);

// Some bytes of an MPEG audio frame, standing in for the audio part of a file.
std::string audioBytes(std::size_t size, unsigned seed = 1);

// A 128-byte tag block with the given fields (placed with space padding) and genre.
std::string tagBytes(const std::string &title, const std::string &artist = {},
    const std::string &album = {}, const std::string &year = {}, const std::string &comment = {},
    unsigned char genre = 255);

// The complete block of the tag editor with a title and a genre.
tags::Block completeTagBlock(const std::string &title, unsigned char genre = 255);
std::string bytesOf(const tags::Block &block);

// The message of the platform::Error that `f` throws, or "" when it throws none.
template<typename F> std::string errorOf(F &&f)
{
    try {
        f();
    } catch (const platform::Error &error) {
        return error.what();
    }
    return {};
}

// Waits for a condition that another thread or process brings about, looking every
// millisecond. False only when it has not come within a minute: a hung run, never merely a
// slow or busy machine.
template<typename F> bool waitUntil(F &&condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace testing_support
