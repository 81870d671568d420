#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "fileops/filetransfer.h"
#include "platform/temporaryfile.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using testing_support::audioBytes;
using testing_support::exists;
using testing_support::fileMode;
using testing_support::listNames;
using testing_support::readBytes;
using Call = testing_support::FaultyFileSystem::Call;

namespace {

struct stat statOf(const std::string &path)
{
    struct stat st
    {
    };
    ::stat(path.c_str(), &st);
    return st;
}

void setMtime(const std::string &path, time_t seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

class FileTransfer : public ::testing::Test
{
protected:
    testing_support::TempTree tree;
};

} // namespace

TEST_F(FileTransfer, CopyCarriesContentModeAndTimeAndReplacesTheDestination)
{
    const std::string source = tree.file("src/a.mp3", audioBytes(300000), 0640);
    setMtime(source, 1000000000);
    const std::string destination = tree.file("dst/a.mp3", "old");
    ASSERT_EQ(fileops::copyFile(source, destination), 0);
    EXPECT_TRUE(readBytes(destination) == audioBytes(300000));
    EXPECT_EQ(fileMode(destination), 0640);
    EXPECT_EQ(statOf(destination).st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(listNames(tree.path("dst")), std::vector<std::string> {"a.mp3"});
    // A free destination, and an empty source.
    const std::string empty = tree.file("src/e.mp3", "");
    ASSERT_EQ(fileops::copyFile(empty, tree.path("dst/e.mp3")), 0);
    EXPECT_EQ(readBytes(tree.path("dst/e.mp3")), "");
}

TEST_F(FileTransfer, TheSameFileIsNeverTouched)
{
    const std::string bytes = audioBytes(5000);
    const std::string source = tree.file("a.mp3", bytes, 0644);
    setMtime(source, 1234);
    ASSERT_EQ(::link(source.c_str(), tree.path("link.mp3").c_str()), 0);
    tree.symlink("here", ".");
    for (const std::string &same : {source, tree.path("link.mp3"), tree.path("here/a.mp3")}) {
        EXPECT_NE(fileops::copyFile(source, same), 0) << same;
        EXPECT_NE(fileops::moveFile(source, same), 0) << same;
        EXPECT_TRUE(readBytes(source) == bytes);
        EXPECT_EQ(statOf(source).st_mtim.tv_sec, 1234);
    }
    EXPECT_EQ(listNames(tree.root()), (std::vector<std::string> {"a.mp3", "here", "link.mp3"}));
}

TEST_F(FileTransfer, RefusedDestinationsStayAsTheyWere)
{
    const std::string source = tree.file("src/a.mp3", audioBytes(4000));
    const std::string folder = tree.folder("dst/a.mp3");
    EXPECT_EQ(fileops::copyFile(source, folder), EISDIR);
    // Judged by the mode bits, since root passes every permission check.
    const std::string readOnly = tree.file("dst/r.mp3", "keep", 0444);
    EXPECT_EQ(fileops::copyFile(source, readOnly), EACCES);
    EXPECT_EQ(fileops::moveFile(source, readOnly), EACCES);
    EXPECT_EQ(readBytes(readOnly), "keep");
    EXPECT_EQ(fileMode(readOnly), 0444);
    EXPECT_TRUE(readBytes(source) == audioBytes(4000));
    // A vanished source or a missing destination folder.
    EXPECT_EQ(fileops::copyFile(tree.path("src/gone.mp3"), tree.path("dst/g.mp3")), ENOENT);
    EXPECT_EQ(fileops::copyFile(source, tree.path("none/a.mp3")), ENOENT);
    EXPECT_EQ(listNames(tree.path("dst")), (std::vector<std::string> {"a.mp3", "r.mp3"}));
}

TEST_F(FileTransfer, FailuresAtEveryStepLeaveNoTemporaryAndTheDestinationWhole)
{
    const std::string source = tree.file("src/a.mp3", audioBytes(200000));
    const std::string destination = tree.file("dst/a.mp3", "old destination", 0600);
    struct Case
    {
        Call call;
        int error;
        int fromNth;
    };
    const Case cases[] = {
        {Call::CopyFileRange, EIO, 1}, {Call::CopyFileRange, ENOSPC, 1}, {Call::Fsync, EIO, 1},
        {Call::Linkat, EIO, 1}, {Call::Rename, EIO, 1}, {Call::Close, EIO, 1},
        {Call::Fchmod, EIO, 1}, {Call::Open, ENOSPC, 2}, // the temporary file
    };
    for (const Case &c : cases) {
        for (const bool named : {false, true}) {
            if (named && c.call == Call::Linkat)
                continue; // a named temporary is renamed, never linked
            testing_support::FaultyFileSystem fs;
            if (named && c.call == Call::Open) // no O_TMPFILE, then no named file either
                fs.fail(Call::Open, EOPNOTSUPP, 2);
            else if (named) // no O_TMPFILE here: the short dot-name is used
                fs.fail(Call::Open, EOPNOTSUPP, 2, 1);
            if (c.call != Call::Open || !named)
                fs.fail(c.call, c.error, c.fromNth);
            {
                platform::ScopedFileSystem installed(fs);
                EXPECT_NE(fileops::copyFile(source, destination), 0)
                    << static_cast<int>(c.call) << " named " << named;
            }
            EXPECT_TRUE(readBytes(destination) == "old destination");
            EXPECT_EQ(fileMode(destination), 0600);
            EXPECT_EQ(listNames(tree.path("dst")), std::vector<std::string> {"a.mp3"})
                << static_cast<int>(c.call) << " named " << named;
        }
    }
    EXPECT_TRUE(readBytes(source) == audioBytes(200000));
}

TEST_F(FileTransfer, FallbacksStillGiveACompleteCopy)
{
    const std::string source = tree.file("src/a.mp3", audioBytes(3000000), 0444);
    setMtime(source, 777);
    tree.folder("dst");
    // No O_TMPFILE, no in-kernel copy, and a destination that refuses modes and times
    // (FAT): the copy is still made, byte for byte, as far as the destination allows.
    testing_support::FaultyFileSystem fs;
    fs.fail(Call::Open, EOPNOTSUPP, 2, 1);
    fs.fail(Call::CopyFileRange, EXDEV);
    fs.fail(Call::Fchmod, EPERM);
    fs.fail(Call::Futimens, EOPNOTSUPP);
    {
        platform::ScopedFileSystem installed(fs);
        ASSERT_EQ(fileops::copyFile(source, tree.path("dst/a.mp3")), 0);
    }
    EXPECT_TRUE(readBytes(tree.path("dst/a.mp3")) == audioBytes(3000000));
    EXPECT_EQ(listNames(tree.path("dst")), std::vector<std::string> {"a.mp3"});
}

TEST_F(FileTransfer, AFileThatAppearsMeanwhileIsNotReplaced)
{
    const std::string source = tree.file("src/a.mp3", audioBytes(1000));
    const std::string destination = tree.path("dst/a.mp3");
    tree.folder("dst");
    testing_support::FaultyFileSystem fs;
    fs.before(Call::Fsync, [&] { tree.file("dst/a.mp3", "another program's"); });
    {
        platform::ScopedFileSystem installed(fs);
        EXPECT_EQ(fileops::copyFile(source, destination), EEXIST);
    }
    EXPECT_EQ(readBytes(destination), "another program's");
    EXPECT_EQ(listNames(tree.path("dst")), std::vector<std::string> {"a.mp3"});
}

TEST_F(FileTransfer, LongAndNonUtf8NamesAreCopiedWithTheirExactBytes)
{
    const std::string long255 = std::string(251, 'n') + ".mp3";
    tree.folder("copy");
    tree.folder("move");
    for (const std::string &name : {long255, std::string("\xff\xfe.mp3"),
             std::string("\x95\x5c.mp3"), std::string("new\nline.mp3")}) {
        const std::string source = tree.file("src/" + name, audioBytes(10000));
        ASSERT_EQ(fileops::copyFile(source, tree.path("copy/" + name)), 0) << name.size();
        ASSERT_EQ(fileops::moveFile(source, tree.path("move/" + name)), 0);
        EXPECT_FALSE(exists(source));
        EXPECT_TRUE(readBytes(tree.path("move/" + name)) == audioBytes(10000));
    }
    EXPECT_EQ(listNames(tree.path("copy")), listNames(tree.path("move")));
    EXPECT_EQ(listNames(tree.path("copy")).size(), 4u);
}

TEST_F(FileTransfer, MoveDeletesTheSourceOnlyAfterACompleteCopy)
{
    // A read-only source is moved: its copy keeps the mode.
    const std::string source = tree.file("src/a.mp3", audioBytes(2000), 0444);
    EXPECT_EQ(fileops::moveFile(source, tree.path("none/a.mp3")), ENOENT);
    tree.folder("dst");
    ASSERT_EQ(fileops::moveFile(source, tree.path("dst/a.mp3")), 0);
    EXPECT_FALSE(exists(source));
    EXPECT_EQ(fileMode(tree.path("dst/a.mp3")), 0444);

    // The folder flush fails: the source stays.
    const std::string second = tree.file("src/b.mp3", "b", 0444);
    {
        testing_support::FaultyFileSystem fs;
        fs.fail(Call::Fsync, EIO, 2);
        platform::ScopedFileSystem installed(fs);
        EXPECT_EQ(fileops::moveFile(second, tree.path("dst/b.mp3")), EIO);
    }
    EXPECT_EQ(readBytes(second), "b");
    // The deletion fails: the copy stays and the source has exactly its former mode.
    {
        testing_support::FaultyFileSystem fs;
        fs.fail(Call::Unlink, EBUSY);
        platform::ScopedFileSystem installed(fs);
        EXPECT_EQ(fileops::moveFile(second, tree.path("dst/c.mp3")), EBUSY);
    }
    EXPECT_EQ(fileMode(second), 0444);
    EXPECT_EQ(readBytes(tree.path("dst/c.mp3")), "b");
}

TEST_F(FileTransfer, DeleteRestoresTheModeWhenItFails)
{
    EXPECT_EQ(fileops::deleteFile(tree.path("gone.mp3")), ENOENT);
    EXPECT_EQ(fileops::deleteFile(tree.folder("dir.mp3")), EISDIR);
    const std::string readOnly = tree.file("r.mp3", "r", 0444);
    {
        testing_support::FaultyFileSystem fs;
        fs.fail(Call::Unlink, EPERM);
        platform::ScopedFileSystem installed(fs);
        EXPECT_EQ(fileops::deleteFile(readOnly), EPERM);
    }
    EXPECT_EQ(fileMode(readOnly), 0444);
    EXPECT_EQ(fileops::deleteFile(readOnly), 0);
    EXPECT_FALSE(exists(readOnly));
    // A writable file needs no mode change, so a file system refusing chmod deletes it.
    const std::string writable = tree.file("w.mp3", "w", 0644);
    testing_support::FaultyFileSystem fs;
    fs.fail(Call::Chmod, EPERM);
    platform::ScopedFileSystem installed(fs);
    EXPECT_EQ(fileops::deleteFile(writable), 0);
    EXPECT_EQ(fs.count(Call::Chmod), 0);
    // A read-only one cannot be made writable there: it stays as it was.
    const std::string kept = tree.file("k.mp3", "k", 0444);
    EXPECT_EQ(fileops::deleteFile(kept), EPERM);
    EXPECT_EQ(readBytes(kept), "k");
}

TEST(NewFolder, RefusalsMapToTheProgramsCodesAndTexts)
{
    testing_support::TempTree tree;
    EXPECT_TRUE(fileops::makeFolder(tree.path("新しいフォルダ")).isMade());
    const fileops::FolderOutcome twice = fileops::makeFolder(tree.path("新しいフォルダ"));
    EXPECT_EQ(twice.code, 183);
    EXPECT_EQ(twice.text, "I/O エラー (183)");
    // An empty name is the parent itself.
    EXPECT_EQ(fileops::makeFolder(tree.root() + "/").code, 183);
    const fileops::FolderOutcome missing = fileops::makeFolder(tree.path("no/such"));
    EXPECT_EQ(missing.code, 3);
    EXPECT_EQ(missing.text, "不正なファイル名です");
    EXPECT_EQ(fileops::makeFolder(tree.path(std::string(256, 'x'))).code, 206);
    // Linux numbers that collide with the table get the general text (EIO is 5).
    testing_support::FaultyFileSystem fs;
    fs.fail(Call::Mkdir, EIO);
    platform::ScopedFileSystem installed(fs);
    const fileops::FolderOutcome io = fileops::makeFolder(tree.path("x"));
    EXPECT_EQ(io.code, EIO);
    EXPECT_EQ(io.text, "I/O エラー (5)");
    fs.fail(Call::Mkdir, EROFS);
    EXPECT_EQ(fileops::makeFolder(tree.path("x")).text, "ファイルへのアクセスが拒否されました");
    EXPECT_EQ(fileops::ioErrorText(101), "ディスクがいっぱいです");
    EXPECT_EQ(fileops::ioErrorText(106), "入力値が数値ではありません");
}

TEST(FolderOf, TheRootIsOneSlash)
{
    EXPECT_EQ(platform::folderOf("/a.mp3"), "/");
    EXPECT_EQ(platform::folderOf("/x/y/a.mp3"), "/x/y");
    EXPECT_EQ(platform::folderOf("a.mp3"), ".");
}
