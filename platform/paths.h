#pragma once

#include <string>
#include <string_view>

namespace platform {

// The path-joining rule: "" stays "", a path ending in "/" stays as it is, any other gets "/".
std::string AddBackslash(std::string_view path);

// The file-name part of a path: the text after its last "/" (the whole path without one).
std::string_view fileNamePart(std::string_view path);

// The extension of a file name: from its last "." on, unless that dot begins the name.
std::string_view extensionPart(std::string_view name);

// The path made absolute against the current folder (no "." or ".." resolved, no link
// followed); throws platform::Error when the current folder cannot be had.
std::string absolutePath(const std::string &path);

} // namespace platform
