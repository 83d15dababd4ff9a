#include "lzwdecoder.h"

#include "platform/errors.h"

#include <algorithm>
#include <cstring>

// The decoder writes pixels straight into the picture's rows. A table string
// is copied from where it was output before instead of being rebuilt by
// walking its prefix chain: an entry added as (previous string, next first
// pixel) is exactly the output that starts where the previous string was
// written, provided that string and the pixel after it lie in one piece of
// memory. Strings cut by the end of a row, and entries that a damaged stream
// makes disagree with what was output, are marked and decoded by walking
// their chain instead, which gives exactly the result of the chain-walking
// decoder for any input.
//
// "Consistent" below means: the string just output equals the table string
// of the code that produced it, and that table string cannot change before
// the next clear code ("stable").
namespace {

constexpr int kTableSize = 4096;
constexpr int kMaxString = 4096; // longer chains are corrupt data
constexpr int kChunk = 16; // bytes moved at a time when copying a string
constexpr std::size_t kDataPadding = 16; // zero bytes after the joined data

// An entry packs where its string starts in the output (bytes from the first
// row), its length, its last pixel and two flags.
constexpr std::uint64_t kCopyable = std::uint64_t(1) << 56; // the string is in the output in one piece
constexpr std::uint64_t kStable = std::uint64_t(1) << 57; // it cannot change before the next clear

inline std::uint64_t packEntry(std::uint32_t start, int length, int suffix, std::uint64_t flags)
{
    return start | (std::uint64_t(length) << 32) | (std::uint64_t(suffix) << 48) | flags;
}
inline int entryLength(std::uint64_t entry)
{
    return int((entry >> 32) & 0xFFFF);
}
inline std::uint8_t entrySuffix(std::uint64_t entry)
{
    return std::uint8_t(entry >> 48);
}

// Copies n bytes from s to d in chunks. It may write up to kChunk - 1 bytes
// past d + n and read as far past s + n; the caller keeps both inside the
// picture, and the bytes written past d + n are written again later. The
// source lies before d or in rows already complete, so a chunk never reads
// what this copy has written where it matters.
inline void copyChunks(std::uint8_t *d, const std::uint8_t *s, int n)
{
    for (int i = 0; i < n; i += kChunk) {
        std::uint8_t chunk[kChunk];
        std::memcpy(chunk, s + i, kChunk);
        std::memcpy(d + i, chunk, kChunk);
    }
}

// The bit stream, least significant bit first. Eight bytes are loaded at a
// time; the bits above `count` then already hold the following bytes, so
// loading them again is harmless. The joined data is followed by zero bytes,
// so a load near its end stays inside the buffer.
struct BitReader
{
    std::uint64_t buffer = 0;
    int count = 0;
    const std::uint8_t *in = nullptr;
    const std::uint8_t *end = nullptr;
};

} // namespace

GifLzwDecoder::Cursor GifLzwDecoder::startRow()
{
    const Rows &r = m_rows;
    std::uint8_t *const bufferEnd = r.pixels + r.stride * r.height;
    Cursor cursor;
    if (r.linear) {
        cursor.d = r.pixels;
        cursor.end = bufferEnd;
        cursor.fast = r.pixels + std::max<qsizetype>(r.stride * r.height - (kChunk - 1), 0);
        return cursor;
    }
    std::uint8_t *const row = r.pixels + r.stride * r.y;
    cursor.d = row;
    cursor.end = row + r.width;
    // Chunks may spill into later rows of a plain picture, but an interlaced
    // picture's next row in memory may already be written: there they stay
    // in the row and its padding.
    const qsizetype safe = r.interlaced ? qsizetype(row - r.pixels) + r.stride : r.stride * r.height;
    const qsizetype fast = std::min<qsizetype>(r.width, safe - (kChunk - 1) - qsizetype(row - r.pixels));
    cursor.fast = row + std::max<qsizetype>(fast, 0);
    return cursor;
}

bool GifLzwDecoder::nextRow(Cursor &cursor)
{
    Rows &r = m_rows;
    if (r.linear)
        return false;
    if (!r.interlaced) {
        if (++r.y >= r.height)
            return false;
    } else {
        static constexpr int kStart[4] = { 0, 4, 2, 1 };
        static constexpr int kStep[4] = { 8, 8, 4, 2 };
        r.y += kStep[r.pass];
        while (r.y >= r.height) {
            if (++r.pass == 4)
                return false;
            r.y = kStart[r.pass];
        }
    }
    cursor = startRow();
    return true;
}

bool GifLzwDecoder::putSlow(Cursor &cursor, const std::uint8_t *s, int n)
{
    for (;;) {
        const qsizetype room = cursor.end - cursor.d;
        if (n < room) {
            std::memcpy(cursor.d, s, std::size_t(n));
            cursor.d += n;
            return true;
        }
        std::memcpy(cursor.d, s, std::size_t(room));
        s += room;
        n -= int(room);
        cursor.d = cursor.end;
        if (!nextRow(cursor))
            return false;
        if (n == 0)
            return true;
    }
}

void GifLzwDecoder::finish(Cursor cursor, bool rowsLeft)
{
    if (rowsLeft) {
        std::memset(cursor.d, 0, std::size_t(cursor.end - cursor.d));
        while (nextRow(cursor))
            std::memset(cursor.d, 0, std::size_t(cursor.end - cursor.d));
    }
    const Rows &r = m_rows;
    if (r.stride > r.width)
        for (int y = 0; y < r.height; ++y)
            std::memset(r.pixels + r.stride * y + r.width, 0, std::size_t(r.stride - r.width));
}

const std::uint8_t *GifLzwDecoder::reportProgress(const std::uint8_t *in)
{
    const qsizetype size = std::max<qsizetype>(m_joinedSize, 1);
    const int percent = int((in - m_joined) * 100 / size);
    if (percent != m_lastPercent) {
        m_lastPercent = percent;
        (*m_progress)(percent);
    }
    if (percent >= 100)
        return m_joined + m_joinedSize + 1; // never reached: reading stops at the end
    // The first position at which the percentage is one higher.
    return m_joined + (qsizetype(percent + 1) * m_joinedSize + 99) / 100;
}

GifLzwDecoder::Status GifLzwDecoder::decode(const QByteArray &encoded, int colorDepth, std::uint8_t *pixels,
    qsizetype stride, int width, int height, bool interlaced, const std::function<void(int)> &progress)
{
    const bool hasPixels = width > 0 && height > 0 && pixels != nullptr;
    m_rows = Rows { pixels, stride, width, height, interlaced, !interlaced && stride == width, 0, 0 };
    if (encoded.isEmpty()) {
        if (hasPixels)
            finish(startRow(), true);
        return Status::EndOfData;
    }
    const auto *src = reinterpret_cast<const std::uint8_t *>(encoded.constData());
    const qsizetype srcSize = encoded.size();
    const int m = src[0];
    if (m < 2 || m > 9)
        throw EInvalidGraphicOperation(QStringLiteral("GIF code size not in range 2 to 9"));
    if (!hasPixels)
        return Status::Complete;

    // Join the sub-blocks into one run of bytes; the bit stream runs across
    // block boundaries and ends at a zero-length block or the end of the data.
    if (m_data.size() < std::size_t(srcSize) + kDataPadding)
        m_data.resize(std::size_t(srcSize) + kDataPadding);
    std::uint8_t *const joined = m_data.data();
    qsizetype joinedSize = 0;
    for (qsizetype pos = 1; pos < srcSize;) {
        const int length = src[pos++];
        if (length == 0)
            break;
        const qsizetype take = std::min<qsizetype>(length, srcSize - pos);
        std::memcpy(joined + joinedSize, src + pos, std::size_t(take));
        joinedSize += take;
        pos += take;
    }
    std::memset(joined + joinedSize, 0, kDataPadding);

    // Entries an earlier picture assigned must read as never assigned (zero),
    // as a damaged stream may walk through them.
    std::fill_n(m_prefix.data(), m_dirty, std::uint16_t(0));
    std::fill_n(m_entry.data(), m_dirty, std::uint64_t(0));
    m_dirty = kTableSize; // until this picture ends without an exception

    m_progress = progress ? &progress : nullptr;
    m_joined = joined;
    m_joinedSize = joinedSize;
    m_lastPercent = -1;
    const std::uint8_t *progressAt = progress ? joined : joined + joinedSize + 1;

    const int clearCode = 1 << m;
    const int endCode = clearCode + 1;
    const int pixelMask = (1 << std::clamp(colorDepth, 1, 8)) - 1;
    int codeWidth = m + 1;
    int codeLimit = 1 << codeWidth; // the width grows when the next free code reaches it
    std::uint32_t codeMask = std::uint32_t(codeLimit - 1);
    int nextFree = clearCode + 2;
    int highWater = nextFree;
    bool tableFull = false;

    // The previous code, the first pixel of its string, whether that string
    // is stable, and where it was written.
    int previous = 0;
    int firstChar = 0;
    bool previousStable = true;
    const std::uint8_t *lastPos = pixels;
    int lastLength = 0;
    bool lastCopyable = false;

    std::uint8_t *const stackEnd = m_stack.data() + kMaxString + 1;
    std::uint8_t *const stackLimit = stackEnd - kMaxString;

    BitReader bits;
    bits.in = joined;
    bits.end = joined + joinedSize;
    Cursor c = startRow();
    Status status = Status::Complete;
    bool rowsLeft = true;
    int code = 0;

    // Takes the next code into `code`; false when the data runs out first.
    auto takeCode = [](BitReader &b, int width, std::uint32_t mask, int &out) {
        if (b.count < width) {
            std::uint64_t v;
            std::memcpy(&v, b.in, 8);
            b.buffer |= v << b.count;
            const int bytes = (63 - b.count) >> 3;
            b.in += bytes;
            b.count += bytes * 8;
            if (b.in > b.end) [[unlikely]] {
                b.count -= int(b.in - b.end) * 8;
                b.in = b.end;
                if (b.count < width)
                    return false;
            }
        }
        out = int(b.buffer & mask);
        b.buffer >>= width;
        b.count -= width;
        return true;
    };

startTable:
    // The first code of a table (at the start, or after a clear code) has no
    // string before it to extend: it is output and adds no entry. Further
    // clear codes reset again; a code that is no literal has no string.
    for (;;) {
        if (!takeCode(bits, codeWidth, codeMask, code)) {
            status = Status::EndOfData;
            goto done;
        }
        if (bits.in >= progressAt) [[unlikely]]
            progressAt = reportProgress(bits.in);
        if (code != clearCode)
            break;
    }
    if (code == endCode)
        goto done;
    if (code > endCode) {
        status = Status::Corrupt;
        goto done;
    }
    firstChar = code & pixelMask;
    lastPos = c.d;
    lastLength = 1;
    *c.d++ = std::uint8_t(firstChar);
    lastCopyable = c.d < c.fast;
    previous = code;
    previousStable = true;
    if (c.d == c.end && !nextRow(c)) {
        rowsLeft = false;
        goto done;
    }

    for (;;) {
        if (!takeCode(bits, codeWidth, codeMask, code)) {
            status = Status::EndOfData;
            goto done;
        }
        if (bits.in >= progressAt) [[unlikely]]
            progressAt = reportProgress(bits.in);

        std::uint8_t *const here = c.d;
        const int incoming = code;
        int n; // pixels output
        bool consistent = true;
        bool copyable = false; // in one piece, with room after it for the next pixel
        bool stable = true; // the incoming code's string cannot change before a clear
        bool more = true; // rows remain
        if (code < clearCode) {
            // A literal: one pixel.
            firstChar = code & pixelMask;
            *c.d++ = std::uint8_t(firstChar);
            n = 1;
            copyable = c.d < c.fast;
            if (c.d == c.end)
                more = nextRow(c);
        } else if (code > endCode && code < nextFree && (m_entry[std::size_t(code)] & kCopyable)) {
            // A table string already in the output: copy it.
            const std::uint64_t entry = m_entry[std::size_t(code)];
            const std::uint8_t *s = pixels + std::uint32_t(entry);
            n = entryLength(entry);
            firstChar = s[0];
            if (n < c.fast - c.d) {
                copyChunks(c.d, s, n);
                c.d += n;
                copyable = true;
            } else {
                more = putSlow(c, s, n);
            }
            stable = true; // copyable entries are stable
        } else if (code == clearCode) {
            highWater = std::max(highWater, nextFree);
            codeWidth = m + 1;
            codeLimit = 1 << codeWidth;
            codeMask = std::uint32_t(codeLimit - 1);
            nextFree = clearCode + 2;
            tableFull = false;
            goto startTable;
        } else if (code == endCode) {
            goto done;
        } else if (code >= nextFree && lastCopyable) {
            // Beyond the table: the previous string plus its own first pixel.
            const std::uint8_t *s = lastPos;
            const std::uint8_t first = s[0];
            n = lastLength + 1;
            if (n < c.fast - c.d) {
                copyChunks(c.d, s, lastLength);
                c.d[lastLength] = first;
                c.d += n;
                copyable = true;
            } else {
                more = putSlow(c, s, lastLength) && putSlow(c, &first, 1);
            }
            firstChar = first;
            // The code's own entry is the one added below, unless the table is
            // full or the code lies further beyond.
            consistent = code == nextFree && !tableFull;
            stable = consistent && previousStable;
        } else {
            // Walk the prefix chain, building the string backwards.
            const bool beyondTable = code >= nextFree;
            std::uint8_t *p = stackEnd;
            if (beyondTable) {
                stable = code == nextFree && !tableFull && previousStable;
                *--p = std::uint8_t(firstChar);
                code = previous;
            } else {
                stable = (m_entry[std::size_t(code)] & kStable) != 0;
            }
            while (code >= clearCode) {
                if (p == stackLimit) {
                    status = Status::Corrupt;
                    goto done;
                }
                *--p = entrySuffix(m_entry[std::size_t(code)]);
                code = m_prefix[std::size_t(code)];
            }
            if (p == stackLimit) {
                status = Status::Corrupt;
                goto done;
            }
            firstChar = code & pixelMask;
            *--p = std::uint8_t(firstChar);
            n = int(stackEnd - p);
            if (n < c.fast - c.d) {
                copyChunks(c.d, p, n);
                c.d += n;
                copyable = true;
            } else {
                more = putSlow(c, p, n);
            }
            consistent = !beyondTable && stable;
        }
        if (!more) {
            rowsLeft = false;
            goto done;
        }

        if (!tableFull) {
            // The new entry is the previous string plus this first pixel:
            // where the previous string was written, one pixel longer. A
            // chain that refers only to earlier entries keeps its string
            // until the next clear; one that refers ahead changes when that
            // entry is assigned. (A consistent string is stable, so a
            // copyable entry is too.)
            const std::uint64_t flags = (previousStable ? kStable : 0) | (lastCopyable ? kCopyable : 0);
            m_prefix[std::size_t(nextFree)] = std::uint16_t(previous);
            m_entry[std::size_t(nextFree)]
                = packEntry(std::uint32_t(lastPos - pixels), lastLength + 1, firstChar, flags);
            if (++nextFree == codeLimit) {
                if (codeWidth == 12) {
                    tableFull = true;
                } else {
                    ++codeWidth;
                    codeLimit <<= 1;
                    codeMask = std::uint32_t(codeLimit - 1);
                }
            }
        }
        previous = incoming;
        previousStable = stable;
        lastPos = here;
        lastLength = n;
        lastCopyable = consistent && copyable && n < kMaxString;
    }

done:
    m_dirty = std::max(highWater, nextFree);
    finish(c, rowsLeft);
    return status;
}
