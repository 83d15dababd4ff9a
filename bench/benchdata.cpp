#include "benchdata.h"

#include "codecs/gifimage.h"
#include "giflibcodec.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>

namespace benchdata {

namespace {

int clampByte(double value)
{
    return std::clamp(int(std::lround(value)), 0, 255);
}

IndexedFrame indexedFrame(const QImage &image)
{
    IndexedFrame frame;
    frame.image = image;
    frame.pixels.resize(std::size_t(image.width()) * std::size_t(image.height()));
    for (int y = 0; y < image.height(); ++y)
        std::copy_n(
            image.constScanLine(y), image.width(), frame.pixels.data() + std::size_t(y) * image.width());
    return frame;
}

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "plumora-bench: %s\n", what.c_str());
    std::exit(1);
}

} // namespace

// Decodes the GIF our writer made with our reader, keeps the frames as the
// encoders' input, and checks that giflib sees the same pixels, so every pair
// of benchmarks does the same work.
GifCase makeCase(const std::string &name, TGIFImage &source)
{
    GifCase result;
    result.name = name;
    result.gif = source.WriteToBuffer();

    TGIFImage gif;
    gif.ReadFromBuffer(result.gif);
    gif.DecodeFrames();
    result.screenWidth = gif.ScreenWidth();
    result.screenHeight = gif.ScreenHeight();
    for (int i = 0; i < gif.FrameCount(); ++i) {
        QImage image = gif.Frames(i).DecodedBitmap().image();
        if (image.format() != QImage::Format_Indexed8 || image.colorCount() != 256)
            fail(name + ": frame is not an 8-bit palette picture");
        result.frames.push_back(indexedFrame(image));
        result.pixels += std::int64_t(image.width()) * image.height();
    }

    const giflibcodec::Decoded theirs = giflibcodec::decode(result.gif);
    if (!theirs.ok || theirs.frames.size() != result.frames.size())
        fail(name + ": giflib cannot read our GIF");
    for (std::size_t i = 0; i < theirs.frames.size(); ++i)
        if (theirs.frames[i] != result.frames[i].pixels)
            fail(name + ": giflib decodes other pixels than our reader");
    return result;
}

QImage syntheticPhoto(int width, int height, std::uint32_t seed, int grain)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-grain, grain);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            // Broad light and colour gradients, a few soft blobs, then grain.
            const double sky = 120 + 100 * std::sin(x / 173.0 + y / 241.0);
            const double blob = 60 * std::cos(std::hypot(x - width * 0.3, y - height * 0.6) / 37.0);
            const double shade = 255.0 * y / height;
            const int r = clampByte(0.6 * sky + 0.4 * shade + blob + noise(random));
            const int g = clampByte(0.8 * sky - 0.3 * blob + 40 + noise(random));
            const int b = clampByte(255 - 0.7 * shade + 0.5 * blob + noise(random));
            row[x] = qRgb(r, g, b);
        }
    }
    return image;
}

const QImage &photo640()
{
    static const QImage photo = syntheticPhoto(640, 480, 2024, 10);
    return photo;
}

const GifCase &photoCase()
{
    static const GifCase photo = [] {
        TGIFImage gif;
        gif.CopyFrom(TBitmap(photo640()));
        return makeCase("photo640", gif);
    }();
    return photo;
}

const GifCase &animCase()
{
    static const GifCase anim = [] {
        // A camera panning across a larger scene: every frame differs, and
        // each is reduced to a palette of its own. The grain is finer than
        // the photo's: with strong grain each small frame keeps so many
        // colours that its GIF barely compresses, unlike typical animations.
        const QImage scene = syntheticPhoto(560, 420, 7, 3);
        TGIFImage gif;
        for (int i = 0; i < 100; ++i)
            gif.AppendFrame(TBitmap(scene.copy(QRect(i * 4, i * 3, 160, 120))));
        return makeCase("anim100", gif);
    }();
    return anim;
}

const GifCase &smallFramesCase()
{
    static const GifCase frames = [] {
        const QImage scene = syntheticPhoto(64 + 500, 48 + 250, 11, 3);
        TGIFImage gif;
        for (int i = 0; i < 500; ++i)
            gif.AppendFrame(TBitmap(scene.copy(QRect(i, i / 2, 64, 48))));
        return makeCase("frames500", gif);
    }();
    return frames;
}

QImage noisePicture(int width, int height, std::uint32_t seed)
{
    std::mt19937 random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = 0xFF000000 | (random() & 0xFFFFFF);
    }
    return image;
}

QImage bushesPicture(int width, int height)
{
    std::mt19937 random(7);
    auto grain = [&](int spread) { return int(random() % std::uint32_t(2 * spread + 1)) - spread; };
    const int light[3][3] = { { 214, 220, 228 }, { 198, 205, 214 }, { 226, 222, 210 } };
    const int dark[3][3] = { { 18, 20, 26 }, { 30, 28, 34 }, { 12, 14, 16 } };
    const int horizon = height * 11 / 20;
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int *c = y < horizon ? light[(x / 64 + y / 48) % 3] : dark[(x / 80 + y / 40) % 3];
            const int r = c[0] + grain(2), g = c[1] + grain(2), b = c[2] + grain(2);
            row[x] = qRgb(r, g, b);
        }
    }
    // Bushes along the horizon, 1.5 % of the picture.
    const int bushes = 8;
    const double radius = std::sqrt(0.015 * width * height / (bushes * std::numbers::pi));
    for (int k = 0; k < bushes; ++k) {
        const double cx = (k + 0.5) * width / bushes, cy = horizon + (k % 2 ? -radius / 2 : radius);
        for (int y = std::max(0, int(cy - radius)); y < std::min(height, int(cy + radius) + 1); ++y)
            for (int x = std::max(0, int(cx - radius)); x < std::min(width, int(cx + radius) + 1); ++x) {
                const double d = std::hypot(x - cx, y - cy) / radius;
                if (d >= 1)
                    continue;
                const double shade = 1 - 0.5 * d + 0.15 * std::sin(x * 1.3 + y * 0.7);
                auto channel = [](double v) { return std::clamp(int(std::lround(v)), 0, 255); };
                const int r = channel(28 * shade + grain(5)), g = channel(92 * shade + grain(5)),
                          b = channel(30 * shade + grain(5));
                image.setPixel(x, y, qRgb(r, g, b));
            }
    }
    return image;
}

} // namespace benchdata
