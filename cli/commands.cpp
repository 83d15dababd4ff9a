// The command table, argument parsing and help text of plumora-cli.
#include "command.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonValue>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace cli {

namespace {

int runHelp(const Arguments &args, Console &io)
{
    if (args.positional.isEmpty()) {
        printToolUsage(io.out);
        return kExitOk;
    }
    const Command *command = findCommand(args.positional.first());
    if (!command)
        throw UsageError(QStringLiteral("unknown command \"%1\"").arg(args.positional.first()));
    printCommandUsage(*command, io.out);
    return kExitOk;
}

const Command kHelpCommand {
    QStringLiteral("help"),
    QStringLiteral("[COMMAND]"),
    QStringLiteral("Show this help, or the help of one command"),
    {},
    {},
    0,
    1,
    runHelp,
};

QString optionLabel(const OptionSpec &option)
{
    QString label = QStringLiteral("--") + option.name;
    if (!option.valueName.isEmpty())
        label += QLatin1Char(' ') + option.valueName;
    return label;
}

QString usageLine(const Command &command)
{
    QString line = QStringLiteral("plumora-cli ") + command.name;
    if (!command.synopsis.isEmpty())
        line += QLatin1Char(' ') + command.synopsis;
    return line;
}

} // namespace

std::span<const Command> createCommands(); // createcommand.cpp

const std::vector<Command> &commandTable()
{
    static const std::vector<Command> table = [] {
        std::vector<Command> all;
        for (const auto &topic : { gestureCommands(), gifCommands(), createCommands(), exportCommands() })
            all.insert(all.end(), topic.begin(), topic.end());
        all.push_back(kHelpCommand);
        return all;
    }();
    return table;
}

const Command *findCommand(const QString &name)
{
    const auto &table = commandTable();
    const auto it = std::find_if(
        table.begin(), table.end(), [&](const Command &command) { return command.name == name; });
    return it == table.end() ? nullptr : &*it;
}

std::optional<int> wholeOption(const Arguments &args, const QString &name, int low, int high)
{
    if (!args.has(name))
        return std::nullopt;
    bool ok = false;
    const int value = args.value(name).toInt(&ok);
    if (!ok || value < low || value > high)
        throw UsageError(QStringLiteral("--%1 needs a whole number from %2 to %3, not \"%4\"")
                             .arg(name)
                             .arg(low)
                             .arg(high)
                             .arg(args.value(name)));
    return value;
}

TColor colourOption(const Arguments &args, const QString &name, TColor fallback)
{
    if (!args.has(name))
        return fallback;
    QString digits = args.value(name);
    if (digits.startsWith(QLatin1Char('#')))
        digits.remove(0, 1);
    bool ok = digits.size() == 6;
    const uint rgb = ok ? digits.toUInt(&ok, 16) : 0;
    if (!ok)
        throw UsageError(
            QStringLiteral("--%1 needs a colour as RRGGBB in hex, not \"%2\"").arg(name, args.value(name)));
    return RGBColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

Arguments parseArguments(const Command &command, const QStringList &args)
{
    Arguments result;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1String("--")) || arg.size() == 2) {
            if (!optionsEnded && arg == QLatin1String("--"))
                optionsEnded = true;
            else
                result.positional.append(arg);
            continue;
        }
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString name = arg.mid(2, equals < 0 ? -1 : equals - 2);
        const auto spec = std::find_if(command.options.begin(), command.options.end(),
            [&](const OptionSpec &option) { return option.name == name; });
        if (spec == command.options.end())
            throw UsageError(QStringLiteral("unknown option --%1").arg(name));
        if (!spec->repeatable && result.has(name))
            throw UsageError(QStringLiteral("option --%1 given twice").arg(name));
        if (spec->valueName.isEmpty()) {
            if (equals >= 0)
                throw UsageError(QStringLiteral("option --%1 takes no value").arg(name));
            result.add(name, QString());
        } else if (equals >= 0) {
            result.add(name, arg.mid(equals + 1));
        } else if (i + 1 < args.size()) {
            result.add(name, args[++i]);
        } else {
            throw UsageError(QStringLiteral("option --%1 needs a value (%2)").arg(name, spec->valueName));
        }
    }
    const qsizetype count = result.positional.size();
    if (count < command.minPositional) {
        // The synopsis names the positional arguments: its words outside [].
        QStringList names;
        for (const QString &word : command.synopsis.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            if (!word.startsWith(QLatin1Char('[')) && !word.startsWith(QLatin1Char('-')))
                names.append(word);
        throw UsageError(count < names.size() ? QStringLiteral("missing argument %1").arg(names[count])
                                              : QStringLiteral("missing argument"));
    }
    if (count > command.maxPositional)
        throw UsageError(
            QStringLiteral("unexpected argument \"%1\"").arg(result.positional[command.maxPositional]));
    return result;
}

void printToolUsage(QTextStream &stream)
{
    stream << "Usage: plumora-cli COMMAND [ARGUMENTS]\n"
              "       plumora-cli help COMMAND\n"
              "\n"
              "Inspects, extracts and creates Plumora's pictures without a window.\n"
              "\n"
              "Commands:\n";
    qsizetype width = 0;
    for (const Command &command : commandTable())
        width = std::max(width, command.name.size());
    for (const Command &command : commandTable())
        stream << "  " << command.name.leftJustified(width + 2) << command.summary << '\n';
    stream << "\n"
              "Options of every command: --help shows the command's help.\n"
              "Exit status: 0 on success, 1 when the command fails, 2 for a wrong command line.\n";
}

void printCommandUsage(const Command &command, QTextStream &stream)
{
    stream << "Usage: " << usageLine(command) << "\n\n" << command.summary << ".\n";
    if (!command.details.isEmpty())
        stream << '\n' << command.details << '\n';
    if (!command.options.empty()) {
        stream << "\nOptions:\n";
        qsizetype width = 0;
        for (const OptionSpec &option : command.options)
            width = std::max(width, optionLabel(option).size());
        for (const OptionSpec &option : command.options)
            stream << "  " << optionLabel(option).leftJustified(width + 2) << option.help << '\n';
    }
}

void openInputFile(QFile &file, const QString &path)
{
    file.setFileName(path);
    const QFileInfo info(path);
    if (info.isDir())
        throw EStreamError(QStringLiteral("%1: is a folder, not a file").arg(path));
    // A pipe would wait for a writer and a device never ends: only a regular
    // file (or a link to one) is read, and it is read to its stated end.
    if (info.exists() && !info.isFile())
        throw EStreamError(QStringLiteral("%1: is not a plain file").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw EStreamError(QStringLiteral("%1: cannot open: %2").arg(path, file.errorString()));
}

QByteArray readInputFile(const QString &path)
{
    QFile file;
    openInputFile(file, path);
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EStreamError(QStringLiteral("%1: cannot read: %2").arg(path, file.errorString()));
    return bytes;
}

void ensureDirectory(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        throw EStreamError(QStringLiteral("%1: exists and is not a folder").arg(path));
    if (info.exists())
        return;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (error)
        throw EStreamError(QStringLiteral("%1: cannot create the folder: %2")
                               .arg(path, QString::fromLocal8Bit(error.message())));
}

void writePng(const QString &path, const QImage &image)
{
    // Encoded in memory: a PNG written straight to the file would hide a
    // full disk in the file's unchecked final flush.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        throw EStreamError(
            QStringLiteral("%1: cannot encode the picture: %2").arg(path, writer.errorString()));
    plumora::writeFileAtomically(path, buffer.data());
}

// Colours and texts as the commands print them.

QString hexColor(TColor color)
{
    return QStringLiteral("#%1%2%3")
        .arg(redOf(color), 2, 16, QLatin1Char('0'))
        .arg(greenOf(color), 2, 16, QLatin1Char('0'))
        .arg(blueOf(color), 2, 16, QLatin1Char('0'))
        .toUpper();
}

QJsonValue jsonColor(TColor color)
{
    return color == clNone ? QJsonValue(QJsonValue::Null) : QJsonValue(hexColor(color));
}

QString colorText(TColor color)
{
    return color == clNone ? QStringLiteral("none") : hexColor(color);
}

// Control characters of a file's text shown as escapes, so that a text line
// stays one line on the terminal.
QString printable(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\r')
            result += QLatin1String("\\r");
        else if (u == '\n')
            result += QLatin1String("\\n");
        else if (u == '\t')
            result += QLatin1String("\\t");
        else if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            result += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

} // namespace cli
