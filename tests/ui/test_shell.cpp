// File names that a shell or an option parser would misread reach the desktop's opener as
// one argument, an absolute path, never through a shell.

#include <gtest/gtest.h>

#include <cstdlib>

#include <QTest>

#include "app/Unit1.h"
#include "lists/filelistview.h"
#include "tests/support/mainwindowfixture.h"
#include "tests/support/scriptedmodal.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;

namespace {

const std::vector<std::string> UnsafeNames
    = {"-n.mp3", "--help.mp3", "-", "new\nline.mp3", "it's \"quoted\".mp3",
        "$(touch pwned) `touch pwned`; | & > < * ?.mp3", "a b.mp3", "\xff\xfe.mp3"s};

class Shell : public testing_support::MainWindowTest
{
};

} // namespace

TEST_F(Shell, UnsafeNamesReachTheOpenerAsOneAbsolutePath)
{
    for (const std::string &name : UnsafeNames) {
        modal.spawned.clear();
        form.ShellExecute(name, "", "PLAY", "/music", 5);
        form.ShellExecute("/music/" + name, "", "OPEN", "", 5);
        ASSERT_EQ(modal.spawned.size(), 2u);
        for (const auto &argv : modal.spawned)
            EXPECT_EQ(argv, (std::vector<std::string> {"xdg-open", "/music/" + name}));
    }
}

TEST_F(Shell, DoubleClickOnARowWithAnUnsafeNamePassesItsPathAlone)
{
    std::vector<lists::Row> rows;
    for (const std::string &name : UnsafeNames) {
        lists::Row row;
        row.subItem(lists::SubItem::Path) = "/music/" + name;
        rows.push_back(row);
    }
    form.ListView1->appendRows(rows);
    for (std::size_t i = 0; i < UnsafeNames.size(); ++i) {
        std::vector<bool> selected(UnsafeNames.size(), false);
        selected[i] = true;
        form.ListView1->setSelectionFlags(selected);
        form.ListView1DblClick(form.ListView1);
        ASSERT_EQ(modal.spawned.size(), i + 1);
        EXPECT_EQ(
            modal.spawned[i], (std::vector<std::string> {"xdg-open", "/music/" + UnsafeNames[i]}));
    }
}

TEST(ShellSpawn, TheRealSpawnPassesTheBytesWithoutAShell)
{
    // A stand-in opener early on PATH writes out the arguments it was given.
    testing_support::TempTree tree;
    const std::string out = tree.path("args");
    tree.file("bin/xdg-open",
        "#!/bin/sh\nprintf '%s\\0' \"$#\" \"$@\" > \"$BELLWICK_ARGS.tmp\"\n"
        "mv \"$BELLWICK_ARGS.tmp\" \"$BELLWICK_ARGS\"\n",
        0755);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (tree.path("bin") + ":" + oldPath).c_str(), 1);
    ::setenv("BELLWICK_ARGS", out.c_str(), 1);
    const std::string name = tree.path("work") + "/" + UnsafeNames[5];
    tree.folder("work");
    platform::QtModal modal;
    const long pid = modal.spawn({"xdg-open", name}, tree.path("work"), QString(), QString());
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_NE(pid, 0);
    testing_support::waitUntil([&] { return testing_support::exists(out); });
    EXPECT_EQ(testing_support::readBytes(out), "1\0"s + name + "\0"s);
    EXPECT_FALSE(testing_support::exists(tree.path("work/pwned")));
    EXPECT_FALSE(testing_support::exists(tree.path("pwned")));
}

TEST_F(Shell, AnOpenerThatCannotBeStartedGivesTheSameWarningAsOneThatFails)
{
    // An empty search path: no opener can be found.
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", tree.folder("empty").c_str(), 1);
    modal.answer(platform::IDOK);
    const long pid = platform::QtModal().spawn({"xdg-open", "/music/a.mp3"}, std::string(),
        QString::fromUtf8("a.mp3 を開けません。"), QStringLiteral("a.mp3"));
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(pid, 0);
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(modal.questions[0].text, QString::fromUtf8("a.mp3 を開けません。"));
    EXPECT_EQ(modal.questions[0].caption, QStringLiteral("a.mp3"));
    EXPECT_EQ(modal.questions[0].flags, platform::MB_OK | platform::MB_ICONEXCLAMATION);
    // Without a failure text (the version box's link) nothing is said.
    ::setenv("PATH", tree.path("empty").c_str(), 1);
    EXPECT_EQ(platform::QtModal().spawn({"xdg-open", "x"}, std::string(), QString(), QString()), 0);
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(modal.questions.size(), 1u);

    // An opener that starts and fails: the warning comes from the event loop once it ends.
    tree.file("failing/xdg-open", "#!/bin/sh\nexit 1\n", 0755);
    ::setenv("PATH", (tree.path("failing") + ":" + oldPath).c_str(), 1);
    modal.answer(platform::IDOK);
    EXPECT_NE(platform::QtModal().spawn({"xdg-open", "/music/b.mp3"}, std::string(),
                  QString::fromUtf8("b.mp3 を開けません。"), QStringLiteral("b.mp3")),
        0);
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return modal.questions.size() == 2; }, 60000));
    EXPECT_EQ(modal.questions[1].text, QString::fromUtf8("b.mp3 を開けません。"));
}
