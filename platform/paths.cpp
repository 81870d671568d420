#include "platform/paths.h"

namespace platform {

std::string AddBackslash(std::string_view path)
{
    std::string joined(path);
    if (!joined.empty() && joined.back() != '/')
        joined += '/';
    return joined;
}

std::string_view fileNamePart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view extensionPart(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    return name.substr(dot);
}

} // namespace platform
