#pragma once
// The pictures the benchmarks work on, made once at start-up: a synthetic
// photo (smooth gradients plus noise, so it has many colours) and a panning
// animation cut from it, both written as GIFs by our own writer.
#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

class TGIFImage;

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

// Writes the image with our writer and decodes the file with our reader into
// the case's frames, checking that giflib decodes the same pixels.
GifCase makeCase(const std::string &name, TGIFImage &source);

const QImage &photo640(); // 640 x 480, Format_RGB32
const GifCase &photoCase(); // photo640 reduced to 256 colours, one frame
const GifCase &animCase(); // 100 frames of 160 x 120, finer grain, each with its own palette

// 500 frames of 64 x 48 panning over a scene, each with its own palette: a
// gesture-sized animation, where what is done once per frame weighs as much
// as the pixels.
const GifCase &smallFramesCase();

// The decode benchmarks' own cases (decodedata.cpp), all palette frames:
// a landscape as a camera sees it, reduced to 256 colours with error diffusion
// as photo converters do, 640 x 480, one frame;
const GifCase &landscapeCase();
// a screen recording: an 800 x 600 desktop with an editor, then 240 frames of
// the small rectangle that changed (typing, the pointer, a menu);
const GifCase &screencastCase();
// a flat-colour animation: 60 frames of 320 x 240.
const GifCase &cartoonCase();

// The landscape of landscapeCase in true colour (Format_RGB32), any size.
QImage landscapePicture(int width, int height);
// Every pixel an independent random colour: the most colours a picture of
// its size can have. Format_RGB32.
QImage noisePicture(int width, int height, std::uint32_t seed);
// A picture dominated by a few very frequent light and dark colours (each
// with a fine grain: some 750 colours), with dark green bushes along the
// horizon, a distant group of colours covering 1.5 % of it. Format_RGB32.
QImage bushesPicture(int width, int height);

} // namespace benchdata
