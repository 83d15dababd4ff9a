// The gesture view: it plays its gesture document with its timer and sound
// player, paints the current frame through the mask, sizes itself to the
// frames, and reacts to a read in the document's order of effects.
#include "editor/gestureview.h"
#include "editor/waveplayer.h"
#include "gesture/gesturetestutil.h"
#include "gesture/zqgesture.h"

#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>

#include <gtest/gtest.h>

using namespace gesturetest;

TEST(GestureView, PlaysAsTheSequencerSays)
{
    TZQGesture g;
    TGestureView view(&g);
    g.setFrames(frames(4, 4, 6));
    g.setAnimLoopOption(aoLoop);
    g.setAnimLoopFrame(4);
    std::vector<int> shown;
    QObject::connect(&g, &TZQGesture::OnFrameChange, [&] { shown.push_back(g.CurrentFrame()); });
    view.Play();
    EXPECT_TRUE(view.PlaybackTimer()->isActive());
    EXPECT_EQ(view.PlaybackTimer()->interval(), 250);
    int steps = 0;
    while (g.Playing() && steps++ < 50)
        view.Tick();
    EXPECT_EQ(shown, (std::vector<int> { 2, 3, 4, 5, 6, 4, 5, 6, 4, 5, 6 }));
    EXPECT_EQ(g.CurrentFrame(), 6);
    EXPECT_FALSE(view.PlaybackTimer()->isActive());
    // Play again starts from frame 1.
    shown.clear();
    view.Play();
    EXPECT_EQ(shown, (std::vector<int> { 1 }));
}

TEST(GestureView, DisabledOrEmptyDoesNothing)
{
    TZQGesture empty;
    TGestureView emptyView(&empty);
    emptyView.Play();
    EXPECT_FALSE(empty.Playing());

    TZQGesture g;
    TGestureView view(&g);
    g.setFrames(frames(4, 4, 3));
    int sounds = 0;
    view.SoundPlayer()->setBeforePlay([&](TWavePlayer *) { ++sounds; });
    view.setEnabled(false);
    view.Play();
    EXPECT_FALSE(g.Playing());
    EXPECT_EQ(sounds, 0);

    // Disabling during playback stops at the next step; enabling does not resume.
    view.setEnabled(true);
    view.Play();
    view.setEnabled(false);
    view.Tick();
    EXPECT_FALSE(g.Playing());
    EXPECT_FALSE(view.PlaybackTimer()->isActive());
    view.setEnabled(true);
    EXPECT_FALSE(g.Playing());

    // Losing the frames stops it too, and so does reading.
    view.Play();
    g.setFrames(nullptr);
    view.Tick();
    EXPECT_FALSE(g.Playing());
    g.setFrames(frames(4, 4, 3));
    view.Play();
    g.LoadFromFile(QStringLiteral("/no/such/file.zqa"));
    EXPECT_FALSE(g.Playing());
    EXPECT_FALSE(view.PlaybackTimer()->isActive());
}

TEST(GestureView, SoundGoesToThePlayer)
{
    TZQGesture g;
    TGestureView view(&g);
    g.setFrames(frames(4, 4, 2));
    loadSound(g, wav(100));
    EXPECT_TRUE(g.HasAudio());
    EXPECT_TRUE(g.Modified());
    EXPECT_EQ(g.AudioSize(), wav(100).size());
    int sounds = 0;
    view.SoundPlayer()->setBeforePlay([&](TWavePlayer *player) {
        EXPECT_EQ(player->Wave()->Data(), wav(100));
        ++sounds;
    });
    view.Play();
    EXPECT_EQ(sounds, 1);
    while (g.Playing())
        view.Tick();
    EXPECT_EQ(sounds, 1);
    g.setAudioRepeat(true);
    g.setAnimLoopOption(aoReverse);
    view.Play();
    while (g.Playing())
        view.Tick();
    // At Play, when the reverse pass comes back to frame 1, and on the
    // final step, which still shows frame 1.
    EXPECT_EQ(sounds, 4);
}

TEST(GestureView, PaintsCurrentFrameThroughMask)
{
    const TColor key = RGBColor(1, 2, 3);
    TZQGesture g;
    TGestureView view(&g);
    g.setFrames(frames(6, 4, 2, key));
    g.setTransparentColor(key);
    g.setCurrentFrame(2);
    QPalette palette = view.palette();
    palette.setColor(QPalette::Window, Qt::green);
    view.setPalette(palette);
    view.setAutoFillBackground(true);
    view.resize(6, 4);
    const QImage shot = view.grab().toImage();
    EXPECT_EQ(shot.pixel(0, 0), qRgb(0, 255, 0)); // transparent: the background
    EXPECT_EQ(shot.pixel(1, 0), g.Frames()->Picture(1).pixel(1, 0));
    EXPECT_EQ(shot.pixel(3, 2), g.Frames()->Picture(1).pixel(3, 2));
}

TEST(GestureView, AutoSizeFollowsFrames)
{
    TZQGesture g;
    TGestureView view(&g);
    EXPECT_TRUE(view.AutoSize());
    EXPECT_FALSE(view.AutoPlay());
    view.setAutoSize(false);
    g.setFrames(frames(30, 20, 2));
    view.setAutoSize(true);
    EXPECT_EQ(view.size(), QSize(30, 20));
    g.setFrames(nullptr);
    view.setAutoSize(false);
    view.setAutoPlay(true);
    view.setAutoSize(true);
    EXPECT_EQ(view.size(), QSize(4, 4));
    EXPECT_FALSE(g.Modified());
}

// After a read the view is sized to the frames and the encoded sizes are
// known when OnChange fires; automatic playback starts after it.
TEST(GestureView, ReadSizesThenNotifiesThenPlays)
{
    QTemporaryDir dir;
    TZQGesture source;
    source.setFrames(frames(6, 5, 3));
    const QString path = dir.filePath(QStringLiteral("g.zqa"));
    source.SaveToFile(path);

    TZQGesture g;
    TGestureView view(&g);
    view.setAutoPlay(true);
    std::vector<std::string> seen;
    QObject::connect(&g, &TZQGesture::OnChange, [&] {
        EXPECT_EQ(view.size(), QSize(6, 5));
        EXPECT_GT(g.GestureSize(), 0);
        EXPECT_FALSE(g.Playing());
        seen.push_back("change");
    });
    QObject::connect(&g, &TZQGesture::OnFrameChange, [&] { seen.push_back("frame"); });
    g.setFilename(path);
    EXPECT_TRUE(g.Playing());
    EXPECT_EQ(seen, (std::vector<std::string> { "change" }));

    // A disabled view does not start by itself.
    TZQGesture quiet;
    TGestureView disabled(&quiet);
    disabled.setAutoPlay(true);
    disabled.setEnabled(false);
    quiet.setFilename(path);
    EXPECT_TRUE(quiet.Valid());
    EXPECT_FALSE(quiet.Playing());
}
