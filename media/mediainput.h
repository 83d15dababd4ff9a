#pragma once
// FFmpeg's demuxers and decoders as the rest of media/ uses them: owning
// handles, a file (or bytes) opened through our own reads, the streams
// found, and FFmpeg's errors turned into the program's. Internal to media/:
// the public headers of media/ show no FFmpeg type.
//
// Only a plain file is opened, and only through the reads given here: the
// demuxers are limited to the container formats of clips and sounds, and
// none of them may open another file or address (a playlist, a reference
// to an external track), so reading a file never reads anything else.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <QByteArray>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QIODevice;
enum class TProgressStage;

namespace plumora::media {

// Reports an operation's progress to a caller's function taking (stage,
// percent), as the import's progress does: Starting once, Running with a
// rising percentage, Ending once however the operation ends.
class ProgressScope
{
public:
    using Function = std::function<void(TProgressStage, int)>;
    explicit ProgressScope(const Function &progress);
    ~ProgressScope();
    ProgressScope(const ProgressScope &) = delete;
    ProgressScope &operator=(const ProgressScope &) = delete;

    // Step done of total within the percentage range [from, to).
    void report(int from, int to, qint64 done, qint64 total);
    // The same as a function of a percentage 0..100 of that range.
    std::function<void(int)> range(int from, int to);

private:
    const Function &m_progress;
    int m_last = -1;
};

struct FormatDeleter
{
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
struct CodecDeleter
{
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
struct FrameDeleter
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct PacketDeleter
{
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct SwsDeleter
{
    void operator()(SwsContext *context) const { sws_freeContext(context); }
};
struct IoDeleter
{
    void operator()(AVIOContext *context) const
    {
        av_freep(&context->buffer);
        avio_context_free(&context);
    }
};
struct SwrDeleter
{
    void operator()(SwrContext *context) const { swr_free(&context); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;

FramePtr newFrame();
PacketPtr newPacket();

// FFmpeg's words for an error code, with the last error FFmpeg logged when
// it says more ("moov atom not found").
QString errorText(int code);

// The largest picture a clip may have: each side at most kClipMaxSide, and
// at most kClipMaxPixels pixels (4096 x 4096, which takes 4K video). A
// header stating more is refused before anything is decoded, and decoders
// refuse to make larger pictures whatever the stream says later.
inline constexpr int kClipMaxSide = 8192;
inline constexpr qint64 kClipMaxPixels = qint64(4096) * 4096;

// The file under a demuxer, and what its current step (the header, the
// probe of the streams, one packet, a seek) has read of it.
struct DeviceReads
{
    QIODevice *device = nullptr;
    qint64 sinceStep = 0;
    bool overrun = false; // the step read more than a step may
};

class MediaInput
{
public:
    // The file at path, or the bytes (name is used in messages only). Raises
    // PlumoraError naming the file when it is not a plain file, cannot be
    // read, or is no container FFmpeg's allowed demuxers read.
    explicit MediaInput(const QString &path, const std::atomic<bool> *cancel = nullptr);
    MediaInput(const QByteArray &bytes, const QString &name, const std::atomic<bool> *cancel = nullptr);
    ~MediaInput();
    MediaInput(const MediaInput &) = delete;

    // True when one of the allowed demuxers recognises the file's first
    // bytes with confidence (its name alone is not enough): the file is a
    // clip or a sound, whether or not it reads.
    static bool recognises(const QString &path);
    MediaInput &operator=(const MediaInput &) = delete;

    AVFormatContext *format() const { return m_format.get(); }
    const QString &name() const { return m_name; }
    // The streams used: the best video stream (an attached cover picture is
    // not one) and the best audio stream; -1 when there is none.
    int videoStream() const { return m_video; }
    int audioStream() const { return m_audio; }
    // The container's length, or -1 when it does not say.
    qint64 durationMs() const { return m_durationMs; }
    // The time in a stream's time base of a time in ms from the start of the
    // clip (its first picture; without pictures, the container's first
    // timestamp), and back.
    qint64 streamTime(int stream, qint64 ms) const;
    qint64 clipMs(int stream, qint64 timestamp) const;

    // A decoder for the stream, its pictures limited to kClipMaxPixels.
    CodecPtr openDecoder(int stream) const;
    // Goes to the latest key frame of the stream at or before ms (to the
    // start when there is none). Where the container cannot seek, goes back
    // to the start and returns false: the caller reads on to ms.
    bool seek(int stream, qint64 ms);
    // The next packet, or false at the end of the data. Raises EAbort when
    // cancelled, PlumoraError on a read error.
    bool readPacket(AVPacket *packet);

    // Raises EAbort when the caller's cancel flag is set.
    void checkCancel() const;
    // Raises PlumoraError: Cannot read "<name>": <what>
    [[noreturn]] void fail(const QString &what) const;

private:
    void open(std::unique_ptr<QIODevice> device);
    // Starts a step of the demuxer's reading, and raises PlumoraError when
    // the step that ends read more than any clip or sound needs for one.
    void startStep();
    void checkStep() const;

    QString m_name;
    const std::atomic<bool> *m_cancel = nullptr;
    // Destroyed in reverse order: the demuxer before its reads, the reads
    // before the file.
    std::unique_ptr<QIODevice> m_device;
    DeviceReads m_reads;
    std::unique_ptr<AVIOContext, IoDeleter> m_io;
    std::unique_ptr<AVFormatContext, FormatDeleter> m_format;
    bool m_fresh = true; // nothing read since the streams were found
    int m_video = -1;
    int m_audio = -1;
    qint64 m_durationMs = -1;
    qint64 m_originUs = 0; // the clip's time 0, in microseconds
};

} // namespace plumora::media
