#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "platform/bytetext.h"
#include "platform/error.h"
#include "tags/tagfile.h"
#include "tests/support/faultyfs.h"
#include "tests/support/testtree.h"

using namespace std::string_literals;
using testing_support::audioBytes;
using testing_support::bytesOf;
using testing_support::completeTagBlock;
using testing_support::errorOf;
using testing_support::readBytes;
using testing_support::tagBytes;
using Call = testing_support::FaultyFileSystem::Call;

namespace {

class TagFile : public ::testing::Test
{
protected:
    testing_support::TempTree tree;
};

// An ID3v1.1 tag as rippers write it: the comment zero-padded, then a zero and the track.
std::string v11TagBytes(const std::string &title, const std::string &comment, char track)
{
    std::string bytes = tagBytes(title, "Artist", "Album", "1999", "", 17);
    bytes.replace(97, 30, comment + std::string(28 - comment.size(), '\0') + '\0' + track);
    return bytes;
}

tags::TagMerge commentMerge(const tags::TextChange &change)
{
    tags::TagMerge merge;
    merge.texts[static_cast<int>(tags::TextField::Comment)] = change;
    return merge;
}

// An APE tag (version 2000, footer only) of one item whose value puts "TAG" 128 bytes before
// the tag's end, as a cover picture or a lyric may by chance.
std::string apeTagBytes()
{
    std::string value(120, 'x');
    value.replace(24, 3, "TAG");
    const auto le32 = [](std::uint32_t n) {
        std::string bytes;
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((n >> (8 * i)) & 0xFF);
        return bytes;
    };
    const std::string item = le32(value.size()) + le32(0) + "Lyrics"s + '\0' + value;
    return item + "APETAGEX" + le32(2000) + le32(item.size() + 32) + le32(1) + le32(0)
        + std::string(8, '\0');
}

// Runs a Python script on the file with python3-mutagen; its output, or nullopt without it.
std::optional<std::string> mutagenSays(
    testing_support::TempTree &tree, const std::string &script, const std::string &path)
{
    if (std::system("/usr/bin/python3 -c 'import mutagen' >/dev/null 2>&1") != 0)
        return std::nullopt;
    const std::string file = tree.file("read.py", script);
    const std::string out = tree.path("out.txt");
    if (std::system(("/usr/bin/python3 " + file + " " + path + " > " + out).c_str()) != 0)
        return "python failed";
    return readBytes(out);
}

} // namespace

TEST_F(TagFile, ReadsTheLastBlockOnly)
{
    const std::string audio = audioBytes(1000) + tagBytes("Early", "", "", "", "", 0);
    const std::string path = tree.file("a.mp3", audio + tagBytes("Song", "Me", "", "99", "", 13));
    const tags::TTagRecord record = tags::ReadTag(path);
    EXPECT_EQ(platform::trimmed(record.Title), "Song");
    EXPECT_EQ(record.Year, "99  ");
    EXPECT_EQ(record.Genre, 13);
}

TEST_F(TagFile, ShortOrUntaggedFilesHaveTheEmptyRecord)
{
    for (const std::string &bytes : {""s, "TAG"s, "TAG"s + audioBytes(97), audioBytes(127),
             audioBytes(300), audioBytes(200) + "tag" + std::string(125, 'x')}) {
        const std::string path = tree.file("x.mp3", bytes);
        EXPECT_EQ(tags::ReadTag(path), tags::TTagRecord()) << bytes.size();
    }
    // Exactly 128 bytes that are all tag are a tag.
    EXPECT_EQ(tags::ReadTag(tree.file("t.mp3", tagBytes("Only"))).Header, "TAG");
}

TEST_F(TagFile, ReadFailuresNameTheFile)
{
    const std::string missing = tree.path("gone.mp3");
    EXPECT_EQ(errorOf([&] { tags::ReadTag(missing); }), "ファイル " + missing + " は開けません");
    const std::string folder = tree.folder("dir.mp3");
    EXPECT_EQ(errorOf([&] { tags::ReadTag(folder); }), "ファイル " + folder + " は開けません");
    // A tail that cannot be read is no tag, and no report.
    const std::string path = tree.file("a.mp3", audioBytes(50) + tagBytes("T"));
    testing_support::FaultyFileSystem fs;
    fs.fail(Call::Pread, EIO);
    platform::ScopedFileSystem installed(fs);
    EXPECT_EQ(tags::ReadTag(path), tags::TTagRecord());
}

TEST_F(TagFile, FifoNamedLikeAudioNeverBlocks)
{
    const std::string fifo = tree.path("x.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::atomic<bool> finished {false};
    std::thread watchdog([&] {
        // A minute: only a read that blocks takes so long, however busy the machine.
        for (int i = 0; i < 600 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!finished) { // free a blocked reader or writer so the test can fail
            ADD_FAILURE() << "blocked on a FIFO";
            ::close(::open(fifo.c_str(), O_RDWR | O_NONBLOCK));
        }
    });
    EXPECT_NE(errorOf([&] { tags::ReadTag(fifo); }), "");
    EXPECT_NE(errorOf([&] { tags::WriteTagBlock(fifo, completeTagBlock("x")); }), "");
    EXPECT_NE(errorOf([&] { tags::ReadTag(fifo, tags::FileKind::Regular); }), "");
    finished = true;
    watchdog.join();
}

TEST_F(TagFile, WriteReplacesATagInPlaceAndAppendsOtherwise)
{
    const std::string audio = audioBytes(1000);
    const std::string tagged = tree.file("tagged.mp3", audio + tagBytes("Old", "Artist"));
    ASSERT_EQ(tags::WriteTagBlock(tagged, completeTagBlock("New")), tags::WriteOutcome::Written);
    EXPECT_EQ(readBytes(tagged), audio + bytesOf(completeTagBlock("New")));

    const struct
    {
        std::string bytes;
        std::size_t size;
    } appended[] = {{"", 128}, {"TAG", 131}, {"TAG" + audioBytes(97), 228}, {audioBytes(127), 255},
        {audio + "tag" + std::string(125, 'x'), 1256}};
    for (const auto &c : appended) {
        const std::string path = tree.file("plain.mp3", c.bytes);
        ASSERT_EQ(tags::WriteTagBlock(path, completeTagBlock("T")), tags::WriteOutcome::Written);
        EXPECT_EQ(readBytes(path), c.bytes + bytesOf(completeTagBlock("T")));
        EXPECT_EQ(readBytes(path).size(), c.size);
    }

    const std::string only = tree.file("only.mp3", tagBytes("Only"));
    tags::WriteTagBlock(only, completeTagBlock("Other"));
    EXPECT_EQ(readBytes(only), bytesOf(completeTagBlock("Other")));
}

TEST_F(TagFile, MergeStartsFromTheBytesOnDiskNow)
{
    const std::string audio = audioBytes(500);
    const std::string path = tree.file("a.mp3", audio + tagBytes("Title", "Old Artist"));
    // Another program changes the artist after the scan: the merge keeps its change.
    std::string changed = audio + tagBytes("Title", "New Artist", "Album", "1999", "c", 4);
    changed[20 + 500] = '\0';
    tree.file("a.mp3", changed);
    tags::TagMerge merge;
    merge.texts[static_cast<int>(tags::TextField::Year)] = tags::TextChange::set("2024");
    tags::WriteTagBlock(path, merge);
    std::string expected = changed;
    expected.replace(500 + 93, 4, "2024");
    EXPECT_EQ(readBytes(path), expected);
}

TEST_F(TagFile, ReadOnlyFileIsWrittenAndReadOnlyAgain)
{
    const std::string path = tree.file("ro.mp3", audioBytes(300), 0444);
    ASSERT_EQ(tags::WriteTagBlock(path, completeTagBlock("T")), tags::WriteOutcome::Written);
    EXPECT_EQ(readBytes(path).size(), 428u);
    EXPECT_EQ(testing_support::fileMode(path), 0444);

    // Also when the open after the mode change fails: the mode is back before the report.
    testing_support::FaultyFileSystem fs;
    fs.fail(Call::Open, EIO);
    platform::ScopedFileSystem installed(fs);
    EXPECT_EQ(errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("U")); }),
        "ファイル " + path + " は開けません");
    EXPECT_EQ(testing_support::fileMode(path), 0444);
    EXPECT_EQ(readBytes(path).size(), 428u);
}

TEST_F(TagFile, WritableFileModeIsNeverTouched)
{
    const std::string path = tree.file("rw.mp3", audioBytes(300), 0640);
    testing_support::FaultyFileSystem fs;
    fs.fail(Call::Chmod, EPERM); // a file system that refuses chmod
    platform::ScopedFileSystem installed(fs);
    EXPECT_EQ(tags::WriteTagBlock(path, completeTagBlock("T")), tags::WriteOutcome::Written);
    EXPECT_EQ(fs.count(Call::Chmod), 0);
}

TEST_F(TagFile, MissingFileIsReportedToTheCaller)
{
    EXPECT_EQ(tags::WriteTagBlock(tree.path("gone.mp3"), completeTagBlock("T")),
        tags::WriteOutcome::FileMissing);
    EXPECT_FALSE(testing_support::exists(tree.path("gone.mp3")));
}

TEST_F(TagFile, FailedTailReadWritesNothing)
{
    const std::string bytes = audioBytes(400) + tagBytes("Keep");
    const std::string path = tree.file("a.mp3", bytes);
    testing_support::FaultyFileSystem fs;
    fs.fail(Call::Pread, EIO);
    platform::ScopedFileSystem installed(fs);
    EXPECT_EQ(errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }),
        path + " に書き込めません");
    EXPECT_EQ(fs.count(Call::Pwrite), 0);
    EXPECT_EQ(readBytes(path), bytes);
}

TEST_F(TagFile, FailedWritesLeaveTheFileAsItWas)
{
    const std::string untagged = audioBytes(400);
    const std::string tagged = audioBytes(400) + tagBytes("Keep", "Me");
    for (const std::string &bytes : {untagged, tagged}) {
        for (int mode : {0, 1}) { // 0: the write fails at once, 1: it stops after 50 bytes
            const std::string path = tree.file("a.mp3", bytes);
            testing_support::FaultyFileSystem fs;
            if (mode == 0) {
                fs.fail(Call::Pwrite, EIO, 1, 1);
            } else {
                fs.shortWrite(50);
                fs.fail(Call::Pwrite, ENOSPC, 2, 1);
            }
            platform::ScopedFileSystem installed(fs);
            EXPECT_EQ(errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); }),
                path + " に書き込めません");
            EXPECT_EQ(readBytes(path), bytes) << bytes.size() << " " << mode;
        }
    }
}

TEST_F(TagFile, ShortAppendAtTheFileSizeLimitIsCutBack)
{
    const std::string bytes = audioBytes(4096);
    const std::string path = tree.file("a.mp3", bytes);
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit limit = old;
    limit.rlim_cur = bytes.size() + 50; // the append writes 50 bytes, then EFBIG
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const std::string error = errorOf([&] { tags::WriteTagBlock(path, completeTagBlock("T")); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(error, path + " に書き込めません");
    EXPECT_EQ(readBytes(path), bytes);
}

TEST_F(TagFile, FilesBeyondFourGibibytesUse64BitOffsets)
{
    // Sparse: 4 GiB + 1128 bytes, a decoy "TAG" at offset 1000 where a 32-bit size would
    // point, and the real tag at the end.
    const std::string path = tree.file("big.mp3", "");
    const off_t size = (off_t(1) << 32) + 1128;
    {
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        const std::string decoy = tagBytes("Decoy");
        const std::string real = tagBytes("Real");
        ASSERT_EQ(::pwrite(fd, decoy.data(), 128, 1000), 128);
        ASSERT_EQ(::pwrite(fd, real.data(), 128, size - 128), 128);
        ::close(fd);
    }
    EXPECT_EQ(platform::trimmed(tags::ReadTag(path).Title), "Real");
    tags::WriteTagBlock(path, completeTagBlock("New"));
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    std::ifstream in(path, std::ios::binary);
    std::string head(1128, '\0');
    in.read(head.data(), 1128);
    EXPECT_EQ(head.substr(1000, 128), tagBytes("Decoy"));
    EXPECT_EQ(platform::trimmed(tags::ReadTag(path).Title), "New");
}

TEST_F(TagFile, IndependentReaderAgreesWithWhatWeWrite)
{
    if (std::system("/usr/bin/python3 -c 'import mutagen' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3-mutagen is not installed";
    const std::string path = tree.file("a.mp3", audioBytes(2000));
    tags::CompleteTag tag;
    tag.texts = {"Title", "Artist", "Album", "2001", "Comment"};
    tag.genre = 17; // Rock
    tags::WriteTagBlock(path, tags::completeBlock(tag));
    const std::string script = tree.file("read.py", R"(import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
print(t['TIT2'], t['TPE1'], t['TALB'], t['TDRC'], t['TCON'], sep='|')
)");
    const std::string out = tree.path("out.txt");
    ASSERT_EQ(std::system(("/usr/bin/python3 " + script + " " + path + " > " + out).c_str()), 0);
    EXPECT_EQ(readBytes(out), "Title|Artist|Album|2001|Rock\n");
}

TEST_F(TagFile, Id3v11TrackIsKeptWhileTheNewCommentFitsIn28Bytes)
{
    const std::string audio = audioBytes(700);
    const std::string before = v11TagBytes("Song", "Ripped", '\x07');
    const auto tagAfter = [&](const auto &write) {
        const std::string path = tree.file("a.mp3", audio + before);
        write(path);
        const std::string bytes = readBytes(path);
        EXPECT_EQ(bytes.substr(0, audio.size()), audio);
        return bytes.substr(audio.size());
    };
    const auto withComment = [&](const std::string &field) {
        std::string expected = before;
        expected.replace(97, 30, field);
        return expected;
    };

    // The tag editor: a complete block from the shown texts with only the Year changed.
    std::string expected = tagBytes("Song", "Artist", "Album", "2024", "Ripped", 17);
    expected.replace(125, 2, "\0\x07"s);
    EXPECT_EQ(tagAfter([](const std::string &path) {
        const tags::TTagRecord record = tags::ReadTag(path);
        tags::CompleteTag tag;
        tag.texts = {platform::trimmed(record.Title), platform::trimmed(record.Artist),
            platform::trimmed(record.Album), "2024", platform::trimmed(tags::commentText(record))};
        tag.genre = record.Genre;
        tags::WriteTagBlock(path, tags::completeBlock(tag));
    }),
        expected);

    // The bulk setting: erase, a comment of 28 bytes, and a run that keeps the comment.
    EXPECT_EQ(tagAfter([](const std::string &path) {
        tags::WriteTagBlock(path, commentMerge(tags::TextChange::erase()));
    }),
        withComment(std::string(28, ' ') + "\0\x07"s));
    EXPECT_EQ(tagAfter([](const std::string &path) {
        tags::WriteTagBlock(path, commentMerge(tags::TextChange::set(std::string(28, 'c'))));
    }),
        withComment(std::string(28, 'c') + "\0\x07"s));
    tags::TagMerge titleOnly;
    titleOnly.texts[0] = tags::TextChange::set("New");
    EXPECT_EQ(tagAfter([&](const std::string &path) { tags::WriteTagBlock(path, titleOnly); }),
        "TAGNew" + std::string(27, ' ') + before.substr(33));

    // Only a comment of 29 or 30 bytes takes the track's bytes.
    EXPECT_EQ(tagAfter([](const std::string &path) {
        tags::WriteTagBlock(path, commentMerge(tags::TextChange::set(std::string(29, 'c'))));
    }),
        withComment(std::string(29, 'c') + " "));
    EXPECT_EQ(tagAfter([](const std::string &path) {
        tags::WriteTagBlock(path, commentMerge(tags::TextChange::set(std::string(30, 'c'))));
    }),
        withComment(std::string(30, 'c')));
}

TEST_F(TagFile, IndependentReaderSeesTheTrackNumberThatWasKept)
{
    const std::string path = tree.file("a.mp3", audioBytes(2000) + v11TagBytes("Song", "", 'A'));
    tags::WriteTagBlock(path, commentMerge(tags::TextChange::set("Now with a comment")));
    const std::optional<std::string> said = mutagenSays(tree, R"(import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
print(t['TRCK'], t.getall('COMM')[0], sep='|')
)",
        path);
    if (!said)
        GTEST_SKIP() << "python3-mutagen is not installed";
    EXPECT_EQ(*said, "65|Now with a comment\n");
}

TEST_F(TagFile, FileEndingWithAnApeTagHasNoId3v1Tag)
{
    const std::string audio = audioBytes(900);
    const std::string ape = apeTagBytes();
    ASSERT_EQ((audio + ape).compare(audio.size() + ape.size() - 128, 3, "TAG"), 0);
    const std::string path = tree.file("a.mp3", audio + ape);
    EXPECT_EQ(tags::ReadTag(path), tags::TTagRecord());

    // A write appends the block after the APE tag, which stays whole, and is then the tag.
    tags::WriteTagBlock(path, commentMerge(tags::TextChange::set("c")));
    std::string bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), audio.size() + ape.size() + 128);
    EXPECT_EQ(bytes.substr(0, audio.size() + ape.size()), audio + ape);
    tags::TTagRecord record = tags::ReadTag(path);
    EXPECT_EQ(record.Header, "TAG");
    EXPECT_EQ(platform::trimmed(record.Comment), "c");
    const std::optional<std::string> said = mutagenSays(tree, R"(import sys
from mutagen.apev2 import APEv2
t = APEv2(sys.argv[1])
print(len(t['Lyrics'].value))
)",
        path);
    if (said) {
        EXPECT_EQ(*said, "120\n");
    }

    // The same for the editor's complete block.
    const std::string other = tree.file("b.mp3", audio + ape);
    tags::WriteTagBlock(other, completeTagBlock("T"));
    EXPECT_EQ(readBytes(other), audio + ape + bytesOf(completeTagBlock("T")));

    // Only versions 1000 and 2000 make a footer; after an APE tag a real ID3v1 tag is found.
    for (const std::uint32_t version : {1000u, 2000u, 999u, 3000u}) {
        std::string file = audio + ape;
        for (int i = 0; i < 4; ++i)
            file[file.size() - 24 + i] = static_cast<char>((version >> (8 * i)) & 0xFF);
        const bool footer = version == 1000 || version == 2000;
        EXPECT_EQ(tags::ReadTag(tree.file("v.mp3", file)).Header, footer ? "" : "TAG") << version;
    }
    const std::string both = tree.file("c.mp3", audio + ape + tagBytes("Old"));
    EXPECT_EQ(platform::trimmed(tags::ReadTag(both).Title), "Old");
    tags::WriteTagBlock(both, completeTagBlock("New"));
    EXPECT_EQ(readBytes(both), audio + ape + bytesOf(completeTagBlock("New")));
}
