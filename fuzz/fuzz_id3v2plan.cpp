// The ID3v2 export's plan on an existing tag of any bytes: it never crashes, a refusal says
// why, and a tag it would write reads back with every planned frame, the kept ones byte for
// byte, and fits the old region exactly when written in place.

#include <algorithm>
#include <iterator>

#include "fuzz/targets.h"
#include "tags/id3v2export.h"
#include "tags/id3v2layout.h"

using namespace std::string_literals;

namespace fuzz {

namespace {

// A tag body from the input: mostly well-formed frames of the fields' and other kinds with
// any flags and contents, so that the plan's cases are reached; raw bytes otherwise.
std::string tagBody(int version, const std::uint8_t *data, std::size_t size, bool raw)
{
    if (raw)
        return std::string(reinterpret_cast<const char *>(data), size);
    static const char *const ids[] = {"TIT2", "TPE1", "TALB", "TDRC", "TYER", "TCON", "TRCK",
        "COMM", "TXXX", "APIC", "RVAD", "TDAT", "PRIV", "XYZ1"};
    std::string body;
    for (std::size_t at = 0; at + 4 <= size;) {
        const std::size_t length = std::min<std::size_t>(data[at + 1] % 48, size - at - 4);
        const auto n = static_cast<std::uint32_t>(length);
        body += ids[data[at] % std::size(ids)];
        body += version == 4 ? tags::syncSafeBytes(n) : tags::bigEndianBytes(n);
        body += static_cast<char>(data[at + 2] & 0x60);
        body += static_cast<char>(data[at + 3] & 0x41);
        body.append(reinterpret_cast<const char *>(data) + at + 4, length);
        at += 4 + length;
    }
    return body + std::string(size > 0 ? data[0] % 64 : 0, '\0');
}

} // namespace

bool id3v2Plan(const std::uint8_t *data, std::size_t size)
{
    if (size < 3)
        return true;
    // Mostly versions 3 and 4 with a footer or not; any version from 2 to 5 and any flags
    // otherwise. The size matches the bytes given.
    const bool odd = (data[2] & 8) != 0;
    const int version = odd ? 2 + data[0] % 4 : 3 + data[0] % 2;
    const char flags = static_cast<char>(odd ? data[1] : data[1] & 0x10);
    const std::string body = tagBody(version, data + 3, size - 3, (data[2] & 4) != 0);
    std::string tag = "ID3"s + static_cast<char>(version) + '\0' + flags
        + tags::syncSafeBytes(static_cast<std::uint32_t>(body.size())) + body;
    tag.resize(tags::id3v2TagSize(tag), '\0');

    tags::ExportSource source;
    source.oldTag = tag;
    tags::Block block {};
    const std::string v1 = "TAG\x83\x65\x83\x58\x83\x67";
    std::copy(v1.begin(), v1.end(), block.begin());
    block[93] = '1';
    block[94] = '9';
    block[125] = '\0';
    block[126] = 3;
    block[127] = 17;
    source.id3v1 = block;
    source.folderWritable = (data[2] & 1) != 0;
    const tags::ExportPlan plan
        = tags::planExport(source, {platform::CodePage::Cp932, (data[2] & 2) != 0});
    if (plan.state == tags::ExportState::Refused)
        return !plan.refusal.empty() && !plan.writes();
    if (!plan.writes())
        return plan.region.newRegion.empty();
    const std::string &region = plan.region.newRegion;
    if (plan.region.inPlace() != (region.size() == tag.size())
        || (!plan.region.inPlace() && !source.folderWritable))
        return false;
    return tags::checkExportedRegion(region, plan).empty();
}

} // namespace fuzz
