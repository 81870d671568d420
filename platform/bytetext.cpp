#include "platform/bytetext.h"

namespace platform {

std::string_view trimmedView(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlankByte(text[begin]))
        ++begin;
    while (end > begin && isBlankByte(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string trimmed(std::string_view text)
{
    return std::string(trimmedView(text));
}

std::string asciiUpper(std::string_view text)
{
    std::string folded(text);
    for (char &c : folded)
        c = asciiUpper(c);
    return folded;
}

} // namespace platform
