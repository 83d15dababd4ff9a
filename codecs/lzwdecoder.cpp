#include "lzwdecoder.h"

#include "platform/errors.h"

#include <algorithm>
#include <cstring>

// The decoder writes pixels straight into the picture's rows (a small picture
// whose rows are not one run in memory goes through a buffer of its own). A
// table string is copied from where it was output before instead of being
// rebuilt by walking its prefix chain: an entry added as (previous string,
// next first pixel) is exactly the output that starts where the previous
// string was written, provided that string and the pixel after it lie in one
// piece of memory. Literals are entries whose one pixel lies in a constant
// table, so every code of a well-formed stream takes the same path. Strings
// cut by the end of a row, and entries that a damaged stream makes disagree
// with what was output, are marked and decoded by walking their chain
// instead, which gives exactly the result of the chain-walking decoder for
// any input.
//
// "Consistent" below means: the string just output equals the table string
// of the code that produced it, and that table string cannot change before
// the next clear code ("stable").
namespace {

constexpr int kTableSize = 4096;
constexpr int kMaxString = 4096; // longer chains are corrupt data
constexpr int kChunk = 16; // bytes moved at a time when copying a string
constexpr std::size_t kDataPadding = 16; // zero bytes after the joined data
// Pictures up to this many pixels whose rows are not one run in memory are
// decoded as one run and copied: cheaper than breaking strings at row ends.
constexpr qsizetype kScratchPixels = 64 * 1024;
// Progress is reported when the percentage changes, but at most once per this
// many bytes of data: a small picture decodes in microseconds, and a report
// costs as much as decoding a few dozen pixels.
constexpr qsizetype kProgressBytes = 4096;

// Entry metadata: the string's length, its first and its last pixel, and two
// flags.
constexpr std::uint32_t kLengthMask = 0x1FFF;
constexpr int kFirstShift = 13;
constexpr int kLastShift = 21;
constexpr std::uint32_t kCopyable = 1u << 29; // the string lies in one piece where m_string points
constexpr std::uint32_t kStable = 1u << 30; // it cannot change before the next clear code

inline int metaFirst(std::uint32_t meta)
{
    return int((meta >> kFirstShift) & 0xFF);
}
inline std::uint8_t metaLast(std::uint32_t meta)
{
    return std::uint8_t(meta >> kLastShift);
}

// Copies n bytes from s to d in chunks. It may write up to kChunk - 1 bytes
// past d + n and read as far past s + n; the caller keeps both inside the
// picture (or the decoder's own buffers), and the bytes written past d + n
// are written again later. The source lies before d or in rows already
// complete, so a chunk never reads what this copy has written where it
// matters.
inline void copyChunk(std::uint8_t *d, const std::uint8_t *s)
{
    std::uint8_t chunk[kChunk];
    std::memcpy(chunk, s, kChunk);
    std::memcpy(d, chunk, kChunk);
}
inline void copyChunks(std::uint8_t *d, const std::uint8_t *s, int n)
{
    copyChunk(d, s); // most strings are short
    for (int i = kChunk; i < n; i += kChunk)
        [[unlikely]] copyChunk(d + i, s + i);
}

} // namespace

std::uint8_t *GifLzwDecoder::Buffer::reserve(std::size_t needed)
{
    if (needed > size) {
        bytes = std::make_unique_for_overwrite<std::uint8_t[]>(needed);
        size = needed;
    }
    return bytes.get();
}

GifLzwDecoder::GifLzwDecoder()
{
    for (std::size_t i = 0; i < m_literals.size(); ++i)
        m_literals[i] = std::uint8_t(i);
}

bool GifLzwDecoder::takeCode(BitReader &bits, int width, std::uint32_t mask, int &code)
{
    if (bits.count < width) {
        std::uint64_t v;
        std::memcpy(&v, bits.in, 8);
        bits.buffer |= v << bits.count;
        const int bytes = (63 - bits.count) >> 3;
        bits.in += bytes;
        bits.count += bytes * 8;
        if (bits.in > bits.end) [[unlikely]] {
            bits.count -= int(bits.in - bits.end) * 8;
            bits.in = bits.end;
            if (bits.count < width)
                return false;
        }
        if (bits.in >= bits.progressAt) [[unlikely]]
            bits.progressAt = reportProgress(bits.in);
    }
    code = int(bits.buffer & mask);
    bits.buffer >>= width;
    bits.count -= width;
    return true;
}

GifLzwDecoder::Cursor GifLzwDecoder::startRow()
{
    const Rows &r = m_rows;
    std::uint8_t *const bufferEnd = r.pixels + r.stride * r.height;
    Cursor cursor;
    if (r.linear) {
        cursor.d = r.pixels;
        cursor.end = bufferEnd;
        cursor.fast = r.pixels
            + std::clamp<qsizetype>(r.stride * r.height + r.slack - (kChunk - 1), 0, r.stride * r.height);
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
    if (m_rows.pixels == m_scratch.bytes.get()) {
        // Rows in the order they were decoded, into their places.
        const std::uint8_t *from = m_scratch.bytes.get();
        m_rows = m_target;
        const Rows &r = m_rows;
        if (!r.interlaced) {
            for (int y = 0; y < r.height; ++y, from += r.width)
                std::memcpy(r.pixels + r.stride * y, from, std::size_t(r.width));
        } else {
            Cursor to = startRow();
            do {
                std::memcpy(to.d, from, std::size_t(r.width));
                from += r.width;
            } while (nextRow(to));
        }
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
    // The first position at which the percentage is one higher, but at least
    // kProgressBytes on.
    const qsizetype next = (qsizetype(percent + 1) * m_joinedSize + 99) / 100;
    return m_joined + std::max(next, qsizetype(in - m_joined) + kProgressBytes);
}

GifLzwDecoder::Status GifLzwDecoder::decode(QByteArrayView encoded, int colorDepth, std::uint8_t *pixels,
    qsizetype stride, int width, int height, bool interlaced, const std::function<void(int)> &progress)
{
    const bool hasPixels = width > 0 && height > 0 && pixels != nullptr;
    const bool linear = !interlaced && stride == width;
    m_target = Rows { pixels, stride, width, height, interlaced, linear, 0, 0, 0 };
    m_rows = m_target;
    if (hasPixels && !linear && qsizetype(width) * height <= kScratchPixels) {
        const std::size_t size = std::size_t(width) * std::size_t(height);
        m_rows = Rows { m_scratch.reserve(size + kChunk), width, width, height, false, true, kChunk, 0, 0 };
    }
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
    std::uint8_t *const joined = m_data.reserve(std::size_t(srcSize) + kDataPadding);
    qsizetype joinedSize = 0;
    for (qsizetype pos = 1; pos < srcSize;) {
        const int length = src[pos++];
        if (length == 0)
            break;
        const qsizetype take = std::min<qsizetype>(length, srcSize - pos);
        // Chunks may spill into the padding; they may not read past the data.
        if (srcSize - pos - take >= kChunk)
            copyChunks(joined + joinedSize, src + pos, int(take));
        else
            std::memcpy(joined + joinedSize, src + pos, std::size_t(take));
        joinedSize += take;
        pos += take;
    }
    std::memset(joined + joinedSize, 0, kDataPadding);

    const int clearCode = 1 << m;
    const int endCode = clearCode + 1;
    const int pixelMask = (1 << std::clamp(colorDepth, 1, 8)) - 1;

    // Literals are entries too, one pixel each copied from m_literals, so a
    // literal and a table string take the same path; the clear and end codes
    // have no string. Entries an earlier picture assigned must read as never
    // assigned (zero), as a damaged stream may walk through them.
    int zeroTo = m_dirty;
    if (m_literalCount != clearCode || m_literalMask != pixelMask) {
        zeroTo = std::max(zeroTo, m_literalCount);
        for (int code = 0; code < clearCode; ++code) {
            const std::uint32_t pixel = std::uint32_t(code & pixelMask);
            m_string[std::size_t(code)] = m_literals.data() + pixel;
            m_meta[std::size_t(code)]
                = 1 | (pixel << kFirstShift) | (pixel << kLastShift) | kCopyable | kStable;
        }
        m_literalCount = clearCode;
        m_literalMask = pixelMask;
    }
    if (zeroTo > clearCode) {
        std::fill(m_prefix.data() + clearCode, m_prefix.data() + zeroTo, std::uint16_t(0));
        std::fill(m_meta.data() + clearCode, m_meta.data() + zeroTo, 0u);
    }
    m_dirty = kTableSize; // until this picture ends without an exception

    m_progress = progress ? &progress : nullptr;
    m_joined = joined;
    m_joinedSize = joinedSize;
    m_lastPercent = -1;

    int codeWidth = m + 1;
    std::uint32_t codeMask = (1u << codeWidth) - 1;
    int nextFree = clearCode + 2; // 4096 once the table is full
    int highWater = nextFree;

    // The previous code, where its string was written, and the metadata of
    // the entry the next code defines (the previous string plus one pixel):
    // length, first pixel, flags; its last pixel is the next string's first.
    int previous = 0;
    const std::uint8_t *lastPos = pixels;
    std::uint32_t pending = 0;

    std::uint8_t *const stackEnd = m_stack.data() + kMaxString + 1;
    std::uint8_t *const stackLimit = stackEnd - kMaxString;

    BitReader bits;
    bits.in = joined;
    bits.end = joined + joinedSize;
    bits.progressAt = progress ? joined : joined + joinedSize + 1;
    // The output cursor lives in locals; the slow paths get a copy of it.
    const Cursor first = startRow();
    std::uint8_t *d = first.d;
    std::uint8_t *runEnd = first.end;
    std::uint8_t *fast = first.fast;
    Status status = Status::Complete;
    bool rowsLeft = true;
    int code = 0;

startTable:
    // The first code of a table (at the start, or after a clear code) has no
    // string before it to extend: it is output and adds no entry. Further
    // clear codes reset again; a code that is no literal has no string.
    do {
        if (!takeCode(bits, codeWidth, codeMask, code)) {
            status = Status::EndOfData;
            goto done;
        }
    } while (code == clearCode);
    if (code == endCode)
        goto done;
    if (code > endCode) {
        status = Status::Corrupt;
        goto done;
    }
    {
        const std::uint32_t pixel = std::uint32_t(code & pixelMask);
        lastPos = d;
        *d++ = std::uint8_t(pixel);
        pending = 2 | (pixel << kFirstShift) | kStable | (d < fast ? kCopyable : 0);
        previous = code;
        if (d == runEnd) {
            Cursor t { d, runEnd, fast };
            rowsLeft = nextRow(t);
            d = t.d;
            runEnd = t.end;
            fast = t.fast;
            if (!rowsLeft)
                goto done;
        }
    }

    for (;;) {
        if (!takeCode(bits, codeWidth, codeMask, code)) {
            status = Status::EndOfData;
            goto done;
        }
        const std::uint32_t meta = m_meta[std::size_t(code)];
        const std::uint8_t *s; // the string to output
        int n; // its length
        std::uint32_t head; // its first pixel
        bool repeat = false; // the string's last pixel is its first, which its source does not hold
        std::uint32_t flags; // kStable when the code's string cannot change; kCopyable when the
                             // output will be that string, in one piece
        if (code < nextFree && (meta & kCopyable)) [[likely]] {
            // A literal, or a table string already in the output: copy it.
            s = m_string[std::size_t(code)];
            n = int(meta & kLengthMask);
            head = std::uint32_t(metaFirst(meta));
            flags = kStable | kCopyable;
        } else if (code == clearCode) {
            highWater = std::max(highWater, nextFree);
            codeWidth = m + 1;
            codeMask = (1u << codeWidth) - 1;
            nextFree = clearCode + 2;
            goto startTable;
        } else if (code == endCode) {
            goto done;
        } else if (code >= nextFree && (pending & kCopyable)) {
            // Beyond the table: the previous string plus its own first pixel.
            // That is the code's own entry, added below, unless the code lies
            // further beyond (a full table has no code beyond it).
            s = lastPos;
            n = int(pending & kLengthMask);
            head = std::uint32_t(metaFirst(pending));
            repeat = true;
            flags = code == nextFree ? (pending & kStable) | kCopyable : 0;
        } else {
            // Walk the prefix chain, building the string backwards.
            std::uint8_t *p = stackEnd;
            int walk = code;
            bool stable;
            if (code >= nextFree) {
                stable = code == nextFree && (pending & kStable);
                *--p = std::uint8_t(metaFirst(pending));
                walk = previous;
            } else {
                stable = (meta & kStable) != 0;
            }
            while (walk >= clearCode) {
                if (p == stackLimit) {
                    status = Status::Corrupt;
                    goto done;
                }
                *--p = metaLast(m_meta[std::size_t(walk)]);
                walk = m_prefix[std::size_t(walk)];
            }
            if (p == stackLimit) {
                status = Status::Corrupt;
                goto done;
            }
            head = std::uint32_t(walk & pixelMask);
            *--p = std::uint8_t(head);
            s = p;
            n = int(stackEnd - p);
            flags = stable ? kStable | kCopyable : 0;
        }

        // Out with it.
        std::uint8_t *const here = d;
        if (n < fast - d) [[likely]] {
            copyChunks(d, s, n);
            if (repeat) [[unlikely]]
                d[n - 1] = std::uint8_t(head);
            d += n;
            if (n >= kMaxString)
                flags &= ~kCopyable;
        } else {
            Cursor t { d, runEnd, fast };
            const std::uint8_t last = repeat ? std::uint8_t(head) : s[n - 1];
            rowsLeft = putSlow(t, s, n - 1) && putSlow(t, &last, 1);
            d = t.d;
            runEnd = t.end;
            fast = t.fast;
            flags &= ~kCopyable;
            if (!rowsLeft)
                goto done;
        }

        if (nextFree < kTableSize) {
            // The new entry is the previous string plus this first pixel:
            // where the previous string was written, one pixel longer.
            m_prefix[std::size_t(nextFree)] = std::uint16_t(previous);
            m_string[std::size_t(nextFree)] = lastPos;
            m_meta[std::size_t(nextFree)] = pending | (head << kLastShift);
            if (++nextFree > int(codeMask) && codeWidth < 12) {
                ++codeWidth;
                codeMask = (codeMask << 1) | 1;
            }
        }
        previous = code;
        lastPos = here;
        pending = std::uint32_t(n + 1) | (head << kFirstShift) | flags;
    }

done:
    m_dirty = std::max(highWater, nextFree);
    finish(Cursor { d, runEnd, fast }, rowsLeft);
    return status;
}
