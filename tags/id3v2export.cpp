#include "tags/id3v2export.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include <taglib/commentsframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/textidentificationframe.h>

#include "platform/bytetext.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/temporaryfile.h"
#include "tags/genretable.h"
#include "tags/id3v2layout.h"

namespace tags {

namespace {

constexpr const char *FieldNames[]
    = {"Title", "Artist", "Album", "Year", "Genre", "Comment", "Track"};
constexpr const char *FrameIds[] = {"TIT2", "TPE1", "TALB", "TDRC", "TCON", "COMM", "TRCK"};
constexpr char YearDescription[] = "YEAR";
static_assert(std::size(FieldNames) == ExportFieldCount && std::size(FrameIds) == ExportFieldCount);

std::size_t indexOf(ExportField field)
{
    return static_cast<std::size_t>(field);
}

TagLib::String unicode(const std::string &utf8)
{
    return TagLib::String(utf8, TagLib::String::UTF8);
}

std::string utf8Of(const TagLib::String &text)
{
    return text.to8Bit(true);
}

// True when `tail` is the start of a character the field's end cut off: a lone lead byte of
// a double-byte code page, or an unfinished UTF-8 sequence.
bool isCutCharacter(platform::CodePage codePage, std::string_view tail)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(tail[i]); };
    switch (codePage) {
    case platform::CodePage::Cp932:
        return tail.size() == 1
            && ((byte(0) >= 0x81 && byte(0) <= 0x9F) || (byte(0) >= 0xE0 && byte(0) <= 0xFC));
    case platform::CodePage::Cp936:
    case platform::CodePage::Cp949:
    case platform::CodePage::Cp950:
        return tail.size() == 1 && byte(0) >= 0x81 && byte(0) <= 0xFE;
    case platform::CodePage::Utf8: {
        const std::size_t needed = byte(0) >= 0xF0 && byte(0) <= 0xF4 ? 4
            : byte(0) >= 0xE0 && byte(0) <= 0xEF                      ? 3
            : byte(0) >= 0xC2 && byte(0) <= 0xDF                      ? 2
                                                                      : 0;
        if (tail.size() >= needed)
            return false;
        for (std::size_t i = 1; i < tail.size(); ++i) {
            if ((byte(i) & 0xC0) != 0x80)
                return false;
        }
        return true;
    }
    default:
        return false;
    }
}

// One ID3v1 text field as written: up to its first zero byte, trimmed, decoded. A full field
// whose last character was cut loses the cut bytes and says so.
bool decodeField(
    std::string_view field, platform::CodePage codePage, std::string &text, bool &truncated)
{
    const std::string_view cut = field.substr(0, field.find('\0'));
    const std::string_view trimmed = platform::trimmedView(cut);
    if (std::optional<std::string> decoded = platform::decodeExactly(codePage, trimmed)) {
        text = std::move(*decoded);
        return true;
    }
    const bool full = cut.size() == field.size() && !trimmed.empty()
        && trimmed.data() + trimmed.size() == field.data() + field.size();
    for (std::size_t k = 1; full && k < platform::maxCharBytes(codePage) && k < trimmed.size();
         ++k) {
        if (!isCutCharacter(codePage, trimmed.substr(trimmed.size() - k)))
            continue;
        const std::string_view rest = platform::trimmedView(trimmed.substr(0, trimmed.size() - k));
        if (std::optional<std::string> decoded = platform::decodeExactly(codePage, rest)) {
            text = std::move(*decoded);
            truncated = true;
            return true;
        }
    }
    return false;
}

bool isFourDigitYear(const std::string &year)
{
    return year.size() == 4
        && std::all_of(year.begin(), year.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A frame of the old tag: its bytes, and what TagLib reads in it.
struct OldFrame
{
    std::string id;
    std::string bytes;
    std::string text;
    std::string description; // of a COMM or TXXX
    bool parsed = false;
};

std::unique_ptr<TagLib::ID3v2::Frame> parseFrame(
    std::string_view bytes, const TagLib::ID3v2::Header &header)
{
    return std::unique_ptr<TagLib::ID3v2::Frame>(
        TagLib::ID3v2::FrameFactory::instance()->createFrame(
            TagLib::ByteVector(bytes.data(), static_cast<unsigned>(bytes.size())), &header));
}

void readFrame(OldFrame &frame, const TagLib::ID3v2::Header &header)
{
    const std::unique_ptr<TagLib::ID3v2::Frame> parsed = parseFrame(frame.bytes, header);
    if (const auto *comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame *>(parsed.get())) {
        frame.text = utf8Of(comment->text());
        frame.description = utf8Of(comment->description());
        frame.parsed = true;
    } else if (const auto *user
        = dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame *>(parsed.get())) {
        const TagLib::StringList fields = user->fieldList();
        frame.description = utf8Of(user->description());
        frame.text = fields.size() > 1 ? utf8Of(fields[1]) : std::string();
        frame.parsed = true;
    } else if (const auto *text
        = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame *>(parsed.get())) {
        frame.text = utf8Of(text->toString());
        frame.parsed = true;
    }
}

// The field an old frame belongs to, or Count. `isTxxxYear` is set for a TXXX "YEAR".
ExportField fieldOf(const OldFrame &frame, bool &isTxxxYear)
{
    isTxxxYear = false;
    if (frame.id == "TDRC" || frame.id == "TYER")
        return ExportField::Year;
    if (frame.id == "TXXX" && frame.parsed && frame.description == YearDescription) {
        isTxxxYear = true;
        return ExportField::Year;
    }
    for (const ExportField field : {ExportField::Title, ExportField::Artist, ExportField::Album,
             ExportField::Genre, ExportField::Track}) {
        if (frame.id == FrameIds[indexOf(field)])
            return field;
    }
    return ExportField::Count;
}

// TagLib frames rendered for a given tag version (their header is protected).
template<typename F> class VersionedFrame final : public F
{
public:
    template<typename... Args>
    explicit VersionedFrame(int version, Args &&...args)
        : F(std::forward<Args>(args)...)
    {
        F::header()->setVersion(static_cast<unsigned>(version));
    }
};

std::string bytesOf(const TagLib::ByteVector &bytes)
{
    return std::string(bytes.data(), bytes.size());
}

std::string renderFrame(ExportField field, const std::string &text, int version)
{
    // 2.3 has no UTF-8: its texts go as UTF-16 with a byte order mark.
    const TagLib::String::Type encoding
        = version == 4 ? TagLib::String::UTF8 : TagLib::String::UTF16;
    if (field == ExportField::Comment) {
        VersionedFrame<TagLib::ID3v2::CommentsFrame> frame(version, encoding);
        frame.setLanguage("und");
        frame.setDescription(TagLib::String());
        frame.setText(unicode(text));
        return bytesOf(frame.render());
    }
    if (field == ExportField::Year && !isFourDigitYear(text)) {
        VersionedFrame<TagLib::ID3v2::UserTextIdentificationFrame> frame(version, encoding);
        frame.setDescription(YearDescription);
        frame.setText(unicode(text));
        return bytesOf(frame.render());
    }
    const char *id = field == ExportField::Year && version == 3 ? "TYER" : FrameIds[indexOf(field)];
    VersionedFrame<TagLib::ID3v2::TextIdentificationFrame> frame(
        version, TagLib::ByteVector(id), encoding);
    frame.setText(unicode(text));
    return bytesOf(frame.render());
}

// True when the frame already says what would be written: equal text, or a date or a
// "track/total" that starts with it.
bool saysAlready(const OldFrame &frame, ExportField field, const std::string &text)
{
    if (frame.text == text)
        return true;
    const char separator = field == ExportField::Year ? '-' : field == ExportField::Track ? '/' : 0;
    return separator != 0 && frame.text.size() > text.size()
        && frame.text.compare(0, text.size(), text) == 0 && frame.text[text.size()] == separator;
}

ExportPlan refusedPlan(ExportPlan plan, std::string why)
{
    plan.state = ExportState::Refused;
    plan.refusal = std::move(why);
    plan.frames.clear();
    plan.region = {};
    return plan;
}

} // namespace

ExportTexts exportTexts(const Block &block, platform::CodePage codePage)
{
    ExportTexts result;
    const TTagRecord record = parseTag(block);
    const std::string comment = commentText(record);
    const std::pair<ExportField, const std::string *> fields[] = {
        {ExportField::Title, &record.Title},
        {ExportField::Artist, &record.Artist},
        {ExportField::Album, &record.Album},
        {ExportField::Year, &record.Year},
        {ExportField::Comment, &comment},
    };
    for (const auto &[field, bytes] : fields) {
        const std::size_t i = indexOf(field);
        if (!decodeField(*bytes, codePage, result.texts[i], result.truncated[i])
            && result.refusal.empty())
            result.refusal = std::string(FieldNames[i]) + " に " + platform::codePageTitle(codePage)
                + " で読めないバイトがあります";
    }
    result.texts[indexOf(ExportField::Genre)] = GenreCodeToName(record.Genre);
    if (hasTrackNumber(block))
        result.texts[indexOf(ExportField::Track)] = std::to_string(trackNumber(record));
    return result;
}

const char *exportStateName(ExportState state)
{
    switch (state) {
    case ExportState::NewTag:
        return "new";
    case ExportState::AddFrames:
        return "add";
    case ExportState::ReplaceFrames:
        return "replace";
    case ExportState::Nothing:
        return "nothing";
    case ExportState::Refused:
        break;
    }
    return "refused";
}

ExportPlan planExport(const ExportSource &source, const ExportOptions &options)
{
    ExportPlan plan;
    if (!source.id3v1)
        return refusedPlan(plan, "ID3v1 タグがありません");
    plan.texts = exportTexts(*source.id3v1, options.codePage);
    if (!plan.texts.refusal.empty())
        return refusedPlan(plan, plan.texts.refusal);
    if (source.tagAtEnd)
        return refusedPlan(plan, "既存の ID3v2 タグはファイルの末尾にあり、この版では保てません");
    if (source.tagOverruns)
        return refusedPlan(plan, "既存の ID3v2 タグは壊れていて、この版では保てません");

    Id3v2Layout layout;
    std::vector<OldFrame> old;
    const bool hadTag = !source.oldTag.empty();
    if (hadTag) {
        layout = walkId3v2(source.oldTag);
        if (!layout.refusal.empty())
            return refusedPlan(plan, layout.refusal);
        const TagLib::ID3v2::Header header(
            TagLib::ByteVector(source.oldTag.data(), Id3v2HeaderSize));
        for (const Id3v2Frame &frame : layout.frames) {
            OldFrame entry {
                frame.id, source.oldTag.substr(frame.offset, frame.size), {}, {}, false};
            readFrame(entry, header);
            old.push_back(std::move(entry));
        }
        plan.version = layout.version;
    }

    // Each old frame's field; the comment is the first COMM without a description.
    std::vector<ExportField> fieldOfOld(old.size(), ExportField::Count);
    std::vector<bool> txxxYear(old.size(), false);
    bool commentSeen = false;
    for (std::size_t i = 0; i < old.size(); ++i) {
        bool isTxxx = false;
        fieldOfOld[i] = fieldOf(old[i], isTxxx);
        txxxYear[i] = isTxxx;
        if (old[i].id == "COMM" && old[i].parsed && old[i].description.empty() && !commentSeen) {
            fieldOfOld[i] = ExportField::Comment;
            commentSeen = true;
        }
    }

    std::vector<bool> removed(old.size(), false);
    std::vector<ExportFrame> appendedFrames;
    std::vector<std::pair<std::size_t, ExportFrame>> insertedFrames;
    for (std::size_t f = 0; f < ExportFieldCount; ++f) {
        const auto field = static_cast<ExportField>(f);
        const std::string &text = plan.texts.texts[f];
        if (text.empty())
            continue;
        const bool fourDigits = isFourDigitYear(text);
        // The frames that make the field present; a TXXX "YEAR" counts only where it is what
        // would be written.
        std::vector<std::size_t> group, counting;
        for (std::size_t i = 0; i < old.size(); ++i) {
            if (fieldOfOld[i] != field)
                continue;
            group.push_back(i);
            if (!(txxxYear[i] && fourDigits))
                counting.push_back(i);
        }
        const auto present = std::find_if(counting.begin(), counting.end(),
            [&](std::size_t i) { return !old[i].text.empty() || !old[i].parsed; });
        std::vector<std::size_t> replacing;
        if (present != counting.end()) {
            if (!options.overwrite || saysAlready(old[*present], field, text)) {
                plan.changes[f] = FrameChange::Kept;
                continue;
            }
            plan.changes[f] = FrameChange::Replaced;
            replacing = group;
        } else {
            plan.changes[f] = FrameChange::Added;
            replacing = counting; // empty frames of the field
        }
        ExportFrame frame {renderFrame(field, text, plan.version), true, field};
        if (replacing.empty()) {
            appendedFrames.push_back(std::move(frame));
        } else {
            for (const std::size_t i : replacing)
                removed[i] = true;
            insertedFrames.emplace_back(replacing.front(), std::move(frame));
        }
    }

    const bool anyWritten = std::any_of(plan.changes.begin(), plan.changes.end(),
        [](FrameChange c) { return c == FrameChange::Added || c == FrameChange::Replaced; });
    if (!anyWritten) {
        plan.state = ExportState::Nothing;
        return plan;
    }
    plan.state = !hadTag ? ExportState::NewTag
        : std::count(plan.changes.begin(), plan.changes.end(), FrameChange::Replaced) > 0
        ? ExportState::ReplaceFrames
        : ExportState::AddFrames;

    // The frames in the old order, each written one where the first frame it replaces was.
    for (std::size_t i = 0; i < old.size(); ++i) {
        for (auto &[at, frame] : insertedFrames) {
            if (at == i)
                plan.frames.push_back(frame);
        }
        if (!removed[i])
            plan.frames.push_back({old[i].bytes, false, ExportField::Count});
    }
    plan.frames.insert(plan.frames.end(), appendedFrames.begin(), appendedFrames.end());

    const bool footer = hadTag && layout.version == 4 && (layout.flags & Id3v2Footer);
    std::size_t used = Id3v2HeaderSize + layout.extendedHeader.size();
    for (const ExportFrame &frame : plan.frames)
        used += frame.bytes.size();
    const std::size_t footerSize = footer ? Id3v2HeaderSize : 0;
    const std::size_t oldSize = source.oldTag.size();
    // A tag with a footer takes no padding, so it fits in place only at its exact size.
    const bool fits
        = hadTag && (footer ? used + footerSize == oldSize : used + footerSize <= oldSize);
    if (!fits && !source.folderWritable)
        return refusedPlan(plan, "フォルダに書き込めず、タグが元の場所に収まりません");
    const std::size_t total = fits ? oldSize : used + footerSize + (footer ? 0 : ExportPadding);
    if (total - Id3v2HeaderSize - footerSize >= (1u << 28))
        return refusedPlan(plan, "ID3v2 タグが大きすぎます");

    std::string region = "ID3";
    region += static_cast<char>(plan.version);
    region += '\0';
    const std::uint8_t keptFlags = hadTag ? (layout.flags & 0x20) : 0; // experimental
    region += static_cast<char>(keptFlags
        | (layout.extendedHeader.empty() ? 0 : Id3v2ExtendedHeader) | (footer ? Id3v2Footer : 0));
    region += syncSafeBytes(static_cast<std::uint32_t>(total - Id3v2HeaderSize - footerSize));
    region += layout.extendedHeader;
    for (const ExportFrame &frame : plan.frames)
        region += frame.bytes;
    region.resize(total - footerSize, '\0');
    if (footer)
        region += "3DI" + region.substr(3, Id3v2HeaderSize - 3);

    plan.region.oldRegion = source.oldTag;
    plan.region.newRegion = std::move(region);
    plan.region.fileSize = source.fileSize;
    plan.region.tail = source.id3v1;
    return plan;
}

std::string checkExportedRegion(std::string_view region, const ExportPlan &plan)
{
    if (id3v2TagSize(region) != region.size())
        return "ID3v2 ヘッダーが違います";
    const Id3v2Layout layout = walkId3v2(region);
    if (!layout.refusal.empty() || layout.version != plan.version
        || layout.frames.size() != plan.frames.size())
        return "フレームが違います";
    const TagLib::ID3v2::Header header(TagLib::ByteVector(region.data(), Id3v2HeaderSize));
    for (std::size_t i = 0; i < plan.frames.size(); ++i) {
        const ExportFrame &expected = plan.frames[i];
        const std::string_view bytes
            = region.substr(layout.frames[i].offset, layout.frames[i].size);
        if (!expected.written) {
            if (bytes != expected.bytes)
                return "残すフレームが違います";
            continue;
        }
        OldFrame frame {std::string(bytes.substr(0, 4)), std::string(bytes), {}, {}, false};
        readFrame(frame, header);
        const std::string &text = plan.texts.text(expected.field);
        const bool isUserYear = expected.field == ExportField::Year && !isFourDigitYear(text);
        const std::string description = isUserYear ? YearDescription : "";
        if (!frame.parsed || frame.id != expected.bytes.substr(0, 4) || frame.text != text
            || frame.description != description)
            return std::string(FieldNames[indexOf(expected.field)]) + " のフレームが違います";
    }
    const Id3v2Frame *last = layout.frames.empty() ? nullptr : &layout.frames.back();
    const std::size_t paddingStart
        = last ? last->offset + last->size : Id3v2HeaderSize + layout.extendedHeader.size();
    const std::size_t paddingEnd = region.size()
        - (layout.version == 4 && (layout.flags & Id3v2Footer) ? Id3v2HeaderSize : 0);
    if (region.substr(paddingStart, paddingEnd - paddingStart).find_first_not_of('\0')
        != std::string_view::npos)
        return "パディングが違います";
    return {};
}

ExportSource readExportSource(const std::string &path)
{
    struct stat st;
    platform::UniqueFd fd = platform::openRegularFile(path.c_str(), O_RDONLY, &st);
    if (!fd.isValid())
        throw platform::Error(platform::cannotOpenMessage(path));
    ExportSource source;
    source.fileSize = st.st_size;
    const auto size = static_cast<std::size_t>(st.st_size);
    std::string head(Id3v2HeaderSize, '\0');
    if (size >= BlockSize) {
        Block tail;
        if (!platform::readFully(fd.get(), tail.data(), BlockSize, st.st_size - BlockSize))
            throw platform::Error(platform::cannotOpenMessage(path));
        if (isFileTag(tail))
            source.id3v1 = tail;
    }
    const std::size_t audioEnd = size - (source.id3v1 ? BlockSize : 0);
    if (size >= Id3v2HeaderSize && platform::readFully(fd.get(), head.data(), head.size(), 0)) {
        if (const std::size_t tagSize = id3v2TagSize(head)) {
            source.tagOverruns = tagSize > audioEnd;
            if (!source.tagOverruns) {
                source.oldTag.resize(tagSize);
                if (!platform::readFully(fd.get(), source.oldTag.data(), tagSize, 0))
                    throw platform::Error(platform::cannotOpenMessage(path));
            }
        }
    }
    if (audioEnd >= source.oldTag.size() + Id3v2HeaderSize) {
        std::string before(Id3v2HeaderSize, '\0');
        if (platform::readFully(fd.get(), before.data(), before.size(),
                static_cast<off_t>(audioEnd - Id3v2HeaderSize)))
            source.tagAtEnd = endsWithId3v2Footer(before);
    }
    source.folderWritable = ::access(platform::folderOf(linkTarget(path)).c_str(), W_OK) == 0;
    return source;
}

namespace {

// The plan for a file, its tag checked as TagLib reads it before anything is written.
ExportPlan checkedPlan(const std::string &path, const ExportOptions &options)
{
    ExportPlan plan = planExport(readExportSource(path), options);
    if (plan.writes()) {
        if (const std::string why = checkExportedRegion(plan.region.newRegion, plan); !why.empty())
            throw platform::Error("ファイル " + path + " の書き出しを確かめられませんでした (" + why
                + ")。元のファイルはそのままです");
    }
    return plan;
}

} // namespace

ExportPlan exportToId3v2(
    const std::string &path, const ExportOptions &options, ITagRegionObserver *observer)
{
    const ExportPlan plan = checkedPlan(path, options);
    if (plan.writes())
        replaceTagRegion(
            path, plan.region,
            [&plan](std::string_view region) { return checkExportedRegion(region, plan); },
            observer);
    return plan;
}

ExportPlan exportToId3v2(
    const std::string &path, const ExportOptions &options, TagRegionBatch &batch)
{
    const ExportPlan plan = checkedPlan(path, options);
    if (plan.writes())
        batch.add(path, plan.region,
            [&plan](std::string_view region) { return checkExportedRegion(region, plan); });
    return plan;
}

} // namespace tags
