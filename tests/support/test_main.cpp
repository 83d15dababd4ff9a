// Entry point of every test program: a QApplication (or, for the programs
// that must need no widgets, a QGuiApplication) on the offscreen platform, so
// widgets, fonts and the clipboard work headless, with the
// settings and the user folders in the build's test home rather than the
// user's own. The platform and the sound driver may be chosen from outside
// (to watch a test on a real display); the home never is.
#ifdef PLUMORA_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    const QByteArray home = PLUMORA_TEST_HOME;
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_RUNTIME_DIR", home + "/runtime");
    QDir().mkpath(QString::fromUtf8(home + "/runtime"));
    QFile::setPermissions(
        QString::fromUtf8(home + "/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
