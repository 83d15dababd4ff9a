#pragma once
// Colours are 32-bit values 0x00BBGGRR (red in the low byte). Every conversion
// to and from Qt's QRgb (0xAARRGGBB) goes through these functions.
#include <QColor>
#include <QRgb>

#include <cstdint>

using TColor = std::uint32_t;

// The reserved value meaning "no colour".
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clFuchsia = 0xFF00FF;

constexpr TColor RGBColor(int r, int g, int b)
{
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}
constexpr int redOf(TColor c)
{
    return int(c & 0xFF);
}
constexpr int greenOf(TColor c)
{
    return int((c >> 8) & 0xFF);
}
constexpr int blueOf(TColor c)
{
    return int((c >> 16) & 0xFF);
}

// Opaque QRgb of a colour (none gives opaque black).
constexpr QRgb toQRgb(TColor c)
{
    return c == clNone ? qRgb(0, 0, 0) : qRgb(redOf(c), greenOf(c), blueOf(c));
}
// The colour of a QRgb, alpha ignored.
constexpr TColor fromQRgb(QRgb rgb)
{
    return RGBColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

inline QColor toQColor(TColor c)
{
    return QColor::fromRgb(toQRgb(c));
}
inline TColor fromQColor(const QColor &c)
{
    return RGBColor(c.red(), c.green(), c.blue());
}
