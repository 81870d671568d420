#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

#include "app/programfiles.h"
#include "app/settingsfile.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;
using app::parseSettingInteger;
using Call = testing_support::FaultyFileSystem::Call;
using testing_support::readBytes;

namespace {

app::WindowSettings defaults()
{
    return {
        97, 96, 780, 540, 200, 160, 130, 120, 120, 50, 50, 120, 160, 130, 120, 120, 50, 50, 120};
}

class SettingsFile : public ::testing::Test
{
protected:
    std::string path() const { return tree.path("BELWIK.INI"); }
    testing_support::TempTree tree;
};

} // namespace

TEST(SettingInteger, DecimalAndHexadecimalForms)
{
    EXPECT_EQ(parseSettingInteger("100"), 100);
    EXPECT_EQ(parseSettingInteger("-5"), -5);
    EXPECT_EQ(parseSettingInteger("0x64"), 100);
    EXPECT_EQ(parseSettingInteger("0X64"), 100);
    EXPECT_EQ(parseSettingInteger("$64"), 100);
    EXPECT_EQ(parseSettingInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(parseSettingInteger("2147483647"), 2147483647);
    EXPECT_EQ(parseSettingInteger("-2147483648"), -2147483647 - 1);
    // Leading zeros are part of the number, not extra digits.
    EXPECT_EQ(parseSettingInteger("00000000150"), 150);
    EXPECT_EQ(parseSettingInteger("$0000000064"), 100);
    EXPECT_EQ(parseSettingInteger("0x0000000096"), 150);
    EXPECT_EQ(parseSettingInteger("-000000000002147483648"), -2147483647 - 1);
    EXPECT_EQ(parseSettingInteger("$000FFFFFFFF"), -1);
    EXPECT_EQ(parseSettingInteger("0000"), 0);
    EXPECT_EQ(parseSettingInteger("$000"), 0);
    EXPECT_EQ(parseSettingInteger(std::string(1 << 20, '0') + "7"), 7);
    for (const std::string &bad : {""s, "abc"s, "-"s, "$"s, "0x"s, "+5"s, "1e9"s, "12 3"s,
             "99999999999999999999"s, "-2147483649"s, "2147483648"s, "$123456789"s, "0xG"s,
             "$0123456789"s, "0002147483648"s, "-00"s + "2147483649"s, std::string(1 << 20, '7')})
        EXPECT_FALSE(parseSettingInteger(bad)) << bad.substr(0, 30);
}

TEST_F(SettingsFile, RoundTripKeepsOtherLinesAndWritesEveryKeyInOrder)
{
    EXPECT_EQ(app::readSettings(path(), defaults()), defaults()); // no file: the defaults
    tree.file("BELWIK.INI",
        "\xEF\xBB\xBF; comment\r\n[window]\r\nwidth=1000\r\nVIEWHEIGHT=$64\r\n"
        "Columns13=abc\r\n[Other]\r\nWIDTH=5\r\n"s);
    app::WindowSettings read = app::readSettings(path(), defaults());
    EXPECT_EQ(read[2], 1000);
    EXPECT_EQ(read[4], 100);
    EXPECT_EQ(read[8], 120); // not a number: the default
    read[3] = 600;
    ASSERT_TRUE(app::writeSettings(path(), read));
    const std::string written = readBytes(path());
    EXPECT_EQ(written.substr(0, 14), "\xEF\xBB\xBF; comment\r\n"s);
    EXPECT_NE(written.find("[Other]\r\nWIDTH=5\r\n"), std::string::npos);
    EXPECT_NE(written.find("WIDTH=1000\r\n"), std::string::npos); // the line end kept
    const std::size_t top = written.find("TOP=97"), last = written.find("Columns26=120");
    ASSERT_NE(top, std::string::npos);
    ASSERT_NE(last, std::string::npos);
    EXPECT_LT(written.find("Columns20="), last);
    EXPECT_EQ(app::readSettings(path(), defaults()), read);
    // Writing the same values again changes no byte.
    ASSERT_TRUE(app::writeSettings(path(), read));
    EXPECT_EQ(readBytes(path()), written);
    EXPECT_EQ(testing_support::listNames(tree.root()), std::vector<std::string> {"BELWIK.INI"});
}

TEST_F(SettingsFile, GarbageGivesDefaultsAndIsKept)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) % 256);
    garbage += "\n" + std::string(100000, 'x') + "\n[Window]\nHEIGHT=0x1F4\n";
    tree.file("BELWIK.INI", garbage);
    EXPECT_EQ(app::readSettings(path(), defaults())[3], 500);
    ASSERT_TRUE(app::writeSettings(path(), defaults()));
    const std::string written = readBytes(path());
    EXPECT_EQ(written.substr(0, 4096), garbage.substr(0, 4096));
    EXPECT_NE(written.find(std::string(100000, 'x')), std::string::npos); // nothing cut
    EXPECT_NE(written.find("HEIGHT=540"), std::string::npos);
}

TEST_F(SettingsFile, FailedWriteLeavesTheOldFileAndNoTemporary)
{
    const std::string old = "[Window]\nWIDTH=900\n";
    tree.file("BELWIK.INI", old);
    for (const Call call : {Call::Open, Call::Pwrite, Call::Fsync, Call::Rename}) {
        testing_support::FaultyFileSystem fs;
        fs.fail(call, call == Call::Pwrite ? ENOSPC : EIO, call == Call::Open ? 2 : 1);
        platform::ScopedFileSystem installed(fs);
        EXPECT_FALSE(app::writeSettings(path(), defaults()));
        EXPECT_EQ(readBytes(path()), old);
        EXPECT_EQ(testing_support::listNames(tree.root()), std::vector<std::string> {"BELWIK.INI"});
    }
}

TEST_F(SettingsFile, NonRegularFilesAreNeverReadToTheEndNorRewrittenAndLinksKeepTheirTarget)
{
    ASSERT_EQ(::mkfifo(path().c_str(), 0644), 0);
    EXPECT_EQ(app::readSettings(path(), defaults()), defaults()); // no hang
    EXPECT_FALSE(app::writeSettings(path(), defaults()));
    ::unlink(path().c_str());
    tree.symlink("BELWIK.INI", "/dev/zero");
    EXPECT_EQ(app::readSettings(path(), defaults()), defaults());
    EXPECT_FALSE(app::writeSettings(path(), defaults()));
    ::unlink(path().c_str());
    tree.file("real/settings.ini", "[Window]\nTOP=1\n");
    tree.symlink("BELWIK.INI", "real/settings.ini");
    ASSERT_TRUE(app::writeSettings(path(), defaults()));
    struct stat st;
    ASSERT_EQ(::lstat(path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(readBytes(tree.path("real/settings.ini")).find("TOP=97"), std::string::npos);
}

TEST_F(SettingsFile, LocationBesideTheProgramElseTheConfigFolder)
{
    EXPECT_EQ(app::chooseSettingsPath(tree.root(), nullptr, "/home/u"), path());
    EXPECT_EQ(
        app::chooseSettingsPath("/nonexistent/bin", "/cfg", "/home/u"), "/cfg/bellwick/BELWIK.INI");
    EXPECT_EQ(app::chooseSettingsPath("/nonexistent/bin", nullptr, "/home/u"),
        "/home/u/.config/bellwick/BELWIK.INI");
    // An installed program keeps out of its folder even where it could write (as root) and
    // a file is already there.
    tree.file("BELWIK.INI", "[Window]\n");
    tree.file(app::InstalledMarkerName, "");
    EXPECT_EQ(app::chooseSettingsPath(tree.root(), "/cfg", "/home/u"), "/cfg/bellwick/BELWIK.INI");
    EXPECT_EQ(app::chooseSettingsPath(tree.root(), "relative", "/home/u"),
        "/home/u/.config/bellwick/BELWIK.INI");
    const std::string inConfig = tree.path("cfg/bellwick/BELWIK.INI");
    tree.folder("cfg");
    app::makeSettingsFolder(inConfig);
    EXPECT_TRUE(app::writeSettings(inConfig, defaults()));
}
