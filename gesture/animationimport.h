#pragma once
// Turning a picture file into a gesture's animation, and the animation back
// into a picture strip, without any window: the gesture window and
// plumora-cli both build their animations here, so the same file and the
// same choices give the same gesture.
//
// An import reads a GIF, JPEG or BMP file, or any picture one of Qt's image
// plugins reads (PNG, WebP, TIFF, ...; see codecs/picturekind.h for how the
// reader is chosen). A GIF of two frames or more is taken frame by frame,
// composed as a GIF viewer shows it, and so is an animation a Qt plugin
// reads (an animated WebP) with the times it gives its frames; a single
// picture (a one-frame GIF, a JPEG, a BMP, a PNG, ...) is a horizontal strip
// of equally wide frames, cut as the caller's split question answers. Video
// clips are read by media/, which hands their frames to AnimationFromTicks. The frames are scaled
// down to fit the preview (at most 255 wide when wider than high, otherwise
// at most 225 high) and collected in a new frame list. Nothing is changed
// on any gesture until the whole file has been read and composed, so a
// failed or cancelled import leaves the gesture as it was.
#include "codecs/gifimage.h"
#include "gesture/framelist.h"
#include "gesture/zqgesture.h"
#include "platform/bitmap.h"
#include "platform/colors.h"

#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TRxGIFAnimator;
class TZQGesture;

// Largest frame the preview shows: 255 pixels wide for pictures wider than
// high, 225 pixels high for the others.
inline constexpr int kPreviewMaxWidth = 255;
inline constexpr int kPreviewMaxHeight = 225;

// A gesture shows one frame every this many milliseconds.
inline constexpr int kGestureFrameMs = 250;

// How long a GIF frame shows, in milliseconds: its delay, except that 0 and
// 10 ms show for 100 ms, as common viewers show them (such files were made
// for viewers that cannot go faster).
int ShownDelayMs(int delayMs);

// The frames a gesture takes to play an animation at its own speed: for
// each gesture frame k, the animation's frame showing at k x 250 ms, from 0
// up to the animation's end (at least one). shownMs: how long each frame
// shows (ShownDelayMs).
std::vector<int> FramesAtTicks(const std::vector<int> &shownMs);

// What keeping the speed and taking every frame give, for the import's
// choice: "38 frames, plays in 9.5 s as the original" and "95 frames, plays
// 2.5 x slower (23.8 s)" (or faster, or "as the original"); frames are those
// taken, fewer than the animation gives when a gesture holds no more
// ("255 frames, plays the first 63.8 s of 100.0 s as the original", "the
// first 255 of 400 frames, ...").
QString KeepSpeedText(int frames, int playTimeMs);
QString EveryFrameText(int frames, int sourceFrames, int playTimeMs);

// Which frames of an animated GIF an import takes: every frame, the frames
// that keep the original speed, or both lists (for a choice made after the
// import, by the fit).
enum class TImportTiming { EveryFrame, KeepSpeed, Both };

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

// A composed animation, ready to be installed on a gesture.
class TImportedAnimation
{
public:
    TImportedAnimation();
    TImportedAnimation(TImportedAnimation &&) noexcept;
    TImportedAnimation &operator=(TImportedAnimation &&) noexcept;
    ~TImportedAnimation();

    // The frames, each FrameSize() large, without masks: every frame, or
    // with TImportTiming::KeepSpeed the frames at the gesture's ticks.
    std::unique_ptr<TFrameList> Frames;
    // With TImportTiming::Both, the frames at the gesture's ticks, sharing
    // their pixels with Frames; null when they are every frame anyway (the
    // frames show for 250 ms each) or the file is not an animation.
    std::unique_ptr<TFrameList> TimedFrames;
    // The frames of the animation (or the pieces cut from a picture), and
    // for an animated GIF how long it plays once and how many frames keeping
    // its speed takes; before either list was cut to what a gesture holds.
    int SourceFrameCount = 0;
    int PlayTimeMs = 0;
    int TickCount = 0;
    // The logical screen of the picture the frames were made from (after
    // a split: the width of one piece and the picture's height).
    int ScreenWidth = 0;
    int ScreenHeight = 0;
    QSize FrameSize;
    // The file the animation was read from.
    QString SourcePath;
    // The author text the GIF file carries (empty for JPEG and BMP files).
    QString Author;
    // True when the file's own transparency applies (a GIF not cut into
    // pieces); TransparentColor is then the first frame's transparent
    // colour, or none.
    bool KeepsTransparency = false;
    TColor TransparentColor = clNone;

    // The first frame of an animation that was not read as a GIF (an
    // animation one of Qt's image plugins reads, a clip), for the button
    // picture; empty for GIF, JPEG and BMP files.
    TBitmap FirstPicture;

    int FrameCount() const { return Frames ? Frames->Count() : 0; }

    // An 18 x 18 button picture of the first frame, drawn as the GIF image
    // draws it (or from FirstPicture) and fitted with the aspect ratio of
    // the logical screen.
    TBitmap ButtonPicture();

private:
    friend std::optional<TImportedAnimation> ReadAnimationFile(const QString &, const TSplitQuestion &,
        const TFrameLimitQuestion &, const TImportProgress &, TImportTiming);
    std::unique_ptr<TRxGIFAnimator> m_source;
};

// Reads the file (its reader chosen by PictureKindOf), cuts a single
// picture as ask answers (a JPEG is first reduced to at most 236 colours),
// fits the frames to the preview and composes them. A one-frame GIF whose
// question is cancelled stays one frame, with its own transparency. When
// there are more frames than a gesture holds, askLimit decides before any
// of them is cut or composed; without askLimit such a file is refused with
// FrameLimitText. Returns nothing when the question for a JPEG or BMP, or
// askLimit, is cancelled. Raises PlumoraError, naming the file, when it
// cannot be read or yields no frame. timing chooses the frames of an
// animated GIF; with Both, each list of an animated GIF is cut to what a
// gesture holds without asking (the caller shows the cut).
std::optional<TImportedAnimation> ReadAnimationFile(const QString &path, const TSplitQuestion &ask,
    const TFrameLimitQuestion &askLimit = {}, const TImportProgress &progress = {},
    TImportTiming timing = TImportTiming::EveryFrame);

// An animation whose frames were made elsewhere, one for each 250 ms tick
// (a clip's frames, media/clipimport.h): frames of one size, scaled as an
// import scales them (FitToPreview of screen), screen being the size of the
// pictures they were made from. Nothing is cut or asked; the frames are
// taken as they are. Without frames the animation is empty.
TImportedAnimation AnimationFromTicks(std::vector<QImage> frames, QSize screen);

// Composes the first count frames of the animator's image at the animator's
// size (each decoded as it is first needed) into a new frame list without
// masks. Frames past count are neither decoded nor composed.
std::unique_ptr<TFrameList> ComposeFrames(
    TRxGIFAnimator &animator, int count, const TImportProgress &progress = {});
// The same for chosen frames (indexes in rising order, repeats allowed):
// every frame up to the last one chosen is composed in turn, as the
// animation builds up, and the chosen ones are kept.
std::vector<QImage> ComposeChosenFrames(
    TRxGIFAnimator &animator, const std::vector<int> &chosen, const TImportProgress &progress = {});

// Puts the composed frames on the gesture, replacing its frame list, sets
// its transparent colour (the file's when KeepsTransparency, else none),
// its author text (locked when the file carries one), the animation's
// origin (the file), and its current frame to the first. The animation's
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
