#include "platform/textcodec.h"

#include <cerrno>

#include <iconv.h>

#include "platform/error.h"

namespace platform {

namespace {

const char ReplacementCharacter[] = "\xEF\xBF\xBD";

// One conversion descriptor per direction and thread, opened on first use.
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

Converter &decoder()
{
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
}

Converter &encoder()
{
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

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

} // namespace

std::string cp932ToUtf8(std::string_view bytes)
{
    if (isAscii(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    while (!bytes.empty()) {
        if (decoder().convert(bytes, out))
            break;
        // An invalid or incomplete character: one replacement mark for its first byte.
        out += ReplacementCharacter;
        bytes.remove_prefix(1);
    }
    return out;
}

std::optional<std::string> utf8ToCp932(std::string_view utf8)
{
    if (isAscii(utf8))
        return std::string(utf8);
    if (!isValidUtf8(utf8))
        return std::nullopt;
    std::string out;
    if (!encoder().convert(utf8, out))
        return std::nullopt;
    return out;
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
    // Each name of the path on its own: names unpacked from Windows archives are CP932
    // among UTF-8 ones.
    std::string out;
    while (true) {
        const std::size_t slash = bytes.find('/');
        const std::string_view name = bytes.substr(0, slash);
        if (isValidUtf8(name)) {
            out.append(name);
        } else if (std::string decoded = cp932ToUtf8(name);
                   decoded.find(ReplacementCharacter) == std::string::npos) {
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
