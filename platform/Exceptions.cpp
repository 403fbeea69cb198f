#include "platform/Exceptions.h"

Exception::Exception(QString message)
    : m_message(std::move(message))
    , m_utf8(m_message.toUtf8())
    , m_address(__builtin_return_address(0))
{
}

EDatabaseError::EDatabaseError(QString message, qsizetype position)
    : Exception(std::move(message))
    , m_position(position)
{
}

EInOutError::EInOutError(QString message, int code)
    : Exception(std::move(message))
    , m_code(code)
{
}
