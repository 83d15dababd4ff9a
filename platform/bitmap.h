#pragma once
// The program's bitmap: a QImage plus what Qt does not keep for us.
//
// Palette images are stored as QImage::Format_Indexed8 whatever their depth;
// the depth the picture had (1, 4 or 8 bits per pixel) is kept beside it, so a
// 4-bit picture is written again as a 4-bit picture. True-colour images are
// Format_RGB32 (or ARGB32 when they carry alpha). The transparent colour and
// the transparent flag are kept beside the image too, because a masked draw
// uses one colour key, not an alpha channel.
#include "platform/colors.h"

#include <QImage>
#include <QVector>

class TBitmap
{
public:
    TBitmap() = default;
    // Takes any QImage: 1-bit images become Indexed8 with depth 1, Indexed8
    // images keep depth 8 unless a smaller palette depth is given.
    explicit TBitmap(const QImage &image, int paletteDepth = 0);

    // A palette image of the given depth (1, 4 or 8) and size, all pixels
    // index 0, with the palette padded to 2^depth entries with grey 128.
    static TBitmap indexed(int width, int height, int depth, const QVector<QRgb> &palette);

    const QImage &image() const { return m_image; }
    QImage &image() { return m_image; }
    void setImage(const QImage &image, int paletteDepth = 0);

    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    bool isEmpty() const { return m_image.isNull() || m_image.width() == 0 || m_image.height() == 0; }

    // Bits per pixel: 1, 4 or 8 for palette images, 24 or 32 for true colour,
    // 0 for an empty bitmap.
    int bitsPerPixel() const;
    bool hasPalette() const { return m_image.format() == QImage::Format_Indexed8; }
    QVector<QRgb> palette() const { return m_image.colorTable(); }

    // Colour of a pixel, whatever the storage.
    TColor pixelColor(int x, int y) const { return fromQRgb(m_image.pixel(x, y)); }

    // The colour the bitmap's palette (or, for true colour, the colour space)
    // holds nearest to the given one.
    TColor nearestColor(TColor color) const;

    // The transparent colour: the one set explicitly, or else the colour of
    // the bottom-left pixel (none for an empty bitmap).
    TColor transparentColor() const;
    void setTransparentColor(TColor color) { m_transparentColor = color; }
    bool transparent() const { return m_transparent; }
    void setTransparent(bool on) { m_transparent = on; }

    // Monochrome is a display hint carried from copy to copy.
    bool monochrome() const { return m_monochrome; }
    void setMonochrome(bool on) { m_monochrome = on; }

    // A 32-bit true-colour copy of the pixels (palette resolved).
    QImage toRgb32() const;

private:
    QImage m_image;
    int m_depth = 0; // palette depth of Indexed8 images
    TColor m_transparentColor = clNone;
    bool m_transparent = false;
    bool m_monochrome = false;
};
