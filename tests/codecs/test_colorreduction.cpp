// Reduction to 256 colours: which colours win palette places, in which order,
// how channel masks shrink, and where rare colours go.
#include "codecs/colorreduction.h"
#include "codecs/nearestcolour.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>
#include <random>
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

// Mean squared error per channel between a picture and its reduction.
double meanSquaredError(const TBitmap &source, const TBitmap &reduced)
{
    double sum = 0;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb a = source.image().pixel(x, y), b = reduced.image().pixel(x, y);
            for (const int d : { qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b) })
                sum += d * d;
        }
    return sum / (3.0 * source.width() * source.height());
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

    // 256 scattered colours, some repeated: still every pixel exact.
    std::mt19937 random(5);
    std::vector<QRgb> colors;
    for (int i = 0; i < 256; ++i)
        colors.push_back(qRgb(int(random() % 256), int(random() % 256), i));
    for (int i = 0; i < 300; ++i)
        colors.push_back(colors[random() % 256]);
    const TBitmap full = picture(23, 24, colors);
    const TBitmap fullReduced = ReduceToPalette(full, TReductionMethod::Histogram);
    for (int y = 0; y < full.height(); ++y)
        for (int x = 0; x < full.width(); ++x)
            ASSERT_EQ(colorAt(fullReduced, x, y), colorAt(full, x, y)) << x << "," << y;
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

TEST(ColorReduction, ColoursWithoutAPlaceGoToTheNearestFirstOnTies)
{
    // 256 colours occur twice; (100,100,100) once. It is equally far from
    // (98,100,100) and (102,100,100); the one counted first (bottom row,
    // left) has the lower palette index and takes it in. Each entry is the
    // mean of its pixels.
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
    const int last = source.width() - 1;
    EXPECT_EQ(reduced.image().pixelIndex(0, 0), reduced.image().pixelIndex(last - 3, 0));
    EXPECT_EQ(colorAt(reduced, 0, 0), rgb(99, 100, 100)); // (98 + 98 + 100) / 3, rounded
    EXPECT_EQ(colorAt(reduced, last, 0), rgb(102, 100, 100));
    for (int x = 1; x < last - 3; ++x)
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
    EXPECT_EQ(second.image().pixelIndex(2, 1), second.image().pixelIndex(0, 1));
}

TEST(ColorReduction, MasksShrinkOnlyWhenTheColoursDoNotFit)
{
    // Fillers (even red up to 30, 0, any blue), once each; A = (200,200,200)
    // 600 times; B0 = (100,200,40) and B1 = (100,200,41) 400 times each.
    // With 2049 distinct colours nothing is masked and A wins index 0; with
    // one more the low blue bit goes, B0 and B1 count as one, and win.
    auto build = [](int distinct) {
        std::vector<QRgb> colors;
        for (int i = 0; i < distinct - 3; ++i)
            colors.push_back(qRgb((i >> 8) * 2, 0, i & 255));
        for (int i = 0; i < 400; ++i) {
            colors.push_back(qRgb(100, 200, 40));
            colors.push_back(qRgb(100, 200, 41));
        }
        for (int i = 0; i < 600; ++i)
            colors.push_back(qRgb(200, 200, 200));
        return picture(64, (int(colors.size()) + 63) / 64, colors);
    };
    const TBitmap fits = ReduceToPalette(build(2049), TReductionMethod::Histogram);
    EXPECT_EQ(paletteAt(fits, 0), rgb(200, 200, 200));
    EXPECT_EQ(paletteAt(fits, 1), rgb(100, 200, 40));
    EXPECT_EQ(paletteAt(fits, 2), rgb(100, 200, 41));
    const TBitmap masked = ReduceToPalette(build(2050), TReductionMethod::Histogram);
    EXPECT_EQ(paletteAt(masked, 0) & 0xFFFF00, rgb(100, 200, 0));
    EXPECT_NEAR(qBlue(paletteAt(masked, 0)), 40.5, 0.5);
    EXPECT_EQ(paletteAt(masked, 1), rgb(200, 200, 200));
}

TEST(ColorReduction, MasksShrinkBlueThenRedThenGreen)
{
    // Pairs of colours that differ in one low bit, each more frequent than C
    // when counted as one, less when apart: the red pair and the blue pair
    // beat C, the green pair does not. Fillers near black, once each (14
    // reds x 16 greens x 32 blues), make 1792 colours once the low blue and
    // red bits are gone, 3584 with the blue bit alone.
    std::vector<QRgb> colors;
    auto add = [&](QRgb color, int times) { colors.insert(colors.end(), std::size_t(times), color); };
    add(qRgb(209, 109, 109), 500); // C
    add(qRgb(204, 103, 150), 300); // the red pair
    add(qRgb(205, 103, 150), 300);
    add(qRgb(202, 112, 116), 280); // the blue pair
    add(qRgb(202, 112, 117), 280);
    add(qRgb(212, 106, 110), 300); // the green pair
    add(qRgb(212, 107, 110), 300);
    for (int r = 0; r < 14; ++r)
        for (int g = 0; g < 16; ++g)
            for (int b = 0; b < 32; ++b)
                colors.push_back(qRgb(r, g, b));
    const TBitmap reduced = ReduceToPalette(picture(128, int(colors.size() + 127) / 128, colors));
    auto near = [&](int index, double r, double g, double b) {
        const QRgb c = paletteAt(reduced, index);
        return std::abs(qRed(c) - r) <= 0.5 && std::abs(qGreen(c) - g) <= 0.5
            && std::abs(qBlue(c) - b) <= 0.5;
    };
    EXPECT_TRUE(near(0, 204.5, 103, 150));
    EXPECT_TRUE(near(1, 202, 112, 116.5));
    EXPECT_TRUE(near(2, 209, 109, 109));
}

TEST(ColorReduction, PhotographsKeepTheirColours)
{
    // Something like a photograph: broad gradients, a few shaded discs with
    // sharp edges, fine texture and grain, so thousands of colours. The
    // palette follows the pixels it stands for; the masked colours that win
    // the places were three times further off (mean squared error 91).
    std::mt19937 random(11);
    QImage image(200, 150, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            double r = 60 + x * 0.8, g = 120 + 60 * std::sin(y / 23.0), b = 200 - y;
            for (const auto &[cx, cy, radius, dr, dg, db] : { std::tuple(60, 50, 30, 150, -60, -80),
                     std::tuple(150, 100, 35, -40, 80, -60), std::tuple(110, 30, 15, 90, 90, 40) }) {
                const double d = std::hypot(x - cx, y - cy);
                if (d < radius) {
                    const double light = 1 - d / radius * 0.6;
                    r += dr * light, g += dg * light, b += db * light;
                }
            }
            const double texture = 12 * std::sin(x * 1.7) * std::cos(y * 1.3);
            auto channel
                = [&](double v) { return std::clamp(int(v + texture) + int(random() % 7) - 3, 0, 255); };
            image.setPixel(x, y, qRgb(channel(r), channel(g), channel(b)));
        }
    }
    const TBitmap source(image);
    EXPECT_LT(meanSquaredError(source, ReduceToPalette(source)), 40.0);
}

TEST(ColorReduction, SmallBrightShapesInAnAnimationKeepTheirColours)
{
    // An animation strip: ten frames of 64 x 64 whose background is blocks
    // of one colour each (320 colours, 128 pixels a block), with a small red,
    // orange and green square in each frame, 90 pixels of each colour in
    // all: too few to win one of the 256 places. They once came back as
    // background colours, up to 160 off in a channel.
    const int frames = 10, side = 64;
    QImage strip(frames * side, side, QImage::Format_RGB32);
    for (int f = 0; f < frames; ++f)
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                strip.setPixel(f * side + x, y,
                    qRgb(60 + x / 16 * 9 + f * 3, 90 + y / 8 * 8, 170 - y / 8 * 5 - x / 16 * 4 + f));
    const QRgb shapes[3] = { qRgb(255, 0, 0), qRgb(255, 128, 0), qRgb(0, 200, 0) };
    for (int f = 0; f < frames; ++f)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                strip.setPixel(f * side + 5 + f * 3 + x, 8 + y, shapes[0]);
                strip.setPixel(f * side + 20 + x, 10 + f * 3 + y, shapes[1]);
                strip.setPixel(f * side + 35 - f * 2 + x, 30 + y, shapes[2]);
            }
    const TBitmap reduced = ReduceToPalette(TBitmap(strip));
    int worst = 0;
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x) {
            const QRgb source = strip.pixel(x, y);
            if (std::find(std::begin(shapes), std::end(shapes), source) == std::end(shapes))
                continue;
            const QRgb back = reduced.image().pixel(x, y);
            worst = std::max({ worst, std::abs(qRed(back) - qRed(source)),
                std::abs(qGreen(back) - qGreen(source)), std::abs(qBlue(back) - qBlue(source)) });
        }
    EXPECT_LE(worst, 4);
}

TEST(ColorReduction, NearestPaletteColourIsExact)
{
    // Against a plain search, for palettes spread out, crowded into a small
    // cube (long lists, small boxes), and full of repeats and colours at
    // equal distances (the first of equals wins).
    std::mt19937 random(3);
    auto any = [&](int low, int span) { return low + int(random() % std::uint32_t(span)); };
    std::vector<std::vector<std::array<int, 3>>> palettes(3);
    for (int i = 0; i < 256; ++i) {
        palettes[0].push_back({ any(0, 256), any(0, 256), any(0, 256) });
        palettes[1].push_back({ any(100, 20), any(50, 20), any(200, 20) });
        palettes[2].push_back({ any(0, 8) * 32, any(0, 8) * 32, any(0, 4) * 64 });
    }
    for (const auto &palette : palettes) {
        NearestColour nearest(palette);
        std::vector<std::uint32_t> colours(50000);
        for (std::size_t k = 0; k < colours.size(); ++k)
            colours[k] = k % 2 ? std::uint32_t(random())
                               : std::uint32_t(qRgb(any(90, 40), any(40, 40), any(190, 40)));
        std::vector<std::uint8_t> found(colours.size());
        nearest.map(colours.data(), found.data(), int(colours.size()));
        for (std::size_t k = 0; k < colours.size(); ++k) {
            const int r = qRed(colours[k]), g = qGreen(colours[k]), b = qBlue(colours[k]);
            int best = INT_MAX, index = 0;
            for (std::size_t j = 0; j < palette.size(); ++j) {
                const int d = (palette[j][0] - r) * (palette[j][0] - r)
                    + (palette[j][1] - g) * (palette[j][1] - g) + (palette[j][2] - b) * (palette[j][2] - b);
                if (d < best) {
                    best = d;
                    index = int(j);
                }
            }
            ASSERT_EQ(found[k], index) << std::hex << colours[k];
        }
    }
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
