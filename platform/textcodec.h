#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Conversion between the program's byte texts and Unicode (UTF-8), on glibc's iconv.
// Tag texts are CP932 (Shift-JIS, the windows-31j table); file names are the file
// system's bytes, UTF-8 by convention. Called only where text is shown or typed.

// Decodes CP932 bytes. Never fails: each byte that does not start a valid character shows
// as U+FFFD, and decoding resumes at the next byte.
std::string cp932ToUtf8(std::string_view bytes);

// Encodes UTF-8 text to CP932, or nothing when the text holds a character that CP932
// cannot hold (or is not valid UTF-8). glibc's one-way mappings are taken, so 〜 (U+301C)
// gives 81 60 as Linux input methods type it.
std::optional<std::string> utf8ToCp932(std::string_view utf8);

// Shows file-system bytes name by name (between slashes): a valid UTF-8 name as it is, one
// that is valid CP932 only (from a Windows archive) decoded as CP932, and in any other
// name every invalid byte as U+FFFD. For showing only: the bytes stay the file's name.
std::string fileNameToUtf8(std::string_view bytes);

// True when the bytes are valid UTF-8.
bool isValidUtf8(std::string_view bytes);

} // namespace platform
