// plumora-cli: inspect, check, extract and create gestures and GIFs without a window.
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    out << "Usage: plumora-cli <command> [options]\n";
    return 0;
}
