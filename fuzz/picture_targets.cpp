// JPEG and BMP pictures as the imports load them.
#include "codecs/pictureio.h"
#include "platform/errors.h"
#include "targets.h"

#include <QByteArray>
#include <QString>

namespace plumora::fuzz {

namespace {

void checkPicture(const TBitmap &bitmap)
{
    fuzzCheck(!bitmap.isEmpty(), "a picture that loads has pixels");
    fuzzCheck(
        qint64(bitmap.width()) * bitmap.height() <= kPictureMaxPixels, "a picture is within the limits");
}

} // namespace

void jpegTarget(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // As the animation import (quantised, at least 255 rows) and the button
    // picture (full colour, at least 18 x 18) load them.
    for (const bool quantize : { false, true }) {
        try {
            const QSize minimum = quantize ? QSize(1, 255) : QSize(18, 18);
            const TBitmap bitmap = LoadJpegFromBuffer(bytes, quantize, QStringLiteral("fuzz.jpg"), minimum);
            checkPicture(bitmap);
            if (quantize)
                fuzzCheck(bitmap.hasPalette() && bitmap.palette().size() <= 256,
                    "a quantised JPEG is a palette picture");
        } catch (const PlumoraError &) {
        }
    }
}

void bmpTarget(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        checkPicture(LoadBmpFromBuffer(bytes, QStringLiteral("fuzz.bmp")));
    } catch (const PlumoraError &) {
    }
}

} // namespace plumora::fuzz
