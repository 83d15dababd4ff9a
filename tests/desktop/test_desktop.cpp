// The real program on a real desktop: an X server (Xvfb) with a window
// manager (openbox), the program started and ended as a user would, and the
// probe (probe.cpp) inside it reporting what the screen shows. Checks that
// the main window's placement survives runs, that files named on the
// command line open, and that no text is cut in the main states; saves
// screenshots of those states into <build>/screenshots.
//
// Skipped, with the reason, where Xvfb or openbox is not installed
// (scripts/setup.sh installs both).
#include "platform/plumorakeys.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <iostream>
#include <memory>

#include <gtest/gtest.h>

namespace {

constexpr int kStartTimeoutMs = 30000;
constexpr int kRunTimeoutMs = 120000;

// Polls a condition every 20 ms for at most timeoutMs.
bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

QRect rectOf(const QJsonValue &value)
{
    const QJsonArray a = value.toArray();
    return QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt());
}

std::string text(const QRect &r)
{
    return QStringLiteral("(%1, %2) %3 x %4")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .toStdString();
}

// An X server with a window manager for one test.
class Desktop
{
public:
    bool start(const QString &folder)
    {
        const QString displayFile = folder + QStringLiteral("/display");
        // Xvfb picks a free display and writes its number once it accepts
        // connections.
        m_server.start(QStringLiteral("sh"),
            { QStringLiteral("-c"),
                QStringLiteral("exec Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>\"$0\""),
                displayFile });
        QByteArray number;
        if (!waitFor(
                [&] {
                    QFile file(displayFile);
                    number = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                    return number.endsWith('\n') || m_server.state() == QProcess::NotRunning;
                },
                kStartTimeoutMs)
            || !number.endsWith('\n'))
            return false;
        m_display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());

        const QString ready = folder + QStringLiteral("/wm-ready");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        m_windowManager.setProcessEnvironment(env);
        m_windowManager.start(QStringLiteral("openbox"),
            { QStringLiteral("--sm-disable"), QStringLiteral("--startup"),
                QStringLiteral("touch ") + ready });
        return waitFor([&] { return QFile::exists(ready); }, kStartTimeoutMs);
    }
    ~Desktop()
    {
        for (QProcess *p : { &m_windowManager, &m_server }) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
            p->waitForFinished();
        }
    }
    QString display() const { return m_display; }

private:
    QProcess m_server;
    QProcess m_windowManager;
    QString m_display;
};

class DesktopTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *tool : { "Xvfb", "openbox" })
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool
                             << " is not installed (scripts/setup.sh installs it): desktop test skipped";
        ASSERT_TRUE(folder.isValid());
        home = folder.filePath(QStringLiteral("home"));
        QDir().mkpath(home + QStringLiteral("/.config"));
        QDir().mkpath(home + QStringLiteral("/runtime"));
        QFile::setPermissions(
            home + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        settings = folder.filePath(QStringLiteral("settings.conf"));
        QDir().mkpath(QStringLiteral(PLUMORA_SHOTS_DIR));
        desktop = std::make_unique<Desktop>();
        ASSERT_TRUE(desktop->start(folder.path())) << "Xvfb or openbox did not start";
    }
    void TearDown() override
    {
        desktop.reset();
        TPlumoraKeys::setStoreFile(QString());
    }

    // Runs the program with the probe's steps (separated by ';'), then its
    // Exit command; returns the probe's reports.
    QList<QJsonObject> run(const QString &steps, const QStringList &arguments = {})
    {
        const QString out = folder.filePath(QStringLiteral("probe.jsonl"));
        QFile::remove(out);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), desktop->display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(PLUMORA_PROBE_PLUGIN_DIR));
        env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("plumoraprobe"));
        env.insert(QStringLiteral("PLUMORA_PROBE_STEPS"), steps + QStringLiteral(";trigger exitAction"));
        env.insert(QStringLiteral("PLUMORA_PROBE_OUT"), out);
        env.insert(QStringLiteral("PLUMORA_PROBE_SHOTS"), QStringLiteral(PLUMORA_SHOTS_DIR));
        env.insert(QStringLiteral("PLUMORA_SETTINGS_FILE"), settings);
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(PLUMORA_BIN_DIR "/plumora"), arguments);
        if (!program.waitForFinished(kRunTimeoutMs)) {
            program.kill();
            program.waitForFinished();
            ADD_FAILURE() << "the program did not end: " << steps.toStdString();
        }
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        QList<QJsonObject> reports;
        QFile file(out);
        if (file.open(QIODevice::ReadOnly))
            while (!file.atEnd())
                reports << QJsonDocument::fromJson(file.readLine()).object();
        for (const QJsonObject &r : reports)
            EXPECT_TRUE(r[QStringLiteral("errors")].toArray().isEmpty())
                << r[QStringLiteral("tag")].toString().toStdString() << ": "
                << QJsonDocument(r[QStringLiteral("errors")].toArray()).toJson().toStdString();
        return reports;
    }

    static QString frameStep(const QRect &r)
    {
        return QStringLiteral("frame %1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }

    // Fails the test with every text that does not fit.
    static void expectNothingCut(const QJsonObject &report)
    {
        const QJsonArray cut = report[QStringLiteral("cut")].toArray();
        EXPECT_TRUE(cut.isEmpty()) << report[QStringLiteral("tag")].toString().toStdString() << ":\n"
                                   << QJsonDocument(cut).toJson().toStdString();
    }

    QTemporaryDir folder;
    QString home;
    QString settings;
    std::unique_ptr<Desktop> desktop;
};

} // namespace

// Rectangles in failure messages as left, top, width and height.
void PrintTo(const QRect &r, std::ostream *out)
{
    *out << text(r);
}

TEST_F(DesktopTest, PlacementSurvivesRunsAndStaysOnScreen)
{
    // First run: the whole available area, frame included.
    QList<QJsonObject> reports = run(QStringLiteral("main; frame available; report first"));
    ASSERT_EQ(reports.size(), 1);
    const QRect available = rectOf(reports[0][QStringLiteral("available")]);
    const QRect first = rectOf(reports[0][QStringLiteral("frame")]);
    std::cerr << "first run: frame " << text(first) << ", available " << text(available) << "\n";
    EXPECT_EQ(first, available);

    // Moved and resized by the user, then five runs: the same place each time.
    const QRect placed(97, 83, 720, 530);
    const QString atPlace = frameStep(placed);
    run(QStringLiteral("main; frame available; place 97 83 720 530; ") + atPlace);
    for (int cycle = 1; cycle <= 5; ++cycle) {
        reports = run(QStringLiteral("main; %1; report cycle").arg(atPlace));
        ASSERT_EQ(reports.size(), 1);
        const QRect frame = rectOf(reports[0][QStringLiteral("frame")]);
        std::cerr << "run " << cycle << ": frame " << text(frame) << "\n";
        EXPECT_EQ(frame, placed) << "run " << cycle;
    }

    // Maximised stays maximised, and coming back from it restores the place.
    run(QStringLiteral("main; %1; maximize; maximized").arg(atPlace));
    reports
        = run(QStringLiteral("main; maximized; report maximized; normal; %1; report normal").arg(atPlace));
    ASSERT_EQ(reports.size(), 2);
    EXPECT_TRUE(reports[0][QStringLiteral("maximized")].toBool());
    EXPECT_EQ(rectOf(reports[1][QStringLiteral("frame")]), placed);

    // A placement off the screen comes back with its title bar on it.
    {
        TPlumoraKeys::setStoreFile(settings);
        TPlumoraKeys keys;
        keys.setWindowPosition(QPoint(available.right() + 400, available.top() - 300));
        keys.setWindowSize(QPoint(placed.width(), placed.height()));
    }
    const QRect back(
        available.right() + 1 - placed.width(), available.top(), placed.width(), placed.height());
    reports = run(QStringLiteral("main; %1; report offscreen").arg(frameStep(back)));
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(rectOf(reports[0][QStringLiteral("frame")]), back);
}

TEST_F(DesktopTest, CommandLineFilesOpenAndNothingIsCut)
{
    const QString data = QStringLiteral(PLUMORA_TEST_DATA_DIR);
    QStringList files;
    for (const QString &name : { QStringLiteral("a.zqa"), QStringLiteral("b.zqa") }) {
        files << folder.filePath(name);
        QProcess cli;
        cli.start(QStringLiteral(PLUMORA_BIN_DIR "/plumora-cli"),
            { QStringLiteral("create"), files.last(), QStringLiteral("--animation"),
                data + QStringLiteral("/gif/im_plasma_96x64.gif"), QStringLiteral("--auto-button"),
                QStringLiteral("--sound"), data + QStringLiteral("/wav/tone_u8_8000.wav") });
        ASSERT_TRUE(cli.waitForFinished(kRunTimeoutMs));
        ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    }
    // The open dialog starts in the folder of the two gestures.
    TPlumoraKeys::setStoreFile(settings);
    TPlumoraKeys().setGestureOpenDir(folder.path() + QLatin1Char('/'));

    const QList<QJsonObject> reports
        = run(QStringLiteral("main; frame available; windows 2; report files; shot main-files;"
                             "tab 1; report settings; shot main-settings;"
                             "trigger tileVerticallyAction; report tiled; shot main-tiled;"
                             "trigger openAction; modal QFileDialog 3; report open-dialog; shot open-dialog;"
                             "select a.zqa; click previewButton; modal TPreviewWindow; report preview; shot "
                             "preview; close; close;"
                             "trigger aboutAction; modal TAboutBox; report about; shot about; close"),
            files);
    ASSERT_EQ(reports.size(), 6);
    QStringList titles;
    for (const QJsonValue &t : reports[0][QStringLiteral("windows")].toArray())
        titles << t.toString();
    EXPECT_EQ(titles, files);
    for (const QJsonObject &report : reports)
        expectNothingCut(report);
    // Qt keeps no state of its own file dialogs in the user's config folder.
    EXPECT_FALSE(QFile::exists(home + QStringLiteral("/.config/QtProject.conf")));
}
