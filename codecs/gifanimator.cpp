// Composition of an animated GIF's frames, kept between consecutive frames so
// that handing out all n frames costs n frame draws, not n^2 / 2.
#include "gifanimator.h"

#include "platform/errors.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// Canvas pixels are opaque RGB32 values, so 0 can mark "leave out".
constexpr QRgb opaque(QRgb rgb)
{
    return rgb | 0xFF000000u;
}

// The part of a rectangle that lies inside an area of the given size: its
// place in the area and the matching offset inside the rectangle.
struct Clip
{
    int x = 0, y = 0; // in the area
    int sx = 0, sy = 0; // inside the rectangle
    int width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};

Clip clipRect(qint64 left, qint64 top, qint64 width, qint64 height, int areaWidth, int areaHeight)
{
    const qint64 x0 = std::max<qint64>(left, 0);
    const qint64 y0 = std::max<qint64>(top, 0);
    const qint64 x1 = std::min<qint64>(left + width, areaWidth);
    const qint64 y1 = std::min<qint64>(top + height, areaHeight);
    if (x1 <= x0 || y1 <= y0)
        return {};
    return { int(x0), int(y0), int(x0 - left), int(y0 - top), int(x1 - x0), int(y1 - y0) };
}

// A run of grid indexes [first, last).
struct Span
{
    int first = 0, last = 0;
    bool empty() const { return last <= first; }
    int size() const { return last - first; }
};

// The indexes i with lo <= v[i] < hi; v is strictly increasing.
Span span(const std::vector<int> &v, qint64 lo, qint64 hi)
{
    const auto begin = std::lower_bound(v.begin(), v.end(), lo);
    const auto end = std::lower_bound(begin, v.end(), hi);
    return { int(begin - v.begin()), int(end - v.begin()) };
}

void checkCanvasSize(int width, int height)
{
    if (qint64(width) * height * 4 > kGifMaxBitmapBytes)
        throw EInvalidGraphicOperation(
            QStringLiteral("The animation is too large to show (%1 x %2 pixels)").arg(width).arg(height));
}

QImage newCanvas(int width, int height)
{
    checkCanvasSize(width, height);
    if (width <= 0 || height <= 0)
        return {};
    QImage canvas(width, height, QImage::Format_RGB32);
    if (canvas.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Not enough memory to show the animation"));
    return canvas;
}

QRgb *row(QImage &image, int y)
{
    return reinterpret_cast<QRgb *>(image.scanLine(y));
}
const QRgb *constRow(const QImage &image, int y)
{
    return reinterpret_cast<const QRgb *>(image.constScanLine(y));
}

// Copies source pixels onto the canvas cells of the given spans; convert
// gives a pixel's canvas value, or 0 to leave it out.
template <typename Pixel, typename Convert>
void blit(QImage &canvas, const QImage &source, const std::vector<int> &xs, const std::vector<int> &ys,
    Span columns, Span rows, int left, int top, Convert convert)
{
    // Neighbouring cells on neighbouring screen columns: plain row runs.
    const bool contiguous = xs[std::size_t(columns.last - 1)] - xs[std::size_t(columns.first)]
        == columns.last - 1 - columns.first;
    for (int j = rows.first; j < rows.last; ++j) {
        const auto *src = reinterpret_cast<const Pixel *>(source.constScanLine(ys[std::size_t(j)] - top));
        QRgb *dst = row(canvas, j);
        if (contiguous) {
            const Pixel *s = src + (xs[std::size_t(columns.first)] - left);
            QRgb *d = dst + columns.first;
            const int n = columns.size();
            for (int i = 0; i < n; ++i) {
                const QRgb value = convert(s[i]);
                if (value != 0)
                    d[i] = value;
            }
        } else {
            for (int i = columns.first; i < columns.last; ++i) {
                const QRgb value = convert(src[xs[std::size_t(i)] - left]);
                if (value != 0)
                    dst[i] = value;
            }
        }
    }
}

// Draws the frame at its position and own size onto the canvas cells whose
// screen pixels it covers; pixels whose colour is the frame's transparent
// colour are left out.
void drawFrame(QImage &canvas, const std::vector<int> &xs, const std::vector<int> &ys, TGIFFrame &frame)
{
    const TBitmap &bitmap = frame.DecodedBitmap();
    if (bitmap.isEmpty())
        return;
    const Span columns = span(xs, frame.Left, qint64(frame.Left) + bitmap.width());
    const Span rows = span(ys, frame.Top, qint64(frame.Top) + bitmap.height());
    if (columns.empty() || rows.empty())
        return;
    const bool keyed = frame.TransparentColor != clNone;
    const QRgb key = toQRgb(frame.TransparentColor);

    const QImage &image = bitmap.image();
    if (image.format() == QImage::Format_Indexed8) {
        // One lookup per pixel; indexes beyond the palette show black.
        std::array<QRgb, 256> lut;
        lut.fill(opaque(0));
        const QVector<QRgb> table = image.colorTable();
        for (int i = 0; i < std::min<int>(int(table.size()), 256); ++i) {
            const QRgb colour = opaque(table[i]);
            lut[std::size_t(i)] = keyed && colour == key ? 0 : colour;
        }
        blit<uchar>(canvas, image, xs, ys, columns, rows, frame.Left, frame.Top,
            [&lut](uchar index) { return lut[index]; });
        return;
    }
    // True colour: the alpha channel is no mask here, only the key is.
    const QImage rgb = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
        ? image
        : bitmap.toRgb32();
    blit<QRgb>(canvas, rgb, xs, ys, columns, rows, frame.Left, frame.Top, [keyed, key](QRgb pixel) {
        const QRgb value = opaque(pixel);
        return keyed && value == key ? 0 : value;
    });
}

// Fills the canvas cells under the frame's rectangle.
void fillFrameRect(
    QImage &canvas, const std::vector<int> &xs, const std::vector<int> &ys, TGIFFrame &frame, QRgb fill)
{
    const Span columns = span(xs, frame.Left, qint64(frame.Left) + frame.Width());
    const Span rows = span(ys, frame.Top, qint64(frame.Top) + frame.Height());
    if (columns.empty())
        return;
    for (int j = rows.first; j < rows.last; ++j)
        std::fill_n(row(canvas, j) + columns.first, columns.size(), fill);
}

bool restoresPrevious(const TGIFFrame &frame)
{
    return frame.Disposal != 0 && frame.Disposal != 1 && frame.Disposal != 2;
}

std::vector<int> iota(int count)
{
    std::vector<int> values(std::size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        values[std::size_t(i)] = i;
    return values;
}

// The distinct values of a non-decreasing list, and for each entry of the
// list the index of its value among them.
std::vector<int> distinct(const std::vector<int> &sampled, std::vector<int> &index)
{
    std::vector<int> values;
    values.reserve(sampled.size());
    index.resize(sampled.size());
    for (std::size_t i = 0; i < sampled.size(); ++i) {
        if (values.empty() || values.back() != sampled[i])
            values.push_back(sampled[i]);
        index[i] = int(values.size()) - 1;
    }
    return values;
}

} // namespace

TRxGIFAnimator::TRxGIFAnimator() : m_image(std::make_unique<TGIFImage>())
{
    m_image->OnChange = [this] { imageChanged(); };
}

TRxGIFAnimator::~TRxGIFAnimator()
{
    m_image->OnChange = nullptr;
}

void TRxGIFAnimator::setImage(TGIFImage &source)
{
    m_image->CopyFrom(source);
}

// ---------------------------------------------------------------------------
// Properties

void TRxGIFAnimator::setAutoSize(bool on)
{
    if (m_autoSize == on)
        return;
    m_autoSize = on;
    applyAutoSize();
}

void TRxGIFAnimator::setAnimate(bool on)
{
    if (m_animate == on)
        return;
    m_animate = on;
    if (on) {
        if (OnStart)
            OnStart();
    } else if (OnStop) {
        OnStop();
    }
}

void TRxGIFAnimator::setFrameIndex(int index)
{
    if (index < 0 || index >= m_image->FrameCount() || index == m_frameIndex)
        return;
    m_frameIndex = index;
    m_interval = FrameInterval();
    if (OnFrameChanged)
        OnFrameChanged();
}

void TRxGIFAnimator::setBounds(int left, int top, int width, int height)
{
    m_left = left;
    m_top = top;
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
}

int TRxGIFAnimator::FrameInterval() const
{
    if (m_image->FrameCount() < 2 || m_frameIndex < 0 || m_frameIndex >= m_image->FrameCount())
        return 0;
    return std::max<int>(m_image->Frames(m_frameIndex).DelayMs, 1);
}

void TRxGIFAnimator::Tick()
{
    const int count = m_image->FrameCount();
    if (!m_animate || count < 2)
        return;
    int next = m_frameIndex + 1;
    if (next >= count || next < 0)
        next = 0;
    m_frameIndex = next;
    if (OnFrameChanged)
        OnFrameChanged();
    m_interval = FrameInterval();
    if (!m_loop && next == 0)
        setAnimate(false);
}

void TRxGIFAnimator::Invalidate()
{
    ++m_generation;
    m_shownFrame = -1;
    m_saved = QImage();
}

void TRxGIFAnimator::imageChanged()
{
    Invalidate();
    applyAutoSize();
    m_frameIndex = m_image->FrameIndex;
    if (m_frameIndex >= 0 && m_frameIndex < m_image->FrameCount())
        m_interval = FrameInterval();
    if (OnChange)
        OnChange();
}

void TRxGIFAnimator::applyAutoSize()
{
    if (m_autoSize && !m_image->IsEmpty())
        setBounds(m_left, m_top, m_image->ScreenWidth(), m_image->ScreenHeight());
}

// ---------------------------------------------------------------------------
// Composition

bool TRxGIFAnimator::canCompose()
{
    return !m_image->IsEmpty() && m_image->ScreenWidth() > 0 && m_image->ScreenHeight() > 0;
}

TColor TRxGIFAnimator::keyColor()
{
    // The image's current frame decides, whichever frame is being composed.
    const int current = m_image->FrameIndex;
    if (current < 0 || current >= m_image->FrameCount())
        return clNone;
    // The canvas is true colour, so the nearest colour it holds is the colour.
    return m_image->Frames(current).TransparentColor;
}

TColor TRxGIFAnimator::fillColor()
{
    const TColor key = keyColor();
    if (key != clNone)
        return key;
    if (m_image->BackgroundColor != clNone && imageTransparent())
        return m_image->BackgroundColor;
    return kAnimatorWindowColor;
}

bool TRxGIFAnimator::imageTransparent()
{
    const TransparencyKey now { m_generation, m_image->Header.get(), m_image->FrameCount(),
        m_image->Transparent };
    if (!(now == m_transparencyKey)) {
        m_imageTransparent = m_image->IsTransparent();
        m_transparencyKey = now;
    }
    return m_imageTransparent;
}

int TRxGIFAnimator::clampIndex(int k) const
{
    return std::clamp(k, 0, std::max(m_image->FrameCount() - 1, 0));
}

bool TRxGIFAnimator::coversScreen(TGIFFrame &frame)
{
    const qint64 left = frame.Left;
    const qint64 top = frame.Top;
    return left <= 0 && top <= 0 && left + frame.Width() >= m_image->ScreenWidth()
        && top + frame.Height() >= m_image->ScreenHeight();
}

// The latest frame before k, frame 0 aside, that restores the whole screen to
// the fill colour once shown: nothing before it can show in frame k.
int TRxGIFAnimator::startFrame(int k)
{
    for (int j = k - 1; j >= 1; --j) {
        TGIFFrame &frame = m_image->Frames(j);
        if (frame.Disposal == 2 && coversScreen(frame))
            return j;
    }
    return 0;
}

TRxGIFAnimator::KeptKey TRxGIFAnimator::keyNow()
{
    return { m_generation, m_image->Header.get(), m_image->FrameCount(), m_image->ScreenWidth(),
        m_image->ScreenHeight(), fillColor() };
}

TRxGIFAnimator::SampleGrid TRxGIFAnimator::wholeScreen() const
{
    return { iota(m_image->ScreenWidth()), iota(m_image->ScreenHeight()) };
}

// With Stretch the whole screen is scaled to the client area, each client
// pixel showing the screen pixel under its centre; otherwise the screen is
// shown at its own size at the top left or, with Center, centred, and
// cropped to the client area.
TRxGIFAnimator::Placement TRxGIFAnimator::placement() const
{
    const int screenWidth = m_image->ScreenWidth();
    const int screenHeight = m_image->ScreenHeight();
    qint64 left = 0, top = 0, width = m_width, height = m_height;
    if (!m_stretch) {
        width = screenWidth;
        height = screenHeight;
        if (m_center) {
            left = (m_width - screenWidth) / 2;
            top = (m_height - screenHeight) / 2;
        }
    }
    Placement place;
    const Clip clip = clipRect(left, top, width, height, m_width, m_height);
    if (clip.empty())
        return place;
    place.left = clip.x;
    place.top = clip.y;
    place.columns.resize(std::size_t(clip.width));
    for (int x = 0; x < clip.width; ++x)
        place.columns[std::size_t(x)] = int((2 * qint64(clip.sx + x) + 1) * screenWidth / (2 * width));
    place.rows.resize(std::size_t(clip.height));
    for (int y = 0; y < clip.height; ++y)
        place.rows[std::size_t(y)] = int((2 * qint64(clip.sy + y) + 1) * screenHeight / (2 * height));
    return place;
}

const QImage &TRxGIFAnimator::composeKept(int k, const SampleGrid &grid)
{
    const KeptKey key = keyNow();
    const QRgb fill = opaque(toQRgb(key.fill));
    const bool kept = m_shownFrame >= 0 && key == m_kept && grid == m_grid;
    if (kept && k == m_shownFrame)
        return m_work;

    const int shown = m_shownFrame;
    m_shownFrame = -1; // until frame k is complete, in case decoding throws
    if (kept && k == shown + 1) {
        // Take away what the shown frame's disposal takes away.
        TGIFFrame &previous = m_image->Frames(shown);
        if (previous.Disposal == 2) {
            fillFrameRect(m_work, m_grid.xs, m_grid.ys, previous, fill);
        } else if (restoresPrevious(previous) && !m_saved.isNull()) {
            for (int y = 0; y < m_saved.height(); ++y)
                std::memcpy(row(m_work, m_savedTop + y) + m_savedLeft, constRow(m_saved, y),
                    std::size_t(m_saved.width()) * sizeof(QRgb));
        }
    } else {
        m_kept = key;
        if (!(m_grid == grid))
            m_grid = grid;
        const int width = int(m_grid.xs.size());
        const int height = int(m_grid.ys.size());
        if (m_work.width() != width || m_work.height() != height || m_work.isNull())
            m_work = newCanvas(width, height);
        m_work.fill(fill);
        for (int j = startFrame(k); j < k; ++j) {
            TGIFFrame &frame = m_image->Frames(j);
            if (frame.Disposal == 0 || frame.Disposal == 1)
                drawFrame(m_work, m_grid.xs, m_grid.ys, frame);
            else if (frame.Disposal == 2)
                fillFrameRect(m_work, m_grid.xs, m_grid.ys, frame, fill);
        }
    }

    // Frame k; keep what it covers when its disposal will want that back.
    TGIFFrame &frame = m_image->Frames(k);
    m_saved = QImage();
    if (restoresPrevious(frame)) {
        const Span columns = span(m_grid.xs, frame.Left, qint64(frame.Left) + frame.Width());
        const Span rows = span(m_grid.ys, frame.Top, qint64(frame.Top) + frame.Height());
        if (!columns.empty() && !rows.empty()) {
            m_saved = m_work.copy(columns.first, rows.first, columns.size(), rows.size());
            m_savedLeft = columns.first;
            m_savedTop = rows.first;
        }
    }
    drawFrame(m_work, m_grid.xs, m_grid.ys, frame);
    m_shownFrame = k;
    return m_work;
}

QImage TRxGIFAnimator::composeFromScratch(int k)
{
    const QRgb fill = opaque(toQRgb(fillColor()));
    QImage canvas = newCanvas(m_image->ScreenWidth(), m_image->ScreenHeight());
    const SampleGrid grid = wholeScreen();
    canvas.fill(fill);
    const int start = startFrame(k);
    for (int j = start; j < k; ++j) {
        TGIFFrame &frame = m_image->Frames(j);
        if (frame.Disposal == 0 || frame.Disposal == 1)
            drawFrame(canvas, grid.xs, grid.ys, frame);
        else if (frame.Disposal == 2 && j > start)
            fillFrameRect(canvas, grid.xs, grid.ys, frame, fill);
    }
    drawFrame(canvas, grid.xs, grid.ys, m_image->Frames(k));
    return canvas;
}

TBitmap TRxGIFAnimator::composedBitmap(const QImage &composed)
{
    TBitmap result(composed.copy());
    const TColor key = keyColor();
    if (key != clNone && m_transparent) {
        result.setTransparentColor(key);
        result.setTransparent(true);
    }
    return result;
}

TBitmap TRxGIFAnimator::ComposeFrame(int k)
{
    if (!canCompose())
        return {};
    checkCanvasSize(m_image->ScreenWidth(), m_image->ScreenHeight());
    return composedBitmap(composeKept(clampIndex(k), wholeScreen()));
}

TBitmap TRxGIFAnimator::ComposeFrameFromScratch(int k)
{
    if (!canCompose())
        return {};
    return composedBitmap(composeFromScratch(clampIndex(k)));
}

// The client area in the control's colour with the composition placed on it.
// Client column place.left + i shows canvas column columnIndex[i], and rows
// likewise. With Transparent on, pixels of the key colour are left out so
// the control's colour shows through.
TBitmap TRxGIFAnimator::paint(const QImage &composed, const Placement &place,
    const std::vector<int> &columnIndex, const std::vector<int> &rowIndex)
{
    QImage result = newCanvas(m_width, m_height);
    if (result.isNull())
        return {};
    const bool drawn = !composed.isNull() && !columnIndex.empty() && !rowIndex.empty();
    const TColor keyColour = keyColor();
    const bool leaveOut = keyColour != clNone && m_transparent;
    // The control's colour shows only where the composition does not cover
    // the client area or leaves pixels out.
    if (!drawn || leaveOut || place.left != 0 || place.top != 0 || int(columnIndex.size()) != m_width
        || int(rowIndex.size()) != m_height)
        result.fill(opaque(toQRgb(m_color)));
    if (!drawn)
        return TBitmap(result);

    const int width = int(columnIndex.size());
    // Consecutive client columns on consecutive canvas columns: row copies.
    const bool sameColumns = columnIndex.back() - columnIndex.front() == width - 1;
    const QRgb key = opaque(toQRgb(keyColour));
    for (std::size_t y = 0; y < rowIndex.size(); ++y) {
        const QRgb *src = constRow(composed, rowIndex[y]);
        QRgb *dst = row(result, place.top + int(y)) + place.left;
        if (sameColumns && !leaveOut) {
            std::memcpy(dst, src + columnIndex.front(), std::size_t(width) * sizeof(QRgb));
        } else if (!leaveOut) {
            for (int x = 0; x < width; ++x)
                dst[x] = src[columnIndex[std::size_t(x)]];
        } else {
            for (int x = 0; x < width; ++x) {
                const QRgb value = src[columnIndex[std::size_t(x)]];
                if (value != key)
                    dst[x] = value;
            }
        }
    }
    return TBitmap(result);
}

const TRxGIFAnimator::Sampling *TRxGIFAnimator::frameSampling()
{
    if (!canCompose())
        return nullptr;
    checkCanvasSize(m_width, m_height);
    const SamplingKey key { m_width, m_height, m_image->ScreenWidth(), m_image->ScreenHeight(), m_stretch,
        m_center };
    if (!(key == m_samplingKey)) {
        m_sampling.place = placement();
        m_sampling.grid.xs = distinct(m_sampling.place.columns, m_sampling.columnIndex);
        m_sampling.grid.ys = distinct(m_sampling.place.rows, m_sampling.rowIndex);
        m_samplingKey = key;
    }
    return &m_sampling;
}

TBitmap TRxGIFAnimator::GetFrameBitmap(int k)
{
    const Sampling *sampling = frameSampling();
    if (!sampling)
        return {};
    const Placement &place = sampling->place;
    if (place.columns.empty() || place.rows.empty())
        return paint({}, place, {}, {});
    // Compose only the screen pixels the client area shows.
    const QImage &composed = composeKept(clampIndex(k), sampling->grid);
    return paint(composed, place, sampling->columnIndex, sampling->rowIndex);
}

TBitmap TRxGIFAnimator::GetFrameBitmapFromScratch(int k)
{
    const Sampling *sampling = frameSampling();
    if (!sampling)
        return {};
    const Placement &place = sampling->place;
    if (place.columns.empty() || place.rows.empty())
        return paint({}, place, {}, {});
    return paint(composeFromScratch(clampIndex(k)), place, place.columns, place.rows);
}
