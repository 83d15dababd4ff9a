#include "colorreduction.h"

#include "nearestcolour.h"
#include "palettedesign.h"
#include "platform/errors.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

namespace {

constexpr int kPaletteSize = 256;
constexpr QRgb kGrey = 0xFF808080;

// Colour sums for many pixels: red, green and blue packed in one 64-bit word
// of 21-bit lanes, so each pixel costs one addition. A lane holds the sum of
// kPackedPixels pixels without overflowing, so the packed sums are moved into
// full ones at least that often.
constexpr int kPackedPixels = 8192;

std::uint64_t packed(std::uint32_t rgb)
{
    return (rgb & 0xFF) | (std::uint64_t(rgb & 0xFF00) << 13) | (std::uint64_t(rgb & 0xFF0000) << 26);
}

// Moves packed sums into full ones (red, green, blue) and clears them.
void unpack(std::uint64_t &packedSum, std::array<std::uint64_t, 3> &sum)
{
    sum[0] += packedSum >> 42;
    sum[1] += (packedSum >> 21) & 0x1FFFFF;
    sum[2] += packedSum & 0x1FFFFF;
    packedSum = 0;
}

// ---------------------------------------------------------------------------
// The palette is chosen from colours with low bits dropped ("masked"). At
// most kMaxEntries masked colours are told apart; a picture with more has
// one more low bit dropped from one channel until they fit: the red mask
// decides, below green green loses a bit, above blue red does, otherwise
// blue (from three equal masks: blue, red, green in turn). A picture that
// keeps its colours exactly lists them from the most frequent down, ties
// going to the colour met first, bottom row first and left to right.
//
// The picture is counted once. When the table overflows, the masks shrink and
// the entries counted so far merge under the new masks in the order they were
// made, so each merged entry keeps the first meeting of any of its colours:
// the same counts and order as counting the whole picture again under the
// final masks. Each entry also sums its pixels' true colours.
class ColourCount
{
public:
    static constexpr int kMaxEntries = 2049;

    std::uint8_t redMask = 255;
    std::uint8_t greenMask = 255;
    std::uint8_t blueMask = 255;
    int entries = 0;
    // Per entry, in the order made: masked colour 0x00RRGGBB, pixels, and
    // the sums of their red, green and blue.
    std::array<std::uint32_t, kMaxEntries> colour;
    std::array<std::uint32_t, kMaxEntries> frequency;
    std::array<std::array<std::uint64_t, 3>, kMaxEntries> sum;

    std::uint32_t mask() const
    {
        return (std::uint32_t(redMask) << 16) | (std::uint32_t(greenMask) << 8) | blueMask;
    }
    bool unmasked() const { return mask() == 0xFFFFFF; }

    // Counts every pixel but those of colour `skip` (0x00RRGGBB, or any
    // value above 0xFFFFFF to count them all).
    void countPixels(const QImage &rgb, std::uint32_t skip)
    {
        clear();
        const int width = rgb.width();
        std::uint32_t m = mask();
        int budget = kPackedPixels; // pixels until the packed sums must be moved
        for (int y = rgb.height() - 1; y >= 0; --y) {
            const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            for (int x = 0; x < width;) {
                const int stop = std::min(width, x + budget);
                budget -= stop - x;
                for (; x < stop; ++x) {
                    const std::uint32_t pixel = row[x] & 0xFFFFFF;
                    if (pixel == skip)
                        continue;
                    const std::uint32_t masked = pixel & m;
                    const std::uint32_t slot = slotOf(masked);
                    std::uint32_t entry = m_slots[slot];
                    if (entry == kEmpty || colour[entry] != masked) {
                        // Most colours are in the first slot or the next.
                        entry = m_slots[(slot + 1) & (kSlots - 1)];
                        if (entry == kEmpty || colour[entry] != masked) {
                            entry = std::uint32_t(add(pixel));
                            m = mask();
                        }
                    }
                    m_packed[entry] += packed(pixel);
                    ++frequency[entry];
                }
                if (budget == 0) {
                    unpackAll();
                    budget = kPackedPixels;
                }
            }
        }
        unpackAll();
    }

    // The entry of a masked colour that was counted.
    int find(std::uint32_t masked) const
    {
        for (std::uint32_t s = slotOf(masked);; s = (s + 1) & (kSlots - 1)) {
            const std::uint16_t entry = m_slots[s];
            if (entry == kEmpty || colour[entry] == masked)
                return entry == kEmpty ? 0 : entry;
        }
    }

    // Entry numbers from the most frequent down, equal counts in the order
    // made.
    std::vector<int> byFrequency() const
    {
        std::vector<int> order(static_cast<std::size_t>(entries));
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
            [this](int a, int b) { return frequency[std::size_t(a)] > frequency[std::size_t(b)]; });
        return order;
    }

private:
    // A power of two at least eight times kMaxEntries, so probes are short.
    static constexpr int kSlotBits = 14;
    static constexpr std::uint32_t kSlots = 1u << kSlotBits;
    static constexpr std::uint16_t kEmpty = 0xFFFF;

    static std::uint32_t slotOf(std::uint32_t masked) { return (masked * 0x9E3779B1u) >> (32 - kSlotBits); }

    void clear()
    {
        entries = 0;
        m_slots.fill(kEmpty);
    }

    void unpackAll()
    {
        for (int e = 0; e < entries; ++e)
            unpack(m_packed[std::size_t(e)], sum[std::size_t(e)]);
    }

    // The entry of a colour not in the first two slots it hashes to: found
    // further on, or added, after shrinking the masks as often as needed.
    // Rarely needed, so kept out of the counting loop.
    [[gnu::noinline]] int add(std::uint32_t pixel)
    {
        for (;;) {
            const int entry = findOrAdd(pixel & mask());
            if (entry >= 0)
                return entry;
            unpackAll();
            shrinkAndMerge();
        }
    }

    int findOrAdd(std::uint32_t masked)
    {
        std::uint32_t s = slotOf(masked);
        for (;; s = (s + 1) & (kSlots - 1)) {
            const std::uint16_t entry = m_slots[s];
            if (entry == kEmpty)
                break;
            if (colour[entry] == masked)
                return entry;
        }
        if (entries == kMaxEntries)
            return -1;
        const int entry = entries++;
        m_slots[s] = std::uint16_t(entry);
        colour[std::size_t(entry)] = masked;
        frequency[std::size_t(entry)] = 0;
        sum[std::size_t(entry)] = { 0, 0, 0 };
        m_packed[std::size_t(entry)] = 0;
        return entry;
    }

    void shrinkAndMerge()
    {
        if (redMask < greenMask)
            greenMask = std::uint8_t(greenMask << 1);
        else if (redMask > blueMask)
            redMask = std::uint8_t(redMask << 1);
        else
            blueMask = std::uint8_t(blueMask << 1);
        // Merged entries land at or before their old place, so the merge
        // works in place.
        const std::uint32_t m = mask();
        const int old = entries;
        clear();
        for (int i = 0; i < old; ++i) {
            const std::uint32_t f = frequency[std::size_t(i)];
            const auto s = sum[std::size_t(i)];
            const auto entry = std::size_t(findOrAdd(colour[std::size_t(i)] & m));
            frequency[entry] += f;
            for (int k = 0; k < 3; ++k)
                sum[entry][std::size_t(k)] += s[std::size_t(k)];
        }
    }

    std::array<std::uint16_t, kSlots> m_slots;
    std::array<std::uint64_t, kMaxEntries> m_packed; // sums not yet moved into `sum`
};

// No colour kept: a value no pixel's 0x00RRGGBB takes.
constexpr std::uint32_t kNoKeep = 0xFFFFFFFF;

// Maps every pixel to its nearest palette colour, those of colour `keep` to
// `keepIndex` instead, and sums the true colours that went to each palette
// entry.
void mapPixels(const QImage &rgb, NearestColour &nearest, std::uint32_t keep, std::uint8_t keepIndex,
    QImage &out, std::vector<std::array<std::uint64_t, 3>> &sums, std::vector<std::uint32_t> &counts)
{
    std::array<std::uint64_t, kPaletteSize> packedSums {};
    const int width = rgb.width();
    int budget = kPackedPixels;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(rgb.constScanLine(y));
        uchar *dest = out.scanLine(y);
        nearest.map(row, dest, width);
        for (int x = 0; x < width;) {
            const int stop = std::min(width, x + budget);
            budget -= stop - x;
            for (; x < stop; ++x) {
                if ((row[x] & 0xFFFFFF) == keep)
                    dest[x] = keepIndex;
                packedSums[dest[x]] += packed(row[x]);
                ++counts[dest[x]];
            }
            if (budget == 0) {
                for (std::size_t i = 0; i < packedSums.size(); ++i)
                    unpack(packedSums[i], sums[i]);
                budget = kPackedPixels;
            }
        }
    }
    for (std::size_t i = 0; i < packedSums.size(); ++i)
        unpack(packedSums[i], sums[i]);
}

// A colour one level off `colour` in the channel and direction that take it
// least far from the mean it was rounded from.
QRgb nudged(QRgb colour, const std::array<double, 3> &mean)
{
    std::array<int, 3> c { qRed(colour), qGreen(colour), qBlue(colour) };
    std::array<int, 3> best = c;
    double least = INFINITY;
    for (std::size_t k = 0; k < 3; ++k)
        for (const int step : { -1, 1 }) {
            const int v = c[k] + step;
            const double cost = (v - mean[k]) * (v - mean[k]) - (c[k] - mean[k]) * (c[k] - mean[k]);
            if (v >= 0 && v <= 255 && cost < least) {
                least = cost;
                best = c;
                best[k] = v;
            }
        }
    return qRgb(best[0], best[1], best[2]);
}

// At most `colours` (2..256) colours; the pixels of colour `keep`
// (0x00RRGGBB, or kNoKeep) get an entry of their own after the others.
QImage reduceHistogram(const QImage &rgb, int colours, std::uint32_t keep)
{
    auto count = std::make_unique<ColourCount>();
    count->countPixels(rgb, keep);
    const int room = keep == kNoKeep ? colours : colours - 1; // entries for the other colours
    QVector<QRgb> palette(kPaletteSize, kGrey);
    QImage out(rgb.size(), QImage::Format_Indexed8);

    if (count->unmasked() && count->entries <= room) {
        // Every colour has a place of its own, the most frequent first: the
        // picture stays exact.
        const std::vector<int> order = count->byFrequency();
        const int used = count->entries;
        std::vector<std::uint8_t> index(static_cast<std::size_t>(used));
        for (int i = 0; i < used; ++i) {
            const auto entry = std::size_t(order[std::size_t(i)]);
            palette[i] = 0xFF000000 | count->colour[entry];
            index[entry] = std::uint8_t(i);
        }
        if (keep != kNoKeep)
            palette[used] = 0xFF000000 | keep;
        out.setColorTable(palette);
        for (int y = 0; y < rgb.height(); ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            uchar *dest = out.scanLine(y);
            std::uint32_t last = 0xFFFFFFFF;
            std::uint8_t value = 0;
            for (int x = 0; x < rgb.width(); ++x) {
                const std::uint32_t pixel = row[x] & 0xFFFFFF;
                if (pixel != last) {
                    last = pixel;
                    value = pixel == keep ? std::uint8_t(used) : index[std::size_t(count->find(pixel))];
                }
                dest[x] = value;
            }
        }
        return out;
    }

    WeightedColours points;
    points.colour.resize(static_cast<std::size_t>(count->entries));
    points.weight.resize(static_cast<std::size_t>(count->entries));
    for (std::size_t e = 0; e < points.size(); ++e) {
        const double f = count->frequency[e];
        const auto &s = count->sum[e];
        points.colour[e] = { float(double(s[0]) / f), float(double(s[1]) / f), float(double(s[2]) / f) };
        points.weight[e] = float(f);
    }
    const std::vector<std::array<int, 3>> chosen = DesignPalette(points, room);
    const int used = int(chosen.size());
    for (int i = 0; i < used; ++i)
        palette[i] = qRgb(chosen[std::size_t(i)][0], chosen[std::size_t(i)][1], chosen[std::size_t(i)][2]);

    // Each pixel goes to its nearest colour; each colour then becomes the
    // mean of the pixels that went to it. The kept colour's entry follows,
    // and no other entry may look like it.
    std::vector<std::array<std::uint64_t, 3>> sums(kPaletteSize, { 0, 0, 0 });
    std::vector<std::uint32_t> counts(kPaletteSize, 0);
    NearestColour nearest(chosen);
    mapPixels(rgb, nearest, keep, std::uint8_t(used), out, sums, counts);
    for (int i = 0; i < used; ++i) {
        const auto &s = sums[std::size_t(i)];
        const double n = counts[std::size_t(i)];
        if (n == 0)
            continue;
        const std::array<double, 3> mean { double(s[0]) / n, double(s[1]) / n, double(s[2]) / n };
        palette[i] = qRgb(int(std::lround(mean[0])), int(std::lround(mean[1])), int(std::lround(mean[2])));
        if ((palette[i] & 0xFFFFFF) == keep)
            palette[i] = nudged(palette[i], mean);
    }
    if (keep != kNoKeep)
        palette[used] = 0xFF000000 | keep;
    out.setColorTable(palette);
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
    const QImage out = method == TReductionMethod::GrayScale ? reduceGray(rgb)
                                                             : reduceHistogram(rgb, kPaletteSize, kNoKeep);
    if (out.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Bitmap image is not valid"));
    return TBitmap(out, 8);
}

TBitmap ReduceColours(const TBitmap &bitmap, int colours, TColor keep)
{
    if (bitmap.isEmpty())
        throw EInvalidGraphicOperation(QStringLiteral("Bitmap image is not valid"));
    const QImage rgb = bitmap.toRgb32();
    if (rgb.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Bitmap image is not valid"));
    const std::uint32_t kept = keep == clNone ? kNoKeep : toQRgb(keep) & 0xFFFFFF;
    const QImage out = reduceHistogram(rgb, std::clamp(colours, 2, kPaletteSize), kept);
    if (out.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Bitmap image is not valid"));
    return TBitmap(out, 8);
}
