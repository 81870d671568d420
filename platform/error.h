#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// The project's one exception: a message in the program's own words and, for input/output
// errors, the code that goes with it.
class Error : public std::runtime_error
{
public:
    explicit Error(const std::string &message, int code = 0);

    int code() const noexcept { return m_code; }

private:
    int m_code;
};

// "ファイル %s は開けません": a file that cannot be opened.
std::string cannotOpenMessage(const std::string &path);
// "%s に書き込めません": a file that cannot be written.
std::string cannotWriteMessage(const std::string &path);

} // namespace platform
