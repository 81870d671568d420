#include "platform/paths.h"

#include <cerrno>

#include <unistd.h>

#include "platform/error.h"

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

std::string absolutePath(const std::string &path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    std::string cwd(4096, '\0');
    while (!::getcwd(cwd.data(), cwd.size())) {
        if (errno != ERANGE)
            throw Error(cannotOpenMessage(path), errno);
        cwd.resize(cwd.size() * 2);
    }
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
    return cwd == "/" ? cwd + path : cwd + "/" + path;
}

} // namespace platform
