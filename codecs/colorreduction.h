#pragma once
// Reduction of true-colour bitmaps to one 256-colour palette, for GIF output.
#include "platform/bitmap.h"

// How a true-colour picture is reduced: the histogram method, or grey-scale
// for frames marked grey (TGIFFrame::IsGray).
enum class TReductionMethod : int {
    Histogram = 0, // ReduceColours to 256 colours
    GrayScale = 5, // palette i = (i, i, i), pixel = luminance
};

// An 8-bit palette copy of the bitmap: Format_Indexed8, bitsPerPixel() 8,
// exactly 256 palette entries. An 8-bit palette bitmap is returned unchanged
// unless grey-scale is asked for. Raises EInvalidGraphicOperation("Bitmap
// image is not valid") for an empty bitmap.
TBitmap ReduceToPalette(const TBitmap &bitmap, TReductionMethod method = TReductionMethod::Histogram);

// A palette copy of a true-colour picture with at most `colours` colours
// (2..256; Format_Indexed8, 256 palette entries, the unused ones grey).
// Pixels of colour `keep` (clNone: none) come out exactly that colour and
// no other pixel takes it, so a transparent colour survives the reduction.
TBitmap ReduceColours(const TBitmap &bitmap, int colours, TColor keep = clNone);
