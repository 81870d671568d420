#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include <QApplication>

int main(int argc, char **argv)
{
    // gtest_discover_tests runs this binary without the test properties.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
