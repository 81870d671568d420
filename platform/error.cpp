#include "platform/error.h"

namespace platform {

Error::Error(const std::string &message, int code)
    : std::runtime_error(message)
    , m_message {message, {}, {}}
    , m_code(code)
{ }

Error::Error(const PathMessage &message, int code)
    : std::runtime_error(message.withPathBytes())
    , m_message(message)
    , m_code(code)
{ }

PathMessage cannotOpenMessage(const std::string &path)
{
    return {"ファイル ", path, " は開けません"};
}

PathMessage cannotWriteMessage(const std::string &path)
{
    return {"", path, " に書き込めません"};
}

} // namespace platform
