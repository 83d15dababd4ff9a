#pragma once
// The GIF variant of LZW compression: variable-length codes of up to 12 bits,
// the dictionary started afresh by a clear code when code 4094 is assigned.
#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>

class TLZWEncoder
{
public:
    TLZWEncoder();
    ~TLZWEncoder();
    TLZWEncoder(const TLZWEncoder &) = delete;
    TLZWEncoder &operator=(const TLZWEncoder &) = delete;

    // Called after each row with the share of rows done (0..100). It may
    // throw to cancel the encoding.
    using RowProgress = std::function<void(int percent)>;

    // Encodes pixel values, one per byte (rows `stride` bytes apart, top row
    // first), of a picture with the given bits per pixel (1..8). The result is
    // GIF table-based image data: the code-size byte, the data sub-blocks and
    // the zero-length terminator. With `interlaced` the rows are taken in the
    // GIF four-pass order. Pixel values are masked to the bits per pixel.
    QByteArray Encode(const std::uint8_t *pixels, qsizetype stride, int width, int height, int bitsPerPixel,
        bool interlaced = false, const RowProgress &progress = {});

    // The same over an 8-bit image (Format_Indexed8 or Format_Grayscale8),
    // whose bytes are the pixel values.
    QByteArray Encode(
        const QImage &indexes, int bitsPerPixel, bool interlaced = false, const RowProgress &progress = {});

    // The initial code width for a pixel depth: depth + 1, but at least 3.
    static int initialCodeWidth(int bitsPerPixel) { return bitsPerPixel < 2 ? 3 : bitsPerPixel + 1; }

private:
    struct State;
    std::unique_ptr<State> m_state;
};
