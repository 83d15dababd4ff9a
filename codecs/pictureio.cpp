// Single-picture files: BMP through QImage for reading and a small writer of
// our own, GIF through the program's GIF codec, and the choice of reader by
// content. JPEG through libjpeg is in jpegio.cpp.
#include "pictureio.h"

#include "gifimage.h"
#include "picturefile.h"
#include "picturekind.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <climits>

namespace picturefile {

namespace {

// Files larger than this are refused before being read: no accepted picture
// needs more, whatever its format.
constexpr qint64 kMaxFileBytes = 2 * kPictureMaxBitmapBytes;

} // namespace

QString displayName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QByteArray readWholeFile(const QString &path)
{
    // Only plain files: opening a named pipe waits for a writer, and a device
    // such as /dev/zero never ends.
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        throw EStreamError(
            QStringLiteral("Cannot open file \"%1\". It is not a file").arg(displayName(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EStreamError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(displayName(path), file.errorString()));
    if (file.size() > kMaxFileBytes)
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read picture \"%1\": the file is too large").arg(displayName(path)));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EStreamError(
            QStringLiteral("Cannot read file \"%1\". %2").arg(displayName(path), file.errorString()));
    return bytes;
}

bool withinPictureLimits(qint64 width, qint64 height, qint64 bytesPerLine)
{
    return width > 0 && height > 0 && width * height <= kPictureMaxPixels
        && bytesPerLine * height <= kPictureMaxBitmapBytes;
}

QString tooLargeMessage(const QString &kind, const QString &path, qint64 width, qint64 height)
{
    return QStringLiteral("Cannot read %1 picture \"%2\": the picture is too large (%3 x %4 pixels)")
        .arg(kind, displayName(path))
        .arg(width)
        .arg(height);
}

void requireNonEmpty(const TBitmap &bitmap, const QString &path)
{
    if (bitmap.isEmpty())
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot save \"%1\": the picture is empty").arg(displayName(path)));
}

} // namespace picturefile

using namespace picturefile;

namespace {

// The upper-cased extension with its dot (".JPG"), or empty without one.
QString upperExtension(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix.toUpper();
}

// ---------------------------------------------------------------------------
// BMP

// What the BMP headers say, as far as the reader needs it before decoding.
struct BmpHeader
{
    qint64 width = 0;
    qint64 height = 0; // absolute value; negative heights mean top-down rows
    int bitCount = 0;
    quint32 compression = 0;
    quint32 pixelOffset = 0;
};

constexpr quint32 kBiRgb = 0;
constexpr quint32 kBiRle8 = 1;
constexpr quint32 kBiRle4 = 2;
constexpr quint32 kBiBitfields = 3;

// True when run-length data reaches its end-of-bitmap mark, or its last row,
// before the file ends. A cut RLE bitmap would otherwise decode silently with
// its missing rows left blank.
bool rleDataComplete(const QByteArray &bytes, const BmpHeader &header)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 size = bytes.size();
    qint64 at = header.pixelOffset;
    qint64 rows = 0;
    while (at + 1 < size) {
        const uchar count = p[at];
        const uchar code = p[at + 1];
        at += 2;
        if (count != 0)
            continue; // a run of count pixels
        if (code == 0) { // end of line
            if (++rows >= header.height)
                return true;
        } else if (code == 1) { // end of bitmap
            return true;
        } else if (code == 2) { // delta: dx, dy
            if (at + 1 >= size)
                return false;
            rows += p[at + 1];
            at += 2;
            if (rows >= header.height)
                return true;
        } else { // code literal pixels, padded to a 16-bit boundary
            const qint64 literal = header.compression == kBiRle8 ? code : (code + 1) / 2;
            at += (literal + 1) / 2 * 2;
            if (at > size)
                return false;
        }
    }
    return false;
}

// The picture's size, from the first 26 bytes: 16-bit sides in the OS/2
// core header, 32-bit ones in the others.
bool parseBmpSize(const QByteArray &bytes, BmpHeader &header)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    if (bytes.size() < 26 || p[0] != 'B' || p[1] != 'M')
        return false;
    if (qFromLittleEndian<quint32>(p + 14) == 12) {
        header.width = qFromLittleEndian<quint16>(p + 18);
        header.height = qFromLittleEndian<quint16>(p + 20);
    } else {
        header.width = qFromLittleEndian<qint32>(p + 18);
        header.height = qAbs(qint64(qFromLittleEndian<qint32>(p + 22)));
    }
    return true;
}

bool parseBmpHeader(const QByteArray &bytes, BmpHeader &header)
{
    if (!parseBmpSize(bytes, header))
        return false;
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    header.pixelOffset = qFromLittleEndian<quint32>(p + 10);
    const quint32 infoSize = qFromLittleEndian<quint32>(p + 14);
    if (infoSize == 12) { // OS/2 core header: never compressed
        header.bitCount = qFromLittleEndian<quint16>(p + 24);
        return true;
    }
    if (infoSize < 40 || bytes.size() < 14 + 40)
        return false;
    header.bitCount = qFromLittleEndian<quint16>(p + 28);
    header.compression = qFromLittleEndian<quint32>(p + 30);
    return true;
}

void putLe16(QByteArray &out, int offset, quint16 v)
{
    qToLittleEndian(v, out.data() + offset);
}
void putLe32(QByteArray &out, int offset, quint32 v)
{
    qToLittleEndian(v, out.data() + offset);
}

} // namespace

QSize BmpStatedSize(const QByteArray &head)
{
    BmpHeader header;
    if (!parseBmpSize(head, header) || header.width <= 0 || header.height <= 0 || header.width > INT_MAX
        || header.height > INT_MAX)
        return {};
    return QSize(int(header.width), int(header.height));
}

// ---------------------------------------------------------------------------

TBitmap LoadBmp(const QString &path)
{
    return LoadBmpFromBuffer(readWholeFile(path), path);
}

TBitmap LoadBmpFromBuffer(const QByteArray &bytes, const QString &path)
{
    const QString name = displayName(path);
    BmpHeader header;
    if (!parseBmpHeader(bytes, header))
        throw EInvalidGraphicOperation(QStringLiteral("Cannot read bitmap \"%1\": not a BMP file").arg(name));
    if (header.width <= 0 || header.height <= 0)
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read bitmap \"%1\": the picture has no pixels").arg(name));
    const qint64 bytesPerLine = header.bitCount <= 8 ? (header.width + 3) / 4 * 4 : header.width * 4;
    if (!withinPictureLimits(header.width, header.height, bytesPerLine))
        throw EInvalidGraphicOperation(
            tooLargeMessage(QStringLiteral("BMP"), path, header.width, header.height));
    // Uncompressed rows have a known size; a file that ends before them is
    // damaged, even where a lenient decoder would fill in the missing rows.
    if (header.compression == kBiRgb || header.compression == kBiBitfields) {
        const qint64 stride = (header.width * header.bitCount + 31) / 32 * 4;
        if (qint64(header.pixelOffset) + stride * header.height > bytes.size())
            throw EInvalidGraphicOperation(
                QStringLiteral("Cannot read bitmap \"%1\": the file is truncated").arg(name));
    } else if ((header.compression == kBiRle8 || header.compression == kBiRle4)
        && !rleDataComplete(bytes, header)) {
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read bitmap \"%1\": the file is truncated").arg(name));
    }

    AllowQtPictureLimits();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        // Qt gives no reason of its own when a picture is beyond its
        // allocation limit (counted at 4 bytes a pixel).
        if (header.width * header.height * 4 >= qint64(QImageReader::allocationLimit()) * 1024 * 1024)
            throw EInvalidGraphicOperation(
                tooLargeMessage(QStringLiteral("BMP"), path, header.width, header.height));
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read bitmap \"%1\": %2").arg(name, reader.errorString()));
    }
    if (image.format() == QImage::Format_Indexed8)
        return TBitmap(image, header.bitCount == 4 ? 4 : 8);
    return TBitmap(image);
}

TBitmap LoadPicture(const QString &path, TJpegColors jpegColors, QSize minimumSize, QSize *fullSize)
{
    TBitmap bitmap;
    switch (PictureKindOf(path)) {
    case TPictureKind::Jpeg:
        return LoadJpeg(path, jpegColors == TJpegColors::Quantized, minimumSize, fullSize);
    case TPictureKind::Qt:
        return LoadQtPicture(path, minimumSize, fullSize);
    case TPictureKind::Gif: {
        TGIFImage gif;
        gif.ReadFromFile(path);
        if (gif.FrameCount() == 0)
            throw EInvalidGraphicOperation(
                QStringLiteral("Cannot read GIF picture \"%1\": the file holds no image")
                    .arg(displayName(path)));
        gif.FrameIndex = 0;
        gif.RenderTo(bitmap);
        break;
    }
    case TPictureKind::Bmp:
        bitmap = LoadBmp(path);
        break;
    case TPictureKind::Unknown:
        if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
            throw EStreamError(
                QStringLiteral("Cannot open file \"%1\". It is not a file").arg(displayName(path)));
        if (!QFileInfo::exists(path))
            throw EStreamError(
                QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(displayName(path)));
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read \"%1\": it is no picture Plumora reads (GIF, JPEG, BMP, PNG, WebP, "
                           "TIFF and the other formats of Qt's image plugins)")
                .arg(displayName(path)));
    }
    if (fullSize)
        *fullSize = QSize(bitmap.width(), bitmap.height());
    return bitmap;
}

QByteArray EncodeBmp(const TBitmap &bitmap, const QString &name)
{
    requireNonEmpty(bitmap, name);
    const QImage &source = bitmap.image();
    const int width = bitmap.width();
    const int height = bitmap.height();

    int depth = 24;
    QVector<QRgb> palette;
    if (bitmap.hasPalette()) {
        palette = bitmap.palette();
        depth = bitmap.bitsPerPixel();
        // A palette or index that does not fit the kept depth is written at
        // 8 bits rather than cut.
        uchar maxIndex = 0;
        for (int y = 0; y < height; ++y) {
            const uchar *line = source.constScanLine(y);
            maxIndex = std::max(maxIndex, *std::max_element(line, line + width));
        }
        if (palette.size() > (1 << depth) || maxIndex >= (1 << depth))
            depth = 8;
        palette.resize(1 << depth); // missing entries become black
    }

    const qint64 stride = (qint64(width) * depth + 31) / 32 * 4;
    const qint64 paletteBytes = qint64(palette.size()) * 4;
    const qint64 offset = 14 + 40 + paletteBytes;
    const qint64 total = offset + stride * height;
    if (total > 0x7FFFFFFF)
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot save bitmap \"%1\": the picture is too large").arg(displayName(name)));

    QByteArray out(qsizetype(total), '\0');
    out[0] = 'B';
    out[1] = 'M';
    putLe32(out, 2, quint32(total));
    putLe32(out, 10, quint32(offset));
    putLe32(out, 14, 40);
    putLe32(out, 18, quint32(width));
    putLe32(out, 22, quint32(height)); // positive: rows run bottom-up
    putLe16(out, 26, 1);
    putLe16(out, 28, quint16(depth));
    putLe32(out, 30, kBiRgb);
    putLe32(out, 34, quint32(stride * height));
    for (int i = 0; i < palette.size(); ++i) {
        uchar *entry = reinterpret_cast<uchar *>(out.data()) + 54 + 4 * i;
        entry[0] = uchar(qBlue(palette[i]));
        entry[1] = uchar(qGreen(palette[i]));
        entry[2] = uchar(qRed(palette[i]));
    }

    const QImage rgb = depth == 24 ? bitmap.toRgb32() : QImage();
    for (int y = 0; y < height; ++y) {
        uchar *row = reinterpret_cast<uchar *>(out.data()) + offset + stride * (height - 1 - y);
        if (depth == 24) {
            const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                row[3 * x] = uchar(qBlue(line[x]));
                row[3 * x + 1] = uchar(qGreen(line[x]));
                row[3 * x + 2] = uchar(qRed(line[x]));
            }
        } else if (depth == 8) {
            std::copy_n(source.constScanLine(y), width, row);
        } else {
            const uchar *line = source.constScanLine(y);
            const int perByte = 8 / depth;
            for (int x = 0; x < width; ++x) {
                const int shift = 8 - depth * (x % perByte + 1);
                row[x / perByte] |= uchar(line[x] << shift);
            }
        }
    }
    return out;
}

void SaveBmp(const TBitmap &bitmap, const QString &path)
{
    plumora::writeFileAtomically(path, EncodeBmp(bitmap, path));
}

void SavePicture(const TBitmap &bitmap, const QString &path)
{
    const QString ext = upperExtension(path);
    if (ext == QLatin1String(".GIF")) {
        requireNonEmpty(bitmap, path);
        TGIFImage gif;
        gif.AppendFrame(bitmap);
        gif.WriteToFile(path);
    } else if (ext == QLatin1String(".BMP")) {
        SaveBmp(bitmap, path);
    } else if (ext == QLatin1String(".JPG") || ext == QLatin1String(".JPEG")) {
        SaveJpeg(bitmap, path);
    } else {
        const QString what = ext.isEmpty() ? QStringLiteral("files without an extension")
                                           : QStringLiteral("\"%1\" files").arg(ext.toLower());
        throw EInvalidGraphicOperation(QStringLiteral(
            "Cannot save \"%1\": Plumora cannot save pictures as %2; choose .gif, .bmp or .jpg")
                                           .arg(displayName(path), what));
    }
}
