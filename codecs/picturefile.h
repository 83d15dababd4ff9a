#pragma once
// What the picture readers and writers of this folder share: names in
// messages, reading a whole picture file, and the size limits.
#include "platform/bitmap.h"

#include <QByteArray>
#include <QString>

namespace picturefile {

QString displayName(const QString &path);
// The whole file; refused when it is not a plain file or larger than any
// accepted picture needs.
QByteArray readWholeFile(const QString &path);
// True when a width x height bitmap with the given bytes per line is within
// the readers' limits.
bool withinPictureLimits(qint64 width, qint64 height, qint64 bytesPerLine);
QString tooLargeMessage(const QString &kind, const QString &path, qint64 width, qint64 height);
// Raises EInvalidGraphicOperation naming path when the bitmap is empty.
void requireNonEmpty(const TBitmap &bitmap, const QString &path);

} // namespace picturefile
