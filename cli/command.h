#pragma once
// The command table of plumora-cli and what every command shares: its
// description for the help, the parsed command line, the output streams and
// the errors that end a command.
#include "platform/colors.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>
#include <span>
#include <vector>

class QFile;
class QImage;
class QJsonValue;
class TZQGesture;

namespace cli {

// Exit codes of the tool.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1, // the command ran and failed (unreadable file, bad data, ...)
    kExitUsage = 2, // the command line itself is wrong
};

// A command line the command cannot run with. Reported with the command's
// usage line; exit code kExitUsage.
class UsageError
{
public:
    explicit UsageError(QString message) : m_message(std::move(message)) { }
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

struct OptionSpec
{
    QString name; // without the leading "--"
    QString valueName; // empty for a flag; otherwise the option takes a value
    QString help;
    bool repeatable = false;
};

// A command line after parsing against a command's options.
class Arguments
{
public:
    QStringList positional;

    bool has(const QString &option) const { return m_values.contains(option); }
    // The value of an option given once (empty when absent).
    QString value(const QString &option) const
    {
        const QStringList list = m_values.value(option);
        return list.isEmpty() ? QString() : list.constLast();
    }
    // Every value of a repeatable option, in command-line order.
    QStringList values(const QString &option) const { return m_values.value(option); }
    void add(const QString &option, const QString &value) { m_values[option].append(value); }

private:
    QMap<QString, QStringList> m_values;
};

// Standard output for results, standard error for messages and warnings.
struct Console
{
    QTextStream &out;
    QTextStream &err;
};

struct Command
{
    QString name;
    QString synopsis; // what follows the name in the usage line
    QString summary; // one line for the command list
    QString details; // the rest of `help <name>`
    std::vector<OptionSpec> options;
    int minPositional = 0;
    int maxPositional = 0;
    int (*run)(const Arguments &args, Console &io) = nullptr;
};

// Every command, in the order the help lists them. Each topic file provides
// one table (gifCommands, ...); commands.cpp joins them.
const std::vector<Command> &commandTable();
const Command *findCommand(const QString &name);

// Parses the arguments after the command name. Raises UsageError for an
// unknown option, a missing option value or a wrong number of positional
// arguments. "--" ends the options; "--name=value" and "--name value" both
// work.
Arguments parseArguments(const Command &command, const QStringList &args);

// A whole number from low to high, or nothing when the option is absent.
std::optional<int> wholeOption(const Arguments &args, const QString &name, int low, int high);
// A colour given as RRGGBB in hex (a leading # is allowed), or fallback
// when the option is absent.
TColor colourOption(const Arguments &args, const QString &name, TColor fallback);

void printToolUsage(QTextStream &stream);
void printCommandUsage(const Command &command, QTextStream &stream);

// Shared file helpers. They raise PlumoraError with the path in the message.
// Opens a file for reading; a folder is refused.
void openInputFile(QFile &file, const QString &path);
QByteArray readInputFile(const QString &path);
// Creates the folder (and its parents) when it does not exist.
void ensureDirectory(const QString &path);
// Writes a picture as a PNG file, replacing any earlier one as a whole
// (platform/atomicfile.h).
void writePng(const QString &path, const QImage &image);

// Reads a gesture file into the document as the editor opens it. Returns
// the reason it is no usable gesture, or an empty text.
QString loadGesture(TZQGesture &gesture, const QString &path);

// The topic tables.
std::span<const Command> gifCommands();
std::span<const Command> gestureCommands();
std::span<const Command> exportCommands();

// "#RRGGBB" of a colour; for JSON, null when there is none; for text, "none".
QString hexColor(TColor color);
QJsonValue jsonColor(TColor color);
QString colorText(TColor color);
// A file's text with control characters shown as escapes, so it stays on one
// line of the terminal.
QString printable(const QString &text);

} // namespace cli
