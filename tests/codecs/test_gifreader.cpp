// Reading GIFs built byte by byte: each case names what the reader must do.
#include "codecs/gifimage.h"
#include "gifbuilder.h"
#include "platform/errors.h"
#include "support/giflibdecode.h"

#include <QBuffer>

#include <utility>

#include <gtest/gtest.h>

using namespace gifbuild;

namespace {

void read(TGIFImage &gif, const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    gif.ReadFromStream(buffer);
}

// The message of the error reading raises, or "" when it succeeds.
QString readError(const QByteArray &bytes)
{
    TGIFImage gif;
    try {
        read(gif, bytes);
    } catch (const PlumoraError &e) {
        return e.message();
    }
    return {};
}

std::vector<int> indexes(TGIFFrame &frame)
{
    const QImage &image = frame.DecodedBitmap().image();
    std::vector<int> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.push_back(image.pixelIndex(x, y));
    return out;
}

} // namespace

TEST(GifReader, ReadsHeaderScreenAndPixels)
{
    TGIFImage gif;
    read(gif,
        header(3, 2, 2, "GIF87a", 2)
            + image(0, 0, 3, 2, LzwStream(2).literals({ 0, 1, 2, 3, 2, 1 }).code(5).data()) + ";");
    EXPECT_EQ(gif.Version, 1);
    EXPECT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(gif.FrameIndex, 0);
    EXPECT_EQ(gif.ScreenWidth(), 3);
    EXPECT_EQ(gif.ScreenHeight(), 2);
    EXPECT_EQ(gif.Header->ColorDepth, 2);
    EXPECT_EQ(gif.Header->GlobalColors.Count, 4);
    EXPECT_EQ(gif.BackgroundColor, RGBColor(32, 223, 2));
    EXPECT_EQ(gif.CurrentWidth(), 3);
    EXPECT_EQ(gif.CurrentHeight(), 2);
    EXPECT_EQ(indexes(gif.Frames(0)), (std::vector<int> { 0, 1, 2, 3, 2, 1 }));
    // A 2-bit table decodes into a 4-bit bitmap padded with grey.
    const TBitmap &bitmap = gif.Frames(0).DecodedBitmap();
    EXPECT_EQ(bitmap.bitsPerPixel(), 4);
    ASSERT_EQ(bitmap.palette().size(), 16);
    EXPECT_EQ(bitmap.palette()[1], qRgb(16, 239, 1));
    EXPECT_EQ(bitmap.palette()[4], qRgb(128, 128, 128));
    EXPECT_FALSE(gif.Frames(0).IsCorrupt);
}

TEST(GifReader, SignatureAndVersion)
{
    const QByteArray body = image(0, 0, 1, 1, LzwStream(2).literals({ 1 }).code(5).data()) + ";";
    TGIFImage gif;
    read(gif, header(1, 1, 2, "gif89A") + body);
    EXPECT_EQ(gif.Version, 2);

    // No bytes at all is an empty picture, not an error.
    TGIFImage empty;
    read(empty, {});
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.FrameIndex, -1);
    EXPECT_EQ(empty.ScreenWidth(), 0);
}

TEST(GifReader, ColourTablesAndDepth)
{
    // A local table of 1 bit overrides a global 8-bit table.
    TGIFImage gif;
    read(gif, header(2, 1, 8) + image(0, 0, 2, 1, LzwStream(2).literals({ 1, 0 }).code(5).data(), 1) + ";");
    TGIFFrame &frame = gif.Frames(0);
    EXPECT_TRUE(frame.HasLocalColors);
    EXPECT_EQ(frame.SharedData->ColorDepth, 1);
    EXPECT_EQ(frame.SharedData->Colors.Count, 2);
    EXPECT_EQ(frame.DecodedBitmap().bitsPerPixel(), 1);
    EXPECT_EQ(indexes(frame), (std::vector<int> { 1, 0 }));
}

TEST(GifReader, LoopExtension)
{
    const QByteArray frame = image(0, 0, 1, 1, LzwStream(2).literals({ 1 }).code(5).data());
    TGIFImage gif;
    read(gif, header(1, 1, 2) + loop(0) + frame + ";");
    EXPECT_TRUE(gif.Looping);
    EXPECT_EQ(gif.RepeatCount, 0);
    read(gif, header(1, 1, 2) + loop(40000) + frame + ";");
    EXPECT_EQ(gif.RepeatCount, 30000);
    read(gif, header(1, 1, 2) + loop(7) + frame + ";");
    EXPECT_EQ(gif.RepeatCount, 7);
    // A loop block that is too short, or of another kind, is ignored.
    read(gif, header(1, 1, 2) + application("NETSCAPE2.0", { QByteArray("\x01\x05", 2) }) + frame + ";");
    EXPECT_FALSE(gif.Looping);
    EXPECT_EQ(gif.RepeatCount, 1);
    read(gif, header(1, 1, 2) + application("NETSCAPE2.0", { QByteArray("\x02\x05\x00", 3) }) + frame + ";");
    EXPECT_FALSE(gif.Looping);
}

TEST(GifReader, AuthorExtension)
{
    const QByteArray frame = image(0, 0, 1, 1, LzwStream(2).literals({ 1 }).code(5).data());
    TGIFImage gif;
    read(gif, header(1, 1, 2) + application("PLUMO_ID1.0", { "Ann Example", "ignored" }) + frame + ";");
    EXPECT_EQ(gif.Author, "Ann Example");
    EXPECT_FALSE(gif.Frames(0).ExtensionList.has_value());
    // Reading another picture does not keep the author of the last one.
    read(gif, header(1, 1, 2) + frame + ";");
    EXPECT_TRUE(gif.Author.isEmpty());
}

TEST(GifReader, CommentsAfterLastImageBelongToThePicture)
{
    const QByteArray frame = image(0, 0, 1, 1, LzwStream(2).literals({ 1 }).code(5).data());
    TGIFImage gif;
    read(gif,
        header(1, 1, 2) + comment({ "before" }) + frame + comment({ "one", "two" }) + comment({ "three" })
            + ";");
    EXPECT_EQ(gif.CommentLines(), (QList<QByteArray> { "one", "two", "\r\n\r\n", "three" }));
    ASSERT_TRUE(gif.Frames(0).FrameComment());
    EXPECT_EQ(*gif.Frames(0).FrameComment(), (QList<QByteArray> { "before" }));

    // Comments at the very end without a trailer count too.
    read(gif, header(1, 1, 2) + frame + comment({ "tail" }));
    EXPECT_EQ(gif.CommentLines(), (QList<QByteArray> { "tail" }));
}

TEST(GifReader, GraphicControlRules)
{
    const QByteArray pixels = LzwStream(2).literals({ 1 }).code(5).data();
    TGIFImage gif;
    // Larger delay wins; the later transparency setting wins.
    read(gif,
        header(1, 1, 2) + graphicControl(0x01 | (2 << 2), 9, 3) + graphicControl(0x00 | (1 << 2), 5, 3)
            + image(0, 0, 1, 1, pixels) + ";");
    EXPECT_EQ(gif.Frames(0).DelayMs, 90);
    EXPECT_EQ(gif.Frames(0).TransparentColor, clNone);
    EXPECT_EQ(gif.Frames(0).Disposal, 1);
    ASSERT_TRUE(gif.Frames(0).ExtensionList.has_value());
    EXPECT_EQ(gif.Frames(0).ExtensionList->size(), 2);

    read(gif,
        header(1, 1, 2) + graphicControl(0x00, 5, 0) + graphicControl(0x01, 9, 2) + image(0, 0, 1, 1, pixels)
            + ";");
    EXPECT_EQ(gif.Frames(0).TransparentColor, RGBColor(32, 223, 2));
    EXPECT_EQ(gif.Frames(0).DelayMs, 90);
    EXPECT_TRUE(gif.IsTransparent());
    gif.Transparent = false;
    EXPECT_FALSE(gif.IsTransparent());

    // A transparent index beyond the table leaves no transparent colour.
    read(gif, header(1, 1, 2) + graphicControl(0x01, 0, 4) + image(0, 0, 1, 1, pixels) + ";");
    EXPECT_EQ(gif.Frames(0).TransparentColor, clNone);

    // A graphic control followed by plain text is dropped with it.
    read(gif, header(1, 1, 2) + graphicControl(0x01, 50, 1) + plainText() + image(0, 0, 1, 1, pixels) + ";");
    EXPECT_EQ(gif.Frames(0).DelayMs, 0);
    EXPECT_EQ(gif.Frames(0).TransparentColor, clNone);
    EXPECT_FALSE(gif.Frames(0).ExtensionList.has_value());

    // The largest delay field is held at what the millisecond field can take.
    read(gif, header(1, 1, 2) + graphicControl(0, 60000, 0) + image(0, 0, 1, 1, pixels) + ";");
    EXPECT_EQ(gif.Frames(0).DelayMs, 65535);
}

TEST(GifReader, GarbageAndUnknownBlocks)
{
    const QByteArray frame = image(0, 0, 1, 1, LzwStream(2).literals({ 1 }).code(5).data());
    // Garbage after the last image ends the file quietly.
    TGIFImage gif;
    read(gif, header(1, 1, 2) + frame + "garbage");
    EXPECT_EQ(gif.FrameCount(), 1);
    // Zero bytes between images are skipped.
    read(gif, header(1, 1, 2) + frame + QByteArray(3, '\0') + frame + ";");
    EXPECT_EQ(gif.FrameCount(), 2);
}

TEST(GifReader, InterlacedRowsArePlacedOnce)
{
    for (int height = 1; height <= 9; ++height) {
        // Rows arrive in pass order; each row's pixel is its display row.
        std::vector<int> order;
        for (int y = 0; y < height; y += 8)
            order.push_back(y);
        for (int y = 4; y < height; y += 8)
            order.push_back(y);
        for (int y = 2; y < height; y += 4)
            order.push_back(y);
        for (int y = 1; y < height; y += 2)
            order.push_back(y);
        LzwStream lzw(4);
        lzw.literals(order).code(lzw.endCode());
        TGIFImage gif;
        read(gif, header(1, height, 4) + image(0, 0, 1, height, lzw.data(), 0, true) + ";");
        std::vector<int> expected(static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y)
            expected[std::size_t(y)] = y;
        EXPECT_EQ(indexes(gif.Frames(0)), expected) << "height " << height;
    }
}

// Streams as encoders write them decode as giflib decodes them: a code size
// below the table's depth (codes from the clear code up are never colours), no
// leading clear code (the first code adds no entry), runs of clear codes (each
// one resets), codes for the string being defined.
TEST(GifReader, LzwStreamsDecodeAsGiflibDoes)
{
    struct Case
    {
        const char *what;
        int codeSize;
        int depth;
        std::vector<int> codes;
        std::vector<int> pixels;
    };
    const std::vector<Case> cases = {
        { "code size below the depth", 2, 3, { 4, 1, 2, 6, 7, 3, 5 }, { 1, 2, 1, 2, 2, 1, 3 } },
        { "no leading clear code", 2, 2, { 1, 6, 2, 5 }, { 1, 1, 1, 2 } },
        { "neither", 3, 6, { 7, 10, 11, 2, 9 }, { 7, 7, 7, 7, 7, 7, 2 } },
        { "repeated clear codes", 2, 2, { 4, 4, 1, 6, 4, 4, 4, 2, 5 }, { 1, 1, 1, 2 } },
        { "strings being defined", 2, 2, { 4, 2, 6, 7, 5 }, { 2, 2, 2, 2, 2, 2 } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        LzwStream lzw(c.codeSize);
        for (int code : c.codes)
            lzw.code(code);
        const int width = int(c.pixels.size());
        const QByteArray bytes = header(width, 1, c.depth) + image(0, 0, width, 1, lzw.data()) + ";";
        const giflibdecode::Result theirs = giflibdecode::decode(bytes);
        ASSERT_TRUE(theirs.ok) << theirs.error.toStdString();
        EXPECT_EQ(std::vector<int>(theirs.frames[0].pixels.begin(), theirs.frames[0].pixels.end()), c.pixels);
        TGIFImage gif;
        read(gif, bytes);
        EXPECT_EQ(indexes(gif.Frames(0)), c.pixels);
        EXPECT_FALSE(gif.Frames(0).IsCorrupt);
    }
}

TEST(GifReader, LiteralsBeyondTheColourTableKeepItsBits)
{
    // Code size 2 over a 2-entry table: literal 3 names no colour (giflib
    // passes it on); the pixel keeps the table's one bit, so it stays a colour.
    LzwStream lzw(2);
    lzw.codes({ 4, 1, 3, lzw.endCode() });
    TGIFImage gif;
    read(gif, header(2, 1, 1) + image(0, 0, 2, 1, lzw.data()) + ";");
    EXPECT_EQ(indexes(gif.Frames(0)), (std::vector<int> { 1, 1 }));
}

TEST(GifReader, FullTableKeepsTwelveBitCodesUntilClear)
{
    // Fill the table with literal codes until it is full, then go on with
    // literals at 12 bits; no entry is added until the next clear code.
    LzwStream lzw(2);
    std::vector<int> expected;
    lzw.code(4);
    for (int i = 0; i < 4200; ++i) {
        lzw.code(i % 4);
        expected.push_back(i % 4);
    }
    EXPECT_EQ(lzw.width(), 12);
    lzw.code(4).code(3);
    expected.push_back(3);
    lzw.code(lzw.endCode());
    const int width = int(expected.size());
    TGIFImage gif;
    read(gif, header(width, 1, 2) + image(0, 0, width, 1, lzw.data()) + ";");
    EXPECT_EQ(indexes(gif.Frames(0)), expected);
    EXPECT_FALSE(gif.Frames(0).IsCorrupt);
}

TEST(GifReader, SelfReferringStringIsCorruptNotAnError)
{
    // Codes 7, 7, 7 after a clear make entry 7 refer to itself; the next use
    // of code 7 would loop for ever and must stop as corrupt data.
    LzwStream lzw(2);
    lzw.codes({ 4, 7, 7, 7, 7, lzw.endCode() });
    TGIFImage gif;
    read(gif, header(10, 10, 2) + image(0, 0, 10, 10, lzw.data()) + ";");
    ASSERT_EQ(gif.FrameCount(), 1);
    EXPECT_TRUE(gif.Frames(0).IsCorrupt);
    EXPECT_EQ(gif.Frames(0).Width(), 10);
}

TEST(GifReader, TruncatedData)
{
    LzwStream lzw(2);
    std::vector<int> pixels(64, 1);
    lzw.literals(pixels).code(lzw.endCode());
    // Data that ends before the end code with all rows written is fine.
    LzwStream exact(2);
    exact.literals({ 1, 2, 3, 1 });
    TGIFImage gif;
    read(gif, header(2, 2, 2) + image(0, 0, 2, 2, exact.data()) + ";");
    EXPECT_EQ(indexes(gif.Frames(0)), (std::vector<int> { 1, 2, 3, 1 }));

    // A second frame that is cut keeps the first one readable.
    read(gif, header(8, 8, 2) + image(0, 0, 8, 8, lzw.data()) + image(0, 0, 8, 8, lzw.data()).left(30));
    ASSERT_EQ(gif.FrameCount(), 2);
    EXPECT_FALSE(gif.Frames(0).IsCorrupt);
    EXPECT_TRUE(gif.Frames(1).IsCorrupt);
    EXPECT_THROW(gif.Frames(1).DecodedBitmap(), EStreamError);
}

// A GIF's bytes are held once: every frame's encoded data is a slice of the
// buffer read, never a copy, so a long animation does not cost twice its
// file. Raw data, which the array does not own, is copied once.
TEST(GifReader, FramesShareTheBytesRead)
{
    LzwStream lzw(2);
    lzw.literals(std::vector<int>(64, 1)).code(lzw.endCode());
    const QByteArray bytes
        = header(8, 8, 2) + image(0, 0, 8, 8, lzw.data()) + image(0, 0, 8, 8, lzw.data()) + ";";
    TGIFImage shared, streamed, raw;
    shared.ReadFromBuffer(bytes);
    read(streamed, bytes);
    raw.ReadFromBuffer(QByteArray::fromRawData(bytes.constData(), bytes.size()));
    for (TGIFImage *gif : { &shared, &streamed, &raw }) {
        ASSERT_EQ(gif->FrameCount(), 2);
        const QByteArray &buffer = gif->Frames(0).SharedData->EncodedData.buffer();
        EXPECT_EQ(buffer, bytes);
        EXPECT_EQ(gif->Frames(1).SharedData->EncodedData.buffer().constData(), buffer.constData());
        EXPECT_EQ(indexes(gif->Frames(1)), std::vector<int>(64, 1));
    }
    EXPECT_EQ(shared.Frames(0).SharedData->EncodedData.buffer().constData(), bytes.constData());
    EXPECT_NE(raw.Frames(0).SharedData->EncodedData.buffer().constData(), bytes.constData());
}

TEST(GifReader, FirstFrameThatCannotDecodeIsRemoved)
{
    LzwStream bad(2);
    bad.code(4).code(1); // runs out long before 16 pixels
    LzwStream good(2);
    good.literals(std::vector<int>(16, 2)).code(5);
    TGIFImage gif;
    QBuffer buffer;
    buffer.setData(header(4, 4, 2) + image(0, 0, 4, 4, bad.data()) + image(0, 0, 4, 4, good.data()) + ";");
    buffer.open(QIODevice::ReadOnly);
    EXPECT_THROW(gif.ReadFromStream(buffer), EStreamError);
    EXPECT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(indexes(gif.Frames(0)), std::vector<int>(16, 2));
}

// Malformed input: each row is refused with a message that says why, before
// anything large is allocated.
TEST(GifReader, MalformedInputIsRefusedWithItsReason)
{
    const QByteArray one = LzwStream(2).literals({ 1 }).code(5).data();
    const QByteArray tiny = image(0, 0, 1, 1, one) + ";";
    QByteArray badCodeSize = one;
    badCodeSize[0] = 1;
    QByteArray hugeCodeSize = one;
    hugeCodeSize[0] = 10;
    LzwStream ones(2);
    ones.literals(std::vector<int>(64, 1)).code(ones.endCode());
    const QByteArray whole = header(8, 8, 2) + image(0, 0, 8, 8, ones.data()) + ";";
    // 100 frames within the limits whose few bytes could never fill them.
    QByteArray heavy = header(16384, 16384, 2);
    for (int i = 0; i < 100; ++i)
        heavy += image(0, 0, 16384, 16384, one);
    const struct
    {
        const char *what;
        QByteArray bytes;
        const char *message; // contained in the error's text
    } rows[] = {
        { "unknown version", header(1, 1, 2, "GIF88a") + tiny, "Unknown GIF version" },
        { "not a GIF", header(1, 1, 2, "PNG89a") + tiny, "Unknown GIF version" },
        { "signature only", "GIF", "Stream read error" },
        { "cut screen descriptor", QByteArray("GIF89a\x01\x00", 8), "Stream read error" },
        // Without any table the frame cannot be decoded, so it is dropped.
        { "no colour table",
            header(2, 1, 0) + image(0, 0, 2, 1, LzwStream(2).literals({ 0, 1 }).code(5).data()) + ";",
            "Wrong number of colors; must be a power of 2" },
        { "code size 1", header(1, 1, 2) + image(0, 0, 1, 1, badCodeSize) + ";",
            "GIF code size not in range 2 to 9" },
        { "code size 10", header(1, 1, 2) + image(0, 0, 1, 1, hugeCodeSize) + ";",
            "GIF code size not in range 2 to 9" },
        { "garbage after an extension",
            header(1, 1, 2) + graphicControl(0, 1, 0) + "X" + image(0, 0, 1, 1, one), "Stream read error" },
        { "unknown extension", header(1, 1, 2) + "\x21\x33" + image(0, 0, 1, 1, one),
            "Unrecognized extension block: 33" },
        { "cut inside a sub-block", whole.left(whole.size() - 6), "Stream read error" },
        { "huge screen", header(20000, 20000, 2) + tiny, "too large" },
        { "huge frame", header(1, 1, 2) + image(0, 0, 16385, 16384, one) + ";", "too large" },
        { "data that cannot fill its frames", heavy + ";", "bytes of image data can describe" },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const QString error = readError(row.bytes);
        EXPECT_TRUE(error.contains(QLatin1String(row.message))) << error.toStdString();
    }
    // A long thin strip is fine: the size limit is on the area.
    TGIFImage gif;
    read(gif, header(65535, 2, 2) + tiny);
    EXPECT_EQ(gif.ScreenWidth(), 65535);
}

TEST(GifReader, DecodingReportsProgressAndCanBeCancelled)
{
    // 64 KB of data: a few reports, each at a higher percentage.
    std::vector<int> pixels(256 * 256);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = int((i * 7 + i / 256) % 256);
    LzwStream lzw(8);
    lzw.literals(pixels).code(lzw.endCode());
    const QByteArray bytes = header(256, 256, 8) + image(0, 0, 256, 256, lzw.data()) + ";";
    TGIFImage gif;
    std::vector<std::pair<TProgressStage, int>> events;
    gif.OnProgress = [&events](TProgressStage stage, int percent, const QString &) {
        events.emplace_back(stage, percent);
    };
    read(gif, bytes);
    ASSERT_GE(events.size(), 7u);
    EXPECT_EQ(events.front().first, TProgressStage::Starting);
    EXPECT_EQ(events.back().first, TProgressStage::Ending);
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].first, TProgressStage::Running);
        EXPECT_LE(events[i].second, 100);
        if (i > 1) {
            EXPECT_GT(events[i].second, events[i - 1].second);
        }
    }

    // A cancelled decode leaves the frame without a bitmap, silently.
    TGIFImage cancelled;
    cancelled.OnProgress = [](TProgressStage stage, int, const QString &) {
        if (stage == TProgressStage::Running)
            throw EAbort();
    };
    read(cancelled, bytes);
    EXPECT_FALSE(cancelled.Frames(0).hasBitmap());
}

TEST(GifReader, StoredFormAndFiles)
{
    const QByteArray gifBytes = simple(2, 1, { 3, 1 });
    QByteArray stored;
    const quint32 n = quint32(gifBytes.size());
    stored.append(char(n & 0xFF))
        .append(char((n >> 8) & 0xFF))
        .append(char((n >> 16) & 0xFF))
        .append(char(n >> 24));
    stored += gifBytes;
    stored += "after";
    QBuffer buffer(&stored);
    buffer.open(QIODevice::ReadOnly);
    TGIFImage gif;
    gif.ReadStored(buffer);
    EXPECT_EQ(indexes(gif.Frames(0)), (std::vector<int> { 3, 1 }));
    EXPECT_EQ(buffer.read(5), "after");

    QBuffer cut;
    cut.setData(stored.left(10));
    cut.open(QIODevice::ReadOnly);
    EXPECT_THROW(gif.ReadStored(cut), EStreamError);

    try {
        gif.ReadFromFile("/nonexistent/picture.gif");
        FAIL() << "reading a missing file must fail";
    } catch (const PlumoraError &e) {
        EXPECT_TRUE(e.message().contains("/nonexistent/picture.gif"));
    }
}

TEST(GifReader, SizeCannotBeSet)
{
    TGIFImage gif;
    try {
        gif.SetWidth(5);
        FAIL();
    } catch (const EInvalidGraphicOperation &e) {
        EXPECT_EQ(e.message(), "Cannot change the Size of a GIF image");
    }
    EXPECT_THROW(gif.SetHeight(5), EInvalidGraphicOperation);
}
