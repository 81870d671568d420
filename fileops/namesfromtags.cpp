#include "fileops/namesfromtags.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "lists/columns.h"
#include "platform/bytetext.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "tags/genretable.h"
#include "tags/tagfile.h"

namespace fileops {

namespace {

constexpr std::size_t MaxNameBytes = 255;
constexpr char Replacement = '_';
constexpr char FatCharacters[] = "\\:*?\"<>|";

// The placeholder a word names: the tag columns by the companion's names for them ("title",
// "genre", ...), then the track and the old name.
std::optional<NamePart> placeholderNamed(std::string_view word)
{
    if (const std::optional<lists::Column> column = lists::columnNamed(word)) {
        switch (column.value()) {
        case lists::Column::Title:
            return NamePart::Title;
        case lists::Column::Artist:
            return NamePart::Artist;
        case lists::Column::Album:
            return NamePart::Album;
        case lists::Column::Year:
            return NamePart::Year;
        case lists::Column::Genre:
            return NamePart::Genre;
        case lists::Column::Comment:
            return NamePart::Comment;
        default:
            break; // "name" is the old name, not the list's column of it
        }
    }
    if (word == "track")
        return NamePart::Track;
    if (word == "name")
        return NamePart::Name;
    return std::nullopt;
}

// How a refusal names a text field: as the list's column headers do.
const char *captionOf(lists::Column column)
{
    return lists::columnSpec(column).caption;
}

bool isTrimmedFromName(char c)
{
    return c == ' ' || c == '.';
}

std::string_view withoutEdgeDotsAndSpaces(std::string_view text)
{
    while (!text.empty() && isTrimmedFromName(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isTrimmedFromName(text.back()))
        text.remove_suffix(1);
    return text;
}

bool needsReplacing(char32_t c, bool replaceFatCharacters)
{
    if (c == '/' || platform::isInvisible(c))
        return true;
    return replaceFatCharacters && c < 0x80 && c != 0
        && std::strchr(FatCharacters, static_cast<char>(c)) != nullptr;
}

// The text of a tag field as the list shows it: up to its first zero byte, trimmed.
std::string_view shownBytes(std::string_view field)
{
    return platform::trimmedView(field.substr(0, field.find('\0')));
}

bool hasReplacementCharacter(std::string_view utf8)
{
    return utf8.find("\xEF\xBF\xBD") != std::string_view::npos;
}

bool usesTag(const NameFormat &format)
{
    for (const NameFormatPiece &piece : format.pieces) {
        if (piece.part != NamePart::Text && piece.part != NamePart::Name)
            return true;
    }
    return false;
}

// The UTF-8 stem a format gives for one file, or the reason it cannot be made.
struct Expansion
{
    std::string stem;
    std::string why;
};

Expansion expand(const NameFormat &format, const tags::TTagRecord &record, std::string_view oldStem,
    platform::CodePage codePage)
{
    Expansion out;
    bool hasPlaceholder = false;
    bool filledOne = false;
    for (const NameFormatPiece &piece : format.pieces) {
        hasPlaceholder = hasPlaceholder || piece.part != NamePart::Text;
        const std::size_t before = out.stem.size();
        const auto filled = [&] { filledOne = filledOne || out.stem.size() != before; };
        std::string bytes;
        lists::Column column = lists::Column::FileName;
        switch (piece.part) {
        case NamePart::Text:
            out.stem += piece.text;
            continue;
        case NamePart::Name: {
            const std::string decoded = platform::fileNameToUtf8(oldStem);
            if (hasReplacementCharacter(decoded))
                return {{}, "元のファイル名に読めないバイトがあります"};
            out.stem += decoded;
            filled();
            continue;
        }
        case NamePart::Genre:
            out.stem += tags::GenreCodeToName(record.Genre);
            filled();
            continue;
        case NamePart::Track:
            if (const unsigned track = tags::trackNumber(record); track != 0) {
                char digits[4];
                std::snprintf(digits, sizeof digits, "%02u", track);
                out.stem += digits;
            }
            filled();
            continue;
        case NamePart::Title:
            bytes = record.Title;
            column = lists::Column::Title;
            break;
        case NamePart::Artist:
            bytes = record.Artist;
            column = lists::Column::Artist;
            break;
        case NamePart::Album:
            bytes = record.Album;
            column = lists::Column::Album;
            break;
        case NamePart::Year:
            bytes = record.Year;
            column = lists::Column::Year;
            break;
        case NamePart::Comment:
            bytes = tags::commentText(record);
            column = lists::Column::Comment;
            break;
        }
        const std::string decoded = platform::decodeText(codePage, shownBytes(bytes));
        if (hasReplacementCharacter(decoded))
            return {{},
                std::string(captionOf(column)) + " に " + platform::codePageTitle(codePage)
                    + " で読めないバイトがあります"};
        out.stem += decoded;
        filled();
    }
    // An untagged file would otherwise get the format's literal text alone, such as "-".
    if (hasPlaceholder && !filledOne)
        return {{}, "書式の項目がどれも空です"};
    return out;
}

struct Identity
{
    dev_t device;
    ino_t inode;
    nlink_t links;
};

std::optional<Identity> identityOf(const std::string &path)
{
    struct stat st;
    if (platform::fileSystem().stat(path.c_str(), &st, false) != 0)
        return std::nullopt;
    return Identity {st.st_dev, st.st_ino, st.st_nlink};
}

void markConflict(NamePlanRow &row, const char *why)
{
    row.state = NameState::Conflict;
    row.why = {why, {}, {}};
}

// Marks the files whose target is taken: by two files of the batch at once, by another file's
// present name in the batch, or by another file on disk. A file of the batch that is to move
// away still holds its name until it has moved: ordering such chains (and breaking cycles
// through temporary names) would leave names nobody asked for when a run stops half-way, so
// such a file is left in conflict and shows as a change in the next preview.
void markConflicts(std::vector<NamePlanRow> &rows)
{
    std::unordered_map<std::string, std::size_t> targets;
    std::unordered_set<std::string> oldPaths;
    for (const NamePlanRow &row : rows) {
        oldPaths.insert(row.path);
        if (row.state == NameState::Changes)
            ++targets[row.newPath];
    }
    for (NamePlanRow &row : rows) {
        if (row.state != NameState::Changes)
            continue;
        if (targets[row.newPath] > 1) {
            markConflict(row, "ほかのファイルも同じ名前になります");
        } else if (oldPaths.count(row.newPath) != 0) {
            markConflict(row, "ほかのファイルの今の名前です");
        } else if (const std::optional<Identity> target = identityOf(row.newPath)) {
            // The same file under a name that differs in case only (FAT) is renamed; another
            // name of a file with several links is not.
            const bool isSameFile
                = target->device == row.device && target->inode == row.inode && target->links == 1;
            if (!isSameFile)
                markConflict(row, "同じ名前のファイルがあります");
        }
    }
}

} // namespace

NameFormat parseNameFormat(std::string_view format)
{
    NameFormat out;
    if (!platform::isValidUtf8(format)) {
        out.error = "書式に UTF-8 でない文字があります";
        return out;
    }
    std::string literal;
    const auto flush = [&] {
        if (!literal.empty())
            out.pieces.push_back({NamePart::Text, std::move(literal)});
        literal.clear();
    };
    while (!format.empty()) {
        const std::size_t percent = format.find('%');
        literal += format.substr(0, percent);
        if (percent == std::string_view::npos)
            break;
        const std::size_t close = format.find('%', percent + 1);
        if (close == std::string_view::npos) {
            out.error = "書式の % が閉じていません";
            return out;
        }
        const std::string_view word = format.substr(percent + 1, close - percent - 1);
        format.remove_prefix(close + 1);
        if (word.empty()) {
            literal += '%';
            continue;
        }
        const std::optional<NamePart> found = placeholderNamed(word);
        if (!found) {
            out.error = "書式の %" + std::string(word) + "% は使えません";
            return out;
        }
        flush();
        out.pieces.push_back({*found, {}});
    }
    flush();
    return out;
}

std::string fileNameOf(std::string_view stem, std::string_view extension, bool replaceFatCharacters)
{
    if (extension.size() >= MaxNameBytes)
        return {};
    std::string cleaned;
    cleaned.reserve(stem.size());
    while (!stem.empty()) {
        const std::size_t length = platform::utf8CharLength(stem);
        if (length == 0) {
            cleaned += Replacement;
            stem.remove_prefix(1);
            continue;
        }
        const std::string_view one = stem.substr(0, length);
        if (needsReplacing(platform::utf8CodePoint(one), replaceFatCharacters))
            cleaned += Replacement;
        else
            cleaned += one;
        stem.remove_prefix(length);
    }
    std::string_view kept = withoutEdgeDotsAndSpaces(cleaned);
    // Cut after the last whole character that fits beside the extension.
    const std::size_t room = MaxNameBytes - extension.size();
    if (kept.size() > room) {
        std::size_t end = 0;
        while (end < kept.size()) {
            const std::size_t length = platform::utf8CharLength(kept.substr(end));
            if (end + length > room)
                break;
            end += length;
        }
        kept = withoutEdgeDotsAndSpaces(kept.substr(0, end));
    }
    if (kept.empty())
        return {};
    return std::string(kept) + std::string(extension);
}

NamePlan planNamesFromTags(const std::vector<std::string> &paths, const NameFormat &format,
    const NameOptions &options, platform::IRunControl &control)
{
    NamePlan plan;
    plan.rows.reserve(paths.size());
    const bool readsTag = usesTag(format);
    std::unordered_set<std::string> seen;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (control.stopRequested()) {
            plan.stopped = true;
            break;
        }
        NamePlanRow &row = plan.rows.emplace_back();
        row.path = paths[i];
        control.progress({i + 1, paths.size(), row.path});
        if (!seen.insert(row.path).second) {
            row.why = {"同じファイルが 2 度あります", {}, {}};
            continue;
        }
        const std::optional<Identity> identity = identityOf(row.path);
        if (!identity) {
            row.why = platform::cannotOpenMessage(row.path);
            continue;
        }
        row.device = identity->device;
        row.inode = identity->inode;
        row.birth = platform::birthTime(row.path.c_str());
        tags::TTagRecord record;
        if (readsTag) {
            try {
                record = tags::ReadTag(row.path);
            } catch (const platform::Error &error) {
                row.why = error.message();
                continue;
            }
        }
        const std::string_view name = platform::fileNamePart(row.path);
        const std::string_view extension = platform::extensionPart(name);
        const Expansion expansion = expand(
            format, record, name.substr(0, name.size() - extension.size()), options.codePage);
        if (!expansion.why.empty()) {
            row.why = {expansion.why, {}, {}};
            continue;
        }
        const std::string newName
            = fileNameOf(expansion.stem, extension, options.replaceFatCharacters);
        if (newName.empty()) {
            row.why = {"新しい名前が空になります", {}, {}};
            continue;
        }
        row.newPath = row.path.substr(0, row.path.size() - name.size()) + newName;
        row.state = row.newPath == row.path ? NameState::Unchanged : NameState::Changes;
    }
    markConflicts(plan.rows);
    return plan;
}

} // namespace fileops
