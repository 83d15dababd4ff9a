// Our GIF encoder and colour reduction against giflib's, on the same data in
// the same run (decoding is in decodebench.cpp). Names are
// <Kind>/<case>/<ours|giflib>; items are pixels encoded or reduced.
#include "codecbench.h"

#include "benchdata.h"
#include "giflibcodec.h"

#include "codecs/colorreduction.h"
#include "codecs/gifimage.h"

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

void reduceOurs(benchmark::State &state)
{
    const TBitmap photo(benchdata::photo640());
    for (auto _ : state) {
        const TBitmap reduced = ReduceToPalette(photo, TReductionMethod::Histogram);
        benchmark::DoNotOptimize(reduced.image().constBits());
    }
    state.SetItemsProcessed(state.iterations() * photo.width() * photo.height());
}

void reduceGiflib(benchmark::State &state)
{
    const giflibcodec::Planes planes = giflibcodec::planesOf(benchdata::photo640());
    std::vector<std::uint8_t> indexes;
    for (auto _ : state) {
        if (!giflibcodec::quantize(planes, indexes)) {
            state.SkipWithError("GifQuantizeBuffer failed");
            return;
        }
        benchmark::DoNotOptimize(indexes.data());
    }
    state.SetItemsProcessed(state.iterations() * planes.width * planes.height);
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
    benchmark::RegisterBenchmark("Reduce/photo640/ours", reduceOurs)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Reduce/photo640/giflib", reduceGiflib)->Unit(benchmark::kMillisecond);
}
