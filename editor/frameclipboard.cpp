#include "frameclipboard.h"

#include "codecs/pictureio.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"

#include <QClipboard>
#include <QDataStream>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>
#include <QPainter>

#include <algorithm>

namespace {

// Each picture is stored as PNG by QDataStream.
const QString kFramesMimeType = QStringLiteral("application/x-plumora-frames");

} // namespace

bool ClipboardOffersPicture()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return false;
    if (data->hasImage())
        return true;
    const QStringList formats = data->formats();
    return std::any_of(formats.begin(), formats.end(),
        [](const QString &format) { return format.startsWith(QLatin1String("image/")); });
}

QMimeData *FramesMimeData(const QVector<QImage> &pictures)
{
    auto *data = new QMimeData;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << quint32(pictures.size());
    for (const QImage &picture : pictures)
        out << picture;
    data->setData(kFramesMimeType, bytes);
    if (!pictures.isEmpty())
        data->setImageData(pictures.first());
    return data;
}

QList<QImage> ClipboardFrames()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasFormat(kFramesMimeType))
        return {};
    const QByteArray bytes = data->data(kFramesMimeType);
    QDataStream in(bytes);
    quint32 count = 0;
    in >> count;
    QList<QImage> pictures;
    for (quint32 i = 0; i < count && i < quint32(kMaxGestureFrames) && in.status() == QDataStream::Ok; ++i) {
        QImage picture;
        in >> picture;
        if (in.status() != QDataStream::Ok || picture.isNull())
            return {};
        pictures.append(picture);
    }
    return pictures;
}

QImage ClipboardBitmap()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    QImage image = clipboard->image();
    if (!image.isNull())
        return image;
    if (const QMimeData *data = clipboard->mimeData()) {
        const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
        for (const QString &format : data->formats()) {
            if (!format.startsWith(QLatin1String("image/")) || !readable.contains(format.toLatin1()))
                continue;
            // The reader respects Qt's allocation limit, so a forged header
            // cannot make it allocate out of proportion.
            image = QImage::fromData(data->data(format));
            if (!image.isNull())
                return image;
        }
    }
    throw PlumoraError(QStringLiteral("Unsupported clipboard format"));
}

QImage FitToFrame(const QImage &picture, QSize frame)
{
    QImage opaque = picture;
    if (picture.hasAlphaChannel()) {
        opaque = QImage(picture.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, picture);
    }
    if (opaque.size() == frame || frame.isEmpty())
        return opaque;
    QSize size = opaque.size().scaled(frame, Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(1, 1));
    QImage fitted(frame, QImage::Format_RGB32);
    fitted.fill(Qt::white);
    QPainter painter(&fitted);
    painter.drawImage(QPoint((frame.width() - size.width()) / 2, (frame.height() - size.height()) / 2),
        opaque.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    return fitted;
}

QImage ReadDroppedPicture(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("gif") || suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")
        || suffix == QLatin1String("bmp"))
        return LoadPicture(path).image();
    // Other pictures through Qt's readers, which keep to its allocation
    // limit.
    QImageReader reader(path);
    QImage picture = reader.read();
    if (picture.isNull())
        throw PlumoraError(
            QStringLiteral("%1 cannot be read: %2").arg(QFileInfo(path).fileName(), reader.errorString()));
    return picture;
}
