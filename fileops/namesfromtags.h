#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/runcontrol.h"
#include "platform/textcodec.h"

namespace fileops {

// File names made from tags: a format such as "%artist% - %title%" filled from each file's
// tag, checked against the folder and the other files of the batch, before anything is
// renamed.

// What a placeholder of the format stands for.
enum class NamePart { Text, Title, Artist, Album, Year, Genre, Comment, Track, Name };

struct NameFormatPiece
{
    NamePart part = NamePart::Text;
    std::string text; // the literal text (UTF-8) of a Text piece
};

// A format parsed into literal texts and placeholders, or the message saying what is wrong
// with it.
struct NameFormat
{
    std::vector<NameFormatPiece> pieces;
    std::string error; // empty when the format can be used
};

// Parses a format (UTF-8). The placeholders are %title% %artist% %album% %year% %genre%
// %comment% %track% and %name%, in lower case; "%%" is one "%". Any other %word% and text that
// is not UTF-8 make an error.
NameFormat parseNameFormat(std::string_view format);

struct NameOptions
{
    platform::CodePage codePage = platform::tagCodePage();
    // Also replace \ : * ? " < > |, which FAT and exFAT names cannot hold.
    bool replaceFatCharacters = false;
};

// The file name (UTF-8 stem, then the old extension byte for byte) a text gives: "/",
// control and invisible characters (and with the option the FAT ones) become "_", leading and
// trailing spaces and dots go, and the name is cut after a whole character to 255 bytes with
// the extension kept. Empty when nothing is left before the extension.
std::string fileNameOf(
    std::string_view stem, std::string_view extension, bool replaceFatCharacters);

enum class NameState { Changes, Unchanged, Conflict, Refused };

// One file of a plan: its path, the path it is to get, and the file's identity when planned,
// so that a rename (and its undo) can tell that the name still names that file.
struct NamePlanRow
{
    std::string path;
    std::string newPath; // empty when refused
    NameState state = NameState::Refused;
    platform::PathMessage why; // why it is in conflict or refused, in the program's words
    dev_t device = 0;
    ino_t inode = 0;
    long long birth = 0; // the file's birth time (platform::birthTime), 0 when not told
};

struct NamePlan
{
    std::vector<NamePlanRow> rows;
    bool stopped = false; // the run was stopped: rows hold the files planned until then
};

// Plans the new name of each file from its tag, read fresh from the file. A file whose target
// is taken by another file (on disk, by another file of the batch, or being another file's
// old name) is in conflict; the rows are in the order of `paths`. Reports progress and
// stops between files when asked.
NamePlan planNamesFromTags(const std::vector<std::string> &paths, const NameFormat &format,
    const NameOptions &options, platform::IRunControl &control);

} // namespace fileops
