#include "mediainput.h"

#include "codecs/gifimage.h"
#include "platform/errors.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace plumora::media {

namespace {

// The container formats read: those of clips and sounds. Playlists, image
// sequences and the demuxers that open other files are not among them.
constexpr char kDemuxers[] = "matroska,webm,mov,mp4,m4a,3gp,3g2,mj2,avi,mpegts,mpeg,ogg,mp3,flac,wav,w64,"
                             "aac,aiff,caf,flv,asf";
constexpr int kReadBufferBytes = 64 * 1024;

// FFmpeg logs to standard error; the program reports errors itself. The
// last error FFmpeg logged on this thread is kept to say more in messages.
thread_local QString lastLoggedError;

void logCallback(void *context, int level, const char *format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[512];
    int prefix = 0;
    av_log_format_line2(context, level, format, args, line, sizeof line, &prefix);
    lastLoggedError = QString::fromUtf8(line).trimmed();
}

void quietLogging()
{
    static const bool installed = [] {
        av_log_set_callback(logCallback);
        return true;
    }();
    Q_UNUSED(installed);
}

// What one step of a demuxer may read. A packet, a header or the probe of
// the streams never needs more (a raw 4096 x 4096 picture of four bytes a
// pixel takes 64 MiB); data in which a parser finds no frame would otherwise
// be read, and held, to its end within one step.
constexpr qint64 kStepReadBytes = qint64(80) << 20;

int readDevice(void *opaque, uint8_t *buffer, int size)
{
    auto *reads = static_cast<DeviceReads *>(opaque);
    if (reads->sinceStep >= kStepReadBytes) {
        reads->overrun = true;
        return AVERROR(EIO);
    }
    const qint64 got = reads->device->read(reinterpret_cast<char *>(buffer), size);
    if (got < 0)
        return AVERROR(EIO);
    reads->sinceStep += got;
    return got == 0 ? AVERROR_EOF : int(got);
}

int64_t seekDevice(void *opaque, int64_t offset, int whence)
{
    QIODevice *device = static_cast<DeviceReads *>(opaque)->device;
    if (whence & AVSEEK_SIZE)
        return device->size();
    qint64 target = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = device->pos() + offset;
        break;
    case SEEK_END:
        target = device->size() + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    // Past the end there is nothing to read (and a buffer warns of it).
    if (target < 0 || target > device->size() || !device->seek(target))
        return AVERROR(EIO);
    return target;
}

// No demuxer opens another file or address.
int refuseOpen(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **)
{
    return AVERROR(EPERM);
}

int interrupted(void *opaque)
{
    const auto *cancel = static_cast<const std::atomic<bool> *>(opaque);
    return cancel && cancel->load() ? 1 : 0;
}

QString displayName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

ProgressScope::ProgressScope(const Function &progress) : m_progress(progress)
{
    if (m_progress)
        m_progress(TProgressStage::Starting, 0);
}

ProgressScope::~ProgressScope()
{
    if (m_progress)
        m_progress(TProgressStage::Ending, 100);
}

void ProgressScope::report(int from, int to, qint64 done, qint64 total)
{
    if (!m_progress || total <= 0)
        return;
    const int percent = from + int(std::clamp<qint64>(done, 0, total) * (to - from) / total);
    if (percent <= m_last)
        return;
    m_last = percent;
    m_progress(TProgressStage::Running, percent);
}

std::function<void(int)> ProgressScope::range(int from, int to)
{
    return [this, from, to](int percent) { report(from, to, percent, 100); };
}

FramePtr newFrame()
{
    FramePtr frame(av_frame_alloc());
    if (!frame)
        throw PlumoraError(QStringLiteral("Not enough memory to decode"));
    return frame;
}

PacketPtr newPacket()
{
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw PlumoraError(QStringLiteral("Not enough memory to decode"));
    return packet;
}

QString errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    QString words = QString::fromUtf8(text);
    if (!lastLoggedError.isEmpty() && !words.contains(lastLoggedError))
        words += QStringLiteral(" (%1)").arg(lastLoggedError);
    return words;
}

MediaInput::MediaInput(const QString &path, const std::atomic<bool> *cancel)
    : m_name(displayName(path)), m_cancel(cancel)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". It is not a file").arg(m_name));
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". %2").arg(m_name, file->errorString()));
    open(std::move(file));
}

MediaInput::MediaInput(const QByteArray &bytes, const QString &name, const std::atomic<bool> *cancel)
    : m_name(name), m_cancel(cancel)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    open(std::move(buffer));
}

MediaInput::~MediaInput() = default;

void MediaInput::open(std::unique_ptr<QIODevice> device)
{
    quietLogging();
    lastLoggedError.clear();
    m_device = std::move(device);
    m_reads.device = m_device.get();
    auto *buffer = static_cast<unsigned char *>(av_malloc(kReadBufferBytes));
    if (buffer)
        m_io.reset(
            avio_alloc_context(buffer, kReadBufferBytes, 0, &m_reads, readDevice, nullptr, seekDevice));
    if (!m_io) {
        av_free(buffer);
        throw PlumoraError(QStringLiteral("Not enough memory to read \"%1\"").arg(m_name));
    }
    AVFormatContext *format = avformat_alloc_context();
    if (!format)
        throw PlumoraError(QStringLiteral("Not enough memory to read \"%1\"").arg(m_name));
    format->pb = m_io.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->io_open = refuseOpen;
    format->format_whitelist = av_strdup(kDemuxers);
    format->interrupt_callback = { interrupted, const_cast<std::atomic<bool> *>(m_cancel) };
    // The name gives the demuxers a hint (its extension) besides the content.
    const QByteArray url = m_name.toUtf8();
    startStep();
    int result = avformat_open_input(&format, url.constData(), nullptr, nullptr);
    if (result < 0) {
        // avformat_open_input has freed the context.
        checkCancel();
        checkStep();
        // A format off the list is refused with EINVAL; the others say why.
        const QString none = QStringLiteral("it is no video clip or sound that Plumora reads");
        fail(result == AVERROR(EINVAL) ? none : QStringLiteral("%1 (%2)").arg(none, errorText(result)));
    }
    m_format.reset(format);

    // The stream headers may already state the pictures' size; a huge one
    // is refused before the decoders probe it, and they are limited anyway.
    const auto checkSizes = [this] {
        for (unsigned i = 0; i < m_format->nb_streams; ++i) {
            const AVCodecParameters *par = m_format->streams[i]->codecpar;
            if (par->codec_type != AVMEDIA_TYPE_VIDEO)
                continue;
            if (par->width > kClipMaxSide || par->height > kClipMaxSide
                || qint64(par->width) * par->height > kClipMaxPixels)
                fail(QStringLiteral("its pictures are %1 x %2 pixels; Plumora reads clips of up to %3 pixels "
                                    "(4096 x 4096), no side longer than %4")
                         .arg(par->width)
                         .arg(par->height)
                         .arg(kClipMaxPixels)
                         .arg(kClipMaxSide));
        }
    };
    checkSizes();
    std::vector<AVDictionary *> options(m_format->nb_streams, nullptr);
    for (AVDictionary *&option : options)
        av_dict_set_int(&option, "max_pixels", kClipMaxPixels, 0);
    startStep();
    result = avformat_find_stream_info(m_format.get(), options.empty() ? nullptr : options.data());
    for (AVDictionary *&option : options)
        av_dict_free(&option);
    checkCancel();
    checkStep();
    if (result < 0)
        fail(errorText(result));
    checkSizes();

    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        AVStream *stream = m_format->streams[i];
        // Only the streams used are demuxed.
        stream->discard = AVDISCARD_ALL;
    }
    // The best video stream, unless that is a cover picture.
    const auto attached
        = [this](int i) { return (m_format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0; };
    m_video = av_find_best_stream(m_format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (m_video >= 0 && attached(m_video)) {
        m_video = -1;
        for (unsigned i = 0; i < m_format->nb_streams && m_video < 0; ++i)
            if (m_format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !attached(int(i)))
                m_video = int(i);
    }
    if (m_video < 0)
        m_video = -1;
    m_audio = av_find_best_stream(m_format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (m_audio < 0)
        m_audio = -1;
    if (m_video >= 0)
        m_format->streams[m_video]->discard = AVDISCARD_DEFAULT;
    if (m_audio >= 0)
        m_format->streams[m_audio]->discard = AVDISCARD_DEFAULT;
    // Time 0 is the first picture, where a clip has pictures: a sound that
    // starts a few ms earlier (an encoder's delay) does not move the frames.
    m_originUs = m_format->start_time == AV_NOPTS_VALUE ? 0 : m_format->start_time;
    if (m_video >= 0 && m_format->streams[m_video]->start_time != AV_NOPTS_VALUE)
        m_originUs = av_rescale_q(
            m_format->streams[m_video]->start_time, m_format->streams[m_video]->time_base, AV_TIME_BASE_Q);
    if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0)
        m_durationMs = m_format->duration / 1000;
}

bool MediaInput::recognises(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    quietLogging();
    // FFmpeg's probes read up to a buffer's padding past its end.
    QByteArray head = file.read(64 * 1024);
    const int size = int(head.size());
    head.append(QByteArray(AVPROBE_PADDING_SIZE, '\0'));
    const QByteArray name = path.toUtf8();
    AVProbeData probe { name.constData(), reinterpret_cast<unsigned char *>(head.data()), size, nullptr };
    int score = AVPROBE_SCORE_RETRY;
    const AVInputFormat *format = av_probe_input_format2(&probe, 1, &score);
    return format && av_match_list(format->name, kDemuxers, ',') > 0;
}

qint64 MediaInput::streamTime(int stream, qint64 ms) const
{
    return av_rescale_q(ms * 1000 + m_originUs, AV_TIME_BASE_Q, m_format->streams[stream]->time_base);
}

qint64 MediaInput::clipMs(int stream, qint64 timestamp) const
{
    // A damaged or hostile stamp may be anything; times are held within a
    // few thousand years, so that sums and sample counts made of them never
    // overflow.
    constexpr qint64 kFarUs = qint64(1) << 56;
    const qint64 us = av_rescale_q(timestamp, m_format->streams[stream]->time_base, AV_TIME_BASE_Q);
    return (std::clamp(us, -kFarUs, kFarUs) - std::clamp(m_originUs, -kFarUs, kFarUs)) / 1000;
}

CodecPtr MediaInput::openDecoder(int stream) const
{
    const AVCodecParameters *par = m_format->streams[stream]->codecpar;
    const AVCodec *codec = avcodec_find_decoder(par->codec_id);
    if (!codec)
        fail(QStringLiteral("Plumora has no decoder for its %1 stream (%2)")
                 .arg(par->codec_type == AVMEDIA_TYPE_VIDEO ? QStringLiteral("video")
                                                            : QStringLiteral("sound"),
                     QString::fromUtf8(avcodec_get_name(par->codec_id))));
    CodecPtr context(avcodec_alloc_context3(codec));
    if (!context)
        throw PlumoraError(QStringLiteral("Not enough memory to decode \"%1\"").arg(m_name));
    int result = avcodec_parameters_to_context(context.get(), par);
    if (result >= 0) {
        context->pkt_timebase = m_format->streams[stream]->time_base;
        context->max_pixels = kClipMaxPixels;
        // Both cores; the pictures are the same with any number of threads.
        context->thread_count = 0;
        result = avcodec_open2(context.get(), codec, nullptr);
    }
    if (result < 0)
        fail(errorText(result));
    return context;
}

bool MediaInput::seek(int stream, qint64 ms)
{
    // Just opened, the data is read from its start anyway.
    if (m_fresh && ms <= 0)
        return true;
    m_fresh = false;
    if (av_seek_frame(m_format.get(), stream, streamTime(stream, ms), AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    if (av_seek_frame(m_format.get(), -1, 0, AVSEEK_FLAG_BYTE) >= 0
        || av_seek_frame(m_format.get(), -1, m_originUs, AVSEEK_FLAG_BACKWARD) >= 0)
        return false;
    fail(QStringLiteral("it cannot be read again from its start"));
}

bool MediaInput::readPacket(AVPacket *packet)
{
    m_fresh = false;
    checkCancel();
    startStep();
    const int result = av_read_frame(m_format.get(), packet);
    checkCancel();
    checkStep();
    if (result == AVERROR_EOF)
        return false;
    if (result < 0) {
        // Damaged data at the end is taken as the end; other errors stop.
        if (result == AVERROR_INVALIDDATA || avio_feof(m_format->pb))
            return false;
        fail(errorText(result));
    }
    return true;
}

void MediaInput::startStep()
{
    m_reads.sinceStep = 0;
    m_reads.overrun = false;
}

void MediaInput::checkStep() const
{
    if (m_reads.overrun)
        fail(QStringLiteral("more than %1 MB of it hold no picture or sound that can be read")
                 .arg(kStepReadBytes >> 20));
}

void MediaInput::checkCancel() const
{
    if (m_cancel && m_cancel->load())
        throw EAbort();
}

void MediaInput::fail(const QString &what) const
{
    throw EInvalidGraphicOperation(QStringLiteral("Cannot read \"%1\": %2").arg(m_name, what));
}

} // namespace plumora::media
