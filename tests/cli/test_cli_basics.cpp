// The command line itself: help, and the exit codes and messages of wrong
// command lines.
#include "cliprocess.h"
#include "gesture/gesturetestutil.h"
#include "support/testdata.h"

#include <QFile>
#include <QTemporaryDir>

using clitest::runCli;

TEST(CliBasics, HelpListsEveryCommandOnStandardOutput)
{
    for (const QStringList &args :
        { QStringList { "--help" }, QStringList { "help" }, QStringList { "-h" } }) {
        const auto run = runCli(args);
        EXPECT_EQ(run.exitCode, 0) << args.join(' ').toStdString();
        for (const char *command : { "gif-info", "gif-frames", "gif-encode", "help" })
            EXPECT_TRUE(run.out.contains(command)) << command;
        EXPECT_TRUE(run.err.isEmpty());
    }
}

TEST(CliBasics, CommandHelpShowsItsUsageAndOptions)
{
    for (const QStringList &args :
        { QStringList { "help", "gif-encode" }, QStringList { "gif-encode", "--help" } }) {
        const auto run = runCli(args);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.out.contains("Usage: plumora-cli gif-encode IN OUT.gif"));
        EXPECT_TRUE(run.out.contains("--comment LINE"));
    }
}

TEST(CliBasics, WrongCommandLinesExitWithTwoAndSayWhy)
{
    struct Case
    {
        QStringList args;
        const char *message;
    };
    const Case cases[] = {
        { {}, "no command given" },
        { { "gif-infos", "x.gif" }, "unknown command \"gif-infos\"" },
        { { "help", "nonsense" }, "unknown command \"nonsense\"" },
        { { "gif-info" }, "missing argument FILE.gif" },
        { { "gif-encode", "in.png" }, "missing argument OUT.gif" },
        { { "gif-info", "a.gif", "b.gif" }, "unexpected argument \"b.gif\"" },
        { { "gif-info", "a.gif", "--jsn" }, "unknown option --jsn" },
        { { "gif-encode", "in.png", "out.gif", "--author" }, "option --author needs a value" },
        { { "gif-encode", "in.png", "out.gif", "--gray=yes" }, "option --gray takes no value" },
        { { "gif-encode", "in.png", "out.gif", "--author", "a", "--author", "b" },
            "option --author given twice" },
    };
    for (const Case &c : cases) {
        const auto run = runCli(c.args);
        EXPECT_EQ(run.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << c.args.join(' ').toStdString();
    }
}

TEST(CliBasics, FileProblemsExitWithOneAndNameTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath("missing.gif");
    auto run = runCli({ "gif-info", missing });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(missing.toUtf8()));

    run = runCli({ "gif-info", dir.path() });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("is a folder"));

    // "--" ends the options, so a file may be named like one.
    run = runCli({ "gif-info", "--", "--json" });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("--json: cannot open"));
}

// Results that cannot be written (standard output on a full device) make the
// command fail with the system's reason, whatever it printed.
TEST(CliBasics, AnOutputThatCannotBeWrittenFailsWithTheReason)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString gesture = dir.filePath(QStringLiteral("g.zqa"));
    QFile file(gesture);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(gesturetest::blackGesture(10, 40, 6));
    file.close();
    for (const QStringList &args :
        { QStringList { "info", gesture }, QStringList { "info", gesture, "--json" },
            QStringList { "gif-info", testdata::path("gif/gl_1x1.gif") }, QStringList { "--help" } }) {
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(clitest::cliPath(), args);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 1) << args.join(' ').toStdString();
        EXPECT_EQ(process.readAllStandardError(), "plumora-cli: write error: No space left on device\n")
            << args.join(' ').toStdString();
    }
}
