// bellwick-cli: the program's listing, search and tag setting for scripts and pipelines.

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/clicommands.h"
#include "cli/clioptions.h"

int main(int argc, char **argv)
{
    // A file-size limit makes a write fail with EFBIG (and the file cut back), never a kill.
    std::signal(SIGXFSZ, SIG_IGN);
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);

    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<cli::Options> options = cli::parseOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "bellwick-cli: %s\n", error.c_str());
        return cli::UsageError;
    }
    const int status = cli::run(*options, stdout, stderr);
    return std::fflush(stdout) == 0 ? status : cli::FileFailed;
}
