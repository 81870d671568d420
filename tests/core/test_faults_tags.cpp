// Tag writing under the faults a collection meets: no right to write, full disks, short
// writes, I/O errors, files that are not regular files, files changed by another program,
// odd sizes and kills part way. Each case checks bytes, size and mode before and after and
// the message the user sees.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "platform/error.h"
#include "tags/tagfile.h"
#include "tests/support/faults.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using testing_support::audioBytes;
using testing_support::bytesOf;
using testing_support::completeTagBlock;
using testing_support::errorOf;
using testing_support::fileMode;
using testing_support::readBytes;
using testing_support::Snapshot;
using testing_support::snapshot;
using testing_support::tagBytes;
using Call = testing_support::FaultyFileSystem::Call;
using Deny = testing_support::FanotifyDeny;

namespace {

std::string cannotOpen(const std::string &path)
{
    return "ファイル " + path + " は開けません";
}

std::string cannotWrite(const std::string &path)
{
    return path + " に書き込めません";
}

class TagFaults : public ::testing::Test
{
protected:
    testing_support::TempTree tree;
    const std::string untagged = audioBytes(4096);
    const std::string tagged = audioBytes(4096 - 128) + tagBytes("Old", "Artist");
};

} // namespace

TEST_F(TagFaults, A1NoRightToWriteChangesNothing)
{
    for (const std::string &bytes : {untagged, tagged}) {
        const std::string path = tree.file("theirs.mp3", bytes, 0444);
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        const Snapshot before = snapshot(path);
        std::string error;
        const std::string setUp = testing_support::runWithoutDacOverride(
            [&] { error = errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }); });
        if (!setUp.empty())
            GTEST_SKIP() << setUp;
        EXPECT_EQ(error, cannotOpen(path));
        EXPECT_EQ(snapshot(path), before);
    }
    // Run as nobody: a file of root's, writable by its owner only.
    ASSERT_EQ(::chmod(tree.root().c_str(), 0755), 0);
    const std::string roots = tree.file("roots.mp3", tagged, 0644);
    const Snapshot rootsBefore = snapshot(roots);
    const int status = testing_support::runAsNobody([&] {
        return errorOf([&] { tags::WriteTagBlock(roots, completeTagBlock("T")); })
                == cannotOpen(roots)
            ? 0
            : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(snapshot(roots), rootsBefore);
    // Immutable (+i): chmod and the open for writing are refused.
    const std::string path = tree.file("immutable.mp3", tagged, 0444);
    const Snapshot before = snapshot(path);
    {
        testing_support::Chattr immutable(path, testing_support::Chattr::Immutable);
        if (!immutable.error().empty())
            GTEST_SKIP() << immutable.error();
        EXPECT_EQ(
            errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }), cannotOpen(path));
    }
    EXPECT_EQ(snapshot(path), before);
}

TEST_F(TagFaults, A1ReadOnlyFileSystemChangesNothing)
{
    const std::string path = tree.file("ro/a.mp3", tagged, 0444);
    const std::string other = tree.file("ro/b.mp3", untagged, 0644);
    const Snapshot before = snapshot(path), otherBefore = snapshot(other);
    {
        const auto mount = testing_support::Mount::readOnlyBind(tree.path("ro"));
        if (!mount.error().empty())
            GTEST_SKIP() << mount.error();
        EXPECT_EQ(
            errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }), cannotOpen(path));
        EXPECT_EQ(
            errorOf([&] { tags::WriteTagBlock(other, completeTagBlock("T")); }), cannotOpen(other));
        EXPECT_EQ(tags::ReadTag(path).Title.substr(0, 3), "Old");
    }
    EXPECT_EQ(snapshot(path), before);
    EXPECT_EQ(snapshot(other), otherBefore);
}

TEST_F(TagFaults, A2OwnReadOnlyFileIsWrittenAndKeepsItsModeEvenWhenTheOpenIsDenied)
{
    const std::string path = tree.file("mine.mp3", tagged, 0444);
    ASSERT_EQ(tags::WriteTagBlock(path, completeTagBlock("New")), tags::WriteOutcome::Written);
    EXPECT_EQ(readBytes(path), tagged.substr(0, 4096 - 128) + bytesOf(completeTagBlock("New")));
    EXPECT_EQ(fileMode(path), 0444);

    const Snapshot before = snapshot(path);
    {
        Deny deny(Deny::Mode::Open, EIO, {path});
        if (!deny.error().empty())
            GTEST_SKIP() << deny.error();
        EXPECT_EQ(errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("Other")); }),
            cannotOpen(path));
        EXPECT_EQ(fileMode(path), 0444); // mode back though the open failed
        EXPECT_GE(deny.denied(), 1);
    }
    EXPECT_EQ(snapshot(path), before);
}

TEST_F(TagFaults, B1FullDiskLeavesTheFileAsItWas)
{
    const std::string folder = tree.folder("small");
    const auto mount = testing_support::Mount::tmpfs(folder, "size=64k");
    if (!mount.error().empty())
        GTEST_SKIP() << mount.error();
    const std::string path = tree.file("small/a.mp3", untagged); // whole pages: no slack
    const std::string taggedPath = tree.file("small/b.mp3", tagged);
    testing_support::fillUp(folder);
    const Snapshot before = snapshot(path);
    EXPECT_EQ(
        errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }), cannotWrite(path));
    EXPECT_EQ(snapshot(path), before);
    // A tag in place needs no new space: it is written.
    EXPECT_EQ(tags::WriteTagBlock(taggedPath, completeTagBlock("T")), tags::WriteOutcome::Written);
    EXPECT_EQ(readBytes(taggedPath), tagged.substr(0, 4096 - 128) + bytesOf(completeTagBlock("T")));
}

TEST_F(TagFaults, B2ShortWriteOnAppendIsCutBack)
{
    const std::string path = tree.file("a.mp3", untagged, 0444);
    const Snapshot before = snapshot(path);
    {
        testing_support::FileSizeLimit limit(static_cast<off_t>(untagged.size()) + 50);
        ASSERT_EQ(limit.error(), "");
        EXPECT_EQ(
            errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }), cannotWrite(path));
    }
    EXPECT_EQ(snapshot(path), before);
}

TEST_F(TagFaults, C1FailedTailReadWritesNothingAndReadsAsNoTag)
{
    const std::string path = tree.file("a.mp3", tagged);
    const Snapshot before = snapshot(path);
    {
        Deny deny(Deny::Mode::Read, EIO, {path});
        if (!deny.error().empty())
            GTEST_SKIP() << deny.error();
        EXPECT_EQ(tags::ReadTag(path), tags::TTagRecord()); // the row shows empty tag cells
        EXPECT_EQ(
            errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }), cannotWrite(path));
    }
    EXPECT_EQ(snapshot(path), before);
}

TEST_F(TagFaults, C2FailedWriteLeavesTheFileAsItWas)
{
    for (const std::string &bytes : {untagged, tagged}) {
        const std::string path = tree.file("a.mp3", bytes);
        const Snapshot before = snapshot(path);
        {
            // The tail read passes, the write and anything after fail.
            Deny deny(Deny::Mode::Access, EIO, {path}, 1);
            if (!deny.error().empty())
                GTEST_SKIP() << deny.error();
            EXPECT_EQ(errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }),
                cannotWrite(path));
        }
        EXPECT_EQ(snapshot(path), before) << bytes.size();
    }
}

TEST_F(TagFaults, C4OpenDeniedAtTheWriteAfterTheScanOpened)
{
    const std::string path = tree.file("a.mp3", tagged);
    const Snapshot before = snapshot(path);
    {
        Deny deny(Deny::Mode::Open, EIO, {path}, 1);
        if (!deny.error().empty())
            GTEST_SKIP() << deny.error();
        EXPECT_EQ(tags::ReadTag(path).Title.substr(0, 3), "Old");
        EXPECT_EQ(
            errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }), cannotOpen(path));
    }
    EXPECT_EQ(snapshot(path), before);
}

TEST_F(TagFaults, C5CloseErrorsInterruptsAndShortReadsThroughTheSeam)
{
    const std::string path = tree.file("a.mp3", tagged);
    {
        // A close that fails (a late write error) is reported, never taken as success.
        testing_support::FaultyFileSystem fs;
        fs.fail(Call::Close, EIO, 1, 1);
        platform::ScopedFileSystem installed(fs);
        EXPECT_EQ(
            errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }), cannotWrite(path));
    }
    {
        // Interrupted calls are tried again.
        testing_support::FaultyFileSystem fs;
        fs.fail(Call::Pread, EINTR, 1, 1);
        fs.fail(Call::Pwrite, EINTR, 1, 1);
        platform::ScopedFileSystem installed(fs);
        EXPECT_EQ(
            tags::WriteTagBlock(path, completeTagBlock("Again")), tags::WriteOutcome::Written);
        EXPECT_EQ(
            readBytes(path), tagged.substr(0, 4096 - 128) + bytesOf(completeTagBlock("Again")));
    }
    {
        // Reads that give a few bytes at a time still see the whole tail.
        struct ShortReads : testing_support::FaultyFileSystem
        {
            ssize_t pread(int fd, void *buf, size_t n, off_t at) override
            {
                return FaultyFileSystem::pread(fd, buf, n < 7 ? n : 7, at);
            }
        } fs;
        platform::ScopedFileSystem installed(fs);
        EXPECT_EQ(tags::ReadTag(path).Title.substr(0, 5), "Again");
        EXPECT_EQ(
            tags::WriteTagBlock(path, completeTagBlock("Third")), tags::WriteOutcome::Written);
        EXPECT_EQ(readBytes(path).size(), 4096u);
        EXPECT_GT(fs.count(Call::Pread), 1);
    }
}

TEST_F(TagFaults, D1D2EntriesThatAreNoRegularFileAreNeverOpenedOrWritten)
{
    const std::string fifo = tree.path("fifo.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string zero = tree.path("zero.mp3");
    const std::string loop = tree.path("loop.mp3");
    const bool devices = ::mknod(zero.c_str(), S_IFCHR | 0644, ::makedev(1, 5)) == 0
        && ::mknod(loop.c_str(), S_IFBLK | 0644, ::makedev(7, 0)) == 0;
    const std::string socketPath = tree.path("sock.mp3");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    const std::string folder = tree.folder("dir.mp3");
    const std::string self = tree.symlink("self.mp3", "self.mp3");
    const std::string a = tree.symlink("a.mp3", "b.mp3");
    tree.symlink("b.mp3", "a.mp3");
    const std::string dangling = tree.symlink("dangling.mp3", "nowhere.mp3");

    std::vector<std::string> paths = {fifo, socketPath, folder, self, a};
    if (devices) {
        paths.push_back(zero);
        paths.push_back(loop);
    }
    // Should a FIFO block, the watchdog fails the test and frees it.
    std::atomic<bool> finished {false};
    std::thread watchdog([&] {
        // A minute: only a read that blocks takes so long, however busy the machine.
        for (int i = 0; i < 600 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!finished) {
            ADD_FAILURE() << "blocked on a FIFO";
            ::close(::open(fifo.c_str(), O_RDWR | O_NONBLOCK));
        }
    });
    testing_support::FaultyFileSystem fs;
    platform::ScopedFileSystem installed(fs);
    for (const std::string &path : paths) {
        EXPECT_EQ(errorOf([&] { tags::ReadTag(path); }), cannotOpen(path));
        EXPECT_EQ(
            errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }), cannotOpen(path));
    }
    EXPECT_EQ(fs.count(Call::Open), 0); // the type is checked before any open
    EXPECT_EQ(fs.count(Call::Pwrite), 0);
    EXPECT_EQ(errorOf([&] { tags::ReadTag(dangling); }), cannotOpen(dangling));
    EXPECT_EQ(
        tags::WriteTagBlock(dangling, completeTagBlock("T")), tags::WriteOutcome::FileMissing);
    EXPECT_FALSE(testing_support::exists(tree.path("nowhere.mp3")));
    finished = true;
    watchdog.join();
    ::close(sock);
    if (!devices)
        GTEST_SKIP() << "mknod: " << std::strerror(errno);
}

TEST_F(TagFaults, F1FileChangedAfterTheScanEndsWithExactlyOneTag)
{
    const std::string audio = audioBytes(3000);
    tags::TagMerge merge;
    merge.texts[static_cast<int>(tags::TextField::Year)] = tags::TextChange::set("2024");
    const auto withYear = [](std::string tag) { return tag.replace(93, 4, "2024"); };

    // A block appended to a file without a tag: the year, every other byte zero, no genre.
    const std::string appended = bytesOf(tags::mergedBlock(std::nullopt, merge));
    const struct
    {
        const char *change;
        std::string atScan, meanwhile, expected;
    } cases[] = {
        {"a: tag added", audio, audio + tagBytes("Added", "A"),
            audio + withYear(tagBytes("Added", "A"))},
        {"b: tag cut off", audio + tagBytes("Cut"), audio, audio + appended},
        {"c: bytes after the tag", audio + tagBytes("T"),
            audio + tagBytes("T") + audioBytes(1000, 2),
            audio + tagBytes("T") + audioBytes(1000, 2) + appended},
        {"d: artist changed", audio + tagBytes("T", "Old"), audio + tagBytes("T", "New"),
            audio + withYear(tagBytes("T", "New"))},
        {"f: shrunk below a tag", audio + tagBytes("T"), "TAG" + audioBytes(60),
            "TAG" + audioBytes(60) + appended},
    };
    for (const auto &c : cases) {
        const std::string path = tree.file("a.mp3", c.atScan);
        tags::ReadTag(path);
        tree.file("a.mp3", c.meanwhile);
        ASSERT_EQ(tags::WriteTagBlock(path, merge), tags::WriteOutcome::Written);
        EXPECT_EQ(readBytes(path), c.expected) << c.change;
    }

    // e: the file is replaced by a rename after the scan: the new file is written.
    const std::string path = tree.file("a.mp3", audio + tagBytes("Old"));
    tags::ReadTag(path);
    const std::string replacement = tree.file("new.tmp", audio + tagBytes("Replaced"));
    ASSERT_EQ(::rename(replacement.c_str(), path.c_str()), 0);
    ASSERT_EQ(tags::WriteTagBlock(path, merge), tags::WriteOutcome::Written);
    EXPECT_EQ(readBytes(path), audio + withYear(tagBytes("Replaced")));

    // Replaced between the read and the write: the write goes to the file it read, and the
    // file now under the name keeps every byte.
    const std::string other = tree.file("other.tmp", audioBytes(777, 3));
    testing_support::FaultyFileSystem fs;
    fs.before(Call::Pwrite, [&] { ::rename(other.c_str(), path.c_str()); });
    platform::ScopedFileSystem installed(fs);
    ASSERT_EQ(tags::WriteTagBlock(path, merge), tags::WriteOutcome::Written);
    EXPECT_EQ(readBytes(path), audioBytes(777, 3));
}

TEST_F(TagFaults, G1ToG3SizesAroundOneBlock)
{
    const struct
    {
        std::string bytes;
        std::size_t after;
    } cases[] = {{"", 128}, {"TAG", 131}, {"TAG" + audioBytes(97), 228}, {audioBytes(127), 255},
        {tagBytes("Only"), 128}};
    for (const auto &c : cases) {
        const std::string path = tree.file("g.mp3", c.bytes, 0640);
        ASSERT_EQ(tags::WriteTagBlock(path, completeTagBlock("T")), tags::WriteOutcome::Written);
        const std::string after = readBytes(path);
        EXPECT_EQ(after.size(), c.after);
        EXPECT_EQ(after.substr(after.size() - 128), bytesOf(completeTagBlock("T")));
        EXPECT_EQ(after.substr(0, after.size() - 128), c.bytes.substr(0, after.size() - 128));
        EXPECT_EQ(fileMode(path), 0640);
    }
}

TEST_F(TagFaults, G4FiveGibibytesReadAndWrittenAtTheTailOnly)
{
    const std::string path = tree.file("big.mp3", "");
    const off_t size = off_t(5) << 30;
    const std::string near = audioBytes(300, 4);
    {
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ASSERT_EQ(::pwrite(fd, near.data(), near.size(), size - 428), 300);
        const std::string tag = tagBytes("Big");
        ASSERT_EQ(::pwrite(fd, tag.data(), 128, size - 128), 128);
        ::close(fd);
    }
    testing_support::FaultyFileSystem fs;
    platform::ScopedFileSystem installed(fs);
    EXPECT_EQ(tags::ReadTag(path).Title.substr(0, 3), "Big");
    EXPECT_EQ(fs.count(Call::Pread), 1);
    ASSERT_EQ(tags::WriteTagBlock(path, completeTagBlock("New")), tags::WriteOutcome::Written);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    std::string tail(428, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::pread(fd, tail.data(), 428, size - 428), 428);
    ::close(fd);
    EXPECT_EQ(tail, near + bytesOf(completeTagBlock("New")));
}

TEST_F(TagFaults, I2AppendKilledPartWayKeepsTheAudio)
{
    const std::string path = tree.file("a.mp3", untagged);
    const int signal = testing_support::crashAtByte(static_cast<off_t>(untagged.size()) + 50,
        [&] { tags::WriteTagBlock(path, completeTagBlock("T")); });
    EXPECT_EQ(signal, SIGXFSZ);
    const std::string after = readBytes(path);
    EXPECT_EQ(after.substr(0, untagged.size()), untagged);
    ASSERT_LE(after.size(), untagged.size() + 128);
    EXPECT_EQ(after.substr(untagged.size()),
        bytesOf(completeTagBlock("T")).substr(0, after.size() - untagged.size()));
}
