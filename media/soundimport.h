#pragma once
// Any sound made into a gesture's sound: a WAV file that fits the sound
// block (65,535 bytes with its header). A WAV file that already fits is
// taken byte for byte, as a gesture always took its sound; anything else
// FFmpeg decodes (MP3, Ogg Vorbis, Opus, FLAC, WAV of any rate and depth,
// the sound of a clip) is converted, at the best quality that fits: the
// same rate and channels at 16 bits when they fit, then mono, a lower rate,
// 8 bits, down to 4,000 Hz 8-bit mono (about 16 s). A longer sound is
// refused, saying how long it lasts and how much would fit. Anything that
// is no sound is refused; nothing is ever stored as a sound unchecked.
//
// The editor's Audio Load calls ReadSoundFile and puts TFittedSound::Wav on
// the gesture with TZQGesture::SetAudio, telling the user Summary().
#include "gesture/animationimport.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <optional>
#include <vector>

// A WAV file's PCM format: samples a second, channels (1 or 2), bits a
// sample (8: unsigned, 16: signed little-endian).
struct TSoundFormat
{
    int Rate = 0;
    int Channels = 0;
    int Bits = 0;

    int BytesPerSecond() const { return Rate * Channels * Bits / 8; }
    // "11,025 Hz, 16-bit mono"
    QString Text() const;
    bool operator==(const TSoundFormat &) const = default;
};

// The bytes of a canonical PCM WAV header (RIFF, fmt, data).
inline constexpr int kWaveHeaderSize = 44;

// The formats a sound of the given source rate and channels is tried in,
// best first: the source's own rate (at most 44,100 Hz) and channels (at
// most 2) at 16 bits, then mono at 16 bits at that rate, 22,050 and
// 11,025 Hz, then 8 bits at 11,025, 8,000, 6,000 and 4,000 Hz; no rate
// above the source's, no format twice.
std::vector<TSoundFormat> SoundFormatLadder(int sourceRate, int sourceChannels);
// The size of the WAV file that holds sampleFrames sample frames in the
// format: the header, the samples and the pad byte of an odd length.
qint64 WaveFileBytes(const TSoundFormat &format, qint64 sampleFrames);
// The first format of the ladder whose WAV file of a sound durationMs long
// takes at most maxBytes; nothing when none does.
std::optional<TSoundFormat> ChooseSoundFormat(
    qint64 durationMs, int sourceRate, int sourceChannels, qint64 maxBytes);
// How long a sound may last, in ms, in the format, to fit maxBytes.
qint64 LongestFittingMs(const TSoundFormat &format, qint64 maxBytes);

// A sound made to fit.
struct TFittedSound
{
    QByteArray Wav; // the WAV file's bytes, at most the block's size
    TSoundFormat Format; // what the samples are (for a WAV taken as it is, its own)
    qint64 DurationMs = 0;
    bool Converted = false; // false: the file's own bytes
    // "kept as it is (1.2 s)" or "converted to 8,000 Hz, 8-bit mono (9.9 s)"
    QString Summary() const;
};

// Reads a sound file of any kind and fits it, as described above. Raises
// PlumoraError naming the file when it is no sound, cannot be decoded, or
// lasts longer than fits; EAbort when cancelled. progress: as an import's.
// Decoding stops as soon as the sound is known to be too long.
TFittedSound ReadSoundFile(const QString &path, qint64 maxBytes = 65535, const TImportProgress &progress = {},
    const std::atomic<bool> *cancel = nullptr);
// The same for a sound file's bytes; name is used in messages only.
TFittedSound ReadSoundBytes(const QByteArray &bytes, const QString &name, qint64 maxBytes = 65535,
    const TImportProgress &progress = {}, const std::atomic<bool> *cancel = nullptr);

// The WAV file of PCM samples (interleaved, in the format's sample type).
QByteArray WaveFile(const TSoundFormat &format, const QByteArray &samples);
