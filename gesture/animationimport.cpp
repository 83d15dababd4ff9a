#include "animationimport.h"

#include "buttonfit.h"
#include "codecs/ansitext.h"
#include "codecs/gifanimator.h"
#include "codecs/pictureio.h"
#include "codecs/picturekind.h"
#include "pictureanimation.h"
#include "platform/errors.h"
#include "zqgesture.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <limits>
#include <numeric>

namespace {

QString displayName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The GIF reader's messages ("Unknown GIF version") do not say which file
// they are about; the user picked it a moment ago, but the CLI prints many.
[[noreturn]] void rethrowNamingFile(const PlumoraError &error, const QString &path)
{
    const QString name = displayName(path);
    if (error.message().contains(name))
        throw;
    const QString message = QStringLiteral("Cannot read GIF picture \"%1\": %2").arg(name, error.message());
    if (dynamic_cast<const EStreamError *>(&error))
        throw EStreamError(message);
    throw EInvalidGraphicOperation(message);
}

// Hands the whole operation's percentage to the caller, once per change.
class ProgressReporter
{
public:
    explicit ProgressReporter(const TImportProgress &progress) : m_progress(progress)
    {
        if (m_progress)
            m_progress(TProgressStage::Starting, 0);
    }
    ~ProgressReporter()
    {
        if (m_progress)
            m_progress(TProgressStage::Ending, 100);
    }
    ProgressReporter(const ProgressReporter &) = delete;
    ProgressReporter &operator=(const ProgressReporter &) = delete;

    // Step `done` (plus `fraction` of the next) of `total` steps, within the
    // percentage range [from, to).
    void report(int from, int to, qint64 done, qint64 total, double fraction = 0)
    {
        if (!m_progress || total <= 0)
            return;
        const double part = std::clamp((double(done) + fraction) / double(total), 0.0, 1.0);
        const int percent = from + int(part * (to - from));
        if (percent == m_last)
            return;
        m_last = percent;
        m_progress(TProgressStage::Running, percent);
    }

private:
    const TImportProgress &m_progress;
    int m_last = -1;
};

// A picture with an alpha channel is cut as the plain picture it shows.
TBitmap plainPicture(const TBitmap &picture)
{
    if (!picture.image().hasAlphaChannel())
        return picture;
    return TBitmap(picture.image().convertToFormat(QImage::Format_RGB32));
}

} // namespace

TSplitPlan PlanSplit(int pictureWidth, const TFrameSplit &split)
{
    if (pictureWidth < 1 || split.value < 1)
        return {};
    if (split.mode == TFrameSplit::FrameCount) {
        const int count = std::min(split.value, pictureWidth);
        return { pictureWidth / count, count };
    }
    const int width = std::min(split.value, pictureWidth);
    return { width, pictureWidth / width };
}

void SplitPicture(
    const TBitmap &picture, int height, const TSplitPlan &plan, TGIFImage &target, int planWidth)
{
    if (plan.count < 1 || plan.pieceWidth < 1 || height < 1)
        return;
    const TBitmap source = plainPicture(picture);
    const int depth = source.hasPalette() ? source.bitsPerPixel() : 0;
    // A picture read scaled down gives each piece from the same place, scaled
    // alike (at least one column wide). Without planWidth the plan was made
    // for the picture's own columns, which may be none at all: a GIF frame
    // of 0 x 0 pixels on a larger screen.
    const auto scaled
        = [&](qint64 column) { return planWidth > 0 ? column * source.width() / planWidth : column; };
    const int pieceWidth = int(std::max<qint64>(1, scaled(plan.pieceWidth)));
    for (int k = 0; k < plan.count; ++k) {
        const int x = int(scaled(qint64(k) * plan.pieceWidth));
        // QImage::copy fills what lies outside the source with zeros: black,
        // or palette entry 0, which is what a fresh bitmap would show. A
        // picture without pixels has nothing to copy: its pieces are black
        // as a whole, as the part of a small picture beyond its edge is.
        QImage piece;
        if (source.image().isNull()) {
            piece = QImage(pieceWidth, height, QImage::Format_RGB32);
            if (!piece.isNull())
                piece.fill(Qt::black);
        } else {
            piece = source.image().copy(x, 0, pieceWidth, height);
        }
        if (piece.isNull())
            throw EInvalidGraphicOperation(
                QStringLiteral("Not enough memory to cut the picture into frames"));
        if (piece.format() == QImage::Format_Indexed8) {
            // Outside the source, copy leaves index 0, which needs an entry.
            QVector<QRgb> table = piece.colorTable();
            if (table.isEmpty())
                piece.setColorTable({ qRgb(0, 0, 0) });
        }
        target.AppendFrame(TBitmap(piece, depth));
    }
}

int RoundHalfEven(double value)
{
    const double lower = std::floor(value);
    const double diff = value - lower;
    double result = lower;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(lower, 2.0) != 0.0))
        result = lower + 1;
    return int(result);
}

QSize FitToPreview(int screenWidth, int screenHeight)
{
    int width = screenWidth;
    int height = screenHeight;
    if (screenWidth > screenHeight) {
        width = std::min(screenWidth, kPreviewMaxWidth);
        const double scale = double(width) / double(screenWidth);
        height = RoundHalfEven(double(screenHeight) * scale);
    } else if (screenHeight > 0) {
        height = std::min(screenHeight, kPreviewMaxHeight);
        const double scale = double(height) / double(screenHeight);
        width = RoundHalfEven(double(screenWidth) * scale);
    }
    // A very thin strip would otherwise round to frames without pixels.
    return { std::max(width, 1), std::max(height, 1) };
}

// ---------------------------------------------------------------------------
// TImportedAnimation

TImportedAnimation::TImportedAnimation() = default;
TImportedAnimation::TImportedAnimation(TImportedAnimation &&) noexcept = default;
TImportedAnimation &TImportedAnimation::operator=(TImportedAnimation &&) noexcept = default;
TImportedAnimation::~TImportedAnimation() = default;

TBitmap TImportedAnimation::ButtonPicture()
{
    if (!m_source && !FirstPicture.isEmpty())
        return FitButtonPicture(FirstPicture, ButtonPictureRatio(ScreenWidth, ScreenHeight));
    if (!m_source)
        return FitButtonPicture([](QPainter &, const QRect &) {}, 0);
    return FitButtonPicture(m_source->Image(), ButtonPictureRatio(ScreenWidth, ScreenHeight));
}

QString FrameLimitText(int frameCount, int keep)
{
    return QStringLiteral("The animation has %1 frames; a gesture holds at most %2 of this size")
        .arg(frameCount)
        .arg(keep);
}

namespace {

// How many of count frames shown at size to make: all of them when a
// gesture holds them, else as many as it holds when the question keeps
// them; nothing when it cancels. Without a question the file is refused.
std::optional<int> framesToKeep(
    int count, QSize size, const TFrameLimitQuestion &askLimit, const QString &name)
{
    const int holds = FramesAGestureHolds(size.width());
    if (count <= holds)
        return count;
    if (!askLimit)
        throw PlumoraError(QStringLiteral("\"%1\": %2").arg(name, FrameLimitText(count, holds)));
    if (!askLimit(count, holds))
        return std::nullopt;
    return holds;
}

// Frames of a screen at least this large report progress while they
// decode; smaller ones are quick, and frame by frame is often enough.
constexpr qint64 kLargeFramePixels = qint64(1) << 20;

} // namespace

std::vector<QImage> ComposeChosenFrames(
    TRxGIFAnimator &animator, const std::vector<int> &chosen, const TImportProgress &progress)
{
    TGIFImage &image = animator.Image();
    std::vector<QImage> frames;
    frames.reserve(chosen.size());
    const int last = chosen.empty() ? -1 : std::min(chosen.back(), image.FrameCount() - 1);
    const int total = last + 1;
    ProgressReporter reporter(progress);
    int composing = 0;
    if (progress && qint64(image.ScreenWidth()) * image.ScreenHeight() >= kLargeFramePixels)
        image.OnProgress = [&](TProgressStage stage, int percent, const QString &) {
            if (stage == TProgressStage::Running)
                reporter.report(0, 100, composing, total, percent / 100.0);
        };
    struct DetachProgress
    {
        TGIFImage &image;
        ~DetachProgress() { image.OnProgress = nullptr; }
    } detach { image };
    // Every frame up to the last chosen is composed in order, so each costs
    // one draw onto the kept composition.
    auto next = chosen.begin();
    for (composing = 0; composing < total; ++composing) {
        const TBitmap frame = animator.GetFrameBitmap(composing);
        for (; next != chosen.end() && *next == composing; ++next)
            frames.push_back(frame.image().convertToFormat(QImage::Format_RGB32));
        reporter.report(0, 100, composing + 1, total);
    }
    return frames;
}

std::unique_ptr<TFrameList> ComposeFrames(
    TRxGIFAnimator &animator, int count, const TImportProgress &progress)
{
    std::vector<int> chosen(
        static_cast<std::size_t>(std::max(0, std::min(count, animator.Image().FrameCount()))));
    std::iota(chosen.begin(), chosen.end(), 0);
    auto frames = std::make_unique<TFrameList>(animator.Width(), animator.Height());
    for (const QImage &frame : ComposeChosenFrames(animator, chosen, progress))
        frames->Add(frame, clNone);
    return frames;
}

int ShownDelayMs(int delayMs)
{
    return delayMs <= 10 ? 100 : delayMs;
}

std::vector<int> FramesAtTicks(const std::vector<int> &shownMs)
{
    std::vector<int> ticks;
    qint64 start = 0; // when frame i starts showing
    qint64 tick = 0;
    for (std::size_t i = 0; i < shownMs.size(); ++i) {
        const qint64 end = start + std::max(0, shownMs[i]);
        for (; tick < end; tick += kGestureFrameMs)
            ticks.push_back(int(i));
        start = end;
    }
    if (ticks.empty() && !shownMs.empty())
        ticks.push_back(0);
    return ticks;
}

namespace {

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1);
}

} // namespace

QString KeepSpeedText(int frames, int playTimeMs)
{
    const qint64 shownMs = qint64(frames) * kGestureFrameMs;
    if (shownMs + kGestureFrameMs <= playTimeMs)
        return QStringLiteral("%1 frames, plays the first %2 s of %3 s as the original")
            .arg(frames)
            .arg(seconds(shownMs), seconds(playTimeMs));
    return QStringLiteral("%1 frames, plays in %2 s as the original").arg(frames).arg(seconds(playTimeMs));
}

QString EveryFrameText(int frames, int sourceFrames, int playTimeMs)
{
    const double ratio = playTimeMs > 0 ? double(qint64(sourceFrames) * kGestureFrameMs) / playTimeMs : 1.0;
    QString speed;
    if (std::abs(ratio - 1.0) < 0.05)
        speed = QStringLiteral("as the original");
    else if (ratio > 1)
        speed = QStringLiteral("%1 \u00d7 slower").arg(QString::number(ratio, 'f', 1));
    else
        speed = QStringLiteral("%1 \u00d7 faster").arg(QString::number(1 / ratio, 'f', 1));
    const QString taken = frames < sourceFrames
        ? QStringLiteral("the first %1 of %2 frames").arg(frames).arg(sourceFrames)
        : QStringLiteral("%1 frames").arg(frames);
    return QStringLiteral("%1, plays %2 (%3 s)").arg(taken, speed, seconds(qint64(frames) * kGestureFrameMs));
}

namespace {

// Which frames an import takes, worked out before any of them is composed.
struct ImportPlan
{
    QSize size; // the frames' size
    std::vector<int> everyFrame; // the frames of Frames, in order
    std::vector<int> ticks; // with Both, the frames of TimedFrames, in order
    std::vector<int> chosen; // both lists merged, each frame once, rising
    bool both = false; // TimedFrames is made
    int playTimeMs = 0;
    int tickCount = 0;
};

// The plan for count frames shown at size. shownMs: how long each frame of
// an animation shows (ShownDelayMs); empty for a picture or its pieces,
// which have no times. Nothing when the limit question cancels.
std::optional<ImportPlan> planImport(int count, const std::vector<int> &shownMs, QSize size,
    TImportTiming timing, const TFrameLimitQuestion &askLimit, const QString &name)
{
    ImportPlan plan;
    plan.size = size;
    const bool animated = !shownMs.empty();
    if (animated) {
        plan.playTimeMs = int(std::min<qint64>(
            std::accumulate(shownMs.begin(), shownMs.end(), qint64(0)), std::numeric_limits<int>::max()));
        plan.ticks = FramesAtTicks(shownMs);
    }
    plan.tickCount = int(plan.ticks.size());
    plan.everyFrame.resize(static_cast<std::size_t>(count));
    std::iota(plan.everyFrame.begin(), plan.everyFrame.end(), 0);
    if (animated && timing == TImportTiming::KeepSpeed)
        plan.everyFrame = plan.ticks;
    // With Both, the choice (and the cut) is the fit's: nothing is asked.
    const bool chooseLater = animated && timing == TImportTiming::Both;
    plan.both = chooseLater && plan.ticks != plan.everyFrame;

    const std::size_t holds = std::size_t(FramesAGestureHolds(size.width()));
    if (chooseLater) {
        // Each list is cut to what a gesture holds; the fit shows the cut.
        plan.everyFrame.resize(std::min(plan.everyFrame.size(), holds));
        plan.ticks.resize(plan.both ? std::min(plan.ticks.size(), holds) : 0);
        std::merge(plan.everyFrame.begin(), plan.everyFrame.end(), plan.ticks.begin(), plan.ticks.end(),
            std::back_inserter(plan.chosen));
    } else {
        const std::optional<int> kept = framesToKeep(int(plan.everyFrame.size()), size, askLimit, name);
        if (!kept)
            return std::nullopt;
        plan.everyFrame.resize(std::size_t(*kept));
        plan.chosen = plan.everyFrame;
    }
    plan.chosen.erase(std::unique(plan.chosen.begin(), plan.chosen.end()), plan.chosen.end());
    return plan;
}

// The plan's frame lists, from its chosen frames composed in order; both
// lists take their frames from the one composition, sharing pixels.
void takeFrames(TImportedAnimation &result, const ImportPlan &plan, const std::vector<QImage> &composed)
{
    const auto listOf = [&](const std::vector<int> &indexes) {
        auto list = std::make_unique<TFrameList>(plan.size.width(), plan.size.height());
        for (const int i : indexes) {
            const auto at = std::lower_bound(plan.chosen.begin(), plan.chosen.end(), i) - plan.chosen.begin();
            list->Add(composed[std::size_t(at)], clNone);
        }
        return list;
    };
    result.Frames = listOf(plan.everyFrame);
    if (plan.both)
        result.TimedFrames = listOf(plan.ticks);
    result.FrameSize = plan.size;
    result.PlayTimeMs = plan.playTimeMs;
    result.TickCount = plan.tickCount;
}

// An animation that one of Qt's image plugins reads, taken as an animated
// GIF is.
std::optional<TImportedAnimation> readPictureAnimation(const QString &path,
    const TFrameLimitQuestion &askLimit, const TImportProgress &progress, TImportTiming timing)
{
    QSize size;
    qint64 holds = 0;
    const auto sizeOf = [&](QSize screen) {
        size = FitToPreview(screen.width(), screen.height());
        holds = FramesAGestureHolds(size.width());
        return size;
    };
    // Kept: the frames a gesture holds, and those showing at the ticks it
    // holds, whichever the timing takes.
    const auto keep = [&](int index, qint64 startMs, qint64 endMs) {
        const qint64 tick = (startMs + kGestureFrameMs - 1) / kGestureFrameMs; // the first at or after start
        return index < holds || (tick < holds && tick * kGestureFrameMs < endMs);
    };
    const TPictureFrames frames = ReadPictureFrames(path, sizeOf, keep, progress);
    const int count = int(frames.DelaysMs.size());
    std::vector<int> shown;
    if (count >= 2)
        for (const int delay : frames.DelaysMs)
            shown.push_back(ShownDelayMs(delay));
    const std::optional<ImportPlan> plan
        = planImport(count, shown, size, timing, askLimit, displayName(path));
    if (!plan)
        return std::nullopt;
    std::vector<QImage> composed;
    for (const int i : plan->chosen)
        composed.push_back(frames.Kept.at(i));
    TImportedAnimation result;
    result.SourcePath = path; // where the gesture's animation came from, as for a GIF
    result.ScreenWidth = frames.Screen.width();
    result.ScreenHeight = frames.Screen.height();
    result.SourceFrameCount = count;
    takeFrames(result, *plan, composed);
    result.FirstPicture = TBitmap(frames.Kept.at(0));
    return result;
}

} // namespace

std::optional<TImportedAnimation> ReadAnimationFile(const QString &path, const TSplitQuestion &ask,
    const TFrameLimitQuestion &askLimit, const TImportProgress &progress, TImportTiming timing)
{
    const TPictureKind kind = PictureKindOf(path);
    if (kind == TPictureKind::Qt && IsQtAnimation(path))
        return readPictureAnimation(path, askLimit, progress, timing);
    auto animator = std::make_unique<TRxGIFAnimator>();
    TGIFImage &image = animator->Image();
    const QString name = displayName(path);
    QSize unscaledScreen; // the pieces' size before a scaled-down read
    bool animated = false; // a GIF of two frames or more, taken frame by frame

    // Cuts the picture as asked, no more pieces than a gesture holds; false
    // when the limit question cancels the import. width x height is the
    // picture's own size; a JPEG read scaled down is smaller, and its pieces
    // are taken from the same places at its own height.
    const auto split = [&](const TBitmap &picture, int width, int height, const TFrameSplit &answer) {
        TSplitPlan plan = PlanSplit(width, answer);
        const std::optional<int> kept
            = framesToKeep(plan.count, FitToPreview(plan.pieceWidth, height), askLimit, name);
        if (!kept)
            return false;
        plan.count = *kept;
        TGIFImage pieces;
        if (kind == TPictureKind::Gif) {
            SplitPicture(picture, height, plan, pieces);
        } else {
            SplitPicture(picture, picture.height(), plan, pieces, width);
            if (picture.width() != width || picture.height() != height)
                unscaledScreen = QSize(plan.pieceWidth, height);
        }
        pieces.Author = image.Author;
        image.CopyFrom(pieces);
        return true;
    };

    if (kind == TPictureKind::Gif) {
        try {
            image.ReadFromFile(path);
        } catch (const PlumoraError &error) {
            rethrowNamingFile(error, path);
        }
        if (image.FrameCount() == 0)
            throw EInvalidGraphicOperation(
                QStringLiteral("Cannot read GIF picture \"%1\": the file holds no image").arg(name));
        animated = image.FrameCount() >= 2;
        if (!animated) {
            // The animator has taken the logical screen size; the pixels come
            // from the first frame's own picture.
            const int width = animator->Width();
            const int height = animator->Height();
            // A screen without pixels has nothing to cut: it is refused
            // below, without a question.
            if (const auto answer = ask && width > 0 && height > 0 ? ask(width, height) : std::nullopt) {
                TBitmap picture;
                try {
                    picture = image.Frames(0).DecodedBitmap();
                } catch (const PlumoraError &error) {
                    rethrowNamingFile(error, path);
                }
                if (!split(picture, width, height, *answer))
                    return std::nullopt;
            }
        }
    } else {
        // No frame is shown more than 255 pixels high or wide, and every piece
        // keeps the picture's height, so 255 rows (and the columns that
        // come with them) give each piece at least the pixels it is shown
        // with. A large JPEG is decoded no larger than that; the question
        // and the plan work on the picture's own size.
        QSize fullSize;
        const TBitmap picture
            = LoadPicture(path, TJpegColors::Quantized, QSize(1, kPreviewMaxWidth), &fullSize);
        const auto answer = ask ? ask(fullSize.width(), fullSize.height()) : std::nullopt;
        if (!answer || !split(picture, fullSize.width(), fullSize.height(), *answer))
            return std::nullopt;
        animator->setTransparent(false);
    }

    // The frames are fitted as the unscaled pieces would be.
    const int screenWidth = unscaledScreen.isValid() ? unscaledScreen.width() : image.ScreenWidth();
    const int screenHeight = unscaledScreen.isValid() ? unscaledScreen.height() : image.ScreenHeight();
    if (image.FrameCount() == 0 || screenWidth < 1 || screenHeight < 1)
        throw EInvalidGraphicOperation(QStringLiteral("No frames were cut from \"%1\"").arg(name));

    const int count = image.FrameCount();
    // The frames of an animation show for their own times; pieces of a
    // picture have none.
    std::vector<int> shown;
    if (animated)
        for (int i = 0; i < count; ++i)
            shown.push_back(ShownDelayMs(image.Frames(i).DelayMs));
    const std::optional<ImportPlan> plan
        = planImport(count, shown, FitToPreview(screenWidth, screenHeight), timing, askLimit, name);
    if (!plan)
        return std::nullopt;
    animator->setWidth(plan->size.width());
    animator->setHeight(plan->size.height());
    animator->setStretch(true);

    TImportedAnimation result;
    result.SourcePath = path;
    result.ScreenWidth = screenWidth;
    result.ScreenHeight = screenHeight;
    result.SourceFrameCount = count;
    result.Author = fromAnsi(image.Author);
    result.KeepsTransparency = animator->Transparent();
    // Composed without the transparent areas left out: they keep the
    // composition's fill colour, which is the transparent colour itself.
    animator->setTransparent(false);
    std::vector<QImage> composed;
    try {
        composed = ComposeChosenFrames(*animator, plan->chosen, progress);
    } catch (const PlumoraError &error) {
        rethrowNamingFile(error, path);
    }
    takeFrames(result, *plan, composed);
    result.TransparentColor = result.KeepsTransparency ? image.Frames(0).TransparentColor : clNone;
    result.m_source = std::move(animator);
    return result;
}

TImportedAnimation AnimationFromTicks(std::vector<QImage> frames, QSize screen)
{
    TImportedAnimation result;
    if (frames.empty())
        return result;
    const QSize size = frames.front().size();
    result.Frames = std::make_unique<TFrameList>(size.width(), size.height());
    for (const QImage &frame : frames)
        result.Frames->Add(frame, clNone);
    result.SourceFrameCount = int(frames.size());
    result.TickCount = int(frames.size());
    result.PlayTimeMs = int(std::min<qint64>(qint64(frames.size()) * kGestureFrameMs, INT_MAX));
    result.ScreenWidth = screen.width();
    result.ScreenHeight = screen.height();
    result.FrameSize = size;
    result.FirstPicture = TBitmap(frames.front());
    return result;
}

void InstallAnimation(TZQGesture &gesture, TImportedAnimation &animation)
{
    // The old frames go before the transparent colour is cleared, and the
    // new ones come unmasked, so setting the colour afterwards always builds
    // their masks (even when it equals the colour the gesture had).
    gesture.setFrames(nullptr);
    gesture.setTransparentColor(clNone);
    gesture.setFrames(std::move(animation.Frames));
    gesture.setTransparentColor(animation.TransparentColor);
    gesture.SetAuthor(animation.Author);
    // An author text the file carries is the file's.
    gesture.setAuthorLocked(!animation.Author.isEmpty());
    gesture.setOrigin(TGesturePart::Animation, { TPartOrigin::File, animation.SourcePath });
    gesture.setCurrentFrame(1);
}

QImage AnimationStrip(const TZQGesture &gesture)
{
    const TFrameList *frames = gesture.Frames();
    if (!frames || frames->Count() == 0 || frames->Width() < 1 || frames->Height() < 1)
        return {};
    const qint64 width = qint64(frames->Width()) * frames->Count();
    if (width > kMaxStripWidth)
        throw EInvalidGraphicOperation(
            QStringLiteral("The animation strip would be %1 pixels wide, but a GIF "
                           "picture is at most %2 pixels wide")
                .arg(width)
                .arg(kMaxStripWidth));
    QImage strip = frames->Strip();
    if (strip.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Not enough memory for the animation strip"));
    return strip;
}

void SaveAnimationStrip(const TZQGesture &gesture, const QString &path, const TImportProgress &progress)
{
    const QImage strip = AnimationStrip(gesture);
    if (strip.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("No GIF Data to write"));
    TGIFImage gif;
    gif.CopyFrom(TBitmap(strip));
    if (!gesture.Author().isEmpty())
        gif.Author = toAnsi(gesture.Author());
    ProgressReporter reporter(progress);
    if (progress)
        gif.OnProgress = [&](TProgressStage stage, int percent, const QString &) {
            if (stage == TProgressStage::Running)
                reporter.report(0, 100, percent, 100);
        };
    gif.WriteToFile(path);
}
