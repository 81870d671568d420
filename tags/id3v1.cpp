#include "tags/id3v1.h"

#include <algorithm>
#include <cstring>

namespace tags {

bool TTagRecord::operator==(const TTagRecord &other) const
{
    return Header == other.Header && Title == other.Title && Artist == other.Artist
        && Album == other.Album && Year == other.Year && Comment == other.Comment
        && Genre == other.Genre;
}

FieldSpan spanOf(TextField field)
{
    switch (field) {
    case TextField::Title:
        return TitleSpan;
    case TextField::Artist:
        return ArtistSpan;
    case TextField::Album:
        return AlbumSpan;
    case TextField::Year:
        return YearSpan;
    case TextField::Comment:
    case TextField::Count:
        break;
    }
    return CommentSpan;
}

bool isTagBlock(const Block &block)
{
    return std::memcmp(block.data(), HeaderText, HeaderSpan.width) == 0;
}

bool endsWithApeFooter(const Block &block)
{
    constexpr std::size_t FooterOffset = BlockSize - 32;
    constexpr char Preamble[] = "APETAGEX";
    if (std::memcmp(block.data() + FooterOffset, Preamble, 8) != 0)
        return false;
    std::uint32_t version = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(block[FooterOffset + 8 + i]);
        version |= static_cast<std::uint32_t>(byte) << (8 * i);
    }
    return version == 1000 || version == 2000;
}

bool isFileTag(const Block &tail)
{
    return isTagBlock(tail) && !endsWithApeFooter(tail);
}

bool hasTrackNumber(const Block &block)
{
    return isTagBlock(block) && block[TrackMarkOffset] == '\0' && block[TrackOffset] != '\0';
}

bool hasTrackNumber(const TTagRecord &record)
{
    const std::string &comment = record.Comment;
    return comment.size() == CommentSpan.width && comment[TrackCommentWidth] == '\0'
        && comment[TrackCommentWidth + 1] != '\0';
}

std::uint8_t trackNumber(const TTagRecord &record)
{
    if (!hasTrackNumber(record))
        return 0;
    return static_cast<std::uint8_t>(record.Comment[TrackCommentWidth + 1]);
}

std::string commentText(const TTagRecord &record)
{
    if (hasTrackNumber(record))
        return record.Comment.substr(0, TrackCommentWidth);
    return record.Comment;
}

namespace {

std::string fieldText(const Block &block, FieldSpan span)
{
    return std::string(block.data() + span.offset, span.width);
}

} // namespace

TTagRecord parseTag(const Block &block)
{
    TTagRecord record;
    if (!isTagBlock(block))
        return record;
    record.Header = fieldText(block, HeaderSpan);
    record.Title = fieldText(block, TitleSpan);
    record.Artist = fieldText(block, ArtistSpan);
    record.Album = fieldText(block, AlbumSpan);
    record.Year = fieldText(block, YearSpan);
    record.Comment = fieldText(block, CommentSpan);
    record.Genre = static_cast<std::uint8_t>(block[GenreOffset]);
    return record;
}

void placeText(Block &block, FieldSpan span, const std::string &text)
{
    const std::size_t used = std::min(text.size(), span.width);
    std::memcpy(block.data() + span.offset, text.data(), used);
    std::memset(block.data() + span.offset + used, ' ', span.width - used);
}

Block completeBlock(const CompleteTag &tag)
{
    Block block {};
    std::memcpy(block.data(), HeaderText, HeaderSpan.width);
    for (std::size_t i = 0; i < TextFieldCount; ++i)
        placeText(block, spanOf(static_cast<TextField>(i)), tag.texts[i]);
    block[GenreOffset] = static_cast<char>(tag.genre);
    return block;
}

Block mergedBlock(const std::optional<Block> &presentTag, const TagMerge &merge)
{
    const bool hasTag = presentTag && isTagBlock(*presentTag);
    Block block {};
    if (hasTag)
        block = *presentTag;
    else
        block[GenreOffset] = static_cast<char>(255);
    std::memcpy(block.data(), HeaderText, HeaderSpan.width);
    for (std::size_t i = 0; i < TextFieldCount; ++i) {
        const TextChange &change = merge.texts[i];
        const FieldSpan span = spanOf(static_cast<TextField>(i));
        if (change.kind == TextChange::Kind::Set)
            placeText(block, span, change.text);
        else if (change.kind == TextChange::Kind::Erase)
            placeText(block, span, std::string());
    }
    if (merge.genre.kind == GenreChange::Kind::Set)
        block[GenreOffset] = static_cast<char>(merge.genre.code);
    else if (merge.genre.kind == GenreChange::Kind::Erase)
        block[GenreOffset] = static_cast<char>(255);
    if (merge.track.number != 0 && hasRoomForTrack(block)) {
        block[TrackMarkOffset] = '\0';
        block[TrackOffset] = static_cast<char>(merge.track.number);
    }
    return block;
}

namespace {

bool isPadding(char c)
{
    return c == ' ' || c == '\0';
}

} // namespace

bool hasRoomForTrack(const Block &block)
{
    return hasTrackNumber(block)
        || (isPadding(block[TrackMarkOffset]) && isPadding(block[TrackOffset]));
}

void keepTrackNumber(const Block &replaced, Block &block)
{
    // Track 32 is a space byte after the zero: a block that has a track keeps its own.
    if (hasTrackNumber(replaced) && !hasTrackNumber(block) && isPadding(block[TrackMarkOffset])
        && isPadding(block[TrackOffset])) {
        block[TrackMarkOffset] = '\0';
        block[TrackOffset] = replaced[TrackOffset];
    }
}

} // namespace tags
