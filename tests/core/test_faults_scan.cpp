// The folder scan under faults: unreadable files and folders, failing reads, link loops,
// names that are not UTF-8 or very long, paths past PATH_MAX and files that vanish. The scan
// here is the window's and the companion's: tags read ahead on reader threads, rows in walk
// order, ending with the message of the first file that cannot be opened.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include "lists/readahead.h"
#include "platform/error.h"
#include "tests/support/faults.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;
using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::tagBytes;
using Call = testing_support::FaultyFileSystem::Call;
using Deny = testing_support::FanotifyDeny;

namespace {

struct ScanResult
{
    std::vector<std::pair<std::string, std::string>> rows; // name below the root, title
    std::string message;
};

class ScanFaults : public ::testing::Test
{
protected:
    ScanResult scan()
    {
        ScanResult result;
        const std::size_t prefix = tree.root().size() + 1;
        try {
            lists::scanFolderReadingAhead(
                tree.root(), [&](const std::string &path, const tags::TTagRecord &tag) {
                    result.rows.emplace_back(path.substr(prefix), tag.Title.substr(0, 5));
                });
        } catch (const platform::Error &error) {
            result.message = error.what();
        }
        return result;
    }
    std::vector<std::string> names(const ScanResult &result)
    {
        std::vector<std::string> n;
        for (const auto &row : result.rows)
            n.push_back(row.first);
        return n;
    }

    testing_support::TempTree tree;
};

} // namespace

TEST_F(ScanFaults, A3UnreadableFileEndsTheScanWithItsPathAndKeepsEarlierRows)
{
    tree.file("a.mp3", audioBytes(300) + tagBytes("First"));
    const std::string locked = tree.file("b.mp3", audioBytes(300), 0000);
    ASSERT_EQ(::chown(locked.c_str(), 65534, 65534), 0);
    tree.file("c.mp3", audioBytes(300));
    ScanResult result;
    const std::string setUp = testing_support::runWithoutDacOverride([&] { result = scan(); });
    if (!setUp.empty())
        GTEST_SKIP() << setUp;
    EXPECT_EQ(result.message, "ファイル " + locked + " は開けません");
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_EQ(result.rows[0], std::make_pair("a.mp3"s, "First"s));

    Deny deny(Deny::Mode::Open, EIO, {locked});
    if (!deny.error().empty())
        GTEST_SKIP() << deny.error();
    ASSERT_EQ(::chmod(locked.c_str(), 0644), 0);
    result = scan();
    EXPECT_EQ(result.message, "ファイル " + locked + " は開けません");
    EXPECT_EQ(names(result), std::vector<std::string> {"a.mp3"});
}

TEST_F(ScanFaults, A4FoldersThatCannotBeListedArePassedOverInSilence)
{
    tree.file("a/1.mp3", audioBytes(10));
    const std::string b = tree.file("b/2.mp3", audioBytes(10));
    tree.file("c/3.mp3", audioBytes(10));
    ASSERT_EQ(::chmod(tree.path("b").c_str(), 0000), 0);
    ASSERT_EQ(::chown(tree.path("b").c_str(), 65534, 65534), 0);
    ScanResult result;
    const std::string setUp = testing_support::runWithoutDacOverride([&] { result = scan(); });
    ASSERT_EQ(::chmod(tree.path("b").c_str(), 0755), 0);
    if (!setUp.empty())
        GTEST_SKIP() << setUp;
    EXPECT_EQ(result.message, "");
    EXPECT_EQ(names(result), (std::vector<std::string> {"a/1.mp3", "c/3.mp3"}));

    for (const Deny::Mode mode : {Deny::Mode::Open, Deny::Mode::Read}) {
        Deny deny(mode, EIO, {tree.path("b")});
        if (!deny.error().empty())
            GTEST_SKIP() << deny.error();
        result = scan();
        EXPECT_EQ(result.message, "");
        EXPECT_EQ(names(result), (std::vector<std::string> {"a/1.mp3", "c/3.mp3"}));
        EXPECT_LE(deny.denied(), 2); // no retry loop on a folder that fails
    }
}

TEST_F(ScanFaults, C1TailReadErrorGivesARowWithEmptyTagCells)
{
    tree.file("a.mp3", audioBytes(300) + tagBytes("First"));
    const std::string b = tree.file("b.mp3", audioBytes(300) + tagBytes("Second"));
    Deny deny(Deny::Mode::Read, EIO, {b});
    if (!deny.error().empty())
        GTEST_SKIP() << deny.error();
    const ScanResult result = scan();
    EXPECT_EQ(result.message, "");
    ASSERT_EQ(result.rows.size(), 2u);
    EXPECT_EQ(result.rows[1], std::make_pair("b.mp3"s, ""s));
}

TEST_F(ScanFaults, D3LinksBackUpTheTreeEndTheScan)
{
    tree.file("sub/a.mp3", audioBytes(10));
    tree.symlink("sub/loop", "..");
    tree.symlink("sub/deeper/loop", "../..");
    tree.symlink("sub/deeper/self", ".");
    const ScanResult result = scan();
    EXPECT_EQ(names(result), std::vector<std::string> {"sub/a.mp3"});
}

TEST_F(ScanFaults, D4D5OddAndLongNamesAreScannedAndTagWrittenByTheirBytes)
{
    const std::vector<std::string> odd
        = {"\xff\xfe.mp3"s, "\x95\x5c.mp3"s, "new\nline.mp3", std::string(251, 'n') + ".mp3"};
    for (const std::string &name : odd)
        tree.file("d/" + name, audioBytes(200));
    const ScanResult result = scan();
    EXPECT_EQ(result.message, "");
    ASSERT_EQ(result.rows.size(), odd.size());
    for (const std::string &name : odd) {
        const std::string path = tree.path("d/" + name);
        ASSERT_EQ(tags::WriteTagBlock(path, tags::completeBlock({})), tags::WriteOutcome::Written);
        EXPECT_EQ(readBytes(path).size(), 328u);
    }
    EXPECT_EQ(testing_support::listNames(tree.path("d")).size(), odd.size());
}

TEST_F(ScanFaults, D6PathsPastPathMaxAreReportedWithTheirPath)
{
    // 20 folders of 200 bytes: the deepest folder's path stays under 4096 bytes, a file in
    // it does not, and folders below it cannot be listed by path.
    int fd = ::open(tree.root().c_str(), O_RDONLY | O_DIRECTORY);
    std::string deep = tree.root();
    const std::string part(200, 'p');
    while (deep.size() + 201 < 4096) {
        ASSERT_EQ(::mkdirat(fd, part.c_str(), 0755), 0);
        const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        deep += "/" + part;
    }
    const std::string fileName = std::string(100, 'f') + ".mp3";
    const int file = ::openat(fd, fileName.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "x", 1), 1);
    ::close(file);
    ASSERT_EQ(::mkdirat(fd, part.c_str(), 0755), 0);
    ::close(fd);
    const ScanResult result = scan();
    const int root = ::open(tree.root().c_str(), O_RDONLY | O_DIRECTORY);
    testing_support::removeTreeAt(root, part);
    ::close(root);
    EXPECT_TRUE(result.rows.empty());
    EXPECT_EQ(result.message, "ファイル " + deep + "/" + fileName + " は開けません");
}

TEST_F(ScanFaults, D7FileGoneBetweenListingAndOpening)
{
    tree.file("a.mp3", audioBytes(300) + tagBytes("First"));
    const std::string b = tree.file("b.mp3", audioBytes(300));
    tree.file("c.mp3", audioBytes(300));
    testing_support::FaultyFileSystem fs;
    fs.fail(Call::Open, b, ENOENT);
    platform::ScopedFileSystem installed(fs);
    const ScanResult result = scan();
    EXPECT_EQ(result.message, "ファイル " + b + " は開けません");
    EXPECT_EQ(names(result), std::vector<std::string> {"a.mp3"});
}
