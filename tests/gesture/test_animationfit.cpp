// Fitting an animation into the file's animation block: the automatic fit
// against a plain "shrink until it fits" search, the frames the settings
// take, the transparent colour kept through scaling and reduction, and the
// measured size being the size the saved file has.
#include "gesture/animationfit.h"
#include "gesture/animationimport.h"
#include "gesture/zqgesture.h"
#include "gesturetestutil.h"

#include <QImage>
#include <QSet>

#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

namespace {

// A clip as a camera films it: a scene of smooth light and a few blobs with
// grain, the camera panning across it, frame size width x height.
std::unique_ptr<TFrameList> filmedClip(int width, int height, int frames, unsigned seed)
{
    std::mt19937 random(seed);
    const int sceneWidth = width + frames * 2;
    QImage scene(sceneWidth, height, QImage::Format_RGB32);
    std::uniform_real_distribution<double> place(0, 1);
    struct Blob
    {
        double x, y, r;
        int red, green, blue;
    };
    std::vector<Blob> blobs;
    for (int i = 0; i < 12; ++i)
        blobs.push_back({ place(random) * sceneWidth, place(random) * height, 6 + place(random) * height / 3,
            int(random() % 256), int(random() % 256), int(random() % 256) });
    std::uniform_int_distribution<int> grain(-6, 6);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < sceneWidth; ++x) {
            double r = 40 + 150.0 * y / height, g = 90 + 80.0 * x / sceneWidth, b = 200 - 120.0 * y / height;
            for (const Blob &blob : blobs) {
                const double d = std::hypot(x - blob.x, y - blob.y) / blob.r;
                const double w = d < 1 ? (1 - d * d) : 0;
                r += (blob.red - r) * w;
                g += (blob.green - g) * w;
                b += (blob.blue - b) * w;
            }
            const auto level = [&](double v) { return std::clamp(int(v) + grain(random), 0, 255); };
            scene.setPixel(x, y, qRgb(level(r), level(g), level(b)));
        }
    auto list = std::make_unique<TFrameList>(width, height);
    for (int i = 0; i < frames; ++i)
        list->Add(scene.copy(i * 2, 0, width, height), clNone);
    return list;
}

// Flat shapes moving over a flat background, few colours: a drawn clip.
std::unique_ptr<TFrameList> drawnClip(int width, int height, int frames)
{
    auto list = std::make_unique<TFrameList>(width, height);
    for (int i = 0; i < frames; ++i) {
        QImage frame(width, height, QImage::Format_RGB32);
        frame.fill(qRgb(250, 240, 200));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (std::hypot(x - (i * 3) % width, y - height / 2) < height / 4)
                    frame.setPixel(x, y, qRgb(200, 30, 30));
        list->Add(frame, clNone);
    }
    return list;
}

// The frames with a corner of side pixels in the transparent colour, masked
// by it.
std::unique_ptr<TFrameList> withTransparentCorner(std::unique_ptr<TFrameList> frames, TColor key, int side)
{
    auto masked = std::make_unique<TFrameList>(frames->Width(), frames->Height());
    for (int i = 0; i < frames->Count(); ++i) {
        QImage frame = frames->CopyFrame(i, clNone);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                frame.setPixel(x, y, toQRgb(key));
        masked->Add(frame, key);
    }
    return masked;
}

// The plain search the fit must never lose to: all colours, the frame made
// one pixel narrower at a time until the animation fits.
int shrinkUntilItFits(const TAnimationFit &fit)
{
    TFitSettings s = fit.Unchanged();
    for (; s.frameWidth > 1; --s.frameWidth)
        if (fit.Measure(s).fits())
            break;
    return s.frameWidth;
}

} // namespace

TEST(AnimationFit, AutoFitsEveryFrameNoSmallerThanShrinkingUntilItFits)
{
    const TColor key = RGBColor(255, 0, 255);
    struct Case
    {
        const char *name;
        std::unique_ptr<TFrameList> frames;
        TColor transparent;
        bool fitsUnchanged;
    };
    Case cases[] = {
        { "filmed, wide", filmedClip(120, 90, 40, 1), clNone, false },
        { "filmed, tall", filmedClip(60, 110, 50, 2), clNone, false },
        { "drawn", drawnClip(100, 80, 30), clNone, true },
        { "filmed with a key", withTransparentCorner(filmedClip(100, 75, 30, 3), key, 30), key, false },
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TAnimationFit fit(*c.frames, c.transparent, QStringLiteral("an author"));
        const TFitMeasure found = fit.Auto();
        ASSERT_TRUE(found.fits()) << found.blockBytes;
        EXPECT_EQ(found.frameCount, c.frames->Count());
        EXPECT_EQ(found.settings == fit.Unchanged(), c.fitsUnchanged);
        if (!c.fitsUnchanged) {
            EXPECT_GE(found.settings.frameWidth, shrinkUntilItFits(fit));
        }

        // The measured block is the one the saved gesture holds.
        TZQGesture gesture;
        gesture.setFrames(fit.Make(found.settings));
        gesture.setTransparentColor(c.transparent);
        gesture.SetAuthor(QStringLiteral("an author"));
        const QByteArray saved = gesturetest::bytesOf(gesture);
        TZQGesture back;
        gesturetest::readInto(back, saved);
        ASSERT_TRUE(back.Valid());
        EXPECT_EQ(back.Frames()->Count(), found.frameCount);
        EXPECT_EQ(QSize(back.Frames()->Width(), back.Frames()->Height()), found.frameSize);
    }
}

TEST(AnimationFit, FewerColoursMakeSmallerBlocksAndKeepTheTransparentColour)
{
    const TColor key = RGBColor(0, 255, 0);
    const auto frames = withTransparentCorner(filmedClip(80, 60, 12, 4), key, 20);
    const TAnimationFit fit(*frames, key, {});
    qsizetype last = std::numeric_limits<qsizetype>::max();
    for (const int colours : { 256, 64, 16, 4, 2 }) {
        SCOPED_TRACE(colours);
        TFitSettings s = fit.Unchanged();
        s.colours = colours;
        s.frameWidth = 40;
        const TFitMeasure measure = fit.Measure(s);
        EXPECT_LT(measure.blockBytes, last);
        last = measure.blockBytes;
        const auto made = fit.Make(s);
        ASSERT_TRUE(made);
        QSet<QRgb> seen;
        for (int i = 0; i < made->Count(); ++i) {
            const QImage &picture = made->Picture(i);
            // The scaled corner (10 x 10 at half size) is still transparent,
            // and nothing else is.
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) {
                    seen.insert(picture.pixel(x, y) & RGB_MASK);
                    EXPECT_EQ(made->IsTransparent(i, x, y), x < 10 && y < 10) << x << "," << y;
                }
        }
        // With all colours the frames keep theirs; the file's reduction
        // applies when they are saved.
        if (colours < 256) {
            EXPECT_LE(seen.size(), colours);
        }
    }
}

TEST(AnimationFit, SettingsTakeTheFramesAsked)
{
    const auto frames = gesturetest::frames(10, 8, 12);
    const TAnimationFit fit(*frames, clNone, {});
    struct Case
    {
        int first, last, every;
        std::vector<int> taken;
    };
    const Case cases[] = {
        { 0, -1, 1, { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 } }, { 0, -1, 3, { 0, 3, 6, 9 } },
        { 2, 5, 1, { 2, 3, 4, 5 } }, { 1, 10, 4, { 1, 5, 9 } }, { 11, -1, 2, { 11 } },
        { 20, 30, 1, { 11 } }, // beyond the source: its last frame
        { 5, 2, 1, { 5 } }, // an end before the start: the start alone
    };
    for (const Case &c : cases) {
        TFitSettings s = fit.Unchanged();
        s.first = c.first;
        s.last = c.last;
        s.every = c.every;
        EXPECT_EQ(fit.FramesTaken(s), c.taken) << c.first << ".." << c.last << " every " << c.every;
        EXPECT_EQ(fit.Measure(s).frameCount, int(c.taken.size()));
    }

    // No more frames than a gesture holds at the width: 255 wide, 257 frames
    // of a strip of at most 65535 pixels.
    const auto wide = gesturetest::frames(255, 2, 255);
    const TAnimationFit wideFit(*wide, clNone, {});
    EXPECT_EQ(wideFit.FramesTaken(wideFit.Unchanged()).size(), 255u);
}

TEST(KeepSpeed, EachGestureFrameIsTheFrameShowingAtItsTick)
{
    struct Case
    {
        const char *name;
        std::vector<int> delays; // as stored in the file
        std::vector<int> ticks;
    };
    const std::vector<int> tenFps(25, 100), fiftyFps(50, 20), steady(4, 250);
    const Case cases[] = {
        { "10 fps", tenFps, { 0, 2, 5, 7, 10, 12, 15, 17, 20, 22 } },
        { "50 fps", fiftyFps, { 0, 12, 25, 37 } },
        { "250 ms", steady, { 0, 1, 2, 3 } },
        // Frame 2 shows between two ticks and is never seen.
        { "mixed", { 500, 100, 100, 1000 }, { 0, 0, 1, 3, 3, 3, 3 } },
        // 0 and 10 ms show for 100 ms, as viewers show them.
        { "no delays", { 0, 10, 0, 0, 0 }, { 0, 2 } },
        { "one short frame", { 30 }, { 0 } },
    };
    for (const Case &c : cases) {
        std::vector<int> shown;
        for (const int delay : c.delays)
            shown.push_back(ShownDelayMs(delay));
        EXPECT_EQ(FramesAtTicks(shown), c.ticks) << c.name;
    }
    EXPECT_EQ(KeepSpeedText(38, 9500), QStringLiteral("38 frames, plays in 9.5 s as the original"));
    EXPECT_EQ(EveryFrameText(95, 95, 9500), QStringLiteral("95 frames, plays 2.5 \u00d7 slower (23.8 s)"));
    EXPECT_EQ(KeepSpeedText(255, 100000),
        QStringLiteral("255 frames, plays the first 63.8 s of 100.0 s as the original"));
    EXPECT_EQ(EveryFrameText(255, 400, 8000),
        QStringLiteral("the first 255 of 400 frames, plays 12.5 \u00d7 slower (63.8 s)"));
}
