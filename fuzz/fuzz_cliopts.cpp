// The companion's option parser on any argument vector (arguments split at NUL bytes):
// no crash, and either a usage error with its reason or options for a known command.

#include <algorithm>

#include "cli/clioptions.h"
#include "fuzz/targets.h"

namespace fuzz {

bool cliOptions(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> args;
    std::string arg;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += static_cast<char>(data[i]);
        }
    }
    if (size > 0)
        args.push_back(arg);

    std::string error;
    const std::optional<cli::Options> options = cli::parseOptions(args, error);
    if (!options)
        return !error.empty();
    static const char *const commands[] = {"scan", "search", "show", "set", "write", "rename",
        "fromname", "export-v2", "genres", "history", "undo", "redo", "help"};
    if (std::find(std::begin(commands), std::end(commands), options->command) == std::end(commands))
        return false;
    for (const auto &[name, value] : options->texts) {
        if (!cli::textOption(*options, name))
            return false;
    }
    return true;
}

} // namespace fuzz
