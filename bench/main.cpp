// plumora-bench: runs the benchmarks, then prints for every pair
// <Kind>/<case>/ours and <Kind>/<case>/giflib both throughputs and their
// ratio. Absolute times on a shared machine say little; the ratio, measured
// in one run, is what to quote.
#include "benchdata.h"
#include "codecbench.h"
#include "giflibcodec.h"

#include "codecs/gifimage.h"

#include <QFile>

#include <algorithm>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

// The console output as usual, plus each benchmark's items per second. With
// repetitions the median is kept.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> itemsPerSecond;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            const auto counter = run.counters.find("items_per_second");
            if (counter == run.counters.end())
                continue;
            const std::string name = run.run_name.function_name;
            if (median || !medians.count(name))
                itemsPerSecond[name] = counter->second.value;
            if (median)
                medians[name] = true;
        }
    }

private:
    std::map<std::string, bool> medians;
};

void printRatios(const std::map<std::string, double> &itemsPerSecond)
{
    bool header = false;
    for (const auto &[name, ours] : itemsPerSecond) {
        const std::string suffix = "/ours";
        if (name.size() <= suffix.size()
            || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string base = name.substr(0, name.size() - suffix.size());
        const auto peer = itemsPerSecond.find(base + "/giflib");
        if (peer == itemsPerSecond.end() || peer->second <= 0)
            continue;
        if (!header) {
            std::printf("\n%-20s %16s %16s %12s\n", "pair", "ours Mpx/s", "giflib Mpx/s", "ours/giflib");
            header = true;
        }
        std::printf("%-20s %16.2f %16.2f %11.2fx\n", base.c_str(), ours / 1e6, peer->second / 1e6,
            ours / peer->second);
    }
    std::fflush(stdout);
}

// Both encoders must give files that decode to the input pixels, with the
// other side's decoder, or the timings compare different work.
bool encodersAgree(const benchdata::GifCase &data, const QByteArray &ours, const QByteArray &theirs)
{
    const giflibcodec::Decoded oursByGiflib = giflibcodec::decode(ours);
    if (!oursByGiflib.ok || oursByGiflib.frames.size() != data.frames.size())
        return false;
    TGIFImage theirsByUs;
    theirsByUs.ReadFromBuffer(theirs);
    theirsByUs.DecodeFrames();
    if (theirsByUs.FrameCount() != int(data.frames.size()))
        return false;
    for (std::size_t i = 0; i < data.frames.size(); ++i) {
        if (oursByGiflib.frames[i] != data.frames[i].pixels)
            return false;
        const QImage image = theirsByUs.Frames(int(i)).DecodedBitmap().image();
        for (int y = 0; y < image.height(); ++y)
            if (!std::equal(image.constScanLine(y), image.constScanLine(y) + image.width(),
                    data.frames[i].pixels.begin() + std::ptrdiff_t(y) * image.width()))
                return false;
    }
    return true;
}

// What the benchmarks work on, so the numbers can be read in context.
bool checkAndPrintCases()
{
    for (const benchdata::GifCase *data : { &benchdata::photoCase(), &benchdata::animCase() }) {
        TGIFImage gif;
        for (const benchdata::IndexedFrame &frame : data->frames)
            gif.AppendFrame(TBitmap(frame.image, 8));
        const QByteArray ours = gif.WriteToBuffer();
        std::vector<benchdata::IndexedFrame> frames = data->frames;
        const QByteArray theirs = giflibcodec::encode(frames, data->screenWidth, data->screenHeight);
        std::printf("%-9s %3zu frame(s), %lld pixels; encoded by us %lld bytes, by giflib %lld bytes\n",
            data->name.c_str(), data->frames.size(), static_cast<long long>(data->pixels),
            static_cast<long long>(ours.size()), static_cast<long long>(theirs.size()));
        if (!encodersAgree(*data, ours, theirs)) {
            std::fprintf(stderr, "plumora-bench: %s: the encoders' files do not decode to the same pixels\n",
                data->name.c_str());
            return false;
        }
    }
    return true;
}

// --save-gifs=DIR writes the generated GIFs, to profile with other tools.
bool saveGifs(const std::string &folder)
{
    for (const benchdata::GifCase *data : { &benchdata::photoCase(), &benchdata::animCase() }) {
        QFile file(QString::fromStdString(folder + "/" + data->name + ".gif"));
        if (!file.open(QIODevice::WriteOnly) || file.write(data->gif) != data->gif.size()) {
            std::fprintf(stderr, "plumora-bench: cannot write %s\n", qPrintable(file.fileName()));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string saveOption = "--save-gifs=";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(saveOption, 0) == 0)
            return saveGifs(arg.substr(saveOption.size())) ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!checkAndPrintCases())
        return 1;
    registerCodecBenchmarks();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printRatios(reporter.itemsPerSecond);
    return 0;
}
