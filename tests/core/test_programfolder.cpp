#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/programfiles.h"
#include "platform/programfolder.h"
#include "tests/support/testtree.h"

namespace {

class ProgramFolder : public ::testing::Test
{
protected:
    testing_support::TempTree tree;
};

} // namespace

TEST_F(ProgramFolder, IsTheFolderOfTheRunningExecutable)
{
    const std::string folder = platform::programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_NE(folder.back(), '/');
    struct stat running, found;
    ASSERT_EQ(::stat("/proc/self/exe", &running), 0);
    ASSERT_EQ(::stat((folder + "/bellwick_core_tests").c_str(), &found), 0);
    EXPECT_EQ(running.st_ino, found.st_ino);
    EXPECT_EQ(running.st_dev, found.st_dev);
}

TEST_F(ProgramFolder, OnlyARegularMarkerMarksAnInstalledProgram)
{
    tree.folder("build");
    EXPECT_FALSE(app::isInstalledProgram(tree.path("build")));
    EXPECT_FALSE(app::isInstalledProgram(""));
    EXPECT_FALSE(app::isInstalledProgram(tree.path("missing")));

    tree.folder(std::string("folder/") + app::InstalledMarkerName);
    EXPECT_FALSE(app::isInstalledProgram(tree.path("folder")));
    tree.symlink(std::string("dangling/") + app::InstalledMarkerName, "/nonexistent");
    EXPECT_FALSE(app::isInstalledProgram(tree.path("dangling")));

    tree.file(std::string("installed/") + app::InstalledMarkerName, "");
    EXPECT_TRUE(app::isInstalledProgram(tree.path("installed")));
    EXPECT_TRUE(app::isInstalledProgram(tree.path("installed") + "/"));
    tree.symlink(std::string("linked/") + app::InstalledMarkerName,
        tree.path(std::string("installed/") + app::InstalledMarkerName));
    EXPECT_TRUE(app::isInstalledProgram(tree.path("linked")));
}

TEST_F(ProgramFolder, HelpPageFromTheCurrentFolderElseBesideTheProgram)
{
    const std::string current = tree.folder("music");
    const std::string program = tree.folder("lib/bellwick");
    // Neither: nothing to open.
    EXPECT_EQ(app::findHelpPage("belwik.htm", current, program), "");
    EXPECT_EQ(app::findHelpPage("belwik.htm", "", ""), "");

    tree.file("lib/bellwick/belwik.htm", "<html></html>");
    EXPECT_EQ(app::findHelpPage("belwik.htm", current, program), program + "/belwik.htm");
    // The current folder could not be told (it was removed): the program's copy.
    EXPECT_EQ(app::findHelpPage("belwik.htm", "", program), program + "/belwik.htm");
    EXPECT_EQ(app::findHelpPage("belwik.htm", "/", program + "/"), program + "/belwik.htm");

    // A folder or a dangling link of that name in the current folder is no page.
    tree.folder("music/belwik.htm");
    EXPECT_EQ(app::findHelpPage("belwik.htm", current, program), program + "/belwik.htm");
    tree.symlink("other/belwik.htm", "/nonexistent/belwik.htm");
    EXPECT_EQ(
        app::findHelpPage("belwik.htm", tree.path("other"), program), program + "/belwik.htm");

    // A page in the current folder comes first, also as a link.
    tree.file("work/belwik.htm", "<html>mine</html>");
    EXPECT_EQ(
        app::findHelpPage("belwik.htm", tree.path("work"), program), tree.path("work/belwik.htm"));
    tree.symlink("linked/belwik.htm", tree.path("work/belwik.htm"));
    EXPECT_EQ(app::findHelpPage("belwik.htm", tree.path("linked"), program),
        tree.path("linked/belwik.htm"));
    EXPECT_EQ(app::findHelpPage("belwik.htm", tree.path("work"), ""), tree.path("work/belwik.htm"));
}
