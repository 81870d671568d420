// Copy and move throughput of the core's file copy against cp followed by sync, on the
// same files in the same run. Prints figures; never fails a test run.

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "bench/benchfiles.h"
#include "fileops/filetransfer.h"

using bench::numberedName;
using bench::runCommand;

namespace {

constexpr std::size_t FileSize = 4u << 20;

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main()
{
    int count = 1000;
    if (const char *files = std::getenv("BELLWICK_BENCH_FILES"))
        count = std::max(1, std::atoi(files));
    const double mib = static_cast<double>(count) * FileSize / (1 << 20);

    char pattern[] = "/tmp/bellwick-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    const std::string src = root + "/src";
    const std::string dst = root + "/dst";
    ::mkdir(src.c_str(), 0755);

    // Sources and one copy at a time: twice the data, checked before anything is written.
    runCommand("df -h /tmp");
    if (!bench::hasFreeSpace(root, 2 * mib * (1 << 20) + (1u << 30))) {
        ::rmdir(src.c_str());
        ::rmdir(root.c_str());
        std::printf("goals met: 0/1\n");
        return 0;
    }
    std::vector<char> data = bench::noiseBytes(FileSize);
    for (int i = 0; i < count; ++i) {
        const int fd = ::open((src + numberedName(i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        data[0] = static_cast<char>(i);
        if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
            std::perror("write");
            runCommand("rm -rf '" + root + "'");
            return 1;
        }
        ::close(fd);
    }
    ::sync();

    const double cpSeconds = bench::copyAndSyncSeconds(src, dst);
    const bool cpOk = cpSeconds >= 0;
    const double cpSync = mib / std::max(cpSeconds, 1e-9);

    ::mkdir(dst.c_str(), 0755);
    int copyFailures = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        copyFailures += fileops::copyFile(src + numberedName(i), dst + numberedName(i)) != 0;
    const double copy = mib / seconds(start);
    runCommand("rm -rf '" + dst + "' && sync");

    ::mkdir(dst.c_str(), 0755);
    int moveFailures = 0;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        moveFailures += fileops::moveFile(src + numberedName(i), dst + numberedName(i)) != 0;
    const double move = mib / seconds(start);
    runCommand("rm -rf '" + root + "'");

    std::printf("files: %d of %zu MiB, cp: %s, copy failures: %d, move failures: %d\n", count,
        FileSize >> 20, cpOk ? "ok" : "failed", copyFailures, moveFailures);
    std::printf("copy_throughput: %.1f MiB/s (goal: >= 0.8 of cp+sync)\n", copy);
    std::printf("cp_sync_throughput: %.1f MiB/s\n", cpSync);
    std::printf("move_throughput: %.1f MiB/s\n", move);
    const int met = cpOk && copyFailures == 0 && copy >= 0.8 * cpSync ? 1 : 0;
    std::printf("goals met: %d/1\n", met);
    return 0;
}
