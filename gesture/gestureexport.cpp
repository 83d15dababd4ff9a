#include "gestureexport.h"

#include "codecs/ansitext.h"
#include "codecs/colorreduction.h"
#include "codecs/gifimage.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"
#include "playback.h"
#include "zqgesture.h"

#include <QHash>

#include <algorithm>

namespace {

// Frames of a GIF that shows each for one tick.
constexpr std::uint16_t kTickDelayMs = 250;

// The strip as a palette picture whose palette holds only colours its pixels
// use: every colour exactly when there are at most 256, else the colour
// reduction's 256, with the transparent colour exact and used by no other
// pixel. Each colour is then one entry, so the transparent colour names
// exactly one index.
QImage paletteStrip(const QImage &strip, TColor transparent)
{
    QHash<QRgb, int> index;
    QVector<QRgb> palette;
    QImage exact(strip.size(), QImage::Format_Indexed8);
    if (exact.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Not enough memory to export the animation"));
    for (int y = 0; y < strip.height() && palette.size() <= 256; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(strip.constScanLine(y));
        uchar *out = exact.scanLine(y);
        for (int x = 0; x < strip.width(); ++x) {
            const QRgb colour = in[x] | 0xFF000000u;
            auto it = index.constFind(colour);
            if (it == index.constEnd()) {
                it = index.insert(colour, int(palette.size()));
                palette.append(colour);
                if (palette.size() > 256)
                    break;
            }
            out[x] = uchar(it.value());
        }
    }
    if (palette.size() <= 256) {
        exact.setColorTable(palette);
        return exact;
    }
    QImage reduced = ReduceColours(TBitmap(strip), 256, transparent).image();
    // Only the entries in use are kept, in their order.
    std::vector<int> remap(256, -1);
    QVector<QRgb> used;
    const QVector<QRgb> table = reduced.colorTable();
    for (int y = 0; y < reduced.height(); ++y) {
        uchar *line = reduced.scanLine(y);
        for (int x = 0; x < reduced.width(); ++x) {
            int &to = remap[line[x]];
            if (to < 0) {
                to = int(used.size());
                used.append(table.value(line[x]));
            }
            line[x] = uchar(to);
        }
    }
    reduced.setColorTable(used);
    return reduced;
}

int paletteDepth(qsizetype colours)
{
    return colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
}

} // namespace

TPlaySchedule PlaySchedule(const TZQGesture &gesture, int loopPasses)
{
    TPlaySchedule schedule;
    const TFrameList *frames = gesture.Frames();
    if (!frames || frames->Count() == 0)
        return schedule;
    TPlaybackOptions options;
    options.frameCount = frames->Count();
    options.animation = gesture.AnimLoopOption();
    options.animLoopFrame = gesture.AnimLoopFrame();
    options.numberOfLoops = std::uint8_t(std::clamp(loopPasses, 1, 99));
    options.audioLoopFrame = gesture.AudioLoopFrame();
    options.audioRepeat = gesture.AudioRepeat();
    options.hasAudio = gesture.HasAudio();
    TPlaybackState state;
    TPlaybackStep step = PlaybackStart(state, options);
    schedule.Frames.push_back(state.currentFrame);
    if (step.playSound)
        schedule.SoundStarts.push_back(0);
    // Every mode ends: a pass shows at most every frame twice.
    const std::size_t limit = std::size_t(options.frameCount) * 2 * (options.numberOfLoops + 1) + 2;
    while (state.running && schedule.Frames.size() < limit) {
        step = PlaybackTick(state, options);
        if (state.running)
            schedule.Frames.push_back(state.currentFrame);
        if (step.playSound)
            schedule.SoundStarts.push_back(int(schedule.Frames.size()) - (state.running ? 1 : 0));
    }
    return schedule;
}

QByteArray EncodeGestureGif(const TZQGesture &gesture, const TGifExportOptions &options,
    TExportSummary *summary, const TImportProgress &progress, const std::atomic<bool> *cancel)
{
    const TFrameList *frames = gesture.Frames();
    if (!frames || frames->Count() == 0)
        throw PlumoraError(QStringLiteral("The gesture has no frames to export"));
    const TColor transparent = gesture.TransparentColor();
    const QImage strip = frames->Strip(transparent);
    if (strip.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Not enough memory to export the animation"));
    const QImage indexed = paletteStrip(strip, transparent);
    const int depth = paletteDepth(indexed.colorCount());
    std::vector<TBitmap> pictures;
    for (int i = 0; i < frames->Count(); ++i)
        pictures.emplace_back(indexed.copy(i * frames->Width(), 0, frames->Width(), frames->Height()), depth);

    // Looped to frame 1, the GIF itself repeats; every other mode is
    // written out as the gesture plays it.
    const bool endless = gesture.AnimLoopOption() == aoLoop && gesture.AnimLoopFrame() <= 1;
    std::vector<int> order;
    if (endless) {
        order.resize(std::size_t(frames->Count()));
        for (int i = 0; i < frames->Count(); ++i)
            order[std::size_t(i)] = i;
    } else {
        order = PlaySchedule(gesture, options.LoopPasses).Frames;
    }

    TGIFImage gif;
    std::vector<int> firstAt(pictures.size(), -1);
    for (const int picture : order) {
        gif.AppendFrame(pictures[std::size_t(picture)]);
        TGIFFrame &frame = gif.Frames(gif.FrameCount() - 1);
        // A frame shown again shares the first showing's encoded data.
        int &first = firstAt[std::size_t(picture)];
        if (first >= 0)
            frame.SharedData = gif.Frames(first).SharedData;
        else
            first = gif.FrameCount() - 1;
        frame.DelayMs = kTickDelayMs;
        frame.TransparentColor = transparent;
        // Each frame is whole: with a transparent colour, the one before is
        // cleared away rather than showing through.
        frame.Disposal = transparent != clNone ? 2 : 1;
    }
    gif.Looping = endless;
    gif.RepeatCount = 0; // with Looping: endless
    if (!gesture.Author().isEmpty())
        gif.Author = toAnsi(gesture.Author());

    // Each picture is encoded once, with its first showing.
    const int distinct = int(std::count_if(firstAt.begin(), firstAt.end(), [](int at) { return at >= 0; }));
    int encoded = 0;
    if (progress)
        progress(TProgressStage::Starting, 0);
    struct End
    {
        const TImportProgress &progress;
        ~End()
        {
            if (progress)
                progress(TProgressStage::Ending, 100);
        }
    } end { progress };
    gif.OnProgress = [&](TProgressStage stage, int, const QString &) {
        if (cancel && cancel->load())
            throw EAbort();
        if (stage == TProgressStage::Ending && progress)
            progress(TProgressStage::Running, std::min(99, ++encoded * 100 / std::max(distinct, 1)));
    };
    gif.EncodeFrames();
    gif.OnProgress = nullptr;
    // All frames share one palette: the first frame's, written as the
    // global colour table, so no frame carries a table of its own.
    for (int i = 0; i < gif.FrameCount(); ++i)
        gif.Frames(i).HasLocalColors = !(gif.Frames(i).SharedData->Colors == gif.Header->GlobalColors);
    const QByteArray bytes = gif.WriteToBuffer();
    if (summary)
        *summary = { int(order.size()), qint64(order.size()) * kTickDelayMs, endless };
    return bytes;
}

TExportSummary ExportGif(const TZQGesture &gesture, const QString &path, const TGifExportOptions &options,
    const TImportProgress &progress, const std::atomic<bool> *cancel)
{
    TExportSummary summary;
    plumora::writeFileAtomically(path, EncodeGestureGif(gesture, options, &summary, progress, cancel));
    return summary;
}
