// JPEG and BMP pictures as the imports load them.
#include "targets.h"

#include "codecs/pictureio.h"
#include "platform/errors.h"

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
    for (const bool quantize : { false, true }) {
        try {
            const TBitmap bitmap = LoadJpegFromBuffer(bytes, quantize, QStringLiteral("fuzz.jpg"));
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
