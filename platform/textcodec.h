#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Conversion between the program's byte texts and Unicode (UTF-8), on glibc's iconv.
// Tag texts are bytes of the tag code page, the stand-in for a Windows system's ANSI code
// page: CP932 (Shift-JIS, the windows-31j table) unless the user chooses another one. File
// names are the file system's bytes, UTF-8 by convention. Called only where text is shown
// or typed.

// The code pages tag texts can be in, by their Windows numbers.
enum class CodePage {
    Cp932 = 932,
    Cp1252 = 1252,
    Cp1251 = 1251,
    Cp936 = 936,
    Cp949 = 949,
    Cp950 = 950,
    Utf8 = 65001,
};

constexpr CodePage CodePages[] = {CodePage::Cp932, CodePage::Cp1252, CodePage::Cp1251,
    CodePage::Cp936, CodePage::Cp949, CodePage::Cp950, CodePage::Utf8};

// The code page of a Windows code page number, or nothing for any other number.
std::optional<CodePage> codePageOfNumber(long number);
// The code page of a name as the companion takes it (cp932, cp1252, ..., utf-8).
std::optional<CodePage> codePageOfName(std::string_view name);
// The name the companion takes for it ("cp932", ..., "utf-8").
const char *codePageName(CodePage codePage);
// How messages name it ("Shift-JIS (CP932)", "Windows-1252", ..., "UTF-8").
const char *codePageTitle(CodePage codePage);

// The tag code page of this process, CP932 until set. Set from the main thread only, before
// or between the work that decodes.
CodePage tagCodePage();
void setTagCodePage(CodePage codePage);

// Decodes bytes of `codePage`. Never fails: each byte that does not start a valid character
// shows as U+FFFD, and decoding resumes at the next byte.
std::string decodeText(CodePage codePage, std::string_view bytes);

// Decodes bytes of `codePage`, or nothing when a byte does not start a valid character or a
// character is cut off at the end.
std::optional<std::string> decodeExactly(CodePage codePage, std::string_view bytes);

// Encodes UTF-8 text to `codePage`, or nothing when the text holds a character that the code
// page cannot hold (or is not valid UTF-8). glibc's one-way mappings are taken, so under
// CP932 〜 (U+301C) gives 81 60 as Linux input methods type it.
std::optional<std::string> encodeText(CodePage codePage, std::string_view utf8);

// The same in the tag code page.
std::string tagTextToUtf8(std::string_view bytes);
std::optional<std::string> utf8ToTagText(std::string_view utf8);

// The most bytes one character of the code page takes.
std::size_t maxCharBytes(CodePage codePage);

// True for a character that cannot be seen or that acts on its neighbours instead of showing:
// the Unicode categories Cc, Cf, Co, Zl and Zp (CP932's user-defined area decodes to private
// use) except U+200C and U+200D, and U+FFFD for bytes that decode to nothing.
bool isInvisible(char32_t c);

// The mark shown in place of an invisible character, U+25AF, in UTF-8.
constexpr char InvisibleMarkUtf8[] = "\xE2\x96\xAF";
constexpr char32_t InvisibleMark = 0x25AF;

// Decoded UTF-8 text with each invisible character replaced by the mark, for showing.
std::string withInvisibleMarked(std::string_view utf8);

// Shows file-system bytes name by name (between slashes): a valid UTF-8 name as it is, one
// that is valid in the tag code page only (from a Windows archive) decoded from it, and in any
// other name every invalid byte as U+FFFD. For showing only: the bytes stay the file's name.
std::string fileNameToUtf8(std::string_view bytes);

// A tag text and a path as every window shows them: decoded, with each invisible character
// marked. For showing only.
std::string shownTagText(std::string_view bytes);
std::string shownPath(std::string_view bytes);

// True when the bytes are valid UTF-8.
bool isValidUtf8(std::string_view bytes);

} // namespace platform
