#pragma once
// Loading and saving single pictures as GIF, JPEG and BMP files. The kind of
// a file is chosen by its upper-cased extension, never by its content.
//
// Every reader checks the picture's size before allocating its bitmap and
// turns damaged data into a PlumoraError naming the file; every writer
// assembles the whole file in memory and replaces the target as a whole
// (platform/atomicfile.h), so a failed save leaves an existing file as it was.
#include "platform/bitmap.h"

#include <QByteArray>
#include <QSize>
#include <QString>

// Largest picture the readers accept: at most kPictureMaxPixels pixels, and a
// decoded bitmap of at most kPictureMaxBitmapBytes bytes.
inline constexpr qint64 kPictureMaxPixels = qint64(16384) * 16384;
inline constexpr qint64 kPictureMaxBitmapBytes = qint64(256) * 1024 * 1024;

// JPEGs of up to this many pixels always decode at full size. A larger one
// is decoded at a smaller scale when the caller needs fewer pixels (see
// LoadJpeg).
inline constexpr qint64 kJpegFullDecodeMaxPixels = qint64(4096) * 4096;

// Quantised JPEG decoding gives at most this many palette entries, leaving
// room for the 20 colours a palette display keeps for itself.
inline constexpr int kJpegQuantizedColors = 236;

// How LoadPicture decodes a JPEG file: in full colour (24-bit), or reduced
// by libjpeg's two-pass colour quantisation with Floyd-Steinberg dithering
// to an 8-bit palette picture of at most kJpegQuantizedColors colours.
// Animation sources are quantised before they are cut into frames; button
// pictures are taken in full colour.
enum class TJpegColors { FullColor, Quantized };

// JPEG through libjpeg. Quantized gives an Indexed8 bitmap of depth 8 whose
// palette holds exactly the colours libjpeg chose (grey levels for greyscale
// JPEGs); otherwise an RGB32 bitmap. CMYK and YCCK files are converted to
// RGB; quantised, they are reduced by the program's own colour reduction
// (libjpeg quantises only RGB output).
//
// minimumSize is the least the caller needs of each side (lowered to the
// picture's own side); invalid, the default, asks for the full picture. A
// picture of more than kJpegFullDecodeMaxPixels pixels is then decoded by
// libjpeg's DCT scaling at the smallest of the scales 1/8, 2/8, ... 7/8 that
// keeps that many pixels, which bounds its memory and most of its work.
// fullSize, when given, receives the picture's own size. A progressive file
// keeps all its coefficients while its scans are read, at any scale, and is
// given the memory they take. Its scans and the work of reading them are
// bounded in proportion to the picture; a file past either is refused with a
// message saying so, from its scan headers before anything is decoded.
TBitmap LoadJpeg(const QString &path, bool quantize, QSize minimumSize = {}, QSize *fullSize = nullptr);
// The same for a JPEG file's bytes; name is used in error messages only.
TBitmap LoadJpegFromBuffer(const QByteArray &bytes, bool quantize, const QString &name,
    QSize minimumSize = {}, QSize *fullSize = nullptr);

// BMP through QImage. Palette pictures stay palette bitmaps with their depth
// (1, 4 or 8 bits); others become RGB32 (or ARGB32 when they carry alpha).
TBitmap LoadBmp(const QString &path);
// The same for a BMP file's bytes; name is used in error messages only.
TBitmap LoadBmpFromBuffer(const QByteArray &bytes, const QString &name);
// The size a BMP file's header states, from the file's first 26 bytes; invalid when they do not start a BMP.
// Nothing is decoded, so a picture too large to read can still say how large it is.
QSize BmpStatedSize(const QByteArray &head);

// ".GIF": the first frame of the GIF (with its transparent colour, as a
// bitmap copying from the image receives it); ".JPG", ".JPEG": LoadJpeg,
// with minimumSize and fullSize as there; ".BMP": LoadBmp. GIFs and BMPs are
// read at full size. Any other extension, and a GIF without any image,
// raises EInvalidGraphicOperation.
TBitmap LoadPicture(const QString &path, TJpegColors jpegColors = TJpegColors::FullColor,
    QSize minimumSize = {}, QSize *fullSize = nullptr);

// Baseline JPEG (not progressive) at the given quality (1..100, clamped),
// 4:2:0 YCbCr as libjpeg's defaults make it.
void SaveJpeg(const TBitmap &bitmap, const QString &path, int quality = 90);
// The JPEG file's bytes, as SaveJpeg writes them; name is for messages only.
QByteArray EncodeJpeg(const TBitmap &bitmap, int quality, const QString &name);

// Uncompressed BMP with a 40-byte header, rows bottom-up: palette bitmaps at
// their depth (1, 4 or 8 bits) with a full palette, all others 24-bit.
void SaveBmp(const TBitmap &bitmap, const QString &path);
QByteArray EncodeBmp(const TBitmap &bitmap, const QString &name);

// By the upper-cased extension: ".GIF" as a one-frame GIF through the GIF
// writer, ".BMP" as SaveBmp, ".JPG" and ".JPEG" as SaveJpeg at quality 90.
// Any other extension raises EInvalidGraphicOperation and writes nothing.
void SavePicture(const TBitmap &bitmap, const QString &path);
