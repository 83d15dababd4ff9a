#pragma once
// Test media made with FFmpeg's own encoders and muxers, straight through
// their API (not through media/), so that the readers are tried on files
// another writer made: clips whose frame k is a flat grey of greyOf(k) (a
// seek or a tick that takes the wrong frame shows in its grey), sounds that
// are a sine tone.
#include <QSize>
#include <QString>

namespace mediatest {

struct ClipRecipe
{
    const char *muxer = "webm"; // FFmpeg's muxer name: webm, mp4, matroska, mov, webp, mp3, ogg, flac, wav
    const char *video = nullptr; // encoder name, or none
    const char *audio = nullptr; // encoder name, or none
    QSize size { 160, 90 };
    int fps = 10;
    double seconds = 10;
    int rate = 44100;
    int channels = 2;
    double toneHz = 440;
    double lastPictureAt = -1; // seconds: the last picture shown this late
};

// The grey of frame k of a clip (distinct for 12 frames in a row).
int greyOf(int frame);

// Writes the clip; fails the calling test (and returns false) when FFmpeg
// cannot.
bool writeClip(const QString &path, const ClipRecipe &recipe);

// A Matroska file of one MJPEG picture whose headers claim size.
bool writeHugeClip(const QString &path, QSize size);

// A file of the shared test media, made on first use in a folder that
// lasts as long as the test program:
//   sounds: tone.mp3 (3 s, 44,100 Hz stereo), tone.ogg (Vorbis, 5 s, mono),
//           tone.opus (10 s, 48,000 Hz stereo), tone.flac (2 s, 22,050 Hz
//           mono), long.wav (12 s, 16-bit stereo), small.wav (1 s, 8-bit
//           mono, fits as it is), twenty.mp3 (20 s: too long to fit)
//   clips (160 x 90, 10 pictures a second): clip.webm (VP9 + Opus, 10 s),
//           twenty.webm (the same, 20 s: its sound does not fit),
//           clip.mp4 (H.264 + AAC, 10 s), clip.mkv (VP9, no sound, 6 s),
//           clip.mov (H.264 + AAC, 4 s), anim.webp (animated WebP, 3 s),
//           huge.mkv (claims 20000 x 20000), tenhours.webm (its last picture
//           at 10 hours)
QString media(const QString &name);

} // namespace mediatest
