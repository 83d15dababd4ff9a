// The LZW encoder checked code by code with a plain decoder written here, and
// pixel by pixel with giflib.
#include "codecs/gifimage.h"
#include "codecs/lzwencoder.h"
#include "gifbuilder.h"
#include "platform/errors.h"
#include "support/giflibdecode.h"

#include <QCryptographicHash>

#include <random>
#include <stdexcept>

#include <gtest/gtest.h>

namespace {

// What a textbook GIF LZW decoder sees in a stream.
struct Trace
{
    int codeSize = 0;
    std::vector<int> codes;
    std::vector<int> widths; // width each code was read with
    std::vector<int> nextAtClear; // next free code when each clear arrived
    std::vector<std::size_t> pixelsAtClear; // pixels decoded before each clear
    std::vector<std::uint8_t> pixels;
    bool ended = false; // the end code was read
    bool blocksWellFormed = true; // full 255-byte blocks, then one short block, then 0
};

Trace trace(const QByteArray &data)
{
    Trace t;
    t.codeSize = std::uint8_t(data.at(0));
    QByteArray bits;
    qsizetype pos = 1;
    bool terminated = false;
    while (pos < data.size()) {
        const int length = std::uint8_t(data.at(pos++));
        if (length == 0) {
            terminated = pos == data.size();
            break;
        }
        if (length != 255 && pos + length + 1 != data.size())
            t.blocksWellFormed = false;
        bits += data.mid(pos, length);
        pos += length;
    }
    t.blocksWellFormed = t.blocksWellFormed && terminated;

    const int clear = 1 << t.codeSize;
    const int end = clear + 1;
    int width = t.codeSize + 1;
    int next = clear + 2;
    int previous = -1;
    std::vector<int> prefix(4096), suffix(4096);
    auto stringOf = [&](int code) {
        std::vector<std::uint8_t> s;
        while (code > end) {
            s.push_back(std::uint8_t(suffix[code]));
            code = prefix[code];
        }
        s.push_back(std::uint8_t(code));
        std::reverse(s.begin(), s.end());
        return s;
    };
    qint64 bit = 0;
    const qint64 totalBits = qint64(bits.size()) * 8;
    while (bit + width <= totalBits) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            if (std::uint8_t(bits.at(bit / 8)) & (1 << (bit % 8)))
                code |= 1 << i;
        t.codes.push_back(code);
        t.widths.push_back(width);
        if (code == clear) {
            t.nextAtClear.push_back(next);
            t.pixelsAtClear.push_back(t.pixels.size());
            width = t.codeSize + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end) {
            t.ended = true;
            break;
        }
        std::vector<std::uint8_t> s;
        if (previous < 0) {
            if (code >= clear)
                throw std::runtime_error("first code after clear is not a literal");
            s = stringOf(code);
        } else {
            if (code < next) {
                s = stringOf(code);
            } else if (code == next) {
                s = stringOf(previous);
                s.push_back(s.front());
            } else {
                throw std::runtime_error("code beyond the table");
            }
            if (next < 4096) {
                prefix[next] = previous;
                suffix[next] = s.front();
                ++next;
                if (next == (1 << width) && width < 12)
                    ++width;
            }
        }
        t.pixels.insert(t.pixels.end(), s.begin(), s.end());
        previous = code;
    }
    return t;
}

std::vector<std::uint8_t> noise(int count, int bits, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(count));
    for (auto &p : pixels)
        p = std::uint8_t(random() & ((1u << bits) - 1));
    return pixels;
}

QByteArray encode(
    const std::vector<std::uint8_t> &pixels, int width, int height, int bits, bool interlaced = false)
{
    TLZWEncoder encoder;
    return encoder.Encode(pixels.data(), width, width, height, bits, interlaced);
}

// A scene of 8-bit values made with integer arithmetic only, so it is the
// same on every platform: broad gradients, a fine pattern and a little noise,
// the mix a reduced photograph shows. With `flat` it is big single-valued
// rectangles instead, the kind of picture that makes long strings.
std::vector<std::uint8_t> scene(int width, int height, bool flat)
{
    std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height));
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int value = flat
                ? (x / 97) * 31 + (y / 61) * 7
                : (x * x) / 997 + (y * y) / 1301 + (x * y) / 2111 + ((x ^ y) & 1) + int(seed >> 30);
            pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = std::uint8_t(value);
        }
    }
    return pixels;
}

// A whole GIF around the encoded data, with a global table of 2^bits entries.
QByteArray wrap(const QByteArray &data, int width, int height, int bits, bool interlaced = false)
{
    return gifbuild::header(width, height, bits, "GIF87a")
        + gifbuild::image(0, 0, width, height, data, 0, interlaced) + ";";
}

} // namespace

TEST(LzwEncoder, HandCheckedOneBitStream)
{
    // Four equal 1-bit pixels at the 3-bit start width: clear 4, pixel 0, the
    // new string "00" as code 6, pixel 0, end 5, packed LSB first.
    const QByteArray data = encode({ 0, 0, 0, 0 }, 4, 1, 1);
    EXPECT_EQ(data.toHex(), QByteArray("0202845100"));
}

TEST(LzwEncoder, CodeSizeAndStartWidthFollowTheDepth)
{
    for (int bits : { 1, 2, 4, 8 }) {
        SCOPED_TRACE(bits);
        const auto pixels = noise(40 * 30, bits, unsigned(bits));
        const QByteArray data = encode(pixels, 40, 30, bits);
        const Trace t = trace(data);
        const int codeSize = bits == 1 ? 2 : bits;
        EXPECT_EQ(t.codeSize, codeSize);
        ASSERT_FALSE(t.codes.empty());
        EXPECT_EQ(t.codes.front(), 1 << codeSize);
        EXPECT_EQ(t.widths.front(), codeSize + 1);
        EXPECT_TRUE(t.ended);
        EXPECT_TRUE(t.blocksWellFormed);
        EXPECT_EQ(t.pixels, pixels);
    }
}

TEST(LzwEncoder, RoundTripsThroughGiflib)
{
    struct Case
    {
        int width, height, bits;
    };
    for (const Case c : { Case { 1, 1, 1 }, Case { 1, 1, 8 }, Case { 7, 3, 1 }, Case { 33, 17, 4 },
             Case { 300, 200, 8 }, Case { 640, 8, 1 }, Case { 128, 128, 4 } }) {
        SCOPED_TRACE(QString("%1x%2 %3 bits").arg(c.width).arg(c.height).arg(c.bits).toStdString());
        const auto pixels = noise(c.width * c.height, c.bits, unsigned(c.width * 31 + c.bits));
        const QByteArray data = encode(pixels, c.width, c.height, c.bits);
        const auto decoded = giflibdecode::decode(wrap(data, c.width, c.height, c.bits));
        ASSERT_TRUE(decoded.ok) << decoded.error.toStdString();
        ASSERT_EQ(decoded.frames.size(), 1u);
        EXPECT_EQ(decoded.frames[0].pixels, pixels);
    }
}

TEST(LzwEncoder, TableStartsAgainWhenCode4094IsAssigned)
{
    // Noise makes a new string almost every pixel: several resets.
    const int width = 257, height = 160;
    const auto pixels = noise(width * height, 8, 7);
    const QByteArray data = encode(pixels, width, height, 8);
    const Trace t = trace(data);
    ASSERT_GE(t.nextAtClear.size(), 3u);
    EXPECT_EQ(t.nextAtClear.front(), 258); // the opening clear
    for (std::size_t i = 0; i < t.codes.size(); ++i) {
        if (i == 0 || t.codes[i] != 256)
            continue;
        // The pending pixel goes out at 12 bits, then the clear; the decoder
        // has just filled code 4094; the next code is read at 9 bits again.
        EXPECT_LT(t.codes[i - 1], 256);
        EXPECT_EQ(t.widths[i], 12);
        EXPECT_EQ(t.widths[i + 1], 9);
    }
    for (std::size_t i = 1; i < t.nextAtClear.size(); ++i)
        EXPECT_EQ(t.nextAtClear[i], 4095);
    EXPECT_EQ(t.pixels, pixels);

    const auto decoded = giflibdecode::decode(wrap(data, width, height, 8));
    ASSERT_TRUE(decoded.ok) << decoded.error.toStdString();
    EXPECT_EQ(decoded.frames[0].pixels, pixels);
}

TEST(LzwEncoder, ResetOnTheLastPixelAddsNoPixel)
{
    // The pixels decoded before the second clear code are the ones the first
    // reset consumed; encoding exactly those puts the reset on the last pixel,
    // whose code is already out when the data ends.
    const auto pixels = noise(20000, 8, 11);
    const Trace full = trace(encode(pixels, int(pixels.size()), 1, 8));
    ASSERT_GE(full.pixelsAtClear.size(), 2u);
    const std::size_t consumed = full.pixelsAtClear[1];
    const std::vector<std::uint8_t> head(pixels.begin(), pixels.begin() + qsizetype(consumed));
    const QByteArray data = encode(head, int(consumed), 1, 8);
    const Trace t = trace(data);
    ASSERT_GE(t.codes.size(), 3u);
    EXPECT_EQ(t.codes[t.codes.size() - 2], 256);
    EXPECT_TRUE(t.ended);
    EXPECT_EQ(t.pixels, head);
    const auto decoded = giflibdecode::decode(wrap(data, int(consumed), 1, 8));
    ASSERT_TRUE(decoded.ok) << decoded.error.toStdString();
    EXPECT_EQ(decoded.frames[0].pixels, head);
}

TEST(LzwEncoder, InterlacedRowsGoInFourPasses)
{
    for (int height = 1; height <= 11; ++height) {
        SCOPED_TRACE(height);
        const int width = 5;
        std::vector<std::uint8_t> pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.push_back(std::uint8_t(y * 16 + x));
        std::vector<std::uint8_t> expected;
        for (int pass = 0; pass < 4; ++pass) {
            static const int start[4] = { 0, 4, 2, 1 }, step[4] = { 8, 8, 4, 2 };
            for (int y = start[pass]; y < height; y += step[pass])
                expected.insert(expected.end(), pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
        }
        const QByteArray data = encode(pixels, width, height, 8, true);
        EXPECT_EQ(trace(data).pixels, expected);
        const auto decoded = giflibdecode::decode(wrap(data, width, height, 8, true));
        ASSERT_TRUE(decoded.ok) << decoded.error.toStdString();
        EXPECT_EQ(decoded.frames[0].pixels, pixels);
    }
}

TEST(LzwEncoder, ReadsImagesAndMasksValuesToTheDepth)
{
    QImage image(3, 2, QImage::Format_Indexed8);
    image.setColorCount(256);
    const uchar rows[2][3] = { { 0x13, 0x02, 0xFF }, { 0x10, 0x0F, 0x21 } };
    for (int y = 0; y < 2; ++y)
        std::memcpy(image.scanLine(y), rows[y], 3);
    TLZWEncoder encoder;
    EXPECT_EQ(trace(encoder.Encode(image, 4)).pixels, (std::vector<std::uint8_t> { 3, 2, 15, 0, 15, 1 }));
    EXPECT_THROW(encoder.Encode(image, 9), EInvalidGraphicOperation);
    EXPECT_THROW(encoder.Encode(QImage(2, 2, QImage::Format_RGB32), 8), EInvalidGraphicOperation);
}

TEST(LzwEncoder, ReportsProgressPerRowAndCanBeCancelled)
{
    const auto pixels = noise(10 * 4, 8, 3);
    TLZWEncoder encoder;
    std::vector<int> seen;
    encoder.Encode(pixels.data(), 10, 10, 4, 8, false, [&](int percent) { seen.push_back(percent); });
    EXPECT_EQ(seen, (std::vector<int> { 25, 50, 75, 100 }));
    EXPECT_THROW(encoder.Encode(pixels.data(), 10, 10, 4, 8, false, [](int) { throw EAbort(); }), EAbort);
    // The encoder is fit for use after a cancelled run.
    EXPECT_EQ(trace(encoder.Encode(pixels.data(), 10, 10, 4, 8)).pixels, pixels);
}

TEST(LzwEncoder, OutputBytesStayTheSame)
{
    // Digests of what the encoder wrote for these pictures; any change in the
    // code sequence shows here. Several frames go through the GIF writer, cut
    // from a larger scene as a panning animation, each with its own table.
    struct Case
    {
        const char *name;
        int width, height, frames, bits;
        bool interlaced, flat;
        const char *sha1;
    };
    const Case cases[] = {
        { "photo", 640, 480, 1, 8, false, false, "f4ce0827372589d9dc146dfa7ff5553c16a5c7aa" },
        { "photo 4-bit interlaced", 640, 480, 1, 4, true, false, "26a3e07a7e141c40444968cfaba1220fe10d1b6a" },
        { "1-bit", 333, 77, 1, 1, false, false, "c654dd72e294424c5db94681638a93b6ed68162b" },
        { "flat", 800, 600, 1, 8, false, true, "07697e305aea353098865be1177f86274720c316" },
        { "pan of 100", 160, 120, 100, 8, false, false, "bc3cc95bbc41c89cf17590c6bdfa9c78ccba8e7e" },
        { "500 small frames", 64, 48, 500, 8, false, false, "eb808a043ee7465e84553b20c5cdbd0261ef3544" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes;
        if (c.frames == 1) {
            const auto pixels = scene(c.width, c.height, c.flat);
            bytes = encode(pixels, c.width, c.height, c.bits, c.interlaced);
        } else {
            const int sceneWidth = c.width + c.frames * 2, sceneHeight = c.height + c.frames;
            const auto pixels = scene(sceneWidth, sceneHeight, c.flat);
            TGIFImage gif;
            for (int i = 0; i < c.frames; ++i) {
                QVector<QRgb> palette;
                for (int p = 0; p < 256; ++p)
                    palette.append(qRgb(p, (p + i) & 255, 255 - p));
                TBitmap frame = TBitmap::indexed(c.width, c.height, 8, palette);
                for (int y = 0; y < c.height; ++y)
                    std::memcpy(frame.image().scanLine(y),
                        pixels.data() + std::size_t(y + i) * std::size_t(sceneWidth) + std::size_t(i * 2),
                        std::size_t(c.width));
                gif.AppendFrame(frame);
            }
            bytes = gif.WriteToBuffer();
        }
        EXPECT_EQ(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().toStdString(), c.sha1);
    }
}
