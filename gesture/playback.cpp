#include "playback.h"

int ClampCurrentFrame(int v, bool hasFrames, int n)
{
    if (!hasFrames)
        return 0;
    if (v >= n)
        return n - 1;
    if (v < 2)
        return 0;
    return v - 1;
}

namespace {

// The CurrentFrame setter: compare with the 1-based value, then clamp.
void requestFrame(TPlaybackState &state, const TPlaybackOptions &options, std::uint8_t v, TPlaybackStep &step)
{
    step.frameRequested = true;
    step.requestedFrame = v;
    if (v == state.frameNumber())
        return;
    state.currentFrame = ClampCurrentFrame(v, true, options.frameCount);
    step.frameChanged = true;
}

bool soundStartsHere(const TPlaybackState &state, const TPlaybackOptions &options)
{
    return options.hasAudio && options.audioLoopFrame == state.frameNumber()
        && (options.audioRepeat || state.passCount == 1);
}

} // namespace

TPlaybackStep PlaybackStart(TPlaybackState &state, const TPlaybackOptions &options)
{
    TPlaybackStep step;
    requestFrame(state, options, 1, step);
    state.direction = 1;
    state.passCount = 1;
    state.running = true;
    step.playSound = options.hasAudio && options.audioLoopFrame == 1;
    return step;
}

TPlaybackStep PlaybackTick(TPlaybackState &state, const TPlaybackOptions &options)
{
    TPlaybackStep step;
    const std::uint8_t c = state.frameNumber();
    const int n = options.frameCount;
    if ((c < n && state.direction == 1) || (c > 1 && state.direction == -1)) {
        requestFrame(state, options, std::uint8_t(c + state.direction), step);
    } else if (state.direction > 0) {
        switch (options.animation) {
        case aoReverse:
            state.direction = -1;
            ++state.passCount;
            break;
        case aoLoop:
            ++state.passCount;
            if (state.passCount > options.numberOfLoops)
                state.running = false;
            else
                requestFrame(state, options, options.animLoopFrame, step);
            break;
        case aoPlayOnce:
            state.running = false;
            break;
        }
    } else if (state.direction < 0 && c < 2) {
        state.running = false;
    }
    step.playSound = soundStartsHere(state, options);
    return step;
}
