#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>

#include <unistd.h>

#include "lists/folderscan.h"
#include "lists/row.h"
#include "platform/mountinfo.h"
#include "platform/paths.h"
#include "tests/support/faults.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;
using Call = testing_support::FaultyFileSystem::Call;

namespace {

std::vector<std::string> scan(const std::string &folder, size_t prefix)
{
    std::vector<std::string> found;
    lists::scanFolder(folder,
        [&](const std::string &path, tags::FileKind) { found.push_back(path.substr(prefix)); });
    return found;
}

class FolderScan : public ::testing::Test
{
protected:
    std::vector<std::string> scanRoot() { return scan(tree.root(), tree.root().size() + 1); }
    testing_support::TempTree tree;
};

// Notes every folder the walk lists.
class ListingRecorder final : public platform::PosixFileSystem
{
public:
    DIR *opendir(const char *path) override
    {
        listed.emplace_back(path);
        return PosixFileSystem::opendir(path);
    }
    std::vector<std::string> listed;
};

} // namespace

TEST(AudioExtension, FoldedMp3AndMp2Only)
{
    for (const char *name : {"a.mp3", "b.MP2", "c.Mp3", ".mp3", "x.y.mP3"})
        EXPECT_TRUE(lists::hasAudioExtension(name)) << name;
    for (const char *name : {"d.mp4", "e.mp3.bak", "noext", "mp3", "f.mp33", "g.", "h.m3"})
        EXPECT_FALSE(lists::hasAudioExtension(name)) << name;
}

TEST(PathJoin, AddBackslashAndFileNamePart)
{
    EXPECT_EQ(platform::AddBackslash(""), "");
    EXPECT_EQ(platform::AddBackslash("/"), "/");
    EXPECT_EQ(platform::AddBackslash("/music"), "/music/");
    EXPECT_EQ(platform::AddBackslash("/music/"), "/music/");
    EXPECT_EQ(platform::fileNamePart("/music/a:b.mp3"), "a:b.mp3");
    EXPECT_EQ(platform::fileNamePart("plain.mp3"), "plain.mp3");
    EXPECT_EQ(platform::fileNamePart("/"), "");
}

TEST_F(FolderScan, DepthFirstInFoldedNameOrder)
{
    tree.file("b.MP2", "x");
    tree.file("A.mp3", "x");
    tree.file("a.mp3", "x");
    tree.file("c.Mp3", "x");
    tree.file("d.mp4", "x");
    tree.file("e.mp3.bak", "x");
    tree.file("noext", "x");
    tree.file("B/inner.mp3", "x");
    tree.file("B/deeper/z.mp3", "x");
    tree.file(".mp3", "x");
    tree.file(".music/hidden.mp3", "x");
    tree.file("Cfolder/x.mp2", "x");
    EXPECT_EQ(scanRoot(),
        (std::vector<std::string> {".mp3", "A.mp3", "a.mp3", "B/deeper/z.mp3", "B/inner.mp3",
            "b.MP2", "c.Mp3", "Cfolder/x.mp2"}));
}

TEST_F(FolderScan, FolderNamedLikeAudioIsReportedAndEntered)
{
    tree.file("album.mp3/track.mp3", "x");
    std::vector<std::pair<std::string, tags::FileKind>> found;
    lists::scanFolder(tree.root(), [&](const std::string &path, tags::FileKind kind) {
        found.emplace_back(path.substr(tree.root().size() + 1), kind);
    });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].first, "album.mp3");
    EXPECT_EQ(found[0].second, tags::FileKind::Unknown); // the reader finds it is no file
    EXPECT_EQ(found[1].first, "album.mp3/track.mp3");
    EXPECT_EQ(found[1].second, tags::FileKind::Regular);
}

TEST_F(FolderScan, LinkLoopsEndAndEveryFolderIsEnteredOnceByItsFirstPath)
{
    tree.file("music/a.mp3", "x");
    tree.symlink("music/loop", "..");
    tree.symlink("music/self", ".");
    tree.symlink("music/dangling.mp3", "nowhere");
    tree.symlink("other", "music");
    const std::vector<std::string> found = scanRoot();
    // "other" is the folder "music" again: it was entered by its first path already.
    EXPECT_EQ(found, (std::vector<std::string> {"music/a.mp3", "music/dangling.mp3"}));
}

TEST_F(FolderScan, ADiamondOfLinksIsWalkedOnceNotOncePerPath)
{
    // Each of 20 levels links to the next twice: 2^20 paths lead to the last level's file.
    // Its folders sit in a dot-folder, which the walk never enters by its own name.
    const int levels = 20;
    for (int i = 0; i < levels; ++i) {
        const std::string next = "../" + std::to_string(i + 1);
        tree.symlink(".levels/" + std::to_string(i) + "/a", next);
        tree.symlink(".levels/" + std::to_string(i) + "/b", next);
    }
    tree.file(".levels/" + std::to_string(levels) + "/deep.mp3", "x");
    tree.symlink("top", ".levels/0");
    int steps = 0;
    std::vector<std::string> found;
    lists::scanFolder(
        tree.root(),
        [&](const std::string &path, tags::FileKind) {
            found.push_back(path.substr(tree.root().size() + 1));
        },
        [&] { return ++steps > 1000; });
    EXPECT_LE(steps, 1000);
    std::string first = "top";
    for (int i = 0; i < levels; ++i)
        first += "/a";
    EXPECT_EQ(found, std::vector<std::string> {first + "/deep.mp3"});
    // A step per folder and entry: the root, then two entries and a folder per level.
    EXPECT_LE(steps, 2 + 3 * levels + 5);
}

TEST_F(FolderScan, UnlistableFoldersArePassedOverInSilence)
{
    tree.file("a/1.mp3", "x");
    tree.file("b/2.mp3", "x");
    tree.file("c/3.mp3", "x");
    testing_support::FaultyFileSystem fs;
    fs.fail(Call::Opendir, EACCES, 3, 1); // root, a, then b fails
    platform::ScopedFileSystem installed(fs);
    EXPECT_EQ(scanRoot(), (std::vector<std::string> {"a/1.mp3", "c/3.mp3"}));
    EXPECT_TRUE(scan(tree.path("missing"), 0).empty());
}

TEST_F(FolderScan, NamesAreKeptAsBytes)
{
    const std::string odd = "\xff\xfe\x95\x5c.mp3"s;
    const std::string withNewline = "line\nbreak.mp3";
    const std::string longName = std::string(251, 'n') + ".mp3";
    tree.file(odd, "x");
    tree.file(withNewline, "x");
    tree.file(longName, "x");
    EXPECT_EQ(scanRoot(), (std::vector<std::string> {withNewline, longName, odd}));
}

TEST_F(FolderScan, EmptyFolderPathScansTheCurrentDirectoryWithRelativeNames)
{
    tree.file("here.mp3", "x");
    char old[4096];
    ASSERT_TRUE(::getcwd(old, sizeof old));
    ASSERT_EQ(::chdir(tree.root().c_str()), 0);
    const std::vector<std::string> found = scan("", 0);
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(found, (std::vector<std::string> {"here.mp3"}));
}

TEST(MountTable, TypesByDeviceFromMountInfoLines)
{
    const platform::MountTable table = platform::MountTable::parse(
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "27 1 254:0 / / rw,relatime shared:1 master:2 - ext4 /dev/vda rw\n"
        "40 27 0:40 / /media/my\\040music rw - fuse.sshfs host:/m rw\n"
        "41 27 0:40 /sub /elsewhere rw - fuse.sshfs host:/m rw\n"
        "garbage line\n"
        "42 27 x:1 / /bad rw - tmpfs tmpfs rw\n"
        "43 27 0:6 / /dev rw - devtmpfs devtmpfs rw");
    EXPECT_EQ(table.typeOf(makedev(0, 21)), "proc");
    EXPECT_EQ(table.typeOf(makedev(254, 0)), "ext4"); // after two optional fields
    EXPECT_EQ(table.typeOf(makedev(0, 40)), "fuse.sshfs");
    EXPECT_EQ(table.typeOf(makedev(0, 6)), "devtmpfs"); // the last line needs no newline
    EXPECT_EQ(table.typeOf(makedev(0, 1)), "");
    for (const char *type : {"proc", "sysfs", "devtmpfs", "cgroup2", "bpf", "nsfs"})
        EXPECT_TRUE(platform::isPseudoFileSystem(type)) << type;
    for (const char *type : {"tmpfs", "ext4", "autofs", "fuse.sshfs", "nfs", ""})
        EXPECT_FALSE(platform::isPseudoFileSystem(type)) << type;
    EXPECT_FALSE(platform::MountTable::read().empty());
}

// Pseudo file systems mounted in the tests' private mount namespace.
TEST_F(FolderScan, PseudoFileSystemsAreNotEnteredFromAnotherFileSystem)
{
    tree.file("a/1.mp3", "x");
    using testing_support::Mount;
    const Mount proc = Mount::ofType(tree.folder("proc"), "proc");
    const Mount dev = Mount::ofType(tree.folder("dev"), "devtmpfs");
    const Mount bpf = Mount::ofType(tree.folder("bpf"), "bpf");
    // tmpfs gives statfs the same magic number as devtmpfs, but holds the user's files.
    const Mount tmp = Mount::tmpfs(tree.folder("tmp"), "size=1m");
    for (const Mount *m : {&proc, &dev, &bpf, &tmp}) {
        if (!m->error().empty())
            GTEST_SKIP() << m->error();
    }
    ASSERT_EQ(::mkdir(tree.path("bpf/inside").c_str(), 0755), 0);
    tree.file("tmp/2.mp3", "x");
    tree.file("tmp/sub/3.mp3", "x");
    ListingRecorder fs;
    std::vector<std::string> found;
    {
        platform::ScopedFileSystem installed(fs);
        found = scanRoot();
    }
    EXPECT_EQ(found, (std::vector<std::string> {"a/1.mp3", "tmp/2.mp3", "tmp/sub/3.mp3"}));
    EXPECT_EQ(fs.listed,
        (std::vector<std::string> {
            tree.root(), tree.path("a"), tree.path("tmp"), tree.path("tmp/sub")}));
}

TEST_F(FolderScan, AChosenPseudoFileSystemIsWalkedWithoutFollowingItsLinks)
{
    tree.file("music/a.mp3", "x");
    using testing_support::Mount;
    const Mount bpf = Mount::ofType(tree.folder("bpf"), "bpf");
    const Mount proc = Mount::ofType(tree.folder("proc"), "proc");
    for (const Mount *m : {&bpf, &proc}) {
        if (!m->error().empty())
            GTEST_SKIP() << m->error();
    }
    // bpf takes folders and links (no dots in names, so nothing named like audio).
    ASSERT_EQ(::mkdir(tree.path("bpf/in").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(tree.path("music").c_str(), tree.path("bpf/in/music").c_str()), 0);
    {
        ListingRecorder fs;
        platform::ScopedFileSystem installed(fs);
        EXPECT_TRUE(scan(tree.path("bpf"), 0).empty());
        EXPECT_EQ(fs.listed, (std::vector<std::string> {tree.path("bpf"), tree.path("bpf/in")}));
    }

    // /proc/*/cwd and /proc/*/root lead into the whole disk: no folder is entered through a
    // link, so every folder listed is where its path says.
    ListingRecorder fs;
    bool stopped = false;
    {
        platform::ScopedFileSystem installed(fs);
        lists::scanFolder(
            tree.path("proc"), [](const std::string &, tags::FileKind) {},
            [&] { return stopped = fs.listed.size() > 100000; });
    }
    EXPECT_FALSE(stopped) << "the walk went on past 100,000 folders";
    EXPECT_GT(fs.listed.size(), 10u);
    int throughLinks = 0;
    for (const std::string &folder : fs.listed) {
        char real[PATH_MAX];
        if (::realpath(folder.c_str(), real) && folder != real && ++throughLinks < 5)
            ADD_FAILURE() << folder << " is " << real;
    }
    EXPECT_EQ(throughLinks, 0);
}
