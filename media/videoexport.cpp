#include "videoexport.h"

#include "gesture/gestureexport.h"
#include "gesture/zqgesture.h"
#include "mediainput.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"
#include "sounddecode.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <QFileInfo>

#include <algorithm>
#include <cstring>

using namespace plumora::media;

namespace {

constexpr int kFramesPerSecond = 1000 / kGestureFrameMs;
constexpr int kSoundRate = 48000; // Opus's own rate; AAC takes it too
// The longest sound a video plays: a gesture's sound is at most 65,535
// bytes, which lasts more than a minute only at rates no sound is made at.
constexpr qint64 kLongestSoundMs = 2 * 60 * 1000;

// The muxer writes into memory, seeking back to patch its headers; the
// file is written in one piece afterwards.
struct MemoryOutput
{
    QByteArray bytes;
    qint64 position = 0;

    static int write(void *opaque, uint8_t *data, int size)
    {
        auto *out = static_cast<MemoryOutput *>(opaque);
        const qint64 end = out->position + size;
        if (end > out->bytes.size())
            out->bytes.resize(qsizetype(end));
        std::memcpy(out->bytes.data() + out->position, data, std::size_t(size));
        out->position = end;
        return size;
    }
    static int64_t seek(void *opaque, int64_t offset, int whence)
    {
        auto *out = static_cast<MemoryOutput *>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return out->bytes.size();
        case SEEK_SET:
            out->position = offset;
            break;
        case SEEK_CUR:
            out->position += offset;
            break;
        case SEEK_END:
            out->position = out->bytes.size() + offset;
            break;
        default:
            return AVERROR(EINVAL);
        }
        out->position = std::max<qint64>(0, out->position);
        return out->position;
    }
};

struct OutputDeleter
{
    void operator()(AVFormatContext *context) const { avformat_free_context(context); }
};

[[noreturn]] void failExport(const QString &what, int code = 0)
{
    throw PlumoraError(QStringLiteral("Cannot make the video: %1%2")
                           .arg(what, code ? QStringLiteral(" (%1)").arg(errorText(code)) : QString()));
}

void check(int code, const QString &what)
{
    if (code < 0)
        failExport(what, code);
}

const AVCodec *firstEncoder(const QStringList &names, QString &chosen)
{
    for (const QString &name : names)
        if (const AVCodec *codec = avcodec_find_encoder_by_name(name.toLatin1().constData())) {
            chosen = name;
            return codec;
        }
    return nullptr;
}

// An encoder and its stream in the muxer.
struct Track
{
    CodecPtr codec;
    AVStream *stream = nullptr;
};

// The gesture's frame with its transparent pixels in background, each
// pixel a scale x scale square, on a picture of even sides (4:2:0 video
// needs them), the extra row or column in background.
QImage scaledFrame(const TFrameList &frames, int index, int scale, TColor background, QSize size)
{
    const QImage frame = frames.CopyFrame(index, background);
    QImage out(size, QImage::Format_RGB32);
    out.fill(toQRgb(background) | 0xFF000000u);
    for (int y = 0; y < frame.height() * scale; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(frame.constScanLine(y / scale));
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < frame.width() * scale; ++x)
            line[x] = in[x / scale] | 0xFF000000u;
    }
    return out;
}

// The gesture's sound as it plays with the schedule: each start plays the
// sound from its beginning and cuts off the one before. Samples are made as
// the encoder asks for them, so a long schedule holds only the sound.
class SoundTrack
{
public:
    SoundTrack(const TZQGesture &gesture, const TPlaySchedule &schedule, TVideoExportResult &result,
        const std::atomic<bool> *cancel)
    {
        if (!gesture.HasAudio() || gesture.AudioData().isEmpty() || schedule.SoundStarts.empty())
            return;
        try {
            MediaInput input(gesture.AudioData(), QStringLiteral("the gesture's sound"), cancel);
            bool tooLong = false;
            m_sound = decodeSound(input, { 0, -1, kLongestSoundMs, 0, kSoundRate }, tooLong);
            if (tooLong)
                result.Notices << QStringLiteral("The gesture's sound is cut after %1")
                                      .arg(secondsText(kLongestSoundMs));
        } catch (const EAbort &) {
            throw;
        } catch (const PlumoraError &error) {
            result.Notices << QStringLiteral("The video has no sound: %1").arg(error.message());
            m_sound = {};
            return;
        }
        const qint64 samplesPerTick = qint64(kSoundRate) * kGestureFrameMs / 1000;
        for (const int start : schedule.SoundStarts)
            m_starts.push_back(start * samplesPerTick);
    }

    bool empty() const { return m_starts.empty(); }
    int channels() const { return m_sound.channels; }
    // Where the last start has played out, in samples.
    qint64 end() const { return m_starts.empty() ? 0 : m_starts.back() + m_sound.frames(); }

    // count samples from sample `from` on, interleaved.
    void fill(qint64 from, int count, std::vector<float> &out) const
    {
        const int channels = m_sound.channels;
        out.assign(std::size_t(count) * std::size_t(channels), 0.0f);
        auto start = std::upper_bound(m_starts.begin(), m_starts.end(), from);
        for (qint64 i = from; i < from + count; ++i) {
            while (start != m_starts.end() && *start <= i)
                ++start;
            if (start == m_starts.begin())
                continue;
            const qint64 at = i - *(start - 1);
            if (at < m_sound.frames())
                std::copy_n(
                    m_sound.samples.begin() + at * channels, channels, out.begin() + (i - from) * channels);
        }
    }

private:
    DecodedSound m_sound;
    std::vector<qint64> m_starts; // in samples, rising
};

class VideoWriter
{
public:
    VideoWriter(TVideoKind kind, TVideoExportResult &result, const std::atomic<bool> *cancel)
        : m_kind(kind), m_result(result), m_cancel(cancel)
    {
        AVFormatContext *context = nullptr;
        check(avformat_alloc_output_context2(
                  &context, nullptr, kind == TVideoKind::WebM ? "webm" : "mp4", nullptr),
            QStringLiteral("no muxer"));
        m_format.reset(context);
        auto *buffer = static_cast<unsigned char *>(av_malloc(64 * 1024));
        if (buffer)
            m_io.reset(avio_alloc_context(
                buffer, 64 * 1024, 1, &m_output, nullptr, MemoryOutput::write, MemoryOutput::seek));
        if (!m_io) {
            av_free(buffer);
            failExport(QStringLiteral("not enough memory"));
        }
        m_format->pb = m_io.get();
        m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    ~VideoWriter()
    {
        m_video.codec.reset();
        m_audio.codec.reset();
        m_format.reset();
    }

    void addVideo(QSize size)
    {
        const QStringList names = VideoEncodersOf(m_kind);
        const AVCodec *codec = firstEncoder(names, m_result.VideoEncoder);
        if (!codec)
            failExport(
                QStringLiteral("FFmpeg has none of the encoders %1").arg(names.join(QStringLiteral(", "))));
        if (m_result.VideoEncoder != names.first())
            m_result.Notices << QStringLiteral("%1 is not available; the pictures are encoded with %2")
                                    .arg(names.first(), m_result.VideoEncoder);
        AVCodecContext *c = newCodec(codec, m_video);
        c->width = size.width();
        c->height = size.height();
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->time_base = { 1, kFramesPerSecond };
        c->framerate = { kFramesPerSecond, 1 };
        c->gop_size = 10 * kFramesPerSecond;
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_SMPTE170M; // what swscale converts with
        AVDictionary *options = nullptr;
        const QString &name = m_result.VideoEncoder;
        if (name == QLatin1String("libx264")) {
            av_dict_set(&options, "preset", "veryfast", 0);
            av_dict_set(&options, "crf", "18", 0);
        } else if (name == QLatin1String("libvpx-vp9")) {
            av_dict_set(&options, "crf", "28", 0);
            av_dict_set(&options, "b", "0", 0);
            av_dict_set(&options, "deadline", "good", 0);
            av_dict_set(&options, "cpu-used", "5", 0);
            av_dict_set(&options, "row-mt", "1", 0);
        } else {
            c->bit_rate = 4000000;
        }
        open(m_video, options);
    }

    // With no encoder for sound, the video goes without, and says so.
    bool addAudio(int channels)
    {
        const QStringList names = SoundEncodersOf(m_kind);
        const AVCodec *codec = firstEncoder(names, m_result.SoundEncoder);
        if (!codec) {
            m_result.Notices << QStringLiteral("The video has no sound: FFmpeg has none of the encoders %1")
                                    .arg(names.join(QStringLiteral(", ")));
            return false;
        }
        if (m_result.SoundEncoder != names.first())
            m_result.Notices << QStringLiteral("%1 is not available; the sound is encoded with %2")
                                    .arg(names.first(), m_result.SoundEncoder);
        AVCodecContext *c = newCodec(codec, m_audio);
        c->sample_rate = kSoundRate;
        av_channel_layout_default(&c->ch_layout, channels);
        c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        c->bit_rate = 128000;
        c->time_base = { 1, kSoundRate };
        c->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL; // the built-in Opus encoder
        open(m_audio, nullptr);
        AVChannelLayout layout {};
        av_channel_layout_default(&layout, channels);
        SwrContext *swr = nullptr;
        if (swr_alloc_set_opts2(&swr, &c->ch_layout, c->sample_fmt, kSoundRate, &layout, AV_SAMPLE_FMT_FLT,
                kSoundRate, 0, nullptr)
                < 0
            || swr_init(swr) < 0) {
            swr_free(&swr);
            failExport(QStringLiteral("the sound cannot be converted for %1").arg(m_result.SoundEncoder));
        }
        m_swr.reset(swr);
        return true;
    }

    bool hasAudio() const { return m_audio.codec != nullptr; }
    // Samples the sound encoder takes at a time.
    int audioFrameSize() const { return m_audio.codec->frame_size > 0 ? m_audio.codec->frame_size : 1024; }

    void start()
    {
        check(avformat_write_header(m_format.get(), nullptr), QStringLiteral("the container's header"));
    }

    void writePicture(const QImage &picture, qint64 index)
    {
        AVCodecContext *c = m_video.codec.get();
        FramePtr frame = newFrame();
        frame->format = c->pix_fmt;
        frame->width = c->width;
        frame->height = c->height;
        check(av_frame_get_buffer(frame.get(), 0), QStringLiteral("not enough memory"));
        m_scaler.reset(sws_getCachedContext(m_scaler.release(), picture.width(), picture.height(),
            AV_PIX_FMT_RGB32, c->width, c->height, c->pix_fmt, SWS_POINT, nullptr, nullptr, nullptr));
        if (!m_scaler)
            failExport(QStringLiteral("the pictures cannot be converted"));
        const uint8_t *planes[4] = { picture.constBits(), nullptr, nullptr, nullptr };
        const int strides[4] = { int(picture.bytesPerLine()), 0, 0, 0 };
        sws_scale(m_scaler.get(), planes, strides, 0, picture.height(), frame->data, frame->linesize);
        frame->pts = index;
        encode(m_video, frame.get());
    }

    // count samples of the track from sample `from` on.
    void writeSound(const SoundTrack &track, qint64 from, int count)
    {
        AVCodecContext *c = m_audio.codec.get();
        FramePtr frame = newFrame();
        frame->format = c->sample_fmt;
        frame->nb_samples = count;
        frame->sample_rate = kSoundRate;
        check(av_channel_layout_copy(&frame->ch_layout, &c->ch_layout), QStringLiteral("not enough memory"));
        check(av_frame_get_buffer(frame.get(), 0), QStringLiteral("not enough memory"));
        track.fill(from, count, m_chunk);
        const std::vector<float> &chunk = m_chunk;
        const auto *in = reinterpret_cast<const uint8_t *>(chunk.data());
        check(swr_convert(m_swr.get(), frame->data, count, &in, count), QStringLiteral("the sound"));
        frame->pts = from;
        encode(m_audio, frame.get());
    }

    QByteArray finish()
    {
        encode(m_video, nullptr);
        if (hasAudio())
            encode(m_audio, nullptr);
        check(av_write_trailer(m_format.get()), QStringLiteral("the container's end"));
        avio_flush(m_format->pb);
        return m_output.bytes;
    }

private:
    AVCodecContext *newCodec(const AVCodec *codec, Track &track)
    {
        track.codec.reset(avcodec_alloc_context3(codec));
        track.stream = avformat_new_stream(m_format.get(), nullptr);
        if (!track.codec || !track.stream)
            failExport(QStringLiteral("not enough memory"));
        if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
            track.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        return track.codec.get();
    }

    void open(Track &track, AVDictionary *options)
    {
        const int opened = avcodec_open2(track.codec.get(), track.codec->codec, &options);
        av_dict_free(&options);
        check(opened,
            QStringLiteral("the encoder %1 does not start").arg(QString::fromUtf8(track.codec->codec->name)));
        check(avcodec_parameters_from_context(track.stream->codecpar, track.codec.get()),
            QStringLiteral("the stream"));
        track.stream->time_base = track.codec->time_base;
    }

    void encode(Track &track, AVFrame *frame)
    {
        if (m_cancel && m_cancel->load())
            throw EAbort();
        check(avcodec_send_frame(track.codec.get(), frame), QStringLiteral("encoding"));
        PacketPtr packet = newPacket();
        while (avcodec_receive_packet(track.codec.get(), packet.get()) == 0) {
            if (packet->duration == 0 && &track == &m_video)
                packet->duration = 1;
            av_packet_rescale_ts(packet.get(), track.codec->time_base, track.stream->time_base);
            packet->stream_index = track.stream->index;
            check(av_interleaved_write_frame(m_format.get(), packet.get()), QStringLiteral("writing"));
        }
    }

    TVideoKind m_kind;
    TVideoExportResult &m_result;
    const std::atomic<bool> *m_cancel;
    MemoryOutput m_output;
    std::unique_ptr<AVIOContext, IoDeleter> m_io;
    std::unique_ptr<AVFormatContext, OutputDeleter> m_format;
    Track m_video, m_audio;
    SwsPtr m_scaler;
    SwrPtr m_swr;
    std::vector<float> m_chunk;
};

} // namespace

std::optional<TVideoKind> VideoKindOf(const QString &path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("webm"))
        return TVideoKind::WebM;
    if (ext == QLatin1String("mp4") || ext == QLatin1String("m4v"))
        return TVideoKind::Mp4;
    return std::nullopt;
}

QStringList VideoEncodersOf(TVideoKind kind)
{
    if (kind == TVideoKind::WebM)
        return { QStringLiteral("libvpx-vp9"), QStringLiteral("libvpx") };
    return { QStringLiteral("libx264"), QStringLiteral("mpeg4") };
}

QStringList SoundEncodersOf(TVideoKind kind)
{
    if (kind == TVideoKind::WebM)
        return { QStringLiteral("libopus"), QStringLiteral("libvorbis"), QStringLiteral("opus") };
    return { QStringLiteral("aac"), QStringLiteral("libmp3lame") };
}

QByteArray EncodeGestureVideo(const TZQGesture &gesture, TVideoKind kind, const TVideoExportOptions &options,
    TVideoExportResult *resultOut, const TImportProgress &progress, const std::atomic<bool> *cancel)
{
    const TFrameList *frames = gesture.Frames();
    if (!frames || frames->Count() == 0)
        throw PlumoraError(QStringLiteral("The gesture has no frames to export"));
    TVideoExportResult result;
    const int scale = std::clamp(options.Scale, 1, 8);
    const TPlaySchedule schedule = PlaySchedule(gesture, options.LoopPasses);
    ProgressScope scope(progress);
    const SoundTrack track(gesture, schedule, result, cancel);
    // The last frame stays until the sound has played out.
    const qint64 samplesPerTick = qint64(kSoundRate) * kGestureFrameMs / 1000;
    const qint64 soundTicks = (track.end() + samplesPerTick - 1) / samplesPerTick;
    const qint64 ticks = std::max<qint64>(qint64(schedule.Frames.size()), soundTicks);

    result.FrameSize = QSize((frames->Width() * scale + 1) & ~1, (frames->Height() * scale + 1) & ~1);
    VideoWriter writer(kind, result, cancel);
    writer.addVideo(result.FrameSize);
    if (!track.empty())
        writer.addAudio(track.channels());
    writer.start();

    const qint64 totalSamples = ticks * samplesPerTick;
    qint64 soundAt = 0;
    int shownIndex = -1;
    QImage shown;
    for (qint64 tick = 0; tick < ticks; ++tick) {
        // The sound up to this picture's time goes first, so the muxer
        // interleaves without holding much back.
        while (writer.hasAudio() && soundAt < std::min(totalSamples, (tick + 1) * samplesPerTick)) {
            const int count = writer.audioFrameSize();
            writer.writeSound(track, soundAt, count);
            soundAt += count;
        }
        const int index
            = schedule.Frames[std::size_t(std::min<qint64>(tick, qint64(schedule.Frames.size()) - 1))];
        if (index != shownIndex) {
            shown = scaledFrame(*frames, index, scale, options.Background, result.FrameSize);
            shownIndex = index;
        }
        writer.writePicture(shown, tick);
        scope.report(0, 100, tick + 1, ticks);
    }
    while (writer.hasAudio() && soundAt < totalSamples) {
        const int count = writer.audioFrameSize();
        writer.writeSound(track, soundAt, count);
        soundAt += count;
    }
    const QByteArray bytes = writer.finish();
    result.Frames = int(ticks);
    result.DurationMs = ticks * kGestureFrameMs;
    if (resultOut)
        *resultOut = result;
    return bytes;
}

TVideoExportResult ExportVideo(const TZQGesture &gesture, const QString &path,
    const TVideoExportOptions &options, const TImportProgress &progress, const std::atomic<bool> *cancel)
{
    const std::optional<TVideoKind> kind = VideoKindOf(path);
    if (!kind)
        throw PlumoraError(QStringLiteral("Cannot export \"%1\": Plumora writes videos as .webm or .mp4")
                               .arg(QFileInfo(path).fileName()));
    TVideoExportResult result;
    plumora::writeFileAtomically(
        path, EncodeGestureVideo(gesture, *kind, options, &result, progress, cancel));
    return result;
}
