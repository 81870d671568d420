#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include <unistd.h>

#include "cli/clicommands.h"
#include "cli/clioptions.h"
#include "platform/bytetext.h"
#include "tags/tagfile.h"
#include "tests/support/faults.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;
using testing_support::audioBytes;
using testing_support::readBytes;
using testing_support::tagBytes;

namespace {

struct Result
{
    int status;
    std::string out;
    std::string err;
};

std::string quoted(const std::string &arg)
{
    std::string q = "'";
    for (const char c : arg)
        q += c == '\'' ? "'\\''"s : std::string(1, c);
    return q + "'";
}

class Cli : public ::testing::Test
{
protected:
    Result run(const std::vector<std::string> &args)
    {
        std::string command = BELLWICK_CLI_PATH;
        for (const std::string &arg : args)
            command += " " + quoted(arg);
        const std::string out = tree.path("out.txt"), err = tree.path("err.txt");
        // The undo journal of the companion goes to the test's own folder. A walk that does
        // not end fails the test instead of hanging it.
        const std::string environment = "env XDG_STATE_HOME=" + ::quoted(stateHome)
            + " XDG_CACHE_HOME=" + ::quoted(cacheHome) + " ";
        const int raw = std::system(
            (environment + "timeout 60 " + command + " >" + out + " 2>" + err).c_str());
        return {WEXITSTATUS(raw), readBytes(out), readBytes(err)};
    }

    std::string music(const std::string &relative) { return tree.path("music/" + relative); }

    testing_support::TempTree tree;
    std::string stateHome = tree.path("state");
    std::string cacheHome = tree.path("cache");
};

} // namespace

TEST(CliEscaping, ControlBytesDelAndBackslashBecomeHex)
{
    std::string line;
    cli::appendEscaped(line, "a\tb\nc\\d\x7f\x01\xff"s);
    EXPECT_EQ(line, "a\\x09b\\x0ac\\x5cd\\x7f\\x01\xff"s);
}

TEST(CliOptions, ParsesCommandsAndRefusesWhatItDoesNotKnow)
{
    std::string error;
    auto options = cli::parseOptions({"set", "--title", "T", "--erase=comment", "a.mp3"}, error);
    ASSERT_TRUE(options);
    EXPECT_EQ(*cli::textOption(*options, "title"), "T");
    EXPECT_EQ(options->erase, std::vector<std::string> {"comment"});
    EXPECT_EQ(options->arguments, std::vector<std::string> {"a.mp3"});
    for (const std::vector<std::string> &bad : {std::vector<std::string> {}, {"frobnicate"},
             {"scan", "--title", "x", "d"}, {"set", "--erase", "name", "f"}, {"set", "--title"},
             {"scan", "--desc=1", "d"}, {"show", "--and", "f"}}) {
        error.clear();
        EXPECT_FALSE(cli::parseOptions(bad, error));
        EXPECT_FALSE(error.empty());
    }
    options = cli::parseOptions({"show", "--", "--odd.mp3"}, error);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->arguments, std::vector<std::string> {"--odd.mp3"});
}

TEST_F(Cli, ScanPrintsRowsInScanOrderAndSortsStably)
{
    tree.file("music/b.mp3", audioBytes(300) + tagBytes("Zed", "\x93\xfa\x96\x7b", "", "1999"));
    tree.file("music/a.mp3", audioBytes(300) + tagBytes("alpha", "Tab\there", "", "", "", 17));
    tree.file("music/sub/c.MP2", audioBytes(50));
    tree.file("music/notes.txt", "x");
    Result r = run({"scan", music("")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
        "a.mp3\talpha\tTab\\x09here\t\t\tRock\t\t" + music("a.mp3") + "\n"
            + "b.mp3\tZed\t日本\t\t1999\t\t\t" + music("b.mp3") + "\n" + "c.MP2\t\t\t\t\t\t\t"
            + music("sub/c.MP2") + "\n");
    r = run({"scan", "--sort", "title", "--desc", music("")});
    EXPECT_EQ(r.out.substr(0, 6), "b.mp3\t");
    // Blank titles come last descending; equal rows keep scan order.
    EXPECT_NE(r.out.find("c.MP2"), std::string::npos);
    EXPECT_GT(r.out.find("c.MP2"), r.out.find("a.mp3"));
}

TEST_F(Cli, ScanFollowsTheWalkRulesAndEndsOnTheSystemsPseudoFileSystems)
{
    tree.file("music/sub/c.MP2", audioBytes(50));
    tree.symlink("music/again", "sub");
    tree.symlink("music/sub/up", "..");
    Result r = run({"scan", music("")});
    EXPECT_EQ(r.out, "c.MP2\t\t\t\t\t\t\t" + music("again/c.MP2") + "\n"); // first path met
    // A walk into the whole disk would outlast the test's time-out.
    for (const char *folder : {"/sys", "/proc"}) {
        r = run({"scan", folder});
        EXPECT_EQ(r.status, 0) << folder << ": " << r.err;
    }
}

TEST_F(Cli, UsageErrorsDoNothingAndSayWhy)
{
    const std::string file = tree.file("music/a.mp3", audioBytes(300));
    for (const std::vector<std::string> &args :
        {std::vector<std::string> {"scan", tree.path("nowhere")}, {"scan", file},
            {"set", "--genre", "Blue", file}, {"set", "--title", std::string(31, 'x'), file},
            {"set", "--title", "é", file}, {"write", "--year", "20001", file},
            {"set", "--album", "日本語のとても長いタイトルですね", file}, // 32 bytes
            {"rename", file}, {"rename", "--format", "%titel%", file},
            {"fromname", "--pattern", "%title%%artist%", file}, {"fromname", "--fat", file},
            {"bogus"}}) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(readBytes(file), audioBytes(300));
    const Result tooLong = run({"set", "--title", std::string(31, 'x'), file});
    EXPECT_NE(tooLong.err.find("title"), std::string::npos);
    EXPECT_NE(tooLong.err.find("31"), std::string::npos);
}

TEST_F(Cli, SetMergesAndStopsAtTheMissingFile)
{
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i)
        files.push_back(tree.file("music/" + std::to_string(i) + ".mp3",
            audioBytes(200, i) + tagBytes("T", "Keep", "", "", "Old", 8)));
    const std::string missing = files[2];
    ::unlink(missing.c_str());
    std::vector<std::string> args = {
        "set", "--title", "新曲", "--year", "2024", "--erase", "comment", "--comment", "ignored"};
    args.insert(args.end(), files.begin(), files.end());
    const Result r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ファイルが開けません"), std::string::npos);
    EXPECT_NE(r.err.find(missing), std::string::npos);
    for (int i : {0, 1}) {
        const std::string bytes = readBytes(files[i]);
        std::string expected
            = audioBytes(200, i) + tagBytes("\x90\x56\x8b\xc8", "Keep", "", "2024", "", 8);
        EXPECT_EQ(bytes, expected) << i;
    }
    for (int i : {3, 4})
        EXPECT_EQ(
            readBytes(files[i]), audioBytes(200, i) + tagBytes("T", "Keep", "", "", "Old", 8));
}

TEST_F(Cli, WriteShowAndGenres)
{
    const std::string file = tree.file("music/odd\\name.wav", audioBytes(100));
    Result r = run({"write", "--title", "A", "--genre", "Blues", file});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readBytes(file), audioBytes(100) + tagBytes("A", "", "", "", "", 0));
    r = run({"show", file, tree.path("music/gone.mp3")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.out, "odd\\x5cname.wav\tA\t\t\t\tBlues\t\t" + tree.path("music/odd\\x5cname.wav") + "\n");
    EXPECT_NE(
        r.err.find("ファイル " + tree.path("music/gone.mp3") + " は開けません"), std::string::npos);
    r = run({"genres"});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 148);
    EXPECT_EQ(r.out.substr(0, 15), "123\tA Cappella\n");
}

TEST_F(Cli, SearchPrintsWhatTheConditionalSearchSelects)
{
    tree.file("music/pop/a.mp3", audioBytes(100) + tagBytes("LOVE SONG", "Ann", "", "1999"));
    tree.file("music/rock/b.mp3", audioBytes(100) + tagBytes("Glove", "Bob", "", "2009", "", 17));
    tree.file("music/rock/c.mp3", audioBytes(100) + tagBytes("\x88\xa4", "Ann"));
    Result r = run({"search", "--title", "love", music("")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    r = run({"search", "--and", "--name", "rock", "--artist", "ann", music("")});
    EXPECT_EQ(r.out.substr(0, 6), "c.mp3\t");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    r = run({"search", "--title", "愛", music("")});
    EXPECT_EQ(r.out.substr(0, 6), "c.mp3\t");
    r = run({"search", "--genre", "Rock", music("")});
    EXPECT_EQ(r.out.substr(0, 6), "b.mp3\t");
    r = run({"search", music("")}); // no condition, OR: nothing
    EXPECT_EQ(r.out, "");
    r = run({"search", "--and", music("")}); // no condition, AND: everything
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
    r = run({"search", "--genre", "rock", music("")});
    EXPECT_EQ(r.status, 2);
}

namespace {

// An ID3v1.1 tag: the comment zero-padded, then a zero and the track.
std::string v11TagBytes(const std::string &comment, char track)
{
    std::string bytes = tagBytes("Song", "Artist", "Album", "1999", "", 17);
    bytes.replace(97, 30, comment + std::string(28 - comment.size(), '\0') + '\0' + track);
    return bytes;
}

} // namespace

TEST_F(Cli, SetAndWriteKeepAnId3v11TrackWhileTheCommentFitsIn28Bytes)
{
    const std::string audio = audioBytes(300);
    const auto tagAfter = [&](std::vector<std::string> args) {
        const std::string file = tree.file("music/a.mp3", audio + v11TagBytes("Rip", '\x0c'));
        args.push_back(file);
        const Result r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string bytes = readBytes(file);
        EXPECT_EQ(bytes.substr(0, audio.size()), audio);
        return bytes.substr(audio.size());
    };
    const auto withComment = [](const std::string &field) {
        std::string bytes = v11TagBytes("Rip", '\x0c');
        return bytes.replace(97, 30, field);
    };
    EXPECT_EQ(tagAfter({"set", "--comment", "新しい"}),
        withComment("\x90\x56\x82\xb5\x82\xa2"s + std::string(22, ' ') + "\0\x0c"s));
    EXPECT_EQ(
        tagAfter({"set", "--erase", "comment"}), withComment(std::string(28, ' ') + "\0\x0c"s));
    EXPECT_EQ(tagAfter({"set", "--comment", std::string(28, 'c')}),
        withComment(std::string(28, 'c') + "\0\x0c"s));
    std::string written = tagBytes("New", "", "", "", "", 255);
    written.replace(125, 2, "\0\x0c"s);
    EXPECT_EQ(tagAfter({"write", "--title", "New"}), written);
    // A comment of 29 or 30 bytes takes the track's bytes.
    EXPECT_EQ(tagAfter({"set", "--comment", std::string(29, 'c')}),
        withComment(std::string(29, 'c') + " "));
    EXPECT_EQ(tagAfter({"write", "--comment", std::string(30, 'c')}),
        tagBytes("", "", "", "", std::string(30, 'c')));
}

TEST_F(Cli, Id3v11TrackIsNoCommentTextInLinesSearchOrSort)
{
    // Tracks 65 and 33 would read as "A" and "!" if they were comment text.
    tree.file("music/a.mp3", audioBytes(100) + v11TagBytes("", 'A'));
    tree.file("music/b.mp3", audioBytes(100) + v11TagBytes("", '!'));
    tree.file("music/c.mp3", audioBytes(100) + tagBytes("Song", "", "", "", "B"));
    Result r = run({"scan", music("")});
    EXPECT_EQ(r.out,
        "a.mp3\tSong\tArtist\tAlbum\t1999\tRock\t\t" + music("a.mp3") + "\n"
            + "b.mp3\tSong\tArtist\tAlbum\t1999\tRock\t\t" + music("b.mp3") + "\n"
            + "c.mp3\tSong\t\t\t\t\tB\t" + music("c.mp3") + "\n");
    r = run({"search", "--comment", "A", music("")});
    EXPECT_EQ(r.out, "");
    r = run({"search", "--comment", "!", music("")});
    EXPECT_EQ(r.out, "");
    // Ascending, the blank comments come first in scan order; as text "!" would sort first.
    r = run({"scan", "--sort", "comment", music("")});
    EXPECT_LT(r.out.find("a.mp3"), r.out.find("b.mp3"));
    EXPECT_LT(r.out.find("b.mp3"), r.out.find("c.mp3"));
}

TEST_F(Cli, SetKeepsAFieldGivenAnEmptyTextAndOnlyEraseErases)
{
    std::string tag = tagBytes("Title", "", "Album", "1999", "Note", 17);
    tag.replace(33, 30, "Zero\0padded"s + std::string(19, '\0')); // as other taggers write
    const std::string file = tree.file("music/a.mp3", audioBytes(300) + tag);
    Result r = run({"set", "--artist", "", "--genre", "", "--comment=", "--year", "2024", file});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string expected = tag;
    expected.replace(93, 4, "2024");
    EXPECT_EQ(readBytes(file), audioBytes(300) + expected);

    // The last text given wins, an empty one too; --erase wins over any text.
    r = run({"set", "--title", "X", "--title", "", "--erase", "artist", "--artist", "Y", file});
    EXPECT_EQ(r.status, 0) << r.err;
    expected.replace(33, 30, std::string(30, ' '));
    EXPECT_EQ(readBytes(file), audioBytes(300) + expected);

    // write is a whole new tag: an empty text is empty, an empty genre is none.
    r = run({"write", "--title", "", "--genre", "", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(file), audioBytes(300) + tagBytes("", "", "", "", "", 255));
}

TEST_F(Cli, EncodingAppliesToEveryCommand)
{
    const std::pair<std::string, std::pair<std::string, std::string>> cases[] = {
        {"cp932", {"日本語の歌", "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x89\xcc"s}},
        {"cp1252",
            {"Café über",
                "Caf\xe9 \xfc"
                "ber"s}},
        {"cp1251", {"Кино", "\xca\xe8\xed\xee"s}},
        {"cp936", {"中文歌曲", "\xd6\xd0\xce\xc4\xb8\xe8\xc7\xfa"s}},
        {"cp949", {"한국어", "\xc7\xd1\xb1\xb9\xbe\xee"s}},
        {"cp950", {"中文", "\xa4\xa4\xa4\xe5"s}},
        {"utf-8", {"Björk", "Bj\xc3\xb6rk"s}},
    };
    for (const auto &[name, texts] : cases) {
        const auto &[text, bytes] = texts;
        const std::string file = tree.file("music/" + name + "/a.mp3", audioBytes(100));
        // write and set encode, show, scan and search decode and match in the same code page.
        Result r = run({"write", "--encoding", name, "--title", text, file});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(readBytes(file).substr(100 + 3, bytes.size()), bytes) << name;
        r = run({"set", "--encoding=" + name, "--artist", text, file});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(readBytes(file).substr(100 + 33, bytes.size()), bytes) << name;
        const std::string line = "a.mp3\t" + text + "\t" + text + "\t\t\t";
        r = run({"show", "--encoding", name, file});
        EXPECT_EQ(r.out.substr(0, line.size()), line) << name;
        r = run({"scan", "--encoding", name, music(name)});
        EXPECT_EQ(r.out.substr(0, line.size()), line) << name;
        r = run({"search", "--encoding", name, "--artist", text, music(name)});
        EXPECT_EQ(r.out.substr(0, line.size()), line) << name;
    }
    EXPECT_EQ(run({"genres", "--encoding", "utf-8"}).status, 0);
    // Without --encoding a Windows-1252 text is read as CP932: E9 20 is no character.
    EXPECT_EQ(run({"show", music("cp1252/a.mp3")}).out.substr(0, 13), "a.mp3\tCaf\xEF\xBF\xBD ");
}

TEST_F(Cli, EncodingNamesTheCodePageInUsageErrors)
{
    const std::string file = tree.file("music/a.mp3", audioBytes(100));
    Result r = run({"write", "--encoding", "cp1252", "--title", "日本", file});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Windows-1252 cannot hold"), std::string::npos) << r.err;
    r = run({"search", "--encoding", "cp1251", "--title", "é", music("")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Windows-1251 cannot hold"), std::string::npos) << r.err;
    // Under UTF-8 ten three-byte characters fill the 30 bytes; an eleventh does not fit.
    r = run({"write", "--encoding", "utf-8", "--title", "あいうえおかきくけこ", file});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run({"set", "--encoding", "utf-8", "--title", "あいうえおかきくけこさ", file});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("33 bytes in UTF-8"), std::string::npos) << r.err;
    r = run({"scan", "--encoding", "latin1", music("")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--encoding"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(file).substr(103, 30), "あいうえおかきくけこ");
}

TEST_F(Cli, HistoryUndoAndRedoOfSetAndWrite)
{
    const std::string tagged
        = tree.file("music/a.mp3", audioBytes(300, 1) + tagBytes("Song", "Old", "", "", "", 8));
    const std::string untagged = tree.file("music/b.mp3", audioBytes(300, 2));
    const std::string taggedBefore = readBytes(tagged), untaggedBefore = readBytes(untagged);
    ASSERT_EQ(run({"history"}).out, "");
    EXPECT_EQ(run({"undo"}).status, 2);

    ASSERT_EQ(run({"set", "--artist", "New", tagged, untagged}).status, 0);
    const std::string taggedSet = readBytes(tagged), untaggedSet = readBytes(untagged);
    ASSERT_EQ(run({"write", "--title", "Whole", tagged}).status, 0);

    Result r = run({"history"});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    const std::string first = r.out.substr(0, r.out.find('\n'));
    EXPECT_EQ(first.substr(0, 2), "2\t");
    EXPECT_NE(first.find("\tbellwick-cli write\t1 file\t"), std::string::npos) << first;
    EXPECT_NE(r.out.find("\tbellwick-cli set\t2 files\t\n"), std::string::npos) << r.out;

    r = run({"undo"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readBytes(tagged), taggedSet);
    r = run({"history", "1"});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    EXPECT_NE(r.out.find("bellwick-cli write\t1 file\tundone\n"), std::string::npos) << r.out;

    EXPECT_EQ(run({"undo"}).status, 0);
    EXPECT_EQ(readBytes(tagged), taggedBefore);
    EXPECT_EQ(readBytes(untagged), untaggedBefore);
    r = run({"undo"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("nothing to undo"), std::string::npos);

    EXPECT_EQ(run({"redo"}).status, 0);
    EXPECT_EQ(readBytes(tagged), taggedSet);
    EXPECT_EQ(readBytes(untagged), untaggedSet);

    // A file changed since is left alone, named, and the exit status says so.
    tree.file("music/b.mp3", untaggedSet + "more");
    r = run({"undo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(untagged), std::string::npos);
    EXPECT_EQ(readBytes(tagged), taggedBefore);
    EXPECT_EQ(readBytes(untagged), untaggedSet + "more");
}

TEST_F(Cli, HistoryMarksAgreeWithWhatUndoAndRedoTake)
{
    const std::string a = tree.file("music/a.mp3", audioBytes(300, 1));
    const std::string b = tree.file("music/b.mp3", audioBytes(300, 2));
    const std::string c = tree.file("music/c.mp3", audioBytes(300, 3));
    // The last field of each history line, newest first.
    const auto marks = [this] {
        std::vector<std::string> result;
        const std::string out = run({"history"}).out;
        for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
            result.push_back(out.substr(out.rfind('\t', end) + 1, end - out.rfind('\t', end) - 1));
        return result;
    };
    using Marks = std::vector<std::string>;
    ASSERT_EQ(run({"set", "--artist", "A", a}).status, 0);
    ASSERT_EQ(run({"set", "--artist", "B", b}).status, 0);
    tree.file("music/b.mp3", readBytes(b) + "changed");
    EXPECT_EQ(run({"undo"}).status, 1);
    EXPECT_EQ(marks(), (Marks {"undone, 1 left alone", ""}));
    // A new batch takes away the redo, not the mark; undo goes on with the unmarked ones.
    ASSERT_EQ(run({"set", "--artist", "C", c}).status, 0);
    EXPECT_EQ(marks(), (Marks {"", "undone, 1 left alone", ""}));
    EXPECT_EQ(run({"undo"}).status, 0);
    EXPECT_EQ(run({"undo"}).status, 0);
    EXPECT_EQ(marks(), (Marks {"undone", "undone, 1 left alone", "undone"}));
    EXPECT_EQ(run({"undo"}).status, 2);
    EXPECT_EQ(readBytes(a), audioBytes(300, 1));
    EXPECT_EQ(readBytes(c), audioBytes(300, 3));
    EXPECT_EQ(run({"redo"}).status, 0);
    EXPECT_EQ(marks(), (Marks {"undone", "undone, 1 left alone", ""}));
}

TEST_F(Cli, SaysOnceWhatItWaitsForWhileAnotherProcessHoldsTheJournal)
{
    const std::string a = tree.file("music/a.mp3", audioBytes(300, 1));
    const std::string err = tree.path("err.txt");
    tree.file("err.txt", "");
    testing_support::JournalLockHolder holder("タグ一括設定", stateHome);
    Result r;
    std::thread companion([&] { r = run({"set", "--artist", "A", a}); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(50);
    while (readBytes(err).find('\n') == std::string::npos
        && std::chrono::steady_clock::now() < deadline)
        ::usleep(10 * 1000);
    EXPECT_TRUE(holder.end());
    companion.join();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "bellwick-cli: タグ履歴の使用を待っています: タグ一括設定\n");
    EXPECT_EQ(tags::ReadTag(a).Artist.substr(0, 1), "A");
}

TEST_F(Cli, WritesNothingWithoutAJournalUnlessToldTo)
{
    const std::string file = tree.file("music/a.mp3", audioBytes(300, 1));
    const std::string notAFolder = tree.file("plain", "x");
    stateHome = notAFolder + "/state";
    cacheHome = notAFolder + "/cache";
    Result r = run({"set", "--artist", "New", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--no-journal"), std::string::npos);
    // The message names the folders it tried.
    EXPECT_NE(r.err.find("neither " + stateHome + "/bellwick nor " + cacheHome + "/bellwick"),
        std::string::npos)
        << r.err;
    EXPECT_EQ(readBytes(file), audioBytes(300, 1));
    EXPECT_EQ(run({"write", "--title", "T", file}).status, 1);
    EXPECT_EQ(readBytes(file), audioBytes(300, 1));
    EXPECT_EQ(run({"history"}).status, 1);
    EXPECT_EQ(run({"undo"}).status, 1);

    EXPECT_EQ(run({"set", "--no-journal", "--artist", "New", file}).status, 0);
    EXPECT_EQ(tags::ReadTag(file).Artist.substr(0, 3), "New");

    // The cache folder serves when the state folder cannot.
    cacheHome = tree.path("cache");
    EXPECT_EQ(run({"write", "--title", "T", file}).status, 0);
    EXPECT_TRUE(testing_support::exists(tree.path("cache/bellwick/tag-journal")));
    EXPECT_EQ(run({"undo"}).status, 0);
    EXPECT_EQ(tags::ReadTag(file).Artist.substr(0, 3), "New");

    for (const std::vector<std::string> &bad : std::vector<std::vector<std::string>> {
             {"history", "0"}, {"history", "x"}, {"history", "1", "2"}, {"undo", file},
             {"redo", "--no-journal"}, {"scan", "--no-journal", tree.path("music")}})
        EXPECT_EQ(run(bad).status, 2) << bad.front();
}

// After an undo that left a file alone: a plain undo says it goes past that batch before it
// takes the older one, and `undo --batch N` takes the same batch again for the file.
TEST_F(Cli, ARetryIsExplicitAndGoingFurtherBackIsSaid)
{
    const std::string older = tree.file("music/older.mp3", audioBytes(300, 1));
    const std::string a = tree.file("music/a.mp3", audioBytes(300, 2));
    const std::string b = tree.file("music/b.mp3", audioBytes(300, 3));
    ASSERT_EQ(run({"set", "--artist", "Older", older}).status, 0);
    ASSERT_EQ(run({"set", "--artist", "Newer", a, b}).status, 0);
    const std::string moved = tree.path("moved.mp3");
    ASSERT_EQ(::rename(b.c_str(), moved.c_str()), 0);

    Result r = run({"undo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("left alone: " + b), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("bellwick-cli undo --batch 2"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(a), audioBytes(300, 2));

    r = run({"undo"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("batch 2 (bellwick-cli set, 2 files) was undone only in part"),
        std::string::npos)
        << r.err;
    EXPECT_EQ(readBytes(older), audioBytes(300, 1));

    ASSERT_EQ(::rename(moved.c_str(), b.c_str()), 0);
    r = run({"undo", "--batch", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(b), audioBytes(300, 3));
    EXPECT_EQ(run({"undo", "--batch", "9"}).status, 2);
}

// export-v2: the dry run's lines and exit status for each state, usage errors, and the real
// run as one batch that undo and redo take.
TEST_F(Cli, ExportV2PreviewsWritesAndIsUndone)
{
    std::string v11 = tagBytes("\x82\xb3\x82\xad\x82\xe7", "Tab\there", "", "2001", "Note", 13);
    v11[125] = '\0';
    v11[126] = '\x05';
    const std::string jp = tree.file("music/jp.mp3", audioBytes(300, 1) + v11);
    const std::string ru = tree.file("music/ru.mp3", audioBytes(300, 2) + tagBytes("\xcc\xe8\xf0"));
    const std::string bad = tree.file("music/bad.mp3", audioBytes(300, 3) + tagBytes("\x85\x40"));
    const std::string none = tree.file("music/none.mp3", audioBytes(300, 4));
    const std::string jpBefore = readBytes(jp);
    const struct
    {
        std::vector<std::string> args;
        int status;
        std::string out;
    } cases[] = {
        {{"export-v2", "--dry-run", jp}, 0,
            jp + "\tnew\tさくら\tTab\\x09here\t\t2001\tPop\tNote\t5\n"},
        {{"export-v2", "--dry-run", "--encoding", "cp1251", ru}, 0,
            ru + "\tnew\tМир\t\t\t\t\t\t\n"},
        {{"export-v2", "--dry-run", bad, none}, 1,
            bad + "\trefused\t\t\t\t\t\t\t\n" + none + "\trefused\t\t\t\t\t\t\t\n"},
        {{"export-v2", "--dry-run"}, 2, ""},
        {{"export-v2", "--overwrite=yes", jp}, 2, ""},
        {{"set", "--dry-run", jp}, 2, ""},
    };
    for (const auto &c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.back() << r.err;
        EXPECT_EQ(r.out, c.out);
    }
    EXPECT_EQ(readBytes(jp), jpBefore);

    Result r = run({"export-v2", jp, bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("refused: " + bad), std::string::npos) << r.err;
    const std::string exported = readBytes(jp);
    EXPECT_EQ(exported.substr(exported.size() - jpBefore.size()), jpBefore);
    EXPECT_EQ(run({"export-v2", "--dry-run", jp}).out.substr(jp.size(), 9), "\tnothing\t");
    EXPECT_NE(run({"history"}).out.find("\tbellwick-cli export-v2\t1 file\t\n"), std::string::npos);
    EXPECT_EQ(run({"undo"}).status, 0);
    EXPECT_EQ(readBytes(jp), jpBefore);
    EXPECT_EQ(run({"redo"}).status, 0);
    EXPECT_EQ(readBytes(jp), exported);
}

TEST_F(Cli, RenamePreviewsAsTsvRenamesInOneBatchAndUndoesIt)
{
    const std::string song = tree.file("music/a.mp3", audioBytes(300, 1) + tagBytes("Song", "Art"));
    const std::string dup1 = tree.file("music/b.mp3", audioBytes(300, 2) + tagBytes("Dup", "Art"));
    const std::string dup2 = tree.file("music/c.mp3", audioBytes(300, 3) + tagBytes("Dup", "Art"));
    const std::string same
        = tree.file("music/Art - Same.mp3", audioBytes(300, 4) + tagBytes("Same", "Art"));
    const std::string bare = tree.file("music/d.mp3", audioBytes(300, 5));
    const std::string colon
        = tree.file("music/e.mp3", audioBytes(300, 6) + tagBytes("Why?", "A:B"));
    const std::vector<std::string> files = {song, dup1, dup2, same, bare, colon};
    const auto args = [&](std::vector<std::string> options) {
        options.insert(options.begin(), {"rename", "--format", "%artist% - %title%"});
        options.insert(options.end(), files.begin(), files.end());
        return options;
    };

    Result r = run(args({"--dry-run", "--fat"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
        song + "\t" + music("Art - Song.mp3") + "\tchanges\n" + dup1 + "\t" + music("Art - Dup.mp3")
            + "\tconflict\n" + dup2 + "\t" + music("Art - Dup.mp3") + "\tconflict\n" + same + "\t"
            + same + "\tunchanged\n" + bare + "\t\trefused\n" + colon + "\t"
            + music("A_B - Why_.mp3") + "\tchanges\n");
    EXPECT_EQ(testing_support::listNames(tree.path("music")).size(), files.size());

    r = run(args({}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3)
        << r.err; // two conflicts, one refused
    EXPECT_EQ(readBytes(music("Art - Song.mp3")), audioBytes(300, 1) + tagBytes("Song", "Art"));
    EXPECT_EQ(readBytes(music("A:B - Why?.mp3")).size(), 428u); // not on FAT: kept as typed
    r = run({"history", "1"});
    EXPECT_NE(r.out.find("\tファイル名の変更\t2 files\t\n"), std::string::npos) << r.out;

    // Undone name by name, after another program took one of the old names.
    tree.file("music/e.mp3", "taken");
    r = run({"undo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("left alone: " + music("A:B - Why?.mp3")), std::string::npos) << r.err;
    EXPECT_TRUE(testing_support::exists(song));
    EXPECT_EQ(readBytes(colon), "taken");
    EXPECT_EQ(run({"redo"}).status, 0);
    EXPECT_FALSE(testing_support::exists(song));
    EXPECT_TRUE(testing_support::exists(music("Art - Song.mp3")));
}

TEST_F(Cli, FromNamePreviewsAsTsvAndWritesTheMatchingFilesInOneBatch)
{
    const std::string one = tree.file("music/Band/Live/03 Opening.mp3", audioBytes(300, 1));
    const std::string cut = tree.file("music/Band/Live/04 " + std::string(40, 'x') + ".mp3",
        audioBytes(300, 2) + tagBytes("Old", "Old", "Old", "1999", "note", 0));
    const std::string odd = tree.file("music/Band/Live/bonus.mp3", audioBytes(300, 3));
    const std::string full = tree.file("music/Band/Live/05 Long comment.mp3",
        audioBytes(300, 4) + tagBytes("T", "", "", "", std::string(30, 'c'), 0));
    const std::vector<std::string> files = {one, cut, odd, full};
    std::vector<std::string> args = {"fromname", "--pattern", "%artist%/%album%/%track% %title%"};
    args.insert(args.end(), files.begin(), files.end());

    args.push_back("--dry-run");
    Result r = run(args);
    args.pop_back();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
        one + "\tmatches\tOpening\tBand\tLive\t3\n" + cut + "\tmatches\t" + std::string(30, 'x')
            + "\tBand\tLive\t4\n" + odd + "\tnomatch\t\t\t\t\n" + full + "\trefused\t\t\t\t\n");
    EXPECT_EQ(readBytes(one), audioBytes(300, 1));

    r = run(args);
    EXPECT_EQ(r.status, 1);
    // Fields the pattern does not name are kept; the track goes into bytes 125 and 126.
    struct Expected
    {
        std::string path, title, year, comment;
        unsigned track;
    };
    for (const Expected &e : {Expected {one, "Opening", "", "", 3},
             Expected {cut, std::string(30, 'x'), "1999", "note", 4}}) {
        const tags::TTagRecord tag = tags::ReadTag(e.path);
        EXPECT_EQ(platform::trimmed(tag.Title), e.title);
        EXPECT_EQ(platform::trimmed(tag.Artist), "Band");
        EXPECT_EQ(platform::trimmed(tag.Album), "Live");
        EXPECT_EQ(platform::trimmed(tag.Year), e.year);
        EXPECT_EQ(platform::trimmed(tags::commentText(tag)), e.comment);
        EXPECT_EQ(tags::trackNumber(tag), e.track);
    }
    EXPECT_EQ(readBytes(odd), audioBytes(300, 3));
    r = run({"history", "1"});
    EXPECT_NE(r.out.find("\tファイル名からタグ\t2 files\t\n"), std::string::npos) << r.out;

    // Undone as one batch, but for the file changed since, which is left alone.
    const std::string changed = readBytes(cut) + "more";
    tree.file("music/Band/Live/04 " + std::string(40, 'x') + ".mp3", changed);
    r = run({"undo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("left alone: " + cut), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(one), audioBytes(300, 1));
    EXPECT_EQ(readBytes(cut), changed);
}
