// Plumora start-up.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plumora"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Plumora"));
    window.resize(800, 600);
    window.show();
    return app.exec();
}
