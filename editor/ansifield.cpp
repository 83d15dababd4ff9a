#include "ansifield.h"

#include "codecs/ansitext.h"

#include <QLineEdit>
#include <QValidator>

namespace {

class StorableTextValidator : public QValidator
{
public:
    StorableTextValidator(std::function<void(const QString &)> refused, QObject *parent)
        : QValidator(parent), m_refused(std::move(refused))
    {
    }

    State validate(QString &input, int &) const override
    {
        const QString character = FirstUnstorableCharacter(input);
        if (character.isEmpty())
            return Acceptable;
        if (m_refused)
            m_refused(character);
        return Invalid;
    }

private:
    std::function<void(const QString &)> m_refused;
};

} // namespace

QString FirstUnstorableCharacter(const QString &text)
{
    const QByteArray bytes = toAnsi(text);
    const QList<uint> codePoints = text.toUcs4();
    // toAnsi gives one byte per code point, '?' for those it cannot hold.
    for (qsizetype i = 0; i < bytes.size() && i < codePoints.size(); ++i)
        if (bytes[i] == '?' && codePoints[i] != '?') {
            const char32_t codePoint = codePoints[i];
            return QString::fromUcs4(&codePoint, 1);
        }
    return {};
}

QString UnstorableCharacterNote(const QString &character)
{
    const uint codePoint = character.toUcs4().value(0);
    return QStringLiteral("The character \"%1\" (U+%2) cannot be stored in a gesture file.")
        .arg(character, QString::number(codePoint, 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

void AcceptOnlyStorableText(QLineEdit *field, std::function<void(const QString &character)> refused)
{
    field->setValidator(new StorableTextValidator(std::move(refused), field));
}
