#pragma once
// Whether a sound file fits a gesture's sound block, asked before the file is
// read: a sound that is too long is refused from its size, with its length and
// the length that would fit, read from its WAV header. The editor and the
// command line both say these words. No samples are decoded here.
#include <QByteArray>
#include <QString>

#include <optional>

// The bytes at the start of a file that WaveTimingFromHeader is given: room
// for the format chunk and the usual chunks writers put before the samples.
inline constexpr qint64 kWaveHeaderBytes = 4096;

// Where a WAV file's samples lie and how fast they play.
struct TWaveTiming
{
    qint64 DataOffset = 0; // bytes before the samples: the whole header
    qint64 DataBytes = 0; // sample bytes the file holds
    qint64 BytesPerSecond = 0; // the format's average byte rate, never 0
};

// Reads a little-endian RIFF/WAVE header from head, the first bytes of a file
// of fileSize bytes: the `fmt ` chunk's byte rate and the `data` chunk's
// place and length. A data length of 0 or past the end of the file (as
// writers that stream leave it) is taken as the rest of the file. Nothing
// when head is no WAV header, the `data` chunk does not begin within it, or
// the format gives no byte rate.
std::optional<TWaveTiming> WaveTimingFromHeader(const QByteArray &head, qint64 fileSize);

// Throws PlumoraError when fileName is a plain file of more than maxBytes
// bytes, reading at most its first kWaveHeaderBytes. The message gives the
// sound's duration and how much of it fits when the header tells; otherwise
// its size alone. Anything else (a missing file, a folder) is left to the
// reader that follows.
void RefuseSoundLargerThan(const QString &fileName, qint64 maxBytes);
