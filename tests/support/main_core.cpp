#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "tests/support/faults.h"
#include "tests/support/testtree.h"

int main(int argc, char **argv)
{
    // A file-size limit must turn into EFBIG for the code under test, never a kill.
    std::signal(SIGXFSZ, SIG_IGN);
    // Mounts made by tests die with the process; set up before any thread exists. Listing
    // the tests (at build time) needs none.
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (!listing)
        testing_support::enterPrivateMountNamespace();
    // Tag writes of the tests are journaled into a folder of their own, never the user's.
    const testing_support::TempTree states;
    setenv("XDG_STATE_HOME", states.path("state").c_str(), 1);
    setenv("XDG_CACHE_HOME", states.path("cache").c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
