#pragma once
// Decoding the sound of a file opened with FFmpeg into plain samples, and
// converting them: the work behind soundimport.h, clipreader.h and
// videoexport.h. Internal to media/.
#include "media/mediainput.h"
#include "media/soundimport.h"

#include <functional>
#include <vector>

namespace plumora::media {

// Samples as 32-bit floats, interleaved, at a rate of at most 48,000 Hz, in
// one or two channels.
struct DecodedSound
{
    int rate = 0;
    int channels = 0;
    int sourceRate = 0; // the stream's own rate
    std::vector<float> samples;

    qint64 frames() const { return channels ? qint64(samples.size()) / channels : 0; }
    qint64 durationMs() const { return rate ? frames() * 1000 / rate : 0; }
};

// What a decode takes: the sound from startMs to endMs of the file (-1:
// to its end), longest: the most ms that are of any use (beyond, the decode
// stops and tooLong is set; -1: ten minutes), channels: 1 or 2 to have them, 0 for the
// stream's own (at most 2), rate: 0 for the stream's own (at most 48,000).
struct SoundRequest
{
    qint64 startMs = 0;
    qint64 endMs = -1;
    qint64 longest = -1;
    int channels = 0;
    int rate = 0;
};

// Decodes the input's sound stream as asked; silence stands for what lies
// between startMs and the stream's first sample. Raises PlumoraError when
// the input has no sound or none of it decodes. progress gets 0..100.
DecodedSound decodeSound(MediaInput &input, const SoundRequest &request, bool &tooLong,
    const std::function<void(int percent)> &progress = {});

// The sound from startMs to endMs of the input (-1: to its end) made into
// a gesture's sound of at most maxBytes, as soundimport.h describes; what
// names it in a refusal ("The sound \"x.mp3\"").
TFittedSound fitSound(MediaInput &input, const QString &what, qint64 startMs, qint64 endMs, qint64 maxBytes,
    const std::function<void(int percent)> &progress = {});

// The samples converted to the format (rate, channels, 8 or 16 bits), as a
// WAV file of at most maxBytes (the last samples dropped where resampling
// gave a few more than fit).
QByteArray convertToWave(const DecodedSound &sound, const TSoundFormat &format, qint64 maxBytes);

// The refusal of a sound that does not fit: "<what> lasts 30.0 s, but a
// gesture holds at most 16.3 s of sound (4,000 Hz, 8-bit mono)"; a duration
// below 0 says "more than" the longest that fits.
QString tooLongText(
    const QString &what, qint64 durationMs, int sourceRate, int sourceChannels, qint64 maxBytes);

// "12.3 s", or "1:02:03.4" from an hour up.
QString secondsText(qint64 ms);

} // namespace plumora::media
