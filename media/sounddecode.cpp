#include "sounddecode.h"

#include "platform/errors.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <QLocale>

#include <algorithm>
#include <climits>
#include <cmath>

namespace plumora::media {

namespace {

// Sounds of other rates or more channels are no sounds anyone records; a
// file claiming them is damaged or made to hurt the reader.
constexpr int kMaxSourceRate = 768000;
constexpr int kMaxSourceChannels = 64;
constexpr int kMaxDecodeRate = 48000;
// What a decode takes at most when the caller sets no limit.
constexpr qint64 kLongestDecodeMs = 10 * 60 * 1000;

// A resampler from the frame's format to floats in `layout` at `rate`.
class Resampler
{
public:
    Resampler(const AVChannelLayout &layout, int rate) : m_layout(layout), m_rate(rate) { }
    ~Resampler() { av_channel_layout_uninit(&m_input); }
    Resampler(const Resampler &) = delete;
    Resampler &operator=(const Resampler &) = delete;

    // The frame's samples converted (false when it cannot be converted).
    bool convert(const AVFrame *frame, std::vector<float> &out, int &frames)
    {
        if (!ready(frame))
            return false;
        return run(const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples, out, frames);
    }
    // What the resampler still holds, at the end.
    void flush(std::vector<float> &out, int &frames)
    {
        frames = 0;
        if (m_swr)
            run(nullptr, 0, out, frames);
    }

private:
    bool ready(const AVFrame *frame)
    {
        AVChannelLayout input {};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels < 1)
            av_channel_layout_default(&input, std::max(1, frame->ch_layout.nb_channels));
        else
            av_channel_layout_copy(&input, &frame->ch_layout);
        const bool same = m_swr && m_format == frame->format && m_inputRate == frame->sample_rate
            && av_channel_layout_compare(&input, &m_input) == 0;
        if (same) {
            av_channel_layout_uninit(&input);
            return true;
        }
        // A stream whose format changes gets a new resampler; the few
        // samples the old one held are dropped.
        av_channel_layout_uninit(&m_input);
        m_input = input;
        m_format = frame->format;
        m_inputRate = frame->sample_rate;
        SwrContext *swr = nullptr;
        if (frame->sample_rate < 1 || frame->sample_rate > kMaxSourceRate
            || swr_alloc_set_opts2(&swr, &m_layout, AV_SAMPLE_FMT_FLT, m_rate, &m_input,
                   AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr)
                < 0
            || swr_init(swr) < 0) {
            swr_free(&swr);
            m_swr.reset();
            return false;
        }
        m_swr.reset(swr);
        return true;
    }

    bool run(const uint8_t **input, int count, std::vector<float> &out, int &frames)
    {
        const int room = swr_get_out_samples(m_swr.get(), count);
        if (room < 0)
            return false;
        out.resize(std::size_t(room + 1) * std::size_t(m_layout.nb_channels));
        auto *target = reinterpret_cast<uint8_t *>(out.data());
        frames = swr_convert(m_swr.get(), &target, room + 1, input, count);
        return frames >= 0;
    }

    AVChannelLayout m_layout;
    int m_rate;
    SwrPtr m_swr;
    AVChannelLayout m_input {};
    int m_format = -1;
    int m_inputRate = 0;
};

} // namespace

DecodedSound decodeSound(MediaInput &input, const SoundRequest &request, bool &tooLong,
    const std::function<void(int percent)> &progress)
{
    tooLong = false;
    const int stream = input.audioStream();
    if (stream < 0)
        input.fail(QStringLiteral("it holds no sound"));
    CodecPtr decoder = input.openDecoder(stream);
    const int sourceChannels = decoder->ch_layout.nb_channels;
    const int sourceRate = decoder->sample_rate;
    if (sourceChannels < 1 || sourceChannels > kMaxSourceChannels || sourceRate < 1
        || sourceRate > kMaxSourceRate)
        input.fail(QStringLiteral("its sound has %1 channels at %2 Hz, which no sound Plumora reads has")
                       .arg(sourceChannels)
                       .arg(sourceRate));

    DecodedSound sound;
    sound.sourceRate = sourceRate;
    sound.channels = request.channels > 0 ? request.channels : std::min(sourceChannels, 2);
    sound.rate = request.rate > 0 ? request.rate : std::min(sourceRate, kMaxDecodeRate);
    AVChannelLayout layout {};
    av_channel_layout_default(&layout, sound.channels);
    Resampler resampler(layout, sound.rate);

    const qint64 startMs = std::max<qint64>(0, request.startMs);
    input.seek(stream, startMs);
    const qint64 longestMs = request.longest >= 0 ? request.longest : kLongestDecodeMs;
    const qint64 longestFrames = longestMs * sound.rate / 1000 + sound.rate / 10;
    // Output frames are counted from base: the stream's first sample, or the
    // start when silence was put before a stream that begins later.
    qint64 baseMs = LLONG_MIN;
    qint64 produced = 0, keepFrom = 0, keepTo = LLONG_MAX;
    bool done = false;
    const auto frameAt = [&](qint64 ms) { return (ms - baseMs) * sound.rate / 1000; };
    const auto take = [&](const float *data, qint64 count) {
        const qint64 from = std::max(produced, keepFrom);
        const qint64 to = std::min(produced + count, keepTo);
        if (to > from)
            sound.samples.insert(sound.samples.end(), data + (from - produced) * sound.channels,
                data + (to - produced) * sound.channels);
        produced += count;
        if (sound.frames() > longestFrames) {
            tooLong = true;
            done = true;
        }
        if (produced >= keepTo)
            done = true;
    };

    std::vector<float> converted;
    int convertedFrames = 0;
    bool decodedAny = false;
    const qint64 spanMs = request.endMs > startMs ? request.endMs - startMs : input.durationMs() - startMs;
    int lastPercent = -1;
    const auto handle = [&](AVFrame *frame) {
        if (baseMs == LLONG_MIN) {
            const qint64 stamp = frame->best_effort_timestamp;
            const qint64 firstMs = stamp == AV_NOPTS_VALUE ? startMs : input.clipMs(stream, stamp);
            baseMs = std::min(firstMs, startMs);
            keepFrom = frameAt(startMs);
            if (request.endMs >= 0)
                keepTo = std::max(keepFrom, frameAt(request.endMs));
            // Silence until the stream begins.
            const std::vector<float> silence(
                std::size_t(std::min(frameAt(firstMs), longestFrames + 1)) * std::size_t(sound.channels),
                0.0f);
            take(silence.data(), qint64(silence.size()) / sound.channels);
        }
        if (!resampler.convert(frame, converted, convertedFrames))
            return;
        decodedAny = true;
        take(converted.data(), convertedFrames);
        if (progress && spanMs > 0) {
            const int percent = int(std::clamp<qint64>(sound.durationMs() * 100 / spanMs, 0, 99));
            if (percent != lastPercent)
                progress(lastPercent = percent);
        }
    };

    PacketPtr packet = newPacket();
    FramePtr frame = newFrame();
    const auto drain = [&] {
        while (!done && avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            handle(frame.get());
            av_frame_unref(frame.get());
        }
    };
    while (!done && input.readPacket(packet.get())) {
        // A full decoder takes the packet once its output is taken out; a
        // damaged packet is skipped.
        for (int tries = 0; !done && packet->stream_index == stream && tries < 64
             && avcodec_send_packet(decoder.get(), packet.get()) == AVERROR(EAGAIN);
             ++tries)
            drain();
        av_packet_unref(packet.get());
        drain();
    }
    if (!done) {
        avcodec_send_packet(decoder.get(), nullptr);
        drain();
        if (!done && baseMs != LLONG_MIN) {
            resampler.flush(converted, convertedFrames);
            take(converted.data(), convertedFrames);
        }
    }
    if (!decodedAny)
        input.fail(QStringLiteral("its sound cannot be decoded"));
    // A span past the stream's end is silent there.
    if (!done && keepTo != LLONG_MAX && produced < keepTo) {
        const std::vector<float> silence(
            std::size_t(std::min(keepTo - std::max(produced, keepFrom), longestFrames + 1))
                * std::size_t(sound.channels),
            0.0f);
        take(silence.data(), qint64(silence.size()) / sound.channels);
    }
    return sound;
}

QByteArray convertToWave(const DecodedSound &sound, const TSoundFormat &format, qint64 maxBytes)
{
    const AVSampleFormat sampleFormat = format.Bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
    AVChannelLayout from {}, to {};
    av_channel_layout_default(&from, sound.channels);
    av_channel_layout_default(&to, format.Channels);
    SwrContext *raw = nullptr;
    if (swr_alloc_set_opts2(
            &raw, &to, sampleFormat, format.Rate, &from, AV_SAMPLE_FMT_FLT, sound.rate, 0, nullptr)
            < 0
        || swr_init(raw) < 0) {
        swr_free(&raw);
        throw PlumoraError(QStringLiteral("The sound cannot be converted to %1").arg(format.Text()));
    }
    SwrPtr swr(raw);
    const int frameBytes = format.Channels * format.Bits / 8;
    const qint64 inFrames = sound.frames();
    const qint64 room = swr_get_out_samples(swr.get(), int(std::min<qint64>(inFrames, INT_MAX))) + 16;
    QByteArray samples(qsizetype(room * frameBytes), '\0');
    auto *out = reinterpret_cast<uint8_t *>(samples.data());
    const auto *in = reinterpret_cast<const uint8_t *>(sound.samples.data());
    int made = swr_convert(swr.get(), &out, int(room), &in, int(inFrames));
    if (made < 0)
        throw PlumoraError(QStringLiteral("The sound cannot be converted to %1").arg(format.Text()));
    out += qsizetype(made) * frameBytes;
    const int rest = swr_convert(swr.get(), &out, int(room - made), nullptr, 0);
    made += std::max(rest, 0);
    // Resampling may give a sample or two more than the duration promised.
    qint64 frames = made;
    while (frames > 0 && WaveFileBytes(format, frames) > maxBytes)
        --frames;
    samples.truncate(qsizetype(frames * frameBytes));
    return WaveFile(format, samples);
}

QString secondsText(qint64 ms)
{
    const qint64 tenths = std::max<qint64>(0, ms) / 100;
    const QString fraction = QStringLiteral(".%1").arg(tenths % 10);
    const qint64 seconds = tenths / 10;
    if (seconds < 60)
        return QStringLiteral("%1%2 s").arg(seconds).arg(fraction);
    const QString clock = QStringLiteral("%1:%2%3")
                              .arg(seconds / 60 % 60, seconds >= 3600 ? 2 : 1, 10, QLatin1Char('0'))
                              .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                              .arg(fraction);
    return seconds >= 3600 ? QStringLiteral("%1:%2").arg(seconds / 3600).arg(clock) : clock;
}

QString tooLongText(
    const QString &what, qint64 durationMs, int sourceRate, int sourceChannels, qint64 maxBytes)
{
    const TSoundFormat lowest = SoundFormatLadder(sourceRate, sourceChannels).back();
    const QString fits = secondsText(LongestFittingMs(lowest, maxBytes));
    if (durationMs < 0)
        return QStringLiteral("%1 lasts longer than the %2 of sound a gesture holds (at %3)")
            .arg(what, fits, lowest.Text());
    // The length is rounded up, so it always reads longer than what fits.
    return QStringLiteral("%1 lasts %2, but a gesture holds at most %3 of sound (at %4)")
        .arg(what, secondsText(durationMs + 99), fits, lowest.Text());
}

} // namespace plumora::media
