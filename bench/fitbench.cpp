// The automatic fit of an animation into the file's animation block, against
// one plain encode of the same strip at full size, both in wall-clock time
// (the fit probes two sizes at once on two threads, so CPU time would count
// its work twice). Names are Fit/<case>; the counters say how many probes the
// search made, the fit's time in plain encodes (`plainEncodes`, the figure to
// quote) and what it found.
//
// Cases:
// - photo255x191x100: 100 frames of 255 x 191 panned across a photo-like
//   picture with a ball moving over it, as a filmed clip imported at the
//   preview's size (1.8 MB as one strip: far too large for a gesture);
// - photo255x191x38: the first 38 of them, as the same clip imported at its
//   own speed from 10 frames a second.
#include "benchdata.h"
#include "codecs/gifimage.h"
#include "gesture/animationfit.h"
#include "gesture/zqgesture.h"

#include <QPainter>

#include <chrono>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

namespace {

TFrameList filmedClip(int count)
{
    constexpr int w = 255, h = 191;
    const QImage scene = benchdata::syntheticPhoto(w + count * 3, h, 17, 6);
    TFrameList frames(w, h);
    for (int i = 0; i < count; ++i) {
        QImage frame = scene.copy(i * 3, 0, w, h);
        QPainter painter(&frame);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(230, 200, 40));
        painter.drawEllipse(QPoint((i * 7) % w, h / 2), 15, 15);
        painter.end();
        frames.Add(frame, clNone);
    }
    return frames;
}

QByteArray plainEncode(const TFrameList &frames)
{
    return EncodeAnimationBlock(frames.Strip(), clNone, {});
}

double secondsOf(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void fitBench(benchmark::State &state, int count)
{
    static std::map<int, TFrameList> clips;
    if (!clips.count(count))
        clips.emplace(count, filmedClip(count));
    const TFrameList &frames = clips.at(count);
    double fitting = 0;
    int probes = 0;
    TFitMeasure found;
    for (auto _ : state) {
        // A new fit each time: nothing is kept from the last run.
        fitting += secondsOf([&] {
            const TAnimationFit fit(frames, clNone, QStringLiteral("plumora-bench"));
            found = fit.Auto([&](int made) { probes = made; });
        });
    }
    double encoding = 0;
    const int encodes = 3;
    for (int i = 0; i < encodes; ++i)
        encoding += secondsOf([&] { benchmark::DoNotOptimize(plainEncode(frames).size()); });
    const double perFit = fitting / double(state.iterations());
    state.counters["probes"] = probes;
    state.counters["plainEncodes"] = perFit / (encoding / encodes);
    state.counters["fitMs"] = perFit * 1e3;
    state.counters["width"] = found.frameSize.width();
    state.counters["colours"] = found.settings.colours;
    state.counters["bytes"] = double(found.blockBytes);
}

[[maybe_unused]] const bool registered = [] {
    for (const int count : { 100, 38 })
        benchmark::RegisterBenchmark(("Fit/photo255x191x" + std::to_string(count)).c_str(), fitBench, count)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    return true;
}();

} // namespace
