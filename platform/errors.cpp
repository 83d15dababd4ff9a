#include "errors.h"

PlumoraError::PlumoraError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) { }

QString plumora::errorMessage(const std::exception &error)
{
    if (const auto *own = dynamic_cast<const PlumoraError *>(&error))
        return own->message();
    return QString::fromLocal8Bit(error.what());
}
