// File names made from tags on real files: what a format makes of a tag, which files may be
// renamed, and a rename run that never replaces a file.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include "fileops/namesfromtags.h"
#include "fileops/renamerun.h"
#include "tags/tagfile.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;
using fileops::NameState;
using testing_support::audioBytes;
using testing_support::listNames;
using testing_support::readBytes;
using testing_support::tagBytes;

namespace {

using Names = std::vector<std::string>;

class QuietControl final : public platform::IRunControl
{
};

// Records a run: the plan it was given and, at that moment, which old names were still there.
class RecordingRenameReport final : public fileops::IRenameReport
{
public:
    void aboutToRename(const std::vector<fileops::NamePlanRow> &plan) override
    {
        for (const fileops::NamePlanRow &row : plan)
            allThereBefore = allThereBefore && testing_support::exists(row.path);
        announced = plan.size();
    }
    void renamed(std::size_t index, const std::string &why) override
    {
        results.emplace_back(index, why);
    }

    bool allThereBefore = true;
    std::size_t announced = 0;
    std::vector<std::pair<std::size_t, std::string>> results;
};

// The paths the file layer says have changed.
class ToldPaths final : public tags::IWriteWatcher
{
public:
    ToldPaths() { tags::addWriteWatcher(*this); }
    ~ToldPaths() override { tags::removeWriteWatcher(*this); }
    void tagWritten(const std::string &path) override { paths.push_back(path); }
    Names paths;
};

fileops::NamePlan plan(const std::vector<std::string> &paths, const std::string &format)
{
    QuietControl control;
    const fileops::NameFormat parsed = fileops::parseNameFormat(format);
    EXPECT_EQ(parsed.error, "");
    return fileops::planNamesFromTags(paths, parsed, {platform::CodePage::Cp932, false}, control);
}

const std::string Aa = "\xE3\x81\x82"; // あ in UTF-8

std::string times(const std::string &text, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += text;
    return out;
}

TEST(NameFromText, ReplacesTrimsAndCutsKeepingTheExtension)
{
    struct Case
    {
        std::string stem, extension;
        bool fat;
        std::string expected;
    };
    const Case cases[] = {
        {"  ..Song. ", ".mp3", false, "Song.mp3"},
        {"AC/DC\x01", ".mp3", false, "AC_DC_.mp3"},
        {"x\xEE\x80\x80y\xC2\x85z", ".mp3", false, "x_y_z.mp3"}, // private use, C1 control
        {"a\xE2\x80\x8B"
         "b\xE2\x80\xAE"
         "c",
            ".mp3", false, "a_b_c.mp3"}, // zero width, override
        {"a:b?\"<>|*\\", ".mp3", true, "a_b_______.mp3"},
        {"a:b?", ".mp3", false, "a:b?.mp3"},
        {" . ", ".mp3", false, ""},
        {"t", ".\xFFmp3", false, "t.\xFFmp3"}, // the extension stays byte for byte
        {std::string(300, 'a'), ".mp3", false, std::string(251, 'a') + ".mp3"},
        {times(Aa, 100), ".mp3", false, times(Aa, 83) + ".mp3"}, // 249 bytes: a whole character
        {std::string(250, 'a') + " .b", ".mp3", false, std::string(250, 'a') + ".mp3"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(fileops::fileNameOf(c.stem, c.extension, c.fat), c.expected) << c.stem;
}

TEST(NameFormat, RefusesWhatItCannotFill)
{
    const std::pair<std::string, std::string> cases[] = {
        {"%artist% - %title%", ""},
        {"100%% %title%", ""},
        {"%titel%", "書式の %titel% は使えません"},
        {"%title", "書式の % が閉じていません"},
        {"\x83\x65", "書式に UTF-8 でない文字があります"},
    };
    for (const auto &[format, error] : cases)
        EXPECT_EQ(fileops::parseNameFormat(format).error, error) << format;
}

class NamePlanTest : public ::testing::Test
{
protected:
    std::string file(const std::string &name, const std::string &tag)
    {
        return tree.file("d/" + name, audioBytes(100) + tag);
    }
    testing_support::TempTree tree;
};

TEST_F(NamePlanTest, EveryStateOfABatch)
{
    struct Case
    {
        std::string name, tag;
        std::string newName; // "" when refused
        NameState state;
    };
    const std::string cp932Test = "\x83\x65\x83\x58\x83\x67";            // テスト
    const std::string utf8Test = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"; // テスト
    const Case cases[] = {
        {"a.mp3", tagBytes("Song"), "Song.mp3", NameState::Changes},
        {"b.mp3", tagBytes("Dup"), "Dup.mp3", NameState::Conflict},
        {"c.mp3", tagBytes("Dup"), "Dup.mp3", NameState::Conflict},
        {"d.mp3", tagBytes("Taken"), "Taken.mp3", NameState::Conflict},
        {"e.mp3", tagBytes("Q"), "Q.mp3", NameState::Conflict}, // another's present name
        {"Q.mp3", tagBytes("R"), "R.mp3", NameState::Changes},
        {"Same.MP3", tagBytes("Same"), "Same.MP3", NameState::Unchanged},
        {"g.mp3", audioBytes(128), "", NameState::Refused},  // no tag: empty name
        {"h.mp3", tagBytes("\x81"), "", NameState::Refused}, // a lone lead byte
        {"\x83\x65.mp3", tagBytes(cp932Test + "\xF0\x40" + "1"), utf8Test + "_1.mp3",
            NameState::Changes},
    };
    tree.file("d/Taken.mp3", "not in the batch");
    std::vector<std::string> paths;
    for (const Case &c : cases)
        paths.push_back(file(c.name, c.tag));
    const fileops::NamePlan result = plan(paths, "%title%");
    ASSERT_EQ(result.rows.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const fileops::NamePlanRow &row = result.rows[i];
        EXPECT_EQ(row.state, cases[i].state) << cases[i].name << ": " << row.why.withPathBytes();
        if (!cases[i].newName.empty()) {
            EXPECT_EQ(row.newPath, tree.path("d/" + cases[i].newName));
        }
        EXPECT_EQ(row.why.before.empty(),
            row.state == NameState::Changes || row.state == NameState::Unchanged);
    }
}

TEST_F(NamePlanTest, TrackAndOldNamePlaceholders)
{
    const std::string withTrack = tagBytes("T", "", "", "", std::string(28, ' ') + "\0\x03"s);
    const std::vector<std::string> paths
        = {file("\x83\x65.mp3", withTrack), file("x.mp2", tagBytes("T"))};
    const fileops::NamePlan result = plan(paths, "%track% %name%");
    EXPECT_EQ(result.rows[0].newPath, tree.path("d/03 \xE3\x83\x86.mp3"));
    EXPECT_EQ(result.rows[1].newPath, tree.path("d/x.mp2")); // no track: nothing before the name
    EXPECT_EQ(result.rows[1].state, NameState::Unchanged);
}

TEST_F(NamePlanTest, RenameRunNeverReplacesAFile)
{
    struct Case
    {
        const char *what;
        int renameat2Error; // 0: the call works
        int linkatError;
        std::string why; // of the first file, "" when renamed
    };
    const Case cases[] = {
        {"no-replace rename", 0, 0, ""},
        {"link then unlink", EINVAL, 0, ""},
        {"neither", EINVAL, EPERM, "ファイルへのアクセスが拒否されました"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testing_support::removeTree(tree.path("d"));
        const std::vector<std::string> paths
            = {file("a.mp3", tagBytes("One")), file("b.mp3", tagBytes("Two"))};
        const fileops::NamePlan result = plan(paths, "%title%");
        ASSERT_EQ(result.rows[1].state, NameState::Changes);

        // Another program takes the second name between the preview and the run.
        tree.file("d/Two.mp3", "late");
        testing_support::FaultyFileSystem fs;
        if (c.renameat2Error)
            fs.fail(testing_support::FaultyFileSystem::Call::Renameat2, c.renameat2Error);
        if (c.linkatError)
            fs.fail(testing_support::FaultyFileSystem::Call::Linkat, c.linkatError);
        const platform::ScopedFileSystem installed(fs);
        RecordingRenameReport report;
        const ToldPaths told;
        fileops::runRenames(result.rows, report);

        EXPECT_TRUE(report.allThereBefore);
        ASSERT_EQ(report.results.size(), 2u);
        EXPECT_EQ(report.results[0].second, c.why);
        // Where links fail too, that is what the taken name gets as well.
        EXPECT_EQ(report.results[1].second, c.linkatError ? c.why : "同じ名前のファイルがあります");
        EXPECT_EQ(readBytes(tree.path("d/Two.mp3")), "late");
        const Names renamed = {"One.mp3", "Two.mp3", "b.mp3"};
        const Names untouched = {"Two.mp3", "a.mp3", "b.mp3"};
        EXPECT_EQ(listNames(tree.path("d")), c.why.empty() ? renamed : untouched);
        const Names toldAfterRename = {paths[0], tree.path("d/One.mp3")};
        EXPECT_EQ(told.paths, c.why.empty() ? toldAfterRename : Names());
    }
}

TEST_F(NamePlanTest, RenameRefusesAFileReplacedSincePlanning)
{
    const std::vector<std::string> paths = {file("a.mp3", tagBytes("One"))};
    const fileops::NamePlan result = plan(paths, "%title%");
    const std::string other = file("other.mp3", tagBytes("Other"));
    ASSERT_EQ(std::rename(other.c_str(), paths[0].c_str()), 0);
    EXPECT_EQ(fileops::renameWithoutReplacing(result.rows[0]), fileops::NotThePlannedFile);
    EXPECT_EQ(listNames(tree.path("d")), Names {"a.mp3"});
}

} // namespace
