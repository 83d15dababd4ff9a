// Plumora start-up: the command line, the application object, the main
// window, the files named on the command line, the message loop.
#include "app/mainwindow.h"
#include "app/startup.h"
#include "platform/atomicfile.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QtMessageHandler previousMessageHandler = nullptr;

// While the application object is made, a fatal message of Qt (a display
// that does not answer, no platform plugin) ends the program with its reason
// and exit status 1, rather than with an abort and a core dump.
void startupMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        print(stderr, QStringLiteral("plumora: cannot show the editor: %1\n").arg(message));
        std::_Exit(1);
    }
    if (previousMessageHandler)
        previousMessageHandler(type, context, message);
    else
        print(stderr, message + QLatin1Char('\n'));
}

} // namespace

int main(int argc, char **argv)
{
    // The command line is read before the application object exists: --help
    // and --version need no display, and a wrong option is told on the
    // terminal rather than by a window.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const plumora::StartupCommand command = plumora::parseStartupCommand(arguments);
    switch (command.action) {
    case plumora::StartupCommand::Action::ShowHelp:
    case plumora::StartupCommand::Action::ShowVersion:
        print(stdout, command.text);
        return 0;
    case plumora::StartupCommand::Action::Usage:
        print(stderr, QStringLiteral("plumora: %1\nTry \"plumora --help\".\n").arg(command.text));
        return 2;
    case plumora::StartupCommand::Action::Run:
        break;
    }
    // Files that cannot be opened are named on the terminal at once, and
    // again in the editor's error display once it is up.
    QStringList problems;
    for (const QString &file : command.files) {
        problems << plumora::unopenableFileMessage(file);
        if (!problems.last().isEmpty())
            print(stderr, QStringLiteral("plumora: %1\n").arg(problems.last()));
    }
    // Without a display Qt would abort; say why and end instead.
    if (const QString reason = plumora::missingDisplayReason(command.platformGiven); !reason.isEmpty()) {
        print(stderr, QStringLiteral("plumora: %1\n").arg(reason));
        return 1;
    }

    previousMessageHandler = qInstallMessageHandler(startupMessageHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(previousMessageHandler);
    QApplication::setApplicationName(QStringLiteral("Plumora"));
    QApplication::setOrganizationName(QStringLiteral("Quorvant"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/plumora/plumora.png")));
    // The desktop entry the windows belong to (Wayland's application id).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.plumora"));
    // Qt's own dialogs keep their state (history, column widths) in a shared
    // QtProject.conf of the user's config folder. Plumora keeps nothing but
    // its own settings: that state lives in a folder that goes with the run.
    const QTemporaryDir qtState;
    if (qtState.isValid())
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qtState.path());
    plumora::ui::registerStandardCursors();
    // A save that could not give the file back to its owner has still
    // replaced it; the user is told whose the file now is.
    plumora::setSaveNoticeHandler([](const QString &notice) {
        plumora::ui::messageBox(QApplication::activeWindow(), QStringLiteral("Plumora"), notice,
            QMessageBox::Information, QMessageBox::Ok);
    });

    TfrmMain frmMain;
    frmMain.RestorePlacement();
    // Gesture files named on the command line (a file manager's "Open with"
    // passes them there) open once the window is up, as Open opens them, in
    // their order; one that cannot be opened is named with its reason.
    if (!command.files.isEmpty())
        QTimer::singleShot(0, &frmMain, [&frmMain, files = command.files, problems] {
            for (qsizetype i = 0; i < files.size(); ++i) {
                if (problems[i].isEmpty())
                    frmMain.openGestureFiles({ files[i] });
                else
                    plumora::ui::showError(problems[i]);
            }
        });
    frmMain.StartRecovery();
    return app.exec();
}
