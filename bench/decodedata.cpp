// The decode benchmarks' own pictures: what GIFs met in use look like, made
// here so nothing is downloaded. Each is written by our writer from palette
// frames (so no colour reduction is involved) and checked against giflib.
#include "benchdata.h"
#include "codecs/gifimage.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace benchdata {

namespace {

// Says on standard error what a decode case holds, so the numbers can be
// read in context.
const GifCase &described(const GifCase &data)
{
    std::fprintf(stderr, "%-12s %3zu frame(s), %lld pixels, GIF of %lld bytes\n", data.name.c_str(),
        data.frames.size(), static_cast<long long>(data.pixels), static_cast<long long>(data.gif.size()));
    return data;
}

std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed)
{
    std::uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    return h ^ (h >> 15);
}

// Smooth value noise in [0, 1): random values on a lattice, interpolated.
double valueNoise(double x, double y, std::uint32_t seed)
{
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const auto ix = std::uint32_t(std::int32_t(fx));
    const auto iy = std::uint32_t(std::int32_t(fy));
    auto at = [&](std::uint32_t dx, std::uint32_t dy) { return hash(ix + dx, iy + dy, seed) / 4294967296.0; };
    auto smooth = [](double t) { return t * t * (3 - 2 * t); };
    const double tx = smooth(x - fx);
    const double ty = smooth(y - fy);
    const double top = at(0, 0) + (at(1, 0) - at(0, 0)) * tx;
    const double bottom = at(0, 1) + (at(1, 1) - at(0, 1)) * tx;
    return top + (bottom - top) * ty;
}

// Octaves of value noise, in [0, 1).
double fractal(double x, double y, int octaves, std::uint32_t seed)
{
    double sum = 0, amplitude = 1, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * valueNoise(x, y, seed + std::uint32_t(i));
        total += amplitude;
        amplitude *= 0.5;
        x *= 2;
        y *= 2;
    }
    return sum / total;
}

struct Rgb
{
    double r = 0, g = 0, b = 0;
};

Rgb mix(Rgb a, Rgb b, double t)
{
    return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t };
}

Rgb shade(Rgb c, double f)
{
    return { c.r * f, c.g * f, c.b * f };
}

double smoothstep(double edge0, double edge1, double x)
{
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// A landscape as a camera sees it: a sky with a soft gradient, clouds and
// the glow of the sun; two mountain ridges with hard edges, rock texture and
// snow; a lake that mirrors the sky with ripples; a meadow with fine grass
// texture, flowers and trees; and sensor noise over everything.
QImage landscape(int width, int height)
{
    std::mt19937 random(640);
    std::uniform_real_distribution<double> grain(-4, 4);
    QImage image(width, height, QImage::Format_RGB32);
    const double w = width, h = height;
    const double shore = 0.62 * h, meadow = 0.70 * h;
    std::vector<double> farRidge(static_cast<std::size_t>(width)), nearRidge(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        farRidge[std::size_t(x)] = 0.30 * h + 0.16 * h * fractal(x / 160.0, 0.5, 6, 11);
        nearRidge[std::size_t(x)] = 0.45 * h + 0.12 * h * fractal(x / 90.0, 3.5, 6, 23);
    }
    auto sky = [&](double x, double y) {
        Rgb c = mix({ 40, 90, 170 }, { 185, 210, 235 }, std::clamp(y / (0.5 * h), 0.0, 1.0));
        const double cloud = smoothstep(0.52, 0.72, fractal(x / 140.0, y / 55.0, 6, 5));
        c = mix(c, shade({ 248, 248, 252 }, 0.8 + 0.2 * fractal(x / 30.0, y / 20.0, 3, 7)), cloud);
        const double sun
            = std::exp(-(std::pow(x - 0.78 * w, 2) + std::pow(y - 0.16 * h, 2)) / (2 * 45.0 * 45.0));
        return mix(c, { 255, 250, 225 }, 0.85 * sun);
    };
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            Rgb c;
            const double far = farRidge[std::size_t(x)], near = nearRidge[std::size_t(x)];
            if (y < far && y < near) {
                c = sky(x, y);
            } else if (y < near && y < shore) {
                const double rock = fractal(x / 18.0, y / 18.0, 4, 31);
                c = shade({ 112, 124, 150 }, 0.85 + 0.3 * rock);
                if (y < far + 0.035 * h + 0.02 * h * rock)
                    c = mix(c, { 235, 238, 245 }, 0.9);
                c = mix(c, { 170, 190, 215 }, 0.25); // haze
            } else if (y < shore) {
                const double rock = fractal(x / 9.0, y / 9.0, 5, 41);
                const double forest = smoothstep(0.45, 0.6, fractal(x / 40.0, y / 25.0, 4, 43));
                c = mix(shade({ 105, 98, 80 }, 0.7 + 0.6 * rock), shade({ 40, 75, 38 }, 0.6 + 0.7 * rock),
                    forest);
            } else if (y < meadow) {
                const double mirrored = 2 * shore - y - 0.15 * h;
                const double ripple = fractal(x / 45.0, y / 1.5, 3, 53);
                c = shade(sky(x + 6 * (ripple - 0.5), std::max(mirrored, 0.0)), 0.72 + 0.15 * ripple);
            } else {
                const double depth = (y - meadow) / (h - meadow);
                const double blades = fractal(x / 2.5, y / 6.0, 3, 61);
                const double patch = fractal(x / 60.0, y / 30.0, 3, 67);
                c = shade(mix({ 70, 105, 40 }, { 120, 150, 55 }, patch), 0.55 + 0.35 * depth + 0.45 * blades);
                const std::uint32_t flower = hash(std::uint32_t(x / 3), std::uint32_t(y / 3), 71);
                if (flower % 97 == 0)
                    c = flower % 2 ? Rgb { 235, 210, 40 } : Rgb { 210, 40, 50 };
            }
            // Trees along the shore: dark crowns with ragged edges.
            for (int t = 0; t < 9; ++t) {
                const double tx = 40 + t * 71 + 25 * std::sin(t * 2.3);
                const double ty = meadow + 10 + 8 * std::cos(t * 1.7);
                const double radius = 26 + 6 * std::sin(t * 3.1);
                const double dx = x - tx, dy = (y - (ty - radius)) * 0.8;
                const double edge = radius * (0.8 + 0.4 * fractal(std::atan2(dy, dx) * 3, t, 3, 79));
                if (dx * dx + dy * dy < edge * edge)
                    c = shade({ 30, 62, 30 }, 0.6 + 0.8 * fractal(x / 4.0, y / 4.0, 3, 83));
                else if (std::abs(dx) < 3 && y > ty - radius && y < ty + 4)
                    c = { 70, 50, 35 };
            }
            row[x] = qRgb(std::clamp(int(c.r + grain(random)), 0, 255),
                std::clamp(int(c.g + grain(random)), 0, 255), std::clamp(int(c.b + grain(random)), 0, 255));
        }
    }
    return image;
}

// What a photo converter makes of a picture: an adaptive 256-colour palette
// (the most frequent colours at 5 bits per channel) and Floyd-Steinberg
// error diffusion.
QImage dithered(const QImage &rgb)
{
    const int width = rgb.width(), height = rgb.height();
    auto bin = [](int r, int g, int b) { return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3); };
    std::vector<int> counts(32768, 0);
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < width; ++x)
            ++counts[std::size_t(bin(qRed(row[x]), qGreen(row[x]), qBlue(row[x])))];
    }
    std::vector<int> order(32768);
    for (int i = 0; i < 32768; ++i)
        order[std::size_t(i)] = i;
    std::stable_sort(order.begin(), order.end(),
        [&](int a, int b) { return counts[std::size_t(a)] > counts[std::size_t(b)]; });
    QVector<QRgb> palette(256);
    for (int i = 0; i < 256; ++i) {
        const int b = order[std::size_t(i)];
        palette[i] = qRgb(((b >> 10) & 31) * 8 + 4, ((b >> 5) & 31) * 8 + 4, (b & 31) * 8 + 4);
    }
    std::vector<std::uint8_t> nearest(32768);
    for (int b = 0; b < 32768; ++b) {
        const int r = ((b >> 10) & 31) * 8 + 4, g = ((b >> 5) & 31) * 8 + 4, bl = (b & 31) * 8 + 4;
        int best = 0, bestDistance = 1 << 30;
        for (int i = 0; i < 256; ++i) {
            const int dr = qRed(palette[i]) - r, dg = qGreen(palette[i]) - g, db = qBlue(palette[i]) - bl;
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        nearest[std::size_t(b)] = std::uint8_t(best);
    }

    QImage out(width, height, QImage::Format_Indexed8);
    out.setColorTable(palette);
    std::vector<std::array<int, 3>> error(std::size_t(width + 2)), next(std::size_t(width + 2));
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        std::fill(next.begin(), next.end(), std::array<int, 3> { 0, 0, 0 });
        for (int x = 0; x < width; ++x) {
            const std::array<int, 3> &e = error[std::size_t(x + 1)];
            const int r = std::clamp(qRed(row[x]) + e[0] / 16, 0, 255);
            const int g = std::clamp(qGreen(row[x]) + e[1] / 16, 0, 255);
            const int b = std::clamp(qBlue(row[x]) + e[2] / 16, 0, 255);
            const std::uint8_t index = nearest[std::size_t(bin(r, g, b))];
            out.scanLine(y)[x] = index;
            const int diff[3]
                = { r - qRed(palette[index]), g - qGreen(palette[index]), b - qBlue(palette[index]) };
            for (int k = 0; k < 3; ++k) {
                error[std::size_t(x + 2)][std::size_t(k)] += diff[k] * 7;
                next[std::size_t(x)][std::size_t(k)] += diff[k] * 3;
                next[std::size_t(x + 1)][std::size_t(k)] += diff[k] * 5;
                next[std::size_t(x + 2)][std::size_t(k)] += diff[k];
            }
        }
        std::swap(error, next);
    }
    return out;
}

// A screen recording: a desktop with an editor window, then frames that
// each hold the small rectangle that changed: a character typed, the mouse
// pointer moved, now and then a menu opened or closed.
class Screen
{
public:
    static constexpr int kWidth = 800, kHeight = 600;

    Screen() : m_pixels(std::size_t(kWidth * kHeight), 0)
    {
        // Flat UI colours, a blue ramp for the title bar, greys for text edges.
        m_palette.fill(qRgb(0, 0, 0));
        const QRgb ui[] = { qRgb(0, 128, 128), qRgb(255, 255, 255), qRgb(236, 236, 236), qRgb(190, 190, 190),
            qRgb(90, 90, 90), qRgb(20, 20, 20), qRgb(150, 150, 150), qRgb(210, 210, 210), qRgb(50, 100, 200),
            qRgb(200, 220, 250), qRgb(220, 50, 50), qRgb(40, 170, 60), qRgb(240, 200, 40), qRgb(240, 140, 30),
            qRgb(140, 70, 190), qRgb(255, 255, 255) };
        for (int i = 0; i < 16; ++i)
            m_palette[std::size_t(i)] = ui[i];
        for (int i = 0; i < 16; ++i)
            m_palette[std::size_t(16 + i)] = qRgb(30 + i * 8, 70 + i * 7, 170 + i * 5);
    }

    QVector<QRgb> palette() const { return QVector<QRgb>(m_palette.begin(), m_palette.end()); }

    void fill(int x, int y, int w, int h, int colour)
    {
        for (int j = std::max(y, 0); j < std::min(y + h, kHeight); ++j)
            std::fill_n(m_pixels.begin() + j * kWidth + std::max(x, 0),
                std::max(0, std::min(x + w, kWidth) - std::max(x, 0)), std::uint8_t(colour));
    }
    void put(int x, int y, int colour)
    {
        if (x >= 0 && x < kWidth && y >= 0 && y < kHeight)
            m_pixels[std::size_t(y * kWidth + x)] = std::uint8_t(colour);
    }
    int at(int x, int y) const { return m_pixels[std::size_t(y * kWidth + x)]; }

    // A glyph in a 7 x 12 cell: strokes from the character's hash, with grey
    // edges as font smoothing leaves them.
    void glyph(int x, int y, int ch, int ink, int paper)
    {
        fill(x, y, 7, 12, paper);
        if (ch == ' ')
            return;
        const std::uint32_t bits = hash(std::uint32_t(ch), 0, 97);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 5; ++c) {
                const bool on = (c == 0 && (bits & 1)) || (c == 4 && (bits & 2)) || (r == 0 && (bits & 4))
                    || (r == 4 && (bits & 8)) || (r == 7 && (bits & 16)) || (c == 2 && (bits & 32) && r > 2);
                if (on) {
                    put(x + 1 + c, y + 2 + r, ink);
                    if (((bits >> (c + r)) & 64) && at(x + 2 + c, y + 2 + r) == paper)
                        put(x + 2 + c, y + 2 + r, 6);
                }
            }
    }
    void text(int x, int y, const std::string &s, int ink, int paper)
    {
        for (std::size_t i = 0; i < s.size(); ++i)
            glyph(x + int(i) * 7, y, s[i], ink, paper);
    }
    void icon(int x, int y, int seed)
    {
        for (int j = 0; j < 16; ++j)
            for (int i = 0; i < 16; ++i) {
                const bool border = i == 0 || j == 0 || i == 15 || j == 15;
                put(x + i, y + j,
                    border
                        ? 4
                        : 8 + int(hash(std::uint32_t(i / 4), std::uint32_t(j / 4), std::uint32_t(seed)) % 7));
            }
    }
    void pointer(int x, int y)
    {
        for (int j = 0; j < 17; ++j)
            for (int i = 0; i <= j / 2 + 1 && i < 10; ++i)
                put(x + i, y + j, i == 0 || i == j / 2 + 1 || j == 16 ? 5 : 15);
    }

    QImage crop(int x, int y, int w, int h) const
    {
        QImage image(w, h, QImage::Format_Indexed8);
        image.setColorTable(palette());
        for (int j = 0; j < h; ++j)
            std::copy_n(m_pixels.begin() + (y + j) * kWidth + x, w, image.scanLine(j));
        return image;
    }
    std::vector<std::uint8_t> save(int x, int y, int w, int h) const
    {
        std::vector<std::uint8_t> saved;
        for (int j = 0; j < h; ++j)
            saved.insert(saved.end(), m_pixels.begin() + (y + j) * kWidth + x,
                m_pixels.begin() + (y + j) * kWidth + x + w);
        return saved;
    }
    void restore(int x, int y, int w, int h, const std::vector<std::uint8_t> &saved)
    {
        for (int j = 0; j < h; ++j)
            std::copy_n(saved.begin() + j * w, w, m_pixels.begin() + (y + j) * kWidth + x);
    }

private:
    std::vector<std::uint8_t> m_pixels;
    std::array<QRgb, 256> m_palette;
};

std::string words(std::mt19937 &random, int length)
{
    static const char *const vocabulary[] = { "the", "frame", "decoder", "writes", "every", "pixel", "into",
        "rows", "of", "a", "picture", "while", "table", "strings", "are", "copied", "from", "output", "and",
        "clear", "codes", "reset" };
    std::string line;
    while (int(line.size()) < length) {
        line += vocabulary[random() % (sizeof vocabulary / sizeof *vocabulary)];
        line += ' ';
    }
    return line.substr(0, std::size_t(length));
}

struct Rect
{
    int x = 0, y = 0, w = 0, h = 0;
    Rect united(const Rect &o) const
    {
        const int x0 = std::min(x, o.x), y0 = std::min(y, o.y);
        return { x0, y0, std::max(x + w, o.x + o.w) - x0, std::max(y + h, o.y + o.h) - y0 };
    }
    Rect clipped() const
    {
        const int x0 = std::clamp(x, 0, Screen::kWidth), y0 = std::clamp(y, 0, Screen::kHeight);
        return { x0, y0, std::clamp(x + w, 0, Screen::kWidth) - x0,
            std::clamp(y + h, 0, Screen::kHeight) - y0 };
    }
};

} // namespace

QImage landscapePicture(int width, int height)
{
    return landscape(width, height);
}

const GifCase &landscapeCase()
{
    static const GifCase landscape640 = [] {
        TGIFImage gif;
        gif.CopyFrom(TBitmap(dithered(landscape(640, 480)), 8));
        return makeCase("landscape640", gif);
    }();
    static const GifCase &described640 = described(landscape640);
    return described640;
}

const GifCase &screencastCase()
{
    static const GifCase screencast = [] {
        std::mt19937 random(2024);
        Screen screen;
        // Desktop, task bar, editor window with title, menu, tool bar, a
        // side list and a page of text.
        screen.fill(0, 0, Screen::kWidth, Screen::kHeight, 0);
        screen.fill(0, 568, Screen::kWidth, 32, 4);
        for (int i = 0; i < 6; ++i)
            screen.icon(8 + i * 28, 576, 100 + i);
        const int wx = 40, wy = 24, ww = 720, wh = 530;
        screen.fill(wx - 1, wy - 1, ww + 2, wh + 2, 3);
        for (int j = 0; j < 24; ++j)
            screen.fill(wx, wy + j, ww, 1, 16 + j * 16 / 24);
        screen.text(wx + 10, wy + 6, "notes.txt - Editor", 1, 16);
        screen.fill(wx, wy + 24, ww, 20, 2);
        const char *const menus[] = { "File", "Edit", "View", "Insert", "Format", "Help" };
        for (int i = 0; i < 6; ++i)
            screen.text(wx + 8 + i * 60, wy + 28, menus[i], 5, 2);
        screen.fill(wx, wy + 44, ww, 28, 2);
        for (int i = 0; i < 14; ++i)
            screen.icon(wx + 6 + i * 22, wy + 50, i);
        screen.fill(wx, wy + 72, 150, wh - 94, 7);
        for (int i = 0; i < 22; ++i) {
            screen.icon(wx + 6, wy + 78 + i * 20, 50 + i);
            screen.text(wx + 26, wy + 80 + i * 20, words(random, 16), 5, i == 3 ? 9 : 7);
        }
        const int tx = wx + 160, ty = wy + 80;
        screen.fill(wx + 150, wy + 72, ww - 150, wh - 94, 1);
        for (int line = 0; line < 24; ++line)
            screen.text(tx, ty + line * 16, words(random, 70 - int(random() % 20)), 5, 1);
        screen.fill(wx, wy + wh - 22, ww, 22, 2);
        screen.text(wx + 8, wy + wh - 17, "Line 25, Column 1", 4, 2);
        int px = 420, py = 300;
        std::vector<std::uint8_t> underPointer = screen.save(px, py, 10, 17);
        screen.pointer(px, py);

        TGIFImage gif;
        gif.AppendFrame(TBitmap(screen.crop(0, 0, Screen::kWidth, Screen::kHeight), 8));
        // Typing goes on below the text; the pointer wanders; a menu opens
        // and closes now and then.
        int line = 24, column = 0;
        std::string typing = words(random, 4000);
        std::vector<std::uint8_t> underMenu;
        const Rect menu { wx + 68, wy + 44, 160, 210 };
        for (int k = 0; k < 240; ++k) {
            Rect dirty;
            if (k % 60 == 30) {
                underMenu = screen.save(menu.x, menu.y, menu.w, menu.h);
                screen.fill(menu.x, menu.y, menu.w, menu.h, 3);
                screen.fill(menu.x + 1, menu.y + 1, menu.w - 2, menu.h - 2, 1);
                for (int i = 0; i < 11; ++i)
                    screen.text(menu.x + 8, menu.y + 6 + i * 18, words(random, 18), 5, i == 2 ? 9 : 1);
                dirty = menu;
            } else if (k % 60 == 40) {
                screen.restore(menu.x, menu.y, menu.w, menu.h, underMenu);
                dirty = menu;
            } else if (k % 3 == 2) {
                const Rect before { px, py, 10, 17 };
                screen.restore(px, py, 10, 17, underPointer);
                px = std::clamp(px + int(random() % 31) - 15, tx, tx + 400);
                py = std::clamp(py + int(random() % 21) - 10, ty, ty + 300);
                underPointer = screen.save(px, py, 10, 17);
                screen.pointer(px, py);
                dirty = before.united({ px, py, 10, 17 });
            } else {
                const int x = tx + column * 7, y = ty + line * 16;
                screen.glyph(x, y, typing[std::size_t(k)], 5, 1);
                screen.fill(x + 7, y, 1, 12, 5); // caret
                dirty = { x, y, 9, 12 };
                if (++column == 70) {
                    column = 0;
                    line = line == 29 ? 24 : line + 1;
                }
            }
            dirty = dirty.clipped();
            gif.AppendFrame(TBitmap(screen.crop(dirty.x, dirty.y, dirty.w, dirty.h), 8));
            gif.Frames(gif.FrameCount() - 1).Left = dirty.x;
            gif.Frames(gif.FrameCount() - 1).Top = dirty.y;
        }
        return makeCase("screencast", gif);
    }();
    static const GifCase &describedScreencast = described(screencast);
    return describedScreencast;
}

const GifCase &cartoonCase()
{
    static const GifCase cartoon = [] {
        // Flat colours: sky, hills, sun, drifting clouds and a bouncing ball.
        QVector<QRgb> palette(256, qRgb(0, 0, 0));
        const QRgb colours[] = { qRgb(120, 190, 240), qRgb(80, 170, 70), qRgb(60, 140, 55),
            qRgb(255, 220, 60), qRgb(255, 255, 255), qRgb(225, 60, 50), qRgb(150, 30, 30), qRgb(40, 40, 40) };
        for (int i = 0; i < 8; ++i)
            palette[i] = colours[i];
        const int width = 320, height = 240;
        TGIFImage gif;
        for (int k = 0; k < 60; ++k) {
            QImage frame(width, height, QImage::Format_Indexed8);
            frame.setColorTable(palette);
            const double ballX = 20 + k * 4.5, ballY = 200 - 150 * std::abs(std::sin(k * 0.18));
            for (int y = 0; y < height; ++y) {
                uchar *row = frame.scanLine(y);
                for (int x = 0; x < width; ++x) {
                    int c = 0;
                    if (y > 170 + 20 * std::sin(x / 50.0))
                        c = y > 200 + 12 * std::sin(x / 23.0 + 1) ? 2 : 1;
                    if (std::hypot(x - 270, y - 40) < 22)
                        c = 3;
                    for (int i = 0; i < 3; ++i) {
                        const double cx = std::fmod(40 + i * 110 + k * (1.5 + i * 0.5), width + 80) - 40;
                        if (std::hypot((x - cx) * 0.6, y - 30 - i * 15) < 14
                            || std::hypot((x - cx - 15) * 0.6, y - 25 - i * 15) < 12)
                            c = 4;
                    }
                    const double d = std::hypot(x - ballX, y - ballY);
                    if (d < 16)
                        c = d > 14 ? 7 : (x - ballX + y - ballY < -8 ? 4 : (x > ballX ? 6 : 5));
                    row[x] = uchar(c);
                }
            }
            gif.AppendFrame(TBitmap(frame, 8));
        }
        return makeCase("cartoon", gif);
    }();
    static const GifCase &describedCartoon = described(cartoon);
    return describedCartoon;
}

} // namespace benchdata
