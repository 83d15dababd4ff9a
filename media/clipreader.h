#pragma once
// Video clips (WebM, MP4, MKV, MOV and the other containers FFmpeg's
// demuxers read) made into a gesture's animation, without any window.
//
// The editor's Animation Load of a clip:
//   1. AnimationSourceOf(path) says whether the file is a picture (then
//      ReadAnimationFile, as for any picture) or a clip;
//   2. a TClipReader opens the clip; its span dialog shows DurationMs(),
//      FrameAt(ms, size) as the user moves through the clip, HasSound(),
//      and TickCount(span) ("40 frames, 10.0 s");
//   3. ImportClip(reader, span, askLimit, withSound, progress) gives the
//      animation (for the fit dialog and InstallAnimation) and the clip's
//      sound over the span (TZQGesture::SetAudio), or why it does not fit.
// Reading runs on any one thread; cancel (an atomic flag another thread
// sets) ends a long read with EAbort.
//
// A span is never read from the clip's start: the reader seeks to the key
// frame before it and decodes from there to its end, so a long clip costs
// what its span costs. Bounded however the file is made: at most 255 ticks
// are taken, a picture larger than 4096 x 4096 pixels is refused from the
// header, and a span whose pictures come faster than 240 a second (or lie
// far behind their key frame) is refused after 2^32 decoded pixels.
#include "gesture/animationimport.h"
#include "media/soundimport.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace plumora::media {
class MediaInput;
}

// Whether a file is taken as a picture or as a clip: a picture when its
// content is one the picture readers know (an animated GIF named .mp4 is a
// GIF), a clip when one of FFmpeg's demuxers of clips and sounds recognises
// its content (a WebM named .gif is a clip; TClipReader then says whether
// it reads), and otherwise a picture, whose reader then says why it is none.
enum class TAnimationSource { Picture, Clip };
TAnimationSource AnimationSourceOf(const QString &path);

// A stretch of a clip, in ms from its start; EndMs -1 is its end.
struct TClipSpan
{
    qint64 StartMs = 0;
    qint64 EndMs = -1;
};

class TClipReader;

// An imported clip: its frames as an animation, and its sound.
struct TClipImport
{
    TImportedAnimation Animation;
    TClipSpan Span; // the span taken (normalized; cut when the limit question kept the first frames)
    qint64 PicturesEndMs = -1; // where the pictures ended, when before the span's end
    std::optional<TFittedSound> Sound; // the clip's sound over the span, when asked and it fits
    QString SoundRefusal; // why the sound was not taken, when asked and it has one
};

// The clip's span as an animation of one frame per 250 ms (frames of a
// clip show for their own times; the import takes the one showing at each
// tick, as keeping a GIF's speed does), with the clip's sound over the
// span when withSound. A span of more ticks than a gesture holds is asked
// about first, as for a picture: askLimit true keeps the first 255 ticks,
// false returns nothing; without askLimit the span is refused with
// FrameLimitText. Raises PlumoraError when no picture decodes.
std::optional<TClipImport> ImportClip(TClipReader &reader, TClipSpan span,
    const TFrameLimitQuestion &askLimit, bool withSound, const TImportProgress &progress = {});

class TClipReader
{
public:
    // Opens the clip. Raises PlumoraError naming the file when it is no
    // clip FFmpeg reads, holds no pictures, or states pictures too large.
    explicit TClipReader(const QString &path, const std::atomic<bool> *cancel = nullptr);
    // The same for a clip's bytes; name is used in messages only.
    TClipReader(const QByteArray &bytes, const QString &name, const std::atomic<bool> *cancel = nullptr);
    ~TClipReader();
    TClipReader(const TClipReader &) = delete;
    TClipReader &operator=(const TClipReader &) = delete;

    const QString &Name() const;
    // The clip's length in ms; -1 when the container does not say.
    qint64 DurationMs() const;
    // The pictures as they are shown: their stored size with the pixels'
    // aspect ratio applied, turned as the clip says (a phone held upright).
    QSize FrameSize() const;
    // The size the frames of an import have: FitToPreview(FrameSize()).
    QSize TickFrameSize() const;
    bool HasSound() const;
    // The container and the codecs, for the user: "matroska, vp9, opus".
    QString Description() const;

    // The span within the clip: the start at 0 or later and before the
    // end, the end (-1: the clip's end) no later than the clip's end and
    // after the start. A clip of unknown length keeps the span's end, or
    // without one ends 255 ticks after the start.
    TClipSpan Normalized(TClipSpan span) const;
    // The frames the span gives at one per 250 ms, to the nearest (at least 1).
    int TickCount(TClipSpan span) const;

    // The picture shown at ms, fitted into bounds with its proportions
    // (invalid bounds: at FrameSize(); no side beyond 8192), RGB32.
    QImage FrameAt(qint64 ms, QSize bounds = {});
    // The picture shown at each tick of the span (start, start + 250 ms,
    // ...), at TickFrameSize(): TickCount frames, but no more than a gesture
    // holds (255, the first of the span), and fewer when the pictures end
    // before the span does (a cut-off file); *endedAtMs then receives where
    // they ended, otherwise -1. progress: 0..100.
    std::vector<QImage> FramesAtTicks(
        TClipSpan span, const TImportProgress &progress = {}, qint64 *endedAtMs = nullptr);
    // The clip's sound over the span, made into a gesture's sound
    // (soundimport.h). Raises PlumoraError when it has none or when it does
    // not fit, saying how long it lasts and how much would.
    TFittedSound SoundOver(TClipSpan span, qint64 maxBytes = 65535, const TImportProgress &progress = {});

private:
    friend std::optional<TClipImport> ImportClip(
        TClipReader &, TClipSpan, const TFrameLimitQuestion &, bool, const TImportProgress &);
    struct Impl;
    std::unique_ptr<Impl> m;
};
