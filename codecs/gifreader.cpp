// Parsing a GIF file into the picture model. The whole file is read into
// memory once, and kept: each frame's encoded data is a slice of it, so a
// long animation costs its file's size once. Frames decode on first use.
#include "gifimage.h"
#include "platform/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {

[[noreturn]] void readError()
{
    throw EStreamError(plumora::streamReadError());
}

// A cursor over the file's bytes. Fixed-size reads past the end raise the
// stream read error; single-byte peeks report the end instead.
class ByteReader
{
public:
    explicit ByteReader(const QByteArray &bytes)
        : m_bytes(bytes),
          m_data(reinterpret_cast<const std::uint8_t *>(bytes.constData())),
          m_size(bytes.size())
    {
    }

    bool atEnd() const { return m_pos >= m_size; }
    qsizetype pos() const { return m_pos; }
    qsizetype remaining() const { return m_size - m_pos; }
    const std::uint8_t *data() const { return m_data; }

    std::uint8_t byte()
    {
        if (m_pos >= m_size)
            readError();
        return m_data[m_pos++];
    }
    // The bytes from start up to the current position, sharing the buffer.
    TByteSlice sliceFrom(qsizetype start) const { return TByteSlice(m_bytes, start, m_pos - start); }
    // The next byte, or -1 at the end of the data.
    int tryByte() { return m_pos < m_size ? m_data[m_pos++] : -1; }
    std::uint16_t word()
    {
        const int lo = byte();
        const int hi = byte();
        return std::uint16_t(lo | (hi << 8));
    }
    QByteArray bytes(qsizetype count)
    {
        if (count > remaining())
            readError();
        QByteArray result(reinterpret_cast<const char *>(m_data + m_pos), count);
        m_pos += count;
        return result;
    }
    void readColors(TGIFColors &colors, int count)
    {
        if (qsizetype(count) * 3 > remaining())
            readError();
        colors.Count = count;
        std::memcpy(colors.Entries.data(), m_data + m_pos, std::size_t(count) * 3);
        m_pos += qsizetype(count) * 3;
    }
    // Data sub-blocks: a length byte, that many bytes; ends at a zero length
    // or the end of the data (a cut last block keeps what is there).
    QList<QByteArray> subBlocks()
    {
        QList<QByteArray> blocks;
        while (m_pos < m_size) {
            const int length = m_data[m_pos++];
            if (length == 0)
                break;
            const qsizetype take = std::min<qsizetype>(length, remaining());
            blocks.append(QByteArray(reinterpret_cast<const char *>(m_data + m_pos), take));
            m_pos += take;
        }
        return blocks;
    }
    void skip(qsizetype count) { m_pos += count; }

private:
    const QByteArray &m_bytes;
    const std::uint8_t *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
};

bool sameText(const QByteArray &a, const char *b)
{
    return a.compare(QByteArray(b), Qt::CaseInsensitive) == 0;
}

// An application extension's identifier and authentication code, compared
// over as many bytes as its block-size byte gives.
bool isApplication(const TExtension &ext, const char *name)
{
    const int count = std::uint8_t(ext.FixedPart.at(0));
    if (count > 11)
        return false;
    return ext.FixedPart.mid(1, count) == QByteArray(name, count);
}

// Pictures of more than 16384 x 16384 pixels, or whose bitmap would exceed
// the memory cap, are refused before anything is allocated. Each side may be
// as long as GIF allows, so long thin animation strips still read.
void checkSize(int width, int height, const char *what)
{
    const qint64 pixels = qint64(width) * height;
    if (pixels > qint64(kGifMaxSide) * kGifMaxSide || pixels > kGifMaxBitmapBytes)
        throw EInvalidGraphicOperation(
            QStringLiteral("The GIF %1 is too large (%2 x %3 pixels); Plumora reads pictures of up "
                           "to %4 x %4 pixels")
                .arg(QLatin1String(what))
                .arg(width)
                .arg(height)
                .arg(kGifMaxSide));
}

// Reads one image after its "," introducer: descriptor, local table, the
// encoded data kept as it is, and the attributes of its graphic controls.
void readImage(ByteReader &in, TGIFFrame &frame, const TGIFColors &globalColors)
{
    const int left = in.word();
    const int top = in.word();
    const int width = in.word();
    const int height = in.word();
    const int packed = in.byte();
    checkSize(width, height, "frame");

    TGIFItem &item = *frame.SharedData;
    frame.IsInterlaced = (packed & 0x40) != 0;
    if (packed & 0x80) {
        item.ColorDepth = std::uint8_t((packed & 7) + 1);
        frame.HasLocalColors = true;
        in.readColors(item.Colors, 1 << item.ColorDepth);
    } else {
        frame.HasLocalColors = false;
        item.Colors = globalColors;
    }

    // The code-size byte and the sub-blocks with their length bytes, up to
    // and including the zero-length terminator. A block cut by the end of
    // the file is left out and marks the frame corrupt.
    const qsizetype start = in.pos();
    if (!in.atEnd()) {
        in.skip(1);
        while (!in.atEnd()) {
            const int length = in.data()[in.pos()];
            if (length == 0) {
                in.skip(1);
                break;
            }
            if (length + 1 > in.remaining()) {
                frame.IsCorrupt = true;
                break;
            }
            in.skip(length + 1);
        }
    }
    item.EncodedData = in.sliceFrom(start);
    if (frame.IsCorrupt)
        in.skip(in.remaining());

    frame.Left = left;
    frame.Top = top;
    item.ImageWidth = width;
    item.ImageHeight = height;
    item.DescriptorFlags = std::uint8_t(packed);

    if (frame.ExtensionList) {
        for (const TExtension &ext : *frame.ExtensionList) {
            if (ext.Kind != TExtensionKind::gxGraphicControl)
                continue;
            const auto *fixed = reinterpret_cast<const std::uint8_t *>(ext.FixedPart.constData());
            const int flags = fixed[1];
            const int delay = fixed[2] | (fixed[3] << 8);
            const int transparentIndex = fixed[4];
            if (flags & 1) {
                if (transparentIndex < item.Colors.Count)
                    frame.TransparentColor = item.Colors.color(transparentIndex);
            } else {
                frame.TransparentColor = clNone;
            }
            // Delays beyond 655.35 s do not fit; they are held at the maximum.
            frame.DelayMs = std::uint16_t(std::max<int>(frame.DelayMs, std::min(delay * 10, 0xFFFF)));
            frame.Disposal = std::uint8_t((flags >> 2) & 7);
        }
    }
}

} // namespace

void TGIFImage::ReadFromFile(const QString &path)
{
    // Only plain files: opening a named pipe waits for a writer, and a device
    // may never end.
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". It is not a file").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    ReadFromStream(file);
}

void TGIFImage::ReadFromStream(QIODevice &stream)
{
    const QByteArray bytes = stream.readAll();
    ReadFromBuffer(bytes);
}

void TGIFImage::ReadStored(QIODevice &stream)
{
    const QByteArray countBytes = stream.read(4);
    if (countBytes.size() != 4)
        readError();
    const auto *c = reinterpret_cast<const std::uint8_t *>(countBytes.constData());
    const quint32 count
        = quint32(c[0]) | (quint32(c[1]) << 8) | (quint32(c[2]) << 16) | (quint32(c[3]) << 24);
    if (qint64(count) > stream.bytesAvailable() && !stream.isSequential())
        readError();
    const QByteArray gif = stream.read(qint64(count));
    if (gif.size() != qsizetype(count))
        readError();
    ReadFromBuffer(gif);
}

void TGIFImage::ReadFromBuffer(const QByteArray &data)
{
    Reset();
    Author.clear();
    // The frames keep slices of these bytes. Raw data (QByteArray::fromRawData,
    // the only kind whose array owns no buffer: its capacity is 0) may not
    // outlive this call, so it is copied first; any other array is shared.
    const QByteArray bytes = data.capacity() < data.size() ? QByteArray(data.constData(), data.size()) : data;
    ByteReader in(bytes);
    if (!bytes.isEmpty()) {
        const QByteArray signature = in.bytes(3);
        if (!sameText(signature, "GIF"))
            throw EInvalidGraphicOperation(QStringLiteral("Unknown GIF version"));
        const QByteArray version = in.bytes(3);
        if (sameText(version, "87a"))
            Version = 1;
        else if (sameText(version, "89a"))
            Version = 2;
        else
            throw EInvalidGraphicOperation(QStringLiteral("Unknown GIF version"));

        // Logical screen descriptor.
        const int screenWidth = in.word();
        const int screenHeight = in.word();
        const int packed = in.byte();
        const int backgroundIndex = in.byte();
        const int aspect = in.byte();
        checkSize(screenWidth, screenHeight, "logical screen");
        m_screenWidth = screenWidth;
        m_screenHeight = screenHeight;
        Header->PixelAspect = std::uint8_t(aspect);
        Header->ColorDepth = std::uint8_t((packed & 7) + 1);
        Header->ColorResolution = std::uint8_t(((packed >> 4) & 7) + 1);
        if (packed & 0x80) {
            in.readColors(Header->GlobalColors, 1 << Header->ColorDepth);
            if (backgroundIndex < Header->GlobalColors.Count)
                BackgroundColor = Header->GlobalColors.color(backgroundIndex);
        }

        // Frames are only decoded when they are shown, and the image keeps a
        // bounded number of decoded bitmaps, so an animation may have any
        // number of frames.
        int introducer = std::max(in.tryByte(), 0);
        while (introducer != 0 && introducer != ';' && !in.atEnd()) {
            // A run of extensions; graphic control and comments are kept
            // for the image that follows.
            std::optional<QList<TExtension>> pending;
            while (introducer == '!') {
                const int label = in.byte();
                TExtension ext;
                switch (label) {
                case 0xF9:
                    ext.Kind = TExtensionKind::gxGraphicControl;
                    ext.FixedPart = in.bytes(6);
                    break;
                case 0xFE:
                    ext.Kind = TExtensionKind::gxComment;
                    ext.SubBlocks = in.subBlocks();
                    break;
                case 0x01:
                    ext.Kind = TExtensionKind::gxPlainText;
                    ext.FixedPart = in.bytes(13);
                    ext.SubBlocks = in.subBlocks();
                    break;
                case 0xFF:
                    ext.Kind = TExtensionKind::gxApplication;
                    ext.FixedPart = in.bytes(12);
                    ext.SubBlocks = in.subBlocks();
                    break;
                default:
                    throw EInvalidGraphicOperation(QStringLiteral("Unrecognized extension block: %1")
                                                       .arg(label, 2, 16, QLatin1Char('0')));
                }

                if (ext.Kind == TExtensionKind::gxPlainText) {
                    // Text drawn over the image is not supported; the
                    // controls collected for it go with it.
                    pending.reset();
                } else if (ext.Kind == TExtensionKind::gxApplication) {
                    const QByteArray first = ext.SubBlocks.value(0);
                    if (isApplication(ext, "NETSCAPE2.0")) {
                        if (first.size() > 2 && first.at(0) == 1) {
                            Looping = true;
                            const int count = std::uint8_t(first.at(1)) | (std::uint8_t(first.at(2)) << 8);
                            RepeatCount = std::uint16_t(std::min(30000, count));
                        }
                    } else if (isApplication(ext, "PLUMO_ID1.0")) {
                        if (!first.isEmpty())
                            Author = first;
                    }
                } else {
                    if (!pending)
                        pending.emplace();
                    pending->append(std::move(ext));
                }
                introducer = in.atEnd() ? ';' : in.byte();
            }
            if (pending && pending->isEmpty())
                pending.reset();

            if (introducer == ',') {
                auto frame = std::make_unique<TGIFFrame>(this);
                if (Header->GlobalColors.Count > 0) {
                    int log2 = 0;
                    while ((1 << log2) < Header->GlobalColors.Count)
                        ++log2;
                    frame->SharedData->ColorDepth = std::uint8_t(log2);
                }
                frame->ExtensionList = std::move(pending);
                pending.reset();
                readImage(in, *frame, Header->GlobalColors);
                appendFrame(std::move(frame));
                introducer = 0;
                for (;;) {
                    const int next = in.tryByte();
                    if (next < 0) {
                        introducer = ';';
                        break;
                    }
                    if (next != 0) {
                        introducer = next;
                        break;
                    }
                }
                if (introducer != '!' && introducer != ',' && introducer != ';')
                    introducer = 0; // trailing garbage ends the file quietly
            } else if (CommentLines().isEmpty() && pending) {
                // Comments after the last image belong to the whole picture.
                for (const TExtension &ext : *pending) {
                    if (ext.Kind != TExtensionKind::gxComment)
                        continue;
                    if (!CommentLines().isEmpty())
                        CommentLines().append(QByteArrayLiteral("\r\n\r\n"));
                    CommentLines().append(ext.SubBlocks);
                }
                pending.reset();
            } else {
                pending.reset();
                if (introducer != 0 && introducer != ';')
                    readError();
            }
        }

        if (!m_frames.empty()) {
            FrameIndex = 0;
            try {
                m_frames.front()->DecodedBitmap();
            } catch (...) {
                removeFrame(0);
                FrameIndex = -1;
                throw;
            }
        }
    }
    changed();
}
