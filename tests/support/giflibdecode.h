#pragma once
// Decodes GIF bytes with giflib, a decoder written by other people, so what
// our writer and exporters produce is checked by more than our own reader.
// The one giflib reader of the tests; a test program that includes it links
// GIF::GIF.
#include <QByteArray>
#include <QRgb>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gif_lib.h>

namespace giflibdecode {

struct Frame
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    int localColors = 0; // 0 without a local table
    std::vector<std::uint8_t> pixels; // top row first, de-interlaced
    std::vector<QRgb> colours; // the table the frame uses: its own, else the global one
    int delay = 0; // hundredths of a second, from the graphic control block
    int transparentIndex = -1; // -1 without one
};

struct Result
{
    bool ok = false;
    QString error;
    int width = 0;
    int height = 0;
    int globalColors = 0;
    bool loops = false; // a NETSCAPE2.0 application block anywhere
    std::vector<Frame> frames;
};

namespace detail {
struct Source
{
    const QByteArray *bytes;
    qsizetype pos;
};

inline bool isLoopBlock(const ExtensionBlock &block)
{
    return block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11
        && std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0;
}

inline std::vector<QRgb> coloursOf(const ColorMapObject *map)
{
    std::vector<QRgb> colours;
    for (int i = 0; map && i < map->ColorCount; ++i)
        colours.push_back(qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue));
    return colours;
}

inline int read(GifFileType *gif, GifByteType *buffer, int length)
{
    auto *source = static_cast<Source *>(gif->UserData);
    const qsizetype n = std::min<qsizetype>(length, source->bytes->size() - source->pos);
    std::memcpy(buffer, source->bytes->constData() + source->pos, size_t(n));
    source->pos += n;
    return int(n);
}
} // namespace detail

inline Result decode(const QByteArray &bytes)
{
    Result result;
    detail::Source source { &bytes, 0 };
    int error = 0;
    GifFileType *gif = DGifOpen(&source, detail::read, &error);
    if (!gif) {
        result.error = QString::fromLatin1(GifErrorString(error));
        return result;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        result.error = QString::fromLatin1(GifErrorString(gif->Error));
        DGifCloseFile(gif, &error);
        return result;
    }
    result.ok = true;
    result.width = gif->SWidth;
    result.height = gif->SHeight;
    result.globalColors = gif->SColorMap ? gif->SColorMap->ColorCount : 0;
    for (int i = 0; i < gif->ExtensionBlockCount; ++i)
        result.loops |= detail::isLoopBlock(gif->ExtensionBlocks[i]);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage &saved = gif->SavedImages[i];
        Frame frame;
        frame.left = saved.ImageDesc.Left;
        frame.top = saved.ImageDesc.Top;
        frame.width = saved.ImageDesc.Width;
        frame.height = saved.ImageDesc.Height;
        frame.interlaced = saved.ImageDesc.Interlace;
        frame.localColors = saved.ImageDesc.ColorMap ? saved.ImageDesc.ColorMap->ColorCount : 0;
        frame.pixels.assign(saved.RasterBits, saved.RasterBits + frame.width * frame.height);
        frame.colours
            = detail::coloursOf(saved.ImageDesc.ColorMap ? saved.ImageDesc.ColorMap : gif->SColorMap);
        for (int e = 0; e < saved.ExtensionBlockCount; ++e)
            result.loops |= detail::isLoopBlock(saved.ExtensionBlocks[e]);
        GraphicsControlBlock control {};
        if (DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK) {
            frame.delay = control.DelayTime;
            frame.transparentIndex = control.TransparentColor;
        }
        result.frames.push_back(std::move(frame));
    }
    DGifCloseFile(gif, &error);
    return result;
}

} // namespace giflibdecode
