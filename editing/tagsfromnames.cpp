#include "editing/tagsfromnames.h"

#include <algorithm>
#include <optional>

#include "lists/columns.h"
#include "platform/bytetext.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "tags/genretable.h"
#include "tags/tagfile.h"

namespace editing {

const char *captionOf(NameField field)
{
    // The tag's text fields are named as the lists' headers name them; the genre as itself
    // (the list's header reads "Genere").
    switch (field) {
    case NameField::Genre:
        return "Genre";
    case NameField::Track:
        return "Track";
    case NameField::Skip:
        return "";
    default:
        return lists::columnOf(static_cast<tags::TextField>(field)).caption;
    }
}

namespace {

// The placeholder a word names: the tag columns by the companion's names for them ("title",
// "genre", ...), then the track and %skip%.
std::optional<NameField> placeholderNamed(std::string_view word)
{
    if (const std::optional<lists::Column> column = lists::columnNamed(word)) {
        const lists::ColumnEntry &entry = lists::columnSpec(*column);
        if (entry.tagPart == lists::TagPart::Text)
            return static_cast<NameField>(entry.textField);
        if (entry.tagPart == lists::TagPart::Genre)
            return NameField::Genre;
    }
    if (word == "track")
        return NameField::Track;
    if (word == "skip")
        return NameField::Skip;
    return std::nullopt;
}

tags::TextField textFieldOf(NameField field)
{
    return static_cast<tags::TextField>(field);
}

std::string_view withoutEdgeSpaces(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// The path's last `count` components, decoded as the list shows them, the last one without
// its extension and joined by "/"; nothing when the path has fewer. The folders are those the
// path names: "." is passed over and ".." drops the folder before it.
std::optional<std::string> trailingComponents(std::string_view path, std::size_t count)
{
    std::string_view name = platform::fileNamePart(path);
    std::string joined = platform::fileNameToUtf8(
        name.substr(0, name.size() - platform::extensionPart(name).size()));
    path.remove_suffix(name.size());
    std::size_t up = 0;
    for (std::size_t i = 1; i < count;) {
        while (!path.empty() && path.back() == '/')
            path.remove_suffix(1);
        name = platform::fileNamePart(path);
        if (name.empty())
            return std::nullopt;
        path.remove_suffix(name.size());
        if (name == "..")
            ++up;
        else if (up > 0)
            --up;
        else if (name != ".") {
            joined = platform::fileNameToUtf8(name) + "/" + joined;
            ++i;
        }
    }
    return joined;
}

// The path as matched: a relative one (as the companion is given) is taken from the current
// folder, so that its folders take part as they do for the lists' absolute paths.
std::string matchedPath(const std::string &path)
{
    try {
        return platform::absolutePath(path);
    } catch (const platform::Error &) {
        return path;
    }
}

struct Capture
{
    NameField field;
    std::string_view text;
};

// The text each placeholder takes, or nothing when the text does not match the pattern.
std::optional<std::vector<Capture>> match(const NamePattern &pattern, std::string_view text)
{
    std::vector<Capture> captures;
    std::size_t at = 0;
    const std::vector<NamePatternPiece> &pieces = pattern.pieces;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const NamePatternPiece &piece = pieces[i];
        if (!piece.isField) {
            if (text.compare(at, piece.text.size(), piece.text) != 0)
                return std::nullopt;
            at += piece.text.size();
            continue;
        }
        // Parsing keeps a literal text after every placeholder but the last.
        const std::size_t end
            = i + 1 < pieces.size() ? text.find(pieces[i + 1].text, at) : text.size();
        if (end == std::string_view::npos)
            return std::nullopt;
        const std::string_view taken = text.substr(at, end - at);
        if (taken.find('/') != std::string_view::npos)
            return std::nullopt;
        captures.push_back({piece.field, taken});
        at = end;
    }
    if (at != text.size())
        return std::nullopt;
    return captures;
}

// The bytes of a text in the code page, cut after the last whole character that fits.
std::pair<std::string, std::string> cutToWidth(
    std::string_view utf8, platform::CodePage codePage, std::size_t width)
{
    std::string bytes;
    std::string kept;
    while (!utf8.empty()) {
        const std::size_t length = std::max<std::size_t>(platform::utf8CharLength(utf8), 1);
        const std::string one = *platform::encodeText(codePage, utf8.substr(0, length));
        if (bytes.size() + one.size() > width)
            break;
        bytes += one;
        kept += utf8.substr(0, length);
        utf8.remove_prefix(length);
    }
    return {bytes, kept};
}

bool hasInvisible(std::string_view utf8)
{
    while (!utf8.empty()) {
        const std::size_t length = std::max<std::size_t>(platform::utf8CharLength(utf8), 1);
        if (platform::isInvisible(platform::utf8CodePoint(utf8.substr(0, length))))
            return true;
        utf8.remove_prefix(length);
    }
    return false;
}

std::uint8_t genreCodeOf(std::string_view name)
{
    const std::string wanted = platform::asciiUpper(name);
    const tags::Genre *table = tags::genreTable();
    for (std::size_t i = 0; i < tags::GenreCount; ++i) {
        if (platform::asciiUpper(table[i].name) == wanted)
            return table[i].code;
    }
    return tags::NoGenre;
}

// Fills a matching row's fields and merge; gives why the file is refused, or "".
std::string fillFields(
    FromNameRow &row, const std::vector<Capture> &captures, platform::CodePage codePage)
{
    for (const Capture &capture : captures) {
        if (capture.field == NameField::Skip)
            continue;
        const std::string text(withoutEdgeSpaces(capture.text));
        const std::string caption = captionOf(capture.field);
        if (text.find("\xEF\xBF\xBD") != std::string::npos)
            return caption + " にするファイル名の部分に読めないバイトがあります";
        FieldFromName field {capture.field, text, {}, false};
        if (capture.field == NameField::Track) {
            const bool isNumber = !text.empty() && text.size() <= 3
                && std::all_of(
                    text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
            const int number = isNumber ? std::stoi(text) : 0;
            if (number < 1 || number > 255)
                return "トラック番号「" + text + "」は 1 から 255 の数ではありません";
            field.bytes = std::string(1, static_cast<char>(number));
            row.merge.track.number = static_cast<std::uint8_t>(number);
        } else if (capture.field == NameField::Genre) {
            const std::uint8_t code = genreCodeOf(text);
            if (code == tags::NoGenre && !text.empty())
                return "ジャンル「" + text + "」はジャンルの一覧にありません";
            field.bytes = text;
            row.merge.genre = {code == tags::NoGenre ? tags::GenreChange::Kind::Erase
                                                     : tags::GenreChange::Kind::Set,
                code};
        } else {
            const std::optional<std::string> bytes = platform::encodeText(codePage, text);
            if (!bytes || hasInvisible(text))
                return caption + " の「" + text + "」には " + platform::codePageTitle(codePage)
                    + " で書けない文字があります";
            const std::size_t width = tags::spanOf(textFieldOf(capture.field)).width;
            field.bytes = *bytes;
            if (bytes->size() > width) {
                std::tie(field.bytes, field.text) = cutToWidth(text, codePage, width);
                field.isTruncated = true;
            }
            row.merge.texts[static_cast<std::size_t>(capture.field)]
                = tags::TextChange::set(field.bytes);
        }
        // A field named twice must get the same text from both places.
        for (const FieldFromName &earlier : row.fields) {
            if (earlier.field == field.field && earlier.bytes != field.bytes)
                return caption + " が 2 か所で違います";
        }
        row.fields.push_back(std::move(field));
    }
    return {};
}

// Why a track number cannot be written into the file's tag, or nothing.
platform::PathMessage trackRefusal(const FromNameRow &row)
{
    tags::TTagRecord record;
    try {
        record = tags::ReadTag(row.path);
    } catch (const platform::Error &error) {
        return error.message();
    }
    std::optional<tags::Block> present;
    if (!record.Header.empty())
        present = tags::completeBlock(
            {{record.Title, record.Artist, record.Album, record.Year, record.Comment},
                record.Genre});
    tags::TagMerge texts = row.merge;
    texts.track = {};
    if (!tags::hasRoomForTrack(tags::mergedBlock(present, texts)))
        return {"Comment が 28 バイトを超えているため、トラック番号を書けません", {}, {}};
    return {};
}

} // namespace

NamePattern parseNamePattern(std::string_view pattern)
{
    NamePattern out;
    if (!platform::isValidUtf8(pattern)) {
        out.error = "パターンに UTF-8 でない文字があります";
        return out;
    }
    out.components = 1 + static_cast<std::size_t>(std::count(pattern.begin(), pattern.end(), '/'));
    bool hasField = false;
    const auto literal = [&](std::string_view text) {
        if (text.empty())
            return;
        if (out.pieces.empty() || out.pieces.back().isField)
            out.pieces.push_back({false, NameField::Skip, {}});
        out.pieces.back().text += text;
    };
    while (!pattern.empty()) {
        const std::size_t percent = pattern.find('%');
        literal(pattern.substr(0, percent));
        if (percent == std::string_view::npos)
            break;
        const std::size_t close = pattern.find('%', percent + 1);
        if (close == std::string_view::npos) {
            out.error = "パターンの % が閉じていません";
            return out;
        }
        const std::string_view word = pattern.substr(percent + 1, close - percent - 1);
        pattern.remove_prefix(close + 1);
        if (word.empty()) {
            literal("%");
            continue;
        }
        const std::optional<NameField> found = placeholderNamed(word);
        if (!found) {
            out.error = "パターンの %" + std::string(word) + "% は使えません";
            return out;
        }
        if (!out.pieces.empty() && out.pieces.back().isField) {
            out.error = "パターンの項目と項目の間には区切りの文字が必要です";
            return out;
        }
        out.pieces.push_back({true, *found, {}});
        hasField = true;
    }
    if (!hasField)
        out.error = "パターンに項目がありません";
    return out;
}

FromNamePlan planTagsFromNames(const std::vector<std::string> &paths, const NamePattern &pattern,
    platform::CodePage codePage, platform::IRunControl &control)
{
    FromNamePlan plan;
    plan.rows.reserve(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (control.stopRequested()) {
            plan.stopped = true;
            break;
        }
        FromNameRow &row = plan.rows.emplace_back();
        row.path = paths[i];
        control.progress({i + 1, paths.size(), row.path});
        const std::optional<std::string> text
            = trailingComponents(matchedPath(row.path), pattern.components);
        const std::optional<std::vector<Capture>> captures
            = text ? match(pattern, *text) : std::nullopt;
        if (!captures) {
            row.why = {"一致しません", {}, {}};
            continue;
        }
        row.why = {fillFields(row, *captures, codePage), {}, {}};
        if (row.why.before.empty() && row.merge.track.number != 0)
            row.why = trackRefusal(row);
        if (!row.why.before.empty()) {
            row.state = FromNameState::Refused;
            row.fields.clear();
            row.merge = {};
            continue;
        }
        row.state = FromNameState::Matches;
    }
    return plan;
}

bool runTagsFromNames(
    const std::vector<FromNameRow> &rows, ITagWriter &writer, IFromNameReport &report)
{
    const TagWriteBatch batch(writer, "ファイル名からタグ");
    if (!batch.started())
        return false;
    std::size_t total = 0;
    for (const FromNameRow &row : rows)
        total += row.state == FromNameState::Matches;
    std::size_t done = 0;
    for (std::size_t i = 0; i < rows.size() && !report.stopRequested(); ++i) {
        const FromNameRow &row = rows[i];
        if (row.state != FromNameState::Matches)
            continue;
        platform::PathMessage why;
        try {
            if (writer.write(row.path, row.merge) == tags::WriteOutcome::FileMissing)
                why = {"ファイルが見つかりません", {}, {}};
        } catch (const platform::Error &error) {
            why = error.message();
        }
        report.written(i, why);
        report.progress({++done, total, row.path});
    }
    return true;
}

} // namespace editing
