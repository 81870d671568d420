// File names from tags and tags from file names over 10,000 files: both previews, and the
// renames of a whole batch, its plan written to the undo journal first as the window and the
// companion write it, against a plain loop of rename(2) over the same files. The rename
// figures are medians of interleaved rounds, with their spread. Prints figures; never fails a
// test run.

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "bench/benchtree.h"
#include "editing/journalfile.h"
#include "editing/renameundo.h"
#include "editing/tagsfromnames.h"
#include "fileops/namesfromtags.h"
#include "fileops/renamerun.h"

using bench::median;
using bench::spread;

namespace {

// Journals the plan, as the window's and the companion's runs do; counts the failures.
class Journaled final : public fileops::IRenameReport
{
public:
    explicit Journaled(editing::ITagJournal &journal)
        : m_batch(&journal)
    { }
    void aboutToRename(const std::vector<fileops::NamePlanRow> &plan) override
    {
        m_batch.begin(fileops::renamesOf<editing::PlannedRename>(plan));
    }
    void renamed(std::size_t, const std::string &why) override { failed += !why.empty(); }
    std::size_t failed = 0;

private:
    editing::JournaledRenames m_batch;
};

bool writeFile(const std::string &path, const std::string &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && ok;
}

// Some audio bytes and an ID3v1.1 tag with a title and a track.
std::string fileBytes(std::size_t i)
{
    std::string bytes(400, '\x55');
    bytes[0] = '\xFF';
    bytes[1] = '\xFB';
    std::string tag = "TAG" + std::string(125, ' ');
    const std::string title = "Song " + std::to_string(i);
    tag.replace(3, title.size(), title);
    tag.replace(33, 6, "Artist");
    tag[125] = '\0';
    tag[126] = static_cast<char>(i % 100 + 1);
    tag[127] = '\x0C';
    return bytes + tag;
}

double renameAll(const std::vector<std::string> &from, const std::vector<std::string> &to)
{
    const long long start = bench::nowNanoseconds();
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (::rename(from[i].c_str(), to[i].c_str()) != 0) {
            std::perror(from[i].c_str());
            std::exit(1);
        }
    }
    return bench::secondsSince(start);
}

} // namespace

int main()
{
    const char *files = std::getenv("BELLWICK_BENCH_FILES");
    const std::size_t Files
        = files ? static_cast<std::size_t>(std::max(1, std::atoi(files))) : 10000;
    constexpr int Rounds = 5;
    char pattern[] = "/tmp/bellwick-bench-names-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < Files; ++i) {
        const std::string artist = root + "/Artist " + std::to_string(i / 100);
        const std::string album = artist + "/Album";
        if (i % 100 == 0
            && (::mkdir(artist.c_str(), 0755) != 0 || ::mkdir(album.c_str(), 0755) != 0)) {
            std::perror(album.c_str());
            return 1;
        }
        char track[8];
        std::snprintf(track, sizeof track, "%02zu", i % 100 + 1);
        paths.push_back(album + "/" + track + " Song " + std::to_string(i) + ".mp3");
        if (!writeFile(paths.back(), fileBytes(i))) {
            std::perror(paths.back().c_str());
            return 1;
        }
    }
    ::sync();

    platform::IRunControl control;
    long long start = bench::nowNanoseconds();
    const fileops::NamePlan names = fileops::planNamesFromTags(
        paths, fileops::parseNameFormat("%artist% - %title% (%track%)"), {}, control);
    const double namesPlan = bench::secondsSince(start);
    start = bench::nowNanoseconds();
    const editing::FromNamePlan fromNames = editing::planTagsFromNames(paths,
        editing::parseNamePattern("%artist%/%album%/%track% %title%"), platform::tagCodePage(),
        control);
    const double fromNamesPlan = bench::secondsSince(start);
    std::vector<std::string> newPaths;
    for (const fileops::NamePlanRow &row : names.rows) {
        if (row.state != fileops::NameState::Changes) {
            std::fprintf(stderr, "bench_names: %s is not to be renamed: %s\n", row.path.c_str(),
                row.why.withPathBytes().c_str());
            return 1;
        }
        newPaths.push_back(row.newPath);
    }
    const std::size_t matched = std::count_if(
        fromNames.rows.begin(), fromNames.rows.end(), [](const editing::FromNameRow &row) {
            return row.state == editing::FromNameState::Matches;
        });
    if (matched != Files) {
        std::fprintf(stderr, "bench_names: %zu of %zu paths matched\n", matched, Files);
        return 1;
    }

    // Each round: the plain loop and the run over the same files, each followed by an
    // untimed loop that puts the old names back; nothing is left to write back before either.
    const std::unique_ptr<editing::JournalFile> journal
        = editing::JournalFile::openIn(root + "/state/bellwick");
    if (!journal) {
        std::fprintf(stderr, "bench_names: no journal in %s/state/bellwick\n", root.c_str());
        return 1;
    }
    std::vector<double> plain, run, ratio;
    for (int round = 0; round < Rounds; ++round) {
        ::sync();
        plain.push_back(renameAll(paths, newPaths));
        renameAll(newPaths, paths);
        ::sync();
        std::size_t failed = 0;
        start = bench::nowNanoseconds();
        {
            Journaled report(*journal);
            fileops::runRenames(names.rows, report);
            failed = report.failed;
        } // the batch ends, made durable, within the time
        run.push_back(bench::secondsSince(start));
        if (failed != 0) {
            std::fprintf(stderr, "bench_names: %zu renames failed\n", failed);
            return 1;
        }
        renameAll(newPaths, paths);
        ratio.push_back(plain.back() / run.back());
    }

    int met = 0, goals = 0;
    const auto ms = [](std::vector<double> values) {
        for (double &value : values)
            value *= 1000;
        return values;
    };
    ++goals;
    met += bench::report(
        "names_from_tags_preview", namesPlan * 1000, "ms", "< 1000 ms", namesPlan < 1);
    ++goals;
    met += bench::report(
        "tags_from_names_preview", fromNamesPlan * 1000, "ms", "< 1000 ms", fromNamesPlan < 1);
    bench::report("rename_plain_loop", median(plain) * 1000, spread("ms", ms(plain)).c_str(),
        "reference", true);
    bench::report("rename_run_journaled", median(run) * 1000, spread("ms", ms(run)).c_str(),
        "reference", true);
    ++goals;
    met += bench::report("rename_rate", median(ratio), spread("x plain loop", ratio).c_str(),
        ">= 0.8", median(ratio) >= 0.8);
    std::printf("goals met: %d/%d\n", met, goals);
    bench::removeTree(root);
    return 0;
}
