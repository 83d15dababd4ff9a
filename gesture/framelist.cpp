#include "framelist.h"

#include "platform/errors.h"

#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

// Generations are handed out from one counter, so no two edits of any lists
// ever share a value.
std::atomic<std::uint64_t> generations { 0 };

// A 32-bit picture for a strip. Above 32 MiB the C library maps every
// allocation afresh and returns it when it is freed, and filling the fresh
// pages costs several times the copy itself (a strip of 160 frames of
// 255 x 225 is 37 MB). So the last such buffer released is kept, one for the
// whole program, and the next strip of about its size is drawn into it, as
// the library does with smaller blocks.
class StripBuffers
{
public:
    static QImage make(int width, int height)
    {
        const qsizetype stride = qsizetype(width) * 4;
        const std::size_t bytes = std::size_t(stride) * std::size_t(height);
        if (bytes < kMinimum)
            return QImage(width, height, QImage::Format_RGB32);
        void *memory = take(bytes);
        if (!memory)
            return {};
        return QImage(static_cast<uchar *>(memory) + kHeader, width, height, stride, QImage::Format_RGB32,
            release, memory);
    }

private:
    static constexpr std::size_t kMinimum = std::size_t(32) << 20;
    static constexpr std::size_t kHeader = 64; // keeps the buffer's size; the pixels stay aligned

    static void *take(std::size_t bytes)
    {
        {
            const std::lock_guard lock(mutex);
            if (spare && sizeOf(spare) >= bytes && sizeOf(spare) <= bytes + bytes / 4)
                return std::exchange(spare, nullptr);
        }
        void *memory = std::malloc(kHeader + bytes);
        if (memory)
            *static_cast<std::size_t *>(memory) = bytes;
        return memory;
    }
    static void release(void *memory)
    {
        const std::lock_guard lock(mutex);
        std::free(std::exchange(spare, memory));
    }
    static std::size_t sizeOf(void *memory) { return *static_cast<const std::size_t *>(memory); }

    static inline std::mutex mutex;
    static inline void *spare = nullptr;
};

[[noreturn]] void indexError(int index)
{
    throw PlumoraError(QStringLiteral("Frame index out of bounds (%1)").arg(index));
}

} // namespace

TFrameList::TFrameList(int width, int height) : m_width(std::max(0, width)), m_height(std::max(0, height))
{
    edited();
}

void TFrameList::edited()
{
    m_generation = ++generations;
}

const TFrameList::Frame &TFrameList::frame(int index) const
{
    if (index < 0 || index >= Count())
        indexError(index);
    return m_frames[index];
}

TFrameList::Frame TFrameList::makeFrame(const QImage &picture, TColor maskColor) const
{
    Frame f;
    f.maskColor = maskColor;
    if (picture.width() == m_width && picture.height() == m_height) {
        f.picture = picture.convertToFormat(QImage::Format_RGB32);
    } else {
        f.picture = QImage(m_width, m_height, QImage::Format_RGB32);
        f.picture.fill(Qt::black);
        QPainter painter(&f.picture);
        painter.drawImage(0, 0, picture);
    }
    return f;
}

void TFrameList::Add(const QImage &picture, TColor maskColor)
{
    m_frames.append(makeFrame(picture, maskColor));
    edited();
}

void TFrameList::AddStrip(const QImage &strip, int count, TColor maskColor)
{
    if (count <= 0)
        return;
    if (strip.height() != m_height || qint64(count) * m_width > strip.width())
        throw PlumoraError(QStringLiteral("A strip of %1 x %2 pixels does not hold %3 frames of %4 x %5")
                               .arg(strip.width())
                               .arg(strip.height())
                               .arg(count)
                               .arg(m_width)
                               .arg(m_height));
    const auto shared = std::make_shared<const QImage>(strip.convertToFormat(QImage::Format_RGB32));
    m_frames.reserve(m_frames.size() + count);
    for (int i = 0; i < count; ++i) {
        Frame f;
        f.strip = shared;
        f.x = i * m_width;
        f.maskColor = maskColor;
        m_frames.append(std::move(f));
    }
    edited();
}

const QImage &TFrameList::pictureOf(const Frame &f) const
{
    if (f.picture.isNull() && f.strip) {
        // A read-only view of the frame's columns that keeps the strip alive
        // as long as the view or any copy of it lives; writing to a copy
        // copies the pixels first.
        auto *keep = new std::shared_ptr<const QImage>(f.strip);
        f.picture = QImage(
            f.strip->constScanLine(0) + qsizetype(f.x) * 4, m_width, m_height, f.strip->bytesPerLine(),
            QImage::Format_RGB32,
            [](void *info) { delete static_cast<std::shared_ptr<const QImage> *>(info); }, keep);
    }
    return f.picture;
}

void TFrameList::Insert(int index, const QImage &picture, TColor maskColor)
{
    if (index < 0 || index > Count())
        indexError(index);
    m_frames.insert(index, makeFrame(picture, maskColor));
    edited();
}

void TFrameList::Delete(int index)
{
    frame(index);
    m_frames.removeAt(index);
    edited();
}

void TFrameList::Clear()
{
    m_frames.clear();
    edited();
}

void TFrameList::Move(int from, int to)
{
    frame(from);
    frame(to);
    m_frames.move(from, to);
    edited();
}

void TFrameList::Rearrange(const QVector<int> &order)
{
    QVector<Frame> frames;
    frames.reserve(order.size());
    for (const int index : order)
        frames.append(frame(index));
    m_frames = std::move(frames);
    edited();
}

void TFrameList::InsertMany(int index, const QVector<QImage> &pictures, TColor maskColor)
{
    if (index < 0 || index > Count())
        indexError(index);
    QVector<Frame> made;
    made.reserve(pictures.size());
    for (const QImage &picture : pictures)
        made.append(makeFrame(picture, maskColor));
    m_frames.insert(index, made.size(), Frame());
    std::move(made.begin(), made.end(), m_frames.begin() + index);
    edited();
}

TFrameList TFrameList::SharedCopy() const
{
    TFrameList copy(*this);
    for (Frame &f : copy.m_frames)
        f.masked = QImage();
    copy.m_generation = m_generation;
    return copy;
}

void TFrameList::Remask(TColor background, TColor maskColor)
{
    bool changed = false;
    for (Frame &f : m_frames) {
        const bool repaint = background != clNone && f.maskColor != clNone && background != f.maskColor;
        if (!repaint && f.maskColor == maskColor)
            continue;
        if (repaint) {
            f.picture = repainted(f, background);
            f.strip.reset();
        }
        f.maskColor = maskColor;
        f.masked = QImage();
        changed = true;
    }
    if (changed)
        edited();
}

bool TFrameList::IsTransparent(int index, int x, int y) const
{
    const Frame &f = frame(index);
    return f.maskColor != clNone && fromQRgb(pictureOf(f).pixel(x, y)) == f.maskColor;
}

QImage TFrameList::CopyFrame(int index, TColor background) const
{
    return repainted(frame(index), background);
}

QImage TFrameList::repainted(const Frame &f, TColor background) const
{
    QImage out = pictureOf(f);
    if (background == clNone || f.maskColor == clNone || background == f.maskColor)
        return out;
    const QRgb key = toQRgb(f.maskColor);
    const QRgb fill = toQRgb(background);
    for (int y = 0; y < out.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((row[x] | 0xFF000000u) == key)
                row[x] = fill;
    }
    return out;
}

void TFrameList::Draw(QPainter &canvas, QPoint at, int index) const
{
    const Frame &f = frame(index);
    if (f.maskColor == clNone) {
        canvas.drawImage(at, pictureOf(f));
        return;
    }
    if (f.masked.isNull()) {
        QImage masked = pictureOf(f).convertToFormat(QImage::Format_ARGB32);
        const QRgb key = toQRgb(f.maskColor);
        for (int y = 0; y < masked.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(masked.scanLine(y));
            for (int x = 0; x < masked.width(); ++x)
                if ((row[x] | 0xFF000000u) == key)
                    row[x] = 0;
        }
        f.masked = masked.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    canvas.drawImage(at, f.masked);
}

QImage TFrameList::Strip(TColor background) const
{
    const int count = Count();
    const qsizetype rowBytes = qsizetype(m_width) * 4;
    if (count == 0 || rowBytes == 0 || m_height == 0)
        return {};
    // Frames still in the order and place they were cut from one strip
    // exactly as wide: that strip is the answer.
    // A frame whose mask colour is not the background has pixels to repaint.
    const auto repaints = [background](const Frame &f) {
        return background != clNone && f.maskColor != clNone && f.maskColor != background;
    };
    const std::shared_ptr<const QImage> &first = m_frames.first().strip;
    bool asCut = first && first->width() == count * m_width && first->height() == m_height
        && std::none_of(m_frames.begin(), m_frames.end(), repaints);
    for (int i = 0; asCut && i < count; ++i)
        asCut = m_frames[i].strip == first && m_frames[i].x == i * m_width;
    if (asCut)
        return *first;

    QImage strip = StripBuffers::make(count * m_width, m_height);
    if (strip.isNull())
        return {};
    // Every frame is RGB32 of frame size, drawn opaque: its rows are copied.
    uchar *bits = strip.bits();
    const qsizetype stride = strip.bytesPerLine();
    for (int i = 0; i < count; ++i) {
        const Frame &f = m_frames[i];
        const uchar *source;
        qsizetype sourceStride;
        QImage repaint;
        if (repaints(f)) {
            repaint = repainted(f, background);
            source = repaint.constBits();
            sourceStride = repaint.bytesPerLine();
        } else if (f.strip) {
            source = f.strip->constScanLine(0) + qsizetype(f.x) * 4;
            sourceStride = f.strip->bytesPerLine();
        } else {
            source = f.picture.constBits();
            sourceStride = f.picture.bytesPerLine();
        }
        uchar *target = bits + i * rowBytes;
        for (int y = 0; y < m_height; ++y)
            std::memcpy(target + y * stride, source + y * sourceStride, std::size_t(rowBytes));
    }
    return strip;
}
