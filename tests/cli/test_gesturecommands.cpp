// info, check and extract, run as a user runs them on gestures made here with
// the gesture component, on damaged copies of them and on files that are not
// gestures.
#include "cliprocess.h"
#include "gesture/gesturetestutil.h"
#include "gesture/zqgesture.h"
#include "support/testdata.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using clitest::runCli;

namespace {

constexpr TColor kMarked = RGBColor(0x12, 0x34, 0x56); // red and blue differ on purpose

QByteArray readAll(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Offsets of a block's length field, read the way the file lays them out.
int lengthAt(const QByteArray &bytes, qsizetype at)
{
    return (std::uint8_t(bytes[at]) << 8) | std::uint8_t(bytes[at + 1]);
}

struct Blocks
{
    QByteArray button, animation, sound;
};

Blocks blocksOf(const QByteArray &file)
{
    const int taglineLength = std::uint8_t(file[8]);
    const qsizetype buttonAt = 51 + taglineLength;
    Blocks blocks;
    blocks.button = file.mid(buttonAt + 2, lengthAt(file, buttonAt));
    const qsizetype animationAt = buttonAt + 2 + blocks.button.size() + 2;
    blocks.animation = file.mid(animationAt + 2, lengthAt(file, animationAt));
    const qsizetype soundAt = animationAt + 2 + blocks.animation.size() + 2;
    if (soundAt + 2 <= file.size())
        blocks.sound = file.mid(soundAt + 2, lengthAt(file, soundAt));
    return blocks;
}

class GestureCommands : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString &name) const { return dir.filePath(name); }

    // Three 10 x 8 frames looping from frame 2, a sound starting at frame 3
    // and repeating, and a transparent colour that some pixels have.
    QString makeFull()
    {
        TZQGesture g;
        g.setFrames(gesturetest::frames(10, 8, 3, kMarked));
        g.setTransparentColor(kMarked);
        g.setTagline(QStringLiteral("Caf\u00e9 \"quoted\""));
        g.SetAuthor(QStringLiteral("Ann Author"));
        g.setAnimLoopOption(aoLoop);
        g.setAnimLoopFrame(2);
        writeAll(path("sound.in.wav"), wav);
        g.LoadAudioFromFile(path("sound.in.wav"));
        g.setAudioLoopFrame(3);
        g.setAudioRepeat(true);
        g.SaveToFile(path("full.zqa"));
        return path("full.zqa");
    }

    // Two frames played forward and back, no sound, no transparent colour.
    QString makePlain()
    {
        TZQGesture g;
        g.setFrames(gesturetest::frames(6, 5, 2));
        g.setAnimLoopOption(aoReverse);
        g.SaveToFile(path("plain.zqa"));
        return path("plain.zqa");
    }

    QTemporaryDir dir;
    const QByteArray wav = gesturetest::wav(300);
};

QJsonObject parseJson(const QByteArray &out)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(out, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << out.toStdString();
    return doc.object();
}

TEST_F(GestureCommands, InfoJsonShowsWhatTheComponentReads)
{
    const QString file = makeFull();
    const auto run = runCli({ "info", file, "--json" });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject json = parseJson(run.out);

    TZQGesture expected;
    expected.LoadFromFile(file);
    ASSERT_TRUE(expected.Valid());
    EXPECT_EQ(json.size(), 17);
    EXPECT_EQ(json["valid"].toBool(), true);
    EXPECT_EQ(json["animationBlockSize"].toInt(), expected.AnimationBlockSize());
    EXPECT_EQ(json["blockLimit"].toInt(), 65535);
    EXPECT_EQ(json["tagline"].toString(), QStringLiteral("Caf\u00e9 \"quoted\""));
    EXPECT_EQ(json["author"].toString(), QStringLiteral("Ann Author"));
    EXPECT_EQ(json["frameWidth"].toInt(), 10);
    EXPECT_EQ(json["frameHeight"].toInt(), 8);
    EXPECT_EQ(json["frameCount"].toInt(), 3);
    EXPECT_EQ(json["animation"].toString(), QStringLiteral("loop"));
    EXPECT_EQ(json["loopFrame"].toInt(), 2);
    EXPECT_EQ(json["audioFrame"].toInt(), 3);
    EXPECT_EQ(json["audioRepeat"].toBool(), true);
    EXPECT_EQ(json["transparentColor"].toString(), QStringLiteral("#123456"));
    EXPECT_EQ(json["hasAudio"].toBool(), true);
    EXPECT_EQ(json["audioSize"].toInt(), wav.size());
    EXPECT_EQ(json["animationSize"].toInt(), expected.AnimationSize());
    EXPECT_EQ(json["gestureSize"].toInt(), expected.GestureSize());
    EXPECT_EQ(json["gestureSize"].toInt(), readAll(file).size());

    const QJsonObject plain = parseJson(runCli({ "info", makePlain(), "--json" }).out);
    EXPECT_EQ(plain["animation"].toString(), QStringLiteral("reverse"));
    EXPECT_TRUE(plain["transparentColor"].isNull());
    EXPECT_EQ(plain["hasAudio"].toBool(), false);
    EXPECT_EQ(plain["audioSize"].toInt(), 0);
    EXPECT_EQ(plain["author"].toString(), QString());

    const auto text = runCli({ "info", file });
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_TRUE(text.out.contains("Frames:            3 of 10 x 8\n")) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("Transparent:       #123456\n"));
}

TEST_F(GestureCommands, FilesThatDoNotReadAreReportedWithTheReason)
{
    const QString good = makeFull();
    const QByteArray bytes = readAll(good);
    const Blocks blocks = blocksOf(bytes);

    writeAll(path("truncated.zqa"), bytes.left(bytes.size() - blocks.sound.size() / 2));
    writeAll(path("notgesture.zqa"), "GIF89a and then some bytes that are not a gesture");
    writeAll(path("empty.zqa"), {});
    // The animation block keeps its length but its picture data is ruined.
    QByteArray badGif = bytes;
    const qsizetype animationAt = bytes.indexOf(blocks.animation);
    for (qsizetype i = animationAt + 6; i < animationAt + blocks.animation.size(); ++i)
        badGif[i] = char(0xFF);
    writeAll(path("badgif.zqa"), badGif);
    // A frame width wider than the strip: the file reads, but no whole frame.
    QByteArray wide = readAll(makePlain());
    wide[9 + std::uint8_t(wide[8]) + 5] = char(200);
    writeAll(path("noframes.zqa"), wide);
    // A strip claiming more pixels than a gesture's block can describe.
    writeAll(path("huge.zqa"),
        gesturetest::handMade({}, gesturetest::header(0x10, 255, 0, 0, 0), {},
            gesturetest::blackGif(65535, 1600).left(40000) + "\0;"));
    // More frames than a gesture holds: the first 255 read, with a note.
    writeAll(path("many.zqa"), gesturetest::blackGesture(1, 65535, 20));

    const auto run = runCli({ "check", good, path("truncated.zqa"), path("notgesture.zqa"), path("empty.zqa"),
        path("badgif.zqa"), path("noframes.zqa"), path("missing.zqa"), path("huge.zqa"), path("many.zqa") });
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7) << run.out.toStdString();
    EXPECT_TRUE(
        lines[0].startsWith(path("truncated.zqa") + ": Stream read error: the file ends inside the sound"))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], path("notgesture.zqa") + ": Not a Gesture.");
    EXPECT_TRUE(lines[2].contains("ends inside the magic")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith(path("badgif.zqa") + ": the animation: ")) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].contains("no whole frame of the stated width (200 pixels)"))
        << lines[4].toStdString();
    EXPECT_EQ(lines[5], path("missing.zqa") + ": does not exist");
    EXPECT_EQ(lines[6],
        path("huge.zqa")
            + ": The gesture's animation is too large (65535 x 1600 pixels); a gesture holds at most "
            + QString::number(kMaxStripPixels) + " pixels");
    EXPECT_TRUE(run.err.contains("7 of 9 files do not read")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("check: " + path("many.zqa").toUtf8()
        + ": The animation strip holds 65535 frames, but a gesture holds at most 255; the first 255 were "
          "read\n"))
        << run.err.toStdString();

    const auto manyInfo = runCli({ "info", path("many.zqa"), "--json" });
    EXPECT_EQ(manyInfo.exitCode, 0);
    EXPECT_EQ(parseJson(manyInfo.out)["frameCount"].toInt(), 255);
    EXPECT_TRUE(manyInfo.err.contains("info: " + path("many.zqa").toUtf8() + ": The animation strip holds"))
        << manyInfo.err.toStdString();

    const auto ok = runCli({ "check", good, makePlain() });
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_TRUE(ok.out.isEmpty());

    // info shows nothing of a file that fails part-way, and all it read of
    // one without frames, marked as not valid.
    const auto truncated = runCli({ "info", path("truncated.zqa"), "--json" });
    EXPECT_EQ(truncated.exitCode, 1);
    EXPECT_TRUE(truncated.out.isEmpty());
    EXPECT_TRUE(truncated.err.contains("ends inside the sound")) << truncated.err.toStdString();
    const auto noFrames = runCli({ "info", path("noframes.zqa"), "--json" });
    EXPECT_EQ(noFrames.exitCode, 1);
    const QJsonObject json = parseJson(noFrames.out);
    EXPECT_FALSE(json["valid"].toBool());
    EXPECT_EQ(json["frameCount"].toInt(), 0);
    EXPECT_TRUE(json["transparentColor"].isNull());
    EXPECT_EQ(runCli({ "info", path("notgesture.zqa") }).exitCode, 1);
}

TEST_F(GestureCommands, ExtractWritesTheBlocksAsStoredAndFramesWithAlpha)
{
    const QString file = makeFull();
    const Blocks blocks = blocksOf(readAll(file));
    const QString out = path("out/nested");
    const auto run = runCli({ "extract", file, out });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(readAll(out + "/button.gif"), blocks.button);
    EXPECT_EQ(readAll(out + "/animation.gif"), blocks.animation);
    EXPECT_EQ(readAll(out + "/sound.wav"), wav);
    EXPECT_EQ(QDir(out).entryList({ "frame-*.png" }),
        QStringList({ "frame-000.png", "frame-001.png", "frame-002.png" }));

    for (int i = 0; i < 3; ++i) {
        const QImage png(out + QStringLiteral("/frame-%1.png").arg(i, 3, 10, QLatin1Char('0')));
        ASSERT_EQ(png.size(), QSize(10, 8));
        EXPECT_TRUE(png.hasAlphaChannel());
        const QImage source = gesturetest::frameImage(10, 8, i, kMarked);
        int transparent = 0;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 10; ++x) {
                const QRgb got = png.pixel(x, y);
                const QRgb want = source.pixel(x, y);
                if (fromQRgb(want) == kMarked) {
                    EXPECT_EQ(qAlpha(got), 0) << i << " " << x << "," << y;
                    ++transparent;
                } else {
                    EXPECT_EQ(got, want) << i << " " << x << "," << y;
                }
            }
        }
        EXPECT_EQ(transparent, 5);
    }

    // Without a sound there is no sound.wav; without a transparent colour
    // every pixel is opaque.
    const auto plain = runCli({ "extract", makePlain(), path("plain") });
    ASSERT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("plain/sound.wav")));
    const QImage frame(path("plain/frame-001.png"));
    EXPECT_EQ(frame.convertToFormat(QImage::Format_RGB32), gesturetest::frameImage(6, 5, 1));

    // A gesture without a button picture: no button.gif, and the reason.
    writeAll(path("nobutton.zqa"),
        gesturetest::handMade(
            {}, gesturetest::header(0x10, 6, 0, 0, 0), {}, blocksOf(readAll(makePlain())).animation));
    const auto noButton = runCli({ "extract", path("nobutton.zqa"), path("nobutton") });
    ASSERT_EQ(noButton.exitCode, 0) << noButton.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("nobutton/button.gif")));
    EXPECT_TRUE(QFile::exists(path("nobutton/frame-001.png")));
    EXPECT_TRUE(noButton.err.contains("the button block is empty")) << noButton.err.toStdString();

    // Of more frames than a gesture holds, the first 255 are written.
    writeAll(path("many.zqa"), gesturetest::blackGesture(1, 65535, 20));
    const auto many = runCli({ "extract", path("many.zqa"), path("many") });
    ASSERT_EQ(many.exitCode, 0) << many.err.toStdString();
    EXPECT_EQ(QDir(path("many")).entryList({ "frame-*.png" }).size(), 255);
    EXPECT_TRUE(many.err.contains("holds 65535 frames")) << many.err.toStdString();

    // A file that does not read leaves nothing behind.
    writeAll(path("cut.zqa"), readAll(file).left(100));
    const auto cut = runCli({ "extract", path("cut.zqa"), path("cutout") });
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_TRUE(cut.err.contains("cut.zqa: not a gesture that reads")) << cut.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("cutout")));

    // A folder that cannot be made is refused with the system's reason.
    const auto underFile = runCli({ "extract", file, path("plain.zqa/out") });
    EXPECT_EQ(underFile.exitCode, 1);
    EXPECT_TRUE(underFile.err.contains("plain.zqa/out: cannot create the folder: Not a directory"))
        << underFile.err.toStdString();
}

// The tool run with arguments given as bytes: a name that is not valid UTF-8
// cannot travel through QProcess, which takes text.
clitest::CliRun runCliBytes(const QList<QByteArray> &args, const QString &errFile)
{
    const QByteArray program = QFile::encodeName(clitest::cliPath());
    std::vector<char *> argv { const_cast<char *>(program.constData()) };
    for (const QByteArray &arg : args)
        argv.push_back(const_cast<char *>(arg.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(
        &actions, 2, QFile::encodeName(errFile).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    clitest::CliRun run;
    if (posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.err = readAll(errFile);
    return run;
}

// A name that is not valid UTF-8 has no text form: it is refused before the
// command runs, rather than written under another name and reported done.
TEST_F(GestureCommands, NamesThatAreNotUtf8AreRefusedBeforeAnythingIsWritten)
{
    const QByteArray gesture = QFile::encodeName(makePlain());
    const QByteArray gif = QFile::encodeName(testdata::path("gif/gl_1x1.gif"));
    const QByteArray target = QFile::encodeName(dir.path()) + "/out\xff";
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QTemporaryDir errDir;
    const QString errFile = errDir.filePath(QStringLiteral("err.txt"));
    for (const QList<QByteArray> &args : { QList<QByteArray> { "extract", gesture, target },
             QList<QByteArray> { "create", target + ".zqa", "--animation", gif } }) {
        SCOPED_TRACE(args.first().toStdString());
        const auto run = runCliBytes(args, errFile);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.contains("out\\xff") && run.err.contains("is not valid UTF-8"))
            << run.err.toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }
}

// On a full disk every file the tool writes is checked: the command ends
// with status 1 naming the file, and leaves no empty or cut file behind.
TEST_F(GestureCommands, WritesOntoAFullDiskFailAndNameTheFile)
{
    const struct
    {
        QStringList args;
        const char *file;
    } cases[] = {
        { { "extract", makeFull(), path("extracted") }, "button.gif" },
        { { "gif-frames", testdata::path("gif/im_plasma_96x64.gif"), path("frames") }, "frame-000.png" },
    };
    for (const auto &c : cases) {
        const auto run = runCli(c.args, 0);
        EXPECT_EQ(run.exitCode, 1) << c.file;
        EXPECT_TRUE(run.err.contains(c.file)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("File too large")) << run.err.toStdString();
        EXPECT_EQ(QDir(c.args.last()).entryList(QDir::Files | QDir::Hidden), QStringList()) << c.file;
    }
}

TEST_F(GestureCommands, RunWithoutADisplayOrAPlatformSet)
{
    const QString file = makePlain();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const QStringList &args : { QStringList { "info", file }, QStringList { "check", file },
             QStringList { "gif-info", dir.filePath("plain/animation.gif") } }) {
        if (args[0] == "gif-info") {
            ASSERT_EQ(runCli({ "extract", file, path("plain") }).exitCode, 0);
        }
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(clitest::cliPath(), args);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << args.join(' ').toStdString();
        EXPECT_EQ(process.exitCode(), 0) << args.join(' ').toStdString() << "\n"
                                         << process.readAllStandardError().toStdString();
    }
}

} // namespace
