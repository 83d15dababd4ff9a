#pragma once
// Which reader a picture file goes to, and reading the pictures that Qt's
// image plugins read (PNG, WebP, TIFF, ...).
//
// GIF, JPEG and BMP files keep their own readers: a file whose upper-cased
// extension names one of them goes to that reader, whatever it holds, so
// that a damaged file is reported by the reader its name promises. Any
// other file is chosen by its content: the GIF, JPEG and BMP signatures
// first, then whatever format a Qt image plugin recognises.
#include "platform/bitmap.h"

#include <QByteArray>
#include <QSize>
#include <QString>

enum class TPictureKind {
    Unknown, // no reader of ours or of Qt's recognises the file
    Gif,
    Jpeg,
    Bmp,
    Qt, // read through QImageReader; the plugin's format name is given beside it
};

// The reader for the file at path. For TPictureKind::Qt, qtFormat receives
// the format Qt recognised ("png", "webp", ...). A file that cannot be
// opened is Unknown unless its extension names a reader.
TPictureKind PictureKindOf(const QString &path, QByteArray *qtFormat = nullptr);
// The same from the content alone (the first bytes and Qt's plugins).
TPictureKind PictureKindFromContent(const QString &path, QByteArray *qtFormat = nullptr);

// A picture through QImageReader, its format recognised from the content.
// The size the plugin states is checked against the readers' limits before
// anything is decoded. A picture with more pixels than
// kJpegFullDecodeMaxPixels is decoded at a smaller size when the plugin can
// scale and the caller needs less (minimumSize, as LoadJpeg). Of an
// animation or a multi-page file, the first picture. Palette pictures stay
// palette bitmaps of depth 8, others become RGB32 (ARGB32 with alpha).
// fullSize receives the picture's own size. Raises PlumoraError naming the
// file when it cannot be read.
TBitmap LoadQtPicture(const QString &path, QSize minimumSize = {}, QSize *fullSize = nullptr);

// Qt's image readers refuse, by default, any picture above 128 MB, counted
// at 4 bytes a pixel whatever its format: far below the limits of
// pictureio.h. Raises Qt's limit, once, to take every picture of
// kPictureMaxPixels; our own checks come first and also bound the bytes.
void AllowQtPictureLimits();

// True when the reader that a QImageReader over the file uses reads an
// animation of two pictures or more (an animated WebP, an MNG).
bool IsQtAnimation(const QString &path);
