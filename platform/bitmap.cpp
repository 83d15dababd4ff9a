#include "bitmap.h"

TBitmap::TBitmap(const QImage &image, int paletteDepth)
{
    setImage(image, paletteDepth);
}

TBitmap TBitmap::indexed(int width, int height, int depth, const QVector<QRgb> &palette)
{
    QImage image(width, height, QImage::Format_Indexed8);
    QVector<QRgb> table = palette;
    const int entries = 1 << depth;
    table.resize(entries);
    for (int i = palette.size(); i < entries; ++i)
        table[i] = qRgb(128, 128, 128);
    image.setColorTable(table);
    if (!image.isNull())
        image.fill(0);
    TBitmap bitmap;
    bitmap.m_image = image;
    bitmap.m_depth = depth;
    return bitmap;
}

void TBitmap::setImage(const QImage &image, int paletteDepth)
{
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        m_image = image.convertToFormat(QImage::Format_Indexed8);
        m_depth = 1;
        break;
    case QImage::Format_Indexed8:
        m_image = image;
        m_depth = paletteDepth == 1 || paletteDepth == 4 ? paletteDepth : 8;
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_Invalid:
        m_image = image;
        m_depth = 0;
        break;
    default:
        m_image
            = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        m_depth = 0;
        break;
    }
}

int TBitmap::bitsPerPixel() const
{
    if (m_image.isNull())
        return 0;
    if (hasPalette())
        return m_depth;
    return m_image.format() == QImage::Format_ARGB32 ? 32 : 24;
}

TColor TBitmap::nearestColor(TColor color) const
{
    if (color == clNone || !hasPalette())
        return color;
    const QVector<QRgb> table = m_image.colorTable();
    TColor best = color;
    long bestDistance = -1;
    for (QRgb entry : table) {
        const long dr = qRed(entry) - redOf(color);
        const long dg = qGreen(entry) - greenOf(color);
        const long db = qBlue(entry) - blueOf(color);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = fromQRgb(entry);
        }
    }
    return best;
}

TColor TBitmap::transparentColor() const
{
    if (m_transparentColor != clNone)
        return m_transparentColor;
    if (isEmpty())
        return clNone;
    return pixelColor(0, height() - 1);
}

QImage TBitmap::toRgb32() const
{
    if (m_image.isNull())
        return {};
    if (m_image.format() == QImage::Format_RGB32)
        return m_image;
    return m_image.convertToFormat(QImage::Format_RGB32);
}
