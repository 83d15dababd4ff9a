#pragma once
// Picture files for the import tests: strips and animations written by our
// GIF writer in colours far enough apart to survive JPEG and colour reduction.
#include "codecs/gifimage.h"

#include <QImage>
#include <QTemporaryDir>

namespace importsource {

inline QRgb rgb(QRgb value)
{
    return value & RGB_MASK;
}

inline const QRgb kBlocks[]
    = { qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0), qRgb(255, 0, 255) };

// A one-frame GIF written by our writer: blocks of blockWidth in kBlocks'
// colours, or (blockWidth 0) column x in grey level x.
inline QString writeStrip(const QTemporaryDir &dir, const QString &name, int width, int height,
    int blockWidth, const QByteArray &author = {})
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            image.setPixel(x, y, blockWidth ? kBlocks[(x / blockWidth) % 5] : qRgb(x, x, x));
    TGIFImage gif;
    gif.CopyFrom(TBitmap(image));
    gif.Author = author;
    const QString path = dir.filePath(name);
    gif.WriteToFile(path);
    return path;
}

// Every frame is one kBlocks colour, showing for delayMs.
inline QString writeAnimation(
    const QTemporaryDir &dir, const QString &name, int width, int height, int frames, int delayMs = 250)
{
    TGIFImage gif;
    for (int i = 0; i < frames; ++i) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(kBlocks[i % 5]);
        gif.AppendFrame(TBitmap(image));
        gif.Frames(i).DelayMs = std::uint16_t(delayMs);
    }
    const QString path = dir.filePath(name);
    gif.WriteToFile(path);
    return path;
}

} // namespace importsource
