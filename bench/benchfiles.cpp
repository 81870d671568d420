#include "bench/benchfiles.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <cstdlib>

#include "bench/benchtree.h"

namespace bench {

bool runCommand(const std::string &command)
{
    return std::system(command.c_str()) == 0;
}

std::string numberedName(int i)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "/f%04d.mp3", i);
    return buffer;
}

std::vector<char> noiseBytes(std::size_t size)
{
    std::vector<char> data(size);
    unsigned state = 1;
    for (char &byte : data) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return data;
}

bool hasFreeSpace(const std::string &folder, double bytes)
{
    struct statvfs fs
    {
    };
    if (::statvfs(folder.c_str(), &fs) == 0
        && static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize) >= bytes)
        return true;
    std::printf("not enough free space under %s for %.0f MiB; nothing measured\n", folder.c_str(),
        bytes / (1 << 20));
    return false;
}

double copyAndSyncSeconds(const std::string &from, const std::string &to)
{
    ::mkdir(to.c_str(), 0755);
    const long long start = nowNanoseconds();
    const bool copied = runCommand("cp --reflink=never '" + from + "'/*.mp3 '" + to + "'/ && sync");
    const double seconds = secondsSince(start);
    runCommand("rm -rf '" + to + "' && sync");
    return copied ? seconds : -1;
}

} // namespace bench
