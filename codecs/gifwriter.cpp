// Writing a TGIFImage as a GIF file: encoding the frames that only have a
// bitmap, keeping their extensions in step with the frame fields, and laying
// out the file. The whole file is assembled in memory before anything reaches
// the output, so a failure never leaves a partial GIF behind.
#include "colorreduction.h"
#include "gifimage.h"
#include "lzwencoder.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {

QString noDataMessage()
{
    return QStringLiteral("No GIF Data to write");
}
QString encodingErrorMessage()
{
    return QStringLiteral("GIF image encoding error");
}

constexpr int kMaxSubBlock = 255;
constexpr char kExtensionIntroducer = '!';
constexpr char kImageSeparator = ',';
constexpr char kTrailer = ';';

// A graphic control extension as the file holds it after its label: block
// size 4, packed byte, delay (little-endian), transparent index, terminator.
constexpr int kGraphicControlSize = 6;
constexpr int kPlainTextFixedSize = 13;
constexpr int kApplicationFixedSize = 12;

std::uint8_t packedByte(const QByteArray &fixed)
{
    return std::uint8_t(fixed.at(1));
}

// The smallest n >= 1 with 2^n >= count (count at most 256).
int tableBits(int count)
{
    int n = 1;
    while ((1 << n) < count && n < 8)
        ++n;
    return n;
}

// Appends the pieces of a GIF file.
class GifOutput
{
public:
    QByteArray bytes;

    void byte(int value) { bytes.append(char(value & 0xFF)); }
    void word(int value)
    {
        byte(value);
        byte(value >> 8);
    }
    void raw(const char *text, qsizetype length) { bytes.append(text, length); }

    // Exactly `size` bytes of `fixed`, zero-padded when it is shorter.
    void fixed(const QByteArray &part, int size)
    {
        const qsizetype take = std::min<qsizetype>(part.size(), size);
        bytes.append(part.constData(), take);
        for (qsizetype i = take; i < size; ++i)
            byte(0);
    }

    // Each line as one sub-block of its first 255 bytes (longer lines are cut,
    // empty lines left out), then the zero-length terminator.
    void lines(const QList<QByteArray> &lines)
    {
        for (const QByteArray &line : lines) {
            if (line.isEmpty())
                continue;
            const qsizetype length = std::min<qsizetype>(line.size(), kMaxSubBlock);
            byte(int(length));
            bytes.append(line.constData(), length);
        }
        byte(0);
    }

    // A colour table of 2^bits entries; entries beyond the table's count are
    // black, so the table always has the size its descriptor announces.
    void colorTable(const TGIFColors &colors, int bits)
    {
        const int entries = 1 << bits;
        const int count = std::clamp(colors.Count, 0, entries);
        static_assert(sizeof(TGIFColors::Entries) == 256 * 3, "entries are packed RGB triples");
        const qsizetype start = bytes.size();
        bytes.resize(start + qsizetype(entries) * 3, '\0');
        std::memcpy(bytes.data() + start, colors.Entries.data(), std::size_t(count) * 3);
    }

    // Table-based image data: the code-size byte and the sub-blocks. Data kept
    // from a file that was cut short lacks its terminator (or ends inside a
    // sub-block); it is closed here, as otherwise whatever follows in the file
    // would be taken as more image data.
    void imageData(QByteArrayView data)
    {
        const qsizetype size = data.size();
        qsizetype end = std::min<qsizetype>(size, 1); // past the last whole sub-block
        bool terminated = false;
        while (end < size) {
            const int length = std::uint8_t(data.at(end));
            if (length == 0) {
                ++end;
                terminated = true;
                break;
            }
            if (end + 1 + length > size)
                break;
            end += 1 + length;
        }
        if (size == 0)
            byte(2); // a code-size byte for an empty stream
        bytes.append(data.constData(), end);
        if (!terminated)
            byte(0);
    }

    void applicationExtension(const char identifier[11])
    {
        byte(kExtensionIntroducer);
        byte(int(TExtensionKind::gxApplication));
        byte(11);
        raw(identifier, 11);
    }
};

// Colour of a palette entry, or grey where the palette is shorter than the
// table it has to fill.
TColor paletteColor(const QVector<QRgb> &palette, int index)
{
    return index < palette.size() ? fromQRgb(palette[index]) : RGBColor(128, 128, 128);
}

} // namespace

void TGIFFrame::EncodeIfNeeded(TLZWEncoder &encoder)
{
    TGIFItem &item = *SharedData;
    if (!item.EncodedData.isEmpty())
        return;
    item.EncodedData = TByteSlice();
    if (m_bitmap.isEmpty())
        throw EInvalidGraphicOperation(noDataMessage());

    // Palette bitmaps are written as they are; anything else is reduced to
    // 256 colours first: 256 greys for a frame marked grey, else the
    // picture's own colours.
    TBitmap source = m_bitmap;
    int bits = source.bitsPerPixel();
    if (!source.hasPalette() || (bits != 1 && bits != 4 && bits != 8)) {
        source
            = ReduceToPalette(m_bitmap, IsGray ? TReductionMethod::GrayScale : TReductionMethod::Histogram);
        bits = source.bitsPerPixel();
    }
    int count = 0;
    switch (bits) {
    case 1:
        count = 2;
        break;
    case 4:
        count = 16;
        break;
    case 8:
        count = 256;
        break;
    default:
        throw EInvalidGraphicOperation(encodingErrorMessage());
    }

    TGIFColors colors;
    colors.Count = count;
    const QVector<QRgb> palette = source.palette();
    for (int i = 0; i < count; ++i)
        colors.setColor(i, paletteColor(palette, i));
    IsInterlaced = false;

    TGIFImage *parent = ParentImage;
    auto notify = [parent](TProgressStage stage, int percent, const QString &message) {
        if (parent)
            parent->notifyProgress(stage, percent, message);
    };
    QByteArray data;
    notify(TProgressStage::Starting, 0, {});
    try {
        // Without a listener the encoder is not asked to report each row.
        TLZWEncoder::RowProgress progress;
        if (parent && parent->OnProgress)
            progress = [&notify](int percent) { notify(TProgressStage::Running, percent, {}); };
        data = encoder.Encode(source.image(), bits, false, progress);
    } catch (const EAbort &) {
        // A cancelled encoding leaves the frame without encoded data or table.
        SharedData = std::make_shared<TGIFItem>();
        IsInterlaced = IsCorrupt = IsGray = HasLocalColors = false;
        notify(TProgressStage::Ending, 100, {});
        throw;
    } catch (const PlumoraError &error) {
        notify(TProgressStage::Ending, 100, error.message());
        throw;
    }
    notify(TProgressStage::Ending, 100, {});

    item.EncodedData = data;
    item.ColorDepth = std::uint8_t(tableBits(count));
    item.Colors = colors;
    item.ImageWidth = source.width();
    item.ImageHeight = source.height();

    // The first frame encoded into an image without a global table defines
    // it; every later frame carries a table of its own, even an equal one.
    if (parent && parent->Header->GlobalColors.Count == 0) {
        parent->Header->GlobalColors = colors;
        parent->Header->ColorDepth = item.ColorDepth;
        HasLocalColors = false;
    } else {
        HasLocalColors = true;
    }
    if (parent) {
        parent->setScreenSize(std::max(parent->m_screenWidth, Left + item.ImageWidth),
            std::max(parent->m_screenHeight, Top + item.ImageHeight));
    }
}

void TGIFFrame::RefreshExtensions()
{
    TExtension *control = graphicControl();
    if (!control && (DelayMs != 0 || TransparentColor != clNone || Disposal != 0)) {
        if (!ExtensionList)
            ExtensionList.emplace();
        TExtension extension;
        extension.Kind = TExtensionKind::gxGraphicControl;
        ExtensionList->append(extension);
        control = &ExtensionList->last();
    }
    if (control) {
        QByteArray &fixed = control->FixedPart;
        if (fixed.size() != kGraphicControlSize)
            fixed = QByteArray("\x04\0\0\0\0\0", kGraphicControlSize);
        const int delay = DelayMs / 10; // the file counts hundredths of a second
        fixed[2] = char(delay & 0xFF);
        fixed[3] = char(delay >> 8);
        // Only an exact match makes a colour transparent; a colour missing
        // from the table leaves the frame opaque.
        std::uint8_t packed = packedByte(fixed);
        const int index = SharedData->Colors.indexOf(TransparentColor);
        if (index >= 0) {
            fixed[4] = char(index);
            packed |= 0x01;
        } else {
            packed &= std::uint8_t(~0x01);
        }
        packed = std::uint8_t((packed & ~0x1C) | ((Disposal & 0x07) << 2));
        fixed[1] = char(packed);
    }

    if (ExtensionList) {
        ExtensionList->removeIf([](const TExtension &extension) {
            return extension.Kind == TExtensionKind::gxComment && extension.SubBlocks.isEmpty();
        });
        if (ExtensionList->isEmpty())
            ExtensionList.reset();
    }
    if (ExtensionList && ParentImage)
        ParentImage->Version = 2;
}

void TGIFImage::EncodeFrames()
{
    TLZWEncoder encoder;
    for (auto &frame : m_frames) {
        const bool encodeNow = frame->SharedData->EncodedData.isEmpty();
        const bool hadPalette = frame->bitmapNoDecode().hasPalette();
        frame->EncodeIfNeeded(encoder);
        // A true-colour bitmap is replaced by the decoded result, so it shows
        // the colours that were actually written.
        if (encodeNow && !hadPalette) {
            frame->setBitmap(TBitmap());
            frame->Decode();
        }
        frame->RefreshExtensions();
    }
}

QByteArray TGIFImage::WriteToBuffer()
{
    if (m_frames.empty())
        throw EInvalidGraphicOperation(noDataMessage());
    TLZWEncoder encoder;
    for (auto &frame : m_frames) {
        frame->EncodeIfNeeded(encoder);
        frame->RefreshExtensions();
    }
    if (!Header->CommentLines.isEmpty())
        Version = 2;

    GifOutput out;
    qsizetype expected = 1024 + qsizetype(Author.size()); // header, extensions, trailer
    for (const auto &frame : m_frames)
        expected += 1024 + frame->SharedData->EncodedData.size();
    out.bytes.reserve(expected);
    out.raw(Version == 2 ? "GIF89a" : "GIF87a", 6);

    // Logical screen descriptor. Frames placed far out on the screen can make
    // it larger than the field holds or than the reader accepts; such a file
    // would not read back, so it is refused.
    UpdateScreenSize();
    if (m_screenWidth > 0xFFFF || m_screenHeight > 0xFFFF
        || qint64(m_screenWidth) * m_screenHeight > qint64(kGifMaxSide) * kGifMaxSide
        || qint64(m_screenWidth) * m_screenHeight > kGifMaxBitmapBytes)
        throw EInvalidGraphicOperation(
            QStringLiteral("The GIF picture would be %1 x %2 pixels; Plumora writes pictures of up to "
                           "%3 x %3 pixels")
                .arg(m_screenWidth)
                .arg(m_screenHeight)
                .arg(kGifMaxSide));
    out.word(m_screenWidth);
    out.word(m_screenHeight);
    const TGIFColors &global = Header->GlobalColors;
    const bool hasGlobal = global.Count > 0;
    const int globalBits = tableBits(global.Count);
    if (hasGlobal) {
        // Colour resolution and table size both follow the table written.
        out.byte(0x80 | ((globalBits - 1) << 4) | (globalBits - 1));
        out.byte(std::max(global.indexOf(BackgroundColor), 0));
    } else {
        out.byte(0);
        out.byte(0);
    }
    out.byte(Header->PixelAspect);
    if (hasGlobal)
        out.colorTable(global, globalBits);

    if (!Author.isEmpty()) {
        out.applicationExtension("PLUMO_ID1.0");
        out.lines({ Author.left(kMaxSubBlock) });
    }
    if (Looping && m_frames.size() > 1) {
        out.applicationExtension("NETSCAPE2.0");
        out.byte(3);
        out.byte(1);
        out.word(RepeatCount);
        out.byte(0);
    }

    for (auto &frame : m_frames) {
        if (frame->ExtensionList) {
            for (const TExtension &extension : *frame->ExtensionList) {
                out.byte(kExtensionIntroducer);
                out.byte(int(extension.Kind));
                switch (extension.Kind) {
                case TExtensionKind::gxGraphicControl:
                    out.fixed(extension.FixedPart, kGraphicControlSize);
                    break;
                case TExtensionKind::gxPlainText:
                    out.fixed(extension.FixedPart, kPlainTextFixedSize);
                    out.lines(extension.SubBlocks);
                    break;
                case TExtensionKind::gxApplication:
                    out.fixed(extension.FixedPart, kApplicationFixedSize);
                    out.lines(extension.SubBlocks);
                    break;
                case TExtensionKind::gxComment:
                    out.lines(extension.SubBlocks);
                    break;
                }
            }
        }

        TGIFItem &item = *frame->SharedData;
        out.byte(kImageSeparator);
        out.word(frame->Left);
        out.word(frame->Top);
        out.word(item.ImageWidth);
        out.word(item.ImageHeight);
        int packed = 0;
        int localBits = 0;
        if (frame->HasLocalColors) {
            localBits = tableBits(item.Colors.Count);
            item.ColorDepth = std::uint8_t(localBits);
            packed = 0x80 | (localBits - 1);
        }
        if (frame->IsInterlaced)
            packed |= 0x40;
        out.byte(packed);
        if (frame->HasLocalColors)
            out.colorTable(item.Colors, localBits);
        out.imageData(item.EncodedData.view());
    }

    if (!Header->CommentLines.isEmpty()) {
        out.byte(kExtensionIntroducer);
        out.byte(int(TExtensionKind::gxComment));
        out.lines(Header->CommentLines);
    }
    out.byte(kTrailer);
    return out.bytes;
}

void TGIFImage::WriteToStream(QIODevice &stream)
{
    const QByteArray bytes = WriteToBuffer();
    if (stream.write(bytes) != bytes.size())
        throw EStreamError(plumora::streamWriteError());
}

void TGIFImage::WriteStored(QIODevice &stream)
{
    const QByteArray gif = WriteToBuffer();
    QByteArray bytes;
    const auto size = std::uint32_t(gif.size());
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char((size >> shift) & 0xFF));
    bytes.append(gif);
    if (stream.write(bytes) != bytes.size())
        throw EStreamError(plumora::streamWriteError());
}

void TGIFImage::WriteToFile(const QString &path)
{
    plumora::writeFileAtomically(path, WriteToBuffer());
}
