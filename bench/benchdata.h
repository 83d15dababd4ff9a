#pragma once
// The pictures the benchmarks work on, made once at start-up: a synthetic
// photo (smooth gradients plus noise, so it has many colours) and a panning
// animation cut from it, both written as GIFs by our own writer.
#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

namespace benchdata {

// One frame as 8-bit palette indexes.
struct IndexedFrame
{
    QImage image; // Format_Indexed8, 256-entry colour table
    std::vector<std::uint8_t> pixels; // the same indexes, rows packed tightly (giflib writes in place)
};

struct GifCase
{
    std::string name; // "photo640", "anim100"
    QByteArray gif; // the file our writer made
    int screenWidth = 0;
    int screenHeight = 0;
    std::vector<IndexedFrame> frames; // what the file decodes to
    std::int64_t pixels = 0; // sum over the frames
};

// A photo-like true-colour picture: smooth gradients and blobs plus a grain
// of up to +-grain per channel. The same seed gives the same pixels.
QImage syntheticPhoto(int width, int height, std::uint32_t seed, int grain);

const QImage &photo640(); // 640 x 480, Format_RGB32
const GifCase &photoCase(); // photo640 reduced to 256 colours, one frame
const GifCase &animCase(); // 100 frames of 160 x 120, finer grain, each with its own palette

} // namespace benchdata
