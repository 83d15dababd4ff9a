#pragma once
// The button picture: any picture reduced to 18 x 18 pixels, keeping its
// aspect ratio and centred on white. Used when a button picture is loaded
// from a file and when one is made from the first frame of an animation.
#include "platform/bitmap.h"

#include <QRect>

#include <functional>

class QPainter;
class QString;
class TGIFImage;

inline constexpr int kButtonPictureSize = 18;

// Height divided by width in double precision; infinite or NaN for a
// picture without width (which then draws nothing).
double ButtonPictureRatio(int width, int height);

// Where a picture of the given height/width ratio is drawn in the 18 x 18
// button picture: the full width with the height truncated, or, when that
// height would exceed 18, the full height with the width truncated; centred
// with integer division. The products and quotients are truncated from their
// exact values, so 18 x (100 / 300.0) gives 5, not the 6 that the rounded
// double product would give. A ratio that is zero, negative or NaN gives an
// empty rectangle.
QRect ButtonPictureRect(double ratio);

// A new 18 x 18 white picture, not transparent, with draw called once to
// paint the source stretched into ButtonPictureRect(ratio); not called when
// that rectangle is empty.
TBitmap FitButtonPicture(const std::function<void(QPainter &, const QRect &)> &draw, double ratio);
// The same for a bitmap, stretched without smoothing; when the bitmap is
// marked transparent, pixels of its transparent colour are left out and the
// white shows through.
TBitmap FitButtonPicture(const TBitmap &source, double ratio);
// The same for the first frame of a GIF image, drawn as the image's
// DrawFrame draws it (masked only when the image's Transparent query is
// true). The image's FrameIndex is left as it was.
TBitmap FitButtonPicture(TGIFImage &source, double ratio);

// The button picture of a picture file (GIF, JPEG or BMP, by its extension),
// fitted with the ratio of the picture's own size. A large JPEG is decoded
// only as large as the button needs. Raises PlumoraError when the file
// cannot be read.
TBitmap ButtonPictureFromFile(const QString &path);

// The placeholder shown while no button picture has been made: 18 x 18
// white with the top-left 17 x 17 pixels silver (192, 192, 192).
TBitmap ButtonPlaceholderPicture();
