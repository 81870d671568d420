// The CP932 conversion both ways. Decoding never fails and gives valid UTF-8; the decoded
// text (less its replacement marks, which CP932 cannot hold) encodes to bytes that decode
// to the same text without a mark. Encoding any bytes gives nothing for invalid UTF-8, and
// otherwise CP932 that decodes cleanly and encodes again to the same bytes.

#include <optional>
#include <string>
#include <string_view>

#include "fuzz/targets.h"
#include "platform/textcodec.h"

namespace fuzz {

namespace {

const std::string_view Mark = "\xEF\xBF\xBD";

std::string withoutMarks(std::string text)
{
    for (std::size_t at; (at = text.find(Mark)) != std::string::npos;)
        text.erase(at, Mark.size());
    return text;
}

std::string cp932ToUtf8(std::string_view bytes)
{
    return platform::decodeText(platform::CodePage::Cp932, bytes);
}

std::optional<std::string> utf8ToCp932(std::string_view utf8)
{
    return platform::encodeText(platform::CodePage::Cp932, utf8);
}

} // namespace

bool cp932(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    const std::string text = cp932ToUtf8(bytes);
    if (!platform::isValidUtf8(text))
        return false;
    const std::string clean = withoutMarks(text);
    const std::optional<std::string> encoded = utf8ToCp932(clean);
    if (!encoded || cp932ToUtf8(*encoded) != clean)
        return false;

    const std::optional<std::string> direct = utf8ToCp932(bytes);
    if (!platform::isValidUtf8(bytes))
        return !direct;
    if (direct) {
        const std::string back = cp932ToUtf8(*direct);
        if (back.find(Mark) != std::string::npos || utf8ToCp932(back) != direct)
            return false;
    }
    return true;
}

} // namespace fuzz
