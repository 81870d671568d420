#include "tags/id3v2layout.h"

namespace tags {

namespace {

unsigned char byteAt(std::string_view bytes, std::size_t i)
{
    return static_cast<unsigned char>(bytes[i]);
}

bool isFrameIdByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

Id3v2Layout refused(Id3v2Layout layout, const char *why)
{
    layout.frames.clear();
    layout.refusal = std::string("既存の ID3v2 タグは") + why + "、この版では保てません";
    return layout;
}

} // namespace

std::uint32_t syncSafeValue(std::string_view four)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 7) | (byteAt(four, i) & 0x7F);
    return value;
}

std::string syncSafeBytes(std::uint32_t value)
{
    std::string bytes(4, '\0');
    for (int i = 3; i >= 0; --i, value >>= 7)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(value & 0x7F);
    return bytes;
}

std::uint32_t bigEndianValue(std::string_view four)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | byteAt(four, i);
    return value;
}

std::string bigEndianBytes(std::uint32_t value)
{
    std::string bytes(4, '\0');
    for (int i = 3; i >= 0; --i, value >>= 8)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(value & 0xFF);
    return bytes;
}

bool startsWithId3v2(std::string_view head)
{
    if (head.size() < Id3v2HeaderSize || head.substr(0, 3) != "ID3")
        return false;
    if (byteAt(head, 3) == 0xFF || byteAt(head, 4) == 0xFF)
        return false;
    for (std::size_t i = 6; i < 10; ++i) {
        if (byteAt(head, i) >= 0x80)
            return false;
    }
    return true;
}

std::size_t id3v2TagSize(std::string_view head)
{
    if (!startsWithId3v2(head))
        return 0;
    const bool footer = byteAt(head, 3) >= 4 && (byteAt(head, 5) & Id3v2Footer) != 0;
    return Id3v2HeaderSize + syncSafeValue(head.substr(6, 4)) + (footer ? Id3v2HeaderSize : 0);
}

bool endsWithId3v2Footer(std::string_view tail)
{
    if (tail.size() < Id3v2HeaderSize)
        return false;
    const std::string_view footer = tail.substr(tail.size() - Id3v2HeaderSize);
    return footer.substr(0, 3) == "3DI" && byteAt(footer, 3) == 4 && byteAt(footer, 4) != 0xFF
        && (byteAt(footer, 6) | byteAt(footer, 7) | byteAt(footer, 8) | byteAt(footer, 9)) < 0x80;
}

Id3v2Layout walkId3v2(std::string_view tag)
{
    Id3v2Layout layout;
    layout.version = byteAt(tag, 3);
    layout.flags = byteAt(tag, 5);
    layout.tagSize = tag.size();
    if (layout.version == 2)
        return refused(layout, "ID3v2.2 で");
    if (layout.version != 3 && layout.version != 4)
        return refused(layout, ("ID3v2." + std::to_string(layout.version) + " で").c_str());
    if (layout.flags & Id3v2Unsynchronisation)
        return refused(layout, "タグ全体が非同期化されていて");
    const bool hasFooter = layout.version == 4 && (layout.flags & Id3v2Footer);
    const std::size_t end = tag.size() - (hasFooter ? Id3v2HeaderSize : 0);
    std::size_t at = Id3v2HeaderSize;

    if (layout.flags & Id3v2ExtendedHeader) {
        if (end < at + 6)
            return refused(layout, "壊れていて");
        std::size_t size;
        bool crc;
        if (layout.version == 3) {
            // Its size leaves out its own four bytes; it holds the padding size and the CRC
            // only, so a rewritten tag goes without it.
            size = 4 + bigEndianValue(tag.substr(at, 4));
            crc = (byteAt(tag, at + 4) & 0x80) != 0;
        } else {
            size = syncSafeValue(tag.substr(at, 4));
            crc = byteAt(tag, at + 4) >= 1 && (byteAt(tag, at + 5) & 0x20) != 0;
        }
        if (size < 6 || at + size > end)
            return refused(layout, "壊れていて");
        if (crc)
            return refused(layout, "拡張ヘッダーに CRC があり");
        if (layout.version == 4)
            layout.extendedHeader = std::string(tag.substr(at, size));
        at += size;
    }

    while (at < end && tag[at] != '\0') {
        if (end - at < Id3v2FrameHeaderSize)
            return refused(layout, "壊れていて");
        const std::string_view header = tag.substr(at, Id3v2FrameHeaderSize);
        for (std::size_t i = 0; i < 4; ++i) {
            if (!isFrameIdByte(header[i]))
                return refused(layout, "壊れていて");
        }
        const std::string_view sizeBytes = header.substr(4, 4);
        // Some taggers write 2.4 frame sizes as plain integers; a byte with its top bit set
        // can only be one, and is read so, as other readers do.
        const bool plain = layout.version == 3
            || ((byteAt(sizeBytes, 0) | byteAt(sizeBytes, 1) | byteAt(sizeBytes, 2)
                    | byteAt(sizeBytes, 3))
                & 0x80);
        const std::size_t size = plain ? bigEndianValue(sizeBytes) : syncSafeValue(sizeBytes);
        if (size > end - at - Id3v2FrameHeaderSize)
            return refused(layout, "壊れていて");
        layout.frames.push_back(
            {std::string(header.substr(0, 4)), at, Id3v2FrameHeaderSize + size});
        at += Id3v2FrameHeaderSize + size;
    }
    return layout;
}

} // namespace tags
