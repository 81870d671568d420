#pragma once

#include <string>
#include <string_view>

namespace platform {

// The byte-text rules shared by the whole program. Texts are bytes of the tag code page; these
// rules look at single bytes only, without regard to double-byte characters.

// True for the bytes that trimming removes: 0x00 to 0x20 (space, zero and control bytes).
constexpr bool isBlankByte(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}

// The text without its leading and trailing bytes of value 0x00 to 0x20. Bytes inside
// stay, zero bytes included. Shift-JIS lead and trail bytes are all above 0x20, so this
// never cuts a character.
std::string_view trimmedView(std::string_view text);
std::string trimmed(std::string_view text);

// ASCII upper-case fold: bytes 0x61 to 0x7A lowered by 0x20, every other byte unchanged.
// A trail byte in that range is folded too.
constexpr char asciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
}
std::string asciiUpper(std::string_view text);

} // namespace platform
