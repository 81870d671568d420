#include "tests/support/testtree.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

#include <algorithm>

namespace testing_support {

TempTree::TempTree()
{
    char pattern[] = "/tmp/bellwick-test-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
}

TempTree::~TempTree()
{
    removeTree(m_root);
}

std::string TempTree::path(const std::string &relative) const
{
    return relative.empty() ? m_root : m_root + "/" + relative;
}

namespace {

void makeParents(const std::string &path)
{
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        ::mkdir(path.substr(0, at).c_str(), 0755);
}

} // namespace

std::string TempTree::file(const std::string &relative, const std::string &bytes, mode_t mode)
{
    const std::string full = path(relative);
    makeParents(full);
    ::unlink(full.c_str());
    {
        std::ofstream out(full, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + full);
    }
    ::chmod(full.c_str(), mode);
    return full;
}

std::string TempTree::folder(const std::string &relative)
{
    const std::string full = path(relative);
    makeParents(full + "/");
    return full;
}

std::string TempTree::symlink(const std::string &relative, const std::string &target)
{
    const std::string full = path(relative);
    makeParents(full);
    if (::symlink(target.c_str(), full.c_str()) != 0)
        throw std::runtime_error("cannot link " + full);
    return full;
}

std::string readBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int fileMode(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

bool exists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> listNames(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = ::opendir(folder.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void removeTree(const std::string &path)
{
    // Make every folder writable and searchable again first, so nothing is left behind.
    ::nftw(
        path.c_str(),
        [](const char *p, const struct stat *st, int type, FTW *) {
            if (type == FTW_D)
                ::chmod(p, (st->st_mode & 07777) | 0700);
            return 0;
        },
        16, FTW_PHYS);
    ::nftw(
        path.c_str(),
        [](const char *p, const struct stat *, int, FTW *) {
            ::remove(p);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

std::string audioBytes(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    // An MPEG-1 Layer III frame header at the start.
    const unsigned char header[] = {0xFF, 0xFB, 0x90, 0x64};
    for (std::size_t i = 0; i < sizeof header && i < size; ++i)
        bytes[i] = static_cast<char>(header[i]);
    return bytes;
}

std::string tagBytes(const std::string &title, const std::string &artist, const std::string &album,
    const std::string &year, const std::string &comment, unsigned char genre)
{
    std::string block = "TAG";
    const auto put = [&block](const std::string &text, std::size_t width) {
        std::string field = text.substr(0, width);
        field.resize(width, ' ');
        block += field;
    };
    put(title, 30);
    put(artist, 30);
    put(album, 30);
    put(year, 4);
    put(comment, 30);
    block += static_cast<char>(genre);
    return block;
}

tags::Block completeTagBlock(const std::string &title, unsigned char genre)
{
    tags::CompleteTag tag;
    tag.texts[0] = title;
    tag.genre = genre;
    return tags::completeBlock(tag);
}

std::string bytesOf(const tags::Block &block)
{
    return std::string(block.data(), block.size());
}

} // namespace testing_support

namespace testing_support {

std::ostream &operator<<(std::ostream &out, const Snapshot &s)
{
    return out << s.bytes.size() << " bytes, mode " << std::oct << s.mode << std::dec << ", mtime "
               << s.mtimeNs << " ns";
}

Snapshot snapshot(const std::string &path)
{
    struct stat st
    {
    };
    const long long mtime = ::stat(path.c_str(), &st) == 0
        ? static_cast<long long>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec
        : -1;
    return {readBytes(path), fileMode(path), mtime};
}

} // namespace testing_support
