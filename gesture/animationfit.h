#pragma once
// Fitting an animation into the gesture file's animation block: the frames
// scaled down (keeping their proportions), reduced to fewer colours, or
// thinned out, and the result measured by encoding it exactly as the file
// will hold it. Nothing here is estimated: a fit that says it fits saves.
//
// TAnimationFit keeps its own copy of the source frames (sharing their
// pixels), so its const operations may run on any thread while the frames it
// was made from are edited; the window measures on a worker thread while the
// user moves a slider.
#include "gesture/framelist.h"
#include "platform/colors.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// What a fit does to the source frames.
struct TFitSettings
{
    // The fitted frame width in pixels (1 up to the source's); the height
    // follows the source's proportions.
    int frameWidth = 0;
    // The colours of the whole strip, 2 to 256. With 256 the frames keep
    // their colours and the file's own reduction applies when they are saved.
    int colours = 256;
    // The frames taken: from first to last (0-based, both included; last -1
    // for the last frame), every n-th of them starting with first.
    int first = 0;
    int last = -1;
    int every = 1;

    bool operator==(const TFitSettings &) const = default;
};

// A fit measured: the frames it gives and the bytes the animation block
// takes with them.
struct TFitMeasure
{
    TFitSettings settings;
    QSize frameSize;
    int frameCount = 0;
    qsizetype blockBytes = 0;
    bool fits() const;
};

class TAnimationFit
{
public:
    // The source: the frames (their transparent pixels in transparent, which
    // stays exact through scaling and reduction; clNone for none) and the
    // author text the animation block will carry.
    TAnimationFit(const TFrameList &frames, TColor transparent, const QString &author);
    ~TAnimationFit();
    TAnimationFit(const TAnimationFit &) = delete;
    TAnimationFit &operator=(const TAnimationFit &) = delete;

    int SourceCount() const { return int(m_frames.size()); }
    QSize SourceSize() const { return m_size; }
    TColor TransparentColor() const { return m_transparent; }

    // The frame size for a frame width, the proportions kept (at least 1 x 1).
    QSize FrameSizeFor(int width) const;
    // Every frame at full size with all its colours.
    TFitSettings Unchanged() const;
    // The settings with their values brought into range: the width between
    // 1 and the source's, the colours between 2 and 256, the frames within the
    // source and no more than a gesture holds at that width.
    TFitSettings Normalized(TFitSettings settings) const;
    // The frame indexes the settings take, in order.
    std::vector<int> FramesTaken(const TFitSettings &settings) const;

    // Encodes the fitted frames as the file would and measures the block.
    TFitMeasure Measure(const TFitSettings &settings) const;
    // The fitted frames, ready to replace the source (masked by the
    // transparent colour), or null when the settings take no frame.
    std::unique_ptr<TFrameList> Make(const TFitSettings &settings) const;

    // The automatic fit: every frame (as many as a gesture holds at the
    // size found), at the largest frame size that fits with all colours;
    // when even a small frame (kFitFloorSide on its longer side) does not
    // fit, that size with as many colours as fit; failing that, smaller
    // still with kFitFloorColours. Probes run two at a time where that helps.
    // progress is told the probes made; cancel, when set, stops the search,
    // which then returns the best fit found so far (or the unchanged
    // settings).
    using Progress = std::function<void(int probes)>;
    TFitMeasure Auto(const Progress &progress = {}, const std::atomic<bool> *cancel = nullptr) const;

private:
    struct Strip;
    // The taken frames scaled to the settings' width, side by side, the
    // transparent pixels in the transparent colour; reduced to the
    // settings' colours when fewer than 256.
    std::shared_ptr<const Strip> strip(const TFitSettings &settings) const;
    QImage scaledFrame(int index, QSize size) const;

    std::vector<QImage> m_frames; // RGB32, source size
    QSize m_size;
    TColor m_transparent;
    QByteArray m_author;

    // The last strips made, reused when only the colours change.
    mutable std::mutex m_cacheMutex;
    mutable std::vector<std::shared_ptr<const Strip>> m_cache;
};

// The smallest frame the automatic fit gives before it gives up colours:
// this many pixels on the longer side (or the source's size when smaller).
inline constexpr int kFitFloorSide = 64;
// The fewest colours the automatic fit gives before it makes the frames
// smaller than kFitFloorSide.
inline constexpr int kFitFloorColours = 16;
