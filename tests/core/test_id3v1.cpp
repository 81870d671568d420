#include <gtest/gtest.h>

#include <cstring>

#include "platform/bytetext.h"
#include "tags/id3v1.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;
using tags::Block;
using tags::TextChange;

namespace {

Block blockOf(const std::string &bytes)
{
    Block block {};
    std::memcpy(block.data(), bytes.data(), std::min(bytes.size(), block.size()));
    return block;
}

std::string bytesOf(const Block &block)
{
    return std::string(block.data(), block.size());
}

} // namespace

TEST(TagParse, TaggedBlockKeepsEveryByteOfItsFields)
{
    std::string bytes = testing_support::tagBytes("Song", "Artist", "Album", "1999", "", 17);
    bytes.replace(97, 30, "note"s + std::string(24, '\0') + "\0\x07"s); // track in bytes 28-29
    const tags::TTagRecord record = tags::parseTag(blockOf(bytes));
    EXPECT_EQ(record.Header, "TAG");
    EXPECT_EQ(record.Title, "Song" + std::string(26, ' '));
    EXPECT_EQ(record.Year, "1999");
    EXPECT_EQ(record.Comment.size(), 30u);
    EXPECT_EQ(record.Comment[29], '\x07');
    EXPECT_EQ(platform::trimmed(record.Comment), "note"); // 0x07 is a blank byte too
    EXPECT_EQ(record.Genre, 17);
}

TEST(TagParse, OnlyUpperCaseTagIsATag)
{
    for (const char *header : {"tag", "Tag", "TAg", "XYZ", "\0\0\0"}) {
        const tags::TTagRecord record
            = tags::parseTag(blockOf(std::string(header, 3) + std::string(125, 'x')));
        EXPECT_EQ(record, tags::TTagRecord()) << header;
        EXPECT_EQ(record.Genre, 255);
    }
}

TEST(TagRender, CompleteBlockPadsWithSpacesAndCutsByBytes)
{
    tags::CompleteTag tag;
    tag.texts = {"abc", std::string(31, 'T'), "\x82\xa0"s + std::string(27, 'x') + "\x82\xa0"s,
        "99", "12345"};
    tag.genre = 255;
    const std::string bytes = bytesOf(tags::completeBlock(tag));
    EXPECT_EQ(bytes.substr(0, 3), "TAG");
    EXPECT_EQ(bytes.substr(3, 30), "abc" + std::string(27, ' '));
    EXPECT_EQ(bytes.substr(33, 30), std::string(30, 'T'));
    // A 31-byte album is cut after 30 bytes, inside its last double-byte character.
    EXPECT_EQ(bytes.substr(63, 30), "\x82\xa0"s + std::string(27, 'x') + "\x82"s);
    EXPECT_EQ(bytes.substr(93, 4), "99  ");
    EXPECT_EQ(bytes.substr(97, 30), "12345" + std::string(25, ' '));
    EXPECT_EQ(static_cast<unsigned char>(bytes[127]), 255);
}

TEST(TagRender, ParsedTagRendersBackToTheSameBytes)
{
    const std::string original = testing_support::tagBytes("T", "A", "L", "2001", "C", 3);
    const tags::TTagRecord record = tags::parseTag(blockOf(original));
    tags::CompleteTag tag {
        {record.Title, record.Artist, record.Album, record.Year, record.Comment}, record.Genre};
    EXPECT_EQ(bytesOf(tags::completeBlock(tag)), original);
}

TEST(TagMerge, KeepsEveryByteItDoesNotChange)
{
    std::string old = testing_support::tagBytes("Title", "Artist", "Album", "1999", "Comment", 8);
    old[20] = '\0'; // zero-padded by another program
    tags::TagMerge merge;
    merge.texts[static_cast<int>(tags::TextField::Year)] = TextChange::set("2002");
    const std::string merged = bytesOf(tags::mergedBlock(blockOf(old), merge));
    std::string expected = old;
    expected.replace(93, 4, "2002");
    EXPECT_EQ(merged, expected);
}

TEST(TagMerge, EraseMarksAndGenre)
{
    const std::string old = testing_support::tagBytes("Title", "Artist", "Album", "1999", "C", 8);
    tags::TagMerge merge;
    merge.texts[static_cast<int>(tags::TextField::Comment)] = TextChange::erase();
    merge.texts[static_cast<int>(tags::TextField::Title)] = TextChange::set("   ");
    merge.genre.kind = tags::GenreChange::Kind::Erase;
    const std::string merged = bytesOf(tags::mergedBlock(blockOf(old), merge));
    EXPECT_EQ(merged.substr(97, 30), std::string(30, ' '));
    EXPECT_EQ(merged.substr(3, 30), std::string(30, ' '));
    EXPECT_EQ(merged.substr(33, 30), old.substr(33, 30));
    EXPECT_EQ(static_cast<unsigned char>(merged[127]), 255);

    tags::TagMerge setGenre;
    setGenre.genre = {tags::GenreChange::Kind::Set, 0};
    EXPECT_EQ(tags::mergedBlock(blockOf(old), setGenre)[127], 0);
}

TEST(TagMerge, WithoutATagStartsFromZeroBytesAndNoGenre)
{
    tags::TagMerge merge;
    merge.texts[0] = TextChange::set("New");
    const std::string merged = bytesOf(tags::mergedBlock(std::nullopt, merge));
    EXPECT_EQ(merged.substr(0, 33), "TAGNew" + std::string(27, ' '));
    EXPECT_EQ(merged.substr(33, 94), std::string(94, '\0'));
    EXPECT_EQ(static_cast<unsigned char>(merged[127]), 255);
    // A present block that is not a tag counts as none.
    EXPECT_EQ(bytesOf(tags::mergedBlock(blockOf(std::string(128, 'x')), merge)), merged);
}

TEST(TagParse, Id3v11TrackIsNoPartOfTheCommentText)
{
    const struct
    {
        std::string commentField; // bytes 97..126
        std::uint8_t track;
        std::string text;
    } cases[] = {
        // Byte 125 zero and byte 126 not: a track number, whatever byte 126 would read as.
        {"note"s + std::string(24, '\0') + "\0\x07"s, 7, "note"s + std::string(24, '\0')},
        {std::string(28, ' ') + "\0A"s, 65, std::string(28, ' ')},
        {std::string(28, 'c') + "\0!"s, 33, std::string(28, 'c')},
        // Anything else is a comment of 30 bytes.
        {"note"s + std::string(26, '\0'), 0, "note"s + std::string(26, '\0')},
        {std::string(29, 'c') + "\x07"s, 0, std::string(29, 'c') + "\x07"s},
        {std::string(28, 'c') + " \x07"s, 0, std::string(28, 'c') + " \x07"s},
    };
    for (const auto &c : cases) {
        std::string bytes = testing_support::tagBytes("Song");
        bytes.replace(97, 30, c.commentField);
        const tags::TTagRecord record = tags::parseTag(blockOf(bytes));
        EXPECT_EQ(record.Comment, c.commentField); // the record keeps all 30 bytes
        EXPECT_EQ(tags::hasTrackNumber(blockOf(bytes)), c.track != 0);
        EXPECT_EQ(tags::hasTrackNumber(record), c.track != 0);
        EXPECT_EQ(tags::trackNumber(record), c.track);
        EXPECT_EQ(tags::commentText(record), c.text);
    }
    EXPECT_EQ(tags::commentText(tags::TTagRecord()), "");
    EXPECT_EQ(tags::trackNumber(tags::TTagRecord()), 0);
}

TEST(TagRender, TrackNumberIsKeptWhileTheNewCommentLeavesItsBytesAsPadding)
{
    std::string replaced = testing_support::tagBytes("Song", "", "", "", "Ripped");
    replaced.replace(125, 2, "\0\x09"s);
    const auto commentAfter = [&](const std::string &replacedBytes, std::string newComment) {
        tags::CompleteTag tag;
        tag.texts[static_cast<int>(tags::TextField::Comment)] = std::move(newComment);
        Block block = tags::completeBlock(tag);
        tags::keepTrackNumber(blockOf(replacedBytes), block);
        return bytesOf(block).substr(97, 30);
    };
    EXPECT_EQ(commentAfter(replaced, ""), std::string(28, ' ') + "\0\x09"s);
    EXPECT_EQ(commentAfter(replaced, std::string(28, 'c')), std::string(28, 'c') + "\0\x09"s);
    // Zero padding counts as padding too (a merge keeping a zero-padded field).
    EXPECT_EQ(commentAfter(replaced, "c"s + std::string(29, '\0')),
        "c"s + std::string(27, '\0') + "\0\x09"s);
    // A comment that needs byte 125 or 126 takes the whole field.
    EXPECT_EQ(commentAfter(replaced, std::string(29, 'c')), std::string(29, 'c') + " ");
    EXPECT_EQ(commentAfter(replaced, std::string(30, 'c')), std::string(30, 'c'));
    EXPECT_EQ(commentAfter(replaced, std::string(28, 'c') + " d"), std::string(28, 'c') + " d");
    // A new block with a track of its own keeps it.
    EXPECT_EQ(
        commentAfter(replaced, std::string(28, 'c') + "\0\x03"s), std::string(28, 'c') + "\0\x03"s);
    // Nothing to keep when the replaced block has no track number or is no tag.
    EXPECT_EQ(commentAfter(testing_support::tagBytes("Song"), ""), std::string(30, ' '));
    std::string notTag = replaced;
    notTag[0] = 't';
    EXPECT_EQ(commentAfter(notTag, ""), std::string(30, ' '));
}
