#include "platform/error.h"

namespace platform {

Error::Error(const std::string &message, int code)
    : std::runtime_error(message)
    , m_code(code)
{ }

std::string cannotOpenMessage(const std::string &path)
{
    return "ファイル " + path + " は開けません";
}

std::string cannotWriteMessage(const std::string &path)
{
    return path + " に書き込めません";
}

} // namespace platform
