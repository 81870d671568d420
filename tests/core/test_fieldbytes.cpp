#include <gtest/gtest.h>

#include <random>

#include "editing/fieldbytes.h"
#include "tests/support/codepage.h"

using namespace std::string_literals;
using editing::FieldBytes;
using editing::Refusal;

namespace {

constexpr char32_t Mark = editing::InvisibleMark;

// The field's text with the characters of `text` inserted at `at`, and the cursor behind them.
FieldBytes::EditResult insert(FieldBytes &field, std::size_t at, const std::u32string &text)
{
    std::u32string edited = field.text();
    edited.insert(at, text);
    return field.apply(edited, at + text.size());
}

// The field's text with `count` characters removed at `at`, the cursor where they were.
FieldBytes::EditResult remove(FieldBytes &field, std::size_t at, std::size_t count)
{
    std::u32string edited = field.text();
    edited.erase(at, count);
    return field.apply(edited, at);
}

} // namespace

TEST(FieldBytes, SplitsBytesIntoCharactersWithOneMarkPerInvalidByte)
{
    const auto chars = editing::tagChars("a\x82\xa0\xff\x82"
                                         "a\xb1\xfd"s);
    ASSERT_EQ(chars.size(), 6u);
    EXPECT_EQ(chars[0], (editing::FieldChar {U'a', "a"}));
    EXPECT_EQ(chars[1], (editing::FieldChar {U'あ', "\x82\xa0"s}));
    EXPECT_EQ(chars[2], (editing::FieldChar {Mark, "\xff"s}));
    EXPECT_EQ(chars[3],
        (editing::FieldChar {U'Ｂ',
            "\x82"
            "a"s})); // 82 61 is one character
    EXPECT_EQ(chars[4], (editing::FieldChar {U'ｱ', "\xb1"s}));
    EXPECT_EQ(chars[5], (editing::FieldChar {Mark, "\xfd"s}));
    // A lead byte at the end has no trail: a mark.
    EXPECT_EQ(editing::tagChars("x\x82"s).back(), (editing::FieldChar {Mark, "\x82"s}));
}

TEST(FieldBytes, ShowsUpToTheFirstZeroAndKeepsEveryByteUntilEdited)
{
    FieldBytes field(30);
    const std::string stored = "Short\0ld Long Title Residue!"s;
    field.setOriginal(stored);
    EXPECT_EQ(field.text(), U"Short");
    EXPECT_EQ(field.bytes(), stored);
    EXPECT_FALSE(field.isTouched());
    remove(field, 4, 1);
    EXPECT_EQ(field.bytes(), "Shor");
    // Typing the character back gives what the field shows, not the bytes after the zero.
    insert(field, 4, U"t");
    EXPECT_EQ(field.bytes(), "Short");
}

TEST(FieldBytes, MarksKeepTheirBytesAndTheRemovedOneIsTheOneAtTheCursor)
{
    FieldBytes field(30);
    field.setOriginal("\xa0\xfd"
                      "b"s);
    EXPECT_EQ(field.text(), (std::u32string {Mark, Mark, U'b'}));
    // Backspace behind the first mark: the text is the same as for the second, the cursor
    // tells which went.
    EXPECT_EQ(remove(field, 0, 1).refusal, Refusal::None);
    EXPECT_EQ(field.bytes(),
        "\xfd"
        "b"s);
    field.setOriginal("\xa0\xfd"
                      "b"s);
    remove(field, 1, 1);
    EXPECT_EQ(field.bytes(),
        "\xa0"
        "b"s);
    // Typing and deleting again leaves every byte as it was.
    field.setOriginal("\xa0x\xfd"s);
    insert(field, 1, U"z");
    remove(field, 1, 1);
    EXPECT_EQ(field.bytes(), "\xa0x\xfd"s);
    // A character typed between equal marks lands at the cursor.
    field.setOriginal("\xa0\xa0"s);
    insert(field, 1, U"q");
    EXPECT_EQ(field.bytes(), "\xa0q\xa0"s);
}

TEST(FieldBytes, UndoBringingBackAMarkGetsItsByteBack)
{
    FieldBytes field(30);
    field.setOriginal("a\xff"
                      "b\xfe"s);
    remove(field, 1, 1); // the line edit's undo then gives back the text with the mark
    const std::u32string before {U'a', Mark, U'b', Mark};
    EXPECT_EQ(field.apply(before, 2).refusal, Refusal::None);
    EXPECT_EQ(field.bytes(),
        "a\xff"
        "b\xfe"s);
    // A mark that is no earlier state's is refused like any character CP932 cannot hold.
    const auto pasted = insert(field, 0, std::u32string {Mark});
    EXPECT_EQ(pasted.refusal, Refusal::Unencodable);
    EXPECT_EQ(pasted.text, before);
}

TEST(FieldBytes, RefusesControlAndUnencodableCharactersKeepingTheRest)
{
    FieldBytes field(30);
    field.setOriginal("");
    auto result = insert(field, 0,
        U"a\tb\nc\x7f"
        U"d");
    EXPECT_EQ(result.refusal, Refusal::Control);
    EXPECT_EQ(result.text, U"abcd");
    EXPECT_EQ(result.cursor, 4u);
    result = insert(field, 4, U" Café 😀ok");
    EXPECT_EQ(result.refusal, Refusal::Unencodable);
    EXPECT_EQ(field.bytes(), "abcd Caf ok");
    // 〜 as input methods type it (U+301C) is held, by the one-way mapping.
    result = insert(field, 0, U"〜");
    EXPECT_EQ(result.refusal, Refusal::None);
    EXPECT_EQ(field.bytes(),
        "\x81\x60"
        "abcd Caf ok"s);
}

TEST(FieldBytes, LimitCountsWrittenBytesMarksIncludedAndCutsOnAWholeCharacter)
{
    // Two invalid bytes and five ASCII: 7 bytes, so 23 are left for a paste at the start.
    FieldBytes field(30);
    field.setOriginal("\xa0\xfd"
                      "Live!"s);
    const auto result = insert(field, 0, std::u32string(20, U'あ'));
    EXPECT_EQ(result.refusal, Refusal::TooLong);
    EXPECT_EQ(result.cursor, 11u);
    std::string expected;
    for (int i = 0; i < 11; ++i)
        expected += "\x82\xa0";
    expected += "\xa0\xfd"
                "Live!";
    EXPECT_EQ(field.bytes(), expected);
    EXPECT_EQ(field.bytes().size(), 29u);
    // Full up to 29: a one-byte character still fits, a two-byte one no more.
    EXPECT_EQ(insert(field, 11, U"あ").refusal, Refusal::TooLong);
    EXPECT_EQ(insert(field, 11, U"x").refusal, Refusal::None);
    EXPECT_EQ(field.bytes().size(), 30u);

    FieldBytes year(4);
    year.setOriginal("");
    EXPECT_EQ(insert(year, 0, U"2024年").text, U"2024");
}

TEST(FieldBytes, RefusesAnEditThatJoinsAKeptLeadByteIntoAnotherCharacter)
{
    // 82 60 is "Ａ": a kept lone 82 followed by a typed "`" would read so on disk.
    FieldBytes field(30);
    field.setOriginal("x\x82"s);
    auto result = insert(field, 2, U"`a ");
    EXPECT_EQ(result.refusal, Refusal::Joins);
    EXPECT_EQ(result.text, (std::u32string {U'x', Mark, U' '}));
    EXPECT_EQ(field.bytes(), "x\x82 "s);
    // Removing what keeps a lone 82 apart from "a" (82 61 is "Ｂ") is undone.
    field.setOriginal("\x82 a"s);
    result = remove(field, 1, 1);
    EXPECT_EQ(result.refusal, Refusal::Joins);
    EXPECT_EQ(result.text, (std::u32string {Mark, U' ', U'a'}));
    EXPECT_EQ(field.bytes(), "\x82 a"s);
    EXPECT_FALSE(field.isTouched());
}

TEST(FieldBytes, RefusalTextsNameTheLimitAndTheTrackNumber)
{
    EXPECT_EQ(editing::refusalText(Refusal::TooLong, 30, editing::LimitNote::None),
        "30 バイトを超える分は入力できません");
    EXPECT_NE(editing::refusalText(Refusal::TooLong, 28, editing::LimitNote::TrackNumber)
                  .find("トラック番号"),
        std::string::npos);
    EXPECT_EQ(editing::refusalText(Refusal::Unencodable, 30, editing::LimitNote::None),
        "シフト JIS で表せない文字は入力できません");
    const testing_support::CodePageScope scope(platform::CodePage::Cp1251);
    EXPECT_EQ(editing::refusalText(Refusal::Unencodable, 30, editing::LimitNote::None),
        "Windows-1251 で表せない文字は入力できません");
}

TEST(FieldBytes, CharactersAndLimitsFollowTheChosenCodePage)
{
    {
        // Ten three-byte characters fill a 30-byte field; the eleventh is cut.
        const testing_support::CodePageScope scope(platform::CodePage::Utf8);
        FieldBytes field(30);
        field.setOriginal("");
        const auto result = insert(field, 0, std::u32string(11, U'あ'));
        EXPECT_EQ(result.text, std::u32string(10, U'あ'));
        EXPECT_EQ(result.refusal, Refusal::TooLong);
        EXPECT_EQ(field.bytes().size(), 30u);
        // Four-byte characters are one character each; a broken sequence one mark per byte;
        // a mark is refused although UTF-8 could hold U+FFFD.
        EXPECT_EQ(editing::tagChars("\xf0\x9f\x8e\xb5\xe3\x81"s),
            (std::vector<editing::FieldChar> {
                {U'🎵', "\xf0\x9f\x8e\xb5"s}, {Mark, "\xe3"s}, {Mark, "\x81"s}}));
        field.setOriginal("");
        EXPECT_EQ(insert(field, 0, U"\xFFFD").refusal, Refusal::Unencodable);
    }
    {
        const testing_support::CodePageScope scope(platform::CodePage::Cp1252);
        FieldBytes field(30);
        field.setOriginal("Mot\xf6rhead"s);
        EXPECT_EQ(field.text(), U"Motörhead");
        EXPECT_EQ(insert(field, 9, U" €").refusal, Refusal::None);
        EXPECT_EQ(field.bytes(), "Mot\xf6rhead \x80"s);
        EXPECT_EQ(insert(field, 0, U"日").refusal, Refusal::Unencodable);
    }
}

TEST(FieldBytes, InvisibleCharactersAreOneMarkForAllTheirBytes)
{
    // Under CP932 a Windows-1252 text falls into the user-defined area: F6 72 is one
    // private-use character, one mark that writes both bytes and goes with both.
    constexpr char32_t Invisible = editing::InvisibleMark;
    FieldBytes field(30);
    field.setOriginal("Mot\xf6rhead\x01"s);
    EXPECT_EQ(field.text(), U"Mot"s + Invisible + U"head" + Invisible);
    EXPECT_EQ(field.chars()[3], (editing::FieldChar {Invisible, "\xf6r"s}));
    remove(field, 3, 1);
    EXPECT_EQ(field.bytes(), "Mothead\x01"s);
    // The mark cannot be typed, though CP932 has no use for U+25AF anyway.
    EXPECT_EQ(insert(field, 0, std::u32string(1, Invisible)).refusal, Refusal::Unencodable);
}

TEST(FieldBytes, AnyEditKeepsTheFieldWithinItsLimitAndReadableAsItShows)
{
    // Seeded random edits on fields of random bytes: whatever is typed, pasted or removed,
    // the bytes written stay within the limit, read back as the characters shown, and the
    // text shown is the one the edit result gives.
    std::mt19937 random(16);
    const std::u32string alphabet = U"a`!~ あ亜ｱ\t\x7f😀é〜";
    for (int round = 0; round < 300; ++round) {
        FieldBytes field(round % 3 ? 30 : 4);
        std::string original;
        // A field is filled with at most its width, as a tag block holds it.
        for (std::size_t i = random() % (field.maxBytes() + 1); i > 0; --i)
            original += static_cast<char>(random() % 256);
        field.setOriginal(original);
        for (int step = 0; step < 20; ++step) {
            std::u32string edited = field.text();
            const std::size_t at = random() % (edited.size() + 1);
            const std::size_t removed = random() % 3 == 0 ? random() % (edited.size() - at + 1) : 0;
            edited.erase(at, removed);
            std::u32string inserted;
            for (int i = random() % 8; i > 0; --i)
                inserted += alphabet[random() % alphabet.size()];
            edited.insert(at, inserted);
            const auto result = field.apply(edited, at + inserted.size());
            ASSERT_EQ(result.text, field.text());
            ASSERT_LE(result.cursor, result.text.size());
            if (!field.isTouched())
                continue;
            const std::string bytes = field.bytes();
            ASSERT_LE(bytes.size(), field.maxBytes());
            const auto read = editing::tagChars(bytes);
            ASSERT_EQ(read.size(), field.chars().size());
            for (std::size_t i = 0; i < read.size(); ++i)
                ASSERT_EQ(read[i].bytes, field.chars()[i].bytes);
        }
    }
}
