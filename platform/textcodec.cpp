#include "platform/textcodec.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <iterator>
#include <memory>

#include <iconv.h>

#include "platform/error.h"

namespace platform {

namespace {

const char ReplacementCharacter[] = "\xEF\xBF\xBD";

// An iconv conversion descriptor.
class Converter
{
public:
    Converter(const char *to, const char *from)
        : m_cd(iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw Error(std::string("iconv: no conversion from ") + from + " to " + to);
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // Converts as far as it can. Gives false at the first byte it cannot convert, with
    // `in` advanced to it; output produced so far is appended to `out`.
    bool convert(std::string_view &in, std::string &out)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buffer[1024];
        char *src = const_cast<char *>(in.data());
        size_t srcLeft = in.size();
        bool ok = true;
        while (srcLeft > 0) {
            char *dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
                ok = false;
                break;
            }
        }
        if (ok) {
            char *dst = buffer;
            size_t dstLeft = sizeof buffer;
            iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
        }
        in.remove_prefix(in.size() - srcLeft);
        return ok;
    }

private:
    iconv_t m_cd;
};

// What the program knows of each code page, in the order of CodePages.
struct CodePageFacts
{
    CodePage codePage;
    const char *iconvName;
    const char *name;  // as the companion takes it
    const char *title; // as messages name it
    std::size_t maxCharBytes;
};
constexpr CodePageFacts Facts[] = {
    {CodePage::Cp932, "CP932", "cp932", "Shift-JIS (CP932)", 2},
    {CodePage::Cp1252, "CP1252", "cp1252", "Windows-1252", 1},
    {CodePage::Cp1251, "CP1251", "cp1251", "Windows-1251", 1},
    {CodePage::Cp936, "CP936", "cp936", "GBK (CP936)", 2},
    {CodePage::Cp949, "CP949", "cp949", "CP949", 2},
    {CodePage::Cp950, "CP950", "cp950", "Big5 (CP950)", 2},
    {CodePage::Utf8, "UTF-8", "utf-8", "UTF-8", 4},
};
static_assert(std::size(Facts) == std::size(CodePages));

std::size_t indexOf(CodePage codePage)
{
    for (std::size_t i = 0; i < std::size(Facts); ++i) {
        if (Facts[i].codePage == codePage)
            return i;
    }
    return 0;
}

const char *iconvName(CodePage codePage)
{
    return Facts[indexOf(codePage)].iconvName;
}

// One conversion descriptor per code page, direction and thread, opened on first use.
Converter &decoder(CodePage codePage)
{
    thread_local std::unique_ptr<Converter> converters[std::size(CodePages)];
    std::unique_ptr<Converter> &converter = converters[indexOf(codePage)];
    if (!converter)
        converter = std::make_unique<Converter>("UTF-8", iconvName(codePage));
    return *converter;
}

Converter &encoder(CodePage codePage)
{
    thread_local std::unique_ptr<Converter> converters[std::size(CodePages)];
    std::unique_ptr<Converter> &converter = converters[indexOf(codePage)];
    if (!converter)
        converter = std::make_unique<Converter>(iconvName(codePage), "UTF-8");
    return *converter;
}

std::atomic<CodePage> currentCodePage {CodePage::Cp932};

bool isAscii(std::string_view bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Length of the valid UTF-8 sequence at the start of `s`, or 0 when it is not one.
size_t utf8SequenceLength(std::string_view s)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(0);
    if (b0 < 0x80)
        return 1;
    size_t length;
    unsigned min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < length)
        return 0;
    unsigned code = b0 & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// The code point of one valid UTF-8 sequence.
char32_t codePointOf(std::string_view one)
{
    const auto b0 = static_cast<unsigned char>(one[0]);
    if (one.size() == 1)
        return b0;
    char32_t code = b0 & (0x7F >> one.size());
    for (size_t i = 1; i < one.size(); ++i)
        code = (code << 6) | (static_cast<unsigned char>(one[i]) & 0x3F);
    return code;
}

} // namespace

std::optional<CodePage> codePageOfNumber(long number)
{
    for (const CodePage codePage : CodePages) {
        if (static_cast<long>(codePage) == number)
            return codePage;
    }
    return std::nullopt;
}

std::optional<CodePage> codePageOfName(std::string_view name)
{
    for (const CodePage codePage : CodePages) {
        if (name == codePageName(codePage))
            return codePage;
    }
    return std::nullopt;
}

const char *codePageName(CodePage codePage)
{
    return Facts[indexOf(codePage)].name;
}

const char *codePageTitle(CodePage codePage)
{
    return Facts[indexOf(codePage)].title;
}

CodePage tagCodePage()
{
    return currentCodePage.load(std::memory_order_relaxed);
}

void setTagCodePage(CodePage codePage)
{
    currentCodePage.store(codePage, std::memory_order_relaxed);
}

std::size_t maxCharBytes(CodePage codePage)
{
    return Facts[indexOf(codePage)].maxCharBytes;
}

std::string decodeText(CodePage codePage, std::string_view bytes)
{
    if (isAscii(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    while (!bytes.empty()) {
        if (decoder(codePage).convert(bytes, out))
            break;
        // An invalid or incomplete character: one replacement mark for its first byte.
        out += ReplacementCharacter;
        bytes.remove_prefix(1);
    }
    return out;
}

std::optional<std::string> decodeExactly(CodePage codePage, std::string_view bytes)
{
    if (isAscii(bytes))
        return std::string(bytes);
    std::string out;
    if (!decoder(codePage).convert(bytes, out))
        return std::nullopt;
    return out;
}

std::optional<std::string> encodeText(CodePage codePage, std::string_view utf8)
{
    if (isAscii(utf8))
        return std::string(utf8);
    if (!isValidUtf8(utf8))
        return std::nullopt;
    if (codePage == CodePage::Utf8)
        return std::string(utf8);
    std::string out;
    if (!encoder(codePage).convert(utf8, out))
        return std::nullopt;
    return out;
}

std::string tagTextToUtf8(std::string_view bytes)
{
    return decodeText(tagCodePage(), bytes);
}

std::optional<std::string> utf8ToTagText(std::string_view utf8)
{
    return encodeText(tagCodePage(), utf8);
}

namespace {

// The characters no font draws, or that act on their neighbours instead of showing: every
// one of the Unicode categories Cc, Cf, Co, Zl and Zp except the zero-width non-joiner and
// joiner (U+200C, U+200D, which emoji sequences and Persian words need), and U+FFFD, which
// stands for bytes that decode to nothing. Marked, the bidirectional controls among them
// reorder nothing. Ranges as Unicode 14 has them, first and last included, ascending.
struct CodeRange
{
    char32_t first;
    char32_t last;
};
constexpr CodeRange InvisibleRanges[] = {
    {0x0000, 0x001F},
    {0x007F, 0x009F},
    {0x00AD, 0x00AD}, // soft hyphen
    {0x0600, 0x0605},
    {0x061C, 0x061C}, // Arabic letter mark
    {0x06DD, 0x06DD},
    {0x070F, 0x070F},
    {0x0890, 0x0891},
    {0x08E2, 0x08E2},
    {0x180E, 0x180E},
    {0x200B, 0x200B}, // zero-width space
    {0x200E, 0x200F}, // left-to-right and right-to-left marks
    {0x2028, 0x202E}, // line and paragraph separators, embeddings and overrides
    {0x2060, 0x2064},
    {0x2066, 0x206F}, // isolates and deprecated format characters
    {0xE000, 0xF8FF}, // private use (CP932's user-defined area decodes here)
    {0xFEFF, 0xFEFF}, // zero-width no-break space, the byte order mark
    {0xFFF9, 0xFFFB},
    {0xFFFD, 0xFFFD}, // replacement character
    {0x110BD, 0x110BD},
    {0x110CD, 0x110CD},
    {0x13430, 0x13438},
    {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A},
    {0xE0001, 0xE0001},
    {0xE0020, 0xE007F}, // tag characters
    {0xF0000, 0xFFFFD}, // private use planes
    {0x100000, 0x10FFFD},
};

} // namespace

bool isInvisible(char32_t c)
{
    if (c >= 0x20 && c < 0x7F)
        return false;
    const auto after = std::upper_bound(std::begin(InvisibleRanges), std::end(InvisibleRanges), c,
        [](char32_t code, const CodeRange &range) { return code < range.first; });
    return after != std::begin(InvisibleRanges) && c <= std::prev(after)->last;
}

std::string withInvisibleMarked(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        const size_t length = std::max<size_t>(utf8SequenceLength(utf8), 1);
        const std::string_view one = utf8.substr(0, length);
        if (isInvisible(codePointOf(one)))
            out += InvisibleMarkUtf8;
        else
            out.append(one);
        utf8.remove_prefix(length);
    }
    return out;
}

std::string shownTagText(std::string_view bytes)
{
    return withInvisibleMarked(tagTextToUtf8(bytes));
}

std::string shownPath(std::string_view bytes)
{
    return withInvisibleMarked(fileNameToUtf8(bytes));
}

bool isValidUtf8(std::string_view bytes)
{
    while (!bytes.empty()) {
        const size_t length = utf8SequenceLength(bytes);
        if (length == 0)
            return false;
        bytes.remove_prefix(length);
    }
    return true;
}

std::string fileNameToUtf8(std::string_view bytes)
{
    if (isValidUtf8(bytes))
        return std::string(bytes);
    // Each name of the path on its own: names unpacked from Windows archives are in the
    // code page among UTF-8 ones. Under UTF-8 there is nothing to fall back to.
    const CodePage codePage = tagCodePage();
    std::string out;
    while (true) {
        const std::size_t slash = bytes.find('/');
        const std::string_view name = bytes.substr(0, slash);
        if (isValidUtf8(name)) {
            out.append(name);
        } else if (std::string decoded
                   = codePage == CodePage::Utf8 ? std::string() : decodeText(codePage, name);
                   !decoded.empty() && decoded.find(ReplacementCharacter) == std::string::npos) {
            out += decoded;
        } else {
            for (std::string_view rest = name; !rest.empty();) {
                const size_t length = utf8SequenceLength(rest);
                if (length == 0) {
                    out += ReplacementCharacter;
                    rest.remove_prefix(1);
                } else {
                    out.append(rest.substr(0, length));
                    rest.remove_prefix(length);
                }
            }
        }
        if (slash == std::string_view::npos)
            return out;
        out += '/';
        bytes.remove_prefix(slash + 1);
    }
}

} // namespace platform
