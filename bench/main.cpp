// plumora-bench: runs the benchmarks, then prints on standard error for every
// pair (<Kind>/<case>/ours against <Kind>/<case>/giflib, a gesture operation
// against one plain encode of its strip) both CPU times and their ratio.
// Absolute times on a shared machine say little; the ratio, measured in one
// run, is what to quote.
#include "benchdata.h"
#include "codecbench.h"
#include "codecs/gifimage.h"
#include "giflibcodec.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

namespace {

// Forwards everything to the benchmark library's own display reporter (so
// --benchmark_format=json stays valid JSON) and keeps each benchmark's CPU
// time per iteration in seconds (its real time when it measures that). With
// repetitions the median is kept.
class TimeCollector : public benchmark::BenchmarkReporter
{
public:
    explicit TimeCollector(benchmark::BenchmarkReporter *display) : display(display) { }

    std::map<std::string, double> seconds;

    bool ReportContext(const Context &context) override
    {
        display->SetOutputStream(&GetOutputStream());
        display->SetErrorStream(&GetErrorStream());
        return display->ReportContext(context);
    }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        display->ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            const std::string name = run.run_name.function_name;
            if (!median && medians.count(name))
                continue;
            // Benchmarks whose work runs on other threads (FFmpeg's decoders)
            // measure, and are compared by, the time until it is done.
            const bool realTime = !run.run_name.time_type.empty();
            seconds[name] = (realTime ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime())
                / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (median)
                medians[name] = true;
        }
    }

    void Finalize() override { display->Finalize(); }

private:
    std::unique_ptr<benchmark::BenchmarkReporter> display;
    std::map<std::string, bool> medians;
};

// The peer a benchmark is measured against: <base>/ours against <base>/giflib
// (or another peer named in the same family), Gesture/<op>/<case> against
// Gesture/PlainEncode/<case>.
std::vector<std::pair<std::string, std::string>> pairsOf(const std::map<std::string, double> &seconds)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    const std::string ours = "/ours";
    const std::string gesture = "Gesture/";
    for (const auto &[name, time] : seconds) {
        if (name.size() > ours.size() && name.compare(name.size() - ours.size(), ours.size(), ours) == 0) {
            const std::string base = name.substr(0, name.size() - ours.size() + 1);
            for (const auto &[peer, peerTime] : seconds)
                if (peer != name && peer.rfind(base, 0) == 0
                    && peer.find('/', base.size()) == std::string::npos)
                    pairs.emplace_back(name, peer);
        } else if (name.rfind(gesture, 0) == 0) {
            const std::size_t slash = name.find('/', gesture.size());
            if (slash == std::string::npos)
                continue;
            const std::string peer = gesture + "PlainEncode" + name.substr(slash);
            if (peer != name && seconds.count(peer))
                pairs.emplace_back(name, peer);
        }
    }
    return pairs;
}

// The pairs' CPU times and their ratio, on standard error so that standard
// output is the benchmark library's alone. "time ratio" is ours / peer (below
// 1 is faster); "speed-up" is its inverse.
void printRatios(const std::map<std::string, double> &seconds)
{
    const auto pairs = pairsOf(seconds);
    if (pairs.empty())
        return;
    std::fprintf(stderr, "\n%-40s %-36s %10s %10s %11s %9s\n", "ours", "peer", "ours ms", "peer ms",
        "time ratio", "speed-up");
    for (const auto &[ours, peer] : pairs) {
        const double a = seconds.at(ours);
        const double b = seconds.at(peer);
        if (a <= 0 || b <= 0)
            continue;
        std::fprintf(stderr, "%-40s %-36s %10.3f %10.3f %10.2fx %8.2fx\n", ours.c_str(), peer.c_str(),
            a * 1e3, b * 1e3, a / b, b / a);
    }
    std::fflush(stderr);
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
    for (const benchdata::GifCase *data :
        { &benchdata::photoCase(), &benchdata::animCase(), &benchdata::smallFramesCase() }) {
        TGIFImage gif;
        for (const benchdata::IndexedFrame &frame : data->frames)
            gif.AppendFrame(TBitmap(frame.image, 8));
        const QByteArray ours = gif.WriteToBuffer();
        std::vector<benchdata::IndexedFrame> frames = data->frames;
        const QByteArray theirs = giflibcodec::encode(frames, data->screenWidth, data->screenHeight);
        std::fprintf(stderr,
            "%-9s %3zu frame(s), %lld pixels; encoded by us %lld bytes, by giflib %lld bytes\n",
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
    for (const benchdata::GifCase *data :
        { &benchdata::photoCase(), &benchdata::animCase(), &benchdata::smallFramesCase() }) {
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
    TimeCollector reporter(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printRatios(reporter.seconds);
    return 0;
}
