#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/textcodec.h"
#include "tags/id3v1.h"
#include "tags/tagregion.h"

namespace tags {

// Writing a file's ID3v1 texts, decoded from their code page, into a Unicode ID3v2 tag at
// the file's start. An existing ID3v2 tag keeps every frame that is not written, byte for
// byte; the ID3v1 tag and everything after the ID3v2 tag stay as they are.

// The fields written, each to its own frame.
enum class ExportField { Title, Artist, Album, Year, Genre, Comment, Track, Count };
constexpr std::size_t ExportFieldCount = static_cast<std::size_t>(ExportField::Count);

// The ID3v1 texts as they are written: trimmed, up to the first zero byte, decoded to UTF-8.
struct ExportTexts
{
    std::array<std::string, ExportFieldCount> texts;
    // A double-byte character cut at the end of a full field by an old tagger: its lone
    // lead byte was dropped, which the preview marks with TruncatedMark.
    std::array<bool, ExportFieldCount> truncated {};
    // Why the texts cannot be written (a field the code page cannot decode), or empty.
    std::string refusal;

    const std::string &text(ExportField field) const
    {
        return texts[static_cast<std::size_t>(field)];
    }
};

constexpr char TruncatedMark[] = "切り詰め";

ExportTexts exportTexts(const Block &block, platform::CodePage codePage);

struct ExportOptions
{
    platform::CodePage codePage = platform::CodePage::Cp932;
    // Off: only frames the tag lacks are added. On: a frame is replaced by the ID3v1 text
    // when that text is not empty and differs from it.
    bool overwrite = false;
};

enum class ExportState { NewTag, AddFrames, ReplaceFrames, Nothing, Refused };
// "new", "add", "replace", "nothing", "refused".
const char *exportStateName(ExportState state);

// What happens to one field's frame.
enum class FrameChange {
    None,     // the ID3v1 field is empty
    Kept,     // the tag has the frame and it stays
    Added,    // written where the tag had none (or only an empty one)
    Replaced, // written in place of the tag's frame
};

// What the file holds, as read: the bytes of an ID3v2 tag at its start (empty when none),
// its ID3v1 block, and the facts that decide whether it can be written.
struct ExportSource
{
    std::string oldTag;
    std::optional<Block> id3v1;
    off_t fileSize = 0;
    bool tagAtEnd = false;    // an ID3v2 tag (footer) before the ID3v1 block
    bool tagOverruns = false; // the tag's size reaches into the ID3v1 block
    bool folderWritable = true;
};

// One frame of the tag written: kept from the old tag, or written for a field.
struct ExportFrame
{
    std::string bytes;
    bool written = false;
    ExportField field = ExportField::Count;
};

struct ExportPlan
{
    ExportState state = ExportState::Nothing;
    std::string refusal;
    ExportTexts texts;
    std::array<FrameChange, ExportFieldCount> changes {};
    int version = 4; // of the tag written
    std::vector<ExportFrame> frames;
    // The tag region before and after, for the write and for a record of it. Empty regions
    // when nothing is written.
    TagRegionChange region;

    bool writes() const
    {
        return state == ExportState::NewTag || state == ExportState::AddFrames
            || state == ExportState::ReplaceFrames;
    }
};

// The padding a rewritten tag gets, so that later additions fit in place.
constexpr std::size_t ExportPadding = 1024;

// The plan from the file's bytes: the same source and options give the same plan.
ExportPlan planExport(const ExportSource &source, const ExportOptions &options);

// Reads what planExport needs from the file. Throws platform::Error with
// "ファイル %s は開けません" when it cannot be opened.
ExportSource readExportSource(const std::string &path);

// Checks a tag region as written: every frame planned is there, kept frames byte for byte
// and written ones read back by TagLib with their texts. Gives why not, or empty.
std::string checkExportedRegion(std::string_view region, const ExportPlan &plan);

// Plans and writes one file (replaceTagRegion) and gives the plan it followed; a plan that
// writes nothing leaves the file alone. Throws platform::Error as replaceTagRegion does.
ExportPlan exportToId3v2(
    const std::string &path, const ExportOptions &options, ITagRegionObserver *observer = nullptr);
// The same within a batch: a rewritten file is put in place when its group is flushed, and
// fails there among the batch's failures.
ExportPlan exportToId3v2(
    const std::string &path, const ExportOptions &options, TagRegionBatch &batch);

} // namespace tags
