// Decoding whole GIFs, ours against giflib's, on every decode case: warm
// (Decode/<case>/...), from a fresh state (DecodeFresh/<case>/...), and ours
// with and without progress notifications (DecodeProgress/<case>/ours against
// .../noprogress). Items are pixels decoded.
#include "benchdata.h"
#include "codecs/gifimage.h"
#include "giflibcodec.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

namespace {

using benchdata::GifCase;
using CaseGetter = const GifCase &(*)();

// Puts the process, as far as it can from inside, in the state of one that
// has decoded nothing yet: the allocator returns its free memory to the
// system, so the buffers of the next decode are fresh pages again, and the
// caches private to this core are overwritten. (The shared last-level cache
// is left alone: on servers it is too large to write per iteration.)
void freshState()
{
    static std::vector<std::uint8_t> sweep(
        std::size_t(std::max<long>(sysconf(_SC_LEVEL2_CACHE_SIZE), 1 << 20)) * 2);
    static std::uint8_t value = 0;
    malloc_trim(0);
    std::memset(sweep.data(), ++value, sweep.size());
    benchmark::ClobberMemory();
}

enum class Mode { Warm, Fresh, Progress };

void decodeOurs(benchmark::State &state, CaseGetter which, Mode mode)
{
    const GifCase &data = which();
    int reports = 0;
    for (auto _ : state) {
        if (mode == Mode::Fresh) {
            state.PauseTiming();
            freshState();
            state.ResumeTiming();
        }
        TGIFImage gif;
        if (mode == Mode::Progress)
            gif.OnProgress = [&reports](TProgressStage, int, const QString &) { ++reports; };
        gif.ReadFromBuffer(data.gif); // decodes frame 0
        gif.DecodeFrames(); // and the others
        benchmark::DoNotOptimize(gif.Frames(0).bitmapNoDecode().image().constBits());
    }
    benchmark::DoNotOptimize(reports);
    state.SetItemsProcessed(state.iterations() * data.pixels);
}

void decodeGiflib(benchmark::State &state, CaseGetter which, Mode mode)
{
    const GifCase &data = which();
    for (auto _ : state) {
        if (mode == Mode::Fresh) {
            state.PauseTiming();
            freshState();
            state.ResumeTiming();
        }
        const std::int64_t pixels = giflibcodec::decodeCount(data.gif);
        if (pixels != data.pixels) {
            state.SkipWithError("giflib could not decode the GIF");
            return;
        }
        benchmark::DoNotOptimize(pixels);
    }
    state.SetItemsProcessed(state.iterations() * data.pixels);
}

[[maybe_unused]] const bool registered = [] {
    struct Case
    {
        const char *name;
        CaseGetter data;
    };
    const Case cases[] = {
        { "photo640", benchdata::photoCase },
        { "anim100", benchdata::animCase },
        { "landscape640", benchdata::landscapeCase },
        { "screencast", benchdata::screencastCase },
        { "cartoon", benchdata::cartoonCase },
    };
    for (const Case &c : cases) {
        const std::string name = c.name;
        benchmark::RegisterBenchmark(("Decode/" + name + "/ours").c_str(), decodeOurs, c.data, Mode::Warm)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Decode/" + name + "/giflib").c_str(), decodeGiflib, c.data, Mode::Warm)
            ->Unit(benchmark::kMillisecond);
        // Few iterations: each one first sweeps the caches.
        benchmark::RegisterBenchmark(
            ("DecodeFresh/" + name + "/ours").c_str(), decodeOurs, c.data, Mode::Fresh)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(60);
        benchmark::RegisterBenchmark(
            ("DecodeFresh/" + name + "/giflib").c_str(), decodeGiflib, c.data, Mode::Fresh)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(60);
        benchmark::RegisterBenchmark(
            ("DecodeProgress/" + name + "/ours").c_str(), decodeOurs, c.data, Mode::Progress)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(
            ("DecodeProgress/" + name + "/noprogress").c_str(), decodeOurs, c.data, Mode::Warm)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
