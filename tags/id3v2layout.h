#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tags {

// The byte layout of an ID3v2 tag at a file's start: where its header, extended header,
// frames and padding lie. Only versions 2.3 and 2.4 are walked; the frames' contents are
// left to TagLib. A frame is kept by copying its bytes, so nothing here renders a frame.

constexpr std::size_t Id3v2HeaderSize = 10;
constexpr std::size_t Id3v2FrameHeaderSize = 10;

// Header flags (byte 5).
constexpr std::uint8_t Id3v2Unsynchronisation = 0x80;
constexpr std::uint8_t Id3v2ExtendedHeader = 0x40;
constexpr std::uint8_t Id3v2Footer = 0x10;

// A 28-bit integer in four bytes of seven bits each, as ID3v2 sizes are kept.
std::uint32_t syncSafeValue(std::string_view four);
std::string syncSafeBytes(std::uint32_t value);
std::uint32_t bigEndianValue(std::string_view four);
std::string bigEndianBytes(std::uint32_t value);

struct Id3v2Frame
{
    std::string id;     // four bytes
    std::size_t offset; // of the frame header, from the tag's start
    std::size_t size;   // header included
};

struct Id3v2Layout
{
    int version = 0;            // 3 or 4
    std::uint8_t flags = 0;     // header byte 5
    std::size_t tagSize = 0;    // header, extended header, frames, padding and footer
    std::string extendedHeader; // its bytes, kept as they are (2.4 only)
    std::vector<Id3v2Frame> frames;
    // Why the tag cannot be kept intact by this program, or empty.
    std::string refusal;
};

// True when the bytes start with an ID3v2 header ("ID3", version and sizes in range).
bool startsWithId3v2(std::string_view head);
// The tag's full size from its first 10 bytes (header, body and footer), 0 when there is none.
std::size_t id3v2TagSize(std::string_view head);

// Walks the tag held by `tag` (exactly its id3v2TagSize bytes). A tag this program would
// damage by rewriting (ID3v2.2, tag-level unsynchronisation, an extended header with a CRC,
// frames running past the tag) is given with its refusal set and no frames.
Id3v2Layout walkId3v2(std::string_view tag);

// True when the bytes end with an ID3v2.4 footer ("3DI"), a tag placed at a file's end.
bool endsWithId3v2Footer(std::string_view tail);

} // namespace tags
