// Tags read from file and folder names on real files: the pattern, what each file would get,
// and the run that writes it through the tag writer.

#include <gtest/gtest.h>

#include <unistd.h>

#include "editing/tagsfromnames.h"
#include "platform/paths.h"
#include "platform/scopeguard.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;
using editing::FromNameState;
using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::tagBytes;

namespace {

class QuietReport final : public editing::IFromNameReport
{
public:
    void written(std::size_t index, const platform::PathMessage &why) override
    {
        results.emplace_back(index, why.withPathBytes());
    }
    std::vector<std::pair<std::size_t, std::string>> results;
};

TEST(NamePattern, RefusesWhatCannotMatch)
{
    const std::pair<std::string, std::string> cases[] = {
        {"%artist%/%album%/%track% %title%", ""},
        {"%track%%title%", "パターンの項目と項目の間には区切りの文字が必要です"},
        {"%titel%", "パターンの %titel% は使えません"},
        {"%title", "パターンの % が閉じていません"},
        {"just text", "パターンに項目がありません"},
    };
    for (const auto &[pattern, error] : cases)
        EXPECT_EQ(editing::parseNamePattern(pattern).error, error) << pattern;
    EXPECT_EQ(editing::parseNamePattern("%artist%/%album%/%title%").components, 3u);
}

class FromNameTest : public ::testing::Test
{
protected:
    std::string file(const std::string &relative, const std::string &tag = {})
    {
        return tree.file(relative, audioBytes(100) + tag);
    }
    std::string tail(const std::string &path)
    {
        const std::string bytes = readBytes(path);
        return bytes.substr(bytes.size() - 128);
    }
    testing_support::TempTree tree;
};

TEST_F(FromNameTest, PlanAndWriteABatch)
{
    std::string kanji16; // 32 bytes in CP932
    for (int i = 0; i < 16; ++i)
        kanji16 += "\xE6\xBC\xA2"; // 漢
    const std::string longComment = tagBytes("", "", "", "", std::string(30, 'c'));
    const std::string track5
        = tagBytes("Old", "", "", "1999", std::string(28, ' ') + "\0\x05"s, 17);
    struct Case
    {
        std::string relative, tag;
        FromNameState state;
        std::string why, title;
        bool truncated;
        unsigned char track; // byte 126 after the run, 0: none
    };
    const Case cases[] = {
        {"Band/Album/01 Song.mp3", track5, FromNameState::Matches, "", "Song", false, 1},
        {"Band/Album/32  Spaced .mp3", track5, FromNameState::Matches, "", "Spaced", false, 32},
        {"Band/Album/02 " + kanji16 + ".mp3", "", FromNameState::Matches, "", kanji16.substr(0, 45),
            true, 2},
        {"Band/Album/notrack.mp3", "", FromNameState::NoMatch, "一致しません", "", false, 0},
        {"Band/Album/04 Long.mp3", longComment, FromNameState::Refused,
            "Comment が 28 バイトを超えているため、トラック番号を書けません", "", false, 0},
        {"Band/Album/300 Big.mp3", "", FromNameState::Refused,
            "トラック番号「300」は 1 から 255 の数ではありません", "", false, 0},
        {"Band/Album/05 \xE2\x82\xAC.mp3", "", FromNameState::Refused,
            "Title の「\xE2\x82\xAC」には Shift-JIS (CP932) で書けない文字があります", "", false,
            0},
    };
    std::vector<std::string> paths;
    for (const Case &c : cases)
        paths.push_back(file("m/" + c.relative, c.tag));
    platform::IRunControl control;
    const editing::FromNamePlan plan = editing::planTagsFromNames(paths,
        editing::parseNamePattern("%artist%/%album%/%track% %title%"), platform::CodePage::Cp932,
        control);
    ASSERT_EQ(plan.rows.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        const editing::FromNameRow &row = plan.rows[i];
        SCOPED_TRACE(c.relative);
        EXPECT_EQ(row.state, c.state);
        EXPECT_EQ(row.why.withPathBytes(), c.why);
        if (c.state != FromNameState::Matches) {
            EXPECT_TRUE(row.fields.empty());
            continue;
        }
        ASSERT_EQ(row.fields.size(), 4u); // artist, album, track, title
        EXPECT_EQ(row.fields[3].text, c.title);
        EXPECT_EQ(row.fields[3].isTruncated, c.truncated);
        EXPECT_LE(row.fields[3].bytes.size(), 30u);
    }

    std::vector<std::string> before;
    for (const std::string &path : paths)
        before.push_back(readBytes(path));
    editing::FileTagWriter writer;
    QuietReport report;
    ASSERT_TRUE(editing::runTagsFromNames(plan.rows, writer, report));
    EXPECT_EQ(report.results.size(), 3u);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(c.relative);
        if (c.state != FromNameState::Matches) {
            EXPECT_EQ(readBytes(paths[i]), before[i]);
            continue;
        }
        const std::string block = tail(paths[i]);
        EXPECT_EQ(block.substr(33, 4), "Band");
        EXPECT_EQ(block.substr(63, 5), "Album");
        EXPECT_EQ(block[125], '\0');
        EXPECT_EQ(static_cast<unsigned char>(block[126]), c.track);
        // What the pattern does not name is kept.
        EXPECT_EQ(block.substr(93, 4), c.tag.empty() ? std::string(4, '\0') : "1999");
    }
    EXPECT_EQ(tail(paths[0]).substr(3, 30), "Song" + std::string(26, ' '));
    EXPECT_EQ(static_cast<unsigned char>(tail(paths[0])[127]), 17);
}

// The companion is given paths as typed: relative ones, with "." and "..", take their folders
// from where they lead.
TEST_F(FromNameTest, RelativePathsMatchTheirFolders)
{
    file("Band/Album/01 Song.mp3");
    const std::string here = platform::absolutePath(".");
    ASSERT_EQ(::chdir(tree.path("Band/Album").c_str()), 0);
    const platform::ScopeGuard back([&here] { EXPECT_EQ(::chdir(here.c_str()), 0); });
    const std::vector<std::string> paths = {
        "01 Song.mp3", "./01 Song.mp3", "../Album/./01 Song.mp3", "../../Band/Album/01 Song.mp3"};
    platform::IRunControl control;
    const editing::FromNamePlan plan = editing::planTagsFromNames(paths,
        editing::parseNamePattern("%artist%/%album%/%track% %title%"), platform::CodePage::Cp932,
        control);
    ASSERT_EQ(plan.rows.size(), paths.size());
    for (const editing::FromNameRow &row : plan.rows) {
        SCOPED_TRACE(row.path);
        ASSERT_EQ(row.state, FromNameState::Matches);
        EXPECT_EQ(row.fields[0].text, "Band");
        EXPECT_EQ(row.fields[1].text, "Album");
    }
}

} // namespace
