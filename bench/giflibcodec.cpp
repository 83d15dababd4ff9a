#include "giflibcodec.h"

#include "benchdata.h"

#include <algorithm>
#include <cstring>

#include <gif_lib.h>

namespace giflibcodec {

namespace {

struct MemoryInput
{
    const QByteArray *bytes;
    qsizetype pos = 0;
};

int readMemory(GifFileType *gif, GifByteType *buffer, int length)
{
    auto *in = static_cast<MemoryInput *>(gif->UserData);
    const qsizetype n = std::min<qsizetype>(length, in->bytes->size() - in->pos);
    std::memcpy(buffer, in->bytes->constData() + in->pos, std::size_t(n));
    in->pos += n;
    return int(n);
}

int writeMemory(GifFileType *gif, const GifByteType *buffer, int length)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(buffer), length);
    return length;
}

GifFileType *openAndSlurp(MemoryInput &input)
{
    int error = 0;
    GifFileType *gif = DGifOpen(&input, readMemory, &error);
    if (!gif)
        return nullptr;
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return nullptr;
    }
    return gif;
}

ColorMapObject *colorMap(const QImage &image)
{
    const QVector<QRgb> table = image.colorTable();
    std::vector<GifColorType> colors(256);
    for (int i = 0; i < 256 && i < table.size(); ++i)
        colors[std::size_t(i)]
            = { GifByteType(qRed(table[i])), GifByteType(qGreen(table[i])), GifByteType(qBlue(table[i])) };
    return GifMakeMapObject(256, colors.data());
}

} // namespace

Decoded decode(const QByteArray &bytes)
{
    Decoded result;
    MemoryInput input { &bytes };
    GifFileType *gif = openAndSlurp(input);
    if (!gif)
        return result;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage &image = gif->SavedImages[i];
        const std::size_t size = std::size_t(image.ImageDesc.Width) * std::size_t(image.ImageDesc.Height);
        result.frames.emplace_back(image.RasterBits, image.RasterBits + size);
    }
    int error = 0;
    DGifCloseFile(gif, &error);
    result.ok = true;
    return result;
}

std::int64_t decodeCount(const QByteArray &bytes)
{
    MemoryInput input { &bytes };
    GifFileType *gif = openAndSlurp(input);
    if (!gif)
        return 0;
    std::int64_t pixels = 0;
    for (int i = 0; i < gif->ImageCount; ++i)
        pixels += std::int64_t(gif->SavedImages[i].ImageDesc.Width) * gif->SavedImages[i].ImageDesc.Height;
    int error = 0;
    DGifCloseFile(gif, &error);
    return pixels;
}

QByteArray encode(std::vector<benchdata::IndexedFrame> &frames, int screenWidth, int screenHeight)
{
    QByteArray out;
    int error = 0;
    GifFileType *gif = EGifOpen(&out, writeMemory, &error);
    if (!gif)
        return {};
    ColorMapObject *global = colorMap(frames.front().image);
    bool ok = EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, global) == GIF_OK;
    for (std::size_t i = 0; ok && i < frames.size(); ++i) {
        benchdata::IndexedFrame &frame = frames[i];
        const int width = frame.image.width();
        const int height = frame.image.height();
        ColorMapObject *local = i == 0 ? nullptr : colorMap(frame.image);
        ok = EGifPutImageDesc(gif, 0, 0, width, height, false, local) == GIF_OK;
        GifFreeMapObject(local);
        for (int y = 0; ok && y < height; ++y)
            ok = EGifPutLine(gif, frame.pixels.data() + std::size_t(y) * std::size_t(width), width) == GIF_OK;
    }
    GifFreeMapObject(global);
    if (EGifCloseFile(gif, &error) != GIF_OK || !ok)
        return {};
    return out;
}

Planes planesOf(const QImage &rgb32)
{
    Planes planes;
    planes.width = rgb32.width();
    planes.height = rgb32.height();
    const std::size_t size = std::size_t(planes.width) * std::size_t(planes.height);
    planes.red.resize(size);
    planes.green.resize(size);
    planes.blue.resize(size);
    std::size_t i = 0;
    for (int y = 0; y < planes.height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb32.constScanLine(y));
        for (int x = 0; x < planes.width; ++x, ++i) {
            planes.red[i] = std::uint8_t(qRed(row[x]));
            planes.green[i] = std::uint8_t(qGreen(row[x]));
            planes.blue[i] = std::uint8_t(qBlue(row[x]));
        }
    }
    return planes;
}

bool quantize(
    const Planes &planes, std::vector<std::uint8_t> &indexes, std::vector<QRgb> *palette, int colours)
{
    indexes.resize(planes.red.size());
    int colors = colours;
    GifColorType map[256];
    // GifQuantizeBuffer only reads the planes, though it takes them non-const.
    const bool ok
        = GifQuantizeBuffer(unsigned(planes.width), unsigned(planes.height), &colors,
              const_cast<GifByteType *>(planes.red.data()), const_cast<GifByteType *>(planes.green.data()),
              const_cast<GifByteType *>(planes.blue.data()), indexes.data(), map)
        == GIF_OK;
    if (ok && palette) {
        palette->clear();
        for (int i = 0; i < 256; ++i)
            palette->push_back(qRgb(map[i].Red, map[i].Green, map[i].Blue));
    }
    return ok;
}

} // namespace giflibcodec
