#include "maskedreduction.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <memory>

namespace {

constexpr int kPaletteSize = 256;
constexpr QRgb kGrey = 0xFF808080;

// At most kMaxEntries masked colours are counted; when a picture has more,
// one low bit is dropped from one channel and the whole picture is counted
// again.
class Histogram
{
public:
    static constexpr int kMaxEntries = 2049;
    static constexpr int kHashSlots = 5191; // prime
    static constexpr std::uint16_t kEmptySlot = 0xFFFF;

    std::uint8_t redMask = 255, greenMask = 255, blueMask = 255;

    void clear()
    {
        m_count = 0;
        m_slots.fill(kEmptySlot);
    }

    std::uint32_t channelMask() const
    {
        return (std::uint32_t(redMask) << 16) | (std::uint32_t(greenMask) << 8) | blueMask;
    }

    // The same rule as today's reduction: the red mask decides.
    void shrinkMasks()
    {
        std::uint8_t &mask = redMask < greenMask ? greenMask : redMask > blueMask ? redMask : blueMask;
        mask = std::uint8_t(mask << 1);
    }

    // False when more than kMaxEntries masked colours occur.
    bool countPixels(const QImage &rgb)
    {
        const std::uint32_t mask = channelMask();
        const int width = rgb.width();
        std::uint32_t lastColor = 0xFFFFFFFF;
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

    // The 256 most frequent colours (ties to the colour counted first), the
    // rest grey; every other colour takes its nearest palette colour.
    QVector<QRgb> buildPalette()
    {
        QVector<QRgb> palette(kPaletteSize, kGrey);
        for (int i = 0; i < std::min(kPaletteSize, m_count); ++i) {
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
        for (int e = 0; e < m_count; ++e)
            if (m_frequency[std::size_t(e)] > 0)
                m_paletteIndex[std::size_t(e)] = nearest(palette, m_color[std::size_t(e)]);
        return palette;
    }

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
                    lastIndex = m_paletteIndex[std::size_t(find(color))];
                }
                dest[x] = lastIndex;
            }
        }
    }

private:
    static int hashOf(std::uint32_t color)
    {
        const std::uint32_t r = color >> 16, g = (color >> 8) & 0xFF, b = color & 0xFF;
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

    // Every masked colour was counted, so it has an entry.
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
        const int r = int(color >> 16), g = int((color >> 8) & 0xFF), b = int(color & 0xFF);
        int best = 0, bestDistance = INT_MAX;
        for (int i = 0; i < palette.size(); ++i) {
            const int dr = qRed(palette[i]) - r, dg = qGreen(palette[i]) - g, db = qBlue(palette[i]) - b;
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

} // namespace

QImage maskedReduction(const QImage &rgb)
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
