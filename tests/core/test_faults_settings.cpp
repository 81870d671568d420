// The settings file under the faults of a real machine: files that cannot be read or are
// no regular file, huge files, folders that cannot be written or are full, and a crash in
// the middle of the rewrite. Reading gives the defaults without a hang; a failed rewrite
// leaves the old file byte for byte and no temporary file.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include "app/settingsfile.h"
#include "platform/profilefile.h"
#include "platform/temporaryfile.h"
#include "tests/support/faults.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using testing_support::Chattr;
using testing_support::listNames;
using testing_support::Mount;
using testing_support::readBytes;
using Deny = testing_support::FanotifyDeny;
using Names = std::vector<std::string>;
using Call = testing_support::FaultyFileSystem::Call;

namespace {

app::WindowSettings defaults()
{
    return {
        97, 96, 780, 540, 200, 160, 130, 120, 120, 50, 50, 120, 160, 130, 120, 120, 50, 50, 120};
}

class SettingsFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = tree.folder("program");
        path = placeOld(folder);
    }
    // An old settings file with other lines that must survive, in `where`.
    std::string placeOld(const std::string &where)
    {
        const std::string file = where + "/BELWIK.INI";
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_EQ(::write(fd, old.data(), old.size()), ssize_t(old.size()));
        ::close(fd);
        return file;
    }
    // A rewrite that must fail and leave the old file alone.
    void expectRefused(const std::string &context, const Names &alsoThere = {})
    {
        app::WindowSettings changed = defaults();
        changed[2] = 1000;
        EXPECT_FALSE(app::writeSettings(path, changed)) << context;
        EXPECT_EQ(readBytes(path), old) << context;
        Names expected = alsoThere;
        expected.push_back("BELWIK.INI");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(listNames(platform::folderOf(path)), expected) << context;
    }

    testing_support::TempTree tree;
    const std::string old = "; kept\n[Window]\nWIDTH=900\n[Other]\nKEY=value\n";
    std::string folder, path;
};

} // namespace

TEST_F(SettingsFaults, H1UnreadableOrOddFilesGiveTheDefaultsWithoutAHang)
{
    // No right to read: mode bits obeyed by a thread without the override.
    ::chmod(path.c_str(), 0);
    app::WindowSettings read {};
    const std::string setUp = testing_support::runWithoutDacOverride(
        [&] { read = app::readSettings(path, defaults()); });
    if (!setUp.empty())
        GTEST_SKIP() << setUp;
    EXPECT_EQ(read, defaults());
    ::chmod(path.c_str(), 0644);
    {
        Deny deny(Deny::Mode::Open, EIO, {path});
        if (!deny.error().empty())
            GTEST_SKIP() << deny.error();
        EXPECT_EQ(app::readSettings(path, defaults()), defaults());
        // What cannot be read is not rewritten either: its other lines would be lost.
        EXPECT_FALSE(app::writeSettings(path, defaults()));
    }
    EXPECT_EQ(readBytes(path), old);
    {
        Deny deny(Deny::Mode::Read, EIO, {path});
        ASSERT_EQ(deny.error(), "");
        EXPECT_EQ(app::readSettings(path, defaults()), defaults());
        EXPECT_FALSE(app::writeSettings(path, defaults()));
    }
    EXPECT_EQ(readBytes(path), old);

    // A folder of that name is neither read nor replaced.
    const std::string folderNamed = tree.folder("f/BELWIK.INI");
    EXPECT_EQ(app::readSettings(folderNamed, defaults()), defaults());
    EXPECT_FALSE(app::writeSettings(folderNamed, defaults()));
    struct stat st;
    ASSERT_EQ(::stat(folderNamed.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    // A sparse file of 5 GiB: read only as far as a settings file can sensibly reach.
    const std::string huge = tree.path("huge/BELWIK.INI");
    tree.file("huge/BELWIK.INI", "");
    ASSERT_EQ(::truncate(huge.c_str(), 5LL << 30), 0);
    testing_support::FaultyFileSystem reads;
    {
        const platform::ScopedFileSystem installed(reads);
        EXPECT_EQ(app::readSettings(huge, defaults()), defaults());
    }
    // Read in pieces of 64 KiB (and the one that finds the limit).
    EXPECT_LE(reads.count(Call::Pread, huge), platform::ProfileReadLimit / (64 << 10) + 2);
}

TEST_F(SettingsFaults, H4FolderThatCannotBeWrittenOrIsFullKeepsTheOldFile)
{
    {
        Chattr immutable(folder, Chattr::Immutable);
        if (!immutable.error().empty())
            GTEST_SKIP() << immutable.error();
        expectRefused("immutable");
    }
    {
        // A name made there could never be removed: nothing is begun.
        Chattr appendOnly(folder, Chattr::AppendOnly);
        expectRefused("append-only");
    }
    {
        Mount readOnly = Mount::readOnlyBind(folder);
        if (!readOnly.error().empty())
            GTEST_SKIP() << readOnly.error();
        expectRefused("read-only");
    }
    Mount disk = Mount::tmpfs(folder, "size=64k");
    ASSERT_EQ(disk.error(), "");
    path = placeOld(folder);
    testing_support::fillUp(folder);
    expectRefused("full", {"filler"});
}

TEST_F(SettingsFaults, H5CrashWhileWritingLeavesTheOldFileWhole)
{
    // Old lines enough that the rewrite is killed in the middle of streaming them.
    std::string large = old;
    for (int i = 0; i < 20000; ++i)
        large += "; line " + std::to_string(i) + " of a long comment\n";
    path = tree.file("program/BELWIK.INI", large);
    const int signal
        = testing_support::crashAtByte(64 * 1024, [&] { app::writeSettings(path, defaults()); });
    EXPECT_EQ(signal, SIGXFSZ);
    EXPECT_TRUE(readBytes(path) == large);
    EXPECT_EQ(listNames(folder), Names {"BELWIK.INI"});
}

TEST_F(SettingsFaults, H5HugeFileWithAHugeLineIsStreamedThroughWhole)
{
    // 100 MB: a line of 10 MB, then short lines, and the section at the very end.
    std::string large = "[Other]\n" + std::string(10 << 20, 'x') + "\n";
    while (large.size() < 100000000)
        large += "; a comment line that is kept as it stands\n";
    large += "[Window]\nWIDTH=900\n";
    path = tree.file("program/BELWIK.INI", large);
    app::WindowSettings values = app::readSettings(path, defaults());
    EXPECT_EQ(values[2], 900);
    values[3] = 555;
    ASSERT_TRUE(app::writeSettings(path, values));
    const std::string written = readBytes(path);
    EXPECT_TRUE(written.compare(0, large.size(), large) == 0); // every old byte, in place
    EXPECT_NE(written.find("HEIGHT=555\n", large.size()), std::string::npos);
    EXPECT_EQ(app::readSettings(path, defaults()), values);
    EXPECT_EQ(listNames(folder), Names {"BELWIK.INI"});
}
