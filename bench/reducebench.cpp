// Colour reduction to 256 colours, ours against giflib's quantizer and
// against our reduction before its palette followed the pixels ("masked"),
// on a 640 x 480 picture of each kind: the synthetic photo the GIF cases
// start from, a landscape made to look like a photograph, and noise. Each
// reports its time and, as the counter psnr_dB, how close the reduced picture
// stays to the original (peak signal-to-noise ratio over red, green and blue).
#include "benchdata.h"
#include "giflibcodec.h"
#include "maskedreduction.h"

#include "codecs/colorreduction.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>

namespace {

struct ReduceCase
{
    const char *name;
    std::function<QImage()> make;
};

const QImage &pictureOf(const ReduceCase &c)
{
    static std::map<std::string, QImage> made;
    QImage &picture = made[c.name];
    if (picture.isNull())
        picture = c.make();
    return picture;
}

// Peak signal-to-noise ratio in dB: 10 log10(255^2 / mean squared error),
// the error taken over every channel of every pixel.
double psnr(const QImage &original, const std::function<QRgb(int x, int y)> &reduced)
{
    double sum = 0;
    for (int y = 0; y < original.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(original.constScanLine(y));
        for (int x = 0; x < original.width(); ++x) {
            const QRgb a = row[x], b = reduced(x, y);
            for (const int d : { qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b) })
                sum += double(d) * d;
        }
    }
    const double mse = sum / (3.0 * original.width() * original.height());
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

// Times one of our reductions (today's, or the masked peer).
void reduceWith(benchmark::State &state, const ReduceCase &c, TBitmap (*reduce)(const TBitmap &))
{
    const TBitmap picture(pictureOf(c));
    TBitmap reduced;
    for (auto _ : state) {
        reduced = reduce(picture);
        benchmark::DoNotOptimize(reduced.image().constBits());
    }
    state.SetItemsProcessed(state.iterations() * picture.width() * picture.height());
    const QImage &out = reduced.image();
    state.counters["psnr_dB"] = psnr(picture.image(), [&out](int x, int y) { return out.pixel(x, y); });
}

TBitmap reduceOurs(const TBitmap &picture)
{
    return ReduceToPalette(picture, TReductionMethod::Histogram);
}

TBitmap reduceMasked(const TBitmap &picture)
{
    return TBitmap(maskedReduction(picture.toRgb32()), 8);
}

void reduceGiflib(benchmark::State &state, const ReduceCase &c)
{
    const QImage &picture = pictureOf(c);
    const giflibcodec::Planes planes = giflibcodec::planesOf(picture);
    std::vector<std::uint8_t> indexes;
    std::vector<QRgb> palette;
    for (auto _ : state) {
        if (!giflibcodec::quantize(planes, indexes, &palette)) {
            state.SkipWithError("GifQuantizeBuffer failed");
            return;
        }
        benchmark::DoNotOptimize(indexes.data());
    }
    state.SetItemsProcessed(state.iterations() * planes.width * planes.height);
    state.counters["psnr_dB"] = psnr(picture, [&](int x, int y) {
        return palette[indexes[std::size_t(y) * std::size_t(planes.width) + std::size_t(x)]];
    });
}

[[maybe_unused]] const bool registered = [] {
    static const ReduceCase cases[] = {
        { "photo640", [] { return benchdata::photo640(); } },
        { "landscape640", [] { return benchdata::landscapePicture(640, 480); } },
        { "noise640", [] { return benchdata::noisePicture(640, 480, 5); } },
    };
    for (const ReduceCase &c : cases) {
        const std::string base = std::string("Reduce/") + c.name;
        benchmark::RegisterBenchmark((base + "/ours").c_str(), reduceWith, c, reduceOurs)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((base + "/giflib").c_str(), reduceGiflib, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((base + "/masked").c_str(), reduceWith, c, reduceMasked)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
