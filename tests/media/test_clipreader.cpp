// Clips read for a gesture: the frame showing at each 250 ms tick of a span
// (told by its grey), previews, the sound over the span, animated pictures
// taken like animated GIFs, and files that must be refused quickly.
#include "gesture/animationimport.h"
#include "media/clipreader.h"
#include "media/mediamaker.h"
#include "platform/errors.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The grey a decoded frame shows below its moving block, as RGB.
int greyOf(const QImage &frame)
{
    return qGreen(frame.pixel(frame.width() / 2, frame.height() * 3 / 4));
}

// The RGB grey of clip frame k (limited-range luma).
int expectedGrey(int frame)
{
    return (mediatest::greyOf(frame) - 16) * 255 / 219;
}

TEST(ClipReader, TheFrameAtEachTickOfASpan)
{
    struct Row
    {
        const char *file;
        qint64 durationMs;
        bool sound;
        TClipSpan span;
        int ticks;
    };
    const Row rows[] = {
        { "clip.webm", 10000, true, {}, 40 }, { "clip.mp4", 10000, true, { 2000, 4500 }, 10 },
        { "clip.mkv", 6000, false, { 4900, -1 }, 4 }, // seeks past a key frame
        { "clip.mov", 4000, true, { 0, 1100 }, 4 }, // to the nearest tick
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.file);
        TClipReader reader(mediatest::media(row.file));
        EXPECT_NEAR(double(reader.DurationMs()), double(row.durationMs), 50.0);
        EXPECT_EQ(reader.FrameSize(), QSize(160, 90));
        EXPECT_EQ(reader.TickFrameSize(), QSize(160, 90));
        EXPECT_EQ(reader.HasSound(), row.sound);
        EXPECT_EQ(reader.TickCount(row.span), row.ticks);
        qint64 ended = 0;
        const std::vector<QImage> frames = reader.FramesAtTicks(row.span, {}, &ended);
        EXPECT_EQ(ended, -1);
        ASSERT_EQ(int(frames.size()), row.ticks);
        const TClipSpan span = reader.Normalized(row.span);
        for (int k = 0; k < row.ticks; ++k) {
            const int shown = int((span.StartMs + qint64(k) * 250) / 100); // 10 pictures a second
            EXPECT_NEAR(greyOf(frames[std::size_t(k)]), expectedGrey(shown), 8) << "tick " << k;
        }
    }
}

TEST(ClipReader, PreviewsAndTheSpansSound)
{
    TClipReader reader(mediatest::media("clip.webm"));
    for (const qint64 ms : { 0, 3050, 9990, 20000 }) {
        const QImage frame = reader.FrameAt(ms, QSize(80, 80));
        EXPECT_EQ(frame.size(), QSize(80, 45));
        EXPECT_NEAR(greyOf(frame), expectedGrey(int(std::min<qint64>(ms, 9999) / 100)), 8) << ms;
    }
    const TFittedSound sound = reader.SoundOver({ 1000, 3000 });
    EXPECT_TRUE(sound.Converted);
    EXPECT_NEAR(double(sound.DurationMs), 2000.0, 30.0);
    EXPECT_EQ(sound.Format, (TSoundFormat { 11025, 1, 16 }));

    // The whole clip: 40 frames, and its 10 s of sound at 6,000 Hz.
    auto clip = ImportClip(reader, {}, {}, true);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->Animation.FrameCount(), 40);
    ASSERT_TRUE(clip->Sound) << clip->SoundRefusal.toStdString();
    EXPECT_EQ(clip->Sound->Format, (TSoundFormat { 6000, 1, 8 }));
    EXPECT_FALSE(clip->Animation.ButtonPicture().isEmpty());
}

// An animation Qt's WebP plugin reads imports as an animated GIF does:
// every frame, or the frame showing at each 250 ms.
TEST(ClipReader, AnimatedPicturesImportFrameByFrame)
{
    const QString path = mediatest::media("anim.webp");
    ASSERT_FALSE(path.isEmpty());
    // Each picture shows 100 ms (the encoder may give the last one longer).
    const auto every = ReadAnimationFile(path, {}, {}, {}, TImportTiming::EveryFrame);
    ASSERT_TRUE(every);
    EXPECT_EQ(every->FrameCount(), 30);
    EXPECT_EQ(every->FrameSize, QSize(160, 90));
    EXPECT_NEAR(double(every->PlayTimeMs), 3000.0, 300.0);
    const int ticks = (every->PlayTimeMs + 249) / 250;
    const auto both = ReadAnimationFile(path, {}, {}, {}, TImportTiming::Both);
    ASSERT_TRUE(both && both->TimedFrames);
    EXPECT_EQ(both->Frames->Count(), 30);
    const auto timed = ReadAnimationFile(path, {}, {}, {}, TImportTiming::KeepSpeed);
    ASSERT_TRUE(timed);
    for (const TFrameList *list : { both->TimedFrames.get(), timed->Frames.get() }) {
        ASSERT_EQ(list->Count(), ticks);
        for (int k = 0; k < list->Count(); ++k)
            EXPECT_NEAR(greyOf(list->Picture(k)), expectedGrey(std::min(k * 250 / 100, 29)), 10)
                << "tick " << k;
    }
}

// Files made to hurt or that are simply not clips end in a message, fast.
TEST(ClipReader, BadFilesAreRefusedQuickly)
{
    QTemporaryDir dir;
    const auto cut = [&](const char *file, const char *name) {
        QFile in(mediatest::media(file));
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        QFile out(dir.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(in.readAll().left(in.size() / 2));
        return out.fileName();
    };
    struct Row
    {
        QString path;
        const char *message; // empty: reads
    };
    const Row rows[] = {
        { cut("clip.mp4", "cut.mp4"), "moov atom not found" },
        { mediatest::media("tone.mp3"), "holds no pictures, only sound" },
        { mediatest::media("huge.mkv"), "20000 x 20000 pixels" },
        { mediatest::media("clip.webm") + "-missing", "No such file" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        try {
            TClipReader reader(row.path);
            reader.FramesAtTicks({});
            ADD_FAILURE() << "read as a clip";
        } catch (const PlumoraError &error) {
            EXPECT_TRUE(error.message().contains(QLatin1String(row.message)))
                << error.message().toStdString();
        }
    }

    // A cut-off WebM gives the pictures it holds, and says where they end.
    TClipReader cutWebm(cut("clip.webm", "cut.webm"));
    qint64 ended = -1;
    const auto frames = cutWebm.FramesAtTicks({}, {}, &ended);
    EXPECT_GT(ended, 2000);
    EXPECT_LT(ended, 8000);
    EXPECT_EQ(qint64(frames.size()), (ended + 249) / 250);

    // Ten hours: the length is known at once; a span near the end decodes
    // only from its key frame on, and the whole is asked about first.
    QElapsedTimer timer;
    timer.start();
    TClipReader long_(mediatest::media("tenhours.webm"));
    EXPECT_NEAR(double(long_.DurationMs()), 36000000.0, 1000.0);
    EXPECT_EQ(int(long_.FramesAtTicks({ 35999000, -1 }).size()), long_.TickCount({ 35999000, -1 }));
    bool asked = false;
    const auto first = ImportClip(
        long_, {},
        [&](int count, int keep) {
            asked = true;
            EXPECT_EQ(count, 144000);
            EXPECT_EQ(keep, 255);
            return true;
        },
        true);
    EXPECT_TRUE(asked);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Animation.FrameCount(), 255);
    EXPECT_LT(timer.elapsed(), 20000);
}

} // namespace
