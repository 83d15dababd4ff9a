#include "clipreader.h"

#include "codecs/picturekind.h"
#include "gesture/zqgesture.h"
#include "mediainput.h"
#include "platform/errors.h"
#include "sounddecode.h"

extern "C" {
#include <libavutil/display.h>
}

#include <QFileInfo>
#include <QTransform>

#include <algorithm>
#include <climits>
#include <cmath>

using namespace plumora::media;

namespace {

// Pixels decoded for nothing but reaching a span (the frames between its
// key frame and its start) may come to this many; within the span, 60 a
// tick (240 frames a second) at the clip's size.
constexpr qint64 kLeadInPixels = qint64(1) << 32;
constexpr qint64 kPicturesPerTick = 60;
// A decoder that is full takes a packet once its output is taken out;
// more refusals than this mean it takes no more.
constexpr int kSendTries = 64;

// The turn a clip asks for, in degrees clockwise: 0, 90, 180 or 270.
int rotationOf(const AVStream *stream)
{
    const auto *matrix = reinterpret_cast<const int32_t *>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return 0;
    const double degrees = -av_display_rotation_get(matrix);
    if (std::isnan(degrees))
        return 0;
    const int quarter = int(std::lround(degrees / 90.0));
    return ((quarter % 4) + 4) % 4 * 90;
}

} // namespace

struct TClipReader::Impl
{
    std::unique_ptr<MediaInput> input;
    int stream = -1;
    CodecPtr decoder;
    SwsPtr scaler;
    QSize stored; // the pictures' stored size
    QSize shown; // as shown: aspect ratio applied, turned
    int rotation = 0;
    qint64 frameMs = 40; // how long one picture shows, from the frame rate

    void open()
    {
        stream = input->videoStream();
        if (stream < 0)
            input->fail(input->audioStream() >= 0 ? QStringLiteral("it holds no pictures, only sound")
                                                  : QStringLiteral("it holds no pictures"));
        const AVStream *video = input->format()->streams[stream];
        stored = QSize(video->codecpar->width, video->codecpar->height);
        if (stored.width() < 1 || stored.height() < 1)
            input->fail(QStringLiteral("its pictures have no size"));
        const AVRational aspect
            = av_guess_sample_aspect_ratio(input->format(), const_cast<AVStream *>(video), nullptr);
        int width = stored.width();
        if (aspect.num > 0 && aspect.den > 0 && aspect.num != aspect.den)
            width = int(std::clamp<qint64>(qint64(width) * aspect.num / aspect.den, 1, kClipMaxSide));
        rotation = rotationOf(video);
        shown = rotation % 180 ? QSize(stored.height(), width) : QSize(width, stored.height());
        const AVRational rate = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            frameMs = std::clamp<qint64>(qint64(rate.den) * 1000 / rate.num, 1, 10000);
    }

    // Calls visit with every picture decoded from the key frame at or before
    // startMs on, with its time in ms, until visit returns false or the
    // pictures end. Refused past budget decoded pixels.
    template <typename Visit> void walk(qint64 startMs, qint64 budget, Visit &&visit)
    {
        if (decoder)
            avcodec_flush_buffers(decoder.get());
        else
            decoder = input->openDecoder(stream);
        input->seek(stream, startMs);
        PacketPtr packet = newPacket();
        FramePtr frame = newFrame();
        qint64 pixels = 0;
        qint64 lastMs = LLONG_MIN;
        const auto receive = [&] {
            while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
                pixels += qint64(frame->width) * frame->height;
                if (pixels > budget)
                    input->fail(
                        QStringLiteral("it holds more pictures around %1 than Plumora decodes (more than "
                                       "240 a second, or far from a key frame)")
                            .arg(secondsText(startMs)));
                const qint64 stamp = frame->best_effort_timestamp;
                qint64 ms = stamp == AV_NOPTS_VALUE ? (lastMs == LLONG_MIN ? startMs : lastMs + frameMs)
                                                    : input->clipMs(stream, stamp);
                ms = std::max(ms, lastMs);
                lastMs = ms;
                const bool more = visit(frame.get(), ms);
                av_frame_unref(frame.get());
                if (!more)
                    return false;
            }
            return true;
        };
        while (input->readPacket(packet.get())) {
            // A full decoder (its threads all busy) takes the packet once
            // its pictures are out; a damaged packet is skipped.
            bool more = true;
            for (int tries = 0; more && packet->stream_index == stream && tries < kSendTries
                 && avcodec_send_packet(decoder.get(), packet.get()) == AVERROR(EAGAIN);
                 ++tries)
                more = receive();
            av_packet_unref(packet.get());
            if (!more || !receive())
                return;
        }
        avcodec_send_packet(decoder.get(), nullptr);
        receive();
    }

    // The clip's length, as far as it is known.
    qint64 lengthMs() const { return input->durationMs() > 0 ? input->durationMs() : LLONG_MAX; }

    qint64 budgetFor(int ticks) const
    {
        return kLeadInPixels + qint64(ticks) * kPicturesPerTick * stored.width() * stored.height();
    }

    // The decoded picture at size (as shown), RGB32.
    QImage picture(const AVFrame *frame, QSize size)
    {
        const QSize scaled = rotation % 180 ? size.transposed() : size;
        const bool smaller = scaled.width() < frame->width || scaled.height() < frame->height;
        scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
            AVPixelFormat(frame->format), scaled.width(), scaled.height(), AV_PIX_FMT_RGB32,
            smaller ? SWS_AREA : SWS_BICUBIC, nullptr, nullptr, nullptr));
        QImage image(scaled, QImage::Format_RGB32);
        if (!scaler || image.isNull())
            input->fail(QStringLiteral("its pictures cannot be converted"));
        uint8_t *planes[4] = { image.bits(), nullptr, nullptr, nullptr };
        int strides[4] = { int(image.bytesPerLine()), 0, 0, 0 };
        sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
        // Opaque whatever the clip's alpha: a gesture's frames have none.
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] |= 0xFF000000u;
        }
        if (rotation)
            image = image.transformed(QTransform().rotate(rotation));
        return image;
    }

    std::vector<QImage> framesAtTicks(
        TClipSpan span, int ticks, const std::function<void(int)> &progress, qint64 *endedAtMs)
    {
        const QSize size = FitToPreview(shown.width(), shown.height());
        std::vector<QImage> frames;
        frames.reserve(std::size_t(ticks));
        const auto tickMs = [&](std::size_t k) { return span.StartMs + qint64(k) * kGestureFrameMs; };
        FramePtr held = newFrame();
        bool holding = false;
        qint64 heldMs = 0;
        walk(span.StartMs, budgetFor(ticks), [&](AVFrame *frame, qint64 ms) {
            // Every tick before this picture shows the one before it (or this
            // one, where the span starts before the first picture).
            while (int(frames.size()) < ticks && tickMs(frames.size()) < ms) {
                frames.push_back(picture(holding ? held.get() : frame, size));
                if (progress)
                    progress(int(frames.size() * 100 / std::size_t(ticks)));
            }
            if (int(frames.size()) >= ticks)
                return false;
            av_frame_unref(held.get());
            av_frame_move_ref(held.get(), frame);
            holding = true;
            heldMs = ms;
            return true;
        });
        if (endedAtMs)
            *endedAtMs = -1;
        if (!holding && frames.empty())
            input->fail(QStringLiteral("no picture of it can be decoded"));
        // Where the pictures ran out before the span's last tick, the last
        // one shows until the span ends, unless they stop well before the
        // clip says it ends (a cut-off file). It shows for one tick at
        // least, even when the span starts after it (a clip whose sound
        // goes on after its pictures, stamps that do not reach the span).
        const qint64 picturesEnd = std::max(heldMs + frameMs, span.StartMs + kGestureFrameMs);
        const bool cutOff
            = int(frames.size()) < ticks && picturesEnd + 500 < std::min(span.EndMs, lengthMs());
        while (holding && int(frames.size()) < ticks && (!cutOff || tickMs(frames.size()) < picturesEnd))
            frames.push_back(picture(held.get(), size));
        if (cutOff && endedAtMs)
            *endedAtMs = picturesEnd;
        return frames;
    }
};

TAnimationSource AnimationSourceOf(const QString &path)
{
    if (PictureKindFromContent(path) != TPictureKind::Unknown)
        return TAnimationSource::Picture;
    return MediaInput::recognises(path) ? TAnimationSource::Clip : TAnimationSource::Picture;
}

TClipReader::TClipReader(const QString &path, const std::atomic<bool> *cancel) : m(std::make_unique<Impl>())
{
    m->input = std::make_unique<MediaInput>(path, cancel);
    m->open();
}

TClipReader::TClipReader(const QByteArray &bytes, const QString &name, const std::atomic<bool> *cancel)
    : m(std::make_unique<Impl>())
{
    m->input = std::make_unique<MediaInput>(bytes, name, cancel);
    m->open();
}

TClipReader::~TClipReader() = default;

const QString &TClipReader::Name() const
{
    return m->input->name();
}

qint64 TClipReader::DurationMs() const
{
    return m->input->durationMs();
}

QSize TClipReader::FrameSize() const
{
    return m->shown;
}

QSize TClipReader::TickFrameSize() const
{
    return FitToPreview(m->shown.width(), m->shown.height());
}

bool TClipReader::HasSound() const
{
    return m->input->audioStream() >= 0;
}

QString TClipReader::Description() const
{
    const AVFormatContext *format = m->input->format();
    QStringList parts { QString::fromUtf8(format->iformat->name).section(QLatin1Char(','), 0, 0) };
    for (const int stream : { m->stream, m->input->audioStream() })
        if (stream >= 0)
            parts << QString::fromUtf8(avcodec_get_name(format->streams[stream]->codecpar->codec_id));
    return parts.join(QStringLiteral(", "));
}

TClipSpan TClipReader::Normalized(TClipSpan span) const
{
    const qint64 duration = DurationMs();
    span.StartMs = std::max<qint64>(0, span.StartMs);
    if (duration > 0) {
        span.StartMs = std::min(span.StartMs, duration - 1);
        if (span.EndMs < 0 || span.EndMs > duration)
            span.EndMs = duration;
    } else if (span.EndMs < 0) {
        span.EndMs = span.StartMs + qint64(kMaxGestureFrames) * kGestureFrameMs;
    }
    span.EndMs = std::max(span.EndMs, span.StartMs + 1);
    return span;
}

int TClipReader::TickCount(TClipSpan span) const
{
    span = Normalized(span);
    // To the nearest tick: a clip of 10.007 s (its sound a little longer
    // than its pictures) gives 40 frames, as one of 9.9 s does.
    const qint64 ticks = (span.EndMs - span.StartMs + kGestureFrameMs / 2) / kGestureFrameMs;
    return int(std::clamp<qint64>(ticks, 1, INT_MAX));
}

QImage TClipReader::FrameAt(qint64 ms, QSize bounds)
{
    QSize size = m->shown;
    if (bounds.isValid() && !bounds.isEmpty())
        size = size.scaled(bounds.boundedTo(QSize(kClipMaxSide, kClipMaxSide)), Qt::KeepAspectRatio)
                   .expandedTo(QSize(1, 1));
    FramePtr held = newFrame();
    bool holding = false;
    QImage shown;
    m->walk(std::max<qint64>(0, ms), m->budgetFor(1), [&](AVFrame *frame, qint64 at) {
        if (at > ms) {
            shown = m->picture(holding ? held.get() : frame, size);
            return false;
        }
        av_frame_unref(held.get());
        av_frame_move_ref(held.get(), frame);
        holding = true;
        return true;
    });
    if (shown.isNull() && holding)
        shown = m->picture(held.get(), size);
    if (shown.isNull())
        m->input->fail(QStringLiteral("no picture of it can be decoded"));
    return shown;
}

std::vector<QImage> TClipReader::FramesAtTicks(
    TClipSpan span, const TImportProgress &progress, qint64 *endedAtMs)
{
    span = Normalized(span);
    ProgressScope scope(progress);
    return m->framesAtTicks(
        span, std::min(TickCount(span), kMaxGestureFrames), scope.range(0, 100), endedAtMs);
}

TFittedSound TClipReader::SoundOver(TClipSpan span, qint64 maxBytes, const TImportProgress &progress)
{
    span = Normalized(span);
    ProgressScope scope(progress);
    const QString what
        = QStringLiteral("The sound of \"%1\" from %2 to %3")
              .arg(QFileInfo(Name()).fileName(), secondsText(span.StartMs), secondsText(span.EndMs));
    return fitSound(*m->input, what, span.StartMs, span.EndMs, maxBytes, scope.range(0, 100));
}

std::optional<TClipImport> ImportClip(TClipReader &reader, TClipSpan span,
    const TFrameLimitQuestion &askLimit, bool withSound, const TImportProgress &progress)
{
    TClipImport result;
    result.Span = reader.Normalized(span);
    const int ticks = reader.TickCount(result.Span);
    const int holds = FramesAGestureHolds(reader.TickFrameSize().width());
    if (ticks > holds) {
        if (!askLimit)
            throw PlumoraError(QStringLiteral("\"%1\": %2").arg(reader.Name(), FrameLimitText(ticks, holds)));
        if (!askLimit(ticks, holds))
            return std::nullopt;
        result.Span.EndMs = result.Span.StartMs + qint64(holds) * kGestureFrameMs;
    }
    const bool takeSound = withSound && reader.HasSound();
    ProgressScope scope(progress);
    std::vector<QImage> frames = reader.m->framesAtTicks(result.Span, reader.TickCount(result.Span),
        scope.range(0, takeSound ? 80 : 100), &result.PicturesEndMs);
    const qint64 shownMs = qint64(frames.size()) * kGestureFrameMs;
    result.Animation = AnimationFromTicks(std::move(frames), reader.FrameSize());
    if (takeSound) {
        // The sound lasts as long as the frames show.
        const QString what = QStringLiteral("The sound of \"%1\" from %2 to %3")
                                 .arg(QFileInfo(reader.Name()).fileName(), secondsText(result.Span.StartMs),
                                     secondsText(result.Span.StartMs + shownMs));
        try {
            result.Sound = fitSound(*reader.m->input, what, result.Span.StartMs,
                result.Span.StartMs + shownMs, kMaxBlockBytes, scope.range(80, 100));
        } catch (const EAbort &) {
            throw;
        } catch (const PlumoraError &error) {
            result.SoundRefusal = error.message();
        }
    }
    return result;
}
