// Plumora start-up: the application object, the main window, the message loop.
#include "app/mainwindow.h"
#include "platform/ui/application.h"
#include "platform/ui/cursors.h"

#include <QIcon>

int main(int argc, char **argv)
{
    TPlumoraApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plumora"));
    QApplication::setOrganizationName(QStringLiteral("Quorvant"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/plumora/plumora.png")));
    plumora::ui::registerStandardCursors();

    TfrmMain frmMain;
    frmMain.show();
    frmMain.RestorePlacement();
    return app.exec();
}
