#pragma once
// giflib doing the same work as our codecs, in memory, for comparison.
#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <vector>

namespace benchdata {
struct IndexedFrame;
}

namespace giflibcodec {

struct Decoded
{
    bool ok = false;
    std::vector<std::vector<std::uint8_t>> frames; // indexes, rows packed tightly
};

// DGifSlurp from memory: parses the file and decodes every raster.
Decoded decode(const QByteArray &gif);
// Decodes and discards; returns the number of pixels decoded (0 on failure).
std::int64_t decodeCount(const QByteArray &gif);

// A GIF in memory from 8-bit frames placed at 0,0: the first frame's palette
// is the global table, every later frame carries its own (as our writer
// does), one EGifPutLine per row. The frames' pixel buffers are masked in
// place by giflib.
QByteArray encode(std::vector<benchdata::IndexedFrame> &frames, int screenWidth, int screenHeight);

// The red, green and blue planes GifQuantizeBuffer takes.
struct Planes
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> red, green, blue;
};
Planes planesOf(const QImage &rgb32);
// Reduces to `colours` colours, into indexes and (when asked) the palette; returns
// false when giflib reports an error.
bool quantize(const Planes &planes, std::vector<std::uint8_t> &indexes, std::vector<QRgb> *palette = nullptr,
    int colours = 256);

} // namespace giflibcodec
