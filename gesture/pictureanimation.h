#pragma once
// The frames of an animation that one of Qt's image plugins reads (an
// animated WebP, an MNG): the import takes them frame by frame, at their own
// times or one per 250 ms tick, as it takes an animated GIF. It lives beside
// the import because it is the import's other source of timed frames; Qt's
// image plugins are QtGui, so nothing more is needed.
//
// Qt's plugins hand out each frame composed on the whole canvas, and say how
// long a frame shows only once it has been decoded, so the file is decoded
// once, in order, and only the frames the import may take are kept, already
// at the size they will be shown at.
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <map>
#include <vector>

enum class TProgressStage;

// The most canvas pixels an animation may make the reader decode, over all
// its frames: a few seconds of work. A small file can hold thousands of
// frames on a huge canvas; such a file is refused before it is decoded.
inline constexpr qint64 kPictureAnimationMaxPixels = qint64(1) << 30;

struct TPictureFrames
{
    QSize Screen; // the canvas
    std::vector<int> DelaysMs; // each frame's delay, as the file gives it
    // The frames kept, by index: scaled to the size asked for (the nearest
    // pixel at pixel centres, as the GIF import scales), drawn over white
    // where they are transparent, RGB32.
    std::map<int, QImage> Kept;
};

// Frames whose delays are known so far and the frame just decoded: whether
// to keep frame `index`, which shows from startMs to endMs of the animation.
using TKeepFrame = std::function<bool(int index, qint64 startMs, qint64 endMs)>;

// Reads every frame of the file in order. size: what the kept frames are
// scaled to; it is computed from the canvas, which screenSize gives before
// anything is decoded. Raises PlumoraError naming the file when it cannot
// be read, is larger than the readers accept, or would decode more than
// kPictureAnimationMaxPixels. progress: as TImportProgress.
TPictureFrames ReadPictureFrames(const QString &path, const std::function<QSize(QSize screenSize)> &size,
    const TKeepFrame &keep, const std::function<void(TProgressStage, int)> &progress = {});

// A picture scaled to size, each target pixel taking the source pixel under
// its centre, and drawn over white where it has alpha; RGB32.
QImage ScaleNearestOverWhite(const QImage &picture, QSize size);
