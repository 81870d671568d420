#pragma once

#include <cstdio>
#include <string>

#include "cli/clioptions.h"

namespace cli {

// Exit codes: everything done; an operation failed on a file; a usage error.
enum ExitCode { Done = 0, FileFailed = 1, UsageError = 2 };

// Runs a parsed command line, writing lines to `out` and messages to `err`.
int run(const Options &options, std::FILE *out, std::FILE *err);

// The usage text of --help.
const char *usageText();

// A field of an output line: bytes below 0x20, 0x7F and the backslash as \xHH.
void appendEscaped(std::string &line, std::string_view field);

} // namespace cli
