#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/textcodec.h"

namespace cli {

// A command line of the companion, parsed but not yet checked against the files.
struct Options
{
    // scan, search, show, set, write, export-v2, history, undo, redo, genres, help
    std::string command;
    // Tag texts and conditions as given (UTF-8), by name: title, artist, album, year, genre,
    // comment, and for search also name.
    std::vector<std::pair<std::string, std::string>> texts;
    std::vector<std::string> erase; // set: fields to erase
    std::string sortColumn;         // scan: empty for scan order
    bool descending = false;
    bool allConditions = false;         // search: --and
    bool noJournal = false;             // set, write, export-v2: --no-journal
    std::optional<std::uint64_t> batch; // undo: --batch N, that batch again
    bool overwrite = false;             // export-v2: replace the frames the ID3v2 tag has
    bool dryRun = false;                // export-v2: print what would be written, write nothing
    std::vector<std::string> arguments;
    // --encoding: the code page of tag texts, for printed texts, conditions and new texts.
    platform::CodePage encoding = platform::CodePage::Cp932;
};

// Parses argv (without the program name). Gives the options, or the one-line reason for a
// usage error in `error`.
std::optional<Options> parseOptions(const std::vector<std::string> &args, std::string &error);

// The companion's names of the columns, or of the tag fields alone, as a message lists
// them: "title, artist, ... or comment".
std::string columnNames(bool fieldsOnly);

// The text given for `name`, if any (the last one given wins).
const std::string *textOption(const Options &options, const std::string &name);

} // namespace cli
