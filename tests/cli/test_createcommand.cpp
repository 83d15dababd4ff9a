// plumora-cli create: the gesture it writes, opened again with the gesture
// component, holds what the command line asked for; and what would not read
// back is refused without writing anything.
#include "cliprocess.h"
#include "codecs/gifanimator.h"
#include "codecs/gifimage.h"
#include "gesture/gesturetestutil.h"
#include "gesture/zqgesture.h"
#include "support/testdata.h"

#include <QDataStream>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>

using clitest::runCli;

namespace {

std::unique_ptr<TZQGesture> openGesture(const QString &path)
{
    auto gesture = std::make_unique<TZQGesture>();
    gesture->setFilename(path);
    EXPECT_TRUE(gesture->Valid()) << path.toStdString();
    return gesture;
}

QRgb rgb(QRgb value)
{
    return value & RGB_MASK;
}

} // namespace

TEST(CreateCommand, JpegStripWithEveryPart)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("blocks.zqa");
    const auto run = runCli({ "create", out, "--animation", testdata::path("pictures/jpeg_strip_300x60.jpg"),
        "--frames", "5", "--auto-button", "--tagline", "Five blocks", "--author", "Tester", "--loop", "3",
        "--transparent", "ff00ff", "--sound", testdata::path("wav/tone_s16_8000.wav"), "--audio-frame", "4",
        "--audio-repeat" });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    auto gesture = openGesture(out);
    ASSERT_TRUE(gesture->Frames());
    EXPECT_EQ(gesture->Frames()->Count(), 5);
    EXPECT_EQ(gesture->Frames()->Width(), 60);
    EXPECT_EQ(gesture->Frames()->Height(), 60);
    EXPECT_EQ(gesture->Tagline(), QStringLiteral("Five blocks"));
    EXPECT_EQ(gesture->Author(), QStringLiteral("Tester"));
    EXPECT_EQ(gesture->AnimLoopOption(), aoLoop);
    EXPECT_EQ(gesture->AnimLoopFrame(), 3);
    EXPECT_EQ(gesture->TransparentColor(), RGBColor(255, 0, 255));
    EXPECT_TRUE(gesture->HasAudio());
    EXPECT_EQ(gesture->AudioData(), testdata::read("wav/tone_s16_8000.wav"));
    EXPECT_EQ(gesture->AudioLoopFrame(), 4);
    EXPECT_TRUE(gesture->AudioRepeat());
    // The blocks, in order, as libjpeg's decoding shows them.
    const QImage reference(testdata::path("pictures/jpeg_strip_300x60.png"));
    for (int i = 0; i < 5; ++i) {
        const QRgb got = gesture->Frames()->Picture(i).pixel(30, 30);
        const QRgb want = reference.pixel(60 * i + 30, 30);
        EXPECT_NEAR(qRed(got), qRed(want), 24) << i;
        EXPECT_NEAR(qGreen(got), qGreen(want), 24) << i;
        EXPECT_NEAR(qBlue(got), qBlue(want), 24) << i;
    }
    // The button picture: the first (red) block filling 18 x 18.
    EXPECT_EQ(gesture->Glyph().width(), 18);
    EXPECT_GT(qRed(gesture->Glyph().image().pixel(9, 9)), 200);
}

TEST(CreateCommand, AnimatedGifFramesAsComposed)
{
    QTemporaryDir dir;
    const QString source = testdata::path("gif/im_anim_disposal_loop3.gif");
    const QString out = dir.filePath("anim.zqa");
    const auto run = runCli({ "create", out, "--animation", source });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    auto gesture = openGesture(out);
    ASSERT_EQ(gesture->Frames()->Count(), 4);
    EXPECT_EQ(gesture->TransparentColor(), clNone);
    EXPECT_EQ(gesture->AnimLoopOption(), aoPlayOnce);

    TRxGIFAnimator animator;
    animator.Image().ReadFromFile(source);
    animator.setTransparent(false);
    animator.setStretch(true);
    for (int k = 0; k < 4; ++k) {
        const QImage want = animator.GetFrameBitmapFromScratch(k).image();
        const QImage &got = gesture->Frames()->Picture(k);
        ASSERT_EQ(got.size(), want.size());
        for (int y = 0; y < want.height(); ++y)
            for (int x = 0; x < want.width(); ++x)
                ASSERT_EQ(rgb(got.pixel(x, y)), rgb(want.pixel(x, y))) << k << ": " << x << "," << y;
    }

    // The transparent colour of the GIF's first frame, on request.
    const QString pil = dir.filePath("pil.zqa");
    ASSERT_EQ(runCli({ "create", pil, "--animation", testdata::path("gif/pil_anim_local_loop7.gif"),
                         "--transparent-from-gif" })
                  .exitCode,
        0);
    auto masked = openGesture(pil);
    EXPECT_EQ(masked->TransparentColor(), RGBColor(0x59, 0xfe, 0xdc));
}

// "--reverse" is also one of the options QApplication takes for itself; the
// tool must see it all the same.
TEST(CreateCommand, ReverseReachesTheCommand)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("r.zqa");
    const auto run
        = runCli({ "create", out, "--animation", testdata::path("gif/im_40frames_loop0.gif"), "--reverse" });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(openGesture(out)->AnimLoopOption(), aoReverse);
}

TEST(CreateCommand, AuthorTextOfTheGifIsKept)
{
    QTemporaryDir dir;
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::green);
    TGIFImage gif;
    gif.CopyFrom(TBitmap(image));
    gif.Author = "Gif Author";
    const QString source = dir.filePath("author.gif");
    gif.WriteToFile(source);

    const QString out = dir.filePath("a.zqa");
    ASSERT_EQ(runCli({ "create", out, "--animation", source, "--frames", "2" }).exitCode, 0);
    auto gesture = openGesture(out);
    EXPECT_EQ(gesture->Author(), QStringLiteral("Gif Author"));
    EXPECT_EQ(gesture->Frames()->Count(), 2);

    const auto refused
        = runCli({ "create", dir.filePath("b.zqa"), "--animation", source, "--author", "Other" });
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("Gif Author")) << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("b.zqa")));
}

// A GIF whose one frame has no pixels (0 x 0 on a 2 x 2 screen) is cut into
// black frames of the screen's height, by count or by width.
TEST(CreateCommand, FrameWithoutPixelsIsCut)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("empty.gif");
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        QByteArray("GIF89a\x02\0\x02\0\x80\0\0\0\0\0\xff\xff\xff,\0\0\0\0\0\0\0\0\0\x02\x02\x44\x01\0;", 35));
    file.close();
    for (const char *split : { "--frames=2", "--frame-width=1" }) {
        const QString out = dir.filePath(QString::fromLatin1(split).mid(2, 8) + ".zqa");
        const auto run = runCli({ "create", out, "--animation", source, split });
        ASSERT_EQ(run.exitCode, 0) << split << run.err.toStdString();
        auto gesture = openGesture(out);
        EXPECT_EQ(gesture->Frames()->Count(), 2);
        EXPECT_EQ(rgb(gesture->Frames()->Picture(1).pixel(0, 1)), rgb(qRgb(0, 0, 0)));
    }
}

// A 120-byte BMP 1,048,576 pixels wide and one high: run-length coded, it
// ends at once, so every pixel is palette entry 0.
QByteArray wideBmp()
{
    QByteArray bmp;
    QDataStream out(&bmp, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 dataOffset = 14 + 40 + 16 * 4;
    out.writeRawData("BM", 2);
    out << quint32(dataOffset + 2) << quint32(0) << dataOffset;
    out << quint32(40) << qint32(1 << 20) << qint32(1) << quint16(1) << quint16(4) << quint32(2) // RLE4
        << quint32(2) << qint32(2835) << qint32(2835) << quint32(16) << quint32(0);
    for (int i = 0; i < 16; ++i)
        out << quint8(i * 16) << quint8(i * 16) << quint8(255 - i * 16) << quint8(0);
    out << quint8(0) << quint8(1); // end of bitmap
    return bmp;
}

// Cut into 20-pixel frames, the BMP gives 52,428: refused at once with the
// numbers, or its first 255 kept with --first-frames, without cutting the rest.
TEST(CreateCommand, MoreFramesThanAGestureHolds)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("wide.bmp");
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(wideBmp());
    file.close();
    const QString out = dir.filePath("w.zqa");

    const auto refused = runCli({ "create", out, "--animation", source, "--frame-width", "20" });
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(
        refused.err.contains("The animation has 52428 frames; a gesture holds at most 255 of this size"))
        << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("--first-frames")) << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));

    const auto kept
        = runCli({ "create", out, "--animation", source, "--frame-width", "20", "--first-frames" });
    ASSERT_EQ(kept.exitCode, 0) << kept.err.toStdString();
    auto gesture = openGesture(out);
    ASSERT_TRUE(gesture->Frames());
    EXPECT_EQ(gesture->Frames()->Count(), 255);
    EXPECT_EQ(gesture->Frames()->Width(), 20);
    EXPECT_EQ(rgb(gesture->Frames()->Picture(254).pixel(19, 0)), rgb(qRgb(255, 0, 0)));
}

TEST(CreateCommand, RefusesWhatWouldNotReadBack)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("x.zqa");
    const QString strip = testdata::path("pictures/jpeg_strip_300x60.jpg");
    const QString longWav = dir.filePath("long.wav");
    QFile sound(longWav);
    ASSERT_TRUE(sound.open(QIODevice::WriteOnly));
    sound.write(gesturetest::wav(441000, 22050)); // 20 s: too long even at 4,000 Hz 8-bit mono
    sound.close();
    struct Case
    {
        QStringList args;
        int exitCode;
        const char *message;
    };
    const Case cases[] = {
        { { "create", out }, 2, "--animation" },
        { { "create", out, "--animation", strip, "--frames", "0" }, 2, "whole number" },
        { { "create", out, "--animation", strip, "--frames", "2", "--frame-width", "9" }, 2, "together" },
        { { "create", out, "--animation", strip, "--transparent", "red" }, 2, "RRGGBB" },
        { { "create", out, "--animation", strip, "--frames", "5", "--loop", "6" }, 1, "5 frames" },
        { { "create", out, "--animation", testdata::path("gif/im_40frames_loop0.gif"), "--frames", "2" }, 1,
            "40 frames" },
        { { "create", out, "--animation", dir.filePath("missing.gif") }, 1, "missing.gif" },
        // The sound is checked (from the length its header states) before the
        // animation is even looked for.
        { { "create", out, "--animation", dir.filePath("missing.gif"), "--sound", longWav }, 1,
            "create: The sound \"long.wav\" lasts 20.0 s, but a gesture holds at most 16.3 s of sound (at "
            "4,000 Hz, 8-bit mono)\n" },
    };
    for (const Case &c : cases) {
        const auto run = runCli(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }

    // 300 frames of 255 pixels: more than a gesture's byte-sized frame
    // numbers count.
    TGIFImage wide;
    QImage frame(255, 4, QImage::Format_RGB32);
    for (int i = 0; i < 300; ++i) {
        frame.fill(i % 2 ? Qt::black : Qt::white);
        wide.AppendFrame(TBitmap(frame));
    }
    const QString source = dir.filePath("wide.gif");
    wide.WriteToFile(source);
    const auto run = runCli({ "create", out, "--animation", source });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("The animation has 300 frames; a gesture holds at most 255 of this size"))
        << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

// A filmed clip far larger than the file holds: refused as it is, with the
// way out named; fitted by --fit or by the knobs; --keep-speed takes the
// frame at each 250 ms.
TEST(CreateCommand, FitsAFilmedClipIntoTheFile)
{
    QTemporaryDir dir;
    // 40 frames of 120 x 90 panning over grain and gradients, 100 ms each.
    QImage scene(200, 90, QImage::Format_RGB32);
    std::uint32_t noise = 1;
    for (int y = 0; y < scene.height(); ++y)
        for (int x = 0; x < scene.width(); ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = int(noise >> 28) - 8;
            scene.setPixel(x, y,
                qRgb(std::clamp(x + grain, 0, 255), std::clamp(2 * y + grain, 0, 255),
                    std::clamp(160 - x / 2 + grain, 0, 255)));
        }
    TGIFImage clip;
    for (int i = 0; i < 40; ++i) {
        clip.AppendFrame(TBitmap(scene.copy(i * 2, 0, 120, 90)));
        clip.Frames(i).DelayMs = 100;
    }
    const QString source = dir.filePath("clip.gif");
    clip.WriteToFile(source);
    const QString out = dir.filePath("clip.zqa");

    const auto refused = runCli({ "create", out, "--animation", source });
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("--fit makes it fit")) << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));

    struct Case
    {
        QStringList options;
        int frames, width, colours; // colours: at most
    };
    const Case cases[] = {
        { { "--fit" }, 40, 0, 256 },
        { { "--fit", "--keep-speed" }, 16, 0, 256 },
        { { "--scale", "50", "--colors", "16", "--every", "2" }, 20, 60, 16 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        const auto run = runCli(QStringList { "create", out, "--animation", source } + c.options);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        auto gesture = openGesture(out);
        ASSERT_TRUE(gesture->Frames());
        EXPECT_EQ(gesture->Frames()->Count(), c.frames);
        if (c.width) {
            EXPECT_EQ(gesture->Frames()->Width(), c.width);
        }
        QSet<QRgb> colours;
        const QImage strip = gesture->Frames()->Strip();
        for (int y = 0; y < strip.height(); ++y)
            for (int x = 0; x < strip.width(); ++x)
                colours.insert(strip.pixel(x, y));
        EXPECT_LE(colours.size(), c.colours);
        const auto info = runCli({ "info", out });
        EXPECT_TRUE(info.out.contains(QStringLiteral("Animation block:   %1 of 65535 bytes")
                                          .arg(gesture->AnimationBlockSize())
                                          .toUtf8()))
            << info.out.toStdString();
        QFile::remove(out);
    }

    for (const QStringList &wrong :
        { QStringList { "--fit", "--scale", "50" }, QStringList { "--colors", "1" },
            QStringList { "--scale", "101" }, QStringList { "--every", "0" } }) {
        const auto run = runCli(QStringList { "create", out, "--animation", source } + wrong);
        EXPECT_EQ(run.exitCode, 2) << wrong.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
}
