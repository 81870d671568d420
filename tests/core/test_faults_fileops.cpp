// Copy, move, delete and new folder under the faults a collection meets: folders that cannot
// be written, full disks, a failing flush, a file-size limit, read errors part way, entries
// that are no regular file, file systems apart, kills part way and names planted where the
// temporary file goes. Each case checks the bytes, mode and time of the source and of the
// destination, and that the destination folder holds nothing new.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <future>

#include <fcntl.h>
#include <unistd.h>

#include "app/settingsfile.h"
#include "fileops/filetransfer.h"
#include "lists/row.h"
#include "platform/paths.h"
#include "platform/temporaryfile.h"
#include "tests/support/faults.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using testing_support::audioBytes;
using testing_support::Chattr;
using testing_support::listNames;
using testing_support::Mount;
using testing_support::readBytes;
using testing_support::snapshot;
using testing_support::Snapshot;
using Call = testing_support::FaultyFileSystem::Call;
using Deny = testing_support::FanotifyDeny;
using Names = std::vector<std::string>;

namespace {

// Runs `work` and fails the test when it has not ended after three seconds; `unblock` then
// frees whatever it waits for.
template<typename Work> void withinThreeSeconds(Work work, const std::function<void()> &unblock)
{
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(3)) == std::future_status::timeout) {
        ADD_FAILURE() << "blocked for three seconds";
        unblock();
    }
    done.get();
}

// Source and destination folders, with a file of the same name in each: what a copy over
// an existing destination starts from.
class TransferFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        source = tree.file("src/a.mp3", sourceBytes, 0640);
        const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        ::utimensat(AT_FDCWD, source.c_str(), times, 0);
        sourceBefore = snapshot(source);
        destinationFolder = tree.folder("dst");
        destination = placeDestination(destinationFolder);
    }

    // The old destination file in `folder` (after a mount there hid the first one).
    std::string placeDestination(const std::string &folder)
    {
        const std::string path = folder + "/a.mp3";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_EQ(::write(fd, oldBytes.data(), oldBytes.size()), ssize_t(oldBytes.size()));
        ::fsync(fd);
        ::close(fd);
        destinationBefore = snapshot(path);
        return path;
    }

    // Nothing lost, nothing new: both files as they were, both folders holding only them
    // (and `alsoThere`, such as a filler).
    void expectUnchanged(const std::string &context, const Names &alsoThere = {})
    {
        EXPECT_TRUE(snapshot(source) == sourceBefore) << context << ": " << snapshot(source);
        EXPECT_TRUE(snapshot(destination) == destinationBefore)
            << context << ": " << snapshot(destination);
        Names expected = alsoThere;
        expected.push_back("a.mp3");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(listNames(platform::folderOf(destination)), expected) << context;
        EXPECT_EQ(listNames(tree.path("src")), Names {"a.mp3"}) << context;
    }

    testing_support::TempTree tree;
    const std::string sourceBytes = audioBytes(256 * 1024);
    const std::string oldBytes = audioBytes(4096, 7);
    std::string source, destinationFolder, destination;
    Snapshot sourceBefore, destinationBefore;
};

// No O_TMPFILE here: the copy takes the named temporary file.
void withoutUnnamedFiles(testing_support::FaultyFileSystem &fs)
{
    fs.fail(Call::Open, EOPNOTSUPP, 2, 1);
}

} // namespace

TEST_F(TransferFaults, A5DestinationFolderThatCannotBeWrittenGetsNothing)
{
    {
        Chattr immutable(destinationFolder, Chattr::Immutable);
        if (!immutable.error().empty())
            GTEST_SKIP() << immutable.error();
        EXPECT_EQ(fileops::copyFile(source, destination), EPERM);
        EXPECT_EQ(fileops::copyFile(source, destinationFolder + "/new.mp3"), EPERM);
        EXPECT_EQ(fileops::moveFile(source, destination), EPERM);
    }
    expectUnchanged("immutable");

    // Append-only: a name made there could never be removed again, so no named temporary
    // file is begun; a free name may still be added, as the folder allows.
    {
        Chattr appendOnly(destinationFolder, Chattr::AppendOnly);
        ASSERT_EQ(appendOnly.error(), "");
        EXPECT_EQ(fileops::copyFile(source, destination), EPERM);
        EXPECT_EQ(fileops::moveFile(source, destination), EPERM);
        {
            testing_support::FaultyFileSystem fs;
            withoutUnnamedFiles(fs);
            platform::ScopedFileSystem installed(fs);
            EXPECT_EQ(fileops::copyFile(source, destinationFolder + "/new.mp3"), EPERM);
        }
        EXPECT_EQ(listNames(destinationFolder), Names {"a.mp3"});
        ASSERT_EQ(fileops::copyFile(source, destinationFolder + "/new.mp3"), 0);
        EXPECT_TRUE(readBytes(destinationFolder + "/new.mp3") == sourceBytes);
    }
    ::unlink((destinationFolder + "/new.mp3").c_str());
    expectUnchanged("append-only");

    {
        Mount readOnly = Mount::readOnlyBind(destinationFolder);
        if (!readOnly.error().empty())
            GTEST_SKIP() << readOnly.error();
        EXPECT_EQ(fileops::copyFile(source, destination), EROFS);
        EXPECT_EQ(fileops::moveFile(source, destinationFolder + "/new.mp3"), EROFS);
    }
    expectUnchanged("read-only");
}

TEST_F(TransferFaults, A6SourceFolderThatCannotBeWrittenKeepsTheSourceInAMove)
{
    ::chmod(source.c_str(), 0444); // made writable for the deletion, and given back
    sourceBefore = snapshot(source);
    {
        Chattr immutable(tree.path("src"), Chattr::Immutable);
        if (!immutable.error().empty())
            GTEST_SKIP() << immutable.error();
        EXPECT_EQ(fileops::moveFile(source, destination), EPERM);
    }
    EXPECT_TRUE(readBytes(destination) == sourceBytes); // the copy is complete
    destinationBefore = snapshot(destination);
    expectUnchanged("immutable");

    const std::string second = destinationFolder + "/b.mp3";
    {
        Mount readOnly = Mount::readOnlyBind(tree.path("src"));
        if (!readOnly.error().empty())
            GTEST_SKIP() << readOnly.error();
        EXPECT_EQ(fileops::moveFile(source, second), EROFS);
        EXPECT_EQ(fileops::deleteFile(source), EROFS);
    }
    EXPECT_TRUE(readBytes(second) == sourceBytes);
    ::unlink(second.c_str());
    expectUnchanged("read-only");
}

TEST_F(TransferFaults, A6DeleteRefusedByTheFolderKeepsTheFileAndItsMode)
{
    ::chmod(source.c_str(), 0444);
    sourceBefore = snapshot(source);
    {
        Chattr immutable(tree.path("src"), Chattr::Immutable);
        if (!immutable.error().empty())
            GTEST_SKIP() << immutable.error();
        EXPECT_EQ(fileops::deleteFile(source), EPERM);
    }
    {
        Chattr immutable(source, Chattr::Immutable);
        EXPECT_EQ(fileops::deleteFile(source), EPERM);
    }
    expectUnchanged("immutable");
}

TEST_F(TransferFaults, B3B4FullDiskOrNoInodesLeavesTheDestinationWhole)
{
    Mount disk = Mount::tmpfs(destinationFolder, "size=64k");
    if (!disk.error().empty())
        GTEST_SKIP() << disk.error();
    destination = placeDestination(destinationFolder);
    testing_support::fillUp(destinationFolder);
    EXPECT_EQ(fileops::copyFile(source, destination), ENOSPC);
    EXPECT_EQ(fileops::moveFile(source, destination), ENOSPC);
    {
        testing_support::FaultyFileSystem fs;
        withoutUnnamedFiles(fs);
        platform::ScopedFileSystem installed(fs);
        EXPECT_EQ(fileops::copyFile(source, destination), ENOSPC);
    }
    expectUnchanged("full", {"filler"});

    const std::string noInodes = tree.folder("inodes");
    Mount few = Mount::tmpfs(noInodes, "size=1m,nr_inodes=2");
    ASSERT_EQ(few.error(), "");
    ASSERT_EQ(::mkdir((noInodes + "/one").c_str(), 0755), 0);
    EXPECT_EQ(fileops::makeFolder(noInodes + "/two").code, 101);
    EXPECT_EQ(fileops::copyFile(source, noInodes + "/a.mp3"), ENOSPC);
    EXPECT_EQ(listNames(noInodes), Names {"one"});
    expectUnchanged("no inodes", {"filler"});
}

TEST_F(TransferFaults, B5FlushFailingAfterTheWritesKeepsTheOldDestination)
{
    const std::string thin = tree.folder("thin");
    Mount disk = Mount::thinDisk(thin, tree.folder("backing"));
    if (!disk.error().empty())
        GTEST_SKIP() << disk.error();
    destination = placeDestination(thin);
    const std::string bytes = audioBytes(8 << 20, 3);
    source = tree.file("src/a.mp3", bytes, 0640);
    sourceBefore = snapshot(source);
    EXPECT_NE(fileops::copyFile(source, destination), 0);
    EXPECT_NE(fileops::moveFile(source, destination), 0);
    expectUnchanged("thin disk", {"lost+found"});
}

TEST_F(TransferFaults, B6FileSizeLimitFailsTheCopyWithoutEndingTheProgram)
{
    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    const int signal = testing_support::crashAtByte(64 * 1024, [&] {
        std::signal(SIGXFSZ, SIG_IGN); // as the program does at start-up
        const int error = fileops::copyFile(source, destination);
        (void)!::write(result[1], &error, sizeof error);
    });
    EXPECT_EQ(signal, 0);
    int error = 0;
    EXPECT_EQ(::read(result[0], &error, sizeof error), ssize_t(sizeof error));
    EXPECT_EQ(error, EFBIG);
    ::close(result[0]);
    ::close(result[1]);
    expectUnchanged("file-size limit");
}

TEST_F(TransferFaults, C3C5SourceFailingPartWayLeavesNoPartialCopy)
{
    {
        Deny deny(Deny::Mode::Access, EIO, {source}, 0, 64 * 1024);
        if (!deny.error().empty())
            GTEST_SKIP() << deny.error();
        EXPECT_EQ(fileops::copyFile(source, destination), EIO);
        EXPECT_EQ(fileops::moveFile(source, destinationFolder + "/new.mp3"), EIO);
        EXPECT_GT(deny.denied(), 0);
    }
    expectUnchanged("denied reads");

    // Through the seam: reads that fail after the first megabyte, interrupted calls and a
    // close that reports a late write error.
    source = tree.file("src/a.mp3", audioBytes(3 << 20), 0640);
    sourceBefore = snapshot(source);
    struct Case
    {
        Call call;
        int error;
        int fromNth;
        int times;
    };
    for (const Case c : {Case {Call::Pread, EIO, 2, 0}, Case {Call::Close, EIO, 1, 0},
             Case {Call::Pwrite, EINTR, 1, 3}}) {
        testing_support::FaultyFileSystem fs;
        fs.fail(Call::CopyFileRange, EXDEV);
        fs.fail(c.call, c.error, c.fromNth, c.times);
        platform::ScopedFileSystem installed(fs);
        const int error = fileops::copyFile(source, destination);
        if (c.error == EINTR) {
            EXPECT_EQ(error, 0); // interrupted writes are retried
            EXPECT_TRUE(readBytes(destination) == readBytes(source));
            destination = placeDestination(destinationFolder);
        } else {
            EXPECT_EQ(error, c.error);
        }
    }
    expectUnchanged("seam");
}

TEST_F(TransferFaults, D1D2EntriesThatAreNoRegularFileAreNeverCopied)
{
    const std::string fifo = tree.path("src/fifo.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree.path("src/socket.mp3");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    tree.folder("src/folder.mp3");
    tree.symlink("src/dangling.mp3", "nowhere.mp3");
    tree.symlink("src/self.mp3", "self.mp3");
    tree.symlink("src/x.mp3", "y.mp3");
    tree.symlink("src/y.mp3", "x.mp3");
    Names odd = {"fifo.mp3", "socket.mp3", "folder.mp3", "dangling.mp3", "self.mp3", "x.mp3"};
    const bool devices
        = ::mknod(tree.path("src/char.mp3").c_str(), S_IFCHR | 0644, makedev(1, 5)) == 0
        && ::mknod(tree.path("src/block.mp3").c_str(), S_IFBLK | 0644, makedev(7, 0)) == 0;
    if (devices) {
        odd.push_back("char.mp3");
        odd.push_back("block.mp3");
    }
    const auto unblock = [&] { ::close(::open(fifo.c_str(), O_RDWR | O_NONBLOCK)); };
    for (const std::string &name : odd) {
        withinThreeSeconds(
            [&] {
                EXPECT_NE(
                    fileops::copyFile(tree.path("src/" + name), destinationFolder + "/n.mp3"), 0)
                    << name;
                EXPECT_NE(
                    fileops::moveFile(tree.path("src/" + name), destinationFolder + "/n.mp3"), 0)
                    << name;
            },
            unblock);
        struct stat st;
        EXPECT_EQ(::lstat(tree.path("src/" + name).c_str(), &st), 0) << name;
    }
    EXPECT_EQ(listNames(destinationFolder), Names {"a.mp3"});

    // Such an entry at the destination is never opened nor replaced.
    const std::string fifoThere = destinationFolder + "/fifo.mp3";
    ASSERT_EQ(::mkfifo(fifoThere.c_str(), 0644), 0);
    withinThreeSeconds([&] { EXPECT_EQ(fileops::copyFile(source, fifoThere), EEXIST); },
        [&] { ::close(::open(fifoThere.c_str(), O_RDWR | O_NONBLOCK)); });
    struct stat st;
    ASSERT_EQ(::lstat(fifoThere.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ::unlink(fifoThere.c_str());
    ::close(sock);
    if (!devices)
        GTEST_SKIP() << "mknod: " << std::strerror(errno);
}

TEST_F(TransferFaults, D6D7DestinationTooLongAndSourceGone)
{
    std::string tooLong = destinationFolder;
    while (tooLong.size() < 5000)
        tooLong += "/" + std::string(200, 'd');
    EXPECT_EQ(fileops::copyFile(source, tooLong + "/a.mp3"), ENAMETOOLONG);
    EXPECT_EQ(fileops::makeFolder(tooLong).code, 206);

    // Listed, then gone before the program opens it.
    {
        testing_support::FaultyFileSystem fs;
        fs.fail(Call::Open, ENOENT, 1, 1);
        platform::ScopedFileSystem installed(fs);
        EXPECT_EQ(fileops::moveFile(source, destination), ENOENT);
    }
    expectUnchanged("gone at the open");
    const std::string copy = tree.file("src/b.mp3", "b");
    ::unlink(copy.c_str());
    EXPECT_EQ(fileops::copyFile(copy, destination), ENOENT);
    EXPECT_EQ(fileops::moveFile(copy, destination), ENOENT);
    EXPECT_EQ(fileops::deleteFile(copy), ENOENT);
    expectUnchanged("gone");
}

TEST_F(TransferFaults, E3MoveToAnotherFileSystem)
{
    char shmTemplate[] = "/dev/shm/bellwick-test-XXXXXX";
    if (!::mkdtemp(shmTemplate))
        GTEST_SKIP() << "/dev/shm: " << std::strerror(errno);
    const std::string shm = shmTemplate;
    struct stat a, b;
    ::stat(shm.c_str(), &a);
    ::stat(tree.root().c_str(), &b);
    if (a.st_dev == b.st_dev) {
        testing_support::removeTree(shm);
        GTEST_SKIP() << "/dev/shm and /tmp are one file system here";
    }
    ASSERT_EQ(fileops::moveFile(source, shm + "/a.mp3"), 0);
    EXPECT_FALSE(testing_support::exists(source));
    Snapshot moved = snapshot(shm + "/a.mp3");
    EXPECT_TRUE(moved == sourceBefore) << moved;
    ASSERT_EQ(fileops::moveFile(shm + "/a.mp3", source), 0);
    EXPECT_TRUE(snapshot(source) == sourceBefore);
    EXPECT_EQ(listNames(shm), Names {});
    testing_support::removeTree(shm);

    // A full destination on the other file system: the source stays, nothing partial.
    const std::string full = tree.folder("full");
    Mount disk = Mount::tmpfs(full, "size=64k");
    if (!disk.error().empty())
        GTEST_SKIP() << disk.error();
    testing_support::fillUp(full);
    EXPECT_EQ(fileops::moveFile(source, full + "/a.mp3"), ENOSPC);
    EXPECT_EQ(listNames(full), Names {"filler"});
    expectUnchanged("full on another file system");
}

TEST_F(TransferFaults, I3CopyKilledPartWayLeavesBothFilesAndNoNewAudioName)
{
    for (const bool named : {false, true}) {
        const int signal = testing_support::crashAtByte(64 * 1024, [&] {
            testing_support::FaultyFileSystem fs;
            if (named)
                withoutUnnamedFiles(fs);
            platform::ScopedFileSystem installed(fs);
            fileops::copyFile(source, destination);
        });
        EXPECT_EQ(signal, SIGXFSZ);
        EXPECT_TRUE(snapshot(source) == sourceBefore);
        EXPECT_TRUE(snapshot(destination) == destinationBefore);
        // A named temporary file may stay behind a kill: a dot-name the scan never lists.
        for (const std::string &name : listNames(destinationFolder)) {
            if (name == "a.mp3")
                continue;
            EXPECT_TRUE(named) << name;
            EXPECT_EQ(name.rfind(".bellwick-", 0), 0u) << name;
            EXPECT_EQ(name.substr(name.size() - 4), ".tmp") << name;
            ::unlink((destinationFolder + "/" + name).c_str());
        }
    }
    expectUnchanged("killed");
}

namespace {

// Another program that puts a symbolic link at each name the program is about to create
// for its temporary file, aiming at a file of the user's.
class PlantingFileSystem : public testing_support::FaultyFileSystem
{
public:
    PlantingFileSystem(std::string victim, int plants)
        : m_victim(std::move(victim))
        , m_plants(plants)
    { }
    int open(const char *path, int flags, mode_t mode) override
    {
        if (flags & O_CREAT)
            plant(path);
        return FaultyFileSystem::open(path, flags, mode);
    }
    int linkat(int fromDir, const char *from, int toDir, const char *to, int flags) override
    {
        plant(to);
        return FaultyFileSystem::linkat(fromDir, from, toDir, to, flags);
    }
    int planted() const { return m_planted; }

private:
    void plant(const char *path)
    {
        if (m_plants > 0 && platform::fileNamePart(path).substr(0, 10) == ".bellwick-") {
            --m_plants;
            m_planted += ::symlink(m_victim.c_str(), path) == 0;
        }
    }
    std::string m_victim;
    int m_plants;
    int m_planted = 0;
};

} // namespace

TEST_F(TransferFaults, SymbolicLinkPlantedAtTheTemporaryNameIsNeverFollowed)
{
    const std::string victim = tree.file("victim.mp3", "the user's own file");
    const auto removePlanted = [&] {
        for (const std::string &name : listNames(destinationFolder)) {
            if (name != "a.mp3")
                ::unlink((destinationFolder + "/" + name).c_str());
        }
    };
    // Once: the next name is taken. For ever: the copy gives up; nothing followed either way.
    for (const bool named : {false, true}) {
        for (const int plants : {1, 1000}) {
            destination = placeDestination(destinationFolder);
            PlantingFileSystem fs(victim, plants);
            if (named)
                withoutUnnamedFiles(fs);
            {
                platform::ScopedFileSystem installed(fs);
                const int error = fileops::copyFile(source, destination);
                EXPECT_EQ(error, plants == 1 ? 0 : EEXIST) << named << plants;
            }
            EXPECT_GT(fs.planted(), 0);
            EXPECT_TRUE(readBytes(victim) == "the user's own file");
            EXPECT_TRUE(readBytes(destination) == (plants == 1 ? sourceBytes : oldBytes));
            removePlanted();
        }
    }
    // The settings file is written the same way.
    const std::string settings = destinationFolder + "/BELWIK.INI";
    tree.file("dst/BELWIK.INI", "[Window]\nTOP=1\n");
    PlantingFileSystem fs(victim, 1);
    withoutUnnamedFiles(fs);
    {
        platform::ScopedFileSystem installed(fs);
        app::WindowSettings values {};
        EXPECT_TRUE(app::writeSettings(settings, values));
    }
    EXPECT_EQ(fs.planted(), 1);
    EXPECT_TRUE(readBytes(victim) == "the user's own file");
    EXPECT_NE(readBytes(settings).find("TOP=0"), std::string::npos);
}

TEST(NewFolderFaults, RefusedParentsGiveTheProgramsCodesAndMakeNothing)
{
    testing_support::TempTree tree;
    ::chmod(tree.root().c_str(), 0755);
    const std::string parent = tree.folder("parent");
    {
        Chattr immutable(parent, Chattr::Immutable);
        if (!immutable.error().empty())
            GTEST_SKIP() << immutable.error();
        EXPECT_EQ(fileops::makeFolder(parent + "/new").code, 5);
    }
    {
        Mount readOnly = Mount::readOnlyBind(parent);
        if (!readOnly.error().empty())
            GTEST_SKIP() << readOnly.error();
        const fileops::FolderOutcome outcome = fileops::makeFolder(parent + "/new");
        EXPECT_EQ(outcome.code, 5);
        EXPECT_EQ(outcome.text, "ファイルへのアクセスが拒否されました");
    }
    EXPECT_EQ(listNames(parent), Names {});
    // Root passes every permission check, so the nobody user shows the mode bits apply.
    ::chmod(parent.c_str(), 0555);
    const int status
        = testing_support::runAsNobody([&] { return fileops::makeFolder(parent + "/new").code; });
    if (status < 0)
        GTEST_SKIP() << "no nobody user";
    EXPECT_EQ(status, 5);
    EXPECT_EQ(listNames(parent), Names {});
}
