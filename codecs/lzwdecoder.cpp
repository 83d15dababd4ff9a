#include "lzwdecoder.h"

#include "platform/errors.h"

#include <algorithm>
#include <cstring>

namespace {

// Walks the rows of a frame in display order or GIF interlace order and
// writes pixels only while the current row is inside the frame.
class RowWriter
{
public:
    RowWriter(std::uint8_t *pixels, qsizetype stride, int width, int height, bool interlaced)
        : m_pixels(pixels), m_stride(stride), m_width(width), m_height(height),
          m_interlaced(interlaced)
    {
        m_row = m_pixels;
        if (width <= 0 || height <= 0)
            m_y = height; // nothing to write
    }

    bool done() const { return m_y >= m_height; }

    void put(std::uint8_t value)
    {
        if (m_y >= m_height)
            return;
        m_row[m_x] = value;
        if (++m_x == m_width)
            nextRow();
    }

private:
    void nextRow()
    {
        m_x = 0;
        if (!m_interlaced) {
            ++m_y;
        } else {
            static constexpr int kStart[4] = {0, 4, 2, 1};
            static constexpr int kStep[4] = {8, 8, 4, 2};
            m_y += kStep[m_pass];
            while (m_y >= m_height && m_pass < 3) {
                ++m_pass;
                m_y = kStart[m_pass];
            }
        }
        m_row = m_pixels + qsizetype(m_y < m_height ? m_y : 0) * m_stride;
    }

    std::uint8_t *m_pixels;
    std::uint8_t *m_row;
    qsizetype m_stride;
    int m_width;
    int m_height;
    bool m_interlaced;
    int m_x = 0;
    int m_y = 0;
    int m_pass = 0;
};

} // namespace

GifLzwDecoder::Status GifLzwDecoder::decode(const QByteArray &encoded, int colorDepth,
                                            std::uint8_t *pixels, qsizetype stride, int width,
                                            int height, bool interlaced,
                                            const std::function<void(int)> &progress)
{
    if (encoded.isEmpty())
        return Status::EndOfData;
    const auto *src = reinterpret_cast<const std::uint8_t *>(encoded.constData());
    const qsizetype srcSize = encoded.size();
    const int m = src[0];
    if (m < 2 || m > 9)
        throw EInvalidGraphicOperation(QStringLiteral("GIF code size not in range 2 to 9"));

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

    const int clearCode = 1 << m;
    const int endCode = clearCode + 1;
    const int literalLimit = (1 << colorDepth) - 1;
    int nextFree = clearCode + 2;
    int codeWidth = m + 1;
    int codeMask = (1 << codeWidth) - 1;
    int previous = 0;
    int firstChar = 0;
    bool tableFull = false;
    m_prefix.fill(0);
    m_suffix.fill(0);

    const std::uint8_t *in = joined;
    const std::uint8_t *const inEnd = joined + joinedSize;
    std::uint64_t bitBuffer = 0;
    int bitCount = 0;
    int lastPercent = -1;

    RowWriter out(pixels, stride, width, height, interlaced);
    std::uint8_t *const stack = m_stack.data();

    // Returns the next code, or -1 when the data is exhausted.
    auto nextCode = [&]() -> int {
        while (bitCount < codeWidth) {
            if (in == inEnd)
                return -1;
            bitBuffer |= std::uint64_t(*in++) << bitCount;
            bitCount += 8;
        }
        const int code = int(bitBuffer) & codeMask;
        bitBuffer >>= codeWidth;
        bitCount -= codeWidth;
        return code;
    };

    while (!out.done()) {
        int code = nextCode();
        if (progress && joinedSize > 0) {
            const int percent = int((in - joined) * 100 / joinedSize);
            if (percent != lastPercent) {
                lastPercent = percent;
                progress(percent);
            }
        }
        if (code < 0)
            return Status::EndOfData;
        if (code == endCode)
            return Status::Complete;
        if (code == clearCode) {
            codeWidth = m + 1;
            codeMask = (1 << codeWidth) - 1;
            nextFree = clearCode + 2;
            tableFull = false;
            code = nextCode();
            if (code < 0)
                return Status::EndOfData;
            previous = code;
            firstChar = code & literalLimit;
            out.put(std::uint8_t(firstChar));
            continue;
        }

        const int incoming = code;
        int depth = 0;
        if (code >= nextFree) {
            stack[depth++] = std::uint8_t(firstChar);
            code = previous;
        }
        while (code > literalLimit) {
            if (depth >= 4096)
                return Status::Corrupt;
            stack[depth++] = m_suffix[std::size_t(code)];
            code = m_prefix[std::size_t(code)];
        }
        if (depth >= 4096)
            return Status::Corrupt;
        firstChar = code & literalLimit;
        stack[depth++] = std::uint8_t(firstChar);
        while (depth > 0)
            out.put(stack[--depth]);

        if (!tableFull) {
            m_prefix[std::size_t(nextFree)] = std::uint16_t(previous);
            m_suffix[std::size_t(nextFree)] = std::uint8_t(firstChar);
            ++nextFree;
            if (nextFree == (1 << codeWidth)) {
                if (codeWidth == 12) {
                    tableFull = true;
                } else {
                    ++codeWidth;
                    codeMask = (1 << codeWidth) - 1;
                }
            }
        }
        previous = incoming;
    }
    return Status::Complete;
}
