// Reduction to 256 colours: which colours win palette places, in which order,
// how channel masks shrink, and where rare colours go.
#include "codecs/colorreduction.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A picture of the given colours, filled row by row from the top; missing
// pixels take the last colour.
TBitmap picture(int width, int height, const std::vector<QRgb> &colors)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int i = 0; i < width * height; ++i)
        image.setPixel(
            i % width, i / width, colors[std::min<std::size_t>(std::size_t(i), colors.size() - 1)]);
    return TBitmap(image);
}

QRgb paletteAt(const TBitmap &bitmap, int index)
{
    return bitmap.palette().at(index) & 0xFFFFFF;
}
QRgb rgb(int r, int g, int b)
{
    return qRgb(r, g, b) & 0xFFFFFF;
}
QRgb colorAt(const TBitmap &bitmap, int x, int y)
{
    return bitmap.image().pixel(x, y) & 0xFFFFFF;
}

} // namespace

TEST(ColorReduction, FewColoursAreKeptExactlyAndTheRestIsGrey)
{
    const TBitmap source = picture(3, 2, { qRgb(1, 2, 3), qRgb(255, 0, 7), qRgb(1, 2, 3), qRgb(9, 9, 9) });
    const TBitmap reduced = ReduceToPalette(source, TReductionMethod::Histogram);
    ASSERT_EQ(reduced.image().format(), QImage::Format_Indexed8);
    EXPECT_EQ(reduced.bitsPerPixel(), 8);
    ASSERT_EQ(reduced.palette().size(), 256);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(colorAt(reduced, x, y), colorAt(source, x, y)) << x << "," << y;
    // (9,9,9) fills the last three pixels and is the most frequent.
    EXPECT_EQ(paletteAt(reduced, 0), rgb(9, 9, 9));
    for (int i = 3; i < 256; ++i)
        EXPECT_EQ(paletteAt(reduced, i), rgb(128, 128, 128));
}

TEST(ColorReduction, EqualFrequenciesGoInBottomUpPixelOrder)
{
    // Both colours occur twice; the bottom row is counted first, so green
    // (met in the bottom row) takes index 0 even though red comes first in
    // the top row.
    QImage image(2, 2, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(255, 0, 0));
    image.setPixel(0, 1, qRgb(0, 255, 0));
    image.setPixel(1, 1, qRgb(0, 255, 0));
    const TBitmap reduced = ReduceToPalette(TBitmap(image), TReductionMethod::Histogram);
    EXPECT_EQ(paletteAt(reduced, 0), rgb(0, 255, 0));
    EXPECT_EQ(paletteAt(reduced, 1), rgb(255, 0, 0));
}

TEST(ColorReduction, RareColoursMapToTheNearestFirstOnTies)
{
    // 256 colours occur twice; (100,100,100) once. It is equally far from
    // (98,100,100) and (102,100,100); the one counted first (bottom row,
    // left) has the lower palette index and wins.
    std::vector<QRgb> colors;
    colors.push_back(qRgb(100, 100, 100)); // top-left: counted last
    for (int i = 0; i < 254; ++i) {
        const QRgb c = qRgb(i, 0, 200);
        colors.push_back(c);
        colors.push_back(c);
    }
    colors.push_back(qRgb(98, 100, 100));
    colors.push_back(qRgb(98, 100, 100));
    colors.push_back(qRgb(102, 100, 100));
    colors.push_back(qRgb(102, 100, 100));
    // 513 pixels in one row of 513: counting order is left to right.
    const TBitmap source = picture(int(colors.size()), 1, colors);
    const TBitmap reduced = ReduceToPalette(source, TReductionMethod::Histogram);
    const int index = reduced.image().pixelIndex(0, 0);
    EXPECT_EQ(paletteAt(reduced, index), rgb(98, 100, 100));
    // Everything else keeps its exact colour.
    for (int x = 1; x < source.width(); ++x)
        ASSERT_EQ(colorAt(reduced, x, 0), colorAt(source, x, 0)) << x;

    // Now counted the other way round: the bottom row holds (102,...) first.
    QImage flipped(int(colors.size()) - 1, 2, QImage::Format_RGB32);
    flipped.fill(qRgb(0, 0, 200));
    for (int x = 0; x < flipped.width(); ++x)
        flipped.setPixel(x, 0, colors[std::size_t(x) + 1]);
    flipped.setPixel(0, 1, qRgb(102, 100, 100));
    flipped.setPixel(1, 1, qRgb(102, 100, 100));
    flipped.setPixel(2, 1, qRgb(100, 100, 100));
    const TBitmap second = ReduceToPalette(TBitmap(flipped), TReductionMethod::Histogram);
    EXPECT_EQ(colorAt(second, 2, 1), rgb(102, 100, 100));
}

TEST(ColorReduction, ExactlyTheEntryLimitFitsWithoutMasking)
{
    // Colours (odd red, 5, i & 255) for i < n, and (1, 5, 3) filling the rest,
    // so it is the most frequent colour. With 2049 distinct colours nothing is
    // masked; one more drops the low blue bit only.
    auto build = [](int distinct) {
        std::vector<QRgb> colors;
        for (int i = 0; i < distinct; ++i)
            colors.push_back(qRgb((i >> 8) * 2 + 1, 5, i & 255));
        for (int i = 0; i < 600; ++i)
            colors.push_back(qRgb(1, 5, 3));
        return picture(64, (int(colors.size()) + 63) / 64, colors);
    };
    const TBitmap fits = ReduceToPalette(build(2049), TReductionMethod::Histogram);
    EXPECT_EQ(paletteAt(fits, 0), rgb(1, 5, 3));
    const TBitmap masked = ReduceToPalette(build(2050), TReductionMethod::Histogram);
    EXPECT_EQ(paletteAt(masked, 0), rgb(1, 5, 2));
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(qBlue(paletteAt(masked, i)) & 1, 0) << i;
        EXPECT_EQ(qRed(paletteAt(masked, i)) & 1, 1) << i;
    }
}

TEST(ColorReduction, MasksShrinkBlueThenRedThenGreen)
{
    // 16 reds x 16 greens x 32 blues = 8192 colours: dropping the low blue
    // bit leaves 4096, dropping the low red bit 2048, which fits. Green keeps
    // all its bits.
    std::vector<QRgb> colors;
    for (int r = 0; r < 16; ++r)
        for (int g = 0; g < 16; ++g)
            for (int b = 0; b < 32; ++b)
                colors.push_back(qRgb(r, g, b));
    const TBitmap reduced = ReduceToPalette(picture(128, 64, colors), TReductionMethod::Histogram);
    bool oddGreen = false;
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(qRed(paletteAt(reduced, i)) & 1, 0);
        EXPECT_EQ(qBlue(paletteAt(reduced, i)) & 1, 0);
        oddGreen = oddGreen || (qGreen(paletteAt(reduced, i)) & 1);
    }
    EXPECT_TRUE(oddGreen);

    // 16 x 32 x 32 needs a third bit, from green.
    colors.clear();
    for (int r = 0; r < 16; ++r)
        for (int g = 0; g < 32; ++g)
            for (int b = 0; b < 32; ++b)
                colors.push_back(qRgb(r, g, b));
    const TBitmap third = ReduceToPalette(picture(128, 128, colors), TReductionMethod::Histogram);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(paletteAt(third, i) & 0x010101, 0u) << i;
}

TEST(ColorReduction, GreyScale)
{
    const TBitmap source = picture(3, 1, { qRgb(10, 20, 30), qRgb(255, 255, 255), qRgb(0, 0, 255) });
    const TBitmap grey = ReduceToPalette(source, TReductionMethod::GrayScale);
    ASSERT_EQ(grey.palette().size(), 256);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(paletteAt(grey, i), rgb(i, i, i));
    EXPECT_EQ(grey.image().pixelIndex(0, 0), (77 * 10 + 150 * 20 + 29 * 30) / 256);
    EXPECT_EQ(grey.image().pixelIndex(1, 0), 255);
    EXPECT_EQ(grey.image().pixelIndex(2, 0), 29 * 255 / 256);
}

TEST(ColorReduction, PaletteInputAndDefaults)
{
    TBitmap eightBit = TBitmap::indexed(4, 4, 8, { qRgb(200, 0, 0), qRgb(0, 0, 200) });
    eightBit.image().setPixel(1, 1, 1);
    const TBitmap same = ReduceToPalette(eightBit, TReductionMethod::Histogram);
    EXPECT_EQ(same.image(), eightBit.image());
    // Grey-scale converts even an 8-bit picture.
    const TBitmap grey = ReduceToPalette(eightBit, TReductionMethod::GrayScale);
    EXPECT_EQ(grey.image().pixelIndex(0, 0), 77 * 200 / 256);
    EXPECT_EQ(grey.image().pixelIndex(1, 1), 29 * 200 / 256);
    // A 4-bit picture is reduced like true colour.
    const TBitmap fourBit = TBitmap::indexed(2, 2, 4, { qRgb(1, 2, 3) });
    EXPECT_EQ(ReduceToPalette(fourBit).bitsPerPixel(), 8);

    EXPECT_EQ(DefaultReductionMethod(), TReductionMethod::Histogram);
    SetDefaultReductionMethod(TReductionMethod::GrayScale);
    const TBitmap byDefault = ReduceToPalette(picture(1, 1, { qRgb(3, 4, 5) }));
    SetDefaultReductionMethod(TReductionMethod::Histogram);
    EXPECT_EQ(paletteAt(byDefault, 1), rgb(1, 1, 1));

    try {
        ReduceToPalette(TBitmap(), TReductionMethod::Histogram);
        FAIL() << "no error";
    } catch (const EInvalidGraphicOperation &e) {
        EXPECT_EQ(e.message(), "Bitmap image is not valid");
    }
}
