#include "startup.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace plumora {

namespace {

// Qt's own command-line options that take a value, and those that do not.
// The application object removes them from argv; here they only must not
// be taken for files or refused as unknown.
const char *const kQtValueOptions[] = { "platform", "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry", "style", "stylesheet",
    "qmljsdebugger", "title", "name", "visual" };
const char *const kQtFlagOptions[] = { "reverse", "widgetcount", "nograb", "dograb", "sync" };

QString helpText()
{
    return QStringLiteral(
        "Usage: plumora [options] [FILE.zqa...]\n"
        "Plumora, the gesture editor. Each gesture file named opens in a window of its own.\n"
        "\n"
        "Options:\n"
        "  -h, --help     Show this help and exit.\n"
        "  -v, --version  Show the version and exit.\n"
        "  --             End of the options: the names after it are files.\n"
        "\n"
        "Qt's own options are accepted too (-platform NAME, -style NAME, -reverse, ...).\n"
        "plumora-cli inspects, checks, creates and exports gestures without a window.\n");
}

} // namespace

StartupCommand parseStartupCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    // Qt's options are written with one dash ("-platform xcb"); so may ours be.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") });
    const QCommandLineOption version(QStringList { QStringLiteral("v"), QStringLiteral("version") });
    parser.addOption(help);
    parser.addOption(version);
    for (const char *name : kQtValueOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : kQtFlagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    StartupCommand command;
    if (!parser.parse(arguments)) {
        command.action = StartupCommand::Action::Usage;
        command.text = parser.errorText();
        return command;
    }
    if (parser.isSet(help)) {
        command.action = StartupCommand::Action::ShowHelp;
        command.text = helpText();
    } else if (parser.isSet(version)) {
        command.action = StartupCommand::Action::ShowVersion;
        command.text = QStringLiteral("plumora " PLUMORA_VERSION "\n");
    }
    command.files = parser.positionalArguments();
    command.platformGiven = parser.isSet(QStringLiteral("platform"));
    return command;
}

QString unopenableFileMessage(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("An empty name names no file");
    const QFileInfo info(path);
    const QString shown = QDir::cleanPath(info.absoluteFilePath());
    if (!info.exists())
        return QStringLiteral("%1 does not exist").arg(shown);
    if (info.isDir())
        return QStringLiteral("%1 cannot be read: it is a folder").arg(shown);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 cannot be read: %2").arg(shown, file.errorString());
    return QString();
}

QString missingDisplayReason(bool platformGiven)
{
    if (platformGiven || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        || !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return QString();
    return QStringLiteral("there is no display to show the editor on (neither DISPLAY nor "
                          "WAYLAND_DISPLAY is set); plumora-cli works without one");
}

} // namespace plumora
