// Writing GIFs: the file layout is taken apart block by block, and the
// pictures are read back with our reader and with giflib.
#include "codecs/gifimage.h"
#include "gifbuilder.h"
#include "platform/errors.h"
#include "support/giflibdecode.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <random>

#include <gtest/gtest.h>

namespace {

// A GIF file taken apart. Extensions keep their sub-blocks (for a graphic
// control extension the first is its 4-byte body, for an application
// extension the 11-byte identifier).
struct Block
{
    char kind = 0; // '!' or ','
    int label = 0;
    QList<QByteArray> subBlocks;
    QByteArray descriptor; // 9 bytes
    QByteArray localTable;
    QByteArray imageData; // code-size byte, sub-blocks, terminator
};

struct Layout
{
    QByteArray signature;
    int width = 0, height = 0, packed = 0, background = 0, aspect = 0;
    QByteArray globalTable;
    std::vector<Block> blocks;
    bool trailer = false;
    bool trailing = false; // bytes after the trailer

    std::vector<Block> images() const
    {
        std::vector<Block> out;
        for (const Block &b : blocks)
            if (b.kind == ',')
                out.push_back(b);
        return out;
    }
    int count(int label) const
    {
        return int(std::count_if(blocks.begin(), blocks.end(),
            [label](const Block &b) { return b.kind == '!' && b.label == label; }));
    }
};

int u8(const QByteArray &b, qsizetype i)
{
    return std::uint8_t(b.at(i));
}
int u16(const QByteArray &b, qsizetype i)
{
    return u8(b, i) | (u8(b, i + 1) << 8);
}

Layout parse(const QByteArray &gif)
{
    Layout l;
    l.signature = gif.left(6);
    l.width = u16(gif, 6);
    l.height = u16(gif, 8);
    l.packed = u8(gif, 10);
    l.background = u8(gif, 11);
    l.aspect = u8(gif, 12);
    qsizetype pos = 13;
    if (l.packed & 0x80) {
        l.globalTable = gif.mid(pos, 3 << ((l.packed & 7) + 1));
        pos += l.globalTable.size();
    }
    auto subBlocks = [&](QList<QByteArray> *into) {
        for (;;) {
            const int length = u8(gif, pos++);
            if (length == 0)
                return;
            if (into)
                into->append(gif.mid(pos, length));
            pos += length;
        }
    };
    while (pos < gif.size()) {
        const char c = gif.at(pos++);
        if (c == ';') {
            l.trailer = true;
            l.trailing = pos < gif.size();
            break;
        }
        Block block;
        block.kind = c;
        if (c == '!') {
            block.label = u8(gif, pos++);
            subBlocks(&block.subBlocks);
        } else if (c == ',') {
            block.descriptor = gif.mid(pos, 9);
            pos += 9;
            const int packed = u8(block.descriptor, 8);
            if (packed & 0x80) {
                block.localTable = gif.mid(pos, 3 << ((packed & 7) + 1));
                pos += block.localTable.size();
            }
            const qsizetype start = pos++;
            subBlocks(nullptr);
            block.imageData = gif.mid(start, pos - start);
        } else {
            ADD_FAILURE() << "unexpected byte " << int(c) << " at " << pos - 1;
            break;
        }
        l.blocks.push_back(block);
    }
    return l;
}

QByteArray tableEntry(int r, int g, int b)
{
    QByteArray e;
    e.append(char(r));
    e.append(char(g));
    e.append(char(b));
    return e;
}

// A true-colour picture whose pixel colours are given per position.
TBitmap trueColour(int width, int height, const std::function<QRgb(int, int)> &color)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, color(x, y));
    return TBitmap(image);
}

// A palette picture of the given depth with random indexes.
TBitmap randomIndexed(int width, int height, int depth, unsigned seed)
{
    QVector<QRgb> palette;
    for (int i = 0; i < (1 << depth); ++i)
        palette.append(qRgb(i, 255 - i, (i * 7) & 255));
    TBitmap bitmap = TBitmap::indexed(width, height, depth, palette);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.image().scanLine(y)[x] = uchar(random() % (1u << depth));
    return bitmap;
}

std::vector<std::uint8_t> indexesOf(const QImage &image)
{
    std::vector<std::uint8_t> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.push_back(std::uint8_t(image.pixelIndex(x, y)));
    return out;
}

// Colours of every pixel, as written and as read back.
std::vector<QRgb> coloursOf(const QImage &image)
{
    std::vector<QRgb> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.push_back(image.pixel(x, y) & 0xFFFFFF);
    return out;
}

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const PlumoraError &e) {
        return e.message();
    }
    return {};
}

} // namespace

TEST(GifWriter, TrueColourPictureBecomes87aWithAGlobalTable)
{
    const QRgb colours[4] = { qRgb(255, 0, 0), qRgb(0, 128, 0), qRgb(1, 2, 3), qRgb(250, 250, 250) };
    const TBitmap source = trueColour(5, 3, [&](int x, int y) { return colours[(x + y * 2) % 4]; });
    TGIFImage gif;
    gif.CopyFrom(source);
    const QByteArray bytes = gif.WriteToBuffer();
    const Layout l = parse(bytes);
    EXPECT_EQ(l.signature, "GIF87a");
    EXPECT_EQ(l.width, 5);
    EXPECT_EQ(l.height, 3);
    EXPECT_EQ(l.packed, 0xF7);
    ASSERT_EQ(l.globalTable.size(), 768);
    for (int i = 4; i < 256; ++i)
        ASSERT_EQ(l.globalTable.mid(i * 3, 3), tableEntry(128, 128, 128)) << i;
    ASSERT_EQ(l.blocks.size(), 1u); // no extensions at all
    const Block image = l.blocks[0];
    EXPECT_EQ(image.descriptor.toHex(), QByteArray("000000000500030000"));
    EXPECT_EQ(u8(image.imageData, 0), 8);
    EXPECT_TRUE(l.trailer);
    EXPECT_FALSE(l.trailing);

    TGIFImage back;
    back.ReadFromBuffer(bytes);
    ASSERT_EQ(back.FrameCount(), 1);
    EXPECT_EQ(coloursOf(back.Frames(0).DecodedBitmap().image()), coloursOf(source.image()));
    const auto decoded = giflibdecode::decode(bytes);
    ASSERT_TRUE(decoded.ok) << decoded.error.toStdString();
    EXPECT_EQ(decoded.frames[0].pixels, indexesOf(back.Frames(0).DecodedBitmap().image()));

    // Data once encoded is reused, and the image's Transparent flag changes
    // nothing in the file.
    gif.Transparent = !gif.Transparent;
    EXPECT_EQ(gif.WriteToBuffer(), bytes);
}

TEST(GifWriter, CommentsAuthorAndVersion)
{
    const TBitmap source = trueColour(2, 2, [](int x, int) { return x ? qRgb(9, 9, 9) : qRgb(0, 0, 0); });
    {
        TGIFImage gif;
        gif.CopyFrom(source);
        gif.Author = "Jo Bloggs";
        const Layout l = parse(gif.WriteToBuffer());
        EXPECT_EQ(l.signature, "GIF87a"); // the author alone keeps 87a
        ASSERT_EQ(l.blocks.size(), 2u);
        EXPECT_EQ(l.blocks[0].label, 0xFF);
        EXPECT_EQ(l.blocks[0].subBlocks, (QList<QByteArray> { "PLUMO_ID1.0", "Jo Bloggs" }));
    }
    {
        TGIFImage gif;
        gif.CopyFrom(source);
        gif.Author = QByteArray(400, 'a');
        gif.CommentLines() = { QByteArray(300, 'x'), QByteArray(), "last" };
        const QByteArray bytes = gif.WriteToBuffer();
        const Layout l = parse(bytes);
        EXPECT_EQ(l.signature, "GIF89a");
        EXPECT_EQ(l.blocks.front().subBlocks.value(1), QByteArray(255, 'a'));
        // The picture's comment comes last, lines cut at 255 bytes, the
        // empty line left out.
        const Block &comment = l.blocks.back();
        EXPECT_EQ(comment.kind, '!');
        EXPECT_EQ(comment.label, 0xFE);
        EXPECT_EQ(comment.subBlocks, (QList<QByteArray> { QByteArray(255, 'x'), "last" }));
        TGIFImage back;
        back.ReadFromBuffer(bytes);
        EXPECT_EQ(back.Author, QByteArray(255, 'a'));
        EXPECT_EQ(back.CommentLines(), comment.subBlocks);
    }
}

TEST(GifWriter, PaletteBitmapsKeepTheirDepth)
{
    struct Case
    {
        int depth, codeSize, packed;
        int width = 37, height = 21;
        unsigned seed = 0; // 0: the depth
    };
    // The last case is large enough for the code table to start again.
    for (const Case c :
        { Case { 1, 2, 0x80 }, Case { 4, 4, 0xB3 }, Case { 8, 8, 0xF7 }, Case { 8, 8, 0xF7, 301, 211, 5 } }) {
        SCOPED_TRACE(c.width * 100 + c.depth);
        const TBitmap source = randomIndexed(c.width, c.height, c.depth, c.seed ? c.seed : unsigned(c.depth));
        TGIFImage gif;
        gif.CopyFrom(source);
        const QByteArray bytes = gif.WriteToBuffer();
        const Layout l = parse(bytes);
        EXPECT_EQ(l.packed, c.packed);
        EXPECT_EQ(l.globalTable.size(), 3 << c.depth);
        EXPECT_EQ(l.globalTable.mid(3, 3), tableEntry(1, 254, 7));
        const QByteArray data = l.images().at(0).imageData;
        EXPECT_EQ(u8(data, 0), c.codeSize);
        // The first code is the clear code at the start width.
        const int width = c.codeSize + 1;
        EXPECT_EQ(u16(data, 2) & ((1 << width) - 1), 1 << c.codeSize);

        TGIFImage back;
        back.ReadFromBuffer(bytes);
        EXPECT_FALSE(back.Frames(0).IsCorrupt);
        EXPECT_EQ(indexesOf(back.Frames(0).DecodedBitmap().image()), indexesOf(source.image()));
        EXPECT_EQ(back.Frames(0).DecodedBitmap().bitsPerPixel(), c.depth);
        const auto decoded = giflibdecode::decode(bytes);
        ASSERT_TRUE(decoded.ok) << decoded.error.toStdString();
        EXPECT_EQ(decoded.frames[0].pixels, indexesOf(source.image()));
    }
}

TEST(GifWriter, LaterFramesCarryTheirOwnTableAndLoop)
{
    const TBitmap source = randomIndexed(6, 4, 4, 1);
    TGIFImage gif;
    gif.AppendFrame(source);
    gif.Looping = true;
    gif.RepeatCount = 0x1234;
    EXPECT_EQ(parse(gif.WriteToBuffer()).count(0xFF), 0); // one frame: no loop extension

    gif.AppendFrame(source); // the same table again
    gif.Frames(1).Left = 10;
    const QByteArray bytes = gif.WriteToBuffer();
    const Layout l = parse(bytes);
    EXPECT_EQ(l.signature, "GIF89a");
    EXPECT_EQ(l.width, 16);
    ASSERT_EQ(l.count(0xFF), 1);
    EXPECT_EQ(l.blocks[0].subBlocks, (QList<QByteArray> { "NETSCAPE2.0", QByteArray("\x01\x34\x12", 3) }));
    const auto images = l.images();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(u8(images[0].descriptor, 8), 0);
    EXPECT_EQ(u8(images[1].descriptor, 8), 0x83);
    EXPECT_EQ(images[1].localTable, l.globalTable);

    const auto decoded = giflibdecode::decode(bytes);
    ASSERT_TRUE(decoded.ok) << decoded.error.toStdString();
    ASSERT_EQ(decoded.frames.size(), 2u);
    EXPECT_EQ(decoded.frames[1].left, 10);
    EXPECT_EQ(decoded.frames[1].localColors, 16);
}

TEST(GifWriter, GraphicControlFollowsTheFrameFields)
{
    QVector<QRgb> palette = { qRgb(0, 0, 0), qRgb(10, 20, 30), qRgb(10, 20, 30), qRgb(255, 255, 255) };
    TBitmap source = TBitmap::indexed(4, 1, 4, palette);
    TGIFImage gif;
    gif.AppendFrame(source);
    gif.AppendFrame(source);
    gif.AppendFrame(source);
    TGIFFrame &present = gif.Frames(0);
    present.TransparentColor = RGBColor(10, 20, 30);
    present.DelayMs = 1234;
    present.Disposal = 2;
    TGIFFrame &missing = gif.Frames(1);
    missing.TransparentColor = RGBColor(10, 20, 31); // no exact match: flag clear
    gif.Frames(2).DelayMs = 5; // below one hundredth, but still calls for one

    const QByteArray bytes = gif.WriteToBuffer();
    const Layout l = parse(bytes);
    ASSERT_EQ(l.count(0xF9), 3);
    // Packed: disposal 2 in bits 2..4, transparency flag; delay 123; index 1.
    EXPECT_EQ(l.blocks[0].subBlocks.value(0).toHex(), QByteArray("097b0001"));
    EXPECT_EQ(l.blocks[2].subBlocks.value(0).toHex(), QByteArray("00000000"));
    EXPECT_EQ(l.blocks[4].subBlocks.value(0).toHex(), QByteArray("00000000"));

    TGIFImage back;
    back.ReadFromBuffer(bytes);
    EXPECT_EQ(back.Frames(0).TransparentColor, RGBColor(10, 20, 30));
    EXPECT_EQ(back.Frames(0).DelayMs, 1230);
    EXPECT_EQ(back.Frames(0).Disposal, 2);
    EXPECT_EQ(back.Frames(1).TransparentColor, clNone);

    // A frame without any of them gets no extension, and an emptied comment
    // goes away.
    TGIFImage plain;
    plain.CopyFrom(source);
    plain.Frames(0).FrameComment(true);
    EXPECT_EQ(parse(plain.WriteToBuffer()).signature, "GIF87a");
    EXPECT_FALSE(plain.Frames(0).ExtensionList.has_value());
    plain.Frames(0).FrameComment(true)->append("note");
    const Layout commented = parse(plain.WriteToBuffer());
    EXPECT_EQ(commented.signature, "GIF89a");
    ASSERT_EQ(commented.count(0xFE), 1);
    EXPECT_EQ(commented.blocks[0].subBlocks, QList<QByteArray> { "note" });
}

TEST(GifWriter, BackgroundIndexIsAnExactMatchOrZero)
{
    TGIFImage gif;
    gif.CopyFrom(TBitmap::indexed(2, 2, 4, { qRgb(0, 0, 0), qRgb(5, 6, 7), qRgb(5, 6, 7) }));
    gif.BackgroundColor = RGBColor(5, 6, 7);
    EXPECT_EQ(parse(gif.WriteToBuffer()).background, 1);
    gif.BackgroundColor = RGBColor(5, 6, 8);
    EXPECT_EQ(parse(gif.WriteToBuffer()).background, 0);
}

TEST(GifWriter, DataReadFromAFileIsWrittenAgainUnchanged)
{
    using namespace gifbuild;
    const QByteArray first = LzwStream(2).literals({ 0, 1, 2, 3, 3, 2 }).code(5).data();
    const QByteArray second = LzwStream(2).literals({ 1, 1, 1, 1, 2, 2 }).code(5).data();
    QByteArray firstImage = image(0, 0, 3, 2, first, 2);
    firstImage[9] = char(0x80 | 0x20 | 0x18 | 0x01); // sort flag and reserved bits set
    const QByteArray file = header(3, 4, 2) + graphicControl(0x05, 7, 2) + firstImage
        + image(0, 2, 3, 2, second, 0, true) + ";";
    TGIFImage gif;
    gif.ReadFromBuffer(file);
    const Layout l = parse(gif.WriteToBuffer());
    EXPECT_EQ(l.signature, "GIF89a");
    const auto images = l.images();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].imageData, first);
    EXPECT_EQ(images[1].imageData, second);
    EXPECT_EQ(u8(images[0].descriptor, 8), 0x81);
    EXPECT_EQ(u8(images[1].descriptor, 8), 0x40);
    EXPECT_EQ(l.blocks[0].subBlocks.value(0).toHex(), QByteArray("05070002"));
}

TEST(GifWriter, DataCutShortIsClosedSoTheFileStaysReadable)
{
    using namespace gifbuild;
    // The file ends right after the last sub-block: no terminator, no trailer.
    const QByteArray data = LzwStream(2).literals({ 0, 1, 2, 3 }).code(5).data(false);
    TGIFImage gif;
    gif.ReadFromBuffer(header(2, 2, 2) + image(0, 0, 2, 2, data));
    const QByteArray bytes = gif.WriteToBuffer();
    const Layout l = parse(bytes);
    EXPECT_TRUE(l.trailer);
    EXPECT_EQ(l.images().at(0).imageData, data + QByteArray(1, '\0'));
    const auto decoded = giflibdecode::decode(bytes);
    ASSERT_TRUE(decoded.ok) << decoded.error.toStdString();
    EXPECT_EQ(decoded.frames[0].pixels, (std::vector<std::uint8_t> { 0, 1, 2, 3 }));
}

TEST(GifWriter, EncodeFramesShowsTheWrittenColours)
{
    TGIFImage gif;
    gif.AppendFrame(trueColour(3, 3, [](int x, int y) { return qRgb(x * 80, y * 80, 33); }));
    gif.AppendFrame(trueColour(3, 3, [](int x, int) { return qRgb(x * 100, 0, 0); }));
    gif.Frames(1).IsGray = true;
    const TBitmap palette = randomIndexed(3, 3, 4, 2);
    gif.AppendFrame(palette);
    gif.EncodeFrames();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(gif.Frames(i).bitmapNoDecode().hasPalette()) << i;
    EXPECT_EQ(gif.Frames(0).bitmapNoDecode().image().pixel(2, 1) & 0xFFFFFF, qRgb(160, 80, 33) & 0xFFFFFF);
    // The grey frame shows grey: luminance of (200, 0, 0) is 60.
    EXPECT_EQ(gif.Frames(1).bitmapNoDecode().image().pixel(2, 0) & 0xFFFFFF, qRgb(60, 60, 60) & 0xFFFFFF);
    EXPECT_TRUE(gif.Frames(1).IsGray);
    EXPECT_EQ(gif.Frames(2).bitmapNoDecode().bitsPerPixel(), 4);
    EXPECT_EQ(indexesOf(gif.Frames(2).bitmapNoDecode().image()), indexesOf(palette.image()));
    EXPECT_FALSE(gif.Frames(0).HasLocalColors);
    EXPECT_TRUE(gif.Frames(1).HasLocalColors);
    EXPECT_EQ(gif.Header->GlobalColors.Count, 256);
    EXPECT_EQ(gif.Header->ColorDepth, 8);
}

TEST(GifWriter, FailuresWriteNothing)
{
    TGIFImage empty;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(errorOf([&] { empty.WriteToStream(buffer); }), "No GIF Data to write");
    EXPECT_TRUE(buffer.data().isEmpty());

    // The second frame has neither data nor a bitmap; the first keeps what
    // was encoded for it.
    TGIFImage gif;
    gif.AppendFrame(randomIndexed(4, 4, 8, 3));
    gif.AppendFrame(TBitmap());
    EXPECT_EQ(errorOf([&] { gif.WriteToStream(buffer); }), "No GIF Data to write");
    EXPECT_TRUE(buffer.data().isEmpty());
    EXPECT_FALSE(gif.Frames(0).SharedData->EncodedData.isEmpty());

    QTemporaryDir dir;
    const QString path = dir.filePath("kept.gif");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old");
    }
    EXPECT_EQ(errorOf([&] { gif.WriteToFile(path); }), "No GIF Data to write");
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "old");

    TGIFImage good;
    good.CopyFrom(randomIndexed(2, 2, 1, 1));
    const QString missing = dir.filePath("no/such/folder/x.gif");
    const QString message = errorOf([&] { good.WriteToFile(missing); });
    EXPECT_TRUE(message.contains("x.gif")) << message.toStdString();
}

TEST(GifWriter, FilesAndStoredForm)
{
    TGIFImage gif;
    gif.CopyFrom(randomIndexed(9, 7, 8, 9));
    const QByteArray bytes = gif.WriteToBuffer();

    QTemporaryDir dir;
    const QString path = dir.filePath("out.gif");
    gif.WriteToFile(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), bytes);

    QBuffer stored;
    stored.open(QIODevice::WriteOnly);
    gif.WriteStored(stored);
    const QByteArray data = stored.data();
    ASSERT_EQ(data.size(), bytes.size() + 4);
    EXPECT_EQ(u16(data, 0) | (u16(data, 2) << 16), bytes.size());
    EXPECT_EQ(data.mid(4), bytes);
    stored.close();
    stored.open(QIODevice::ReadOnly);
    TGIFImage back;
    back.ReadStored(stored);
    EXPECT_EQ(back.FrameCount(), 1);
    EXPECT_EQ(back.ScreenWidth(), 9);
}

TEST(GifWriter, EncodingReportsProgressAndCanBeCancelled)
{
    TGIFImage gif;
    gif.CopyFrom(randomIndexed(5, 4, 8, 4));
    std::vector<int> running;
    int starts = 0, ends = 0;
    gif.OnProgress = [&](TProgressStage stage, int percent, const QString &) {
        if (stage == TProgressStage::Starting)
            ++starts;
        else if (stage == TProgressStage::Ending)
            ++ends;
        else
            running.push_back(percent);
    };
    gif.WriteToBuffer();
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(running, (std::vector<int> { 25, 50, 75, 100 }));

    // A cancelled encoding leaves the frame without data or table, and
    // nothing becomes the global table.
    TGIFImage cancelled;
    cancelled.CopyFrom(randomIndexed(5, 4, 8, 4));
    cancelled.OnProgress = [](TProgressStage stage, int, const QString &) {
        if (stage == TProgressStage::Running)
            throw EAbort();
    };
    EXPECT_THROW(cancelled.WriteToBuffer(), EAbort);
    EXPECT_TRUE(cancelled.Frames(0).SharedData->EncodedData.isEmpty());
    EXPECT_EQ(cancelled.Frames(0).SharedData->Colors.Count, 0);
    EXPECT_EQ(cancelled.Header->GlobalColors.Count, 0);
}
