// Our GIF encoder against giflib's, on the same data in the same run
// (decoding is in decodebench.cpp, colour reduction in reducebench.cpp).
// Names are <Kind>/<case>/<ours|giflib>; items are pixels encoded.
#include "codecbench.h"

#include "benchdata.h"
#include "codecs/gifimage.h"
#include "giflibcodec.h"

#include <benchmark/benchmark.h>

namespace {

using benchdata::GifCase;

void encodeOurs(benchmark::State &state, const GifCase &data)
{
    for (auto _ : state) {
        TGIFImage gif;
        for (const benchdata::IndexedFrame &frame : data.frames)
            gif.AppendFrame(TBitmap(frame.image, 8));
        const QByteArray bytes = gif.WriteToBuffer();
        benchmark::DoNotOptimize(bytes.constData());
    }
    state.SetItemsProcessed(state.iterations() * data.pixels);
}

void encodeGiflib(benchmark::State &state, const GifCase &data)
{
    std::vector<benchdata::IndexedFrame> frames = data.frames; // giflib masks the rows in place
    for (auto _ : state) {
        const QByteArray bytes = giflibcodec::encode(frames, data.screenWidth, data.screenHeight);
        if (bytes.isEmpty()) {
            state.SkipWithError("giflib could not encode the frames");
            return;
        }
        benchmark::DoNotOptimize(bytes.constData());
    }
    state.SetItemsProcessed(state.iterations() * data.pixels);
}

} // namespace

void registerCodecBenchmarks()
{
    for (const GifCase *data : { &benchdata::photoCase(), &benchdata::animCase() }) {
        const std::string name = data->name;
        benchmark::RegisterBenchmark(("Encode/" + name + "/ours").c_str(), encodeOurs, *data)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Encode/" + name + "/giflib").c_str(), encodeGiflib, *data)
            ->Unit(benchmark::kMillisecond);
    }
    // Encoding many small frames, where per-frame set-up counts.
    const GifCase &frames = benchdata::smallFramesCase();
    benchmark::RegisterBenchmark(("Encode/" + frames.name + "/ours").c_str(), encodeOurs, frames)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Encode/" + frames.name + "/giflib").c_str(), encodeGiflib, frames)
        ->Unit(benchmark::kMillisecond);
}
