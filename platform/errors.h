#pragma once
// The program's error types. Every failure is one exception carrying the text
// the user sees; command handlers let it reach the application's error display.
#include <QByteArray>
#include <QString>

#include <exception>

class PlumoraError : public std::exception
{
public:
    explicit PlumoraError(QString message);
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A graphic cannot do what was asked (bad GIF data, an unsupported copy, ...).
class EInvalidGraphicOperation : public PlumoraError
{
public:
    using PlumoraError::PlumoraError;
};

// A stream or file ended early or could not be read or written.
class EStreamError : public PlumoraError
{
public:
    using PlumoraError::PlumoraError;
};

// A silent abort: ends an operation without any message being shown.
class EAbort : public PlumoraError
{
public:
    EAbort() : PlumoraError(QStringLiteral("Operation aborted")) { }
};

namespace plumora {
// The text of any error: a PlumoraError's message, another's what().
QString errorMessage(const std::exception &error);

// The texts of the stream errors, shared by every reader.
inline QString streamReadError()
{
    return QStringLiteral("Stream read error");
}
inline QString streamWriteError()
{
    return QStringLiteral("Stream write error");
}
} // namespace plumora
