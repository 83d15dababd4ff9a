#pragma once
// A gesture as a video with its sound, for places where a GIF plays no
// sound: WebM (VP9 video, Opus sound) or MP4 (H.264 video, AAC sound), by
// the file's extension. The video plays the gesture's schedule
// (gesture/gestureexport.h): one frame every 250 ms, the loop part played
// LoopPasses times, forward-and-back written out, the sound starting at its
// start frame (again on each loop when the gesture repeats it; a new start
// cuts the one before off, as the sound service does) and playing out after
// the last frame, which is held until it ends. Each pixel becomes a square
// of Scale x Scale pixels, copied (never blended), so the pixels stay sharp.
//
// Where Debian's libavcodec lacks an encoder, the next one is used
// (libvpx-vp9, then VP8 for WebM; libx264, then MPEG-4 Visual for MP4;
// libopus, then Vorbis; AAC, then MP3), and the result says so.
//
// The editor's File > Export calls ExportVideo for .webm and .mp4 names.
#include "gesture/animationimport.h"
#include "platform/colors.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

class TZQGesture;

enum class TVideoKind { WebM, Mp4 };
// By the file's extension (.webm; .mp4 or .m4v), nothing for any other.
std::optional<TVideoKind> VideoKindOf(const QString &path);

struct TVideoExportOptions
{
    int Scale = 4; // 1..8
    int LoopPasses = 3; // 1..99, as TGifExportOptions
    TColor Background = clWhite; // what the transparent pixels show
};

struct TVideoExportResult
{
    QString VideoEncoder; // the encoders used: "libvpx-vp9", "libopus", ...
    QString SoundEncoder; // empty without sound
    QSize FrameSize; // the video's pictures
    int Frames = 0;
    qint64 DurationMs = 0;
    QStringList Notices; // an encoder that stood in for a missing one, a sound left out
};

// The video file's bytes (kind as given), and writing them to path
// (replacing a file atomically; the kind from its extension). Raises
// PlumoraError when the gesture has no frames, the name is no video kind,
// or no encoder for the kind's pictures is there; EAbort when cancelled.
QByteArray EncodeGestureVideo(const TZQGesture &gesture, TVideoKind kind,
    const TVideoExportOptions &options = {}, TVideoExportResult *result = nullptr,
    const TImportProgress &progress = {}, const std::atomic<bool> *cancel = nullptr);
TVideoExportResult ExportVideo(const TZQGesture &gesture, const QString &path,
    const TVideoExportOptions &options = {}, const TImportProgress &progress = {},
    const std::atomic<bool> *cancel = nullptr);

// The encoders a kind tries, best first: pictures, then sound.
QStringList VideoEncodersOf(TVideoKind kind);
QStringList SoundEncodersOf(TVideoKind kind);
