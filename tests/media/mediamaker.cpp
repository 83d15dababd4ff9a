#include "mediamaker.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <QMap>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace mediatest {

namespace {

// Everything the writer holds, freed however it ends.
struct Writer
{
    AVFormatContext *format = nullptr;
    AVCodecContext *video = nullptr, *audio = nullptr;
    AVStream *videoStream = nullptr, *audioStream = nullptr;
    SwsContext *sws = nullptr;
    SwrContext *swr = nullptr;
    AVPacket *packet = av_packet_alloc();
    int pictureMs = 100; // in the pictures' time base, ms

    ~Writer()
    {
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        sws_freeContext(sws);
        swr_free(&swr);
        av_packet_free(&packet);
        if (format && format->pb && !(format->oformat->flags & AVFMT_NOFILE))
            avio_closep(&format->pb);
        avformat_free_context(format);
    }

    bool send(AVCodecContext *codec, AVStream *stream, AVFrame *frame)
    {
        if (avcodec_send_frame(codec, frame) < 0)
            return false;
        while (avcodec_receive_packet(codec, packet) == 0) {
            // Every picture shows until the next, the last one too.
            if (packet->duration == 0 && codec->codec_type == AVMEDIA_TYPE_VIDEO)
                packet->duration = pictureMs;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0)
                return false;
        }
        return true;
    }
};

AVCodecContext *openEncoder(Writer &w, const char *name, AVStream *&stream,
    const std::function<void(AVCodecContext *)> &setUp, AVDictionary *options = nullptr)
{
    const AVCodec *codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        ADD_FAILURE() << "FFmpeg has no encoder " << name;
        return nullptr;
    }
    AVCodecContext *context = avcodec_alloc_context3(codec);
    stream = avformat_new_stream(w.format, nullptr);
    setUp(context);
    if (w.format->oformat->flags & AVFMT_GLOBALHEADER)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int opened = avcodec_open2(context, codec, &options);
    av_dict_free(&options);
    if (opened < 0 || avcodec_parameters_from_context(stream->codecpar, context) < 0) {
        ADD_FAILURE() << "cannot open encoder " << name;
        avcodec_free_context(&context);
        return nullptr;
    }
    stream->time_base = context->time_base;
    return context;
}

} // namespace

int greyOf(int frame)
{
    return 16 + 18 * (frame % 12);
}

bool writeClip(const QString &path, const ClipRecipe &recipe)
{
    Writer w;
    w.pictureMs = 1000 / recipe.fps;
    if (avformat_alloc_output_context2(&w.format, nullptr, recipe.muxer, path.toUtf8().constData()) < 0) {
        ADD_FAILURE() << "no muxer " << recipe.muxer;
        return false;
    }
    if (recipe.video) {
        AVDictionary *options = nullptr;
        if (std::strcmp(recipe.video, "libx264") == 0) {
            av_dict_set(&options, "preset", "ultrafast", 0);
        } else if (std::strncmp(recipe.video, "libvpx", 6) == 0) {
            av_dict_set(&options, "deadline", "realtime", 0);
            av_dict_set(&options, "cpu-used", "8", 0);
        }
        w.video = openEncoder(
            w, recipe.video, w.videoStream,
            [&](AVCodecContext *c) {
                c->width = recipe.size.width();
                c->height = recipe.size.height();
                const AVCodec *codec = c->codec;
                c->pix_fmt = codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
                for (const AVPixelFormat *f = codec->pix_fmts; f && *f != AV_PIX_FMT_NONE; ++f)
                    if (*f == AV_PIX_FMT_YUV420P)
                        c->pix_fmt = AV_PIX_FMT_YUV420P;
                c->time_base = { 1, 1000 }; // the animated WebP encoder takes ms only
                c->framerate = { recipe.fps, 1 };
                c->gop_size = 2 * recipe.fps; // a key frame every 2 s: seeks land before a span
                c->max_b_frames = 2;
                c->bit_rate = 400000;
            },
            options);
        if (!w.video)
            return false;
        w.sws = sws_getContext(recipe.size.width(), recipe.size.height(), AV_PIX_FMT_YUV420P,
            recipe.size.width(), recipe.size.height(), w.video->pix_fmt, SWS_POINT, nullptr, nullptr,
            nullptr);
    }
    if (recipe.audio) {
        w.audio = openEncoder(w, recipe.audio, w.audioStream, [&](AVCodecContext *c) {
            c->sample_rate = recipe.rate;
            av_channel_layout_default(&c->ch_layout, recipe.channels);
            c->sample_fmt = c->codec->sample_fmts ? c->codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
            c->bit_rate = 96000;
            c->time_base = { 1, recipe.rate };
        });
        if (!w.audio)
            return false;
        AVChannelLayout layout {};
        av_channel_layout_default(&layout, recipe.channels);
        swr_alloc_set_opts2(&w.swr, &w.audio->ch_layout, w.audio->sample_fmt, recipe.rate, &layout,
            AV_SAMPLE_FMT_FLT, recipe.rate, 0, nullptr);
        swr_init(w.swr);
    }
    if (!(w.format->oformat->flags & AVFMT_NOFILE)
        && avio_open(&w.format->pb, path.toUtf8().constData(), AVIO_FLAG_WRITE) < 0) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return false;
    }
    if (avformat_write_header(w.format, nullptr) < 0) {
        ADD_FAILURE() << "cannot write the header of " << path.toStdString();
        return false;
    }

    const qint64 pictures = recipe.video ? qint64(std::llround(recipe.seconds * recipe.fps)) : 0;
    const qint64 lastPts = recipe.lastPictureAt > 0 ? qint64(std::llround(recipe.lastPictureAt * 1000)) : -1;
    const qint64 samples = recipe.audio ? qint64(std::llround(recipe.seconds * recipe.rate)) : 0;
    const int chunk = w.audio && w.audio->frame_size > 0 ? w.audio->frame_size : 1024;
    AVFrame *yuv = av_frame_alloc();
    AVFrame *frame = av_frame_alloc();
    qint64 picture = 0, sample = 0;
    bool ok = true;
    while (ok && (picture < pictures || sample < samples)) {
        const bool pictureNext
            = picture < pictures && (sample >= samples || picture * recipe.rate <= sample * recipe.fps);
        if (pictureNext) {
            av_frame_unref(yuv);
            yuv->format = AV_PIX_FMT_YUV420P;
            yuv->width = recipe.size.width();
            yuv->height = recipe.size.height();
            av_frame_get_buffer(yuv, 0);
            const int grey = greyOf(int(picture));
            for (int y = 0; y < yuv->height; ++y)
                for (int x = 0; x < yuv->width; ++x) {
                    // A bright block moves along the top.
                    const bool block = y < 16 && x >= (picture * 4) % (yuv->width - 16)
                        && x < (picture * 4) % (yuv->width - 16) + 16;
                    yuv->data[0][y * yuv->linesize[0] + x] = uint8_t(block ? 235 : grey);
                }
            for (int p = 1; p < 3; ++p)
                for (int y = 0; y < yuv->height / 2; ++y)
                    std::fill_n(yuv->data[p] + y * yuv->linesize[p], yuv->width / 2, uint8_t(128));
            av_frame_unref(frame);
            frame->format = w.video->pix_fmt;
            frame->width = yuv->width;
            frame->height = yuv->height;
            av_frame_get_buffer(frame, 0);
            sws_scale(w.sws, yuv->data, yuv->linesize, 0, yuv->height, frame->data, frame->linesize);
            frame->pts = picture + 1 == pictures && lastPts > 0 ? lastPts : picture * 1000 / recipe.fps;
            ++picture;
            ok = w.send(w.video, w.videoStream, frame);
        } else {
            const int count = int(std::min<qint64>(chunk, samples - sample));
            std::vector<float> tone(std::size_t(count) * std::size_t(recipe.channels));
            for (int i = 0; i < count; ++i)
                for (int c = 0; c < recipe.channels; ++c)
                    tone[std::size_t(i * recipe.channels + c)]
                        = float(0.5 * std::sin(2 * M_PI * recipe.toneHz * double(sample + i) / recipe.rate));
            av_frame_unref(frame);
            frame->format = w.audio->sample_fmt;
            // A short last frame where the encoder takes one, so the sound
            // lasts exactly as long as asked.
            const bool shortLast = w.audio->codec->capabilities
                & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
            frame->nb_samples = w.audio->frame_size > 0 && !shortLast ? chunk : count;
            frame->sample_rate = recipe.rate;
            av_channel_layout_copy(&frame->ch_layout, &w.audio->ch_layout);
            av_frame_get_buffer(frame, 0);
            av_samples_set_silence(frame->data, 0, frame->nb_samples, recipe.channels, w.audio->sample_fmt);
            const auto *in = reinterpret_cast<const uint8_t *>(tone.data());
            swr_convert(w.swr, frame->data, count, &in, count);
            frame->pts = sample;
            sample += count;
            ok = w.send(w.audio, w.audioStream, frame);
        }
    }
    if (ok && w.video)
        ok = w.send(w.video, w.videoStream, nullptr);
    if (ok && w.audio)
        ok = w.send(w.audio, w.audioStream, nullptr);
    av_frame_free(&yuv);
    av_frame_free(&frame);
    ok = ok && av_write_trailer(w.format) >= 0;
    EXPECT_TRUE(ok) << "cannot write " << path.toStdString();
    return ok;
}

bool writeHugeClip(const QString &path, QSize size)
{
    Writer w;
    avformat_alloc_output_context2(&w.format, nullptr, "matroska", path.toUtf8().constData());
    w.video = openEncoder(w, "mjpeg", w.videoStream, [](AVCodecContext *c) {
        c->width = 16;
        c->height = 16;
        c->pix_fmt = AV_PIX_FMT_YUVJ420P;
        c->time_base = { 1, 10 };
    });
    if (!w.video)
        return false;
    // The container states the huge size; the picture itself is small.
    w.videoStream->codecpar->width = size.width();
    w.videoStream->codecpar->height = size.height();
    if (avio_open(&w.format->pb, path.toUtf8().constData(), AVIO_FLAG_WRITE) < 0
        || avformat_write_header(w.format, nullptr) < 0)
        return false;
    AVFrame *frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUVJ420P;
    frame->width = frame->height = 16;
    av_frame_get_buffer(frame, 0);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < (p ? 8 : 16); ++y)
            std::fill_n(frame->data[p] + y * frame->linesize[p], p ? 8 : 16, uint8_t(128));
    frame->pts = 0;
    const bool ok = w.send(w.video, w.videoStream, frame) && w.send(w.video, w.videoStream, nullptr)
        && av_write_trailer(w.format) >= 0;
    av_frame_free(&frame);
    return ok;
}

QString media(const QString &name)
{
    static QTemporaryDir folder;
    static QMap<QString, QString> made;
    if (made.contains(name))
        return made.value(name);
    const QString path = folder.filePath(name);
    const auto clip
        = [](const char *muxer, const char *video, const char *audio, double seconds, int rate = 48000) {
              ClipRecipe recipe;
              recipe.muxer = muxer;
              recipe.video = video;
              recipe.audio = audio;
              recipe.seconds = seconds;
              recipe.rate = rate;
              return recipe;
          };
    const auto sound = [&](const char *muxer, const char *audio, double seconds, int rate, int channels) {
        ClipRecipe recipe = clip(muxer, nullptr, audio, seconds, rate);
        recipe.channels = channels;
        return recipe;
    };
    const QMap<QString, ClipRecipe> recipes = {
        { "tone.mp3", sound("mp3", "libmp3lame", 3, 44100, 2) },
        { "tone.ogg", sound("ogg", "libvorbis", 5, 44100, 1) },
        { "tone.opus", sound("ogg", "libopus", 10, 48000, 2) },
        { "tone.flac", sound("flac", "flac", 2, 22050, 1) },
        { "long.wav", sound("wav", "pcm_s16le", 12, 44100, 2) },
        { "small.wav", sound("wav", "pcm_u8", 1, 8000, 1) },
        { "twenty.mp3", sound("mp3", "libmp3lame", 20, 44100, 1) },
        { "clip.webm", clip("webm", "libvpx-vp9", "libopus", 10) },
        { "twenty.webm", clip("webm", "libvpx-vp9", "libopus", 20) },
        { "clip.mp4", clip("mp4", "libx264", "aac", 10, 44100) },
        { "clip.mkv", clip("matroska", "libvpx-vp9", nullptr, 6) },
        { "clip.mov", clip("mov", "libx264", "aac", 4, 44100) },
        { "anim.webp", clip("webp", "libwebp_anim", nullptr, 3) },
        { "tenhours.webm", clip("webm", "libvpx-vp9", nullptr, 0.5) },
    };
    bool ok = false;
    if (name == QLatin1String("huge.mkv")) {
        ok = writeHugeClip(path, QSize(20000, 20000));
    } else if (recipes.contains(name)) {
        ClipRecipe recipe = recipes.value(name);
        if (name == QLatin1String("tenhours.webm"))
            recipe.lastPictureAt = 36000;
        ok = writeClip(path, recipe);
    } else {
        ADD_FAILURE() << "no test medium " << name.toStdString();
    }
    made.insert(name, ok ? path : QString());
    return made.value(name);
}

} // namespace mediatest
