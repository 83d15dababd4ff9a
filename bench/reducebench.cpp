// Colour reduction, ours against giflib's quantizer and (to 256 colours)
// against our reduction before its palette followed the pixels ("masked"),
// on a 640 x 480 picture of each kind: the synthetic photo the GIF cases
// start from, a landscape made to look like a photograph, noise, and a few
// frequent colours with a small distant group; the photo also to 16 and 64
// colours. Each reports its time and, as the counter psnr_dB, how close the
// reduced picture stays to the original (peak signal-to-noise ratio over red,
// green and blue).
//
// With PLUMORA_REDUCTION_PICTURES set to a folder, each of our cases also
// writes its picture and our reduction there as <picture>.<colours>.png and
// <picture>.<colours>.ours.png, for tests/data/tools/measure_reduction.sh.
#include "benchdata.h"
#include "codecs/colorreduction.h"
#include "giflibcodec.h"
#include "maskedreduction.h"

#include <QDir>

#include <cmath>
#include <functional>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

namespace {

struct ReduceCase
{
    const char *picture;
    std::function<QImage()> make;
    int colours;
};

const QImage &pictureOf(const ReduceCase &c)
{
    static std::map<std::string, QImage> made;
    QImage &picture = made[c.picture];
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

TBitmap reduceOurs(const TBitmap &picture, int colours)
{
    return ReduceColours(picture, colours);
}

TBitmap reduceMasked(const TBitmap &picture, int)
{
    return TBitmap(maskedReduction(picture.toRgb32()), 8);
}

// Times one of our reductions (today's, or the masked peer).
void reduceWith(benchmark::State &state, const ReduceCase &c, TBitmap (*reduce)(const TBitmap &, int))
{
    const TBitmap picture(pictureOf(c));
    TBitmap reduced;
    for (auto _ : state) {
        reduced = reduce(picture, c.colours);
        benchmark::DoNotOptimize(reduced.image().constBits());
    }
    state.SetItemsProcessed(state.iterations() * picture.width() * picture.height());
    const QImage &out = reduced.image();
    state.counters["psnr_dB"] = psnr(picture.image(), [&out](int x, int y) { return out.pixel(x, y); });
    const QString folder = qEnvironmentVariable("PLUMORA_REDUCTION_PICTURES");
    if (!folder.isEmpty() && reduce != reduceMasked) {
        const QString base = QDir(folder).filePath(QStringLiteral("%1.%2").arg(c.picture).arg(c.colours));
        picture.image().save(base + QStringLiteral(".png"));
        out.save(base + QStringLiteral(".ours.png"));
    }
}

void reduceGiflib(benchmark::State &state, const ReduceCase &c)
{
    const QImage &picture = pictureOf(c);
    const giflibcodec::Planes planes = giflibcodec::planesOf(picture);
    std::vector<std::uint8_t> indexes;
    std::vector<QRgb> palette;
    for (auto _ : state) {
        if (!giflibcodec::quantize(planes, indexes, &palette, c.colours)) {
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
        { "photo640", [] { return benchdata::photo640(); }, 256 },
        { "landscape640", [] { return benchdata::landscapePicture(640, 480); }, 256 },
        { "noise640", [] { return benchdata::noisePicture(640, 480, 5); }, 256 },
        { "bushes640", [] { return benchdata::bushesPicture(640, 480); }, 256 },
        { "photo640", [] { return benchdata::photo640(); }, 64 },
        { "photo640", [] { return benchdata::photo640(); }, 16 },
    };
    for (const ReduceCase &c : cases) {
        std::string base = std::string("Reduce/") + c.picture;
        if (c.colours != 256)
            base += "_" + std::to_string(c.colours) + "colours";
        benchmark::RegisterBenchmark((base + "/ours").c_str(), reduceWith, c, reduceOurs)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((base + "/giflib").c_str(), reduceGiflib, c)
            ->Unit(benchmark::kMillisecond);
        if (c.colours == 256)
            benchmark::RegisterBenchmark((base + "/masked").c_str(), reduceWith, c, reduceMasked)
                ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
