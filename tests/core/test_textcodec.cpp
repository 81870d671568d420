#include <gtest/gtest.h>

#include "platform/textcodec.h"

using namespace std::string_literals;
using platform::cp932ToUtf8;
using platform::utf8ToCp932;

TEST(TextCodec, DecodesTheMicrosoftTable)
{
    EXPECT_EQ(cp932ToUtf8("\x82\xa0\x88\x9f"s), "あ亜");
    EXPECT_EQ(cp932ToUtf8("\x81\x60"s), "～"); // U+FF5E, not U+301C
    EXPECT_EQ(cp932ToUtf8("\x87\x40"s), "①");
    EXPECT_EQ(cp932ToUtf8("\xfb\xfc"s), "髙");
    EXPECT_EQ(cp932ToUtf8("\\~"), "\\~"); // ASCII, not yen sign and overline
    EXPECT_EQ(cp932ToUtf8("\xb1"s), "ｱ"); // half-width katakana
}

TEST(TextCodec, EncodesTheMicrosoftTableAndTheOneWayMappings)
{
    EXPECT_EQ(utf8ToCp932("あ亜"), "\x82\xa0\x88\x9f"s);
    EXPECT_EQ(utf8ToCp932("～"), "\x81\x60"s);
    EXPECT_EQ(utf8ToCp932("〜"), "\x81\x60"s); // U+301C as input methods type it
    EXPECT_EQ(utf8ToCp932("−"), "\x81\x7c"s);  // U+2212
    EXPECT_EQ(utf8ToCp932("①"), "\x87\x40"s);
    EXPECT_EQ(utf8ToCp932("髙"), "\xfb\xfc"s);
    EXPECT_EQ(utf8ToCp932("\\~"), "\\~"s);
}

TEST(TextCodec, DuplicateCodesDecodeAlikeAndEncodeToOneOfThem)
{
    // ￢ has a JIS row (81 CA) and an IBM row (EE F9); ∵ has three (81 E6, 87 9A, FA 5B).
    EXPECT_EQ(cp932ToUtf8("\x81\xca"s), "￢");
    EXPECT_EQ(cp932ToUtf8("\xee\xf9"s), "￢");
    EXPECT_EQ(cp932ToUtf8("\xfa\x5b"s), "∵");
    EXPECT_EQ(cp932ToUtf8("\x87\x9a"s), "∵");
    EXPECT_EQ(utf8ToCp932("￢"), "\x81\xca"s);
    // So decode-then-encode is not the identity for every valid input.
    EXPECT_NE(utf8ToCp932(cp932ToUtf8("\xee\xf9"s)), "\xee\xf9"s);
}

TEST(TextCodec, InvalidBytesShowAsReplacementAndDecodingGoesOn)
{
    const std::string mark = "\xEF\xBF\xBD";
    EXPECT_EQ(cp932ToUtf8("a\x81"s), "a" + mark);      // lead byte at the end
    EXPECT_EQ(cp932ToUtf8("\x81\x20z"s), mark + " z"); // trail byte out of range
    EXPECT_EQ(cp932ToUtf8("\xa0x"s), mark + "x");      // not a lead byte
    EXPECT_EQ(cp932ToUtf8("\xff\x82\xa0"s), mark + "あ");
    EXPECT_EQ(cp932ToUtf8("ab\0cd"s), "ab\0cd"s); // zero bytes pass through
}

TEST(TextCodec, EncodingRefusesWhatCp932CannotHold)
{
    EXPECT_FALSE(utf8ToCp932("é"));
    EXPECT_FALSE(utf8ToCp932("a😀b"));
    EXPECT_FALSE(utf8ToCp932("\xEF\xBF\xBD")); // a replacement mark
    EXPECT_FALSE(utf8ToCp932("\xff"s));        // not UTF-8 at all
    EXPECT_EQ(utf8ToCp932(""), "");
}

TEST(TextCodec, FileNamesNotUtf8ButCp932AreShownAsCp932NameByName)
{
    // "表" and "ソ" end in a backslash byte in CP932; "曲名" in CP932 beside UTF-8 names.
    EXPECT_EQ(platform::fileNameToUtf8("\x95\x5c"s), "表");
    EXPECT_EQ(
        platform::fileNameToUtf8("/music/\x83\x5c\x83\x93\x83\x4f.mp3"s), "/music/ソング.mp3");
    EXPECT_EQ(platform::fileNameToUtf8("/音楽/\x8b\xc8\x96\xbc/曲.mp3"s), "/音楽/曲名/曲.mp3");
    // A name valid as neither keeps its valid UTF-8 and shows each other byte as U+FFFD;
    // the names around it are still decoded on their own.
    EXPECT_EQ(platform::fileNameToUtf8("/\x8b\xc8/曲\xff/a"s), "/曲/曲\xEF\xBF\xBD/a");
    EXPECT_EQ(platform::fileNameToUtf8("\x80.mp3/"s), "\xEF\xBF\xBD.mp3/");
    EXPECT_EQ(platform::fileNameToUtf8("//\x95\x5c//"s), "//表//");
}

TEST(TextCodec, FileNamesShowValidUtf8AsItIs)
{
    EXPECT_EQ(platform::fileNameToUtf8("曲.mp3"), "曲.mp3");
    EXPECT_EQ(platform::fileNameToUtf8("\xff\xfe.mp3"s), "\xEF\xBF\xBD\xEF\xBF\xBD.mp3");
    EXPECT_EQ(
        platform::fileNameToUtf8("\xff\xfe/a/\xff"s), "\xEF\xBF\xBD\xEF\xBF\xBD/a/\xEF\xBF\xBD");
    EXPECT_FALSE(platform::isValidUtf8("\xed\xa0\x80"s)); // a surrogate
    EXPECT_FALSE(platform::isValidUtf8("\xc0\xaf"s));     // overlong
}
