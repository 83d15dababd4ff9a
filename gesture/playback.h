#pragma once
// Playback as a pure sequencer: one timer step computed from the playback
// state and the gesture's options, without a clock. The gesture component's
// timer only calls PlaybackStep and applies its result.
#include <cstdint>

enum TAnimOptions : std::uint8_t { aoPlayOnce, aoLoop, aoReverse };

// The stored 0-based current frame for a requested 1-based value v, with n
// frames (hasFrames false: no frame list at all).
int ClampCurrentFrame(int v, bool hasFrames, int n);

struct TPlaybackOptions
{
    int frameCount = 0;
    TAnimOptions animation = aoPlayOnce;
    std::uint8_t animLoopFrame = 1; // 1-based
    std::uint8_t numberOfLoops = 3;
    std::uint8_t audioLoopFrame = 1; // 1-based
    bool audioRepeat = false;
    bool hasAudio = false;
};

struct TPlaybackState
{
    int currentFrame = 0; // 0-based, as stored by the component
    std::int8_t direction = 0; // +1 forward, -1 backward
    std::uint8_t passCount = 0;
    bool running = false; // the timer is enabled

    // The 1-based frame as the component reports it (one byte).
    std::uint8_t frameNumber() const { return std::uint8_t(currentFrame + 1); }
};

struct TPlaybackStep
{
    bool frameRequested = false; // the CurrentFrame setter was called...
    std::uint8_t requestedFrame = 0; // ...with this 1-based value
    bool frameChanged = false; // ...and the request differed (fires OnFrameChange)
    bool playSound = false;
};

// What Play does: back to frame 1, forward, first pass, timer on, and the
// sound when it starts at frame 1.
TPlaybackStep PlaybackStart(TPlaybackState &state, const TPlaybackOptions &options);
// One timer step. The caller has already checked that a frame list exists
// and the control is enabled (otherwise the timer just stops).
TPlaybackStep PlaybackTick(TPlaybackState &state, const TPlaybackOptions &options);
