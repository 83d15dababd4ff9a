#pragma once
// Builds GIF bytes by hand for reader tests: every block is spelled out, and
// LZW data is written code by code so each case says exactly what the
// decoder sees.
#include <QByteArray>
#include <QList>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace gifbuild {

// Packs LZW codes LSB first at the width a GIF decoder would read each one,
// following its table growth (an entry per code after the first of a table,
// which starts at the beginning and after each clear; width + 1 when the next
// free code reaches 2^width; no growth past 12 bits).
class LzwStream
{
public:
    explicit LzwStream(int codeSize) : m_codeSize(codeSize) { reset(); }

    LzwStream &code(int value)
    {
        put(value, m_width);
        if (value == clearCode()) {
            reset();
            return *this;
        }
        if (m_afterClear) {
            m_afterClear = false;
        } else if (!m_full) {
            ++m_next;
            if (m_next == (1 << m_width)) {
                if (m_width == 12)
                    m_full = true;
                else
                    ++m_width;
            }
        }
        return *this;
    }
    LzwStream &codes(std::initializer_list<int> values)
    {
        for (int v : values)
            code(v);
        return *this;
    }
    int clearCode() const { return 1 << m_codeSize; }
    int endCode() const { return clearCode() + 1; }
    int width() const { return m_width; }

    // Literal pixels, with a clear code often enough that the width never
    // grows: simple and independent of any encoder.
    LzwStream &literals(const std::vector<int> &pixels)
    {
        const int perRun = std::max(1, clearCode() - 2);
        int run = perRun;
        for (int p : pixels) {
            if (run == perRun) {
                code(clearCode());
                run = 0;
            }
            code(p);
            ++run;
        }
        return *this;
    }

    // Code-size byte, the packed bits as sub-blocks, and (optionally) the
    // zero-length terminator.
    QByteArray data(bool terminator = true) const
    {
        const QByteArray &bytes = m_bits; // a last partial byte is included
        QByteArray out;
        out.append(char(m_codeSize));
        for (qsizetype i = 0; i < bytes.size(); i += 255) {
            const qsizetype n = std::min<qsizetype>(255, bytes.size() - i);
            out.append(char(n));
            out.append(bytes.mid(i, n));
        }
        if (terminator)
            out.append(char(0));
        return out;
    }

private:
    void reset()
    {
        m_width = m_codeSize + 1;
        m_next = clearCode() + 2;
        m_afterClear = true;
        m_full = false;
    }
    void put(int value, int width)
    {
        for (int i = 0; i < width; ++i) {
            if (m_bitCount % 8 == 0)
                m_bits.append(char(0));
            if (value & (1 << i))
                m_bits[m_bits.size() - 1] = char(m_bits.back() | (1 << (m_bitCount % 8)));
            ++m_bitCount;
        }
    }

    int m_codeSize;
    int m_width = 0;
    int m_next = 0;
    bool m_afterClear = true;
    bool m_full = false;
    QByteArray m_bits;
    qint64 m_bitCount = 0;
};

inline QByteArray le16(int v)
{
    QByteArray b;
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
    return b;
}

// A colour table of n entries where entry i is (i*16, 255 - i*16, i) so that
// every entry is distinct and recognisable.
inline QByteArray table(int n)
{
    QByteArray b;
    for (int i = 0; i < n; ++i) {
        b.append(char((i * 16) & 0xFF));
        b.append(char((255 - i * 16) & 0xFF));
        b.append(char(i & 0xFF));
    }
    return b;
}

// Header and logical screen descriptor; depth > 0 adds a global table of
// 2^depth entries.
inline QByteArray header(int width, int height, int depth, const char *version = "GIF89a", int background = 0)
{
    QByteArray b(version);
    b += le16(width);
    b += le16(height);
    b.append(char(depth > 0 ? 0x80 | ((depth - 1) << 4) | (depth - 1) : 0));
    b.append(char(background));
    b.append(char(0));
    if (depth > 0)
        b += table(1 << depth);
    return b;
}

// Image descriptor (with a local table of 2^localDepth entries when
// localDepth > 0) followed by the image data.
inline QByteArray image(int left, int top, int width, int height, const QByteArray &data, int localDepth = 0,
    bool interlaced = false)
{
    QByteArray b(",");
    b += le16(left);
    b += le16(top);
    b += le16(width);
    b += le16(height);
    int packed = interlaced ? 0x40 : 0;
    if (localDepth > 0)
        packed |= 0x80 | (localDepth - 1);
    b.append(char(packed));
    if (localDepth > 0)
        b += table(1 << localDepth);
    b += data;
    return b;
}

inline QByteArray graphicControl(int flags, int delay, int transparentIndex)
{
    QByteArray b("\x21\xF9\x04", 3);
    b.append(char(flags));
    b += le16(delay);
    b.append(char(transparentIndex));
    b.append(char(0));
    return b;
}

inline QByteArray subBlocks(const QList<QByteArray> &blocks)
{
    QByteArray b;
    for (const QByteArray &block : blocks) {
        b.append(char(block.size()));
        b += block;
    }
    b.append(char(0));
    return b;
}

inline QByteArray comment(const QList<QByteArray> &lines)
{
    return QByteArray("\x21\xFE", 2) + subBlocks(lines);
}

inline QByteArray application(const QByteArray &identAndCode, const QList<QByteArray> &blocks)
{
    QByteArray b("\x21\xFF", 2);
    b.append(char(identAndCode.size()));
    b += identAndCode;
    return b + subBlocks(blocks);
}

inline QByteArray loop(int count)
{
    QByteArray data("\x01", 1);
    data += le16(count);
    return application("NETSCAPE2.0", { data });
}

inline QByteArray plainText()
{
    QByteArray b("\x21\x01\x0C", 3);
    b += QByteArray(12, '\0');
    return b + subBlocks({ "hello" });
}

// A whole one-frame GIF with a 2-bit global table and the given pixels.
inline QByteArray simple(int width, int height, const std::vector<int> &pixels)
{
    LzwStream lzw(2);
    lzw.literals(pixels).code(lzw.endCode());
    return header(width, height, 2) + image(0, 0, width, height, lzw.data()) + ";";
}

} // namespace gifbuild
