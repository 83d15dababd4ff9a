#include "pictureanimation.h"

#include "animationimport.h"
#include "codecs/gifimage.h"
#include "codecs/pictureio.h"
#include "codecs/picturekind.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>

namespace {

QString displayName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Blends an ARGB pixel over white.
QRgb overWhite(QRgb pixel)
{
    const int alpha = qAlpha(pixel);
    if (alpha == 255)
        return pixel;
    const auto blend = [alpha](int value) { return (value * alpha + 255 * (255 - alpha) + 127) / 255; };
    return qRgb(blend(qRed(pixel)), blend(qGreen(pixel)), blend(qBlue(pixel)));
}

} // namespace

QImage ScaleNearestOverWhite(const QImage &picture, QSize size)
{
    const QImage source
        = picture.format() == QImage::Format_ARGB32 || picture.format() == QImage::Format_RGB32
        ? picture
        : picture.convertToFormat(QImage::Format_ARGB32);
    QImage scaled(size, QImage::Format_RGB32);
    if (scaled.isNull() || source.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Not enough memory to scale an animation's frame"));
    const qint64 width = source.width();
    const qint64 height = source.height();
    std::vector<int> columns(std::size_t(size.width()));
    for (int x = 0; x < size.width(); ++x)
        columns[std::size_t(x)] = int((2 * qint64(x) + 1) * width / (2 * qint64(size.width())));
    const bool alpha = source.format() == QImage::Format_ARGB32;
    for (int y = 0; y < size.height(); ++y) {
        const int sy = int((2 * qint64(y) + 1) * height / (2 * qint64(size.height())));
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(sy));
        auto *out = reinterpret_cast<QRgb *>(scaled.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const QRgb pixel = in[columns[std::size_t(x)]];
            out[x] = alpha ? overWhite(pixel) : (pixel | 0xFF000000u);
        }
    }
    return scaled;
}

TPictureFrames ReadPictureFrames(const QString &path, const std::function<QSize(QSize screenSize)> &size,
    const TKeepFrame &keep, const std::function<void(TProgressStage, int)> &progress)
{
    const QString name = displayName(path);
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". %2").arg(name, file.errorString()));
    AllowQtPictureLimits();
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    TPictureFrames result;
    result.Screen = reader.size();
    const qint64 pixels = qint64(result.Screen.width()) * result.Screen.height();
    if (!result.Screen.isValid() || pixels < 1)
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read picture \"%1\": %2").arg(name, reader.errorString()));
    if (pixels > kPictureMaxPixels || pixels * 4 > kPictureMaxBitmapBytes)
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read picture \"%1\": the picture is too large (%2 x %3 pixels)")
                .arg(name)
                .arg(result.Screen.width())
                .arg(result.Screen.height()));
    const qint64 maxFrames = std::max<qint64>(1, kPictureAnimationMaxPixels / pixels);
    const int stated = reader.imageCount();
    const auto tooMany = [&](qint64 frames) {
        return EInvalidGraphicOperation(
            QStringLiteral("Cannot read animation \"%1\": %2 frames of %3 x %4 pixels are more than Plumora "
                           "decodes (%5 frames of this size)")
                .arg(name)
                .arg(frames)
                .arg(result.Screen.width())
                .arg(result.Screen.height())
                .arg(maxFrames));
    };
    if (stated > maxFrames)
        throw tooMany(stated);
    const QSize target = size(result.Screen);

    if (progress)
        progress(TProgressStage::Starting, 0);
    struct End
    {
        const std::function<void(TProgressStage, int)> &progress;
        ~End()
        {
            if (progress)
                progress(TProgressStage::Ending, 100);
        }
    } end { progress };
    qint64 startMs = 0;
    QImage frame;
    int lastPercent = -1;
    for (int index = 0; reader.read(&frame); ++index) {
        if (index >= maxFrames)
            throw tooMany(index + 1);
        if (frame.size() != result.Screen)
            frame = frame.copy(QRect(QPoint(0, 0), result.Screen));
        const int delay = std::max(0, reader.nextImageDelay());
        result.DelaysMs.push_back(delay);
        const qint64 endMs = startMs + ShownDelayMs(delay);
        if (keep(index, startMs, endMs))
            result.Kept.emplace(index, ScaleNearestOverWhite(frame, target));
        startMs = endMs;
        if (progress && stated > 0) {
            const int percent = std::min(99, int(qint64(index + 1) * 100 / stated));
            if (percent != lastPercent)
                progress(TProgressStage::Running, lastPercent = percent);
        }
    }
    if (result.DelaysMs.empty())
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read picture \"%1\": %2").arg(name, reader.errorString()));
    return result;
}
