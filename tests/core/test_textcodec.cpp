#include <gtest/gtest.h>

#include <tuple>

#include "platform/textcodec.h"
#include "tests/support/codepage.h"

using namespace std::string_literals;

namespace {

const std::string Mark = "\xEF\xBF\xBD";

std::string cp932ToUtf8(std::string_view bytes)
{
    return platform::decodeText(platform::CodePage::Cp932, bytes);
}

std::optional<std::string> utf8ToCp932(std::string_view utf8)
{
    return platform::encodeText(platform::CodePage::Cp932, utf8);
}

} // namespace

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

TEST(TextCodec, EachCodePageRoundTripsItsOwnText)
{
    using platform::CodePage;
    const std::pair<CodePage, std::pair<std::string, std::string>> cases[] = {
        {CodePage::Cp932, {"日本語の歌", "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x89\xcc"s}},
        {CodePage::Cp1252,
            {"Café über €",
                "Caf\xe9 \xfc"
                "ber \x80"s}},
        {CodePage::Cp1251, {"Кино", "\xca\xe8\xed\xee"s}},
        {CodePage::Cp936, {"中文歌曲", "\xd6\xd0\xce\xc4\xb8\xe8\xc7\xfa"s}},
        {CodePage::Cp949, {"한국어", "\xc7\xd1\xb1\xb9\xbe\xee"s}},
        {CodePage::Cp950, {"中文", "\xa4\xa4\xa4\xe5"s}},
        {CodePage::Utf8, {"Björk 日本", "Bj\xc3\xb6rk \xe6\x97\xa5\xe6\x9c\xac"s}},
    };
    for (const auto &[codePage, texts] : cases) {
        const auto &[text, bytes] = texts;
        EXPECT_EQ(platform::encodeText(codePage, text), bytes) << platform::codePageName(codePage);
        EXPECT_EQ(platform::decodeText(codePage, bytes), text) << platform::codePageName(codePage);
        EXPECT_EQ(platform::codePageOfName(platform::codePageName(codePage)), codePage);
        EXPECT_EQ(platform::codePageOfNumber(static_cast<long>(codePage)), codePage);
    }
    EXPECT_FALSE(platform::codePageOfNumber(1250));
    EXPECT_FALSE(platform::codePageOfName("latin1"));
    // What one code page cannot hold, another can.
    EXPECT_FALSE(platform::encodeText(CodePage::Cp1252, "日本"));
    EXPECT_FALSE(platform::encodeText(CodePage::Cp1251, "é"));
    // Bytes a code page leaves undefined, and broken UTF-8, show one Mark per byte.
    EXPECT_EQ(platform::decodeText(CodePage::Cp1252, "a\x81z"s), "a" + Mark + "z");
    EXPECT_EQ(
        platform::decodeText(CodePage::Utf8, "a\xe6\x97z\xff"s), "a" + Mark + Mark + "z" + Mark);
}

TEST(TextCodec, TagTextsFollowTheChosenCodePage)
{
    const std::string western = "Mot\xf6rhead Bj\xf6rk Gu\xf0mundsd\xf3ttir"s;
    {
        const testing_support::CodePageScope scope(platform::CodePage::Cp1252);
        EXPECT_EQ(platform::tagTextToUtf8(western), "Motörhead Björk Guðmundsdóttir");
        EXPECT_EQ(platform::utf8ToTagText("Crème brûlée"),
            "Cr\xe8me br\xfbl\xe9"
            "e"s);
    }
    // Under CP932 the pairs fall into the user-defined area: private-use characters, shown
    // as Marks, one for both bytes of each.
    EXPECT_EQ(platform::tagTextToUtf8("\xf0\x40"s), "\xEE\x80\x80");
    EXPECT_EQ(platform::withInvisibleMarked(platform::tagTextToUtf8(western)),
        "Mot▯head Bj▯k Gu▯undsd▯tir");
    EXPECT_EQ(platform::withInvisibleMarked("a\x01\x7f\xc2\x85z日"), "a▯▯▯z日");
}

TEST(TextCodec, FileNamesFallBackToTheChosenCodePage)
{
    EXPECT_EQ(platform::fileNameToUtf8("/m/Caf\xe9.mp3"s), "/m/Caf" + Mark + ".mp3");
    {
        const testing_support::CodePageScope scope(platform::CodePage::Cp1252);
        EXPECT_EQ(platform::fileNameToUtf8("/m/Caf\xe9/\x95\x5c.mp3"s), "/m/Café/•\\.mp3");
    }
    {
        // Under UTF-8 nothing is left to fall back to.
        const testing_support::CodePageScope scope(platform::CodePage::Utf8);
        EXPECT_EQ(platform::fileNameToUtf8("/m/\x95\x5c/曲.mp3"s), "/m/" + Mark + "\\/曲.mp3");
    }
}

TEST(TextCodec, EveryInvisibleCharacterShowsAsOneMark)
{
    using platform::CodePage;
    const std::tuple<CodePage, std::string, std::string> cases[] = {
        {CodePage::Utf8, "abc\u202Edef\xff", "abc▯def▯"}, // an override, an undecodable byte
        {CodePage::Cp1252, "co\xadop", "co▯op"},          // a soft hyphen
        {CodePage::Cp932, "\xf0\x40x", "▯x"},             // a user-defined pair is one mark
    };
    for (const auto &[codePage, bytes, shown] : cases) {
        const testing_support::CodePageScope scope(codePage);
        EXPECT_EQ(platform::shownTagText(bytes), shown);
    }
    // A path the same way, name by name: a newline never breaks a line.
    EXPECT_EQ(platform::shownPath("/m/\x83\x74\x83\x48\x83\x8b\x83\x5f/a\nb.mp3"s),
        "/m/フォルダ/a▯b.mp3");
}
