// Every GIF under tests/data/gif made by other programs is read by us and
// compared, frame by frame and pixel by pixel, with giflib's decoding of the
// same file (stored beside it as <name>.frames.txt).
#include "codecs/gifimage.h"
#include "platform/errors.h"
#include "support/testdata.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <gtest/gtest.h>

namespace {

struct ExpectedFrame
{
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int transparentIndex = -1;
    int delay = 0;
    int disposal = 0;
    QVector<QRgb> palette;
    QList<QByteArray> rows; // two hex digits per pixel
};

struct Expected
{
    int screenWidth = 0, screenHeight = 0;
    int loop = -1;
    QList<ExpectedFrame> frames;
};

bool parse(const QString &path, Expected &out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> w = lines[i].simplified().split(' ');
        if (w[0] == "screen") {
            out.screenWidth = w[1].toInt();
            out.screenHeight = w[2].toInt();
        } else if (w[0] == "loop") {
            out.loop = w[1].toInt();
        } else if (w[0] == "frame") {
            ExpectedFrame f;
            f.left = w[2].toInt();
            f.top = w[3].toInt();
            f.width = w[4].toInt();
            f.height = w[5].toInt();
            f.interlaced = w[6] == "1";
            f.transparentIndex = w[7].toInt();
            f.delay = w[8].toInt();
            f.disposal = w[9].toInt();
            const QList<QByteArray> p = lines[++i].simplified().split(' ');
            const int count = p[1].toInt();
            const QList<QByteArray> entries = lines[++i].simplified().split(' ');
            for (int k = 0; k < count && k < entries.size(); ++k)
                f.palette.append(0xFF000000u | entries[k].toUInt(nullptr, 16));
            for (int y = 0; y < f.height; ++y)
                f.rows.append(lines[++i].trimmed());
            out.frames.append(f);
        }
    }
    return true;
}

// The GIFs in a folder of tests/data that have giflib's decoding beside them.
QStringList fixtureNames(const QString &folder)
{
    QStringList names;
    QDir dir(testdata::path(folder));
    for (const QString &name : dir.entryList({ "*.gif" }, QDir::Files, QDir::Name))
        if (QFile::exists(dir.filePath(name.chopped(4) + ".frames.txt")))
            names << name;
    return names;
}

// Every pixel's colour; reports the first few that differ.
void expectPixels(const TBitmap &bitmap, const ExpectedFrame &want)
{
    ASSERT_EQ(bitmap.width(), want.width);
    ASSERT_EQ(bitmap.height(), want.height);
    int mismatches = 0;
    for (int y = 0; y < want.height && mismatches < 5; ++y) {
        const QByteArray &row = want.rows[y];
        for (int x = 0; x < want.width; ++x) {
            const int index = row.mid(x * 2, 2).toInt(nullptr, 16);
            const QRgb wantColour = want.palette.value(index);
            if (bitmap.image().pixel(x, y) != wantColour && ++mismatches < 5)
                ADD_FAILURE() << "pixel " << x << "," << y;
        }
    }
}

} // namespace

TEST(GifFixtures, MatchOtherDecodersPixelForPixel)
{
    const QStringList names = fixtureNames("gif");
    if (names.isEmpty())
        GTEST_SKIP() << "no fixtures";
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        Expected expected;
        ASSERT_TRUE(parse(testdata::path("gif/" + name.chopped(4) + ".frames.txt"), expected));
        TGIFImage gif;
        gif.ReadFromFile(testdata::path("gif/" + name));
        EXPECT_EQ(gif.ScreenWidth(), expected.screenWidth);
        EXPECT_EQ(gif.ScreenHeight(), expected.screenHeight);
        if (expected.loop >= 0) {
            EXPECT_TRUE(gif.Looping);
            EXPECT_EQ(gif.RepeatCount, std::min(expected.loop, 30000));
        }
        ASSERT_EQ(gif.FrameCount(), expected.frames.size());
        for (int i = 0; i < gif.FrameCount(); ++i) {
            SCOPED_TRACE(i);
            TGIFFrame &frame = gif.Frames(i);
            const ExpectedFrame &want = expected.frames[i];
            EXPECT_EQ(frame.Left, want.left);
            EXPECT_EQ(frame.Top, want.top);
            EXPECT_EQ(frame.IsInterlaced, want.interlaced);
            EXPECT_EQ(frame.Disposal, want.disposal);
            EXPECT_EQ(frame.DelayMs, want.delay * 10);
            if (want.transparentIndex >= 0 && want.transparentIndex < want.palette.size())
                EXPECT_EQ(frame.TransparentColor, fromQRgb(want.palette[want.transparentIndex]));
            else
                EXPECT_EQ(frame.TransparentColor, clNone);
            expectPixels(frame.DecodedBitmap(), want);
            EXPECT_FALSE(frame.IsCorrupt);
        }
    }
}

// Hand-made damaged or unusual files: each one reads or fails with one of the
// reader's messages; none may crash or hang.
TEST(GifFixtures, OddFilesReadOrFailCleanly)
{
    QDir dir(testdata::path("gif/odd"));
    const QStringList names = dir.entryList({ "*.gif" }, QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty());
    QMap<QString, QString> outcome;
    for (const QString &name : names) {
        TGIFImage gif;
        try {
            gif.ReadFromFile(dir.filePath(name));
            gif.DecodeFrames();
            outcome[name] = gif.FrameCount() > 0 && gif.Frames(0).IsCorrupt ? "corrupt" : "ok";
        } catch (const PlumoraError &e) {
            outcome[name] = e.message();
        }
    }
    EXPECT_EQ(outcome["version_88a.gif"], "Unknown GIF version");
    EXPECT_EQ(outcome["code_size_1.gif"], "GIF code size not in range 2 to 9");
    EXPECT_EQ(outcome["unknown_extension_33.gif"], "Unrecognized extension block: 33");
    EXPECT_EQ(outcome["no_color_table.gif"], "Wrong number of colors; must be a power of 2");
    EXPECT_EQ(outcome["garbage_after_extension.gif"], "Stream read error");
    EXPECT_EQ(outcome["codes_run_out.gif"], "Stream read error");
    EXPECT_EQ(outcome["lzw_self_loop.gif"], "corrupt");
    EXPECT_EQ(outcome["lzw_cycle2.gif"], "corrupt");
    EXPECT_EQ(outcome["string_after_clear.gif"], "corrupt");
    EXPECT_EQ(outcome["trailing_garbage.gif"], "ok");
    EXPECT_EQ(outcome["sig_lowercase.gif"], "ok");
    EXPECT_TRUE(outcome["screen_20000_origin.gif"].contains("too large"));

    TGIFImage author;
    author.ReadFromFile(dir.filePath("author_extension.gif"));
    EXPECT_EQ(author.Author, "Ann Example");

    // Where giflib's decoding lies beside a file, the pixels agree with it
    // (the other fields may differ on purpose; the README says how).
    for (const QString &name : fixtureNames("gif/odd")) {
        if (outcome[name] != "ok")
            continue;
        SCOPED_TRACE(name.toStdString());
        Expected expected;
        ASSERT_TRUE(parse(dir.filePath(name.chopped(4) + ".frames.txt"), expected));
        TGIFImage gif;
        gif.ReadFromFile(dir.filePath(name));
        ASSERT_EQ(gif.FrameCount(), expected.frames.size());
        for (int i = 0; i < gif.FrameCount(); ++i)
            expectPixels(gif.Frames(i).DecodedBitmap(), expected.frames[i]);
    }
    for (const char *name :
        { "no_clear_first_entry.gif", "code_size_below_depth.gif", "repeated_clear_codes.gif" })
        EXPECT_EQ(outcome[name], "ok") << name;
}
