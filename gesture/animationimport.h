#pragma once
// Turning a picture file into a gesture's animation, and the animation back
// into a picture strip, without any window: the gesture window and
// plumora-cli both build their animations here, so the same file and the
// same choices give the same gesture.
//
// An import reads a GIF, JPEG or BMP file. A GIF of two frames or more is
// taken frame by frame, composed as a GIF viewer shows it; a single picture
// (a one-frame GIF, a JPEG, a BMP) is a horizontal strip of equally wide
// frames, cut as the caller's split question answers. The frames are scaled
// down to fit the preview (at most 255 wide when wider than high, otherwise
// at most 225 high) and collected in a new frame list. Nothing is changed
// on any gesture until the whole file has been read and composed, so a
// failed or cancelled import leaves the gesture as it was.
#include "codecs/gifimage.h"
#include "gesture/framelist.h"
#include "platform/bitmap.h"
#include "platform/colors.h"

#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class TRxGIFAnimator;
class TZQGesture;

// Largest frame the preview shows: 255 pixels wide for pictures wider than
// high, 225 pixels high for the others.
inline constexpr int kPreviewMaxWidth = 255;
inline constexpr int kPreviewMaxHeight = 225;

// A gesture counts its frames in bytes from 1, so it holds at most 255; its
// strip of frames side by side is at most kMaxStripWidth pixels wide.
inline constexpr int kMaxGestureFrames = 255;

// How many frames of the given width a gesture holds.
int FramesAGestureHolds(int frameWidth);

// "The animation has N frames; a gesture holds at most M of this size": the
// editor asks with it whether to keep the first M, the CLI refuses with it.
QString FrameLimitText(int frameCount, int keep);

// How a single picture is cut: into a number of frames, or into frames of
// a width. Either value is a whole number; below 1 nothing is cut.
struct TFrameSplit
{
    enum Mode { FrameCount, FrameWidth };
    Mode mode = FrameCount;
    int value = 1;
};

// The pieces a split gives for a picture of the given width: count pieces
// of pieceWidth pixels from the left edge, the remaining columns dropped.
// A frame count above the width is lowered to the width, a frame width
// above it to the width; a value below 1 gives no pieces.
struct TSplitPlan
{
    int pieceWidth = 0;
    int count = 0;
};
TSplitPlan PlanSplit(int pictureWidth, const TFrameSplit &split);

// Cuts the picture into the planned pieces, each pieceWidth x height, and
// appends them as frames to target, left to right. Pixels outside the
// picture come out black (every pixel, for a picture of no pixels, such as
// a GIF frame of 0 x 0); the pieces carry no transparent colour. When the
// plan was made for a planWidth other than the picture's (a picture read
// scaled down), each piece is taken from the same place, scaled alike.
void SplitPicture(
    const TBitmap &picture, int height, const TSplitPlan &plan, TGIFImage &target, int planWidth = 0);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int RoundHalfEven(double value);

// The size the frames of a logical screen are shown at: wider than high,
// the width is lowered to 255 and the height scaled alike; otherwise the
// height is lowered to 225 and the width scaled. Never below 1 x 1.
QSize FitToPreview(int screenWidth, int screenHeight);

// Asked when the file is one picture to be cut: the picture's width and
// height; the answer is the split, or nothing when the user cancels.
using TSplitQuestion = std::function<std::optional<TFrameSplit>(int width, int height)>;

// Asked, before any frame is composed or cut, when the file gives more
// frames than a gesture holds: the number of frames and how many of them a
// gesture holds at their size. True keeps that many of the first frames;
// false cancels the import.
using TFrameLimitQuestion = std::function<bool(int frameCount, int keep)>;

// Progress of a long import or strip save: Starting once, Running with the
// whole operation's percentage (0..100, rising), Ending once however the
// operation ends.
using TImportProgress = std::function<void(TProgressStage stage, int percent)>;

// The main window connects this to its status-bar gauge; the gesture
// window passes every import and strip save's progress to it. Empty: no
// gauge is shown.
TImportProgress &AnimationProgressSink();

// A composed animation, ready to be installed on a gesture.
class TImportedAnimation
{
public:
    TImportedAnimation();
    TImportedAnimation(TImportedAnimation &&) noexcept;
    TImportedAnimation &operator=(TImportedAnimation &&) noexcept;
    ~TImportedAnimation();

    // The frames, each FrameSize() large, without masks.
    std::unique_ptr<TFrameList> Frames;
    // The logical screen of the picture the frames were made from (after
    // a split: the width of one piece and the picture's height).
    int ScreenWidth = 0;
    int ScreenHeight = 0;
    QSize FrameSize;
    // The author text the GIF file carries (empty for JPEG and BMP files).
    QString Author;
    // True when the file's own transparency applies (a GIF not cut into
    // pieces); TransparentColor is then the first frame's transparent
    // colour, or none.
    bool KeepsTransparency = false;
    TColor TransparentColor = clNone;

    int FrameCount() const { return Frames ? Frames->Count() : 0; }

    // An 18 x 18 button picture of the first frame, drawn as the GIF image
    // draws it and fitted with the aspect ratio of the logical screen.
    TBitmap ButtonPicture();

private:
    friend std::optional<TImportedAnimation> ReadAnimationFile(
        const QString &, const TSplitQuestion &, const TFrameLimitQuestion &, const TImportProgress &);
    std::unique_ptr<TRxGIFAnimator> m_source;
};

// Reads the file (kind chosen by its upper-cased extension), cuts a single
// picture as ask answers (a JPEG is first reduced to at most 236 colours),
// fits the frames to the preview and composes them. A one-frame GIF whose
// question is cancelled stays one frame, with its own transparency. When
// there are more frames than a gesture holds, askLimit decides before any
// of them is cut or composed; without askLimit such a file is refused with
// FrameLimitText. Returns nothing when the question for a JPEG or BMP, or
// askLimit, is cancelled. Raises PlumoraError, naming the file, when it
// cannot be read or yields no frame.
std::optional<TImportedAnimation> ReadAnimationFile(const QString &path, const TSplitQuestion &ask,
    const TFrameLimitQuestion &askLimit = {}, const TImportProgress &progress = {});

// Composes the first count frames of the animator's image at the animator's
// size (each decoded as it is first needed) into a new frame list without
// masks. Frames past count are neither decoded nor composed.
std::unique_ptr<TFrameList> ComposeFrames(
    TRxGIFAnimator &animator, int count, const TImportProgress &progress = {});

// Puts the composed frames on the gesture, replacing its frame list, sets
// its transparent colour (the file's when KeepsTransparency, else none),
// its author text, and its current frame to the first. The animation's
// frame list is moved out.
void InstallAnimation(TZQGesture &gesture, TImportedAnimation &animation);

// The gesture's frames side by side in one true-colour picture, each frame
// with its stored pixels (its transparent pixels in the transparent colour).
// Null without frames.
QImage AnimationStrip(const TZQGesture &gesture);

// Writes the gesture's animation as a one-frame GIF strip to path, whatever
// its extension, carrying the gesture's author text; the strip has no
// transparent colour. The gesture is not changed.
void SaveAnimationStrip(const TZQGesture &gesture, const QString &path, const TImportProgress &progress = {});
