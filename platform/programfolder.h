#pragma once

#include <string>

namespace platform {

// The folder that holds the running executable (from /proc/self/exe), without a final "/";
// empty when it cannot be told.
std::string programFolder();

} // namespace platform
