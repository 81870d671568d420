#include <gtest/gtest.h>

#include "search/searchmatch.h"

using namespace std::string_literals;

namespace {

lists::Row row(const std::string &path, const std::string &title, const std::string &artist = {},
    const std::string &album = {}, const std::string &year = {}, const std::string &genre = {})
{
    lists::Row r;
    r.subItem(lists::SubItem::Path) = path;
    r.subItem(lists::SubItem::Title) = title;
    r.subItem(lists::SubItem::Artist) = artist;
    r.subItem(lists::SubItem::Album) = album;
    r.subItem(lists::SubItem::Year) = year;
    r.subItem(lists::SubItem::Genre) = genre;
    return r;
}

const std::vector<lists::Row> rows = {
    row("/music/pop/a.mp3", "LOVE SONG", "Ann", "First", "1999", "Pop"),
    row("/music/rock/b.mp3", "Glove", "Bob", "Second", "2009", "Rock"),
    row("/music/rock/c.mp3", "\x88\xa4\x82\xcc\x89\xcc"s, "Ann", "Second", "", "Rock"),
    row("/other/d.mp3", "Nothing", "", "", "2020", ""),
};

std::vector<bool> matched(search::Conditions c)
{
    return search::Matcher(c).matchAll(rows);
}

} // namespace

TEST(SearchMatch, EmptyConditionsMatchNothingWithOrAndEverythingWithAnd)
{
    search::Conditions c;
    EXPECT_EQ(matched(c), std::vector<bool>(4, false));
    c.allMustMatch = true;
    EXPECT_EQ(matched(c), std::vector<bool>(4, true));
    EXPECT_TRUE(search::Matcher(c).matchAll({}).empty());
}

TEST(SearchMatch, TextConditionsAreFoldedSubstrings)
{
    search::Conditions c;
    c.text(tags::TextField::Title) = "love"; // ASCII case folded: LOVE SONG and Glove
    EXPECT_EQ(matched(c), (std::vector<bool> {true, true, false, false}));
    c.allMustMatch = true;
    EXPECT_EQ(matched(c), (std::vector<bool> {true, true, false, false}));
    c = {};
    c.text(tags::TextField::Year)
        = "9"; // Year is a substring test like the others; an empty Year never matches
    EXPECT_EQ(matched(c), (std::vector<bool> {true, true, false, false}));
    c = {};
    c.text(tags::TextField::Title) = " "; // a box of spaces is a condition
    EXPECT_EQ(matched(c), (std::vector<bool> {true, false, false, false}));
    c = {};
    c.fileName = "ROCK"; // a folder name matches through the path
    EXPECT_EQ(matched(c), (std::vector<bool> {false, true, true, false}));
    c = {};
    c.text(tags::TextField::Title) = "\x88\xa4"s; // Shift-JIS bytes of a Japanese condition
    EXPECT_EQ(matched(c), (std::vector<bool> {false, false, true, false}));
    c.text(tags::TextField::Title)
        = "\x88\xc4"s; // only ASCII letters fold: no match inside double-byte text
    EXPECT_EQ(matched(c), (std::vector<bool> {false, false, false, false}));
}

TEST(SearchMatch, AndNeedsEveryFilledConditionAndGenreIsExact)
{
    search::Conditions c;
    c.text(tags::TextField::Artist) = "ann";
    c.text(tags::TextField::Album) = "second";
    EXPECT_EQ(matched(c), (std::vector<bool> {true, true, true, false}));
    c.allMustMatch = true;
    EXPECT_EQ(matched(c), (std::vector<bool> {false, false, true, false}));
    c = {};
    c.genre = "Rock";
    EXPECT_EQ(matched(c), (std::vector<bool> {false, true, true, false}));
    c.allMustMatch = true;
    EXPECT_EQ(matched(c), (std::vector<bool> {false, true, true, false}));
    c.genre = "rock";
    EXPECT_EQ(matched(c), std::vector<bool>(4, false));
}

TEST(SearchMatch, ConditionThatCannotBeEncodedMatchesNoRow)
{
    search::Conditions c;
    c.text(tags::TextField::Title) = std::nullopt;
    EXPECT_EQ(matched(c), std::vector<bool>(4, false));
    c.allMustMatch = true;
    EXPECT_EQ(matched(c), std::vector<bool>(4, false));
}
