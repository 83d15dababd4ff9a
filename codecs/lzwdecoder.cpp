#include "lzwdecoder.h"

#include "platform/errors.h"

#include <algorithm>
#include <cstring>

// The decoder writes pixels into one linear run (m_out) and copies rows into
// the bitmap at the end, de-interlacing on the way. Writing linearly lets a
// table string be copied from where it was output before, instead of being
// rebuilt by walking its prefix chain: an entry added as (previous string,
// next first pixel) is exactly the output run that starts where the previous
// string was written. That holds while the stream is well formed; where a
// damaged stream makes a table entry disagree with what was output, the entry
// is marked and decoded by walking its chain, which gives exactly the result
// of the chain-walking decoder for any input.
//
// "Consistent" below means: the string just output equals the table string
// of the code that produced it, and that table string cannot change before
// the next clear code.
namespace {

// Copies n bytes from s to d where the source lies wholly before d, in
// eight-byte steps. It may write up to seven bytes past d + n (the output has
// room for that, and those bytes are written again later) and may read bytes
// it has just written, which only ever land beyond d + n.
inline void copyForward(std::uint8_t *d, const std::uint8_t *s, int n)
{
    for (int i = 0; i < n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, s + i, 8);
        std::memcpy(d + i, &v, 8);
    }
}

} // namespace

GifLzwDecoder::Status GifLzwDecoder::decode(const QByteArray &encoded, int colorDepth, std::uint8_t *pixels,
    qsizetype stride, int width, int height, bool interlaced, const std::function<void(int)> &progress)
{
    if (encoded.isEmpty())
        return Status::EndOfData;
    const auto *src = reinterpret_cast<const std::uint8_t *>(encoded.constData());
    const qsizetype srcSize = encoded.size();
    const int m = src[0];
    if (m < 2 || m > 9)
        throw EInvalidGraphicOperation(QStringLiteral("GIF code size not in range 2 to 9"));
    if (width <= 0 || height <= 0 || pixels == nullptr)
        return Status::Complete;

    // Join the sub-blocks into one run of bytes; the bit stream runs across
    // block boundaries and ends at a zero-length block or the end of the data.
    m_data.resize(srcSize);
    auto *joined = reinterpret_cast<std::uint8_t *>(m_data.data());
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

    // Room for every pixel plus one longest string written past the end.
    const qsizetype total = qsizetype(width) * height;
    m_out.assign(std::size_t(total + 4096 + 64), 0);
    std::uint8_t *const out = m_out.data();
    qsizetype pos = 0;

    const int clearCode = 1 << m;
    const int endCode = clearCode + 1;
    const int literalLimit = (1 << colorDepth) - 1;
    int nextFree = clearCode + 2;
    int codeWidth = m + 1;
    std::uint64_t codeMask = (1u << codeWidth) - 1;
    int previous = 0;
    int firstChar = 0;
    bool tableFull = false;
    m_prefix.fill(0);
    m_suffix.fill(0);
    m_valid.fill(0);
    m_stable.fill(1);
    std::uint16_t *const prefix = m_prefix.data();
    std::uint8_t *const suffix = m_suffix.data();
    std::uint8_t *const valid = m_valid.data();
    std::uint8_t *const stable = m_stable.data();
    std::uint32_t *const start = m_start.data();
    std::uint16_t *const length = m_length.data();

    // Where the last string went, and whether it equals the table string of
    // the code that produced it.
    // A stream that does not start with a clear code has a "previous" code 0
    // that was never output, so nothing may be copied for it.
    qsizetype lastPos = 0;
    int lastLength = 0;
    bool lastConsistent = false;

    // Bits are taken least significant first. The buffer is refilled eight
    // bytes at a time while that many remain; the bits above bitCount then
    // already hold the following bytes, so loading them again is harmless.
    const std::uint8_t *in = joined;
    const std::uint8_t *const inEnd = joined + joinedSize;
    std::uint64_t bitBuffer = 0;
    int bitCount = 0;
    int lastPercent = -1;
    Status status = Status::Complete;

    // Near the end of the data: one byte at a time; false when the data runs
    // out before a whole code is there.
    auto refillByBytes = [&]() {
        while (bitCount < codeWidth && in != inEnd) {
            bitBuffer |= std::uint64_t(*in++) << bitCount;
            bitCount += 8;
        }
        return bitCount >= codeWidth;
    };

    std::uint8_t *const stackEnd = m_stack.data() + m_stack.size();
    std::uint8_t *const stackLimit = stackEnd - 4096;

    while (pos < total) {
        if (bitCount < codeWidth) {
            if (inEnd - in >= 8) {
                std::uint64_t v;
                std::memcpy(&v, in, 8);
                bitBuffer |= v << bitCount;
                const int bytes = (63 - bitCount) >> 3;
                in += bytes;
                bitCount += bytes * 8;
            } else if (!refillByBytes()) {
                status = Status::EndOfData;
                break;
            }
        }
        int code = int(bitBuffer & codeMask);
        bitBuffer >>= codeWidth;
        bitCount -= codeWidth;
        if (progress) {
            const int percent = int((in - joined) * 100 / std::max<qsizetype>(1, joinedSize));
            if (percent != lastPercent) {
                lastPercent = percent;
                progress(percent);
            }
        }

        const qsizetype here = pos;
        const int incoming = code;
        bool consistent = true; // this output equals the table string of incoming
        if (code <= literalLimit && code < nextFree && (code < clearCode || code > endCode)) {
            // A literal (any code up to the colour depth's limit that is not
            // a control code or beyond the table): one pixel.
            firstChar = code;
            out[pos++] = std::uint8_t(code);
        } else if (code == endCode) {
            break;
        } else if (code == clearCode) {
            codeWidth = m + 1;
            codeMask = (1u << codeWidth) - 1;
            nextFree = clearCode + 2;
            tableFull = false;
            if (!refillByBytes()) {
                status = Status::EndOfData;
                break;
            }
            code = int(bitBuffer & codeMask);
            bitBuffer >>= codeWidth;
            bitCount -= codeWidth;
            previous = code;
            firstChar = code & literalLimit;
            out[pos++] = std::uint8_t(firstChar);
            lastPos = here;
            lastLength = 1;
            lastConsistent = code <= literalLimit;
            continue;
        } else if (code < nextFree && valid[code]) {
            // A table string that is already in the output: copy it.
            const std::uint8_t *s = out + start[code];
            const int n = length[code];
            copyForward(out + pos, s, n);
            firstChar = s[0];
            pos += n;
        } else if (code >= nextFree && lastConsistent && lastLength < 4096) {
            // The previous string plus its own first pixel; the copy may
            // overlap what it writes, so it goes byte by byte.
            const std::uint8_t *s = out + lastPos;
            std::uint8_t *d = out + pos;
            copyForward(d, s, lastLength);
            d[lastLength] = std::uint8_t(firstChar);
            firstChar = s[0];
            pos += lastLength + 1;
            // The code's own table entry is the one added below, unless the
            // table is full or the code counts as a literal.
            consistent = code == nextFree && !tableFull && code > literalLimit;
        } else {
            // Walk the prefix chain, building the string backwards.
            const bool beyondTable = code >= nextFree;
            std::uint8_t *p = stackEnd;
            if (beyondTable) {
                *--p = std::uint8_t(firstChar);
                code = previous;
            }
            bool corrupt = false;
            while (code > literalLimit) {
                if (p == stackLimit) {
                    corrupt = true;
                    break;
                }
                *--p = suffix[code];
                code = prefix[code];
            }
            if (corrupt || p == stackLimit) {
                status = Status::Corrupt;
                break;
            }
            firstChar = code & literalLimit;
            *--p = std::uint8_t(firstChar);
            const int n = int(stackEnd - p);
            std::memcpy(out + pos, p, std::size_t(n));
            pos += n;
            consistent = !beyondTable && stable[incoming];
        }

        if (!tableFull) {
            // The new entry is the previous string plus this first pixel:
            // where the previous string was written, one pixel longer.
            prefix[nextFree] = std::uint16_t(previous);
            suffix[nextFree] = std::uint8_t(firstChar);
            // A chain that refers only to earlier entries (or to codes that
            // are never assigned) keeps its string until the next clear; one
            // that refers ahead changes when that entry is assigned.
            stable[nextFree] = previous <= endCode || (previous < nextFree && stable[previous]);
            valid[nextFree] = lastConsistent && stable[nextFree] && lastLength < 4096;
            start[nextFree] = std::uint32_t(lastPos);
            length[nextFree] = std::uint16_t(lastLength + 1);
            ++nextFree;
            if (nextFree == (1 << codeWidth)) {
                if (codeWidth == 12) {
                    tableFull = true;
                } else {
                    ++codeWidth;
                    codeMask = (1u << codeWidth) - 1;
                }
            }
        }
        previous = incoming;
        lastPos = here;
        lastLength = int(pos - here);
        lastConsistent = consistent;
    }

    // Copy the rows written so far into the bitmap, in display order.
    const qsizetype written = std::min(pos, total);
    const int fullRows = int(written / width);
    const int partial = int(written % width);
    static constexpr int kStart[4] = { 0, 4, 2, 1 };
    static constexpr int kStep[4] = { 8, 8, 4, 2 };
    int pass = 0;
    int y = 0;
    for (int r = 0; r <= fullRows && r < height; ++r) {
        const int n = r < fullRows ? width : partial;
        if (n == 0)
            break;
        std::memcpy(pixels + qsizetype(y) * stride, out + qsizetype(r) * width, std::size_t(n));
        if (!interlaced) {
            ++y;
        } else {
            y += kStep[pass];
            while (y >= height && pass < 3) {
                ++pass;
                y = kStart[pass];
            }
        }
    }
    return status;
}
