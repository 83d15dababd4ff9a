// The 18 x 18 button picture: where a source lands for each shape, the
// truncation of the exact products, and what is painted around it.
#include "codecs/gifimage.h"
#include "gesture/buttonfit.h"
#include "support/testdata.h"

#include <QPainter>

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

QRgb colorAt(const TBitmap &bitmap, int x, int y)
{
    return bitmap.image().pixel(x, y) & RGB_MASK;
}

const QRgb white = qRgb(255, 255, 255) & RGB_MASK;

TBitmap solid(int width, int height, QRgb color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return TBitmap(image);
}

// Every pixel inside rect has the colour inside, every other pixel white.
void expectPainted(const TBitmap &picture, const QRect &rect, QRgb inside)
{
    ASSERT_EQ(picture.width(), 18);
    ASSERT_EQ(picture.height(), 18);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 18; ++x)
            ASSERT_EQ(colorAt(picture, x, y), rect.contains(x, y) ? (inside & RGB_MASK) : white)
                << "at " << x << "," << y;
}

} // namespace

TEST(ButtonFit, RectangleForEachShape)
{
    struct Case
    {
        int width, height;
        QRect expected;
    };
    const Case cases[] = {
        { 64, 64, QRect(0, 0, 18, 18) }, // square fills the picture
        { 100, 50, QRect(0, 4, 18, 9) }, // wide: white bands above and below
        { 50, 100, QRect(4, 0, 9, 18) }, // tall: white bands left and right
        { 300, 100, QRect(0, 6, 18, 5) }, // 18 x double(1/3) is just below 6
        { 600, 200, QRect(0, 6, 18, 5) },
        { 300, 60, QRect(0, 7, 18, 3) }, // 3.6 truncated
        { 18, 19, QRect(0, 0, 17, 18) }, // 18.99 > 18, so the width is cut: 17.05 -> 17
        { 19, 18, QRect(0, 0, 18, 17) },
        { 1, 40, QRect(9, 0, 0, 18) }, // 720 > 18, width trunc(0.45) = 0
        { 40, 1, QRect(0, 9, 18, 0) },
    };
    for (const Case &c : cases)
        EXPECT_EQ(ButtonPictureRect(ButtonPictureRatio(c.width, c.height)), c.expected)
            << c.width << " x " << c.height;
}

TEST(ButtonFit, TruncatesTheExactProductOfTheDoubleRatio)
{
    // The x87 extended product of 18 and a double is exact (58 significant
    // bits), which is what the truncation is defined on.
    if constexpr (std::numeric_limits<long double>::digits < 64) {
        GTEST_SKIP() << "needs an extended long double as the oracle";
    } else {
        for (int w = 1; w <= 300; ++w)
            for (int h = 1; h <= 300; ++h) {
                const double ratio = double(h) / double(w);
                long double tall = std::trunc(18.0L * ratio);
                int expectedW = 18, expectedH = int(tall);
                if (tall > 18) {
                    expectedH = 18;
                    expectedW = int(std::trunc(18.0L / ratio));
                }
                const QRect rect = ButtonPictureRect(ratio);
                ASSERT_EQ(rect.width(), expectedW) << w << " x " << h;
                ASSERT_EQ(rect.height(), expectedH) << w << " x " << h;
                ASSERT_EQ(rect.left(), (18 - expectedW) / 2);
                ASSERT_EQ(rect.top(), (18 - expectedH) / 2);
            }
    }
}

TEST(ButtonFit, DegenerateRatiosDrawNothing)
{
    EXPECT_TRUE(ButtonPictureRect(0.0).isEmpty());
    EXPECT_TRUE(ButtonPictureRect(-2.0).isEmpty());
    EXPECT_TRUE(ButtonPictureRect(std::numeric_limits<double>::quiet_NaN()).isEmpty());
    EXPECT_TRUE(ButtonPictureRect(ButtonPictureRatio(0, 5)).isEmpty()); // infinite
    EXPECT_TRUE(ButtonPictureRect(ButtonPictureRatio(0, 0)).isEmpty()); // NaN
    EXPECT_TRUE(ButtonPictureRect(1e300).isEmpty());
    EXPECT_TRUE(ButtonPictureRect(1e-300).isEmpty());

    bool drawn = false;
    const TBitmap picture = FitButtonPicture([&](QPainter &, const QRect &) { drawn = true; }, 40.0);
    EXPECT_FALSE(drawn);
    expectPainted(picture, QRect(), 0);
}

TEST(ButtonFit, StretchesTheSourceIntoItsRectangleOnWhite)
{
    const QRgb red = qRgb(220, 20, 30);
    const TBitmap wide = FitButtonPicture(solid(100, 50, red), ButtonPictureRatio(100, 50));
    EXPECT_FALSE(wide.transparent());
    EXPECT_FALSE(wide.hasPalette());
    expectPainted(wide, QRect(0, 4, 18, 9), red);
    expectPainted(
        FitButtonPicture(solid(300, 100, red), ButtonPictureRatio(300, 100)), QRect(0, 6, 18, 5), red);
    expectPainted(FitButtonPicture(solid(1, 40, red), ButtonPictureRatio(1, 40)), QRect(), red);
    expectPainted(FitButtonPicture(TBitmap(), 1.0), QRect(), red);

    // The ratio comes from the caller (the animation's screen), not the source.
    expectPainted(FitButtonPicture(solid(10, 10, red), 0.5), QRect(0, 4, 18, 9), red);

    // Both halves of a two-colour source land in their halves.
    QImage halves(2, 2, QImage::Format_RGB32);
    halves.fill(qRgb(0, 0, 255));
    halves.setPixel(1, 0, qRgb(0, 255, 0));
    halves.setPixel(1, 1, qRgb(0, 255, 0));
    const TBitmap square = FitButtonPicture(TBitmap(halves), 1.0);
    EXPECT_EQ(colorAt(square, 0, 0), qRgb(0, 0, 255) & RGB_MASK);
    EXPECT_EQ(colorAt(square, 8, 17), qRgb(0, 0, 255) & RGB_MASK);
    EXPECT_EQ(colorAt(square, 9, 0), qRgb(0, 255, 0) & RGB_MASK);
    EXPECT_EQ(colorAt(square, 17, 17), qRgb(0, 255, 0) & RGB_MASK);
}

TEST(ButtonFit, TransparentPixelsLeaveTheWhite)
{
    for (bool palette : { false, true }) {
        SCOPED_TRACE(palette);
        QImage image(2, 1, QImage::Format_RGB32);
        image.setPixel(0, 0, qRgb(255, 0, 255));
        image.setPixel(1, 0, qRgb(0, 0, 0));
        TBitmap source(palette ? image.convertToFormat(QImage::Format_Indexed8) : image);
        source.setTransparentColor(RGBColor(255, 0, 255));
        source.setTransparent(true);
        // Drawn at (0, 4) 18 x 9: the magenta half stays white.
        expectPainted(FitButtonPicture(source, 0.5), QRect(9, 4, 9, 9), qRgb(0, 0, 0));
        source.setTransparent(false);
        const TBitmap opaque = FitButtonPicture(source, 0.5);
        EXPECT_EQ(colorAt(opaque, 0, 4), qRgb(255, 0, 255) & RGB_MASK);
    }
}

TEST(ButtonFit, GifFirstFrameIsDrawnAsTheImageDrawsIt)
{
    TGIFImage gif;
    gif.ReadFromFile(testdata::path("gif/im_transparent_7x3.gif"));
    ASSERT_EQ(gif.FrameCount(), 1);
    const TBitmap &frame = gif.Frames(0).DecodedBitmap();
    const TColor key = gif.Frames(0).TransparentColor;
    ASSERT_NE(key, clNone);
    const double ratio = ButtonPictureRatio(gif.ScreenWidth(), gif.ScreenHeight());
    const QRect rect = ButtonPictureRect(ratio);
    EXPECT_EQ(rect, QRect(0, 5, 18, 7));

    gif.FrameIndex = -1;
    const TBitmap masked = FitButtonPicture(gif, ratio);
    EXPECT_EQ(gif.FrameIndex, -1);
    gif.Transparent = false;
    const TBitmap plain = FitButtonPicture(gif, ratio);

    QImage expected(18, 18, QImage::Format_RGB32);
    expected.fill(Qt::white);
    QPainter(&expected).drawImage(rect, frame.toRgb32());
    int keyed = 0;
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 18; ++x) {
            const QRgb drawn = expected.pixel(x, y) & RGB_MASK;
            EXPECT_EQ(colorAt(plain, x, y), drawn) << x << "," << y;
            const bool transparentPixel = rect.contains(x, y) && drawn == (toQRgb(key) & RGB_MASK);
            keyed += transparentPixel;
            EXPECT_EQ(colorAt(masked, x, y), transparentPixel ? white : drawn) << x << "," << y;
        }
    EXPECT_GT(keyed, 0);
}

TEST(ButtonFit, Placeholder)
{
    const TBitmap placeholder = ButtonPlaceholderPicture();
    expectPainted(placeholder, QRect(0, 0, 17, 17), qRgb(192, 192, 192));
}
