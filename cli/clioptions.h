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
    // scan, search, show, set, write, rename, fromname, export-v2, history, undo, redo, genres,
    // help
    std::string command;
    // Tag texts and conditions as given (UTF-8), by name: title, artist, album, year, genre,
    // comment, and for search also name.
    std::vector<std::pair<std::string, std::string>> texts;
    std::vector<std::string> erase; // set: fields to erase
    std::string sortColumn;         // scan: empty for scan order
    bool descending = false;
    bool allConditions = false;         // search: --and
    bool noJournal = false;             // set, write, rename, fromname, export-v2
    std::optional<std::string> format;  // rename: --format, the new names
    std::optional<std::string> pattern; // fromname: --pattern, what the names hold
    bool fat = false;                   // rename: --fat, FAT's characters replaced too
    bool dryRun = false;                // rename, fromname, export-v2: --dry-run, the preview alone
    std::optional<std::uint64_t> batch; // undo: --batch N, that batch again
    bool overwrite = false;             // export-v2: replace the frames the ID3v2 tag has
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
