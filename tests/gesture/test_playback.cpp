// Playback: the frame sequences of each animation option and when the sound
// starts, driven step by step without waiting for the timer.
#include "gesture/playback.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

struct Run
{
    std::vector<int> frames; // frame shown after Play and after each step
    std::vector<int> soundAt; // index into frames where the sound started
};

// Plays until the timer stops (or a step limit), recording what is shown.
Run play(const TPlaybackOptions &options, int limit = 100)
{
    Run run;
    TPlaybackState state;
    TPlaybackStep step = PlaybackStart(state, options);
    run.frames.push_back(state.frameNumber());
    if (step.playSound)
        run.soundAt.push_back(0);
    while (state.running && int(run.frames.size()) < limit) {
        step = PlaybackTick(state, options);
        run.frames.push_back(state.frameNumber());
        if (step.playSound)
            run.soundAt.push_back(int(run.frames.size()) - 1);
    }
    return run;
}

TPlaybackOptions options(int n, TAnimOptions animation)
{
    TPlaybackOptions o;
    o.frameCount = n;
    o.animation = animation;
    return o;
}

} // namespace

TEST(Playback, PlayOnce)
{
    EXPECT_EQ(play(options(4, aoPlayOnce)).frames, (std::vector<int> { 1, 2, 3, 4, 4 }));
    EXPECT_EQ(play(options(1, aoPlayOnce)).frames, (std::vector<int> { 1, 1 }));
}

TEST(Playback, LoopWithLoopFrameAndCount)
{
    TPlaybackOptions o = options(6, aoLoop);
    o.animLoopFrame = 4;
    o.numberOfLoops = 3;
    EXPECT_EQ(play(o).frames, (std::vector<int> { 1, 2, 3, 4, 5, 6, 4, 5, 6, 4, 5, 6, 6 }));
    o.numberOfLoops = 1;
    EXPECT_EQ(play(o).frames, (std::vector<int> { 1, 2, 3, 4, 5, 6, 6 }));
    o.numberOfLoops = 0;
    EXPECT_EQ(play(o).frames, (std::vector<int> { 1, 2, 3, 4, 5, 6, 6 }));
    // 255 loops never end: the pass count wraps first.
    o.numberOfLoops = 255;
    EXPECT_EQ(play(o, 5000).frames.size(), 5000u);
}

TEST(Playback, ReverseTurnsOnTheLastFrame)
{
    EXPECT_EQ(play(options(4, aoReverse)).frames, (std::vector<int> { 1, 2, 3, 4, 4, 3, 2, 1, 1 }));
    TPlaybackState state;
    TPlaybackOptions one = options(1, aoReverse);
    PlaybackStart(state, one);
    PlaybackTick(state, one);
    EXPECT_EQ(state.direction, -1);
    EXPECT_EQ(state.passCount, 2);
    EXPECT_TRUE(state.running);
    PlaybackTick(state, one);
    EXPECT_FALSE(state.running);
}

TEST(Playback, SoundStarts)
{
    TPlaybackOptions o = options(3, aoPlayOnce);
    o.hasAudio = true;
    // Start frame 1, no repeat: once, at Play.
    EXPECT_EQ(play(o).soundAt, (std::vector<int> { 0 }));
    // Start frame 2.
    o.audioLoopFrame = 2;
    EXPECT_EQ(play(o).soundAt, (std::vector<int> { 1 }));
    // Beyond the last frame: never.
    o.audioLoopFrame = 9;
    EXPECT_TRUE(play(o).soundAt.empty());
    // One frame, play once: at Play and on the step that ends playback.
    TPlaybackOptions single = options(1, aoPlayOnce);
    single.hasAudio = true;
    EXPECT_EQ(play(single).soundAt, (std::vector<int> { 0, 1 }));
    // Loop to frame 1 with repeat: at every wrap.
    TPlaybackOptions loop = options(3, aoLoop);
    loop.hasAudio = true;
    loop.audioRepeat = true;
    loop.numberOfLoops = 3;
    EXPECT_EQ(play(loop).frames, (std::vector<int> { 1, 2, 3, 1, 2, 3, 1, 2, 3, 3 }));
    EXPECT_EQ(play(loop).soundAt, (std::vector<int> { 0, 3, 6 }));
    loop.audioRepeat = false;
    EXPECT_EQ(play(loop).soundAt, (std::vector<int> { 0 }));
    // Without a sound nothing starts.
    loop.hasAudio = false;
    EXPECT_TRUE(play(loop).soundAt.empty());
}
