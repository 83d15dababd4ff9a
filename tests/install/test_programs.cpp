// The programs as a user runs them from a terminal or a file manager: the
// editor's own command line, which answers without a display, and the
// thumbnails that file managers ask plumora-cli for.
#include "gesture/gesturetestutil.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct ProgramRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a built program with no display at all: no X or Wayland display and
// no Qt platform chosen, as on a server or in a plain terminal session.
// display, when given, names an X display for the program to try.
ProgramRun runProgram(const QString &name, const QStringList &args, const QString &folder = QString(),
    const QString &display = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *variable : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        env.remove(QString::fromLatin1(variable));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(env);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(QStringLiteral(PLUMORA_BIN_DIR "/") + name, args);
    ProgramRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << name.toStdString() << " did not end: " << args.join(' ').toStdString();
        return run;
    }
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}

TEST(EditorCommandLine, AnswersWithoutADisplay)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = QDir(dir.path()).canonicalPath();
    QFile locked(folder + "/locked.zqa");
    ASSERT_TRUE(locked.open(QIODevice::WriteOnly));
    locked.close();
    locked.setPermissions(QFileDevice::Permissions());
    const bool root = geteuid() == 0; // reads any file whatever its permissions
    struct Case
    {
        QStringList args;
        int exitCode;
        QString out; // a pattern standard output matches; empty: nothing printed
        QStringList err; // texts standard error holds
        QString display = {}; // an X display to try, none when empty
    };
    const Case cases[] = {
        { { "--help" }, 0, "^Usage: plumora \\[options\\] \\[FILE.zqa...\\]\n", {} },
        { { "-h" }, 0, "^Usage: plumora ", {} },
        { { "--version" }, 0, "^plumora \\d+\\.\\d+\n$", {} },
        { { "-v", "missing.zqa" }, 0, "^plumora \\d+\\.\\d+\n$", {} },
        { { "--frobnicate" }, 2, {}, { "plumora: Unknown option 'frobnicate'.", "plumora --help" } },
        // Named files are checked before the display, so each problem is told.
        { { "missing.zqa", "--", "--help" }, 1, {},
            { folder + "/missing.zqa does not exist", folder + "/--help does not exist", "no display" } },
        { { "." }, 1, {}, { folder + " cannot be read: it is a folder" } },
        { { "locked.zqa" }, 1, {},
            root ? QStringList { "no display" }
                 : QStringList { folder + "/locked.zqa cannot be read: Permission denied" } },
        { {}, 1, {}, { "plumora: there is no display to show the editor on" } },
        // A display that does not answer ends the program with a reason, not an abort.
        { {}, 1, {}, { "plumora: cannot show the editor: " }, ":4093" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ProgramRun run = runProgram(QStringLiteral("plumora"), c.args, folder, c.display);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        if (c.out.isEmpty()) {
            EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        } else {
            EXPECT_TRUE(QRegularExpression(c.out).match(run.out).hasMatch()) << run.out.toStdString();
        }
        for (const QString &text : c.err)
            EXPECT_TRUE(run.err.contains(text)) << run.err.toStdString();
        if (c.err.isEmpty()) {
            EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        }
    }
}

class Thumbnail : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    void write(const char *name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QTemporaryDir dir;
};

TEST_F(Thumbnail, DrawsTheFirstFrameThroughItsMaskScaledToFit)
{
    // Three frames of 8 x 4 (few enough colours to be kept exactly); every
    // other pixel of each frame's top row is the transparent colour.
    const TColor key = RGBColor(255, 0, 255);
    TZQGesture gesture;
    gesture.setFrames(gesturetest::frames(8, 4, 3, key));
    gesture.setTransparentColor(key);
    write("g.zqa", gesturetest::bytesOf(gesture));
    const QImage first = gesturetest::frameImage(8, 4, 0, key);

    struct Case
    {
        QStringList size;
        QSize expected;
    };
    const Case cases[] = {
        { {}, { 256, 128 } },
        { { "--size", "40" }, { 40, 20 } },
        { { "--size=10" }, { 10, 5 } },
        { { "--size", "1" }, { 1, 1 } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size.join(' ').toStdString());
        QFile::remove(path("t.png"));
        const ProgramRun run = runProgram(QStringLiteral("plumora-cli"),
            QStringList { "thumbnail", path("g.zqa"), path("t.png") } + c.size);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        const QImage thumbnail(path("t.png"));
        EXPECT_EQ(thumbnail.size(), c.expected);
        EXPECT_TRUE(thumbnail.hasAlphaChannel());
    }
    // Enlarged five times: each frame pixel is a 5 x 5 square, keeping its edges.
    ASSERT_EQ(runProgram(QStringLiteral("plumora-cli"),
                  { "thumbnail", path("g.zqa"), path("t.png"), "--size", "40" })
                  .exitCode,
        0);
    const QImage thumbnail = QImage(path("t.png")).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(thumbnail.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(thumbnail.pixel(4, 4)), 0);
    EXPECT_EQ(thumbnail.pixel(5, 0), first.pixel(1, 0) | 0xFF000000u);
    EXPECT_EQ(thumbnail.pixel(27, 12), first.pixel(5, 2) | 0xFF000000u);
    EXPECT_EQ(thumbnail.pixel(39, 19), first.pixel(7, 3) | 0xFF000000u);
}

TEST_F(Thumbnail, ReadsOnlyTheAnimation)
{
    // A damaged button picture and sound do not matter to a thumbnail.
    const QByteArray sound("not a WAV file");
    write("g.zqa",
        gesturetest::handMade("tagline", gesturetest::header(0x08, 3, clNone, 0, 0), "garbage",
            gesturetest::blackGif(6, 4), &sound));
    const ProgramRun run = runProgram(
        QStringLiteral("plumora-cli"), { "thumbnail", path("g.zqa"), path("t.png"), "--size", "6" });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QImage thumbnail(path("t.png"));
    EXPECT_EQ(thumbnail.size(), QSize(4, 6));
    EXPECT_EQ(thumbnail.pixel(0, 0), qRgb(0, 0, 0));
}

TEST_F(Thumbnail, RefusesWhatIsNoGestureAndWritesNothing)
{
    write("junk.zqa", "this is not a gesture file");
    write("narrow.zqa",
        gesturetest::handMade("", gesturetest::header(0, 9, clNone, 0, 0), "", gesturetest::blackGif(6, 4)));
    write("cut.zqa",
        gesturetest::handMade("", gesturetest::header(0, 3, clNone, 0, 0), "", gesturetest::blackGif(6, 4))
            .left(70));
    struct Case
    {
        QStringList args;
        int exitCode;
        QString message;
    };
    const Case cases[] = {
        { { path("junk.zqa") }, 1, path("junk.zqa") + ": Not a Gesture." },
        { { path("narrow.zqa") }, 1, "holds no whole frame of the stated width (9 pixels)" },
        { { path("cut.zqa") }, 1, path("cut.zqa") + ": " },
        { { path("missing.zqa") }, 1, path("missing.zqa") + ": cannot open" },
        { { dir.path() }, 1, "is a folder" },
        { { path("junk.zqa"), "--size", "0" }, 2, "--size must be a whole number of pixels from 1 to 4096" },
        { { path("junk.zqa"), "--size", "big" }, 2, "not \"big\"" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QStringList args { "thumbnail", c.args.first(), path("t.png") };
        args += c.args.mid(1);
        const ProgramRun run = runProgram(QStringLiteral("plumora-cli"), args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(path("t.png")));
    }
}

} // namespace
