// Importing the span of a clip (the picture at each 250 ms tick, scaled as
// the import scales it) against decoding the same span with FFmpeg's
// libraries alone, with the same decoder settings: what the import adds to
// the decoding it cannot avoid. Names are Clip/<case>/<ours|ffmpeg>.
//
// The clip is written by FFmpeg's H.264 encoder at start-up: 10 s of
// 640 x 360 pictures at 25 a second, gradients sliding over grain, so every
// picture is a real one to decode.
#include "media/clipreader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr int kRate = 25;
constexpr int kSeconds = 10;

// Writes the clip; empty when FFmpeg cannot.
QString writeClip(const QString &path)
{
    AVFormatContext *format = nullptr;
    avformat_alloc_output_context2(&format, nullptr, "mp4", path.toUtf8().constData());
    const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
    if (!format || !codec)
        return {};
    AVCodecContext *encoder = avcodec_alloc_context3(codec);
    encoder->width = kWidth;
    encoder->height = kHeight;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->time_base = { 1, kRate };
    encoder->framerate = { kRate, 1 };
    encoder->gop_size = 2 * kRate;
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "preset", "veryfast", 0);
    av_dict_set(&options, "crf", "23", 0);
    AVStream *stream = avformat_new_stream(format, nullptr);
    bool ok = avcodec_open2(encoder, codec, &options) >= 0
        && avcodec_parameters_from_context(stream->codecpar, encoder) >= 0
        && avio_open(&format->pb, path.toUtf8().constData(), AVIO_FLAG_WRITE) >= 0;
    av_dict_free(&options);
    stream->time_base = encoder->time_base;
    ok = ok && avformat_write_header(format, nullptr) >= 0;
    AVFrame *frame = av_frame_alloc();
    AVPacket *packet = av_packet_alloc();
    std::uint32_t noise = 7;
    const auto drain = [&] {
        while (avcodec_receive_packet(encoder, packet) == 0) {
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = 0;
            ok = ok && av_interleaved_write_frame(format, packet) >= 0;
        }
    };
    for (int k = 0; ok && k < kRate * kSeconds; ++k) {
        frame->format = encoder->pix_fmt;
        frame->width = kWidth;
        frame->height = kHeight;
        av_frame_get_buffer(frame, 0);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                noise = noise * 1664525u + 1013904223u;
                frame->data[0][y * frame->linesize[0] + x]
                    = std::uint8_t(((x + 3 * k) ^ (y + k)) / 4 + int(noise >> 29) * 6 + 30);
            }
        for (int p = 1; p < 3; ++p)
            for (int y = 0; y < kHeight / 2; ++y)
                for (int x = 0; x < kWidth / 2; ++x)
                    frame->data[p][y * frame->linesize[p] + x] = std::uint8_t(p == 1 ? x + k : y + 2 * k);
        frame->pts = k;
        ok = avcodec_send_frame(encoder, frame) >= 0;
        drain();
        av_frame_unref(frame);
    }
    avcodec_send_frame(encoder, nullptr);
    drain();
    ok = ok && av_write_trailer(format) >= 0;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&encoder);
    avio_closep(&format->pb);
    avformat_free_context(format);
    return ok ? path : QString();
}

const QString &clipPath()
{
    static QTemporaryDir folder;
    static const QString path = [] {
        const QString written = writeClip(folder.filePath(QStringLiteral("clip640.mp4")));
        std::fprintf(stderr, "clip640   %d pictures of %d x %d, H.264 in MP4, %d s%s\n", kRate * kSeconds,
            kWidth, kHeight, kSeconds, written.isEmpty() ? " (could not be written)" : "");
        return written;
    }();
    return path;
}

void clipOurs(benchmark::State &state)
{
    const QString &path = clipPath();
    if (path.isEmpty()) {
        state.SkipWithError("the clip could not be written (no libx264?)");
        return;
    }
    std::size_t frames = 0;
    for (auto _ : state) {
        TClipReader reader(path);
        frames = reader.FramesAtTicks({ 0, kSeconds * 1000 }).size();
        benchmark::DoNotOptimize(frames);
    }
    if (frames != std::size_t(kSeconds * 4))
        state.SkipWithError("the import gave another number of frames");
    state.SetItemsProcessed(state.iterations() * kRate * kSeconds);
}

// The same span decoded picture by picture and nothing else.
void clipPlain(benchmark::State &state)
{
    const QString &path = clipPath();
    if (path.isEmpty()) {
        state.SkipWithError("the clip could not be written (no libx264?)");
        return;
    }
    int pictures = 0;
    for (auto _ : state) {
        AVFormatContext *format = nullptr;
        avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr);
        avformat_find_stream_info(format, nullptr);
        const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const AVCodec *codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
        AVCodecContext *decoder = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar);
        decoder->thread_count = 0; // as the import decodes
        avcodec_open2(decoder, codec, nullptr);
        AVPacket *packet = av_packet_alloc();
        AVFrame *frame = av_frame_alloc();
        pictures = 0;
        const auto receive = [&] {
            while (avcodec_receive_frame(decoder, frame) == 0) {
                ++pictures;
                av_frame_unref(frame);
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            // A full decoder takes the packet once its pictures are out.
            while (packet->stream_index == stream && avcodec_send_packet(decoder, packet) == AVERROR(EAGAIN))
                receive();
            av_packet_unref(packet);
            receive();
        }
        avcodec_send_packet(decoder, nullptr);
        receive();
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
        benchmark::DoNotOptimize(pictures);
    }
    // An MP4's edit list may hide the encoder's first picture.
    if (pictures < kRate * kSeconds - 1 || pictures > kRate * kSeconds)
        state.SkipWithError(("the plain decode gave " + std::to_string(pictures) + " pictures").c_str());
    state.SetItemsProcessed(state.iterations() * kRate * kSeconds);
}

[[maybe_unused]] const bool registered = [] {
    // The decoders work on threads of their own: the time that counts is
    // the time until the pictures are there.
    benchmark::RegisterBenchmark("Clip/span10s/ours", clipOurs)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("Clip/span10s/ffmpeg", clipPlain)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

} // namespace
