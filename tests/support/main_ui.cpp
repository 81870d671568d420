#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include <QApplication>

#include "tests/support/testtree.h"

int main(int argc, char **argv)
{
    // gtest_discover_tests runs this binary without the test properties.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::signal(SIGXFSZ, SIG_IGN);
    // Tag writes of the tests are journaled into a folder of their own, never the user's.
    const testing_support::TempTree states;
    setenv("XDG_STATE_HOME", states.path("state").c_str(), 1);
    setenv("XDG_CACHE_HOME", states.path("cache").c_str(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
