#pragma once
// The editor's command line. It is read before the application object
// exists, so that --help and --version answer without a display, and the
// files it names are checked before the editor tries to open them.
#include <QString>
#include <QStringList>

namespace plumora {

struct StartupCommand
{
    enum class Action { Run, ShowHelp, ShowVersion, Usage };
    Action action = Action::Run;
    QStringList files; // as given, in order
    QString text; // the help, the version line, or what is wrong (Usage)
    bool platformGiven = false; // -platform NAME is on the command line
};

// Parses the arguments (the first is the program). Qt's own options
// (-platform NAME, -style NAME, -reverse, ...) are accepted and left to the
// application object, which takes them from argv itself.
StartupCommand parseStartupCommand(const QStringList &arguments);

// Why a file named on the command line cannot be opened, naming it by its
// full path: "<path> does not exist" or "<path> cannot be read: <reason>";
// empty when it can be read.
QString unopenableFileMessage(const QString &path);

// Why no window can be shown here, or empty: with no platform chosen (by
// -platform or QT_QPA_PLATFORM) Qt looks for an X or Wayland display, and
// aborts when there is none.
QString missingDisplayReason(bool platformGiven);

} // namespace plumora
