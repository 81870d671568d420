#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// A message in the program's own words (UTF-8) that may name a path. The path's bytes are kept
// apart from the words until the message is shown: the window shows them as its lists do
// (platform::shownPath), the companion prints them as they are.
struct PathMessage
{
    std::string before; // the words before the path, or the whole message
    std::string path;   // the file system's bytes; empty when no path is named
    std::string after;  // the words after it

    // The message with the path's own bytes in place.
    std::string withPathBytes() const { return before + path + after; }
};

// The project's one exception: a message in the program's own words and, for input/output
// errors, the code that goes with it. what() gives the message with a path's own bytes.
class Error : public std::runtime_error
{
public:
    explicit Error(const std::string &message, int code = 0);
    explicit Error(const PathMessage &message, int code = 0);

    int code() const noexcept { return m_code; }
    const PathMessage &message() const noexcept { return m_message; }

private:
    PathMessage m_message;
    int m_code;
};

// "ファイル %s は開けません": a file that cannot be opened.
PathMessage cannotOpenMessage(const std::string &path);
// "%s に書き込めません": a file that cannot be written.
PathMessage cannotWriteMessage(const std::string &path);

} // namespace platform
