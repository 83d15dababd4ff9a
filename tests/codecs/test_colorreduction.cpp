// Reduction to a palette: which colours keep places of their own, how
// channel masks shrink, where rare colours go, how close the result stays
// next to other quantizers, and the colour kept exact.
#include "codecs/colorreduction.h"
#include "codecs/nearestcolour.h"
#include "platform/errors.h"

#include <QDir>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>
#include <random>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

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

// Mean squared error per channel between a picture and its reduction, and
// the largest error of one channel.
double meanSquaredError(const TBitmap &source, const TBitmap &reduced, int *largest = nullptr)
{
    double sum = 0;
    int worst = 0;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb a = source.image().pixel(x, y), b = reduced.image().pixel(x, y);
            for (const int d : { qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b) }) {
                sum += d * d;
                worst = std::max(worst, std::abs(d));
            }
        }
    if (largest)
        *largest = worst;
    return sum / (3.0 * source.width() * source.height());
}

// The pictures of the quality table, each from a fixed seed: the reference
// figures of other quantizers were measured on exactly these pixels
// (tests/data/tools/measure_reduction.sh writes them out and runs the tools).
constexpr int kQualityWidth = 192, kQualityHeight = 144;

// A colour with a grain of up to +-spread levels in each channel, drawn red
// first (in statements of their own: the order in which a call's arguments
// are worked out is the compiler's choice).
QRgb grainy(std::mt19937 &random, double r, double g, double b, int spread)
{
    auto grain = [&] { return int(random() % std::uint32_t(2 * spread + 1)) - spread; };
    auto level = [](double v) { return std::clamp(int(std::lround(v)), 0, 255); };
    const int red = level(r + grain());
    const int green = level(g + grain());
    const int blue = level(b + grain());
    return qRgb(red, green, blue);
}

// A few very frequent light and dark colours, each with a fine grain (some
// 700 colours in all), and dark green bushes, a distant group of colours
// covering `share` of the picture.
QImage bushesPicture(double share)
{
    std::mt19937 random(21);
    QImage image(kQualityWidth, kQualityHeight, QImage::Format_RGB32);
    const int light[3][3] = { { 214, 220, 228 }, { 198, 205, 214 }, { 226, 222, 210 } };
    const int dark[3][3] = { { 18, 20, 26 }, { 30, 28, 34 }, { 12, 14, 16 } };
    for (int y = 0; y < kQualityHeight; ++y)
        for (int x = 0; x < kQualityWidth; ++x) {
            const int *c
                = y < kQualityHeight * 11 / 20 ? light[(x / 24 + y / 18) % 3] : dark[(x / 32 + y / 16) % 3];
            image.setPixel(x, y, grainy(random, c[0], c[1], c[2], 2));
        }
    const int bushes = 6;
    const double radius = std::sqrt(share * kQualityWidth * kQualityHeight / (bushes * std::numbers::pi));
    for (int k = 0; k < bushes; ++k) {
        const double cx = 16 + k * 32, cy = kQualityHeight * 11 / 20 + (k % 2 ? -6 : 8);
        for (int y = 0; y < kQualityHeight; ++y)
            for (int x = 0; x < kQualityWidth; ++x) {
                const double d = std::hypot(x - cx, y - cy) / radius;
                if (d >= 1)
                    continue;
                const double shade = 1 - 0.5 * d + 0.15 * std::sin(x * 1.3 + y * 0.7);
                image.setPixel(x, y, grainy(random, 28 * shade, 92 * shade, 30 * shade, 5));
            }
    }
    return image;
}

// A landscape as a camera sees it (sky, hills, a textured meadow, grain:
// thousands of colours) with a small red ball in it.
QImage landscapeWithBall()
{
    std::mt19937 random(33);
    QImage image(kQualityWidth, kQualityHeight, QImage::Format_RGB32);
    for (int y = 0; y < kQualityHeight; ++y)
        for (int x = 0; x < kQualityWidth; ++x) {
            const double hills = 52 + 9 * std::sin(x / 17.0) + 5 * std::sin(x / 5.3);
            double r, g, b;
            if (y < hills) {
                r = 95 + y * 1.1, g = 145 + y * 0.8, b = 225 - y * 0.2;
            } else if (y < hills + 14) {
                r = 70 + (y - hills), g = 98 + 2 * (y - hills), b = 92 - (y - hills);
            } else {
                const double texture = 18 * std::sin(x / 3.1) * std::cos(y / 2.3);
                r = 92 + texture + y * 0.2, g = 132 + texture * 1.2 + y * 0.3, b = 48 + texture * 0.4;
            }
            const double d = std::hypot(x - 140, y - 96) / 6.5;
            if (d < 1)
                r = 235 - 70 * d, g = 36 + 20 * (1 - d), b = 24;
            image.setPixel(x, y, grainy(random, r, g, b, 4));
        }
    return image;
}

// A grey-ish picture (a shaded wall with grain) and a small logo of three
// saturated colours with smooth edges.
QImage greyWithLogo()
{
    std::mt19937 random(45);
    QImage image(kQualityWidth, kQualityHeight, QImage::Format_RGB32);
    const std::array<double, 3> blue { 30, 70, 200 }, yellow { 245, 200, 30 }, red { 210, 30, 40 };
    for (int y = 0; y < kQualityHeight; ++y)
        for (int x = 0; x < kQualityWidth; ++x) {
            const double g = 100 + 70.0 * x / kQualityWidth + 18 * std::sin(y / 13.0);
            std::array<double, 3> c { g, g + 3, g + 7 };
            auto blend = [&](const std::array<double, 3> &ink, double cover) {
                cover = std::clamp(cover, 0.0, 1.0);
                for (std::size_t k = 0; k < 3; ++k)
                    c[k] += (ink[k] - c[k]) * cover;
            };
            blend(blue, std::min({ x - 19.5, 44.5 - x, y - 19.5, 38.5 - y }));
            blend(yellow, 6.5 - std::hypot(x - 32, y - 29));
            blend(red, std::min({ x - 47.5, 51.5 - x, y - 19.5, 38.5 - y }));
            image.setPixel(x, y, grainy(random, c[0], c[1], c[2], 4));
        }
    return image;
}

struct QualityPicture
{
    const char *name;
    QImage (*make)();
};

const QualityPicture kQualityPictures[] = {
    { "bushes_0.5pc", [] { return bushesPicture(0.005); } },
    { "bushes_2pc", [] { return bushesPicture(0.02); } },
    { "bushes_5pc", [] { return bushesPicture(0.05); } },
    { "landscape_ball", landscapeWithBall },
    { "grey_logo", greyWithLogo },
};

// Each picture reduced without dithering by ImageMagick 6.9.11
// (`convert +dither -colors N`) and pngquant 2.17 (`pngquant N --nofs`): PSNR
// in dB over every channel of every pixel, and the largest channel error.
struct QualityRow
{
    int picture; // in kQualityPictures
    int colours;
    double magickPsnr;
    int magickWorst;
    double pngquantPsnr;
    int pngquantWorst;
};

const QualityRow kQualityRows[] = {
    { 0, 256, 48.41, 2, 53.49, 7 },
    { 1, 256, 48.37, 4, 52.68, 9 },
    { 2, 256, 48.27, 5, 51.93, 7 },
    { 3, 256, 44.22, 13, 45.60, 18 },
    { 4, 256, 44.34, 31, 45.98, 19 },
    { 3, 16, 34.74, 51, 37.79, 49 },
    { 1, 64, 45.22, 8, 48.78, 15 },
};

} // namespace

TEST(ColorReduction, DISABLED_WriteQualityPictures)
{
    // The pictures and our reductions, as <name>.<colours>.png and
    // <name>.<colours>.ours.png, for tests/data/tools/measure_reduction.sh.
    const QString dir = qEnvironmentVariable("PLUMORA_REDUCTION_PICTURES");
    ASSERT_FALSE(dir.isEmpty()) << "set PLUMORA_REDUCTION_PICTURES to the folder to write";
    for (const QualityRow &row : kQualityRows) {
        const QualityPicture &p = kQualityPictures[row.picture];
        const QString base = QDir(dir).filePath(QStringLiteral("%1.%2").arg(p.name).arg(row.colours));
        const QImage source = p.make();
        ASSERT_TRUE(source.save(base + ".png"));
        ASSERT_TRUE(ReduceColours(TBitmap(source), row.colours).image().save(base + ".ours.png"));
    }
}

TEST(ColorReduction, QualityAtLeastThatOfOtherQuantizers)
{
    // At least ImageMagick's PSNR, and no channel further off than twice
    // the better of the two tools' largest errors: a small group of distant
    // colours keeps entries of its own.
    for (const QualityRow &row : kQualityRows) {
        const TBitmap source(kQualityPictures[row.picture].make());
        SCOPED_TRACE(std::string(kQualityPictures[row.picture].name) + " to " + std::to_string(row.colours));
        const TBitmap reduced = ReduceColours(source, row.colours);
        int worst = 0;
        const double psnr = 10 * std::log10(255.0 * 255.0 / meanSquaredError(source, reduced, &worst));
        EXPECT_GE(psnr, row.magickPsnr);
        EXPECT_LE(worst, 2 * std::min(row.magickWorst, row.pngquantWorst));
        if (row.colours == 256) {
            EXPECT_EQ(ReduceToPalette(source, TReductionMethod::Histogram).image(), reduced.image());
        }
    }
}

TEST(ColorReduction, ReduceColoursKeepsFewColoursAndTheKeptColourExact)
{
    // A picture of `count` scattered colours (plus extra ones), some
    // repeated. Where it has no more colours than asked for (the kept
    // colour counted too, present or not), it comes out exact; the kept
    // colour always does, and nothing else takes it.
    constexpr QRgb kNone = 0;
    const QRgb fuchsia = qRgb(255, 0, 255);
    struct Row
    {
        const char *what;
        int colours;
        int count; // scattered colours
        std::vector<QRgb> extra;
        QRgb keep;
    };
    std::vector<QRgb> nearFuchsia;
    for (int i = 0; i < 60; ++i)
        nearFuchsia.push_back(qRgb(255 - i % 4, i / 4 % 4, 255 - i / 16));
    const Row rows[] = {
        { "two in two", 2, 2, {}, kNone },
        { "sixteen in sixteen", 16, 16, {}, kNone },
        { "seventeen in sixteen", 16, 17, {}, kNone },
        { "256 in 256", 256, 256, {}, kNone },
        { "fifteen and the kept one in sixteen", 16, 15, { fuchsia }, fuchsia },
        { "fifteen, kept one absent, in sixteen", 16, 15, {}, fuchsia },
        { "sixteen and the kept one in sixteen", 16, 16, { fuchsia }, fuchsia },
        { "only the kept colour", 2, 0, { fuchsia }, fuchsia },
        { "colours next to the kept one", 16, 0, nearFuchsia, fuchsia },
        { "a mean that lands on the kept colour", 2, 0,
            { qRgb(10, 10, 10), qRgb(12, 10, 10), qRgb(11, 10, 10) }, qRgb(11, 10, 10) },
        { "a photograph-like picture", 64, 3000, { fuchsia }, fuchsia },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::mt19937 random(9);
        std::vector<QRgb> colors;
        for (int i = 0; i < row.count; ++i)
            colors.insert(colors.end(), std::size_t(1 + i % 3),
                qRgb(int(random() % 256), int(random() % 256), i % 256));
        for (const QRgb c : row.extra)
            colors.insert(colors.end(), 3, c);
        const TBitmap source = picture(32, int(colors.size() + 31) / 32, colors);
        const TBitmap reduced = ReduceColours(source, row.colours, row.keep ? fromQRgb(row.keep) : clNone);
        ASSERT_EQ(reduced.image().format(), QImage::Format_Indexed8);
        ASSERT_EQ(reduced.palette().size(), 256);
        for (int i = row.colours; i < 256; ++i)
            ASSERT_EQ(paletteAt(reduced, i), rgb(128, 128, 128)) << i;

        std::vector<QRgb> distinct(colors);
        if (row.keep)
            distinct.push_back(row.keep);
        std::sort(distinct.begin(), distinct.end());
        const bool exact = std::unique(distinct.begin(), distinct.end()) - distinct.begin() <= row.colours;
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x) {
                const QRgb in = colorAt(source, x, y), out = colorAt(reduced, x, y);
                ASSERT_LT(reduced.image().pixelIndex(x, y), row.colours) << x << "," << y;
                if (exact || (row.keep && in == (row.keep & 0xFFFFFF))) {
                    ASSERT_EQ(out, in) << x << "," << y;
                } else if (row.keep) {
                    ASSERT_NE(out, row.keep & 0xFFFFFF) << x << "," << y;
                }
            }
    }
}

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

TEST(ColorReduction, AColourWithoutAPlaceJoinsItsNearestNeighbour)
{
    // 256 colours far apart, twice each, and one more 3 levels from one of
    // them: those two share an entry, the mean of their pixels; every other
    // colour keeps its own.
    std::vector<QRgb> colors;
    for (int i = 0; i < 256; ++i) {
        const QRgb c = qRgb((i & 7) * 32 + 8, ((i >> 3) & 7) * 32 + 8, (i >> 6) * 64 + 8);
        colors.insert(colors.end(), 2, c);
    }
    colors.push_back(qRgb(107, 104, 72)); // 3 off (104,104,72)
    const TBitmap source = picture(int(colors.size()), 1, colors);
    const TBitmap reduced = ReduceToPalette(source, TReductionMethod::Histogram);
    for (int x = 0; x < source.width(); ++x) {
        const bool shared = qBlue(colorAt(source, x, 0)) == 72 && qGreen(colorAt(source, x, 0)) == 104
            && qRed(colorAt(source, x, 0)) >= 104 && qRed(colorAt(source, x, 0)) <= 107;
        ASSERT_EQ(colorAt(reduced, x, 0), shared ? rgb(105, 104, 72) : colorAt(source, x, 0)) << x;
    }
}

TEST(ColorReduction, MasksShrinkOnlyWhenTheColoursDoNotFit)
{
    // Fillers (a block of distinct colours near black, once each) make
    // `distinct` colours with B0 = (100,200,40) and B1 = (100,200,41), 2500
    // pixels each. With 2049 colours nothing is masked and B0 and B1 come out
    // apart and exact; with one more the low blue bit goes and they come out
    // as one colour.
    auto reduce = [](int distinct) {
        std::vector<QRgb> colors;
        for (int i = 0; i < distinct - 2; ++i)
            colors.push_back(qRgb(i >> 8, (i >> 4) & 15, i & 15));
        colors.insert(colors.end(), 2500, qRgb(100, 200, 40));
        colors.insert(colors.end(), 2500, qRgb(100, 200, 41));
        const TBitmap reduced = ReduceToPalette(picture(64, (int(colors.size()) + 63) / 64, colors));
        const int last = int(colors.size()) - 1;
        return std::pair(
            colorAt(reduced, (last - 2500) % 64, (last - 2500) / 64), colorAt(reduced, 63, last / 64));
    };
    EXPECT_EQ(reduce(2049), std::pair(rgb(100, 200, 40), rgb(100, 200, 41)));
    const auto [b0, b1] = reduce(2050);
    EXPECT_EQ(b0, b1);
}

TEST(ColorReduction, MasksShrinkBlueThenRedThenGreen)
{
    // Pairs of colours that differ in one low bit, 8000 pixels each, and
    // fillers near black, once each (14 reds x 16 greens x 32 blues): 3584
    // colours without the low blue bit, 1792 without the low red bit too.
    // So those two bits go: the red and the blue pair each come out as one
    // colour, the green pair as two.
    const QRgb pairs[3][2] = { { qRgb(204, 103, 150), qRgb(205, 103, 150) },
        { qRgb(202, 112, 116), qRgb(202, 112, 117) }, { qRgb(212, 106, 110), qRgb(212, 107, 110) } };
    std::vector<QRgb> colors;
    for (const auto &pair : pairs)
        for (const QRgb c : pair)
            colors.insert(colors.end(), 8000, c);
    for (int r = 0; r < 14; ++r)
        for (int g = 0; g < 16; ++g)
            for (int b = 0; b < 32; ++b)
                colors.push_back(qRgb(r, g, b));
    const TBitmap reduced = ReduceToPalette(picture(256, int(colors.size() + 255) / 256, colors));
    auto out = [&](int pair, int member) {
        const int at = (2 * pair + member) * 8000;
        return colorAt(reduced, at % 256, at / 256);
    };
    EXPECT_EQ(out(0, 0), out(0, 1));
    EXPECT_EQ(out(1, 0), out(1, 1));
    EXPECT_EQ(out(2, 0), pairs[2][0] & 0xFFFFFF);
    EXPECT_EQ(out(2, 1), pairs[2][1] & 0xFFFFFF);
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

TEST(ColorReduction, PaletteInput)
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

    try {
        ReduceToPalette(TBitmap(), TReductionMethod::Histogram);
        FAIL() << "no error";
    } catch (const EInvalidGraphicOperation &e) {
        EXPECT_EQ(e.message(), "Bitmap image is not valid");
    }
}
