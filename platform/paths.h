#pragma once

#include <string>
#include <string_view>

namespace platform {

// The path-joining rule: "" stays "", a path ending in "/" stays as it is, any other gets "/".
std::string AddBackslash(std::string_view path);

// The file-name part of a path: the text after its last "/" (the whole path without one).
std::string_view fileNamePart(std::string_view path);

} // namespace platform
