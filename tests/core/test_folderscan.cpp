#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>

#include <unistd.h>

#include "lists/folderscan.h"
#include "lists/row.h"
#include "platform/paths.h"
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

TEST_F(FolderScan, LinkLoopsEndAndLinkedFoldersAreFollowedOnce)
{
    tree.file("music/a.mp3", "x");
    tree.symlink("music/loop", "..");
    tree.symlink("music/self", ".");
    tree.symlink("music/dangling.mp3", "nowhere");
    tree.symlink("other", "music");
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::string> found = scanRoot();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    // "other" is the same folder reached by a link: listed again below it, as a link to a
    // folder that is not on the descent path; the loops back up are never entered.
    EXPECT_EQ(found,
        (std::vector<std::string> {
            "music/a.mp3", "music/dangling.mp3", "other/a.mp3", "other/dangling.mp3"}));
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
