#include "soundimport.h"

#include "gesture/soundfit.h"
#include "platform/errors.h"
#include "sounddecode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QtEndian>

#include <algorithm>
#include <cmath>

using namespace plumora::media;

namespace {

QString grouped(qint64 n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

void putLe16(QByteArray &bytes, int at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void putLe32(QByteArray &bytes, int at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

// The WAV encodings the sound service plays (SDL's WAV reader): PCM,
// Microsoft and IMA ADPCM, IEEE float, A-law, mu-law, and the extensible
// header around them.
bool playableEncoding(quint16 tag)
{
    switch (tag) {
    case 0x0001:
    case 0x0002:
    case 0x0003:
    case 0x0006:
    case 0x0007:
    case 0x0011:
    case 0xFFFE:
        return true;
    default:
        return false;
    }
}

// A WAV file that a gesture can keep as it is: it fits, has a WAV header,
// and an encoding the sound service plays. Its format, from the header.
std::optional<TSoundFormat> keptAsItIs(const QByteArray &bytes, qint64 maxBytes)
{
    if (bytes.size() > maxBytes || !WaveTimingFromHeader(bytes, bytes.size()))
        return std::nullopt;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const qint64 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        if (bytes.mid(at, 4) == "fmt " && at + 8 + 16 <= bytes.size()) {
            const char *fmt = bytes.constData() + at + 8;
            if (!playableEncoding(qFromLittleEndian<quint16>(fmt)))
                return std::nullopt;
            return TSoundFormat { int(qFromLittleEndian<quint32>(fmt + 4)),
                qFromLittleEndian<quint16>(fmt + 2), qFromLittleEndian<quint16>(fmt + 14) };
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

TFittedSound asItIs(const QByteArray &bytes, const TSoundFormat &format)
{
    TFittedSound sound;
    sound.Wav = bytes;
    sound.Format = format;
    const std::optional<TWaveTiming> timing = WaveTimingFromHeader(bytes, bytes.size());
    sound.DurationMs = timing ? timing->DataBytes * 1000 / timing->BytesPerSecond : 0;
    return sound;
}

QString soundName(const QString &name)
{
    return QStringLiteral("The sound \"%1\"").arg(name);
}

} // namespace

QString TSoundFormat::Text() const
{
    const QString channels = Channels == 1 ? QStringLiteral("mono")
        : Channels == 2                    ? QStringLiteral("stereo")
                                           : QStringLiteral("%1 channels").arg(Channels);
    return QStringLiteral("%1 Hz, %2-bit %3").arg(grouped(Rate)).arg(Bits).arg(channels);
}

QString TFittedSound::Summary() const
{
    const QString length = secondsText(DurationMs);
    if (!Converted)
        return QStringLiteral("kept as it is (%1)").arg(length);
    return QStringLiteral("converted to %1 (%2)").arg(Format.Text(), length);
}

std::vector<TSoundFormat> SoundFormatLadder(int sourceRate, int sourceChannels)
{
    const int rate = std::max(1, sourceRate);
    const int top = std::min(rate, 44100);
    const TSoundFormat rungs[] = {
        { top, std::clamp(sourceChannels, 1, 2), 16 },
        { top, 1, 16 },
        { 22050, 1, 16 },
        { 11025, 1, 16 },
        { 11025, 1, 8 },
        { 8000, 1, 8 },
        { 6000, 1, 8 },
        { 4000, 1, 8 },
    };
    std::vector<TSoundFormat> ladder;
    for (TSoundFormat format : rungs) {
        format.Rate = std::min(format.Rate, rate);
        if (std::find(ladder.begin(), ladder.end(), format) == ladder.end())
            ladder.push_back(format);
    }
    return ladder;
}

qint64 WaveFileBytes(const TSoundFormat &format, qint64 sampleFrames)
{
    const qint64 data = sampleFrames * format.Channels * format.Bits / 8;
    return kWaveHeaderSize + data + (data & 1);
}

std::optional<TSoundFormat> ChooseSoundFormat(
    qint64 durationMs, int sourceRate, int sourceChannels, qint64 maxBytes)
{
    for (const TSoundFormat &format : SoundFormatLadder(sourceRate, sourceChannels)) {
        const qint64 frames = (durationMs * format.Rate + 999) / 1000;
        if (WaveFileBytes(format, frames) <= maxBytes)
            return format;
    }
    return std::nullopt;
}

qint64 LongestFittingMs(const TSoundFormat &format, qint64 maxBytes)
{
    const int frameBytes = std::max(1, format.Channels * format.Bits / 8);
    qint64 frames = std::max<qint64>(0, (maxBytes - kWaveHeaderSize) / frameBytes);
    while (frames > 0 && WaveFileBytes(format, frames) > maxBytes)
        --frames;
    return frames * 1000 / std::max(1, format.Rate);
}

QByteArray WaveFile(const TSoundFormat &format, const QByteArray &samples)
{
    QByteArray bytes(kWaveHeaderSize, '\0');
    const qsizetype pad = samples.size() & 1;
    std::copy_n("RIFF", 4, bytes.data());
    putLe32(bytes, 4, quint32(kWaveHeaderSize - 8 + samples.size() + pad));
    std::copy_n("WAVEfmt ", 8, bytes.data() + 8);
    putLe32(bytes, 16, 16);
    putLe16(bytes, 20, 1); // PCM
    putLe16(bytes, 22, quint16(format.Channels));
    putLe32(bytes, 24, quint32(format.Rate));
    putLe32(bytes, 28, quint32(format.BytesPerSecond()));
    putLe16(bytes, 32, quint16(format.Channels * format.Bits / 8));
    putLe16(bytes, 34, quint16(format.Bits));
    std::copy_n("data", 4, bytes.data() + 36);
    putLe32(bytes, 40, quint32(samples.size()));
    bytes += samples;
    if (pad)
        bytes += '\0';
    return bytes;
}

namespace plumora::media {

TFittedSound fitSound(MediaInput &input, const QString &what, qint64 startMs, qint64 endMs, qint64 maxBytes,
    const std::function<void(int percent)> &progress)
{
    const int stream = input.audioStream();
    if (stream < 0)
        input.fail(input.videoStream() >= 0 ? QStringLiteral("it holds no sound, only pictures")
                                            : QStringLiteral("it holds no sound"));
    const AVCodecParameters *par = input.format()->streams[stream]->codecpar;
    const int sourceChannels = std::clamp(par->ch_layout.nb_channels, 1, 2);
    const TSoundFormat lowest = SoundFormatLadder(par->sample_rate, sourceChannels).back();
    const qint64 longest = LongestFittingMs(lowest, maxBytes);
    // Refused from the length the container states, before anything is
    // decoded (with a little room: stated lengths are not exact).
    const qint64 end = endMs >= 0 ? endMs : input.durationMs();
    const qint64 stated = end >= 0 ? end - std::max<qint64>(0, startMs) : -1;
    if (stated > longest + 1000)
        throw PlumoraError(tooLongText(what, stated, par->sample_rate, sourceChannels, maxBytes));

    bool tooLong = false;
    const DecodedSound sound = decodeSound(input, { startMs, endMs, longest, 0, 0 }, tooLong, progress);
    if (tooLong)
        throw PlumoraError(
            tooLongText(what, stated > longest ? stated : -1, sound.sourceRate, sound.channels, maxBytes));
    if (sound.frames() == 0)
        input.fail(QStringLiteral("it holds no sound"));
    const qint64 durationMs = (sound.frames() * 1000 + sound.rate - 1) / sound.rate;
    const std::optional<TSoundFormat> format
        = ChooseSoundFormat(durationMs, sound.sourceRate, sound.channels, maxBytes);
    if (!format)
        throw PlumoraError(tooLongText(what, durationMs, sound.sourceRate, sound.channels, maxBytes));
    TFittedSound fitted;
    fitted.Wav = convertToWave(sound, *format, maxBytes);
    fitted.Format = *format;
    fitted.DurationMs = durationMs;
    fitted.Converted = true;
    return fitted;
}

} // namespace plumora::media

TFittedSound ReadSoundFile(
    const QString &path, qint64 maxBytes, const TImportProgress &progress, const std::atomic<bool> *cancel)
{
    const QFileInfo info(path);
    const QString name = QDir::toNativeSeparators(path);
    if (info.exists() && !info.isFile())
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". It is not a file").arg(name));
    if (info.isFile() && info.size() <= maxBytes) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw EStreamError(QStringLiteral("Cannot open file \"%1\". %2").arg(name, file.errorString()));
        const QByteArray bytes = file.readAll();
        if (const std::optional<TSoundFormat> format = keptAsItIs(bytes, maxBytes))
            return asItIs(bytes, *format);
    }
    ProgressScope scope(progress);
    MediaInput input(path, cancel);
    return fitSound(input, soundName(info.fileName()), 0, -1, maxBytes, scope.range(0, 100));
}

TFittedSound ReadSoundBytes(const QByteArray &bytes, const QString &name, qint64 maxBytes,
    const TImportProgress &progress, const std::atomic<bool> *cancel)
{
    if (const std::optional<TSoundFormat> format = keptAsItIs(bytes, maxBytes))
        return asItIs(bytes, *format);
    ProgressScope scope(progress);
    MediaInput input(bytes, name, cancel);
    return fitSound(input, soundName(name), 0, -1, maxBytes, scope.range(0, 100));
}
