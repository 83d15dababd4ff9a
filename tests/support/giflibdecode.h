#pragma once
// Decodes GIF bytes with giflib, a decoder written by other people, so what
// our writer produces is checked by more than our own reader.
#include <QByteArray>
#include <QString>

#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

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
};

struct Result
{
    bool ok = false;
    QString error;
    int width = 0;
    int height = 0;
    int globalColors = 0;
    std::vector<Frame> frames;
};

namespace detail {
struct Source
{
    const QByteArray *bytes;
    qsizetype pos;
};

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
        result.frames.push_back(std::move(frame));
    }
    DGifCloseFile(gif, &error);
    return result;
}

} // namespace giflibdecode
