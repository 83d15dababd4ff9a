#include "animationfit.h"

#include "animationimport.h"
#include "codecs/ansitext.h"
#include "codecs/colorreduction.h"
#include "zqgesture.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <optional>

namespace {

// Strips kept for measuring again with other colours: the dialog measures
// the same frames at a few colour counts while the user tries them.
constexpr std::size_t kCachedStrips = 3;

// A colour one level away from the transparent colour, for an opaque pixel
// that scaling or reduction happened to give exactly that colour.
QRgb besideKey(QRgb key)
{
    const int blue = qBlue(key);
    return qRgb(qRed(key), qGreen(key), blue < 255 ? blue + 1 : blue - 1);
}

} // namespace

bool TFitMeasure::fits() const
{
    return frameCount > 0 && blockBytes <= kMaxBlockBytes;
}

struct TAnimationFit::Strip
{
    TFitSettings settings; // the colours as made
    QSize frameSize;
    int frameCount = 0;
    QImage pixels; // RGB32, frameCount frames side by side
};

TAnimationFit::TAnimationFit(const TFrameList &frames, TColor transparent, const QString &author)
    : m_size(frames.Width(), frames.Height()),
      m_transparent(transparent),
      m_author(author.isEmpty() ? QByteArray() : toAnsi(author))
{
    m_frames.reserve(std::size_t(frames.Count()));
    for (int i = 0; i < frames.Count(); ++i) {
        // The frames as the file keeps them: transparent pixels in the
        // transparent colour, whatever colour each frame's mask was made from.
        // Made here, on the caller's thread: the list builds its frames'
        // pictures lazily. The copies share their pixels, which nobody
        // writes: an edit of the list copies them first.
        m_frames.push_back(frames.CopyFrame(i, transparent));
    }
}

TAnimationFit::~TAnimationFit() = default;

QSize TAnimationFit::FrameSizeFor(int width) const
{
    width = std::clamp(width, 1, std::max(1, m_size.width()));
    if (m_size.width() < 1)
        return { 1, 1 };
    const int height = width == m_size.width()
        ? m_size.height()
        : RoundHalfEven(double(m_size.height()) * width / m_size.width());
    return { width, std::max(1, height) };
}

TFitSettings TAnimationFit::Unchanged() const
{
    return Normalized(TFitSettings { m_size.width(), 256, 0, -1, 1 });
}

TFitSettings TAnimationFit::Normalized(TFitSettings s) const
{
    const int count = SourceCount();
    s.frameWidth = std::clamp(s.frameWidth, 1, std::max(1, m_size.width()));
    s.colours = std::clamp(s.colours, 2, 256);
    s.first = std::clamp(s.first, 0, std::max(0, count - 1));
    s.last = s.last < 0 ? count - 1 : std::clamp(s.last, s.first, std::max(0, count - 1));
    s.every = std::clamp(s.every, 1, std::max(1, count));
    // No more frames than a gesture holds at this width: the range ends
    // where they run out.
    const int holds = FramesAGestureHolds(FrameSizeFor(s.frameWidth).width());
    s.last = std::min(s.last, s.first + (holds - 1) * s.every);
    return s;
}

std::vector<int> TAnimationFit::FramesTaken(const TFitSettings &settings) const
{
    const TFitSettings s = Normalized(settings);
    std::vector<int> taken;
    if (SourceCount() == 0)
        return taken;
    for (int i = s.first; i <= s.last; i += s.every)
        taken.push_back(i);
    return taken;
}

QImage TAnimationFit::scaledFrame(int index, QSize size) const
{
    const QImage &source = m_frames[std::size_t(index)];
    if (size == m_size)
        return source;
    if (m_transparent == clNone)
        return source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    // Transparent pixels scale as clear ones: a fitted pixel is transparent
    // when mostly covered by transparent pixels, otherwise the mean of the
    // opaque pixels under it. No pixel blends with the transparent colour.
    const QRgb key = toQRgb(m_transparent) | 0xFF000000u;
    QImage clear = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < clear.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(clear.scanLine(y));
        for (int x = 0; x < clear.width(); ++x)
            if ((row[x] | 0xFF000000u) == key)
                row[x] = 0;
    }
    QImage scaled = clear.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                        .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32);
    QImage out(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(scaled.constScanLine(y));
        auto *to = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const QRgb pixel = from[x] | 0xFF000000u;
            to[x] = qAlpha(from[x]) < 128 ? key : pixel == key ? besideKey(key) : pixel;
        }
    }
    return out;
}

std::shared_ptr<const TAnimationFit::Strip> TAnimationFit::strip(const TFitSettings &settings) const
{
    const TFitSettings s = Normalized(settings);
    TFitSettings scaledKey = s;
    scaledKey.colours = 256;
    std::shared_ptr<const Strip> scaled;
    {
        const std::lock_guard lock(m_cacheMutex);
        for (const auto &kept : m_cache)
            if (kept->settings == s)
                return kept;
        for (const auto &kept : m_cache)
            if (kept->settings == scaledKey)
                scaled = kept;
    }
    if (!scaled) {
        auto made = std::make_shared<Strip>();
        made->settings = scaledKey;
        made->frameSize = FrameSizeFor(s.frameWidth);
        const std::vector<int> taken = FramesTaken(s);
        made->frameCount = int(taken.size());
        if (made->frameCount > 0) {
            const int w = made->frameSize.width(), h = made->frameSize.height();
            made->pixels = QImage(w * made->frameCount, h, QImage::Format_RGB32);
            for (int k = 0; k < made->frameCount; ++k) {
                const QImage frame = scaledFrame(taken[std::size_t(k)], made->frameSize);
                for (int y = 0; y < h; ++y)
                    std::copy_n(reinterpret_cast<const QRgb *>(frame.constScanLine(y)), w,
                        reinterpret_cast<QRgb *>(made->pixels.scanLine(y)) + qsizetype(k) * w);
            }
        }
        scaled = made;
    }
    std::shared_ptr<const Strip> result = scaled;
    if (s.colours < 256 && scaled->frameCount > 0) {
        auto reduced = std::make_shared<Strip>(*scaled);
        reduced->settings = s;
        reduced->pixels = ReduceColours(TBitmap(scaled->pixels), s.colours, m_transparent)
                              .image()
                              .convertToFormat(QImage::Format_RGB32);
        result = reduced;
    }
    const std::lock_guard lock(m_cacheMutex);
    for (const auto &made : { scaled, result }) {
        if (std::none_of(m_cache.begin(), m_cache.end(),
                [&](const auto &kept) { return kept->settings == made->settings; }))
            m_cache.push_back(made);
    }
    while (m_cache.size() > kCachedStrips)
        m_cache.erase(m_cache.begin());
    return result;
}

TFitMeasure TAnimationFit::Measure(const TFitSettings &settings) const
{
    const std::shared_ptr<const Strip> made = strip(settings);
    TFitMeasure measure;
    measure.settings = made->settings;
    measure.frameSize = made->frameSize;
    measure.frameCount = made->frameCount;
    if (made->frameCount > 0)
        measure.blockBytes = EncodeAnimationBlock(made->pixels, m_transparent, m_author).size();
    return measure;
}

std::unique_ptr<TFrameList> TAnimationFit::Make(const TFitSettings &settings) const
{
    const std::shared_ptr<const Strip> made = strip(settings);
    if (made->frameCount == 0)
        return nullptr;
    auto frames = std::make_unique<TFrameList>(made->frameSize.width(), made->frameSize.height());
    frames->AddStrip(made->pixels, made->frameCount, m_transparent);
    return frames;
}

namespace {

// A search for the largest whole number in a range whose probe passes,
// assuming larger numbers pass less often: the bytes an animation takes grow
// with its frame size and its colours. Each round probes one or two numbers
// at once (on two threads), aiming by the sizes seen so far.
class LargestPassing
{
public:
    using Probe = std::function<TFitMeasure(int)>;
    // Where the next number is aimed: from the measures that bound the
    // answer, a guess of the number that just fits.
    using Aim = std::function<int(const TFitMeasure *below, const TFitMeasure *above, int low, int high)>;

    LargestPassing(Probe probe, Aim aim, const TAnimationFit::Progress &progress,
        const std::atomic<bool> *cancel, int &probes)
        : m_probe(std::move(probe)),
          m_aim(std::move(aim)),
          m_progress(progress),
          m_cancel(cancel),
          m_probes(probes)
    {
    }

    // The largest passing number in [low, high] with its measure, where
    // `above` (a failing measure of a number above high) guides the aim.
    // Nothing when even low fails.
    std::optional<TFitMeasure> find(int low, int high, std::optional<TFitMeasure> above)
    {
        std::optional<TFitMeasure> below;
        int passing = low - 1; // the largest number known to pass
        int failing = high + 1; // the smallest known to fail
        while (failing - passing > 1 && !cancelled()) {
            const int lo = passing + 1, hi = failing - 1;
            int first
                = std::clamp(m_aim(below ? &*below : nullptr, above ? &*above : nullptr, lo, hi), lo, hi);
            // The second probe splits the side of the first where the answer
            // more likely lies, so one round narrows as much as it can.
            int second = -1;
            if (hi - lo >= 2)
                second = first < hi ? std::min(hi, first + std::max(1, (hi - first) / 3))
                                    : std::max(lo, first - std::max(1, (first - lo) / 3));
            if (second == first)
                second = -1;
            auto other
                = second >= 0 ? std::async(std::launch::async, m_probe, second) : std::future<TFitMeasure>();
            const TFitMeasure a = m_probe(first);
            std::vector<TFitMeasure> round { a };
            if (other.valid())
                round.push_back(other.get());
            m_probes += int(round.size());
            if (m_progress)
                m_progress(m_probes);
            for (const TFitMeasure &m : round) {
                const int n = number(m);
                if (m.fits() && n > passing) {
                    passing = n;
                    below = m;
                } else if (!m.fits() && n < failing) {
                    failing = n;
                    above = m;
                }
            }
            // A pass above a failure (sizes are not perfectly monotonic):
            // the failure no longer bounds the answer from above.
            if (passing >= failing)
                failing = high + 1;
        }
        if (passing < low)
            return std::nullopt;
        return below;
    }

    std::function<int(const TFitMeasure &)> number;

private:
    bool cancelled() const { return m_cancel && m_cancel->load(); }

    Probe m_probe;
    Aim m_aim;
    const TAnimationFit::Progress &m_progress;
    const std::atomic<bool> *m_cancel;
    int &m_probes;
};

// Where a block of `bytes` lands at another value of a knob whose bytes grow
// as its square (a frame width: the pixels grow with width times height).
// Aims a little under the limit, so that the first guess usually fits.
int aimBySquare(const TFitMeasure *below, const TFitMeasure *above, int low, int high,
    const std::function<int(const TFitMeasure &)> &number)
{
    constexpr double kTarget = kMaxBlockBytes * 0.97;
    const auto root
        = [](const TFitMeasure &m) { return std::sqrt(double(std::max<qsizetype>(1, m.blockBytes))); };
    if (below && above && number(*above) > number(*below)) {
        // Between the two, the root of the bytes is close to a straight line.
        const double x0 = number(*below), x1 = number(*above);
        const double y0 = root(*below), y1 = root(*above);
        if (y1 > y0)
            return int(std::floor(x0 + (std::sqrt(kTarget) - y0) * (x1 - x0) / (y1 - y0)));
        return (low + high) / 2;
    }
    if (above)
        return int(std::floor(number(*above) * std::sqrt(kTarget) / root(*above)));
    return (low + high + 1) / 2;
}

} // namespace

TFitMeasure TAnimationFit::Auto(const Progress &progress, const std::atomic<bool> *cancel) const
{
    int probes = 0;
    const TFitSettings unchanged = Unchanged();
    TFitMeasure full = Measure(unchanged);
    ++probes;
    if (progress)
        progress(probes);
    if (full.fits() || SourceCount() == 0 || (cancel && cancel->load()))
        return full;

    // The narrowest width that still gives the floor on the longer side.
    const int longer = std::max(m_size.width(), m_size.height());
    const int floorSide = std::min(longer, kFitFloorSide);
    int floorWidth = 1;
    while (floorWidth < m_size.width()) {
        const QSize size = FrameSizeFor(floorWidth);
        if (std::max(size.width(), size.height()) >= floorSide)
            break;
        ++floorWidth;
    }

    const auto byWidth = [this](int colours) {
        return [this, colours](int width) {
            TFitSettings s = Unchanged();
            s.frameWidth = width;
            s.colours = colours;
            return Measure(s);
        };
    };
    const auto widthOf = [](const TFitMeasure &m) { return m.settings.frameWidth; };
    const auto widthAim = [&](const TFitMeasure *below, const TFitMeasure *above, int low, int high) {
        return aimBySquare(below, above, low, high, widthOf);
    };

    // Frame size first, with all colours.
    LargestPassing widths(byWidth(256), widthAim, progress, cancel, probes);
    widths.number = widthOf;
    if (floorWidth < m_size.width())
        if (auto found = widths.find(floorWidth, m_size.width() - 1, full))
            return *found;
    if (cancel && cancel->load())
        return full;

    // Then colours, at the floor size.
    const auto coloursOf = [](const TFitMeasure &m) { return m.settings.colours; };
    LargestPassing colours(
        [&](int count) {
            TFitSettings s = Unchanged();
            s.frameWidth = floorWidth;
            s.colours = count;
            return Measure(s);
        },
        [](const TFitMeasure *, const TFitMeasure *, int low, int high) { return (low + high + 1) / 2; },
        progress, cancel, probes);
    colours.number = coloursOf;
    if (auto found = colours.find(kFitFloorColours, 255, std::nullopt))
        return *found;
    if (cancel && cancel->load())
        return full;

    // Then smaller frames, with the fewest colours.
    LargestPassing smaller(byWidth(kFitFloorColours), widthAim, progress, cancel, probes);
    smaller.number = widthOf;
    if (floorWidth > 1)
        if (auto found = smaller.find(1, floorWidth - 1, std::nullopt))
            return *found;
    return full;
}
