#include "picturekind.h"

#include "pictureio.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cmath>

namespace {

QString displayName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

TPictureKind kindOfExtension(const QString &path)
{
    const QString ext = QFileInfo(path).suffix().toUpper();
    if (ext == QLatin1String("GIF"))
        return TPictureKind::Gif;
    if (ext == QLatin1String("JPG") || ext == QLatin1String("JPEG"))
        return TPictureKind::Jpeg;
    if (ext == QLatin1String("BMP"))
        return TPictureKind::Bmp;
    return TPictureKind::Unknown;
}

// Only plain files are opened: a named pipe would wait for a writer, a
// device such as /dev/zero never ends.
bool openPlainFile(QFile &file)
{
    return QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly);
}

// Formats that Qt recognises from a few loose header fields only, so that
// a clip or any other file may pass for one of them; they are read when the
// extension names them, never found by content.
bool weakSignature(const QByteArray &format)
{
    return format == "tga" || format == "wbmp";
}

} // namespace

void AllowQtPictureLimits()
{
    static const bool raised = [] {
        QImageReader::setAllocationLimit(int(kPictureMaxPixels * 4 / (1024 * 1024)) + 1);
        return true;
    }();
    Q_UNUSED(raised);
}

TPictureKind PictureKindFromContent(const QString &path, QByteArray *qtFormat)
{
    QFile file(path);
    if (!openPlainFile(file))
        return TPictureKind::Unknown;
    const QByteArray head = file.peek(16);
    if (head.startsWith("GIF8"))
        return TPictureKind::Gif;
    if (head.startsWith("\xFF\xD8\xFF"))
        return TPictureKind::Jpeg;
    // "BM", then a 32-bit file size and two reserved words that are zero.
    if (head.size() >= 10 && head.startsWith("BM") && head.mid(6, 4) == QByteArray(4, '\0'))
        return TPictureKind::Bmp;
    QByteArray format = QImageReader::imageFormat(&file);
    const QByteArray named = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty() || (weakSignature(format) && format != named))
        return TPictureKind::Unknown;
    // Our own readers take these whatever Qt would say.
    if (format == "gif" || format == "jpeg" || format == "bmp")
        return TPictureKind::Unknown;
    if (qtFormat)
        *qtFormat = format;
    return TPictureKind::Qt;
}

TPictureKind PictureKindOf(const QString &path, QByteArray *qtFormat)
{
    const TPictureKind named = kindOfExtension(path);
    if (named != TPictureKind::Unknown)
        return named;
    return PictureKindFromContent(path, qtFormat);
}

TBitmap LoadQtPicture(const QString &path, QSize minimumSize, QSize *fullSize)
{
    const QString name = displayName(path);
    QFile file(path);
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". It is not a file").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". %2").arg(name, file.errorString()));
    AllowQtPictureLimits();
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (!reader.canRead())
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read picture \"%1\": it is no picture Plumora reads").arg(name));
    // A plugin that states no size is checked after reading, against what
    // it decoded; Qt's own allocation limit bounds that.
    if (size.isValid()
        && (qint64(size.width()) * size.height() > kPictureMaxPixels
            || qint64(size.width()) * size.height() * 4 > kPictureMaxBitmapBytes))
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read picture \"%1\": the picture is too large (%2 x %3 pixels)")
                .arg(name)
                .arg(size.width())
                .arg(size.height()));
    if (size.isValid() && minimumSize.isValid()
        && qint64(size.width()) * size.height() > kJpegFullDecodeMaxPixels
        && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // The smallest size, in the picture's proportions, that still gives
        // what the caller needs of each side.
        const double scale = std::max(double(std::min(minimumSize.width(), size.width())) / size.width(),
            double(std::min(minimumSize.height(), size.height())) / size.height());
        const QSize scaled(std::max(1, int(std::ceil(size.width() * scale))),
            std::max(1, int(std::ceil(size.height() * scale))));
        reader.setScaledSize(scaled);
    }
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read picture \"%1\": %2").arg(name, reader.errorString()));
    if (qint64(image.width()) * image.height() > kPictureMaxPixels
        || image.sizeInBytes() > kPictureMaxBitmapBytes)
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read picture \"%1\": the picture is too large (%2 x %3 pixels)")
                .arg(name)
                .arg(image.width())
                .arg(image.height()));
    if (fullSize)
        *fullSize = size.isValid() ? size : image.size();
    switch (image.format()) {
    case QImage::Format_Indexed8:
        return TBitmap(image, 8);
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return TBitmap(image);
    default:
        return TBitmap(
            image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32));
    }
}

bool IsQtAnimation(const QString &path)
{
    QFile file(path);
    if (!openPlainFile(file))
        return false;
    AllowQtPictureLimits();
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    return reader.supportsAnimation() && reader.imageCount() != 1 && reader.canRead();
}
