// The folder scan at 100,000 files on a warm cache: a minimal walk as the reference, the
// core walk with tag reading, the whole scan as the user runs it, and the memory per row.

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <QApplication>

#include "app/Unit1.h"
#include "bench/benchtree.h"
#include "lists/filelistview.h"
#include "lists/folderscan.h"
#include "lists/rowmodel.h"

namespace {

// The least any scan must do: list every folder, open each audio file, read its tail.
std::size_t minimalWalk(const std::string &folder)
{
    std::size_t count = 0;
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    std::vector<std::pair<std::string, unsigned char>> entries;
    while (const dirent *entry = ::readdir(dir))
        entries.emplace_back(entry->d_name, entry->d_type);
    ::closedir(dir);
    for (const auto &[name, type] : entries) {
        const std::string path = folder + "/" + name;
        if (type == DT_DIR && name[0] != '.') {
            count += minimalWalk(path);
        } else if (type == DT_REG && lists::hasAudioExtension(name)) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            struct stat st;
            char tail[128];
            if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size >= 128
                && ::pread(fd, tail, 128, st.st_size - 128) == 128)
                ++count;
            ::close(fd);
        }
    }
    return count;
}

// Bytes of heap in use: exact, unlike the resident size, which keeps freed pages.
long heapInUse()
{
    return static_cast<long>(mallinfo2().uordblks);
}

std::size_t heapTextBytes(const std::vector<lists::Row> &rows)
{
    const auto heap = [](const std::string &s) { return s.capacity() > 15 ? s.capacity() + 1 : 0; };
    std::size_t bytes = 0;
    for (const lists::Row &row : rows) {
        for (const std::string &s : row.subItems)
            bytes += heap(s);
    }
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::size_t files = 100000;
    const std::string root = "/tmp/bellwick-bench-scan";
    std::printf("building or reusing %zu files under %s\n", bench::buildAudioTree(root, files),
        root.c_str());

    minimalWalk(root); // warm the cache
    long long start = bench::nowNanoseconds();
    const std::size_t minimalCount = minimalWalk(root);
    const double minimalSeconds = bench::secondsSince(start);

    start = bench::nowNanoseconds();
    const int cliStatus
        = std::system((std::string(BELLWICK_CLI_PATH) + " scan " + root + " > /dev/null").c_str());
    const double cliSeconds = bench::secondsSince(start);

    std::vector<lists::Row> rows;
    start = bench::nowNanoseconds();
    lists::scanFolder(root, [&rows](const std::string &path, tags::FileKind kind) {
        rows.push_back(lists::makeRow(path, tags::ReadTag(path, kind)));
    });
    const double coreSeconds = bench::secondsSince(start);
    rows.clear();
    rows.shrink_to_fit();

    QApplication app(argc, argv);
    TForm1 form;
    form.show();
    QApplication::processEvents();
    const long before = heapInUse();
    start = bench::nowNanoseconds();
    form.scanChosenFolder(root);
    const double wholeSeconds = bench::secondsSince(start);
    const std::size_t listed = static_cast<std::size_t>(form.ListView1->rowCount());
    form.ListView1->repaint();
    const long after = heapInUse();
    const double perRow = static_cast<double>(after - before
                              - static_cast<long>(heapTextBytes(form.ListView1->model()->rows())))
        / static_cast<double>(listed);
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);

    const double minimalRate = static_cast<double>(minimalCount) / minimalSeconds;
    const double coreRate = static_cast<double>(listed) / coreSeconds;
    const double wholeRate = static_cast<double>(listed) / wholeSeconds;
    int met = 0, goals = 0;
    std::printf("files_listed: %zu (minimal walk found %zu)\n", listed, minimalCount);
    bench::report("minimal_walk", minimalRate, "files/s", "reference", true);
    ++goals;
    met += bench::report("core_walk", coreRate, "files/s", "time within 1.5 x minimal walk",
        coreSeconds <= 1.5 * minimalSeconds);
    ++goals;
    met += bench::report(
        "whole_scan", wholeRate, "files/s", ">= 0.5 x core walk", wholeRate >= 0.5 * coreRate);
    ++goals;
    met += bench::report("memory_per_row", perRow, "bytes beyond texts", "< 400", perRow < 400);
    ++goals;
    met += bench::report("cli_scan", cliSeconds / minimalSeconds, "x minimal walk time", "<= 1.3",
        cliStatus == 0 && cliSeconds <= 1.3 * minimalSeconds);
    bench::report(
        "peak_memory", static_cast<double>(usage.ru_maxrss) / 1024.0, "MiB", "reported", true);
    std::printf("goals met: %d/%d\n", met, goals);
    return 0;
}
