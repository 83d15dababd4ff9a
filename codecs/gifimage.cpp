// The GIF picture model: copying, rendering, drawing and decoding of frames.
// Reading lives in gifreader.cpp, writing in gifwriter.cpp.
#include "gifimage.h"

#include "lzwdecoder.h"
#include "platform/errors.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

namespace {

QString tooLargeMessage(int width, int height)
{
    return QStringLiteral("The GIF picture is too large (%1 x %2 pixels); Plumora reads pictures "
                          "up to %3 x %3 pixels and %4 MiB")
        .arg(width)
        .arg(height)
        .arg(kGifMaxSide)
        .arg(kGifMaxBitmapBytes / (1024 * 1024));
}

// The bitmap's colour table: the frame's colours, padded with grey to the
// 2^depth entries of the bitmap's depth.
QVector<QRgb> colorTable(const TGIFColors &colors, int depth)
{
    QVector<QRgb> table(1 << depth, qRgb(128, 128, 128));
    QRgb *entries = table.data();
    const int count = std::min(colors.Count, int(table.size()));
    for (int i = 0; i < count; ++i) {
        const auto &e = colors.Entries[std::size_t(i)];
        entries[i] = qRgb(e[0], e[1], e[2]);
    }
    return table;
}

} // namespace

// ---------------------------------------------------------------------------
// TGIFColors

int TGIFColors::indexOf(TColor c) const
{
    for (int i = 0; i < Count; ++i)
        if (color(i) == c)
            return i;
    return -1;
}

QVector<QRgb> TGIFColors::toQRgbs() const
{
    QVector<QRgb> table(Count);
    for (int i = 0; i < Count; ++i) {
        const auto &e = Entries[std::size_t(i)];
        table[i] = qRgb(e[0], e[1], e[2]);
    }
    return table;
}

bool TGIFColors::operator==(const TGIFColors &other) const
{
    static_assert(sizeof(Entries) == 256 * 3, "entries are packed RGB triples");
    return Count == other.Count
        && std::memcmp(Entries.data(), other.Entries.data(), std::size_t(Count) * 3) == 0;
}

// ---------------------------------------------------------------------------
// TGIFFrame

TGIFFrame::TGIFFrame(TGIFImage *parent) : ParentImage(parent), SharedData(std::make_shared<TGIFItem>()) { }

TGIFFrame::~TGIFFrame()
{
    if (m_held)
        ParentImage->releaseHeld(*this);
}

void TGIFFrame::assignBitmap(const TBitmap &bitmap, bool decoded)
{
    if (m_held)
        ParentImage->releaseHeld(*this);
    m_bitmap = bitmap;
    m_decoded = decoded && !m_bitmap.isEmpty();
    m_dropped = false;
    if (m_decoded && ParentImage)
        ParentImage->holdDecoded(*this);
}

void TGIFFrame::resetFields()
{
    SharedData = std::make_shared<TGIFItem>();
    IsInterlaced = false;
    IsCorrupt = false;
    IsGray = false;
    TransparentColor = clNone;
    Left = 0;
    Top = 0;
    DelayMs = 0;
    Disposal = 0;
    HasLocalColors = false;
    assignBitmap(TBitmap(), false);
}

const TBitmap &TGIFFrame::DecodedBitmap()
{
    if (m_bitmap.isEmpty() && !SharedData->EncodedData.isEmpty())
        Decode();
    return m_bitmap;
}

int TGIFFrame::Width()
{
    return m_dropped ? SharedData->ImageWidth : DecodedBitmap().width();
}

int TGIFFrame::Height()
{
    return m_dropped ? SharedData->ImageHeight : DecodedBitmap().height();
}

void TGIFFrame::Decode()
{
    const TGIFItem &item = *SharedData;
    const int depth = item.ColorDepth;
    if (depth == 0 || depth > 8)
        throw EInvalidGraphicOperation(QStringLiteral("Wrong number of colors; must be a power of 2"));
    const int width = item.ImageWidth;
    const int height = item.ImageHeight;
    const qint64 pixels = qint64(width) * height;
    if (pixels > qint64(kGifMaxSide) * kGifMaxSide || pixels > kGifMaxBitmapBytes)
        throw EInvalidGraphicOperation(tooLargeMessage(width, height));
    if (pixels > kGifMaxPixelsPerDataByte * item.EncodedData.size())
        throw EInvalidGraphicOperation(
            QStringLiteral("The GIF frame claims %1 x %2 pixels, more than its %3 bytes of image data "
                           "can describe")
                .arg(width)
                .arg(height)
                .arg(item.EncodedData.size()));

    // Output depth: 1 bit for two colours, 4 bits up to 16, else 8 bits. The
    // decoder writes every pixel, so the bitmap is not cleared first.
    const int outputDepth = depth == 1 ? 1 : depth <= 4 ? 4 : 8;
    QImage image;
    if (width > 0 && height > 0) {
        image = QImage(width, height, QImage::Format_Indexed8);
        image.setColorTable(ParentImage ? ParentImage->bitmapColorTable(item.Colors, outputDepth)
                                        : colorTable(item.Colors, outputDepth));
    }

    if (ParentImage)
        ParentImage->notifyProgress(TProgressStage::Starting, 0);
    GifLzwDecoder::Status status;
    try {
        std::unique_ptr<GifLzwDecoder> own;
        if (!ParentImage)
            own = std::make_unique<GifLzwDecoder>();
        GifLzwDecoder &decoder = ParentImage ? ParentImage->decoder() : *own;
        std::function<void(int)> progress;
        if (ParentImage && ParentImage->OnProgress)
            progress = [this](int percent) { ParentImage->notifyProgress(TProgressStage::Running, percent); };
        status = decoder.decode(item.EncodedData.view(), depth, image.isNull() ? nullptr : image.bits(),
            image.bytesPerLine(), width, height, IsInterlaced, progress);
    } catch (const EAbort &) {
        // A cancelled decode leaves the frame without a bitmap, silently.
        assignBitmap(TBitmap(), false);
        if (ParentImage)
            ParentImage->notifyProgress(TProgressStage::Ending, 100);
        return;
    } catch (const PlumoraError &error) {
        if (ParentImage)
            ParentImage->notifyProgress(TProgressStage::Ending, 100, error.message());
        throw;
    }
    if (status == GifLzwDecoder::Status::EndOfData) {
        if (ParentImage)
            ParentImage->notifyProgress(TProgressStage::Ending, 100, plumora::streamReadError());
        throw EStreamError(plumora::streamReadError());
    }
    if (status == GifLzwDecoder::Status::Corrupt)
        IsCorrupt = true;
    assignBitmap(TBitmap(image, outputDepth), true);
    if (ParentImage)
        ParentImage->notifyProgress(TProgressStage::Ending, 100);
}

QList<QByteArray> *TGIFFrame::FrameComment(bool create)
{
    if (ExtensionList) {
        for (auto it = ExtensionList->rbegin(); it != ExtensionList->rend(); ++it)
            if (it->Kind == TExtensionKind::gxComment)
                return &it->SubBlocks;
    }
    if (!create)
        return nullptr;
    if (!ExtensionList)
        ExtensionList.emplace();
    ExtensionList->append(TExtension { TExtensionKind::gxComment, {}, {} });
    return &ExtensionList->last().SubBlocks;
}

TExtension *TGIFFrame::graphicControl()
{
    if (!ExtensionList)
        return nullptr;
    for (auto it = ExtensionList->rbegin(); it != ExtensionList->rend(); ++it)
        if (it->Kind == TExtensionKind::gxGraphicControl)
            return &*it;
    return nullptr;
}

void TGIFFrame::CopyFrom(std::nullptr_t)
{
    resetFields();
}

void TGIFFrame::CopyFrom(const TGIFFrame &source)
{
    if (&source == this)
        return;
    SharedData = source.SharedData;
    HasLocalColors = source.ParentImage == ParentImage ? source.HasLocalColors : true;
    Left = source.Left;
    Top = source.Top;
    IsInterlaced = source.IsInterlaced;
    // The same encoded data decodes to the same bitmap, so a decoded one
    // stays droppable in the copy.
    assignBitmap(source.m_bitmap, source.m_decoded);
    m_dropped = source.m_dropped;
    TransparentColor = source.TransparentColor;
    DelayMs = source.DelayMs;
    Disposal = source.Disposal;
    IsGray = source.IsGray;
    IsCorrupt = source.IsCorrupt;
    const QList<QByteArray> *comment = const_cast<TGIFFrame &>(source).FrameComment(false);
    if (comment && !comment->isEmpty())
        *FrameComment(true) = *comment;
    if (ParentImage)
        ParentImage->UpdateScreenSize();
}

void TGIFFrame::CopyFrom(TGIFImage &source)
{
    if (source.FrameCount() == 0) {
        CopyFrom(nullptr);
        return;
    }
    CopyFrom(source.Frames(source.FrameIndex < 0 ? 0 : source.FrameIndex));
}

void TGIFFrame::CopyFrom(const TBitmap &source)
{
    resetFields();
    if (source.isEmpty())
        return;
    assignBitmap(source, false);
    m_bitmap.setMonochrome(source.monochrome());
    if (source.transparent())
        TransparentColor = source.transparentColor();
    if (ParentImage)
        ParentImage->UpdateScreenSize();
}

void TGIFFrame::RenderTo(TBitmap &target)
{
    target = DecodedBitmap();
    if (TransparentColor != clNone) {
        target.setTransparentColor(target.nearestColor(TransparentColor));
        target.setTransparent(true);
    }
}

// ---------------------------------------------------------------------------
// TGIFImage

TGIFImage::TGIFImage() : Header(std::make_shared<TGIFData>()) { }

TGIFImage::~TGIFImage()
{
    m_frames.clear(); // while the list of held bitmaps still exists
}

const QVector<QRgb> &TGIFImage::bitmapColorTable(const TGIFColors &colors, int depth)
{
    if (depth != m_tableDepth || !(colors == m_tableColors)) {
        m_table = colorTable(colors, depth);
        m_tableColors = colors;
        m_tableDepth = depth;
    }
    return m_table;
}

GifLzwDecoder &TGIFImage::decoder()
{
    if (!m_decoder)
        m_decoder = std::make_unique<GifLzwDecoder>();
    return *m_decoder;
}

void TGIFImage::holdDecoded(TGIFFrame &frame)
{
    frame.m_held = true;
    frame.m_heldBytes = frame.m_bitmap.image().sizeInBytes();
    frame.m_olderHeld = m_newestHeld;
    frame.m_newerHeld = nullptr;
    (m_newestHeld ? m_newestHeld->m_newerHeld : m_oldestHeld) = &frame;
    m_newestHeld = &frame;
    m_heldBytes += frame.m_heldBytes;
    while (m_heldBytes > kGifHeldBitmapBytes && m_oldestHeld != &frame) {
        TGIFFrame &oldest = *m_oldestHeld;
        releaseHeld(oldest);
        oldest.m_bitmap = TBitmap();
        oldest.m_decoded = false;
        oldest.m_dropped = true;
    }
}

void TGIFImage::releaseHeld(TGIFFrame &frame)
{
    (frame.m_olderHeld ? frame.m_olderHeld->m_newerHeld : m_oldestHeld) = frame.m_newerHeld;
    (frame.m_newerHeld ? frame.m_newerHeld->m_olderHeld : m_newestHeld) = frame.m_olderHeld;
    frame.m_olderHeld = frame.m_newerHeld = nullptr;
    frame.m_held = false;
    m_heldBytes -= frame.m_heldBytes;
    frame.m_heldBytes = 0;
}

void TGIFImage::Reset()
{
    Header = std::make_shared<TGIFData>();
    m_frames.clear();
    FrameIndex = -1;
    BackgroundColor = clNone;
    RepeatCount = 1;
    Looping = false;
    Version = 0;
    m_screenWidth = 0;
    m_screenHeight = 0;
    m_extentFrames = 0;
    m_extentWidth = 0;
    m_extentHeight = 0;
}

void TGIFImage::changed()
{
    if (OnChange)
        OnChange();
}

void TGIFImage::notifyProgress(TProgressStage stage, int percent, const QString &message)
{
    if (OnProgress)
        OnProgress(stage, percent, message);
}

void TGIFImage::appendFrame(std::unique_ptr<TGIFFrame> frame)
{
    frame->ParentImage = this;
    TGIFFrame &added = *frame;
    m_frames.push_back(std::move(frame));
    m_extentFrames = -1;
    if (added.m_decoded && !added.m_held)
        holdDecoded(added);
}

void TGIFImage::removeFrame(int index)
{
    m_frames.erase(m_frames.begin() + index);
    m_extentFrames = -1;
}

void TGIFImage::UpdateScreenSize()
{
    int width = 0;
    int height = 0;
    for (auto &frame : m_frames) {
        width = std::max(width, frame->Left + frame->Width());
        height = std::max(height, frame->Top + frame->Height());
    }
    m_extentFrames = FrameCount();
    m_extentWidth = m_screenWidth = width;
    m_extentHeight = m_screenHeight = height;
}

void TGIFImage::CopyFrom(std::nullptr_t)
{
    Reset();
    changed();
}

void TGIFImage::CopyFrom(TGIFImage &source)
{
    if (&source == this)
        return;
    Header = source.Header;
    Version = source.Version;
    BackgroundColor = source.BackgroundColor;
    RepeatCount = source.RepeatCount;
    Looping = source.Looping;
    m_frames.clear();
    for (auto &sourceFrame : source.m_frames) {
        // Built detached so that each copy does not recompute the screen
        // size; the source's size is taken over below.
        auto frame = std::make_unique<TGIFFrame>();
        frame->CopyFrom(*sourceFrame);
        frame->HasLocalColors = sourceFrame->HasLocalColors;
        appendFrame(std::move(frame));
    }
    m_screenWidth = source.m_screenWidth;
    m_screenHeight = source.m_screenHeight;
    FrameIndex = source.FrameIndex;
    changed();
}

void TGIFImage::CopyFrom(const TGIFFrame &source)
{
    Reset();
    if (source.ParentImage) {
        const TGIFData &sourceHeader = *source.ParentImage->Header;
        Header->PixelAspect = sourceHeader.PixelAspect;
        Header->ColorDepth = sourceHeader.ColorDepth;
        Header->ColorResolution = sourceHeader.ColorResolution;
        Header->GlobalColors = sourceHeader.GlobalColors;
    }
    appendFrame(std::make_unique<TGIFFrame>(this));
    FrameIndex = 0;
    m_frames.back()->CopyFrom(source);
    if (Version == 0)
        Version = 1;
    changed();
}

void TGIFImage::CopyFrom(const TBitmap &source)
{
    Reset();
    AppendFrame(source);
    changed();
}

void TGIFImage::AppendFrame(const TBitmap &bitmap)
{
    // The frame is filled before it joins the image, so that its copy does
    // not recompute the screen size over all earlier frames: the known
    // extent of those grows by the new frame alone.
    const bool extentKnown = m_extentFrames == FrameCount();
    auto frame = std::make_unique<TGIFFrame>();
    frame->CopyFrom(bitmap);
    TGIFFrame &added = *frame;
    appendFrame(std::move(frame));
    FrameIndex = FrameCount() - 1;
    if (extentKnown) {
        m_extentFrames = FrameCount();
        m_extentWidth = m_screenWidth = std::max(m_extentWidth, added.Left + added.Width());
        m_extentHeight = m_screenHeight = std::max(m_extentHeight, added.Top + added.Height());
    } else {
        UpdateScreenSize();
    }
    if (Version == 0)
        Version = 1;
    if (FrameCount() > 1)
        Version = 2;
}

void TGIFImage::RenderTo(TBitmap &target)
{
    if (IsEmpty()) {
        target = TBitmap();
        return;
    }
    if (FrameIndex < 0) {
        target = Frames(0).DecodedBitmap();
        return;
    }
    Frames(FrameIndex).RenderTo(target);
}

void TGIFImage::DecodeFrames()
{
    for (int i = FrameCount() - 1; i >= 0; --i)
        Frames(i).DecodedBitmap();
}

void TGIFImage::DrawFrame(QPainter &canvas, const QRect &rect)
{
    if (FrameIndex < 0 || FrameIndex >= FrameCount())
        return;
    TGIFFrame &frame = Frames(FrameIndex);
    const TBitmap &bitmap = frame.DecodedBitmap();
    if (bitmap.isEmpty())
        return;
    QImage image = bitmap.image();
    if (IsTransparent() && frame.TransparentColor != clNone) {
        // Masked stretch: pixels of the transparent colour are left out.
        const QRgb key = toQRgb(frame.TransparentColor);
        if (image.format() == QImage::Format_Indexed8) {
            QVector<QRgb> table = image.colorTable();
            for (QRgb &entry : table)
                if (qRgb(qRed(entry), qGreen(entry), qBlue(entry)) == key)
                    entry = qRgba(qRed(entry), qGreen(entry), qBlue(entry), 0);
            image.setColorTable(table);
        } else {
            image = image.convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < image.height(); ++y) {
                auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    if ((row[x] | 0xFF000000u) == key)
                        row[x] = 0;
            }
        }
    }
    canvas.drawImage(rect, image);
}

bool TGIFImage::IsEmpty()
{
    if (m_frames.empty())
        return true;
    const int index = std::max(FrameIndex, 0);
    if (index >= FrameCount())
        return true;
    const TGIFFrame &frame = Frames(index);
    return !frame.hasBitmap() && frame.SharedData->EncodedData.isEmpty();
}

int TGIFImage::CurrentWidth()
{
    if (IsEmpty() || FrameIndex < 0 || FrameIndex >= FrameCount())
        return 0;
    return Frames(FrameIndex).Width();
}

int TGIFImage::CurrentHeight()
{
    if (IsEmpty() || FrameIndex < 0 || FrameIndex >= FrameCount())
        return 0;
    return Frames(FrameIndex).Height();
}

QVector<QRgb> TGIFImage::Palette()
{
    if (FrameIndex < 0 || FrameIndex >= FrameCount())
        return {};
    return Frames(FrameIndex).DecodedBitmap().palette();
}

bool TGIFImage::IsTransparent() const
{
    if (!Transparent)
        return false;
    for (const auto &frame : m_frames)
        if (frame->TransparentColor != clNone)
            return true;
    return false;
}

void TGIFImage::SetWidth(int)
{
    throw EInvalidGraphicOperation(QStringLiteral("Cannot change the Size of a GIF image"));
}

void TGIFImage::SetHeight(int)
{
    throw EInvalidGraphicOperation(QStringLiteral("Cannot change the Size of a GIF image"));
}
