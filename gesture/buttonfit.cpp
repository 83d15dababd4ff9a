#include "buttonfit.h"

#include "codecs/gifimage.h"
#include "codecs/pictureio.h"

#include <QPainter>

#include <cmath>
#include <limits>

namespace {

// trunc(a x r) of the exact product. The rounded double product can land on
// the next integer (18 x 0.333... rounds to 6.0); fma gives the exact sign of
// the difference.
double truncProduct(double a, double r)
{
    const double p = a * r;
    if (!std::isfinite(p))
        return p;
    double t = std::trunc(p);
    if (std::fma(a, r, -t) < 0)
        t -= 1;
    return t;
}

// trunc(a / r) of the exact quotient, for a, r > 0.
double truncQuotient(double a, double r)
{
    double t = std::trunc(a / r);
    if (t > 0 && std::fma(-t, r, a) < 0)
        t -= 1;
    return t;
}

TBitmap whitePicture()
{
    QImage image(kButtonPictureSize, kButtonPictureSize, QImage::Format_RGB32);
    image.fill(qRgb(255, 255, 255));
    return TBitmap(image);
}

// A copy of the bitmap in which its transparent colour has alpha 0.
QImage maskedImage(const TBitmap &bitmap)
{
    const QRgb key = toQRgb(bitmap.transparentColor()) & RGB_MASK;
    QImage image = bitmap.image();
    if (image.format() == QImage::Format_Indexed8) {
        QVector<QRgb> table = image.colorTable();
        for (QRgb &entry : table)
            if ((entry & RGB_MASK) == key)
                entry = entry & RGB_MASK;
        image.setColorTable(table);
        return image;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((row[x] & RGB_MASK) == key)
                row[x] = 0;
    }
    return image;
}

} // namespace

double ButtonPictureRatio(int width, int height)
{
    if (width == 0)
        return height == 0 ? std::numeric_limits<double>::quiet_NaN()
                           : std::numeric_limits<double>::infinity();
    return double(height) / double(width);
}

QRect ButtonPictureRect(double ratio)
{
    constexpr int size = kButtonPictureSize;
    if (!(ratio > 0))
        return {};
    int w = size;
    int h = 0;
    const double tall = truncProduct(size, ratio);
    if (tall > size) {
        h = size;
        w = int(truncQuotient(size, ratio)); // 0 for an infinite ratio
    } else {
        h = int(tall);
    }
    return QRect((size - w) / 2, (size - h) / 2, w, h);
}

TBitmap FitButtonPicture(const std::function<void(QPainter &, const QRect &)> &draw, double ratio)
{
    TBitmap picture = whitePicture();
    const QRect target = ButtonPictureRect(ratio);
    if (target.isEmpty())
        return picture;
    QPainter painter(&picture.image());
    draw(painter, target);
    painter.end();
    return picture;
}

TBitmap FitButtonPicture(const TBitmap &source, double ratio)
{
    if (source.isEmpty())
        return whitePicture();
    const QImage image = source.transparent() ? maskedImage(source) : source.image();
    return FitButtonPicture(
        [&image](QPainter &painter, const QRect &target) { painter.drawImage(target, image); }, ratio);
}

TBitmap FitButtonPicture(TGIFImage &source, double ratio)
{
    if (source.FrameCount() == 0)
        return whitePicture();
    const int current = source.FrameIndex;
    source.FrameIndex = 0;
    try {
        TBitmap picture = FitButtonPicture(
            [&source](QPainter &painter, const QRect &target) { source.DrawFrame(painter, target); }, ratio);
        source.FrameIndex = current;
        return picture;
    } catch (...) {
        source.FrameIndex = current;
        throw;
    }
}

TBitmap ButtonPlaceholderPicture()
{
    TBitmap picture = whitePicture();
    QPainter painter(&picture.image());
    painter.fillRect(QRect(0, 0, kButtonPictureSize - 1, kButtonPictureSize - 1), QColor(192, 192, 192));
    return picture;
}

TBitmap ButtonPictureFromFile(const QString &path)
{
    QSize size;
    const TBitmap picture
        = LoadPicture(path, TJpegColors::FullColor, QSize(kButtonPictureSize, kButtonPictureSize), &size);
    return FitButtonPicture(picture, ButtonPictureRatio(size.width(), size.height()));
}
