#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char **argv)
{
    // A file-size limit must turn into EFBIG for the code under test, never a kill.
    std::signal(SIGXFSZ, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
