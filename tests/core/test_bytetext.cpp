#include <gtest/gtest.h>

#include "platform/bytetext.h"

using namespace std::string_literals;

TEST(ByteText, TrimRemovesBytesUpToSpaceAtBothEndsOnly)
{
    EXPECT_EQ(platform::trimmed("  Song  "), "Song");
    EXPECT_EQ(platform::trimmed("Song"s + std::string(26, '\0')), "Song");
    EXPECT_EQ(platform::trimmed("\x01\x1f\x20x\x20\x1f"s), "x");
    EXPECT_EQ(platform::trimmed(std::string(30, ' ')), "");
    EXPECT_EQ(platform::trimmed(""), "");
    // Bytes inside stay, zero bytes included; 0x21 and above are never trimmed.
    EXPECT_EQ(platform::trimmed("ab\0\0cd  "s), "ab\0\0cd"s);
    EXPECT_EQ(platform::trimmed("!x!"), "!x!");
    // Shift-JIS lead and trail bytes are above 0x20: a character is never cut.
    EXPECT_EQ(platform::trimmed(" \x82\xa0 "s), "\x82\xa0"s);
}

TEST(ByteText, AsciiFoldTouchesOnlyLowerCaseLetters)
{
    EXPECT_EQ(platform::asciiUpper("abcxyz ABC 09 `{"), "ABCXYZ ABC 09 `{");
    // A trail byte in the a-z range is folded too: the fold does not know characters.
    EXPECT_EQ(platform::asciiUpper("\x83\x61\xe0\xff"s), "\x83\x41\xe0\xff"s);
}
