#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>

#include <fcntl.h>
#include <unistd.h>

#include "editing/exportrun.h"
#include "editing/journalfile.h"
#include "platform/error.h"
#include "tags/id3v2export.h"
#include "tags/id3v2layout.h"
#include "tests/support/faultyfs.h"
#include "tests/support/killtest.h"
#include "tests/support/testtree.h"

// Also: export batches in the undo journal, undone and redone, a kill in an in-place write
// finished by undo, and a batch too large for the journal refused.

using namespace std::string_literals;
using tags::ExportField;
using tags::ExportState;
using tags::FrameChange;
using testing_support::errorOf;
using testing_support::readBytes;
using testing_support::tagBytes;
using Texts = std::map<std::string, std::string>;

namespace {

std::string frame(
    int version, const std::string &id, const std::string &data, const std::string &flags = "\0\0"s)
{
    const auto size = static_cast<std::uint32_t>(data.size());
    return id + (version == 4 ? tags::syncSafeBytes(size) : tags::bigEndianBytes(size)) + flags
        + data;
}

std::string tag(int version, const std::string &body, std::size_t padding = 0, char flags = 0)
{
    return "ID3"s + static_cast<char>(version) + '\0' + flags
        + tags::syncSafeBytes(static_cast<std::uint32_t>(body.size() + padding)) + body
        + std::string(padding, '\0');
}

// An ID3v1.1 block: the comment's last two bytes a zero and the track.
std::string v11(const std::string &title, const std::string &artist, const std::string &album,
    const std::string &year, const std::string &comment, unsigned char genre, char track)
{
    std::string block = tagBytes(title, artist, album, year, comment, genre);
    block[125] = '\0';
    block[126] = track;
    return block;
}

tags::Block blockOf(const std::string &bytes)
{
    tags::Block block;
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

// Half a second of MPEG audio from lame, made once; empty when lame is missing.
const std::string &lameAudio()
{
    static const std::string audio = [] {
        testing_support::TempTree tree;
        std::string pcm;
        for (int i = 0; i < 22050; ++i) {
            const auto sample = static_cast<std::int16_t>((i % 100) * 300 - 15000);
            pcm += static_cast<char>(sample & 0xFF);
            pcm += static_cast<char>((sample >> 8) & 0xFF);
        }
        const std::string in = tree.file("in.pcm", pcm);
        const std::string out = tree.path("out.mp3");
        const std::string command = "lame --quiet -r -s 44.1 --bitwidth 16 -m m --signed "
                                    "--little-endian "
            + in + " " + out + " 2>/dev/null";
        return std::system(command.c_str()) == 0 ? readBytes(out) : std::string();
    }();
    return audio;
}

// The frames with texts as python3-mutagen reads them ("COMM::und", "TXXX:YEAR", ...), or
// nothing when it is not installed.
std::optional<Texts> mutagenTexts(testing_support::TempTree &tree, const std::string &path)
{
    const std::string script = tree.file("read.py",
        "import sys\n"
        "try:\n    from mutagen.id3 import ID3\nexcept ImportError:\n    sys.exit(3)\n"
        "for k, v in ID3(sys.argv[1], translate=False).items():\n"
        "    if hasattr(v, 'text'):\n"
        "        sys.stdout.buffer.write((k + '\\t' + '/'.join(str(x) for x in v.text) + "
        "'\\n').encode('utf-8'))\n");
    FILE *pipe = ::popen(("/usr/bin/python3 " + script + " " + path).c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    if (!pipe || ::pclose(pipe) != 0)
        return std::nullopt;
    Texts texts;
    for (std::size_t at = 0, end; (end = output.find('\n', at)) != std::string::npos;
         at = end + 1) {
        const std::string line = output.substr(at, end - at);
        texts[line.substr(0, line.find('\t'))] = line.substr(line.find('\t') + 1);
    }
    return texts;
}

class Id3v2Export : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (lameAudio().empty())
            GTEST_SKIP() << "lame is not installed";
    }

    // Writes head + audio + ID3v1 block, exports it and checks what must never change: the
    // bytes after the tag, and every frame kept byte for byte. Gives the plan.
    tags::ExportPlan exportFile(
        const std::string &head, const std::string &id3v1, const tags::ExportOptions &options = {})
    {
        path = tree.file("a.mp3", head + lameAudio() + id3v1);
        const std::string before = readBytes(path);
        struct stat st;
        inode = ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
        const tags::ExportPlan plan = tags::exportToId3v2(path, options);
        after = readBytes(path);
        const std::size_t newSize = tags::id3v2TagSize(after);
        EXPECT_EQ(after.substr(newSize), before.substr(head.size()));
        if (head.empty())
            return plan;
        std::vector<std::string> kept;
        for (const tags::ExportFrame &f : plan.frames)
            if (!f.written)
                kept.push_back(f.bytes);
        std::size_t found = 0;
        for (const tags::Id3v2Frame &f : tags::walkId3v2(after.substr(0, newSize)).frames)
            found += std::count(kept.begin(), kept.end(), after.substr(f.offset, f.size));
        EXPECT_EQ(found, kept.size());
        return plan;
    }

    void expectMutagen(const Texts &expected)
    {
        const std::optional<Texts> read = mutagenTexts(tree, path);
        if (!read) {
            std::cout << "python3-mutagen is missing: the tag is not read back by it\n";
            return;
        }
        for (const auto &[key, text] : expected)
            EXPECT_EQ(read->count(key) ? read->at(key) : "(none)", text) << key;
    }

    testing_support::TempTree tree;
    std::string path;
    std::string after;
    ino_t inode = 0;
};

// Japanese (CP932), Western and Cyrillic texts in a file without an ID3v2 tag get a new 2.4
// tag in UTF-8; a second export finds nothing to write.
TEST_F(Id3v2Export, NewTagHoldsTheDecodedTexts)
{
    const struct
    {
        platform::CodePage codePage;
        std::string block;
        Texts expected;
    } cases[] = {
        {platform::CodePage::Cp932,
            v11("\x83\x65\x83\x58\x83\x67", "\x89\xCC\x8E\xE8", "Album", "1999",
                "\x83\x52\x83\x81\x83\x93\x83\x67", 17, 5),
            {{"TIT2", "テスト"}, {"TPE1", "歌手"}, {"TALB", "Album"}, {"TDRC", "1999"},
                {"TCON", "Rock"}, {"COMM::und", "コメント"}, {"TRCK", "5"}}},
        {platform::CodePage::Cp1252, tagBytes("Caf\xE9 \x80", "Bj\xF6rk", "", "'99", "", 255),
            {{"TIT2", "Café €"}, {"TPE1", "Björk"}, {"TXXX:YEAR", "'99"}, {"TALB", "(none)"},
                {"TCON", "(none)"}, {"TRCK", "(none)"}}},
        {platform::CodePage::Cp1251, tagBytes("\xCF\xF0\xE8\xE2\xE5\xF2", "", "", "", "", 0),
            {{"TIT2", "Привет"}, {"TCON", "Blues"}, {"COMM::und", "(none)"}}},
    };
    for (const auto &c : cases) {
        const tags::ExportPlan plan = exportFile("", c.block, {c.codePage, false});
        EXPECT_EQ(plan.state, ExportState::NewTag);
        EXPECT_EQ(after.substr(0, 5), "ID3\x04\x00"s);
        EXPECT_EQ(tags::id3v2TagSize(after), plan.region.newRegion.size());
        expectMutagen(c.expected);
        EXPECT_EQ(tags::exportToId3v2(path, {c.codePage, false}).state, ExportState::Nothing);
        EXPECT_EQ(readBytes(path), after);
    }
}

// A 2.3 tag with the frames a whole-tag render would change stays 2.3, written in UTF-16;
// every frame not written is kept byte for byte.
TEST_F(Id3v2Export, Version23KeepsEveryOtherFrame)
{
    const std::string body = frame(3, "TIT2", "\0Old title"s) + frame(3, "TYER", "\0"s + "1987")
        + frame(3, "TDAT", "\0"s + "0304") + frame(3, "RVAD", "\x03\x10\x01\x00\x02\x00\x00\x00"s)
        + frame(3, "APIC", "\0image/png\0\x03\0\x89PNG\r\n\x1A\n"s)
        + frame(3, "PRIV", "owner\0data"s, "\x40\x00"s)
        + frame(3, "COMM",
            "\0eng"
            "iTunNORM\0 0000"s);
    const std::string block = tagBytes("\x83\x65\x83\x58\x83\x67", "Artist", "", "1999", "Note");
    const struct
    {
        bool overwrite;
        ExportState state;
        FrameChange title, year;
        Texts expected;
    } cases[] = {
        {false, ExportState::AddFrames, FrameChange::Kept, FrameChange::Kept,
            {{"TIT2", "Old title"}, {"TPE1", "Artist"}, {"TYER", "1987"}, {"TDAT", "0304"},
                {"COMM::und", "Note"}, {"COMM:iTunNORM:eng", " 0000"}}},
        {true, ExportState::ReplaceFrames, FrameChange::Replaced, FrameChange::Replaced,
            {{"TIT2", "テスト"}, {"TPE1", "Artist"}, {"TYER", "1999"}, {"TDAT", "0304"}}},
    };
    for (const auto &c : cases) {
        const tags::ExportPlan plan
            = exportFile(tag(3, body), block, {platform::CodePage::Cp932, c.overwrite});
        EXPECT_EQ(plan.state, c.state);
        EXPECT_EQ(plan.changes[static_cast<int>(ExportField::Title)], c.title);
        EXPECT_EQ(plan.changes[static_cast<int>(ExportField::Year)], c.year);
        EXPECT_EQ(after.substr(0, 5), "ID3\x03\x00"s);
        const tags::Id3v2Frame last
            = tags::walkId3v2(after.substr(0, tags::id3v2TagSize(after))).frames.back();
        EXPECT_EQ(last.offset + last.size + tags::ExportPadding, tags::id3v2TagSize(after));
        expectMutagen(c.expected);
    }
}

// A 2.4 tag with room in its padding is written in place: same file, same size, the frame
// with a data-length indicator untouched.
TEST_F(Id3v2Export, Version24WithPaddingIsWrittenInPlace)
{
    const std::string album = frame(4, "TALB",
        tags::syncSafeBytes(8)
            + "\x03"
              "Album24",
        "\0\x01"s);
    const std::string head = tag(4, frame(4, "TPE1", "\x03Someone"s) + album, 2048);
    const tags::ExportPlan plan
        = exportFile(head, tagBytes("\x83\x65\x83\x58\x83\x67", "Other", "X", "2001"));
    struct stat st;
    EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && st.st_ino == inode);
    EXPECT_EQ(plan.state, ExportState::AddFrames);
    EXPECT_TRUE(plan.region.inPlace());
    EXPECT_EQ(after.size(), head.size() + lameAudio().size() + 128);
    EXPECT_NE(after.find(album), std::string::npos);
    expectMutagen({{"TIT2", "テスト"}, {"TPE1", "Someone"}, {"TALB", "Album24"}, {"TDRC", "2001"}});
}

// Files that cannot be written are refused with why, and the file is left alone.
TEST_F(Id3v2Export, RefusesWhatItCannotKeep)
{
    const std::string block = tagBytes("Title");
    const std::string someFrame = frame(3, "TPE1", "\0A"s);
    const struct
    {
        std::string oldTag;
        std::string block;
        bool tagAtEnd, folderWritable;
        std::string why; // empty: not refused
    } cases[] = {
        {"", "", false, true, "ID3v1 タグがありません"},
        {"", tagBytes("\x85\x40"), false, true, "Title に Shift-JIS (CP932) で読めないバイト"},
        {"", tagBytes("A", "", "", "", "\x83\x41\x83"), false, true, "Comment に"},
        {tag(2, "TT2\0\0\x02\0A"s), block, false, true, "ID3v2.2 で"},
        {tag(3, someFrame, 0, '\x80'), block, false, true, "非同期化"},
        {tag(3, "\0\0\0\x0A\x80\0\0\0\0\0\0\0\0\0"s + someFrame, 0, 0x40), block, false, true,
            "CRC"},
        {tag(4, "\0\0\0\x0C\x01\x20\0\0\0\0\0\0"s + frame(4, "TPE1", "\0A"s), 0, 0x40), block,
            false, true, "CRC"},
        {tag(3, someFrame.substr(0, 11)), block, false, true, "壊れて"},
        {"", block, true, true, "末尾"},
        {"", block, false, false, "フォルダに書き込めず"},
        {tag(3, someFrame, 100), block, false, false, ""},
    };
    for (const auto &c : cases) {
        tags::ExportSource source;
        source.oldTag = c.oldTag;
        if (!c.block.empty())
            source.id3v1 = blockOf(c.block);
        source.tagAtEnd = c.tagAtEnd;
        source.folderWritable = c.folderWritable;
        const tags::ExportPlan plan = tags::planExport(source, {});
        EXPECT_EQ(plan.state == ExportState::Refused, !c.why.empty()) << c.why;
        EXPECT_NE(plan.refusal.find(c.why), std::string::npos) << plan.refusal;
    }

    path = tree.file("a.mp3", lameAudio() + tagBytes("\x85\x40"));
    const testing_support::Snapshot before = testing_support::snapshot(path);
    EXPECT_EQ(tags::exportToId3v2(path, {}).state, ExportState::Refused);
    EXPECT_EQ(testing_support::snapshot(path), before);
}

// A character cut at the end of a full field loses its lead byte and is marked; the same byte
// before the field's end is a fault.
TEST(Id3v2ExportTexts, CutCharactersAndTrimming)
{
    const std::string full = std::string(29, 'A') + "\x83";
    const tags::ExportTexts texts = tags::exportTexts(
        blockOf(v11(full, "  Pad  ", "", "99  ", "", 200, 0)), platform::CodePage::Cp932);
    EXPECT_EQ(texts.refusal, "");
    EXPECT_EQ(texts.text(ExportField::Title), std::string(29, 'A'));
    EXPECT_TRUE(texts.truncated[static_cast<int>(ExportField::Title)]);
    EXPECT_EQ(texts.text(ExportField::Artist), "Pad");
    EXPECT_EQ(texts.text(ExportField::Year), "99");
    EXPECT_EQ(texts.text(ExportField::Genre), "");
    EXPECT_EQ(texts.text(ExportField::Track), "") << "byte 126 zero: no ID3v1.1 track";
}

// The rewrite puts nothing in place when its check fails or the file changed meanwhile,
// leaves no temporary file, and keeps the mode and a symbolic link.
TEST_F(Id3v2Export, RewriteIsCheckedBeforeItReplaces)
{
    path = tree.file("a.mp3", lameAudio() + tagBytes("T"), 0640);
    const bool xattrs = ::setxattr(path.c_str(), "user.origin", "x", 1, 0) == 0;
    const std::string link = tree.symlink("link.mp3", "a.mp3");
    const tags::ExportPlan plan = tags::planExport(tags::readExportSource(link), {});
    const testing_support::Snapshot before = testing_support::snapshot(path);
    EXPECT_NE(errorOf([&] {
        tags::replaceTagRegion(link, plan.region, [](std::string_view) { return "x"s; });
    }).find("元のファイルはそのままです"),
        std::string::npos);
    tags::TagRegionChange stale = plan.region;
    stale.fileSize += 1;
    EXPECT_NE(errorOf([&] { tags::replaceTagRegion(link, stale); }).find("変わっています"),
        std::string::npos);
    EXPECT_EQ(testing_support::snapshot(path), before);
    EXPECT_EQ(
        testing_support::listNames(tree.root()), (std::vector<std::string> {"a.mp3", "link.mp3"}));

    tags::replaceTagRegion(link, plan.region);
    EXPECT_EQ(readBytes(path), plan.region.newRegion + before.bytes);
    EXPECT_EQ(testing_support::fileMode(path), 0640);
    char value[4] = {};
    EXPECT_TRUE(!xattrs || ::getxattr(path.c_str(), "user.origin", value, sizeof value) == 1);
    struct stat st;
    EXPECT_TRUE(::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
}

// A failing call anywhere in the rewrite leaves the original as it was and nothing beside it.
TEST_F(Id3v2Export, FailedRewriteLeavesTheOriginal)
{
    using Call = testing_support::FaultyFileSystem::Call;
    path = tree.file("a.mp3", lameAudio() + tagBytes("T"));
    const tags::ExportPlan plan = tags::planExport(tags::readExportSource(path), {});
    const testing_support::Snapshot before = testing_support::snapshot(path);
    for (const Call call : {Call::Pwrite, Call::Fsync, Call::Fchmod, Call::Rename, Call::Open}) {
        testing_support::FaultyFileSystem faulty;
        faulty.fail(call, call == Call::Open ? ENOSPC : EIO, call == Call::Open ? 2 : 1);
        const platform::ScopedFileSystem installed(faulty);
        EXPECT_NE(errorOf([&] { tags::replaceTagRegion(path, plan.region); }), "");
        EXPECT_EQ(testing_support::snapshot(path), before);
        EXPECT_EQ(testing_support::listNames(tree.root()), std::vector<std::string> {"a.mp3"});
    }
}

// A rewrite of a 1 MiB file killed at any point leaves the old file or the new one whole.
TEST_F(Id3v2Export, KilledRewriteLeavesOldOrNew)
{
    const std::string old = std::string(1 << 20, 'a') + lameAudio() + tagBytes("Title");
    path = tree.file("a.mp3", old);
    const tags::ExportPlan plan = tags::planExport(tags::readExportSource(path), {});
    const std::string whole = plan.region.newRegion + old;
    const auto run = [&] { tags::replaceTagRegion(path, plan.region); };
    const auto runTime = testing_support::timeInChild([&] {
        run();
        tree.file("a.mp3", old);
    });
    std::mt19937 random(31);
    int olds = 0, news = 0;
    for (int trial = 0; trial < 20; ++trial) {
        tree.file("a.mp3", old);
        ASSERT_NE(testing_support::killedAtRandomPoint(run, runTime, random), -1);
        const std::string now = readBytes(path);
        olds += now == old;
        news += now == whole;
        EXPECT_TRUE(now == old || now == whole) << "trial " << trial;
    }
    std::printf("export kills: %d old, %d new\n", olds, news);
}

// A batch puts its rewritten files in place when it finishes; one changed meanwhile is left
// alone and reported, and a batch dropped unfinished changes nothing.
TEST_F(Id3v2Export, BatchPutsFilesInPlaceWhenItFinishes)
{
    const std::string a = tree.file("a.mp3", lameAudio() + tagBytes("A"));
    const std::string b = tree.file("b.mp3", lameAudio() + tagBytes("B"));
    const std::string oldA = readBytes(a);
    {
        tags::TagRegionBatch dropped;
        tags::exportToId3v2(a, {}, dropped);
    }
    EXPECT_EQ(readBytes(a), oldA);

    tags::TagRegionBatch batch(nullptr, 10);
    const tags::ExportPlan planA = tags::exportToId3v2(a, {}, batch);
    tags::exportToId3v2(b, {}, batch);
    EXPECT_EQ(readBytes(a), oldA);
    const timespec later[2] = {{0, UTIME_OMIT}, {1, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, b.c_str(), later, 0), 0);
    const std::vector<tags::TagRegionBatch::Failure> failures = batch.finish();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, b);
    EXPECT_NE(failures[0].message.find("変わっています"), std::string::npos);
    EXPECT_EQ(readBytes(a), planA.region.newRegion + oldA);
    EXPECT_EQ(tags::id3v2TagSize(readBytes(b)), 0u);
    EXPECT_EQ(
        testing_support::listNames(tree.root()), (std::vector<std::string> {"a.mp3", "b.mp3"}));
}

// The change reversed puts the old tag region back, in place or by a rewrite, as undo will.
TEST_F(Id3v2Export, ReversedChangeRestoresTheFile)
{
    const std::string padded = tag(4, frame(4, "TPE1", "\x03Someone"s), 512);
    // A tag with a footer has no padding: it is rewritten, and keeps its footer.
    std::string footed = tag(4, frame(4, "TPE1", "\x03Someone"s), 0, 0x10);
    footed += "3DI" + footed.substr(3, 7);
    for (const std::string &head : {""s, padded, footed}) {
        path = tree.file("a.mp3", head + lameAudio() + tagBytes("Title", "Artist"));
        const std::string before = readBytes(path);
        tags::TagRegionChange change = tags::exportToId3v2(path, {}).region;
        EXPECT_EQ(change.inPlace(), head == padded);
        EXPECT_EQ(
            change.newRegion.substr(change.newRegion.size() - 10, 3) == "3DI", head == footed);
        expectMutagen({{"TIT2", "Title"}, {"TPE1", head.empty() ? "Artist" : "Someone"}});
        std::swap(change.oldRegion, change.newRegion);
        change.fileSize = static_cast<off_t>(readBytes(path).size());
        tags::replaceTagRegion(path, change);
        EXPECT_EQ(readBytes(path), before);
    }
}

// The observer is told before the file changes, with the old region still on disk; when it
// throws, the file stays as it was, in place and by a rewrite alike.
TEST_F(Id3v2Export, ObserverIsToldBeforeTheFileChanges)
{
    struct Observer final : tags::ITagRegionObserver
    {
        std::string seen;
        bool refuse = false;
        int done = 0;
        void aboutToReplace(
            const std::string &file, const struct stat &, const tags::TagRegionChange &) override
        {
            seen = readBytes(file);
            if (refuse)
                throw platform::Error("no journal");
        }
        void replaced(const std::string &) override { ++done; }
    };
    const std::string padded = tag(4, frame(4, "TPE1", "\x03Someone"s), 512);
    for (const std::string &head : {""s, padded}) {
        for (const bool refuse : {true, false}) {
            path = tree.file("a.mp3", head + lameAudio() + tagBytes("Title"));
            const std::string before = readBytes(path);
            Observer observer;
            observer.refuse = refuse;
            const std::string error = errorOf([&] { tags::exportToId3v2(path, {}, &observer); });
            EXPECT_EQ(observer.seen, before);
            EXPECT_EQ(error.empty(), !refuse);
            EXPECT_EQ(readBytes(path) == before, refuse);
            EXPECT_EQ(observer.done, refuse ? 0 : 1);
            EXPECT_EQ(testing_support::listNames(tree.root()), std::vector<std::string> {"a.mp3"});
        }
    }
}

class ExportJournal : public Id3v2Export
{
protected:
    std::unique_ptr<editing::JournalFile> journal(
        std::uint64_t bound = editing::JournalFile::DefaultSizeBound)
    {
        return editing::JournalFile::openIn(tree.path("state/bellwick"), bound);
    }
    editing::ExportRunResult exportBatch(const std::vector<std::string> &paths,
        std::uint64_t bound = editing::JournalFile::DefaultSizeBound)
    {
        editing::IExportReport report;
        return editing::runExport(paths, {}, journal(bound).get(), report);
    }
    editing::RestoreResult restore(bool undo)
    {
        Report report;
        return undo ? journal()->undo({}, report) : journal()->redo({}, report);
    }
    struct Report final : editing::IRestoreReport
    {
        void restored(const editing::RestoredFile &) override { }
    };
};

// Undo puts back the file as it was (bytes, mode and time), redo the exported bytes, whether
// the export wrote in place or rewrote the file; a file changed since is left alone.
TEST_F(ExportJournal, BatchIsUndoneAndRedoneByteForByte)
{
    const struct
    {
        const char *what;
        std::string head;
        bool inPlace;
        bool changedSince;
    } cases[] = {
        {"no ID3v2 tag", "", false, false},
        {"2.4 tag with padding", tag(4, frame(4, "TPE1", "\x03Someone"s), 512), true, false},
        {"2.3 tag with TYER and an APIC",
            tag(3,
                frame(3, "TYER",
                    "\x00"
                    "1999"s)
                    + frame(3, "APIC", "\x00image/png\x00\x03\x00PNG"s)),
            false, false},
        {"changed since", tag(4, "", 512), true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        path = tree.file(
            "a.mp3", c.head + lameAudio() + v11("Title", "Artist", "", "2001", "", 13, 7));
        ::chmod(path.c_str(), 0640);
        const timespec old[2] = {{0, UTIME_OMIT}, {1200000000, 777}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
        const testing_support::Snapshot before = testing_support::snapshot(path);
        const editing::ExportRunResult result = exportBatch({path});
        ASSERT_EQ(result.written, 1u);
        const std::string exported = readBytes(path);
        EXPECT_EQ(exported.size() == before.bytes.size(), c.inPlace);
        if (c.changedSince) {
            tree.file("a.mp3", exported.substr(0, exported.size() - 128) + tagBytes("Other"), 0640);
            const std::string changed = readBytes(path);
            const editing::RestoreResult undone = restore(true);
            ASSERT_EQ(undone.leftAlone.size(), 1u);
            EXPECT_EQ(undone.leftAlone[0].why, editing::LeftAloneFile::Why::Changed);
            EXPECT_EQ(readBytes(path), changed);
        } else {
            EXPECT_TRUE(restore(true).leftAlone.empty());
            EXPECT_EQ(testing_support::snapshot(path), before);
            EXPECT_TRUE(restore(false).leftAlone.empty());
            EXPECT_EQ(readBytes(path), exported);
            expectMutagen({{"TIT2", "Title"}, {"TRCK", "7"}});
            EXPECT_TRUE(restore(true).leftAlone.empty());
            EXPECT_EQ(testing_support::snapshot(path), before);
        }
        ::unlink(journal()->path().c_str());
    }
}

// A kill before or part way through an in-place write leaves the old region, or pages of both,
// and the next undo puts the old file back.
TEST_F(ExportJournal, KilledInPlaceWriteIsFinishedByUndo)
{
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    // A kept frame that ends just before the second page boundary: the frames added after it
    // cross that boundary, so a write cut there leaves a region that is neither old nor new.
    std::string priv = "owner"s + '\0';
    for (std::size_t i = 0; priv.size() < 2 * page - 40; ++i)
        priv += static_cast<char>('a' + i % 26);
    const std::string head = tag(4, frame(4, "PRIV", priv), 2 * page);
    for (const std::size_t tornAfter : {std::size_t(0), 2 * page}) {
        SCOPED_TRACE(tornAfter);
        path = tree.file("a.mp3", head + lameAudio() + tagBytes("Title", "Artist"));
        const std::string before = readBytes(path);
        const int status
            = testing_support::killedBeforeCall(testing_support::FaultyFileSystem::Call::Pwrite,
                tags::linkTarget(path), 1, tornAfter, [&] { exportBatch({path}); });
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        EXPECT_EQ(readBytes(path) == before, tornAfter == 0);
        const editing::RestoreResult undone = restore(true);
        EXPECT_TRUE(undone.leftAlone.empty());
        EXPECT_EQ(undone.restored, 1u);
        EXPECT_EQ(readBytes(path), before);
        ::unlink(journal()->path().c_str());
    }
}

// A batch whose old and new regions would not fit the journal writes nothing and says how
// large it would be.
TEST_F(ExportJournal, BatchTooLargeForTheJournalIsRefusedBeforeAnyWrite)
{
    path = tree.file("a.mp3",
        tag(4, frame(4, "TPE1", "\x03Someone"s), 3 << 20) + lameAudio() + tagBytes("Title"));
    const std::string other = tree.file("b.mp3", lameAudio() + tagBytes("B"));
    const std::string before = readBytes(path), otherBefore = readBytes(other);
    const editing::ExportRunResult result = exportBatch({other, path}, 4 << 20);
    EXPECT_NE(result.refusal.find("6.1 MiB"), std::string::npos) << result.refusal;
    EXPECT_NE(result.refusal.find("4.0 MiB"), std::string::npos) << result.refusal;
    EXPECT_EQ(result.written, 0u);
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(readBytes(other), otherBefore);
    EXPECT_TRUE(journal()->history(5).empty());
}

} // namespace
