#pragma once
// Reduction of true-colour bitmaps to one 256-colour palette, for GIF output.
#include "platform/bitmap.h"

// How a true-colour picture is reduced. The numbers are the stored values of
// the setting; the program uses the histogram method, or grey-scale for frames
// marked grey.
enum class TReductionMethod : int {
    Histogram = 0, // colours cut into 256 groups where the squared error drops most
    GrayScale = 5, // palette i = (i, i, i), pixel = luminance
};

// The program-wide method used when a caller does not name one (initially
// Histogram).
TReductionMethod DefaultReductionMethod();
void SetDefaultReductionMethod(TReductionMethod method);

// An 8-bit palette copy of the bitmap: Format_Indexed8, bitsPerPixel() 8,
// exactly 256 palette entries. An 8-bit palette bitmap is returned unchanged
// unless grey-scale is asked for. Raises EInvalidGraphicOperation("Bitmap
// image is not valid") for an empty bitmap.
TBitmap ReduceToPalette(const TBitmap &bitmap, TReductionMethod method);
TBitmap ReduceToPalette(const TBitmap &bitmap);
