// The gesture component's costly operations: UpdateSizes, SaveToFile,
// LoadFromFile (as the editor opens a file, sizes included) and LoadNoSizes
// (as the open dialog previews one), each against one plain GIF encode of the
// same strip (Gesture/PlainEncode/<case>: CopyFrom, EncodeFrames,
// WriteToBuffer). Names are Gesture/<operation>/<case>; items are frames.
//
// The component keeps the encoded strip until the frames change, so
// UpdateSizes and SaveToFile edit the frame list before every run (the last
// frame taken out and put back), as after an import or a frame edit: what is
// measured is the whole work. SetGlyph measures the other case, a new button
// picture on unchanged frames (after an import the window sets one and then
// updates the sizes again).
//
// Cases:
// - anim64x64x100: 100 frames of 64 x 64, a drawn animation (flat colours,
//   a ball and a bar moving over a background that is the transparent colour);
// - anim255x225x160: the same drawing on 160 frames of 255 x 225, a strip of
//   36.7 MB in 32 bits, beyond the size from which the C library maps every
//   allocation afresh;
// - tiny6x6x10000: 10,000 frames of 6 x 6 (a strip of 60,000 x 6, about the
//   widest a gesture holds), where the cost per frame shows rather than the
//   cost per pixel;
// - photo255x225x20: 20 frames of 255 x 225 panned across a photo-like
//   picture, no transparent colour. Its strip encodes to far more than a
//   gesture file holds, so SaveToFile measures the refused attempt and there
//   is nothing to load;
// - photo255x225x1: the first of those frames alone, which fits.
//
// The UpdateSizes benchmark also reports `plainEncodes`: its time per
// iteration divided by that of one plain encode of the strip, measured right
// after it. The component encodes the strip once and the 18 x 18 button once,
// so about 1 is expected, and more means work beyond encoding.
#include "benchdata.h"
#include "codecs/gifimage.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

namespace {

// The gesture cases run under a QGuiApplication on the offscreen platform, as
// the editor's gestures do under its application (the busy cursor while a
// gesture is written); made on first use, so the codec benchmarks run without one.
void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "plumora-bench";
    static char *argv[] = { name, nullptr };
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(argc, argv);
}

struct GestureCase
{
    std::string name;
    TFrameList frames { 1, 1 };
    TColor transparent = clNone;
    QString file; // the gesture as saved, empty when it cannot be saved
    QString refusal; // why SaveToFile refused it
};

constexpr TColor kBackground = RGBColor(255, 0, 255);

// A ball and a bar moving over the transparent background; the drawing is
// laid out for 64 x 64 and scaled to the frame size.
TFrameList drawnAnimation(int w, int h, int count)
{
    TFrameList frames(w, h);
    for (int i = 0; i < count; ++i) {
        QImage frame(w, h, QImage::Format_RGB32);
        frame.fill(toQRgb(kBackground));
        QPainter painter(&frame);
        painter.scale(w / 64.0, h / 64.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(40, 40, 160));
        painter.drawRect(0, 48 + (i % 10), 64, 4);
        painter.setBrush(QColor(230, 60, 30));
        const int x = (i * 5) % 56;
        const int y = 40 - ((i * 7) % 40);
        painter.drawEllipse(x, y, 12, 12);
        painter.setBrush(QColor(255, 220, 40));
        painter.drawEllipse(x + 3, y + 3, 4, 4);
        painter.end();
        frames.Add(frame, kBackground);
    }
    return frames;
}

// Frames of 6 x 6 with a dot of one of seven colours wandering over the
// transparent background.
TFrameList tinyFrames(int count)
{
    TFrameList frames(6, 6);
    for (int i = 0; i < count; ++i) {
        QImage frame(6, 6, QImage::Format_RGB32);
        frame.fill(toQRgb(kBackground));
        frame.setPixel(i % 6, (i / 6) % 6, qRgb(30 * (i % 7), 200 - 25 * (i % 7), 90));
        frames.Add(frame, kBackground);
    }
    return frames;
}

TFrameList photoPan(int count)
{
    const QImage scene = benchdata::syntheticPhoto(255 + 19 * 6, 225 + 19 * 4, 11, 6);
    TFrameList frames(255, 225);
    for (int i = 0; i < count; ++i)
        frames.Add(scene.copy(i * 6, i * 4, 255, 225), clNone);
    return frames;
}

void fill(TZQGesture &gesture, const GestureCase &data)
{
    gesture.setFrames(std::make_unique<TFrameList>(data.frames));
    gesture.setTransparentColor(data.transparent);
    gesture.setTagline(QStringLiteral("A gesture to measure"));
    gesture.SetAuthor(QStringLiteral("plumora-bench"));
    QImage button(18, 18, QImage::Format_RGB32);
    button.fill(QColor(200, 120, 40));
    gesture.setGlyph(TBitmap(button));
}

// The saved gestures live here for the run and go with it.
QString benchFolder()
{
    static QTemporaryDir folder;
    return folder.path();
}

GestureCase makeCase(const std::string &name, TFrameList frames, TColor transparent)
{
    GestureCase data { name, std::move(frames), transparent, {}, {} };
    TZQGesture gesture;
    fill(gesture, data);
    gesture.UpdateSizes();
    const QString path = QDir(benchFolder()).filePath(QString::fromStdString(name) + QStringLiteral(".zqa"));
    try {
        gesture.SaveToFile(path);
        data.file = path;
    } catch (const PlumoraError &error) {
        data.refusal = error.message();
    }
    std::fprintf(stderr, "%-16s %5d frame(s) of %d x %d; animation %d bytes, gesture %d bytes%s\n",
        name.c_str(), data.frames.Count(), data.frames.Width(), data.frames.Height(), gesture.AnimationSize(),
        gesture.GestureSize(), data.file.isEmpty() ? " (too large to save)" : "");
    return data;
}

const GestureCase &animCase()
{
    ensureApplication();
    static const GestureCase data = makeCase("anim64x64x100", drawnAnimation(64, 64, 100), kBackground);
    return data;
}

const GestureCase &largeAnimCase()
{
    ensureApplication();
    static const GestureCase data = makeCase("anim255x225x160", drawnAnimation(255, 225, 160), kBackground);
    return data;
}

const GestureCase &tinyCase()
{
    ensureApplication();
    static const GestureCase data = makeCase("tiny6x6x10000", tinyFrames(10000), kBackground);
    return data;
}

const GestureCase &photoCase()
{
    ensureApplication();
    static const GestureCase data = makeCase("photo255x225x20", photoPan(20), clNone);
    return data;
}

// The photo-like strip of 20 frames encodes far beyond the 65535 bytes a
// gesture file holds for the animation, so it cannot be saved or loaded;
// one such frame is the largest photo-like gesture that fits.
const GestureCase &photoFrameCase()
{
    ensureApplication();
    static const GestureCase data = makeCase("photo255x225x1", photoPan(1), clNone);
    return data;
}

QByteArray plainEncode(const QImage &strip)
{
    TGIFImage gif;
    gif.CopyFrom(TBitmap(strip));
    gif.Transparent = false;
    gif.EncodeFrames();
    return gif.WriteToBuffer();
}

void plainEncodeBench(benchmark::State &state, const GestureCase &(*which)())
{
    const GestureCase &data = which();
    TZQGesture gesture;
    fill(gesture, data);
    const QImage strip = gesture.RenderStrip();
    for (auto _ : state)
        benchmark::DoNotOptimize(plainEncode(strip).size());
    state.SetItemsProcessed(state.iterations() * data.frames.Count());
}

// An edit of the frame list that leaves the same frames: the last one taken
// out and put back.
void touchFrames(TZQGesture &gesture)
{
    const TFrameList &frames = *gesture.Frames();
    const int last = frames.Count() - 1;
    const QImage picture = frames.Picture(last);
    const TColor mask = frames.MaskColor(last);
    gesture.DeleteFrame(last);
    gesture.InsertFrame(last, picture, mask);
}

void updateSizesBench(benchmark::State &state, const GestureCase &(*which)())
{
    const GestureCase &data = which();
    TZQGesture gesture;
    fill(gesture, data);
    // Process CPU time, like the benchmark's own figure, so that other work
    // on a shared machine does not skew the ratio.
    const std::clock_t start = std::clock();
    for (auto _ : state) {
        touchFrames(gesture);
        gesture.UpdateSizes();
        benchmark::DoNotOptimize(gesture.GestureSize());
    }
    const double perUpdate = double(std::clock() - start) / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * data.frames.Count());

    // One plain encode of the same strip, timed the same way, for scale.
    const QImage strip = gesture.RenderStrip();
    const int encodes = std::max(3, int(state.iterations()));
    const std::clock_t encodeStart = std::clock();
    for (int i = 0; i < encodes; ++i)
        benchmark::DoNotOptimize(plainEncode(strip).size());
    const double perEncode = double(std::clock() - encodeStart) / encodes;
    state.counters["plainEncodes"] = perUpdate / perEncode;
}

// A gesture too large for the file is encoded in full before the refusal;
// that attempt is what is measured then (labelled "refused").
void saveBench(benchmark::State &state, const GestureCase &(*which)())
{
    const GestureCase &data = which();
    TZQGesture gesture;
    fill(gesture, data);
    const QString path
        = QDir(benchFolder()).filePath(QString::fromStdString(data.name) + QStringLiteral(".saved"));
    for (auto _ : state) {
        touchFrames(gesture);
        try {
            gesture.SaveToFile(path);
        } catch (const PlumoraError &) {
            if (data.file.isEmpty())
                continue;
            state.SkipWithError("the gesture was saved once and is refused now");
            return;
        }
    }
    if (data.file.isEmpty())
        state.SetLabel("refused: too large for a gesture file");
    state.SetItemsProcessed(state.iterations() * data.frames.Count());
}

// A new button picture on unchanged frames: the sizes are updated without
// encoding the strip again.
void setGlyphBench(benchmark::State &state, const GestureCase &(*which)())
{
    const GestureCase &data = which();
    TZQGesture gesture;
    fill(gesture, data);
    QImage button(18, 18, QImage::Format_RGB32);
    int shade = 0;
    for (auto _ : state) {
        button.fill(QColor(shade, 120, 40));
        shade = (shade + 1) % 256;
        gesture.setGlyph(TBitmap(button));
        benchmark::DoNotOptimize(gesture.GestureSize());
    }
    state.SetItemsProcessed(state.iterations() * data.frames.Count());
}

// As the editor opens a file (sizes recomputed), or with sizeUpdate off as
// the open dialog previews one.
void loadBench(benchmark::State &state, const GestureCase &(*which)(), bool sizeUpdate)
{
    const GestureCase &data = which();
    if (data.file.isEmpty()) {
        state.SkipWithError(("no file to load: " + data.refusal.toStdString()).c_str());
        return;
    }
    for (auto _ : state) {
        TZQGesture gesture;
        gesture.NoSizeUpdate = !sizeUpdate;
        gesture.LoadFromFile(data.file);
        if (!gesture.Valid()) {
            state.SkipWithError("the saved gesture does not load");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * data.frames.Count());
}

[[maybe_unused]] const bool registered = [] {
    struct Case
    {
        const char *name;
        const GestureCase &(*which)();
        bool loads; // false for a gesture too large to be saved
    };
    const Case cases[] = {
        { "anim64x64x100", animCase, true },
        { "anim255x225x160", largeAnimCase, true },
        { "tiny6x6x10000", tinyCase, true },
        { "photo255x225x20", photoCase, false },
        { "photo255x225x1", photoFrameCase, true },
    };
    for (const Case &c : cases) {
        const std::string suffix = std::string("/") + c.name;
        benchmark::RegisterBenchmark(("Gesture/PlainEncode" + suffix).c_str(), plainEncodeBench, c.which)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Gesture/UpdateSizes" + suffix).c_str(), updateSizesBench, c.which)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Gesture/SaveToFile" + suffix).c_str(), saveBench, c.which)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Gesture/SetGlyph" + suffix).c_str(), setGlyphBench, c.which)
            ->Unit(benchmark::kMillisecond);
        if (!c.loads)
            continue;
        benchmark::RegisterBenchmark(("Gesture/LoadFromFile" + suffix).c_str(), loadBench, c.which, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Gesture/LoadNoSizes" + suffix).c_str(), loadBench, c.which, false)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
