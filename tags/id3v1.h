#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tags {

// The ID3v1 tag block: the last 128 bytes of an audio file. Texts are bytes of the tag code page
// with no terminator and no length byte.
constexpr std::size_t BlockSize = 128;
using Block = std::array<char, BlockSize>;

struct FieldSpan
{
    std::size_t offset;
    std::size_t width;
};

constexpr FieldSpan HeaderSpan {0, 3};
constexpr FieldSpan TitleSpan {3, 30};
constexpr FieldSpan ArtistSpan {33, 30};
constexpr FieldSpan AlbumSpan {63, 30};
constexpr FieldSpan YearSpan {93, 4};
constexpr FieldSpan CommentSpan {97, 30};
constexpr std::size_t GenreOffset = 127;
constexpr char HeaderText[] = "TAG";

// The in-memory tag. After a read of a tagged file every text holds the full byte range
// of its field, padding and zero bytes included; nothing is trimmed at reading.
struct TTagRecord
{
    std::string Header;
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    std::uint8_t Genre = 255;

    bool operator==(const TTagRecord &other) const;
};

// The five texts of a tag, in the field order of the block.
enum class TextField { Title, Artist, Album, Year, Comment, Count };
constexpr std::size_t TextFieldCount = static_cast<std::size_t>(TextField::Count);
FieldSpan spanOf(TextField field);

// True when the block starts with "TAG" exactly (upper case).
bool isTagBlock(const Block &block);

// True when the block's last 32 bytes are an APE tag footer: "APETAGEX" and a version of
// 1000 or 2000 (little-endian). A file ending so ends with an APE tag, whose data may hold
// "TAG" 128 bytes before the end by chance.
bool endsWithApeFooter(const Block &block);

// True when a file's last 128 bytes are its ID3v1 tag: a tag block that is not the tail of
// an APE tag. Reading and writing decide by this alike.
bool isFileTag(const Block &tail);

// ID3v1.1: other taggers keep a track number in the comment's last two bytes, a zero byte
// (offset 125) and the number (126). The comment text of such a block is its first 28
// bytes; the record and the builders still treat the comment as 30 bytes.
constexpr std::size_t TrackCommentWidth = 28;
constexpr std::size_t TrackMarkOffset = CommentSpan.offset + TrackCommentWidth;
constexpr std::size_t TrackOffset = TrackMarkOffset + 1;

// True for a tag block whose byte 125 is zero and byte 126 is not.
bool hasTrackNumber(const Block &block);
bool hasTrackNumber(const TTagRecord &record);
// The track number of an ID3v1.1 tag, 0 for any other record.
std::uint8_t trackNumber(const TTagRecord &record);
// The comment as text: 28 bytes for an ID3v1.1 tag, else the whole field (untrimmed).
std::string commentText(const TTagRecord &record);

// The record of a block: its fields when it is a tag, else the empty record.
TTagRecord parseTag(const Block &block);

// Places a text into a field: its bytes while they last, then spaces; a longer text is cut
// after the field's width, by bytes (the cut may fall inside a double-byte character).
void placeText(Block &block, FieldSpan span, const std::string &text);

// What the tag editor writes: "TAG", the five texts placed, the genre code. Every byte of
// the block is set; nothing of an older tag survives.
struct CompleteTag
{
    std::array<std::string, TextFieldCount> texts;
    std::uint8_t genre = 255;
};
Block completeBlock(const CompleteTag &tag);

// What the bulk setting writes: per field keep, a new text, or erase.
struct TextChange
{
    enum class Kind { Keep, Set, Erase };
    Kind kind = Kind::Keep;
    std::string text;

    static TextChange keep() { return {}; }
    static TextChange set(std::string text) { return {Kind::Set, std::move(text)}; }
    static TextChange erase() { return {Kind::Erase, {}}; }
};
struct GenreChange
{
    enum class Kind { Keep, Set, Erase };
    Kind kind = Kind::Keep;
    std::uint8_t code = 255;
};
// An ID3v1.1 track number to set (1 to 255), or 0 to keep bytes 125 and 126 as they are.
struct TrackChange
{
    std::uint8_t number = 0;
};
struct TagMerge
{
    std::array<TextChange, TextFieldCount> texts;
    GenreChange genre;
    TrackChange track;
};

// True when the comment of the block leaves bytes 125 and 126 to a track number: both are
// padding (spaces or zeros), or they hold a track number already.
bool hasRoomForTrack(const Block &block);

// A block built from the file's present block (when it is a tag) with only the given
// fields changed; without a present tag it starts from 128 zero bytes, and a genre left
// alone is then 255 (no genre) rather than 0, which would name "Blues". A track number is
// set only where the merged comment leaves room for it: a comment of 29 or 30 bytes is never
// cut for one.
Block mergedBlock(const std::optional<Block> &presentTag, const TagMerge &merge);

// Keeps an ID3v1.1 track number through a write: when the block being replaced has one and
// the new block's comment leaves bytes 125 and 126 as padding (spaces or zeros), they get
// the zero and the track again, unless the new block sets a track of its own. A comment of 29
// or 30 bytes takes the whole field.
void keepTrackNumber(const Block &replaced, Block &block);

} // namespace tags
