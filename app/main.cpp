// Plumora start-up: the application object, the main window, the files named
// on the command line, the message loop.
#include "app/mainwindow.h"
#include "platform/atomicfile.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plumora"));
    QApplication::setOrganizationName(QStringLiteral("Quorvant"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/plumora/plumora.png")));
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
    // passes them there) open once the window is up, as Open opens them.
    const QStringList files = QCoreApplication::arguments().mid(1);
    if (!files.isEmpty())
        QTimer::singleShot(0, &frmMain, [&frmMain, files] { frmMain.openGestureFiles(files); });
    frmMain.StartRecovery();
    return app.exec();
}
