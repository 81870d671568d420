#include "bench/benchtree.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

namespace bench {

namespace {

std::string field(const std::string &text, std::size_t width, char pad)
{
    std::string f = text.substr(0, width);
    f.resize(width, pad);
    return f;
}

} // namespace

std::size_t buildAudioTree(const std::string &root, std::size_t files)
{
    const std::string marker = root + "/.complete-" + std::to_string(files);
    struct stat st;
    if (::stat(marker.c_str(), &st) == 0)
        return files;
    std::system(("rm -rf '" + root + "'").c_str());
    ::mkdir(root.c_str(), 0755);

    const char *titles[] = {
        "Song", "\x88\xa4\x82\xcc\x89\xcc", "Blue Moon", "\x8d\xf7\x82\xcc\x89\xd4", "Intro", ""};
    const char *artists[] = {"Artist", "\x8e\x52\x93\x63\x91\xbe\x98\x59", "The Band", ""};
    std::mt19937 random(42);
    std::size_t made = 0;
    for (std::size_t folder = 0; made < files; ++folder) {
        // Three levels: 20 top folders, 10 below each, files in the lowest.
        const std::string dir = root + "/top" + std::to_string(folder % 20) + "/mid"
            + std::to_string(folder / 20 % 10) + "/album" + std::to_string(folder);
        std::system(("mkdir -p '" + dir + "'").c_str());
        for (int i = 0; i < 100 && made < files; ++i, ++made) {
            const std::size_t size = 300 + random() % 3800;
            std::string bytes(size, '\x55');
            bytes[0] = '\xff';
            bytes[1] = '\xfb';
            if (random() % 5 != 0) {
                std::string tag = "TAG";
                tag += field(titles[random() % 6], 30, random() % 2 ? ' ' : '\0');
                tag += field(artists[random() % 4], 30, ' ');
                tag += field("Album " + std::to_string(folder), 30, ' ');
                tag += field(std::to_string(1960 + random() % 60), 4, ' ');
                tag += field("comment", 30, '\0');
                tag += static_cast<char>(random() % 150);
                bytes.replace(size - 128, 128, tag);
            }
            const char *ext = random() % 7 == 0 ? ".MP2" : ".mp3";
            std::ofstream(dir + "/track" + std::to_string(i) + ext, std::ios::binary)
                .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (i % 10 == 0)
                std::ofstream(dir + "/cover" + std::to_string(i) + ".jpg") << "not audio";
        }
    }
    std::ofstream(marker) << files;
    return files;
}

long long nowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double secondsSince(long long startNanoseconds)
{
    return static_cast<double>(nowNanoseconds() - startNanoseconds) / 1e9;
}

TemporaryStateFolders::TemporaryStateFolders()
{
    char pattern[] = "/tmp/bellwick-bench-state-XXXXXX";
    if (::mkdtemp(pattern))
        m_root = pattern;
    else
        m_root = "/nonexistent"; // no journal at all then, rather than the user's
    ::setenv("XDG_STATE_HOME", (m_root + "/state").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (m_root + "/cache").c_str(), 1);
}

TemporaryStateFolders::~TemporaryStateFolders()
{
    if (m_root != "/nonexistent")
        removeTree(m_root);
}

void removeTree(const std::string &path)
{
    ::nftw(
        path.c_str(),
        [](const char *entry, const struct stat *, int, struct FTW *) { return ::remove(entry); },
        16, FTW_DEPTH | FTW_PHYS);
}

bool report(const char *name, double value, const char *unit, const char *goal, bool met)
{
    std::printf("%s: %.2f %s (goal: %s)\n", name, value, unit, goal);
    std::fflush(stdout);
    return met;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string spread(const char *unit, const std::vector<double> &values)
{
    char text[200];
    std::snprintf(text, sizeof text, "%s (median of %zu, spread %.2f-%.2f)", unit, values.size(),
        *std::min_element(values.begin(), values.end()),
        *std::max_element(values.begin(), values.end()));
    return text;
}

double loadAverage()
{
    double load = -1;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

} // namespace bench
