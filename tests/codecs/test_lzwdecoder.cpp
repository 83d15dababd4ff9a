// The LZW decoder against a plain chain-walking decoder written here from the
// algorithm's description, on many random code streams: well-formed ones and
// damaged ones (codes beyond the table, missing and repeated clear codes,
// code sizes below and above the colour depth, self-referring entries,
// streams that run out).
#include "codecs/lzwdecoder.h"
#include "platform/errors.h"

#include <QRandomGenerator>

#include <vector>

#include <gtest/gtest.h>

namespace {

enum class RefStatus { Complete, Corrupt, EndOfData };

struct RefResult
{
    RefStatus status;
    std::vector<std::uint8_t> pixels; // width * height, display order
};

// Straight from the algorithm: prefix/suffix tables, a stack, one pixel at a
// time into rows in display or interlace order. Codes below the clear code
// are literals (their value cut to the colour depth); the first code of a
// table adds no entry; a clear code always resets.
RefResult referenceDecode(
    const std::vector<int> &codes, int m, int depth, int width, int height, bool interlaced)
{
    RefResult r { RefStatus::Complete, std::vector<std::uint8_t>(std::size_t(width * height), 0) };
    const int C = 1 << m, mask = (1 << depth) - 1;
    std::vector<int> prefix(4096, 0), suffix(4096, 0);
    int next = C + 2, widthBits = m + 1, previous = -1, first = 0;
    bool full = false;
    int x = 0, y = 0, pass = 0;
    bool done = false;
    auto put = [&](int v) {
        if (done)
            return;
        r.pixels[std::size_t(y * width + x)] = std::uint8_t(v);
        if (++x == width) {
            x = 0;
            if (!interlaced) {
                ++y;
            } else {
                static const int start[4] = { 0, 4, 2, 1 }, step[4] = { 8, 8, 4, 2 };
                y += step[pass];
                while (y >= height && pass < 3)
                    y = start[++pass];
            }
            if (y >= height)
                done = true;
        }
    };
    std::size_t i = 0;
    auto take = [&]() { return i < codes.size() ? codes[i++] : -1; };
    while (!done) {
        int code = take();
        if (code < 0) {
            r.status = RefStatus::EndOfData;
            return r;
        }
        if (code == C + 1)
            return r;
        if (code == C) {
            widthBits = m + 1;
            next = C + 2;
            full = false;
            previous = -1;
            continue;
        }
        if (previous < 0) {
            if (code > C + 1) {
                r.status = RefStatus::Corrupt;
                return r;
            }
            first = code & mask;
            put(first);
            previous = code;
            continue;
        }
        const int incoming = code;
        std::vector<int> stack;
        if (code >= next) {
            stack.push_back(first);
            code = previous;
        }
        while (code >= C) {
            if (stack.size() >= 4096) {
                r.status = RefStatus::Corrupt;
                return r;
            }
            stack.push_back(suffix[std::size_t(code)]);
            code = prefix[std::size_t(code)];
        }
        if (stack.size() >= 4096) {
            r.status = RefStatus::Corrupt;
            return r;
        }
        first = code & mask;
        stack.push_back(first);
        while (!stack.empty()) {
            put(stack.back());
            stack.pop_back();
        }
        if (!full) {
            prefix[std::size_t(next)] = previous;
            suffix[std::size_t(next)] = first;
            ++next;
            if (next == (1 << widthBits)) {
                if (widthBits == 12)
                    full = true;
                else
                    ++widthBits;
            }
        }
        previous = incoming;
    }
    return r;
}

// Packs codes at the widths the decoder reads them (same table growth);
// codes too wide for their place are cut to the width, as the decoder sees them.
QByteArray pack(std::vector<int> &codes, int m)
{
    const int C = 1 << m;
    int next = C + 2, widthBits = m + 1;
    bool full = false, afterClear = true; // the first code of a table adds no entry
    QByteArray bits;
    qint64 bitCount = 0;
    for (int &code : codes) {
        code &= (1 << widthBits) - 1;
        for (int b = 0; b < widthBits; ++b) {
            if (bitCount % 8 == 0)
                bits.append('\0');
            if (code & (1 << b))
                bits[bits.size() - 1] = char(bits.back() | (1 << (bitCount % 8)));
            ++bitCount;
        }
        if (code == C) {
            widthBits = m + 1;
            next = C + 2;
            full = false;
            afterClear = true;
        } else if (afterClear) {
            afterClear = false;
        } else if (!full) {
            if (++next == (1 << widthBits)) {
                if (widthBits == 12)
                    full = true;
                else
                    ++widthBits;
            }
        }
    }
    QByteArray out(1, char(m));
    for (qsizetype k = 0; k < bits.size(); k += 255) {
        const qsizetype n = std::min<qsizetype>(255, bits.size() - k);
        out.append(char(n)).append(bits.mid(k, n));
    }
    return out.append('\0');
}

} // namespace

TEST(LzwDecoder, MatchesChainWalkingDecoderOnRandomStreams)
{
    QRandomGenerator rng(20261207);
    auto decoder = std::make_unique<GifLzwDecoder>(); // one decoder for every stream, as an image uses it
    for (int round = 0; round < 3000; ++round) {
        const int m = rng.bounded(2, 10);
        const int depth = rng.bounded(1, 9); // below, equal to or above the code size
        // Small pictures, wide ones, and now and then one large enough to be
        // decoded straight into padded or interlaced rows.
        const int size = rng.bounded(20);
        const int width = size == 0 ? rng.bounded(260, 600)
            : size < 5              ? rng.bounded(40, 300)
                                    : rng.bounded(1, 40);
        const int height = size == 0 ? rng.bounded(250, 300) : rng.bounded(1, 30);
        const qsizetype stride = width + rng.bounded(4);
        const bool interlaced = rng.bounded(2);
        const int C = 1 << m;
        // Mostly sensible codes, with damage mixed in at a chosen rate: codes
        // beyond the table, runs of clear codes, strings right after a clear.
        const int damage = rng.bounded(4);
        std::vector<int> codes;
        if (rng.bounded(5) != 0)
            codes.push_back(C);
        int next = C + 2;
        bool tableStart = true;
        const int count = rng.bounded(1, size == 0 ? 30000 : 6000);
        for (int k = 0; k < count; ++k) {
            int code;
            const int pick = rng.bounded(100);
            if (damage > 0 && pick < damage * 3)
                code = rng.bounded(2) ? rng.bounded(4096) : std::min(next + rng.bounded(1, 4), 4095);
            else if (pick < 30 || tableStart)
                code = rng.bounded(C);
            else if (pick < 32)
                code = C;
            else if (pick < 40)
                code = next; // the string being defined
            else
                code = rng.bounded(C + 2, std::max(C + 3, next + 1));
            if (code == C + 1 && rng.bounded(50) != 0)
                code = 0;
            codes.push_back(code);
            if (code == C) {
                next = C + 2;
                tableStart = true;
            } else if (tableStart) {
                tableStart = false;
            } else {
                next = std::min(next + 1, 4096);
            }
        }
        if (rng.bounded(3) != 0)
            codes.push_back(C + 1);

        const QByteArray data = pack(codes, m);
        const RefResult want = referenceDecode(codes, m, depth, width, height, interlaced);
        // The rows start as garbage: the decoder writes every byte.
        std::vector<std::uint8_t> rows(std::size_t(stride * height), 0xA5);
        const auto status = decoder->decode(data, depth, rows.data(), stride, width, height, interlaced);
        std::vector<std::uint8_t> pixels, padding;
        for (int y = 0; y < height; ++y) {
            const auto row = rows.begin() + y * stride;
            pixels.insert(pixels.end(), row, row + width);
            padding.insert(padding.end(), row + width, row + stride);
        }
        ASSERT_EQ(int(status), int(want.status)) << "round " << round;
        ASSERT_EQ(pixels, want.pixels) << "round " << round;
        ASSERT_EQ(padding, std::vector<std::uint8_t>(padding.size(), 0)) << "round " << round;
    }
}
