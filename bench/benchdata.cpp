#include "benchdata.h"

#include "giflibcodec.h"

#include "codecs/gifimage.h"

#include <QRect>
#include <QRectF>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

namespace {

// Smooth random field in [0, 1): random values on a lattice `cell` pixels
// apart, blended with smoothstep, summed over `octaves` halving scales.
class ValueNoise
{
public:
    ValueNoise(std::uint32_t seed) : m_random(seed)
    {
        for (float &v : m_lattice)
            v = float(m_random() >> 8) / float(1 << 24);
    }

    float at(double x, double y, double cell, int octaves) const
    {
        double total = 0, weight = 0, amplitude = 1;
        for (int o = 0; o < octaves; ++o, cell /= 2, amplitude /= 2) {
            total += amplitude * smooth(x / cell + o * 17.0, y / cell + o * 31.0);
            weight += amplitude;
        }
        return float(total / weight);
    }

private:
    static constexpr int kSide = 256;
    double lattice(int x, int y) const
    {
        return m_lattice[std::size_t((y & (kSide - 1)) * kSide + (x & (kSide - 1)))];
    }
    double smooth(double x, double y) const
    {
        const double fx = std::floor(x), fy = std::floor(y);
        const double tx = (x - fx) * (x - fx) * (3 - 2 * (x - fx));
        const double ty = (y - fy) * (y - fy) * (3 - 2 * (y - fy));
        const int ix = int(fx), iy = int(fy);
        const double top = lattice(ix, iy) + tx * (lattice(ix + 1, iy) - lattice(ix, iy));
        const double bottom = lattice(ix, iy + 1) + tx * (lattice(ix + 1, iy + 1) - lattice(ix, iy + 1));
        return top + ty * (bottom - top);
    }

    std::mt19937 m_random;
    std::array<float, kSide * kSide> m_lattice {};
};

struct Colour
{
    double r, g, b;
};

Colour mix(Colour a, Colour b, double t)
{
    return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t };
}

} // namespace

QImage photoLike(int width, int height, std::uint32_t seed)
{
    const ValueNoise clouds(seed), texture(seed + 1), detail(seed + 2);
    std::mt19937 random(seed + 3);
    const double horizon = height * 0.45;
    // Objects: a ball lit from the upper left, a wall with a dark window, a
    // tree crown; positions scale with the picture.
    const double ballX = width * 0.7, ballY = height * 0.68, ballR = height * 0.14;
    const QRectF wall(width * 0.08, height * 0.25, width * 0.3, height * 0.45);
    const QRectF window(wall.x() + wall.width() * 0.3, wall.y() + wall.height() * 0.25, wall.width() * 0.35,
        wall.height() * 0.3);
    const double treeX = width * 0.5, treeY = height * 0.3, treeR = height * 0.16;

    auto shade = [&](double x, double y) -> Colour {
        const double dx = x - ballX, dy = y - ballY;
        if (dx * dx + dy * dy < ballR * ballR) {
            const double light
                = std::max(0.0, 1 - std::hypot(dx + ballR * 0.4, dy + ballR * 0.4) / (1.6 * ballR));
            return mix({ 120, 10, 20 }, { 255, 90, 70 }, light);
        }
        if (window.contains(x, y))
            return mix({ 20, 30, 45 }, { 70, 90, 110 }, (y - window.y()) / window.height());
        if (wall.contains(x, y)) {
            const double brick = texture.at(x, y, 6, 2);
            return mix(
                { 150, 110, 80 }, { 210, 180, 140 }, 0.3 + 0.5 * brick + 0.2 * (x - wall.x()) / wall.width());
        }
        const double tx = x - treeX, ty = y - treeY;
        const double leaves = texture.at(x * 1.3, y * 1.3, 5, 3);
        if (std::hypot(tx, ty * 1.2) < treeR * (0.8 + 0.4 * leaves))
            return mix({ 15, 50, 15 }, { 90, 150, 50 }, leaves * (1 - ty / (3 * treeR)));
        if (y < horizon) {
            const Colour sky = mix({ 60, 110, 200 }, { 190, 215, 240 }, y / horizon);
            const double cloud = std::clamp((clouds.at(x, y * 2.5, 160, 4) - 0.45) * 3, 0.0, 1.0);
            return mix(sky, { 245, 245, 250 }, cloud);
        }
        const double field = texture.at(x, (y - horizon) * 3, 40, 3);
        const double grass = detail.at(x, y, 3, 2);
        const double depth = (y - horizon) / (height - horizon);
        const Colour ground
            = mix(mix({ 70, 110, 40 }, { 150, 125, 60 }, field), { 30, 70, 20 }, grass * depth);
        // Flowers: small blobs of strong colour where the fine noise peaks,
        // their hue from a slower field.
        const double bloom = detail.at(x + 500, y, 2.5, 1);
        if (bloom > 0.8 - 0.1 * depth) {
            const double hue = clouds.at(x, y, 50, 2);
            const Colour petal = hue < 0.45 ? Colour { 250, 220, 40 }
                : hue < 0.55                ? Colour { 240, 240, 235 }
                                            : Colour { 200, 60, 170 };
            return mix(ground, petal, std::min(1.0, (bloom - 0.8 + 0.1 * depth) * 8));
        }
        return ground;
    };

    QImage image(width, height, QImage::Format_RGB32);
    std::uniform_int_distribution<int> grain(-4, 4);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            // Four samples a pixel soften the edges as a lens does.
            Colour sum { 0, 0, 0 };
            for (const auto &[sx, sy] :
                { std::pair(0.25, 0.25), { 0.75, 0.25 }, { 0.25, 0.75 }, { 0.75, 0.75 } }) {
                const Colour c = shade(x + sx, y + sy);
                sum = { sum.r + c.r, sum.g + c.g, sum.b + c.b };
            }
            row[x] = qRgb(clampByte(sum.r / 4 + grain(random)), clampByte(sum.g / 4 + grain(random)),
                clampByte(sum.b / 4 + grain(random)));
        }
    }
    return image;
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

} // namespace benchdata
