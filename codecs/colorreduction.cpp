#include "colorreduction.h"

#include "nearestcolour.h"

#include "platform/errors.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <unordered_map>
#include <vector>

namespace {

TReductionMethod g_defaultMethod = TReductionMethod::Histogram;

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
// Which colours win palette places is decided on colours with low bits
// dropped ("masked"). At most kMaxEntries masked colours are told apart; a
// picture with more has one more low bit dropped from one channel until they
// fit: the red mask decides, below green green loses a bit, above blue red
// does, otherwise blue (from three equal masks: blue, red, green in turn).
// The 256 most frequent masked colours win, ties going to the colour met
// first, bottom row first and left to right.
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

    void countPixels(const QImage &rgb)
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

// ---------------------------------------------------------------------------
// Refining the palette. The entries that won places start as the mean
// colours of their pixels; then every counted entry, standing for its pixels
// by its mean colour and count, goes to its nearest palette colour, and each
// palette colour moves to the mean of what went to it, until nothing changes
// (k-means). Palette colours move locally, so each entry only looks at the
// colours that could be nearest around it at the start.

struct Points
{
    int count = 0;
    std::vector<std::array<float, 3>> colour; // mean colour of each entry
    std::vector<float> weight; // its pixels
};

float distance2(const std::array<float, 3> &a, const std::array<float, 3> &b)
{
    const float d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

std::array<int, 3> rounded(const std::array<float, 3> &c)
{
    return { std::clamp(int(std::lround(c[0])), 0, 255), std::clamp(int(std::lround(c[1])), 0, 255),
        std::clamp(int(std::lround(c[2])), 0, 255) };
}

// Refinement rounds at most; few pictures need them all.
constexpr int kRefineRounds = 12;
// The box size (16 units) whose candidate colours an entry looks at.
constexpr int kCandidateLevel = 2;

void refine(const Points &points, std::vector<std::array<float, 3>> &centres)
{
    const auto pointCount = static_cast<std::size_t>(points.count);
    std::vector<std::array<int, 3>> start(centres.size());
    std::transform(centres.begin(), centres.end(), start.begin(), rounded);
    NearestColour nearest(start, kCandidateLevel + 1);
    // Entries in one box share its list of candidates.
    std::vector<std::uint8_t> candidates;
    std::vector<std::uint32_t> first; // each list's candidates start here
    std::vector<std::uint32_t> listOf(pointCount);
    std::unordered_map<std::uint32_t, std::uint32_t> known; // box to list
    for (std::size_t i = 0; i < pointCount; ++i) {
        const std::array<int, 3> at = rounded(points.colour[i]);
        const std::uint32_t box
            = nearest.box(std::uint32_t(qRgb(at[0], at[1], at[2])) & 0xFFFFFF, kCandidateLevel);
        const auto [place, added] = known.emplace(box, std::uint32_t(first.size()));
        if (added) {
            first.push_back(std::uint32_t(candidates.size()));
            const std::vector<std::uint8_t> indexes = nearest.candidates(box);
            candidates.insert(candidates.end(), indexes.begin(), indexes.end());
        }
        listOf[i] = place->second;
    }
    const std::size_t lists = first.size();
    first.push_back(std::uint32_t(candidates.size()));

    // Each entry keeps an upper bound on the distance to its palette colour
    // and a lower bound on the distance to any other candidate; while the
    // one stays below the other as the colours move, it is not searched.
    std::vector<int> owner(pointCount, 0);
    std::vector<float> upper(pointCount), lower(pointCount);
    auto search = [&](std::size_t i) {
        float best = INFINITY, second = INFINITY;
        int index = 0;
        for (std::uint32_t k = first[listOf[i]]; k < first[listOf[i] + 1]; ++k) {
            // Without branches: which colour is nearest is anyone's guess.
            const float d = distance2(points.colour[i], centres[candidates[k]]);
            index = d < best ? candidates[k] : index;
            second = std::min(second, std::max(best, d));
            best = std::min(best, d);
        }
        upper[i] = std::sqrt(best);
        lower[i] = std::sqrt(second);
        return index;
    };
    // Weighted sums of the entries going to each colour, kept up to date as
    // entries change hands.
    std::vector<std::array<double, 4>> sums(centres.size(), { 0, 0, 0, 0 });
    auto move = [&](std::size_t i, int from, int to) {
        const float w = points.weight[i];
        for (int k = 0; k < 3; ++k) {
            const double part = double(points.colour[i][std::size_t(k)]) * w;
            if (from >= 0)
                sums[std::size_t(from)][std::size_t(k)] -= part;
            sums[std::size_t(to)][std::size_t(k)] += part;
        }
        if (from >= 0)
            sums[std::size_t(from)][3] -= w;
        sums[std::size_t(to)][3] += w;
    };
    for (std::size_t i = 0; i < pointCount; ++i) {
        owner[i] = search(i);
        move(i, -1, owner[i]);
    }
    // The lists each colour is in (from inFirst[j] to inFirst[j + 1] in
    // `in`): after the first rounds few colours move, and only their lists
    // need a new farthest move.
    std::vector<std::uint32_t> inFirst(centres.size() + 1, 0), in(candidates.size());
    for (const std::uint8_t c : candidates)
        ++inFirst[c + 1u];
    std::partial_sum(inFirst.begin(), inFirst.end(), inFirst.begin());
    std::vector<std::uint32_t> next(inFirst.begin(), inFirst.end() - 1);
    for (std::uint32_t l = 0; l < lists; ++l)
        for (std::uint32_t k = first[l]; k < first[l + 1]; ++k)
            in[next[candidates[k]]++] = l;
    std::vector<float> moved(centres.size());
    std::vector<float> farthest(lists); // the farthest move among a list's colours
    for (int round = 0; round < kRefineRounds; ++round) {
        std::fill(farthest.begin(), farthest.end(), 0.0f);
        for (std::size_t j = 0; j < centres.size(); ++j) {
            const auto &s = sums[j];
            const std::array<float, 3> before = centres[j];
            if (s[3] > 0.5)
                centres[j] = { float(s[0] / s[3]), float(s[1] / s[3]), float(s[2] / s[3]) };
            moved[j] = std::sqrt(distance2(before, centres[j]));
            if (moved[j] > 0)
                for (std::uint32_t k = inFirst[j]; k < inFirst[j + 1]; ++k)
                    farthest[in[k]] = std::max(farthest[in[k]], moved[j]);
        }
        bool changed = false;
        for (std::size_t i = 0; i < pointCount; ++i) {
            const int a = owner[i];
            upper[i] += moved[std::size_t(a)];
            lower[i] -= farthest[listOf[i]];
            if (upper[i] <= lower[i])
                continue;
            upper[i] = std::sqrt(distance2(points.colour[i], centres[std::size_t(a)]));
            if (upper[i] <= lower[i])
                continue;
            const int index = search(i);
            if (index != a) {
                move(i, a, index);
                owner[i] = index;
                changed = true;
            }
        }
        if (!changed)
            break;
    }
    for (std::size_t j = 0; j < centres.size(); ++j) {
        const auto &s = sums[j];
        if (s[3] > 0.5)
            centres[j] = { float(s[0] / s[3]), float(s[1] / s[3]), float(s[2] / s[3]) };
    }
}

// Maps every pixel to its nearest palette colour and sums the true colours
// that went to each palette entry.
void mapPixels(const QImage &rgb, NearestColour &nearest, QImage &out,
    std::vector<std::array<std::uint64_t, 3>> &sums, std::vector<std::uint32_t> &counts)
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

QImage reduceHistogram(const QImage &rgb)
{
    auto count = std::make_unique<ColourCount>();
    count->countPixels(rgb);
    const std::vector<int> order = count->byFrequency();
    const int used = std::min(kPaletteSize, count->entries);
    QVector<QRgb> palette(kPaletteSize, kGrey);
    QImage out(rgb.size(), QImage::Format_Indexed8);

    if (count->unmasked() && count->entries <= kPaletteSize) {
        // Every colour has a place of its own: the picture stays exact.
        std::vector<std::uint8_t> index(static_cast<std::size_t>(count->entries));
        for (int i = 0; i < used; ++i) {
            const auto entry = std::size_t(order[std::size_t(i)]);
            palette[i] = 0xFF000000 | count->colour[entry];
            index[entry] = std::uint8_t(i);
        }
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
                    value = index[std::size_t(count->find(pixel))];
                }
                dest[x] = value;
            }
        }
        return out;
    }

    Points points;
    points.count = count->entries;
    points.colour.resize(static_cast<std::size_t>(points.count));
    points.weight.resize(static_cast<std::size_t>(points.count));
    for (int e = 0; e < points.count; ++e) {
        const double f = count->frequency[std::size_t(e)];
        const auto &s = count->sum[std::size_t(e)];
        points.colour[std::size_t(e)]
            = { float(double(s[0]) / f), float(double(s[1]) / f), float(double(s[2]) / f) };
        points.weight[std::size_t(e)] = float(f);
    }
    std::vector<std::array<float, 3>> centres(static_cast<std::size_t>(used));
    for (int i = 0; i < used; ++i)
        centres[std::size_t(i)] = points.colour[std::size_t(order[std::size_t(i)])];
    refine(points, centres);
    std::vector<std::array<int, 3>> colours(centres.size());
    std::transform(centres.begin(), centres.end(), colours.begin(), rounded);
    for (int i = 0; i < used; ++i)
        palette[i] = qRgb(colours[std::size_t(i)][0], colours[std::size_t(i)][1], colours[std::size_t(i)][2]);
    auto toRgb = [](double r, double g, double b) {
        const std::array<int, 3> c = rounded({ float(r), float(g), float(b) });
        return qRgb(c[0], c[1], c[2]);
    };

    // Each pixel goes to its nearest colour; each colour then becomes the
    // mean of the pixels that went to it.
    std::vector<std::array<std::uint64_t, 3>> sums(kPaletteSize, { 0, 0, 0 });
    std::vector<std::uint32_t> counts(kPaletteSize, 0);
    NearestColour nearest(colours);
    mapPixels(rgb, nearest, out, sums, counts);
    for (int i = 0; i < used; ++i) {
        const auto &s = sums[std::size_t(i)];
        const double n = counts[std::size_t(i)];
        if (n > 0)
            palette[i] = toRgb(double(s[0]) / n, double(s[1]) / n, double(s[2]) / n);
    }
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
