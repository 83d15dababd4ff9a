#pragma once
// Sharing a gesture outside the program: what it plays, tick by tick, and
// the animated GIF that plays it. The video export (media/videoexport.h)
// plays the same schedule with its sound.
//
// The editor's File > Export calls ExportGif (or ExportVideo) with the
// gesture and the file name the user chose; both write the whole file
// atomically, as every save does, and report progress and honour cancel
// like a long import.
#include "gesture/animationimport.h"

#include <QString>

#include <atomic>
#include <vector>

class TZQGesture;

// What a gesture shows when it plays, as its playback sequencer steps it:
// the frame shown at each 250 ms tick, from Play until playback stops, and
// the ticks at which the sound starts (a start at Frames.size() is the
// step that ends playback; the sound plays on after the last frame, as in
// the editor). A looping gesture plays its loop part loopPasses times in
// all (the gesture itself plays it NumberOfLoops times).
struct TPlaySchedule
{
    std::vector<int> Frames; // 0-based frame indexes
    std::vector<int> SoundStarts; // tick indexes, rising
};
TPlaySchedule PlaySchedule(const TZQGesture &gesture, int loopPasses);

// How a gesture becomes an animated GIF: every frame shows 250 ms (25
// hundredths), the transparent colour stays transparent, and the play mode
// is kept: played once, the GIF plays once; looped to frame 1, it repeats
// forever; looped to a later frame, the frames before it are written once
// and the loop part LoopPasses times in all; forward and back is written
// out frame by frame, as the gesture plays it.
struct TGifExportOptions
{
    int LoopPasses = 3; // 1..99
};

// What an export wrote, for the user.
struct TExportSummary
{
    int Frames = 0; // frames written
    qint64 DurationMs = 0; // one play
    bool Forever = false; // the GIF repeats forever
};

// The GIF file's bytes, and writing them to path (replacing a file
// atomically). Raises PlumoraError when the gesture has no frames;
// EAbort when cancel is set.
QByteArray EncodeGestureGif(const TZQGesture &gesture, const TGifExportOptions &options = {},
    TExportSummary *summary = nullptr, const TImportProgress &progress = {},
    const std::atomic<bool> *cancel = nullptr);
TExportSummary ExportGif(const TZQGesture &gesture, const QString &path,
    const TGifExportOptions &options = {}, const TImportProgress &progress = {},
    const std::atomic<bool> *cancel = nullptr);
