#include "colorreduction.h"

#include "platform/errors.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <memory>

namespace {

TReductionMethod g_defaultMethod = TReductionMethod::Histogram;

constexpr int kPaletteSize = 256;
constexpr QRgb kGrey = 0xFF808080;

// Colour counting for the histogram method. At most kMaxEntries distinct
// colours are counted; when a picture has more, one low bit is dropped from
// one channel and counting starts again, so every picture fits eventually.
// Colours are kept as 0x00RRGGBB after masking.
class Histogram
{
public:
    static constexpr int kMaxEntries = 2049;
    static constexpr int kHashSlots = 5191; // prime
    static constexpr std::uint16_t kEmptySlot = 0xFFFF;

    std::uint8_t redMask = 255;
    std::uint8_t greenMask = 255;
    std::uint8_t blueMask = 255;

    int count() const { return m_count; }

    void clear()
    {
        m_count = 0;
        m_slots.fill(kEmptySlot);
    }

    std::uint32_t channelMask() const
    {
        return (std::uint32_t(redMask) << 16) | (std::uint32_t(greenMask) << 8) | blueMask;
    }

    // Drops one more low bit from one channel. The red mask decides: below
    // green, green loses a bit; above blue, red does; otherwise blue. From
    // three equal masks that is blue, red, green in turn.
    void shrinkMasks()
    {
        if (redMask < greenMask)
            greenMask = std::uint8_t(greenMask << 1);
        else if (redMask > blueMask)
            redMask = std::uint8_t(redMask << 1);
        else
            blueMask = std::uint8_t(blueMask << 1);
    }

    // Counts every pixel of the picture, bottom row first, left to right (the
    // order decides which of two equally frequent colours comes first).
    // False when more than kMaxEntries masked colours occur.
    bool countPixels(const QImage &rgb)
    {
        const std::uint32_t mask = channelMask();
        const int width = rgb.width();
        std::uint32_t lastColor = 0xFFFFFFFF; // no masked colour has a high byte
        int lastEntry = -1;
        for (int y = rgb.height() - 1; y >= 0; --y) {
            const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                const std::uint32_t color = row[x] & mask;
                if (color == lastColor) {
                    ++m_frequency[std::size_t(lastEntry)];
                    continue;
                }
                const int entry = findOrAdd(color);
                if (entry < 0)
                    return false;
                lastColor = color;
                lastEntry = entry;
            }
        }
        return true;
    }

    // Picks the 256 most frequent colours (ties to the colour counted first),
    // fills the rest of the palette with grey and gives every other colour
    // the palette index of its nearest palette colour.
    QVector<QRgb> buildPalette()
    {
        QVector<QRgb> palette(kPaletteSize, kGrey);
        const int used = std::min(kPaletteSize, m_count);
        for (int i = 0; i < used; ++i) {
            int best = 0;
            std::uint32_t bestFrequency = 0;
            for (int e = 0; e < m_count; ++e) {
                if (m_frequency[std::size_t(e)] > bestFrequency) {
                    bestFrequency = m_frequency[std::size_t(e)];
                    best = e;
                }
            }
            palette[i] = 0xFF000000 | m_color[std::size_t(best)];
            m_paletteIndex[std::size_t(best)] = std::uint8_t(i);
            m_frequency[std::size_t(best)] = 0;
        }
        for (int e = 0; e < m_count; ++e) {
            if (m_frequency[std::size_t(e)] > 0)
                m_paletteIndex[std::size_t(e)] = nearest(palette, m_color[std::size_t(e)]);
        }
        return palette;
    }

    // Writes each pixel's palette index into the 8-bit image.
    void mapPixels(const QImage &rgb, QImage &out) const
    {
        const std::uint32_t mask = channelMask();
        const int width = rgb.width();
        std::uint32_t lastColor = 0xFFFFFFFF;
        std::uint8_t lastIndex = 0;
        for (int y = 0; y < rgb.height(); ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            uchar *dest = out.scanLine(y);
            for (int x = 0; x < width; ++x) {
                const std::uint32_t color = row[x] & mask;
                if (color != lastColor) {
                    lastColor = color;
                    // Every masked colour was counted, so it has an entry.
                    lastIndex = m_paletteIndex[std::size_t(find(color))];
                }
                dest[x] = lastIndex;
            }
        }
    }

private:
    static int hashOf(std::uint32_t color)
    {
        const std::uint32_t r = color >> 16;
        const std::uint32_t g = (color >> 8) & 0xFF;
        const std::uint32_t b = color & 0xFF;
        return int(((r + g) * (g + b) * (b + r)) % kHashSlots);
    }

    // The slot holding the colour, or the empty slot where it belongs.
    int probe(std::uint32_t color) const
    {
        int slot = hashOf(color);
        for (;;) {
            const std::uint16_t entry = m_slots[std::size_t(slot)];
            if (entry == kEmptySlot || m_color[entry] == color)
                return slot;
            if (++slot == kHashSlots)
                slot = 0;
        }
    }

    int find(std::uint32_t color) const
    {
        const std::uint16_t entry = m_slots[std::size_t(probe(color))];
        return entry == kEmptySlot ? 0 : entry;
    }

    int findOrAdd(std::uint32_t color)
    {
        const int slot = probe(color);
        std::uint16_t entry = m_slots[std::size_t(slot)];
        if (entry != kEmptySlot) {
            ++m_frequency[entry];
            return entry;
        }
        if (m_count == kMaxEntries)
            return -1;
        entry = std::uint16_t(m_count++);
        m_slots[std::size_t(slot)] = entry;
        m_color[entry] = color;
        m_frequency[entry] = 1;
        m_paletteIndex[entry] = 0;
        return entry;
    }

    // First palette entry with the smallest squared distance.
    static std::uint8_t nearest(const QVector<QRgb> &palette, std::uint32_t color)
    {
        const int r = int(color >> 16);
        const int g = int((color >> 8) & 0xFF);
        const int b = int(color & 0xFF);
        int best = 0;
        int bestDistance = INT_MAX;
        for (int i = 0; i < palette.size(); ++i) {
            const int dr = qRed(palette[i]) - r;
            const int dg = qGreen(palette[i]) - g;
            const int db = qBlue(palette[i]) - b;
            const int distance = db * db + dg * dg + dr * dr;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        return std::uint8_t(best);
    }

    int m_count = 0;
    std::array<std::uint32_t, kMaxEntries> m_color {};
    std::array<std::uint32_t, kMaxEntries> m_frequency {};
    std::array<std::uint8_t, kMaxEntries> m_paletteIndex {};
    std::array<std::uint16_t, kHashSlots> m_slots {};
};

QImage reduceHistogram(const QImage &rgb)
{
    auto histogram = std::make_unique<Histogram>();
    histogram->clear();
    while (!histogram->countPixels(rgb)) {
        histogram->shrinkMasks();
        histogram->clear();
    }
    QImage out(rgb.size(), QImage::Format_Indexed8);
    out.setColorTable(histogram->buildPalette());
    histogram->mapPixels(rgb, out);
    return out;
}

QImage reduceGray(const QImage &rgb)
{
    QVector<QRgb> palette(kPaletteSize);
    for (int i = 0; i < kPaletteSize; ++i)
        palette[i] = qRgb(i, i, i);
    QImage out(rgb.size(), QImage::Format_Indexed8);
    out.setColorTable(palette);
    const int width = rgb.width();
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        uchar *dest = out.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const QRgb c = row[x];
            dest[x] = uchar((77 * qRed(c) + 150 * qGreen(c) + 29 * qBlue(c)) >> 8);
        }
    }
    return out;
}

} // namespace

TReductionMethod DefaultReductionMethod()
{
    return g_defaultMethod;
}

void SetDefaultReductionMethod(TReductionMethod method)
{
    g_defaultMethod = method;
}

TBitmap ReduceToPalette(const TBitmap &bitmap)
{
    return ReduceToPalette(bitmap, g_defaultMethod);
}

TBitmap ReduceToPalette(const TBitmap &bitmap, TReductionMethod method)
{
    if (bitmap.isEmpty())
        throw EInvalidGraphicOperation(QStringLiteral("Bitmap image is not valid"));
    if (method != TReductionMethod::GrayScale && bitmap.hasPalette() && bitmap.bitsPerPixel() == 8) {
        if (bitmap.palette().size() == kPaletteSize)
            return bitmap;
        TBitmap padded = bitmap;
        QVector<QRgb> table = bitmap.palette();
        table.resize(kPaletteSize, kGrey);
        padded.image().setColorTable(table);
        return padded;
    }

    const QImage rgb = bitmap.toRgb32();
    if (rgb.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Bitmap image is not valid"));
    const QImage out = method == TReductionMethod::GrayScale ? reduceGray(rgb) : reduceHistogram(rgb);
    if (out.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Bitmap image is not valid"));
    return TBitmap(out, 8);
}
