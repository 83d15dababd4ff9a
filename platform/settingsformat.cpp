#include "settingsformat.h"

#include <QIODevice>
#include <QMap>
#include <QStringDecoder>

#include <algorithm>

namespace plumora::settings {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

QStringView trimmedBlanks(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.sliced(begin, end - begin);
}

// Reads escaped text from s[pos] up to an unescaped terminator and leaves pos
// just past it. Raw control characters are refused: the writer never makes them.
bool readEscaped(QStringView s, qsizetype &pos, QChar terminator, QString &out)
{
    out.clear();
    while (pos < s.size()) {
        const QChar c = s[pos++];
        if (c == terminator)
            return true;
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (pos >= s.size())
            return false;
        const QChar e = s[pos++];
        switch (e.unicode()) {
        case '\\':
            out += QLatin1Char('\\');
            break;
        case '"':
            out += QLatin1Char('"');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'u': {
            if (s.size() - pos < 4)
                return false;
            int code = 0;
            for (int i = 0; i < 4; ++i) {
                const int digit = hexValue(s[pos++]);
                if (digit < 0)
                    return false;
                code = code * 16 + digit;
            }
            out += QChar(char16_t(code));
            break;
        }
        default:
            return false;
        }
    }
    return false; // no terminator
}

void appendEscaped(QString &out, const QString &text, bool inSection)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (u == '\\')
            out += QLatin1String("\\\\");
        else if (u == '"')
            out += QLatin1String("\\\"");
        else if (u == '\n')
            out += QLatin1String("\\n");
        else if (u == '\r')
            out += QLatin1String("\\r");
        else if (u == '\t')
            out += QLatin1String("\\t");
        else if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (u < 0x20 || u == 0x7F || c.isSurrogate() || (inSection && u == ']'))
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
}

// A section is a QSettings group path as QSettings itself normalises it.
bool validSection(const QString &section)
{
    if (section.isEmpty())
        return true;
    return !section.startsWith(QLatin1Char('/')) && !section.endsWith(QLatin1Char('/'))
        && !section.contains(QLatin1String("//")) && !section.contains(QLatin1Char('\\'));
}

bool validName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

bool parseValue(QStringView text, QVariant &value)
{
    if (text.startsWith(QLatin1Char('"'))) {
        qsizetype pos = 1;
        QString s;
        if (!readEscaped(text, pos, QLatin1Char('"'), s) || !trimmedBlanks(text.sliced(pos)).isEmpty())
            return false;
        value = s;
        return true;
    }
    if (text.startsWith(QLatin1String("dword:"))) {
        const QStringView digits = trimmedBlanks(text.sliced(6));
        if (digits.isEmpty() || digits.size() > 8)
            return false;
        quint32 v = 0;
        for (const QChar c : digits) {
            const int digit = hexValue(c);
            if (digit < 0)
                return false;
            v = v * 16 + quint32(digit);
        }
        value = qint32(v);
        return true;
    }
    if (text.startsWith(QLatin1String("hex:"))) {
        const QStringView list = trimmedBlanks(text.sliced(4));
        QByteArray bytes;
        if (!list.isEmpty()) {
            // "xx" then ",xx" for each further byte
            if ((list.size() + 1) % 3 != 0)
                return false;
            bytes.reserve((list.size() + 1) / 3);
            for (qsizetype i = 0; i < list.size(); i += 3) {
                const int high = hexValue(list[i]);
                const int low = hexValue(list[i + 1]);
                if (high < 0 || low < 0 || (i + 2 < list.size() && list[i + 2] != QLatin1Char(',')))
                    return false;
                bytes.append(char(high * 16 + low));
            }
        }
        value = bytes;
        return true;
    }
    return false;
}

} // namespace

std::optional<QSettings::SettingsMap> parseTypedSettings(const QByteArray &bytes)
{
    if (bytes.size() > kMaxSettingsFileBytes)
        return std::nullopt;
    // Decoded a line at a time, so a large file is never held twice over. A
    // line feed is never part of a UTF-8 sequence, so the lines are valid
    // exactly when the whole file is. A byte order mark counts only at the
    // file's start.
    const QByteArrayView all(bytes);
    const QByteArrayView body = all.startsWith("\xEF\xBB\xBF") ? all.sliced(3) : all;
    QStringDecoder decoder(QStringConverter::Utf8,
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);

    QSettings::SettingsMap map;
    QString section;
    qsizetype lineStart = 0;
    while (lineStart <= body.size()) {
        qsizetype lineEnd = body.indexOf('\n', lineStart);
        if (lineEnd < 0)
            lineEnd = body.size();
        const QString text = decoder.decode(body.sliced(lineStart, lineEnd - lineStart));
        if (decoder.hasError())
            return std::nullopt;
        lineStart = lineEnd + 1;
        QStringView line(text);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        line = trimmedBlanks(line);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;

        if (line.startsWith(QLatin1Char('['))) {
            qsizetype pos = 1;
            if (!readEscaped(line, pos, QLatin1Char(']'), section) || pos != line.size()
                || !validSection(section))
                return std::nullopt;
            continue;
        }
        if (!line.startsWith(QLatin1Char('"')))
            return std::nullopt;
        qsizetype pos = 1;
        QString name;
        if (!readEscaped(line, pos, QLatin1Char('"'), name) || !validName(name))
            return std::nullopt;
        const QStringView rest = trimmedBlanks(line.sliced(pos));
        if (!rest.startsWith(QLatin1Char('=')))
            return std::nullopt;
        QVariant value;
        if (!parseValue(trimmedBlanks(rest.sliced(1)), value))
            return std::nullopt;
        // A name given twice keeps its last value, as a rewrite would.
        map.insert(section.isEmpty() ? name : section + QLatin1Char('/') + name, value);
    }
    return map;
}

std::optional<QByteArray> formatTypedSettings(const QSettings::SettingsMap &map)
{
    // Group by section: map order alone can interleave a section with its subsections.
    QMap<QString, QList<std::pair<QString, QVariant>>> sections;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const qsizetype slash = it.key().lastIndexOf(QLatin1Char('/'));
        const QString section = slash < 0 ? QString() : it.key().left(slash);
        const QString name = it.key().mid(slash + 1);
        if (!validSection(section) || !validName(name))
            return std::nullopt;
        sections[section].append({ name, it.value() });
    }

    QString out = QStringLiteral("; Plumora settings\n");
    for (auto it = sections.cbegin(); it != sections.cend(); ++it) {
        out += QLatin1Char('\n');
        if (!it.key().isEmpty()) {
            out += QLatin1Char('[');
            appendEscaped(out, it.key(), true);
            out += QLatin1String("]\n");
        }
        for (const auto &[name, value] : it.value()) {
            out += QLatin1Char('"');
            appendEscaped(out, name, false);
            out += QLatin1String("\"=");
            switch (value.typeId()) {
            case QMetaType::Int:
                out += QStringLiteral("dword:%1").arg(quint32(value.toInt()), 8, 16, QLatin1Char('0'));
                break;
            case QMetaType::QString:
                out += QLatin1Char('"');
                appendEscaped(out, value.toString(), false);
                out += QLatin1Char('"');
                break;
            case QMetaType::QByteArray: {
                out += QLatin1String("hex:");
                const QByteArray bytes = value.toByteArray();
                for (qsizetype i = 0; i < bytes.size(); ++i) {
                    if (i > 0)
                        out += QLatin1Char(',');
                    out += QStringLiteral("%1").arg(quint8(bytes[i]), 2, 16, QLatin1Char('0'));
                }
                break;
            }
            default:
                return std::nullopt; // no type of this store can hold it
            }
            out += QLatin1Char('\n');
        }
    }
    return out.toUtf8();
}

std::optional<QByteArray> readSettingsBytes(QIODevice &device)
{
    if (!device.isSequential() && device.size() > kMaxSettingsFileBytes)
        return std::nullopt;
    // In pieces, as QIODevice::read reserves all it is asked for; one byte
    // more than allowed tells an oversized file from one at the limit.
    constexpr qint64 kPiece = 1024 * 1024;
    QByteArray bytes;
    while (bytes.size() <= kMaxSettingsFileBytes) {
        const QByteArray piece = device.read(std::min(kPiece, kMaxSettingsFileBytes + 1 - bytes.size()));
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (bytes.size() > kMaxSettingsFileBytes)
        return std::nullopt;
    return bytes;
}

bool readTypedSettings(QIODevice &device, QSettings::SettingsMap &map)
{
    const std::optional<QByteArray> bytes = readSettingsBytes(device);
    std::optional<QSettings::SettingsMap> parsed = bytes ? parseTypedSettings(*bytes) : std::nullopt;
    if (!parsed)
        return false;
    map = std::move(*parsed);
    return true;
}

bool writeTypedSettings(QIODevice &device, const QSettings::SettingsMap &map)
{
    const std::optional<QByteArray> bytes = formatTypedSettings(map);
    return bytes && device.write(*bytes) == bytes->size();
}

QSettings::Format typedSettingsFormat()
{
    static const QSettings::Format format
        = QSettings::registerFormat(QStringLiteral("conf"), readTypedSettings, writeTypedSettings);
    return format;
}

} // namespace plumora::settings
