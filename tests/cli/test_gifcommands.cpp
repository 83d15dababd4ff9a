// gif-info, gif-frames and gif-encode, run as a user runs them: on GIFs made
// by other programs (checked against giflib's decoding of the same files), on
// hand-made odd GIFs, and on pictures made here.
#include "cliprocess.h"
#include "codecs/gifbuilder.h"
#include "codecs/gifimage.h"
#include "support/testdata.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>

#include <sys/stat.h>

using clitest::runCli;

namespace {

// What giflib decoded from a fixture (its .frames.txt beside the GIF).
struct ReferenceFrame
{
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int transparentIndex = -1;
    int delayCentiseconds = 0;
    int disposal = 0;
    QStringList palette; // "rrggbb"
    QList<QByteArray> rows; // two hex digits per pixel
};

struct Reference
{
    int width = 0, height = 0;
    std::vector<ReferenceFrame> frames;
    int loop = -1; // -1 without a loop extension
};

Reference readReference(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QList<QByteArray> lines = file.readAll().split('\n');
    Reference ref;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split(' ');
        if (f[0] == "screen") {
            ref.width = f[1].toInt();
            ref.height = f[2].toInt();
        } else if (f[0] == "frame") {
            ReferenceFrame frame { f[2].toInt(), f[3].toInt(), f[4].toInt(), f[5].toInt(), f[6] == "1",
                f[7].toInt(), f[8].toInt(), f[9].toInt(), {}, {} };
            const int count = lines[++i].split(' ')[1].toInt();
            const QByteArray palette = lines[++i];
            if (count > 0)
                frame.palette = QString::fromLatin1(palette).split(' ');
            for (int y = 0; y < frame.height; ++y)
                frame.rows.append(lines[++i]);
            ref.frames.push_back(frame);
        } else if (f[0] == "loop") {
            ref.loop = f[1].toInt();
        }
    }
    return ref;
}

QJsonObject infoJson(const QString &gif)
{
    const auto run = runCli({ "gif-info", gif, "--json" });
    EXPECT_EQ(run.exitCode, 0) << gif.toStdString() << ": " << run.err.toStdString();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(run.out, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    return doc.object();
}

QStringList sortedKeys(const QJsonObject &object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

QByteArray writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return bytes;
}

} // namespace

// Every GIF made by another program: gif-info reports what giflib found, and
// gif-frames writes PNGs showing giflib's pixels in the frame's colours.
TEST(GifCommands, InfoAndFramesAgreeWithGiflibOnEveryFixture)
{
    const QDir dir(testdata::path("gif"));
    const QStringList names = dir.entryList({ "*.gif" }, QDir::Files, QDir::Name);
    int checked = 0;
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString gif = dir.filePath(name);
        const QString refPath = dir.filePath(QString(name).replace(".gif", ".frames.txt"));
        if (!QFile::exists(refPath))
            continue;
        const Reference ref = readReference(refPath);
        ++checked;
        const QJsonObject info = infoJson(gif);

        EXPECT_EQ(sortedKeys(info),
            QStringList({ "author", "backgroundColor", "comments", "frames", "looping", "repeatCount",
                "screenHeight", "screenWidth", "version" }));
        EXPECT_EQ(info["screenWidth"].toInt(), ref.width);
        EXPECT_EQ(info["screenHeight"].toInt(), ref.height);
        EXPECT_EQ(info["looping"].toBool(), ref.loop >= 0);
        if (ref.loop >= 0) {
            EXPECT_EQ(info["repeatCount"].toInt(), std::min(ref.loop, 30000));
        }
        const QJsonArray frames = info["frames"].toArray();
        ASSERT_EQ(frames.size(), qsizetype(ref.frames.size()));

        QTemporaryDir out;
        ASSERT_TRUE(out.isValid());
        const auto extract = runCli({ "gif-frames", gif, out.path() });
        EXPECT_EQ(extract.exitCode, 0) << extract.err.toStdString();

        for (qsizetype i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE(i);
            const QJsonObject frame = frames[i].toObject();
            const ReferenceFrame &r = ref.frames[std::size_t(i)];
            EXPECT_EQ(sortedKeys(frame),
                QStringList({ "colorDepth", "corrupt", "delayMs", "disposal", "height", "interlaced", "left",
                    "localColors", "top", "transparentColor", "width" }));
            EXPECT_EQ(frame["left"].toInt(), r.left);
            EXPECT_EQ(frame["top"].toInt(), r.top);
            EXPECT_EQ(frame["width"].toInt(), r.width);
            EXPECT_EQ(frame["height"].toInt(), r.height);
            EXPECT_EQ(frame["interlaced"].toBool(), r.interlaced);
            EXPECT_EQ(frame["delayMs"].toInt(), r.delayCentiseconds * 10);
            EXPECT_EQ(frame["disposal"].toInt(), r.disposal);
            EXPECT_EQ(1 << frame["colorDepth"].toInt(), r.palette.size());
            EXPECT_FALSE(frame["corrupt"].toBool());
            if (r.transparentIndex >= 0 && r.transparentIndex < r.palette.size())
                EXPECT_EQ(
                    frame["transparentColor"].toString(), "#" + r.palette[r.transparentIndex].toUpper());
            else
                EXPECT_TRUE(frame["transparentColor"].isNull());

            const QImage png(
                QDir(out.path()).filePath(QStringLiteral("frame-%1.png").arg(i, 3, 10, QChar('0'))));
            ASSERT_EQ(png.size(), QSize(r.width, r.height));
            int wrong = 0;
            for (int y = 0; y < r.height; ++y)
                for (int x = 0; x < r.width; ++x) {
                    const int index = r.rows[y].mid(2 * x, 2).toInt(nullptr, 16);
                    const QRgb expected = 0xFF000000u | r.palette[index].toUInt(nullptr, 16);
                    wrong += (png.pixel(x, y) | 0xFF000000u) != expected;
                }
            EXPECT_EQ(wrong, 0);
        }
    }
    EXPECT_GE(checked, 10);
}

// Windows-1252 texts, a background colour, a loop and picture comments, in a
// GIF spelled out byte by byte.
TEST(GifCommands, InfoDecodesTextsAndHeaderFields)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("texts.gif");
    gifbuild::LzwStream lzw(2);
    lzw.literals({ 1, 2, 3, 0 }).code(lzw.endCode());
    writeFile(path,
        gifbuild::header(2, 2, 2, "GIF89a", 3)
            + gifbuild::application("PLUMO_ID1.0", { "Zo\xEB \x80uro \x9F" }) + gifbuild::loop(0)
            + gifbuild::graphicControl(0x01 | (2 << 2), 25, 1) + gifbuild::image(0, 0, 2, 2, lzw.data())
            + gifbuild::comment({ "caf\xE9", "two" }) + gifbuild::comment({ "third" }) + ";");

    const QJsonObject info = infoJson(path);
    EXPECT_EQ(info["version"].toString(), "89a");
    EXPECT_EQ(info["author"].toString(), QString::fromUtf8("Zoë €uro Ÿ"));
    EXPECT_EQ(
        info["comments"].toArray(), QJsonArray({ QString::fromUtf8("café"), "two", "\r\n\r\n", "third" }));
    // Entry 3 of gifbuild::table: (48, 207, 3).
    EXPECT_EQ(info["backgroundColor"].toString(), "#30CF03");
    EXPECT_TRUE(info["looping"].toBool());
    EXPECT_EQ(info["repeatCount"].toInt(), 0);
    const QJsonObject frame = info["frames"].toArray()[0].toObject();
    EXPECT_EQ(frame["transparentColor"].toString(), "#10EF01");
    EXPECT_EQ(frame["delayMs"].toInt(), 250);
    EXPECT_EQ(frame["disposal"].toInt(), 2);
    EXPECT_FALSE(frame["localColors"].toBool());

    // The text form keeps each comment line on one line of output.
    const auto run = runCli({ "gif-info", path });
    EXPECT_EQ(run.exitCode, 0);
    const QString text = QString::fromUtf8(run.out);
    EXPECT_TRUE(text.contains(QString::fromUtf8("Author:      Zoë €uro Ÿ\n")));
    EXPECT_TRUE(text.contains("Comments:    4 lines\n"));
    EXPECT_TRUE(text.contains("  \\r\\n\\r\\n\n"));
    EXPECT_TRUE(text.contains("Loop:        yes, repeat count 0 (forever)\n"));
}

TEST(GifCommands, DamagedFramesAreReportedWithoutStoppingTheListing)
{
    const QString path = testdata::path("gif/odd/truncated_in_frame1.gif");
    const auto run = runCli({ "gif-info", path, "--json" });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("frame 1 cannot be decoded: Stream read error")) << run.err.toStdString();
    const QJsonArray frames = QJsonDocument::fromJson(run.out).object()["frames"].toArray();
    ASSERT_EQ(frames.size(), 2);
    EXPECT_FALSE(frames[0].toObject()["corrupt"].toBool());
    EXPECT_TRUE(frames[1].toObject()["corrupt"].toBool());

    // A looping LZW chain is corrupt data, not a decoding failure.
    const QJsonObject loop = infoJson(testdata::path("gif/odd/lzw_self_loop.gif"));
    EXPECT_TRUE(loop["frames"].toArray()[0].toObject()["corrupt"].toBool());

    // gif-frames writes what it can and fails for the rest.
    QTemporaryDir out;
    const QString folder = out.filePath("nested/frames");
    const auto extract = runCli({ "gif-frames", path, folder });
    EXPECT_EQ(extract.exitCode, 1);
    EXPECT_TRUE(QFile::exists(folder + "/frame-000.png"));
    EXPECT_FALSE(QFile::exists(folder + "/frame-001.png"));
    EXPECT_TRUE(extract.err.contains("frame 1 cannot be decoded"));
}

// The hand-made odd files: each either reads (valid JSON, exit 0) or fails
// with a message and exit 1, and a few have a known outcome.
TEST(GifCommands, OddFilesNeverCrashTheTool)
{
    const QDir dir(testdata::path("gif/odd"));
    for (const QString &name : dir.entryList({ "*.gif" }, QDir::Files, QDir::Name)) {
        SCOPED_TRACE(name.toStdString());
        const auto run = runCli({ "gif-info", dir.filePath(name), "--json" });
        ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 1);
        if (run.exitCode == 0)
            EXPECT_TRUE(QJsonDocument::fromJson(run.out).isObject());
        else
            EXPECT_TRUE(run.err.contains(name.toUtf8()));
    }
    auto run = runCli({ "gif-info", dir.filePath("version_88a.gif") });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Unknown GIF version"));
    run = runCli({ "gif-info", dir.filePath("unknown_extension_33.gif") });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Unrecognized extension block: 33"));
}

TEST(GifCommands, EncodeWritesTruePixelsAndTexts)
{
    QTemporaryDir dir;
    QImage picture(13, 7, QImage::Format_RGB32);
    const QRgb colours[] = { qRgb(255, 0, 0), qRgb(0, 128, 255), qRgb(10, 20, 30), qRgb(250, 250, 250) };
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, colours[(x + 2 * y) % 4]);
    const QString png = dir.filePath("in.png");
    ASSERT_TRUE(picture.save(png));
    const QString gifPath = dir.filePath("out.gif");

    const auto run = runCli({ "gif-encode", png, gifPath, "--author", QString::fromUtf8("Zoë €uro ☃"),
        "--comment", "first", "--comment=second" });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("written as '?'"));

    TGIFImage gif;
    gif.ReadFromFile(gifPath);
    ASSERT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(gif.Author, QByteArray("Zo\xEB \x80uro ?"));
    EXPECT_EQ(gif.CommentLines(), QList<QByteArray>({ "first", "second" }));
    const QImage decoded = gif.Frames(0).DecodedBitmap().toRgb32();
    ASSERT_EQ(decoded.size(), picture.size());
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ASSERT_EQ(decoded.pixel(x, y) | 0xFF000000u, picture.pixel(x, y)) << x << "," << y;
}

TEST(GifCommands, EncodeGrayAndPalettePictures)
{
    QTemporaryDir dir;
    const QString grayGif = dir.filePath("gray.gif");
    // A palette picture: --gray still gives grey, which needs the true-colour path.
    auto run = runCli({ "gif-encode", testdata::path("pictures/bmp_8bit_64x48.bmp"), grayGif, "--gray" });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    TGIFImage gray;
    gray.ReadFromFile(grayGif);
    const QImage grayImage = gray.Frames(0).DecodedBitmap().image();
    ASSERT_EQ(grayImage.size(), QSize(64, 48));
    for (QRgb entry : grayImage.colorTable())
        ASSERT_TRUE(qRed(entry) == qGreen(entry) && qGreen(entry) == qBlue(entry));

    // A 1-bit BMP keeps its two colours and is written with 1-bit codes.
    const QString monoGif = dir.filePath("mono.gif");
    run = runCli({ "gif-encode", testdata::path("pictures/bmp_1bit_35x9.bmp"), monoGif });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    TGIFImage mono;
    mono.ReadFromFile(monoGif);
    EXPECT_EQ(mono.Frames(0).SharedData->ColorDepth, 1);
    const QImage expected(testdata::path("pictures/bmp_1bit_35x9.png"));
    const QImage decoded = mono.Frames(0).DecodedBitmap().toRgb32();
    ASSERT_EQ(decoded.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            ASSERT_EQ(decoded.pixel(x, y) | 0xFF000000u, expected.pixel(x, y) | 0xFF000000u);
}

TEST(GifCommands, EncodeRefusesWhatIsNotAPicture)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("out.gif");
    const auto run = runCli({ "gif-encode", testdata::path("wav/not_a_wave.wav"), target });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("cannot read the picture"));
    EXPECT_FALSE(QFile::exists(target));
}

// A pipe would wait for a writer for ever and a device never ends: the
// commands that read a picture refuse both at once.
TEST(GifCommands, OnlyPlainFilesAreRead)
{
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe.gif");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QStringList commands[] = {
        { "gif-info", pipe },
        { "gif-frames", pipe, dir.filePath("frames") },
        { "gif-encode", pipe, dir.filePath("out.gif") },
        { "gif-info", "/dev/zero" },
    };
    for (const QStringList &command : commands) {
        SCOPED_TRACE(command.join(' ').toStdString());
        const auto run = runCli(command);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains("is not a plain file")) << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("out.gif")));
}
