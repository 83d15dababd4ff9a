#include "lzwencoder.h"

#include "platform/errors.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace {

// The dictionary: an open-addressing table probed linearly, at most 1/16
// full, so a probe rarely meets another string. Each slot packs one record,
// (code << 20) | (prefix code << 8) | suffix pixel, so a probe reads one
// word. Which slots are in use is kept apart, a bit a slot: those 8 KiB stay
// in the fastest cache, so most pixels learn whether their string is new
// before the slot itself (in the slower cache) arrives, and a wrong guess of
// the processor's on that costs less. Emptying the table clears the bits.
//
// A string's slot comes from a running multiplicative hash of its pixels.
// The hash chain never waits for a table read, so the probe of the next
// pixel can start while the current one is still being compared. The codes
// written do not depend on the hash, only the speed does.
constexpr int kTableBits = 16;
constexpr std::uint32_t kHashSlots = 1u << kTableBits;
constexpr std::uint32_t kMul = 0x9E3779B1;
constexpr std::uint32_t kKeyMask = 0xFFFFF;
// The table starts again when this code has been assigned, so codes stay
// within 12 bits.
constexpr std::uint32_t kLastCode = 4094;
constexpr int kMaxSubBlock = 255;

constexpr std::uint32_t startHash(std::uint32_t pixel)
{
    return (pixel + 1) * kMul;
}

void storeLittleEndian(std::uint8_t *out, std::uint64_t value)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &value, sizeof value);
    } else {
        for (int i = 0; i < 8; ++i)
            out[i] = std::uint8_t(value >> (8 * i));
    }
}

} // namespace

struct TLZWEncoder::State
{
    // Between encodings every slot is empty; a slot not in use holds
    // whatever it held last.
    std::array<std::uint32_t, kHashSlots> table;
    std::array<std::uint64_t, kHashSlots / 64> inUse; // a bit a slot
    bool clean = false; // every slot empty (not so after an encoding was cancelled)

    // Packed codes, kept for the next picture. Not a vector: growing one
    // would clear the new room first, which is written anyway.
    std::unique_ptr<std::uint8_t[]> stream;
    std::size_t streamSize = 0;

    std::vector<std::uint8_t> maskedRow; // a row's values cut to the pixel depth

    // Room for `size` bytes and 8 more (codes are stored 8 bytes at a time),
    // keeping the first `used` bytes.
    std::uint8_t *reserve(std::size_t used, std::size_t size)
    {
        if (size + 8 > streamSize) {
            const std::size_t grown = std::max(size + 8, streamSize * 2);
            auto bigger = std::make_unique_for_overwrite<std::uint8_t[]>(grown);
            if (used > 0)
                std::memcpy(bigger.get(), stream.get(), used);
            stream = std::move(bigger);
            streamSize = grown;
        }
        return stream.get();
    }

    void empty() { inUse.fill(0); }
};

// The state is made on the first encoding, and left uninitialised until then.
TLZWEncoder::TLZWEncoder() = default;
TLZWEncoder::~TLZWEncoder() = default;

QByteArray TLZWEncoder::Encode(
    const QImage &indexes, int bitsPerPixel, bool interlaced, const RowProgress &progress)
{
    if (indexes.depth() != 8)
        throw EInvalidGraphicOperation(QStringLiteral("GIF image encoding error"));
    return Encode(indexes.constBits(), indexes.bytesPerLine(), indexes.width(), indexes.height(),
        bitsPerPixel, interlaced, progress);
}

QByteArray TLZWEncoder::Encode(const std::uint8_t *pixels, qsizetype stride, int width, int height,
    int bitsPerPixel, bool interlaced, const RowProgress &progress)
{
    if (bitsPerPixel < 1 || bitsPerPixel > 8 || width < 0 || height < 0)
        throw EInvalidGraphicOperation(QStringLiteral("GIF image encoding error"));

    if (!m_state)
        m_state.reset(new State);
    State &state = *m_state;
    if (!state.clean)
        state.empty();
    state.clean = false; // until this encoding ends normally
    if (bitsPerPixel < 8)
        state.maskedRow.resize(std::size_t(width));

    const int initialWidth = initialCodeWidth(bitsPerPixel);
    const std::uint32_t clearCode = 1u << (initialWidth - 1);
    const std::uint32_t endCode = clearCode + 1;
    const std::uint32_t pixelMask = (1u << bitsPerPixel) - 1;

    // The codes go into one continuous bit stream first (room checked once
    // per row); it is cut into sub-blocks at the end.
    std::uint8_t *stream = state.reserve(0, std::size_t(width) * 2 + 64);
    std::uint8_t *out = stream;
    std::uint64_t bitBuffer = 0; // fewer than 8 bits wait here between codes
    int bitCount = 0;
    int codeWidth = initialWidth;

    // Codes are packed least significant bit first. Every code stores 8
    // bytes and keeps the complete ones: no branch on whether a byte is full.
    auto putCode = [&](std::uint32_t code) {
        bitBuffer |= std::uint64_t(code) << bitCount;
        bitCount += codeWidth;
        storeLittleEndian(out, bitBuffer);
        out += bitCount >> 3;
        bitBuffer >>= bitCount & ~7;
        bitCount &= 7;
    };

    std::uint32_t lastCode = endCode;
    // The next code at which the width grows or the table starts again.
    std::uint32_t nextEvent = 1u << initialWidth;
    putCode(clearCode);

    std::uint32_t current = 0; // code of the string matched so far
    std::uint32_t hash = 0; // running hash of that string
    bool pending = false; // a string has been started

    // Interlaced pictures are stored in four passes: every 8th row from 0,
    // every 8th from 4, every 4th from 2, every 2nd from 1.
    static constexpr int kPassStart[4] = { 0, 4, 2, 1 };
    static constexpr int kPassStep[4] = { 8, 8, 4, 2 };
    const int passes = interlaced ? 4 : 1;
    int rowsDone = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const int step = interlaced ? kPassStep[pass] : 1;
        for (int y = interlaced ? kPassStart[pass] : 0; y < height; y += step) {
            const std::uint8_t *p = pixels + qsizetype(y) * stride;
            if (bitsPerPixel < 8) {
                std::transform(p, p + width, state.maskedRow.begin(),
                    [pixelMask](std::uint8_t value) { return std::uint8_t(value & pixelMask); });
                p = state.maskedRow.data();
            }
            const std::uint8_t *const end = p + width;
            // Each pixel adds at most one code, a table reset two more: 2
            // bytes a pixel is ample.
            const std::size_t used = std::size_t(out - stream);
            stream = state.reserve(used, used + std::size_t(width) * 2 + 64);
            out = stream + used;
            if (!pending && p < end) {
                pending = true;
                current = *p++;
                hash = startHash(current);
            }
            while (p < end) {
                const std::uint32_t pixel = *p++;
                hash = (hash ^ pixel) * kMul;
                const std::uint32_t key = (current << 8) | pixel;
                std::uint32_t slot = hash >> (32 - kTableBits);
                bool found = false;
                while ((state.inUse[slot >> 6] >> (slot & 63)) & 1) {
                    const std::uint32_t record = state.table[slot];
                    if ((record & kKeyMask) == key) {
                        current = record >> 20;
                        found = true;
                        break;
                    }
                    slot = (slot + 1) & (kHashSlots - 1);
                }
                if (found)
                    continue;
                // A new string: send the code of the known part, remember the
                // longer string under the next code, start again from this pixel.
                putCode(current);
                ++lastCode;
                state.table[slot] = (lastCode << 20) | key;
                state.inUse[slot >> 6] |= std::uint64_t(1) << (slot & 63);
                current = pixel;
                hash = startHash(pixel);
                if (lastCode != nextEvent)
                    continue;
                if (lastCode < kLastCode) {
                    ++codeWidth;
                    nextEvent = std::min(1u << codeWidth, kLastCode);
                    continue;
                }
                putCode(current);
                putCode(clearCode);
                state.empty();
                lastCode = endCode;
                codeWidth = initialWidth;
                nextEvent = 1u << initialWidth;
                // The next pixel starts afresh.
                if (p < end) {
                    current = *p++;
                    hash = startHash(current);
                } else {
                    pending = false;
                }
            }
            ++rowsDone;
            if (progress)
                progress(int(qint64(rowsDone) * 100 / height));
        }
    }

    // After a table reset on the very last pixel that pixel has been sent
    // already; sending it again would add a pixel beyond the picture.
    if (pending)
        putCode(current);
    putCode(endCode);
    if (bitCount > 0)
        *out++ = std::uint8_t(bitBuffer);
    state.empty();
    state.clean = true;

    // The code-size byte, sub-blocks of 255 bytes and a last shorter one,
    // then the zero-length terminator.
    const auto used = std::size_t(out - stream);
    const std::size_t blocks = (used + kMaxSubBlock - 1) / kMaxSubBlock;
    QByteArray data(qsizetype(1 + used + blocks + 1), Qt::Uninitialized);
    char *o = data.data();
    *o++ = char(initialWidth - 1);
    for (std::size_t pos = 0; pos < used; pos += kMaxSubBlock) {
        const std::size_t length = std::min<std::size_t>(kMaxSubBlock, used - pos);
        *o++ = char(length);
        std::memcpy(o, stream + pos, length);
        o += length;
    }
    *o = 0;
    return data;
}
