// plumora-cli with media of every kind: each becomes a gesture that saves,
// bad media end in a message, and exports read back with other decoders
// (giflib for GIFs, FFmpeg's demuxers for videos).
#include "cli/cliprocess.h"
#include "codecs/gifimage.h"
#include "gesture/zqgesture.h"
#include "media/mediamaker.h"
#include "support/giflibdecode.h"
#include "support/testdata.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using clitest::runCli;

std::unique_ptr<TZQGesture> openGesture(const QString &path)
{
    auto gesture = std::make_unique<TZQGesture>();
    gesture->LoadFromFile(path);
    return gesture;
}

QString copyOf(const QString &from, const QString &to)
{
    QFile::remove(to);
    EXPECT_TRUE(QFile::copy(from, to));
    return to;
}

TEST(MediaCommandLine, EveryMediumBecomesAGesture)
{
    QTemporaryDir dir;
    QImage picture(120, 80, QImage::Format_RGB32);
    picture.fill(qRgb(30, 140, 200));
    ASSERT_TRUE(picture.save(dir.filePath("picture.png")));
    ASSERT_TRUE(picture.save(dir.filePath("picture.webp"), "webp"));
    const QString png = dir.filePath("picture.png");
    struct Row
    {
        QStringList args; // after "create OUT"
        int frames; // within one
        bool sound;
    };
    const Row rows[] = {
        { { "--animation", png }, 1, false },
        { { "--animation", dir.filePath("picture.webp") }, 1, false },
        { { "--animation", mediatest::media("anim.webp"), "--keep-speed" }, 12, false },
        { { "--animation", mediatest::media("clip.webm") }, 40, true },
        { { "--animation", mediatest::media("clip.mp4") }, 40, true },
        { { "--animation", mediatest::media("clip.mp4"), "--start", "2", "--end", "0:04.5" }, 10, true },
        { { "--animation", mediatest::media("clip.webm"), "--no-clip-sound", "--fit" }, 40, false },
        // The content decides where the name says nothing or says wrong.
        { { "--animation", copyOf(mediatest::media("clip.webm"), dir.filePath("clip.gif")) }, 40, true },
        { { "--animation", copyOf(testdata::path("gif/im_40frames_loop0.gif"), dir.filePath("anim.mp4")) },
            40, false },
        { { "--animation", png, "--sound", mediatest::media("tone.mp3") }, 1, true },
        { { "--animation", png, "--sound", mediatest::media("tone.ogg") }, 1, true },
        { { "--animation", png, "--sound", mediatest::media("tone.flac") }, 1, true },
        { { "--animation", png, "--sound", mediatest::media("tone.opus") }, 1, true },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const QString out = dir.filePath("g.zqa");
        QFile::remove(out);
        const auto run = runCli(QStringList { "create", out } + row.args);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        auto gesture = openGesture(out);
        ASSERT_TRUE(gesture->Valid());
        EXPECT_NEAR(gesture->Frames()->Count(), row.frames, 1);
        EXPECT_EQ(gesture->HasAudio(), row.sound);
        EXPECT_LE(gesture->AudioData().size(), 65535);
    }
}

TEST(MediaCommandLine, BadMediaEndInAMessage)
{
    QTemporaryDir dir;
    QFile text(dir.filePath("notes.mp4"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("nothing to see here\n");
    text.close();
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.save(dir.filePath("p.png"));
    const QString out = dir.filePath("x.zqa");
    struct Row
    {
        QStringList args; // after "create OUT"
        const char *message;
    };
    const Row rows[] = {
        { { "--animation", text.fileName() }, "neither a picture nor a video clip" },
        { { "--animation", mediatest::media("tone.mp3") }, "holds no pictures, only sound" },
        { { "--animation", mediatest::media("huge.mkv") }, "20000 x 20000 pixels" },
        { { "--animation", mediatest::media("tenhours.webm") }, "has 144000 frames" },
        { { "--animation", mediatest::media("clip.webm"), "--start", "12" }, "past its end" },
        { { "--animation", mediatest::media("clip.webm"), "--start", "soon" }, "needs a time" },
        { { "--animation", mediatest::media("twenty.webm") }, "--no-clip-sound" },
        { { "--animation", dir.filePath("p.png"), "--start", "1" }, "is a picture" },
        { { "--animation", dir.filePath("p.png"), "--sound", mediatest::media("twenty.mp3") }, "lasts 20." },
        { { "--animation", dir.filePath("p.png"), "--sound", dir.filePath("p.png") },
            "no video clip or sound" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        QElapsedTimer timer;
        timer.start();
        const auto run = runCli(QStringList { "create", out } + row.args);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.err.contains(row.message)) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
        EXPECT_LT(timer.elapsed(), 20000);
    }
}

// Frame i of the test gesture: a colour of its own, and a transparent corner.
QRgb colourOf(int frame)
{
    return qRgb(40 + 60 * frame, 200 - 50 * frame, 90);
}

TEST(MediaCommandLine, ExportedGifsPlayAsTheGesture)
{
    QTemporaryDir dir;
    struct Row
    {
        TAnimOptions mode;
        int loopFrame;
        std::vector<int> frames; // as giflib reads them
        bool loops;
    };
    const Row rows[] = {
        { aoPlayOnce, 1, { 0, 1, 2 }, false },
        { aoLoop, 1, { 0, 1, 2 }, true },
        { aoLoop, 2, { 0, 1, 2, 1, 2, 1, 2 }, false }, // --loops 3
        { aoReverse, 1, { 0, 1, 2, 2, 1, 0 }, false },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(int(row.mode) * 10 + row.loopFrame);
        TZQGesture gesture;
        auto frames = std::make_unique<TFrameList>(8, 6);
        for (int i = 0; i < 3; ++i) {
            QImage frame(8, 6, QImage::Format_RGB32);
            frame.fill(colourOf(i));
            frame.setPixel(0, 0, qRgb(255, 0, 255));
            frames->Add(frame, clNone);
        }
        gesture.setFrames(std::move(frames));
        gesture.setTransparentColor(RGBColor(255, 0, 255));
        gesture.setAnimLoopOption(row.mode);
        gesture.setAnimLoopFrame(std::uint8_t(row.loopFrame));
        const QString zqa = dir.filePath("g.zqa");
        gesture.SaveToFile(zqa);
        const QString out = dir.filePath("g.gif");
        const auto run = runCli({ "export", zqa, out, "--loops", "3" });
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

        QFile file(out);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const giflibdecode::Result play = giflibdecode::decode(file.readAll());
        ASSERT_TRUE(play.ok) << play.error.toStdString();
        ASSERT_EQ(play.frames.size(), row.frames.size());
        EXPECT_EQ(play.loops, row.loops);
        for (size_t k = 0; k < row.frames.size(); ++k) {
            const giflibdecode::Frame &frame = play.frames[k];
            EXPECT_EQ(frame.delay, 25) << "frame " << k;
            EXPECT_NE(frame.transparentIndex, -1) << "frame " << k;
            EXPECT_EQ(frame.colours.at(frame.pixels.at(size_t(frame.width) + 1)), colourOf(row.frames[k]))
                << "frame " << k;
        }
    }
}

struct Streams
{
    int video = 0, audio = 0;
    AVCodecID videoCodec = AV_CODEC_ID_NONE, audioCodec = AV_CODEC_ID_NONE;
    QSize size;
    double seconds = 0;
};

Streams probe(const QString &path)
{
    Streams s;
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr) < 0
        || avformat_find_stream_info(format, nullptr) < 0) {
        ADD_FAILURE() << "FFmpeg cannot read " << path.toStdString();
        avformat_close_input(&format);
        return s;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters *par = format->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++s.video;
            s.videoCodec = par->codec_id;
            s.size = QSize(par->width, par->height);
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++s.audio;
            s.audioCodec = par->codec_id;
        }
    }
    s.seconds = double(format->duration) / AV_TIME_BASE;
    avformat_close_input(&format);
    return s;
}

TEST(MediaCommandLine, ExportedVideosHoldThePicturesAndTheSound)
{
    QTemporaryDir dir;
    const QString zqa = dir.filePath("clip.zqa");
    const auto made = runCli({ "create", zqa, "--animation", mediatest::media("clip.webm"), "--fit" });
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QSize frame = openGesture(zqa)->Frames()
        ? QSize(openGesture(zqa)->Frames()->Width(), openGesture(zqa)->Frames()->Height())
        : QSize();
    struct Row
    {
        const char *name;
        AVCodecID video, audio;
    };
    const Row rows[] = {
        { "g.webm", AV_CODEC_ID_VP9, AV_CODEC_ID_OPUS },
        { "g.mp4", AV_CODEC_ID_H264, AV_CODEC_ID_AAC },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QString out = dir.filePath(row.name);
        const auto run = runCli({ "export", zqa, out });
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString(); // no encoder stood in
        const Streams streams = probe(out);
        EXPECT_EQ(streams.video, 1);
        EXPECT_EQ(streams.audio, 1);
        EXPECT_EQ(streams.videoCodec, row.video);
        EXPECT_EQ(streams.audioCodec, row.audio);
        EXPECT_EQ(streams.size, QSize((frame.width() * 4 + 1) & ~1, (frame.height() * 4 + 1) & ~1));
        EXPECT_NEAR(streams.seconds, 10.0, 0.3); // 40 frames; the sound ends with them
    }
}

} // namespace
