#pragma once
// The GIF picture model: an image of any number of frames, each keeping its
// encoded data and decoding it into a bitmap on first use.
//
// Sharing: images copied from each other share one TGIFData; frames copied
// from each other share one TGIFItem. Shared blocks are not copied on write:
// the encoder stores a frame's encoded data and colour table, and the image's
// global table, into the blocks in place, so every holder sees them.
#include "platform/bitmap.h"
#include "platform/colors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class GifLzwDecoder;
class QIODevice;
class QPainter;
class TGIFImage;
class TLZWEncoder;

// Largest logical screen or frame we accept (kGifMaxSide squared pixels, any
// side up to GIF's 65535), and the largest decoded bitmap. Larger pictures
// are refused before anything is allocated.
inline constexpr int kGifMaxSide = 16384;
inline constexpr qint64 kGifMaxBitmapBytes = qint64(256) * 1024 * 1024;
// LZW data cannot describe more than about 2,730 pixels per byte (a 12-bit
// code for a string of at most 4,096 pixels). A frame that claims more pixels
// per byte of its encoded data than this is refused before its bitmap is
// allocated, so a small file cannot make a large allocation.
inline constexpr qint64 kGifMaxPixelsPerDataByte = 4096;
// Decoded bitmaps of frames that keep their encoded data can be made again at
// any time. An image keeps at most this many bytes of them, dropping the least
// recently decoded first, so a long animation does not hold all its frames.
inline constexpr qint64 kGifHeldBitmapBytes = qint64(64) * 1024 * 1024;

// A GIF colour table: Count entries in use (0 = no table), RGB in file order.
struct TGIFColors
{
    int Count = 0;
    std::array<std::array<std::uint8_t, 3>, 256> Entries {};

    TColor color(int index) const
    {
        const auto &e = Entries[std::size_t(index)];
        return RGBColor(e[0], e[1], e[2]);
    }
    void setColor(int index, TColor c)
    {
        Entries[std::size_t(index)]
            = { std::uint8_t(redOf(c)), std::uint8_t(greenOf(c)), std::uint8_t(blueOf(c)) };
    }
    // Index of the first entry exactly equal to the colour, or -1.
    int indexOf(TColor c) const;
    // The table as a QImage colour table (Count entries).
    QVector<QRgb> toQRgbs() const;
    bool operator==(const TGIFColors &other) const;
};

// The image header, shared by images copied from each other.
struct TGIFData
{
    QList<QByteArray> CommentLines;
    std::uint8_t PixelAspect = 0;
    std::uint8_t ColorDepth = 0; // 1..8
    std::uint8_t ColorResolution = 0; // 1..8
    TGIFColors GlobalColors;
};

enum class TExtensionKind : std::uint8_t {
    gxGraphicControl = 0xF9,
    gxPlainText = 0x01,
    gxApplication = 0xFF,
    gxComment = 0xFE,
};

// One extension block kept with a frame. FixedPart holds the bytes after the
// label, block-size byte first; SubBlocks the data sub-blocks (1..255 bytes).
struct TExtension
{
    TExtensionKind Kind = TExtensionKind::gxComment;
    QByteArray FixedPart;
    QList<QByteArray> SubBlocks;
};

// Bytes held once: a buffer of their own, or a slice of a larger buffer that
// they share (QByteArray's implicit sharing) with every other slice of it. A
// GIF read from a file keeps the file's bytes once, and every frame's encoded
// data is a slice of them; the file stays in memory while any frame does.
class TByteSlice
{
public:
    TByteSlice() = default;
    TByteSlice(QByteArray bytes) : m_buffer(std::move(bytes)), m_size(m_buffer.size()) { }
    // The bytes [offset, offset + size) of buffer, which must lie inside it.
    TByteSlice(const QByteArray &buffer, qsizetype offset, qsizetype size)
        : m_buffer(buffer), m_offset(offset), m_size(size)
    {
    }

    bool isEmpty() const { return m_size == 0; }
    qsizetype size() const { return m_size; }
    const char *constData() const { return m_buffer.constData() + m_offset; }
    QByteArrayView view() const { return QByteArrayView(constData(), m_size); }
    // The buffer the bytes lie in.
    const QByteArray &buffer() const { return m_buffer; }

private:
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    qsizetype m_size = 0;
};

// The shared part of one frame: its encoded data and the colour table in force.
struct TGIFItem
{
    TByteSlice EncodedData; // code-size byte, sub-blocks, terminator
    int ImageWidth = 0;
    int ImageHeight = 0;
    std::uint8_t DescriptorFlags = 0;
    std::uint8_t ColorDepth = 0; // 1..8, 0 without any table
    TGIFColors Colors;
};

enum class TProgressStage { Starting, Running, Ending };
// Progress of a long decode or encode: begin, percentages, end (with the
// error text when it failed). Throwing EAbort from it cancels silently.
using TProgressEvent = std::function<void(TProgressStage stage, int percent, const QString &message)>;

class TGIFFrame
{
public:
    explicit TGIFFrame(TGIFImage *parent = nullptr);
    ~TGIFFrame();
    TGIFFrame(const TGIFFrame &) = delete;
    TGIFFrame &operator=(const TGIFFrame &) = delete;

    TGIFImage *ParentImage = nullptr;
    std::shared_ptr<TGIFItem> SharedData;
    std::optional<QList<TExtension>> ExtensionList;
    int Left = 0;
    int Top = 0;
    bool IsInterlaced = false;
    bool IsCorrupt = false;
    bool IsGray = false;
    TColor TransparentColor = clNone;
    std::uint16_t DelayMs = 0;
    std::uint8_t Disposal = 0;
    bool HasLocalColors = false;

    // The frame's bitmap, decoded from the encoded data on first use. The
    // parent image may drop a decoded bitmap again when other frames are
    // decoded (see kGifHeldBitmapBytes); the next call decodes it afresh.
    const TBitmap &DecodedBitmap();
    // The bitmap as it is now, without decoding (may be empty).
    const TBitmap &bitmapNoDecode() const { return m_bitmap; }
    bool hasBitmap() const { return !m_bitmap.isEmpty(); }
    // Replaces the bitmap without touching the encoded data.
    void setBitmap(const TBitmap &bitmap) { assignBitmap(bitmap, false); }

    // The bitmap's size; a frame decoded before and dropped since is not
    // decoded again for it.
    int Width();
    int Height();

    // The lines of the last comment extension; with create, the extension
    // (and the list) are made when missing. Null when absent and not created.
    QList<QByteArray> *FrameComment(bool create = false);

    void CopyFrom(std::nullptr_t);
    void CopyFrom(const TGIFFrame &source);
    void CopyFrom(TGIFImage &source);
    void CopyFrom(const TBitmap &source);
    void RenderTo(TBitmap &target);

    // Decodes the encoded data into the bitmap now (see DecodedBitmap).
    void Decode();

    // Writing support: encodes the bitmap when there is no encoded data (one
    // encoder serves all frames of a write), and brings the graphic control
    // and comment extensions in line with the fields.
    void EncodeIfNeeded(TLZWEncoder &encoder);
    void RefreshExtensions();
    // The last graphic control extension, or null.
    TExtension *graphicControl();

private:
    friend class TGIFImage;
    void resetFields();
    // Every change of m_bitmap goes through here; `decoded` says it was made
    // from the encoded data, so the parent image may drop it.
    void assignBitmap(const TBitmap &bitmap, bool decoded);

    TBitmap m_bitmap;
    bool m_decoded = false; // m_bitmap was made from the encoded data
    bool m_dropped = false; // such a bitmap was dropped; its size is the descriptor's
    // Place in the parent's list of droppable bitmaps, oldest first.
    bool m_held = false;
    TGIFFrame *m_olderHeld = nullptr;
    TGIFFrame *m_newerHeld = nullptr;
    qint64 m_heldBytes = 0;
};

class TGIFImage
{
public:
    TGIFImage();
    ~TGIFImage();
    TGIFImage(const TGIFImage &) = delete;
    TGIFImage &operator=(const TGIFImage &) = delete;

    std::shared_ptr<TGIFData> Header;
    int Version = 0; // 0 none, 1 "87a", 2 "89a"
    int FrameIndex = -1;
    TColor BackgroundColor = clNone;
    bool Looping = false;
    std::uint16_t RepeatCount = 1;
    QByteArray Author; // the PLUMO_ID1.0 application extension's text
    bool Transparent = true;

    TProgressEvent OnProgress;
    std::function<void()> OnChange;

    // Reading.
    void ReadFromStream(QIODevice &stream);
    void ReadFromFile(const QString &path);
    // The frames' encoded data are slices of bytes, which are not copied
    // (unless they are raw data the array does not own).
    void ReadFromBuffer(const QByteArray &bytes);
    // The stored form: a 32-bit little-endian byte count, then the GIF file.
    void ReadStored(QIODevice &stream);

    // Writing.
    void EncodeFrames();
    void WriteToStream(QIODevice &stream);
    void WriteToFile(const QString &path);
    QByteArray WriteToBuffer();
    void WriteStored(QIODevice &stream);

    void Reset();
    void CopyFrom(std::nullptr_t);
    void CopyFrom(TGIFImage &source);
    void CopyFrom(const TGIFFrame &source);
    void CopyFrom(const TBitmap &source);
    void RenderTo(TBitmap &target);
    void AppendFrame(const TBitmap &bitmap);
    void DecodeFrames();
    void DrawFrame(QPainter &canvas, const QRect &rect);

    int FrameCount() const { return int(m_frames.size()); }
    TGIFFrame &Frames(int index) { return *m_frames.at(std::size_t(index)); }
    const TGIFFrame &Frames(int index) const { return *m_frames.at(std::size_t(index)); }
    bool IsEmpty();
    int CurrentWidth();
    int CurrentHeight();
    int ScreenWidth() const { return m_frames.empty() ? 0 : m_screenWidth; }
    int ScreenHeight() const { return m_frames.empty() ? 0 : m_screenHeight; }
    void setScreenSize(int width, int height)
    {
        m_screenWidth = width;
        m_screenHeight = height;
    }
    QList<QByteArray> &CommentLines() { return Header->CommentLines; }
    // The palette of the current frame's bitmap; empty without a frame.
    QVector<QRgb> Palette();
    // True when the flag is set and some frame has a transparent colour.
    bool IsTransparent() const;

    // The size of a GIF image follows its frames and cannot be set.
    [[noreturn]] void SetWidth(int);
    [[noreturn]] void SetHeight(int);

    // Two images are equal when they share one header.
    bool operator==(const TGIFImage &other) const { return Header == other.Header; }

    // Recomputes the screen size as the largest Left + Width, Top + Height.
    // AppendFrame keeps that extent up to date as it goes, so building an
    // image frame by frame is linear; after moving or resizing frames in
    // place, call this.
    void UpdateScreenSize();

    // Bytes of decoded bitmaps the image keeps that could be decoded again
    // (at most kGifHeldBitmapBytes plus the frame decoded last).
    qint64 heldDecodedBytes() const { return m_heldBytes; }
    // The decoder all frames of this image share (made on first use).
    GifLzwDecoder &decoder();
    // A decoded bitmap's colour table for the colours in force, padded with
    // grey to 2^depth entries; frames with equal colours share one table.
    const QVector<QRgb> &bitmapColorTable(const TGIFColors &colors, int depth);

    void notifyProgress(TProgressStage stage, int percent, const QString &message = {});
    void changed();

private:
    friend class TGIFFrame;
    void appendFrame(std::unique_ptr<TGIFFrame> frame);
    void removeFrame(int index);
    // A frame's decoded bitmap joins the list as the newest; the oldest ones
    // are dropped while the list holds more than kGifHeldBitmapBytes.
    void holdDecoded(TGIFFrame &frame);
    void releaseHeld(TGIFFrame &frame);

    std::unique_ptr<GifLzwDecoder> m_decoder;
    QVector<QRgb> m_table; // the last colour table made, from these colours
    TGIFColors m_tableColors;
    int m_tableDepth = 0;
    TGIFFrame *m_oldestHeld = nullptr;
    TGIFFrame *m_newestHeld = nullptr;
    qint64 m_heldBytes = 0;
    std::vector<std::unique_ptr<TGIFFrame>> m_frames;
    int m_screenWidth = 0;
    int m_screenHeight = 0;
    // The largest Left + Width and Top + Height over the first m_extentFrames
    // frames; -1 when not known (frames were added or removed otherwise).
    int m_extentFrames = 0;
    int m_extentWidth = 0;
    int m_extentHeight = 0;
};
