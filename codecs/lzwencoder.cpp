#include "lzwencoder.h"

#include "platform/errors.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// The dictionary: an open-addressing table probed linearly, at most 1/8 full.
// Each slot packs one record, (code << 20) | (prefix code << 8) | suffix
// pixel, so a probe reads one word. Codes stay below 4095, so an all-ones
// slot is free.
//
// A string's slot comes from a running multiplicative hash of its pixels.
// The hash chain never waits for a table read, so the probe of the next
// pixel can start while the current one is still being compared. The codes
// written do not depend on the hash, only the speed does.
constexpr int kTableBits = 15;
constexpr std::uint32_t kHashSlots = 1u << kTableBits;
constexpr std::uint32_t kMul = 0x9E3779B1;
constexpr std::uint32_t kEmptySlot = 0xFFFFFFFF;
constexpr std::uint32_t kKeyMask = 0xFFFFF;
// The table starts again when this code has been assigned, so codes stay
// within 12 bits.
constexpr std::uint32_t kLastCode = 4094;
constexpr int kMaxSubBlock = 255;

constexpr std::uint32_t startHash(std::uint32_t pixel)
{
    return (pixel + 1) * kMul;
}

} // namespace

struct TLZWEncoder::State
{
    std::array<std::uint32_t, kHashSlots> table;
    std::vector<std::uint8_t> stream; // packed codes, kept for the next picture
};

TLZWEncoder::TLZWEncoder() : m_state(std::make_unique<State>()) { }
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

    std::uint32_t *const table = m_state->table.data();
    const int initialWidth = initialCodeWidth(bitsPerPixel);
    const std::uint32_t clearCode = 1u << (initialWidth - 1);
    const std::uint32_t endCode = clearCode + 1;
    const std::uint32_t pixelMask = (1u << bitsPerPixel) - 1;

    // The codes go into one continuous bit stream first (4 bytes at a time,
    // room checked once per row); it is cut into sub-blocks at the end.
    std::vector<std::uint8_t> &stream = m_state->stream;
    stream.resize(std::size_t(1024) + std::size_t(width) * 2);
    std::uint8_t *streamData = stream.data();
    std::size_t used = 0;
    std::uint64_t bitBuffer = 0;
    int bitCount = 0;
    int codeWidth = initialWidth;

    // Codes are packed least significant bit first.
    auto putCode = [&](std::uint32_t code) {
        bitBuffer |= std::uint64_t(code) << bitCount;
        bitCount += codeWidth;
        if (bitCount >= 32) {
            const auto word = std::uint32_t(bitBuffer);
            streamData[used] = std::uint8_t(word);
            streamData[used + 1] = std::uint8_t(word >> 8);
            streamData[used + 2] = std::uint8_t(word >> 16);
            streamData[used + 3] = std::uint8_t(word >> 24);
            used += 4;
            bitBuffer >>= 32;
            bitCount -= 32;
        }
    };
    // Each pixel adds at most one code, a table reset two more: 2 bytes a
    // pixel is ample.
    auto reserveRow = [&]() {
        const std::size_t needed = used + std::size_t(width) * 2 + 64;
        if (needed > stream.size()) {
            stream.resize(std::max(needed, stream.size() * 2));
            streamData = stream.data();
        }
    };

    std::uint32_t lastCode = endCode;
    std::uint32_t capacity = 1u << initialWidth;
    std::fill_n(table, kHashSlots, kEmptySlot);
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
            const std::uint8_t *row = pixels + qsizetype(y) * stride;
            reserveRow();
            for (int x = 0; x < width; ++x) {
                const std::uint32_t pixel = row[x] & pixelMask;
                if (!pending) {
                    pending = true;
                    current = pixel;
                    hash = startHash(pixel);
                    continue;
                }
                hash = (hash ^ pixel) * kMul;
                const std::uint32_t key = (current << 8) | pixel;
                std::uint32_t slot = hash >> (32 - kTableBits);
                std::uint32_t record;
                while ((record = table[slot]) != kEmptySlot) {
                    if ((record & kKeyMask) == key)
                        break;
                    slot = (slot + 1) & (kHashSlots - 1);
                }
                if (record != kEmptySlot) {
                    current = record >> 20;
                    continue;
                }
                // A new string: send the code of the known part, remember the
                // longer string under the next code, start again from this pixel.
                putCode(current);
                ++lastCode;
                table[slot] = (lastCode << 20) | key;
                current = pixel;
                hash = startHash(pixel);
                if (lastCode == capacity) {
                    capacity <<= 1;
                    ++codeWidth;
                } else if (lastCode >= kLastCode) {
                    putCode(current);
                    putCode(clearCode);
                    pending = false; // the next pixel starts afresh
                    lastCode = endCode;
                    codeWidth = initialWidth;
                    capacity = 1u << initialWidth;
                    std::fill_n(table, kHashSlots, kEmptySlot);
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
    while (bitCount > 0) {
        streamData[used++] = std::uint8_t(bitBuffer);
        bitBuffer >>= 8;
        bitCount -= 8;
    }

    // The code-size byte, sub-blocks of 255 bytes and a last shorter one,
    // then the zero-length terminator.
    const std::size_t blocks = (used + kMaxSubBlock - 1) / kMaxSubBlock;
    QByteArray out(qsizetype(1 + used + blocks + 1), Qt::Uninitialized);
    char *o = out.data();
    *o++ = char(initialWidth - 1);
    for (std::size_t pos = 0; pos < used; pos += kMaxSubBlock) {
        const std::size_t length = std::min<std::size_t>(kMaxSubBlock, used - pos);
        *o++ = char(length);
        std::memcpy(o, streamData + pos, length);
        o += length;
    }
    *o = 0;
    return out;
}
