#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "editing/tagwriter.h"
#include "platform/error.h"
#include "platform/runcontrol.h"
#include "platform/textcodec.h"
#include "tags/id3v1.h"

namespace editing {

// Tags read from file and folder names: a pattern such as "%artist%/%album%/%track% %title%"
// matched against the last components of each file's path, planned before anything is
// written.

// The text fields in the order of tags::TextField, then the rest.
enum class NameField { Title, Artist, Album, Year, Comment, Genre, Track, Skip };

// How messages and the preview name a field: "Title", "Artist", ..., "Genre", "Track".
const char *captionOf(NameField field);

struct NamePatternPiece
{
    bool isField = false;
    NameField field = NameField::Skip;
    std::string text; // the literal text (UTF-8) of a piece that is not a field
};

// A pattern parsed into literal texts and placeholders, or the message saying what is wrong
// with it.
struct NamePattern
{
    std::vector<NamePatternPiece> pieces;
    std::size_t components = 1; // the path's trailing components it matches: one per "/", + 1
    std::string error;          // empty when the pattern can be used
};

// Parses a pattern (UTF-8): placeholders %title% %artist% %album% %year% %comment% %genre%
// %track% and %skip% (matches and discards), "%%" for one "%". An unknown placeholder, two
// placeholders with nothing between them (nothing would tell where the first ends) and a
// pattern without placeholders make an error.
NamePattern parseNamePattern(std::string_view pattern);

// What one field of a file gets.
struct FieldFromName
{
    NameField field;
    std::string text;  // UTF-8, as written (after a cut)
    std::string bytes; // in the code page; for the track its number's one byte
    bool isTruncated = false;
};

enum class FromNameState { Matches, NoMatch, Refused };

struct FromNameRow
{
    std::string path;
    FromNameState state = FromNameState::NoMatch;
    platform::PathMessage why; // why it is refused, or "一致しません"
    std::vector<FieldFromName> fields;
    tags::TagMerge merge; // what a matching file's tag gets; fields not in the pattern kept
};

struct FromNamePlan
{
    std::vector<FromNameRow> rows;
    bool stopped = false; // the run was stopped: rows hold the files planned until then
};

// Matches the pattern against each path decoded as the list shows it (the last component
// without its extension). Placeholders take the shortest text up to the next literal text,
// trimmed of spaces; a text longer than its field is cut after a whole character and marked
// truncated; a text the code page cannot hold, a track that is not 1 to 255 and a genre not
// in the table (names compared without regard to ASCII case) refuse the file, as does a track
// where the comment takes bytes 125 and 126.
FromNamePlan planTagsFromNames(const std::vector<std::string> &paths, const NamePattern &pattern,
    platform::CodePage codePage, platform::IRunControl &control);

// Told of each file of the run as it ends.
class IFromNameReport : public platform::IRunControl
{
public:
    // Row `index` of the plan has its tag now (`why` empty) or has not, and why.
    virtual void written(std::size_t index, const platform::PathMessage &why) = 0;
};

// Writes the merge of each matching row through the writer, as one batch named
// "ファイル名からタグ". A file that fails is reported and the run goes on. False when the
// writer declined the batch (nothing written).
bool runTagsFromNames(
    const std::vector<FromNameRow> &rows, ITagWriter &writer, IFromNameReport &report);

} // namespace editing
