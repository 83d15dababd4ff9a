// Composition of animated GIFs: frame positions, disposal methods and
// transparency on files made by other programs and on hand-made ones, the
// kept composition against the plain one, sizing and placement.
#include "codecs/gifanimator.h"
#include "codecs/lzwencoder.h"
#include "gifbuilder.h"
#include "platform/errors.h"
#include "support/testdata.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace gifbuild;

// Colour of entry i of gifbuild::table().
constexpr TColor entry(int i)
{
    return RGBColor(i * 16, 255 - i * 16, i);
}

// One frame: a graphic control (disposal, optional transparent index, delay
// in hundredths) and a frame of literal pixels with the 2-bit global table.
QByteArray frame(int left, int top, int width, int height, const std::vector<int> &pixels, int disposal,
    int transparent = -1, int delay = 0)
{
    LzwStream lzw(2);
    lzw.literals(pixels).code(lzw.endCode());
    return graphicControl((disposal << 2) | (transparent >= 0 ? 1 : 0), delay, std::max(transparent, 0))
        + image(left, top, width, height, lzw.data());
}

std::vector<int> solid(int count, int index)
{
    return std::vector<int>(std::size_t(count), index);
}

// The colours of a bitmap, row by row, for readable comparisons.
std::vector<std::vector<TColor>> colours(const TBitmap &bitmap)
{
    std::vector<std::vector<TColor>> rows(std::size_t(bitmap.height()));
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            rows[std::size_t(y)].push_back(bitmap.pixelColor(x, y));
    return rows;
}

// Where two pictures differ first, or empty when they are the same.
QString difference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return QStringLiteral("size %1x%2 against %3x%4")
            .arg(a.width())
            .arg(a.height())
            .arg(b.width())
            .arg(b.height());
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF))
                return QStringLiteral("pixel %1,%2: %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                    .arg(b.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    return {};
}

// giflib's decoding of a fixture (<name>.frames.txt beside it).
struct DumpFrame
{
    int left = 0, top = 0, width = 0, height = 0, transparent = -1, disposal = 0;
    std::vector<QRgb> palette;
    std::vector<std::vector<int>> rows;
};
struct Dump
{
    int width = 0, height = 0;
    std::vector<DumpFrame> frames;
};

Dump readDump(const QString &path)
{
    Dump dump;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return dump;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> w = lines[i].simplified().split(' ');
        if (w[0] == "screen") {
            dump.width = w[1].toInt();
            dump.height = w[2].toInt();
        } else if (w[0] == "frame") {
            DumpFrame f { w[2].toInt(), w[3].toInt(), w[4].toInt(), w[5].toInt(), w[7].toInt(), w[9].toInt(),
                {}, {} };
            ++i; // "palette <count>"
            for (const QByteArray &hex : lines[++i].simplified().split(' '))
                if (!hex.isEmpty())
                    f.palette.push_back(0xFF000000u | hex.toUInt(nullptr, 16));
            for (int y = 0; y < f.height; ++y) {
                const QByteArray &text = lines[++i];
                std::vector<int> row;
                for (int x = 0; x < f.width; ++x)
                    row.push_back(text.mid(2 * x, 2).toInt(nullptr, 16));
                f.rows.push_back(row);
            }
            dump.frames.push_back(f);
        }
    }
    return dump;
}

// Frame k as a viewer shows it, worked out from giflib's decoding the slow,
// obvious way: every earlier frame in turn leaves behind what its disposal
// says, then frame k is drawn; pixels of the transparent colour are left out.
QImage modelCompose(const Dump &dump, int k, TColor fill)
{
    QImage canvas(dump.width, dump.height, QImage::Format_RGB32);
    canvas.fill(toQRgb(fill));
    auto apply = [&](const DumpFrame &f, bool draw) {
        const bool keyed = f.transparent >= 0 && f.transparent < int(f.palette.size());
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) {
                const int cx = f.left + x, cy = f.top + y;
                if (cx >= dump.width || cy >= dump.height)
                    continue;
                const QRgb colour = f.palette[std::size_t(f.rows[std::size_t(y)][std::size_t(x)])];
                if (!draw)
                    canvas.setPixel(cx, cy, toQRgb(fill));
                else if (!keyed || colour != f.palette[std::size_t(f.transparent)])
                    canvas.setPixel(cx, cy, colour);
            }
    };
    for (int j = 0; j < k; ++j) {
        const DumpFrame &f = dump.frames[std::size_t(j)];
        if (f.disposal == 0 || f.disposal == 1)
            apply(f, true);
        else if (f.disposal == 2)
            apply(f, false);
    }
    apply(dump.frames[std::size_t(k)], true);
    return canvas;
}

TColor expectedFill(TGIFImage &image)
{
    if (image.FrameIndex >= 0 && image.Frames(image.FrameIndex).TransparentColor != clNone)
        return image.Frames(image.FrameIndex).TransparentColor;
    if (image.BackgroundColor != clNone && image.IsTransparent())
        return image.BackgroundColor;
    return kAnimatorWindowColor;
}

QStringList fixtures(const QString &folder)
{
    QStringList paths;
    for (const QString &name : QDir(testdata::path(folder)).entryList({ "*.gif" }, QDir::Files, QDir::Name))
        paths << folder + "/" + name;
    return paths;
}

// Every frame handed out in order, in reverse, in a jumping order and twice
// over must match the plain composition, pixel for pixel.
void expectFastMatchesPlain(TRxGIFAnimator &a, const QString &what)
{
    const int n = a.Image().FrameCount();
    std::vector<int> order;
    for (int k = 0; k < n; ++k)
        order.insert(order.end(), { k, k });
    for (int k = n - 1; k >= 0; --k)
        order.push_back(k);
    for (int i = 0; i < 3 * n; ++i)
        order.push_back((i * 7 + 3) % n);
    for (int k : order) {
        const QString diff = difference(a.GetFrameBitmap(k).image(), a.GetFrameBitmapFromScratch(k).image());
        ASSERT_TRUE(diff.isEmpty()) << qPrintable(what) << " frame " << k << ": " << qPrintable(diff);
    }
}

} // namespace

TEST(GifAnimator, StartsAsConstructed)
{
    TRxGIFAnimator a;
    EXPECT_EQ(a.Width(), 105);
    EXPECT_EQ(a.Height(), 105);
    EXPECT_FALSE(a.Stretch());
    EXPECT_FALSE(a.Center());
    EXPECT_TRUE(a.Transparent());
    EXPECT_TRUE(a.AutoSize());
    EXPECT_FALSE(a.Animate());
    EXPECT_TRUE(a.Loop());
    EXPECT_EQ(a.Interval(), 1000);
    // An empty image shows nothing at all.
    EXPECT_TRUE(a.GetFrameBitmap(0).isEmpty());
    EXPECT_TRUE(a.GetFrameBitmapFromScratch(0).isEmpty());
    EXPECT_TRUE(a.ComposeFrame(0).isEmpty());
    EXPECT_EQ(a.FrameInterval(), 0);
}

// Each multi-frame GIF made by another program, composed by us, against the
// obvious composition of giflib's decoding of the same file.
TEST(GifAnimator, FixturesComposeAsGiflibDecodesThem)
{
    int multiFrame = 0;
    for (const QString &name : fixtures("gif")) {
        const Dump dump = readDump(testdata::path(QString(name).replace(".gif", ".frames.txt")));
        TRxGIFAnimator a;
        a.Image().ReadFromFile(testdata::path(name));
        ASSERT_EQ(a.Image().FrameCount(), int(dump.frames.size())) << qPrintable(name);
        multiFrame += dump.frames.size() > 1;
        const TColor fill = expectedFill(a.Image());
        for (int k = 0; k < a.Image().FrameCount(); ++k) {
            const QImage expected = modelCompose(dump, k, fill);
            QString diff = difference(a.ComposeFrame(k).image(), expected);
            EXPECT_TRUE(diff.isEmpty()) << qPrintable(name) << " frame " << k << ": " << qPrintable(diff);
            diff = difference(a.ComposeFrameFromScratch(k).image(), expected);
            EXPECT_TRUE(diff.isEmpty()) << qPrintable(name) << " frame " << k << ": " << qPrintable(diff);
        }
    }
    EXPECT_GE(multiFrame, 5);
}

TEST(GifAnimator, FastPathMatchesPlainCompositionOnEveryFixture)
{
    QStringList names = fixtures("gif") + fixtures("gif/odd");
    int checked = 0;
    for (const QString &name : names) {
        TRxGIFAnimator a;
        try {
            a.Image().ReadFromFile(testdata::path(name));
            a.Image().DecodeFrames();
        } catch (const PlumoraError &) {
            continue; // the odd files that are meant to fail reading or decoding
        }
        if (a.Image().FrameCount() < 2 || a.Image().ScreenWidth() > 1000)
            continue;
        ++checked;
        const int w = a.Image().ScreenWidth(), h = a.Image().ScreenHeight();
        a.setStretch(true);
        // Own size, shrunk, enlarged by an odd factor, squeezed one way.
        for (const QSize size :
            { QSize(w, h), QSize(w * 2 / 3 + 1, h / 2 + 1), QSize(w * 5 / 2, h * 3), QSize(w, 3) })
            for (bool transparent : { true, false }) {
                a.setWidth(size.width());
                a.setHeight(size.height());
                a.setTransparent(transparent);
                expectFastMatchesPlain(a, name);
            }
        a.setStretch(false);
        a.setCenter(true);
        a.setWidth(w - 3);
        expectFastMatchesPlain(a, name + " centred");
        a.setWidth(w + 7);
        expectFastMatchesPlain(a, name + " centred, wider");
    }
    EXPECT_GE(checked, 5);
}

TEST(GifAnimator, DisposalMethodsOnHandMadeFrames)
{
    // 6x4: a full frame of entry 1 kept (1); a 2x2 of entry 2 restored to the
    // fill (2); a 2x2 of entry 3 restored to what was before (3); a dot (0).
    const QByteArray gif = header(6, 4, 2) + frame(0, 0, 6, 4, solid(24, 1), 1)
        + frame(1, 1, 2, 2, solid(4, 2), 2) + frame(3, 1, 2, 2, solid(4, 3), 3) + frame(0, 0, 1, 1, { 0 }, 0)
        + ";";
    TRxGIFAnimator a;
    a.Image().ReadFromBuffer(gif);
    const TColor W = kAnimatorWindowColor, a1 = entry(1), a2 = entry(2), a3 = entry(3), a0 = entry(0);
    using Rows = std::vector<std::vector<TColor>>;
    EXPECT_EQ(colours(a.ComposeFrame(1)),
        (Rows { { a1, a1, a1, a1, a1, a1 }, { a1, a2, a2, a1, a1, a1 }, { a1, a2, a2, a1, a1, a1 },
            { a1, a1, a1, a1, a1, a1 } }));
    EXPECT_EQ(colours(a.ComposeFrame(2)),
        (Rows { { a1, a1, a1, a1, a1, a1 }, { a1, W, W, a3, a3, a1 }, { a1, W, W, a3, a3, a1 },
            { a1, a1, a1, a1, a1, a1 } }));
    // Frame 3 is never drawn for later frames: what it covered shows again.
    const Rows last { { a0, a1, a1, a1, a1, a1 }, { a1, W, W, a1, a1, a1 }, { a1, W, W, a1, a1, a1 },
        { a1, a1, a1, a1, a1, a1 } };
    EXPECT_EQ(colours(a.ComposeFrame(3)), last);
    EXPECT_EQ(colours(a.ComposeFrameFromScratch(3)), last);
    // Indexes beyond the last frame mean the last frame.
    EXPECT_EQ(colours(a.ComposeFrame(99)), last);
}

TEST(GifAnimator, FullScreenRestoreToBackgroundStartsAfresh)
{
    // Frame 1 covers the screen and is restored to the fill: frame 2 shows
    // on a plain fill. A screen-sized frame at an offset does not cover the
    // screen, so what lies beside it stays.
    const QByteArray covering = header(4, 2, 2) + frame(0, 0, 4, 2, solid(8, 1), 1)
        + frame(0, 0, 4, 2, solid(8, 2), 2) + frame(0, 0, 1, 1, { 3 }, 0) + ";";
    const QByteArray offset = header(4, 2, 2) + frame(0, 0, 4, 2, solid(8, 1), 1)
        + frame(2, 0, 4, 2, solid(8, 2), 2) + frame(3, 1, 1, 1, { 3 }, 0) + ";";
    const TColor W = kAnimatorWindowColor, a1 = entry(1), a2 = entry(2), a3 = entry(3);
    using Rows = std::vector<std::vector<TColor>>;
    TRxGIFAnimator a;
    a.Image().ReadFromBuffer(covering);
    EXPECT_EQ(colours(a.ComposeFrame(1)), (Rows { { a2, a2, a2, a2 }, { a2, a2, a2, a2 } }));
    EXPECT_EQ(colours(a.ComposeFrame(2)), (Rows { { a3, W, W, W }, { W, W, W, W } }));
    EXPECT_EQ(colours(a.ComposeFrameFromScratch(2)), (Rows { { a3, W, W, W }, { W, W, W, W } }));

    a.Image().ReadFromBuffer(offset);
    ASSERT_EQ(a.Image().ScreenWidth(), 4);
    const Rows expected { { a1, a1, W, W }, { a1, a1, W, a3 } };
    EXPECT_EQ(colours(a.ComposeFrame(2)), expected);
    EXPECT_EQ(colours(a.ComposeFrameFromScratch(2)), expected);
}

TEST(GifAnimator, FillAndKeyColours)
{
    // Frame 0 (current after reading) leaves entry 2 out; frame 1 entry 3.
    const QByteArray gif = header(4, 1, 2) + frame(0, 0, 4, 1, { 0, 1, 2, 3 }, 1, 2)
        + frame(0, 0, 4, 1, { 3, 3, 0, 3 }, 0, 3) + ";";
    TRxGIFAnimator a;
    a.Image().ReadFromBuffer(gif);
    a.setColor(clBlack);
    const TColor a0 = entry(0), a1 = entry(1), a2 = entry(2), a3 = entry(3);
    using Rows = std::vector<std::vector<TColor>>;
    // The left out pixel shows the fill, the current frame's transparent colour.
    TBitmap composed = a.ComposeFrame(0);
    EXPECT_EQ(colours(composed), (Rows { { a0, a1, a2, a3 } }));
    EXPECT_TRUE(composed.transparent());
    EXPECT_EQ(composed.transparentColor(), a2);
    EXPECT_EQ(colours(a.ComposeFrame(1)), (Rows { { a0, a1, a0, a3 } }));
    // GetFrameBitmap: with Transparent on, the key shows the control's colour;
    // off, the composition as it is. Never marked transparent itself.
    TBitmap shown = a.GetFrameBitmap(0);
    EXPECT_EQ(colours(shown), (Rows { { a0, a1, clBlack, a3 } }));
    EXPECT_FALSE(shown.transparent());
    a.setTransparent(false);
    EXPECT_FALSE(a.ComposeFrame(0).transparent());
    EXPECT_EQ(colours(a.GetFrameBitmap(0)), (Rows { { a0, a1, a2, a3 } }));
    // Another current frame gives another fill.
    a.Image().FrameIndex = 1;
    EXPECT_EQ(colours(a.GetFrameBitmap(0)), (Rows { { a0, a1, a3, a3 } }));

    // No transparent colour on the current frame: the background colour when
    // some frame is transparent and the image's flag is on, else the window's.
    const QByteArray background
        = header(3, 1, 2, "GIF89a", 3) + frame(0, 0, 1, 1, { 1 }, 1) + frame(1, 0, 1, 1, { 2 }, 1, 0) + ";";
    a.Image().ReadFromBuffer(background);
    EXPECT_EQ(colours(a.ComposeFrame(0)), (Rows { { a1, a3, a3 } }));
    a.Image().Transparent = false;
    EXPECT_EQ(colours(a.ComposeFrame(0)), (Rows { { a1, kAnimatorWindowColor, kAnimatorWindowColor } }));
    a.Image().ReadFromBuffer(header(2, 1, 2, "GIF89a", 3) + frame(0, 0, 1, 1, { 1 }, 1) + ";");
    EXPECT_EQ(colours(a.ComposeFrame(0)), (Rows { { a1, kAnimatorWindowColor } }));
}

TEST(GifAnimator, FramesPartlyOrWhollyOutsideTheScreenAreClipped)
{
    const QByteArray gif = header(3, 3, 2) + frame(0, 0, 3, 3, solid(9, 1), 1)
        + frame(2, 2, 2, 2, solid(4, 2), 1) + frame(10, 10, 2, 2, solid(4, 3), 2)
        + frame(0, 0, 1, 1, { 0 }, 0) + ";";
    TRxGIFAnimator a;
    a.Image().ReadFromBuffer(gif);
    EXPECT_EQ(a.Width(), 3);
    const TColor a0 = entry(0), a1 = entry(1), a2 = entry(2);
    using Rows = std::vector<std::vector<TColor>>;
    EXPECT_EQ(colours(a.ComposeFrame(3)), (Rows { { a0, a1, a1 }, { a1, a1, a1 }, { a1, a1, a2 } }));
    a.setStretch(true);
    a.setWidth(7);
    expectFastMatchesPlain(a, "outside");
}

TEST(GifAnimator, HugeScreenShownSmallNeedsNoScreenSizedCanvas)
{
    // The largest screen the reader takes, with a 2x2 frame at the origin.
    TRxGIFAnimator a;
    a.Image().ReadFromBuffer(header(16384, 16384, 2) + frame(0, 0, 2, 2, { 0, 1, 2, 3 }, 0) + ";");
    EXPECT_EQ(a.Width(), 16384);
    EXPECT_THROW(a.GetFrameBitmap(0), EInvalidGraphicOperation); // 1 GiB at the control's size
    EXPECT_THROW(a.ComposeFrame(0), EInvalidGraphicOperation);
    a.setBounds(0, 0, 225, 225);
    a.setStretch(true);
    const TBitmap small = a.GetFrameBitmap(0);
    ASSERT_EQ(small.width(), 225);
    EXPECT_EQ(small.pixelColor(0, 0), kAnimatorWindowColor); // two pixels fall between samples
    // Unstretched the frame shows at the top left.
    a.setStretch(false);
    const TBitmap corner = a.GetFrameBitmap(0);
    EXPECT_EQ(corner.pixelColor(1, 1), entry(3));
    EXPECT_EQ(corner.pixelColor(2, 2), kAnimatorWindowColor);
}

// A long animation of full-size frames (880 of 640 x 480, 270 million pixels
// in all) reads and composes, as a file made by another program would; the
// image never keeps more decoded bitmaps than its bound, and a frame dropped
// on the way decodes again to the same picture.
TEST(GifAnimator, LongAnimationComposesWithBoundedMemory)
{
    constexpr int kFrames = 880, kWidth = 640, kHeight = 480, kShapes = 8;
    // Bands of colour with a box (index 3) whose place follows the frame.
    std::vector<QImage> pictures;
    QByteArray gif = header(kWidth, kHeight, 2);
    {
        TLZWEncoder encoder;
        std::vector<QByteArray> data;
        for (int v = 0; v < kShapes; ++v) {
            QImage picture(kWidth, kHeight, QImage::Format_Indexed8);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    const bool box = x >= v * 60 && x < v * 60 + 80 && y >= 100 && y < 200;
                    picture.scanLine(y)[x] = uchar(box ? 3 : (y / 40) % 3);
                }
            pictures.push_back(picture);
            data.push_back(encoder.Encode(picture, 2));
        }
        for (int k = 0; k < kFrames; ++k)
            gif += image(0, 0, kWidth, kHeight, data[std::size_t(k % kShapes)]);
        gif += ';';
    }
    TRxGIFAnimator a;
    TGIFImage &gifImage = a.Image();
    gifImage.ReadFromBuffer(gif);
    ASSERT_EQ(gifImage.FrameCount(), kFrames);
    const qint64 bound = kGifHeldBitmapBytes + qint64(kWidth) * kHeight;
    auto heldNow = [&gifImage] {
        qint64 bytes = 0;
        for (int i = 0; i < gifImage.FrameCount(); ++i)
            bytes += gifImage.Frames(i).bitmapNoDecode().image().sizeInBytes();
        return bytes;
    };

    // Every frame decoded in turn, as a listing of the file does.
    qint64 most = 0;
    for (int k = 0; k < kFrames; ++k) {
        gifImage.Frames(k).DecodedBitmap();
        most = std::max(most, gifImage.heldDecodedBytes());
    }
    EXPECT_LE(most, bound);
    EXPECT_LE(heldNow(), bound);

    // Every frame composed at a preview size, as an import does.
    a.setBounds(0, 0, 255, 191);
    a.setStretch(true);
    for (int k = 0; k < kFrames; ++k) {
        const TBitmap shown = a.GetFrameBitmap(k);
        const int boxX = ((k % kShapes) * 60 + 40) * 255 / kWidth;
        ASSERT_EQ(shown.pixelColor(boxX, 150 * 191 / kHeight), entry(3)) << k;
        most = std::max(most, gifImage.heldDecodedBytes());
    }
    EXPECT_LE(most, bound);
    EXPECT_LE(heldNow(), bound);

    EXPECT_FALSE(gifImage.Frames(0).hasBitmap());
    const QImage again = gifImage.Frames(0).DecodedBitmap().image();
    ASSERT_EQ(again.size(), pictures[0].size());
    for (int y = 0; y < kHeight; ++y)
        ASSERT_EQ(std::memcmp(again.constScanLine(y), pictures[0].constScanLine(y), kWidth), 0) << y;
}

TEST(GifAnimator, AutoSizeFollowsTheImage)
{
    const QByteArray small = header(4, 2, 2) + frame(0, 0, 4, 2, solid(8, 1), 0) + ";";
    const QByteArray large = header(20, 12, 2) + frame(0, 0, 20, 12, solid(240, 1), 0) + ";";
    TRxGIFAnimator a;
    int changes = 0;
    a.OnChange = [&] { ++changes; };
    a.setBounds(5, 6, 50, 50);
    a.Image().ReadFromBuffer(large);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(QRect(a.Left(), a.Top(), a.Width(), a.Height()), QRect(5, 6, 20, 12));
    a.setAutoSize(false);
    a.Image().ReadFromBuffer(small);
    EXPECT_EQ(a.Width(), 20);
    a.setAutoSize(true); // resizes at once
    EXPECT_EQ(QSize(a.Width(), a.Height()), QSize(4, 2));
    a.Image().CopyFrom(nullptr); // an empty image leaves the size alone
    EXPECT_EQ(QSize(a.Width(), a.Height()), QSize(4, 2));
    EXPECT_TRUE(a.GetFrameBitmap(0).isEmpty());

    // Assigning an image copies it.
    TGIFImage other;
    other.ReadFromBuffer(large);
    a.setImage(other);
    EXPECT_EQ(a.Image().FrameCount(), 1);
    EXPECT_EQ(a.Width(), 20);
    EXPECT_NE(&a.Image(), &other);
}

TEST(GifAnimator, StretchAndPlacement)
{
    // 2x2 screen: entries 0 1 / 2 3.
    TRxGIFAnimator a;
    a.Image().ReadFromBuffer(header(2, 2, 2) + frame(0, 0, 2, 2, { 0, 1, 2, 3 }, 0) + ";");
    a.setColor(clBlack);
    const TColor a0 = entry(0), a1 = entry(1), a2 = entry(2), a3 = entry(3), K = clBlack;
    using Rows = std::vector<std::vector<TColor>>;
    a.setStretch(true);
    a.setBounds(0, 0, 4, 2);
    EXPECT_EQ(colours(a.GetFrameBitmap(0)), (Rows { { a0, a0, a1, a1 }, { a2, a2, a3, a3 } }));
    // Shrinking samples the screen pixel under each pixel's centre.
    a.setBounds(0, 0, 3, 1);
    EXPECT_EQ(colours(a.GetFrameBitmap(0)), (Rows { { a2, a3, a3 } }));
    // Without Stretch the result still has the client size: the picture at
    // its own size at the top left, or centred, cropped, the rest the
    // control's colour.
    a.setStretch(false);
    a.setBounds(0, 0, 3, 3);
    EXPECT_EQ(colours(a.GetFrameBitmap(0)), (Rows { { a0, a1, K }, { a2, a3, K }, { K, K, K } }));
    a.setCenter(true);
    a.setBounds(0, 0, 4, 1);
    EXPECT_EQ(colours(a.GetFrameBitmap(0)), (Rows { { K, a0, a1, K } }));
    a.setBounds(0, 0, 1, 1);
    EXPECT_EQ(colours(a.GetFrameBitmap(0)), (Rows { { a0 } }));
    a.setBounds(0, 0, 0, 5);
    EXPECT_TRUE(a.GetFrameBitmap(0).isEmpty());
}

TEST(GifAnimator, KeptCompositionFollowsImageChanges)
{
    auto make = [](int index) {
        return header(4, 2, 2) + frame(0, 0, 4, 2, solid(8, 1), 1) + frame(1, 0, 2, 2, solid(4, index), 1)
            + frame(0, 1, 1, 1, { 0 }, 1) + ";";
    };
    TRxGIFAnimator a;
    a.setStretch(true);
    a.Image().ReadFromBuffer(make(2));
    a.GetFrameBitmap(0);
    a.GetFrameBitmap(1);
    a.Image().ReadFromBuffer(make(3)); // same sizes and count, other pixels
    EXPECT_EQ(a.GetFrameBitmap(2).pixelColor(1, 0), entry(3));
    // A change made in place without notification, then Invalidate.
    a.Image().Frames(1).Disposal = 2;
    a.Invalidate();
    EXPECT_EQ(a.GetFrameBitmap(2).pixelColor(1, 0), kAnimatorWindowColor);
    // Switching between the whole screen and the client area keeps results right.
    a.setBounds(0, 0, 2, 1);
    EXPECT_TRUE(difference(a.ComposeFrame(1).image(), a.ComposeFrameFromScratch(1).image()).isEmpty());
    EXPECT_TRUE(difference(a.GetFrameBitmap(2).image(), a.GetFrameBitmapFromScratch(2).image()).isEmpty());
}

TEST(GifAnimator, TrueColourFramesAndTheirTransparentColour)
{
    // Frames appended from bitmaps (as a split picture is built): true
    // colour, the transparent colour a key, alpha ignored.
    QImage base(3, 1, QImage::Format_RGB32);
    base.fill(qRgb(10, 20, 30));
    QImage top(2, 1, QImage::Format_ARGB32);
    top.setPixel(0, 0, qRgba(200, 0, 0, 0));
    top.setPixel(1, 0, qRgba(0, 200, 0, 255));
    TRxGIFAnimator a;
    a.Image().AppendFrame(TBitmap(base));
    a.Image().AppendFrame(TBitmap(top));
    a.Image().Frames(0).Disposal = 1;
    a.Image().Frames(1).Left = 1;
    a.Image().Frames(1).TransparentColor = RGBColor(0, 200, 0);
    a.Image().FrameIndex = 0;
    a.Invalidate();
    const TBitmap composed = a.ComposeFrame(1);
    EXPECT_EQ(composed.pixelColor(0, 0), RGBColor(10, 20, 30));
    EXPECT_EQ(composed.pixelColor(1, 0), RGBColor(200, 0, 0));
    EXPECT_EQ(composed.pixelColor(2, 0), RGBColor(10, 20, 30));
}

TEST(GifAnimator, UndecodableFrameFailsWithoutSpoilingTheOthers)
{
    // No global table; frame 1 has no local table and cannot be decoded.
    LzwStream lzw(2);
    lzw.literals({ 1, 1 }).code(lzw.endCode());
    const QByteArray gif
        = header(2, 1, 0) + image(0, 0, 2, 1, lzw.data(), 2) + image(0, 0, 1, 1, lzw.data()) + ";";
    TRxGIFAnimator a;
    a.Image().ReadFromBuffer(gif);
    a.setStretch(true);
    const QImage first = a.GetFrameBitmap(0).image();
    EXPECT_THROW(a.GetFrameBitmap(1), EInvalidGraphicOperation);
    EXPECT_TRUE(difference(a.GetFrameBitmap(0).image(), first).isEmpty());
    EXPECT_THROW(a.GetFrameBitmapFromScratch(1), EInvalidGraphicOperation);
}

TEST(GifAnimator, FrameIndexIntervalAndTicks)
{
    const QByteArray gif = header(2, 1, 2) + frame(0, 0, 2, 1, { 1, 1 }, 1, -1, 0)
        + frame(0, 0, 1, 1, { 2 }, 1, -1, 7) + frame(1, 0, 1, 1, { 3 }, 1, -1, 3) + ";";
    TRxGIFAnimator a;
    a.Image().ReadFromBuffer(gif);
    EXPECT_EQ(a.FrameIndex(), 0);
    EXPECT_EQ(a.FrameInterval(), 1); // a delay of 0 still waits 1 ms
    int changed = 0, started = 0, stopped = 0;
    a.OnFrameChanged = [&] { ++changed; };
    a.OnStart = [&] { ++started; };
    a.OnStop = [&] { ++stopped; };
    a.setFrameIndex(1);
    a.setFrameIndex(1); // the same: nothing
    a.setFrameIndex(3); // out of range: nothing
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(a.Interval(), 70);
    a.Tick(); // not animating
    EXPECT_EQ(a.FrameIndex(), 1);
    a.setLoop(false);
    a.setAnimate(true);
    EXPECT_EQ(started, 1);
    a.Tick();
    EXPECT_EQ(a.FrameIndex(), 2);
    EXPECT_EQ(a.Interval(), 30);
    a.Tick(); // wraps to 0 and stops without Loop
    EXPECT_EQ(a.FrameIndex(), 0);
    EXPECT_FALSE(a.Animate());
    EXPECT_EQ(stopped, 1);

    // One frame: the animation stands still.
    a.Image().ReadFromBuffer(header(1, 1, 2) + frame(0, 0, 1, 1, { 1 }, 0, -1, 50) + ";");
    EXPECT_EQ(a.FrameInterval(), 0);
}
