#pragma once
// The sound service: plays one complete WAV file image from memory at a time
// through SDL2's audio device.
//
// Playing never reports an error to the user and never hangs:
// - A buffer that is not a WAV image SDL can read (PCM 8/16/24/32-bit, float,
//   IMA and MS ADPCM, A-law, mu-law) plays nothing and returns false.
// - The audio device is opened on the first play. When no device can be
//   opened (a machine without sound, a broken driver), a readable WAV is
//   accepted and returns true, but nothing is heard and nothing counts as
//   playing. A failed open is tried again at most every few seconds.
// - A synchronous play waits at most a little longer than the sound lasts.
//
// The service copies the sound it plays, so callers may free their buffer as
// soon as the call returns. Calls may come from any thread; they are
// serialised, and only a synchronous play blocks its caller.
#include <QByteArray>
#include <QtGlobal>

namespace plumora {

// Play flags. SndMemory is always given: the sound is a WAV image in memory.
enum SoundFlag : unsigned {
    SndSync = 0x0000, // return when the sound has ended
    SndAsync = 0x0001, // return at once, the sound plays on
    SndNoDefault = 0x0002, // no fallback sound on failure (there never is one)
    SndMemory = 0x0004, // the sound argument is a WAV file image
    SndLoop = 0x0008, // repeat until stopped; implies SndAsync
    SndNoStop = 0x0010, // fail instead of interrupting a playing sound
};

// Plays the WAV image wav[0..size) with the given flags, or stops the playing
// sound when wav is null or size is 0.
//
// - Any request without SndNoStop first ends the sound that is playing, also
//   one that then fails. With SndNoStop, a request (also a stop) made while a
//   sound plays changes nothing and returns false.
// - A sound without SndMemory cannot be played (returns false).
// - SndLoop always plays asynchronously: a synchronous loop would never return.
// Returns false when nothing could be played; true for a stop, and for a
// readable WAV even when no audio device is available.
bool playSound(const char *wav, qsizetype size, unsigned flags);
inline bool playSound(const QByteArray &wav, unsigned flags)
{
    return playSound(wav.isEmpty() ? nullptr : wav.constData(), wav.size(), flags);
}

// Reads and converts a WAV image exactly as playSound does, to the format the
// device is asked for (44.1 kHz, 16-bit stereo), without opening any device.
// Returns the number of sample frames the sound converts to, or -1 when
// playSound would not play it.
qint64 probeWav(const char *wav, qsizetype size);

// Ends the playing sound, if any.
void stopSound();

// True while a sound is being played (a looping sound until it is stopped).
bool soundPlaying();

// What the service has done, for tests and diagnostics. Frame counts are in
// sample frames of the device format (one sample per channel).
struct SoundStats
{
    bool deviceOpen = false;
    int deviceRate = 0; // Hz
    int deviceChannels = 0;
    quint16 deviceFormat = 0; // an SDL_AudioFormat value
    int deviceFrameBytes = 0;
    quint64 soundsStarted = 0; // sounds handed to the device since start-up
    quint64 currentFrames = 0; // length of the latest sound, one pass
    quint64 currentPlayed = 0; // frames of the latest sound sent to the device,
                               // loop passes included
    quint64 totalPlayed = 0; // frames of all sounds sent to the device
};
SoundStats soundStats();

// Stops any sound, closes the device and shuts SDL's audio down. The next
// play starts afresh (and reads SDL_AUDIODRIVER again). The same happens by
// itself at program exit; sounds requested after that are not played.
void shutdownSound();

} // namespace plumora
