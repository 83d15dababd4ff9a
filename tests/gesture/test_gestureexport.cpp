// What an export plays: the schedule of frames and sound starts for each
// play mode, and a GIF of many colours that keeps its transparent pixels.
#include "codecs/gifimage.h"
#include "gesture/gestureexport.h"
#include "gesture/gesturetestutil.h"
#include "gesture/zqgesture.h"

#include <gtest/gtest.h>

namespace {

TEST(GestureExport, ScheduleFollowsThePlayMode)
{
    struct Row
    {
        TAnimOptions mode;
        int loopFrame, audioFrame;
        bool repeat;
        std::vector<int> frames, sound;
    };
    const Row rows[] = {
        { aoPlayOnce, 1, 2, false, { 0, 1, 2 }, { 1 } },
        // The sound at the last frame starts again on the step that ends.
        { aoPlayOnce, 1, 3, false, { 0, 1, 2 }, { 2, 3 } },
        { aoLoop, 2, 2, true, { 0, 1, 2, 1, 2, 1, 2 }, { 1, 3, 5 } },
        { aoLoop, 2, 2, false, { 0, 1, 2, 1, 2, 1, 2 }, { 1 } },
        // Back at frame 1 on the way back, and again on the step that ends.
        { aoReverse, 1, 1, true, { 0, 1, 2, 2, 1, 0 }, { 0, 5, 6 } },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(int(row.mode) * 100 + row.loopFrame * 10 + row.audioFrame);
        TZQGesture g;
        g.setFrames(gesturetest::frames(4, 3, 3));
        g.SetAudio(gesturetest::wav(10));
        g.setAnimLoopOption(row.mode);
        g.setAnimLoopFrame(std::uint8_t(row.loopFrame));
        g.setAudioLoopFrame(std::uint8_t(row.audioFrame));
        g.setAudioRepeat(row.repeat);
        const TPlaySchedule schedule = PlaySchedule(g, 3);
        EXPECT_EQ(schedule.Frames, row.frames);
        EXPECT_EQ(schedule.SoundStarts, row.sound);
    }
}

// Frames of more than 256 colours are reduced for the GIF, and the pixels of
// the transparent colour stay exactly the transparent ones.
TEST(GestureExport, ManyColoursKeepTheTransparentPixels)
{
    const TColor key = RGBColor(10, 20, 30);
    auto frames = std::make_unique<TFrameList>(40, 30);
    for (int i = 0; i < 2; ++i) {
        QImage frame(40, 30, QImage::Format_RGB32);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                frame.setPixel(x, y, (x + y + i) % 7 == 0 ? toQRgb(key) : qRgb(x * 6, y * 8, 100 + 50 * i));
        frames->Add(frame, clNone);
    }
    TZQGesture g;
    g.setFrames(std::move(frames));
    g.setTransparentColor(key);
    TExportSummary summary;
    const QByteArray bytes = EncodeGestureGif(g, {}, &summary);
    EXPECT_EQ(summary.Frames, 2);
    TGIFImage gif;
    gif.ReadFromBuffer(bytes);
    ASSERT_EQ(gif.FrameCount(), 2);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(gif.Frames(i).TransparentColor, key);
        const QImage &decoded = gif.Frames(i).DecodedBitmap().image();
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(decoded.pixel(x, y) == toQRgb(key), (x + y + i) % 7 == 0) << x << "," << y;
    }
}

} // namespace
