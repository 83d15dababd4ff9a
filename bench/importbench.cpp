// Importing an animated GIF into composed frames, as the gesture window does
// it (read, decode every frame, hand out every composed frame), against
// giflib's plain decode of the same file and against composing every frame
// afresh. Names are Import/<case>/<ours|giflib|quadratic>; items are frames.
//
// The animations are written by giflib's encoder at start-up: a full first
// frame, then frames of varied sizes at varied places with disposal methods
// 0 to 3 in turn, every third one with a local colour table of 16 or 256
// entries. The anim cases are 320 x 240, every other frame with a
// transparent index. The small cases are 64 x 48 with a transparent index on
// the last frame only (so that a check for one looks through every frame),
// imported by the import's own composing step (frame list, progress and
// all), so that their cost per frame shows the import's overhead beside the
// decoding.
#include "codecs/gifanimator.h"
#include "codecs/gifimage.h"
#include "gesture/animationimport.h"

#include <QByteArray>
#include <QHash>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <benchmark/benchmark.h>
#include <gif_lib.h>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kSmallWidth = 64;
constexpr int kSmallHeight = 48;

// A small deterministic generator, so every run writes the same file.
struct Random
{
    std::uint32_t state;
    std::uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int below(int n) { return int(next() % std::uint32_t(n)); }
};

int writeToBuffer(GifFileType *gif, const GifByteType *bytes, int length)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(bytes), length);
    return length;
}

ColorMapObject *makeMap(int count, Random &random)
{
    std::vector<GifColorType> colours(static_cast<std::size_t>(count));
    for (GifColorType &c : colours)
        c = { GifByteType(random.below(256)), GifByteType(random.below(256)),
            GifByteType(random.below(256)) };
    return GifMakeMapObject(count, colours.data());
}

// Smooth bands with a little noise: compresses somewhat, like drawn
// animation frames.
void fillRow(std::vector<GifPixelType> &row, int y, int seed, int colours, Random &random)
{
    for (std::size_t x = 0; x < row.size(); ++x)
        row[x] = GifPixelType(
            ((int(x) / 6 + y / 5 + seed) + (random.below(8) == 0 ? random.below(4) : 0)) % colours);
}

// The animation, written by giflib in memory; frame sizes scale with the
// screen.
QByteArray makeAnimation(int frames, int screenWidth, int screenHeight)
{
    const bool small = screenWidth != kWidth;
    QByteArray out;
    Random random { 0x9E3779B9u ^ std::uint32_t(frames) };
    int error = 0;
    GifFileType *gif = EGifOpen(&out, writeToBuffer, &error);
    if (!gif)
        return {};
    EGifSetGifVersion(gif, true);
    ColorMapObject *global = makeMap(256, random);
    bool ok = EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, global) == GIF_OK;
    const GifByteType loop[3] = { 1, 0, 0 };
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK
        && EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK
        && EGifPutExtensionBlock(gif, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;

    std::vector<GifPixelType> row;
    for (int i = 0; ok && i < frames; ++i) {
        int left = 0, top = 0, width = screenWidth, height = screenHeight;
        if (i > 0) {
            width = 24 * screenWidth / kWidth + random.below(200 * screenWidth / kWidth);
            height = 16 * screenHeight / kHeight + random.below(150 * screenHeight / kHeight);
            left = random.below(screenWidth - width + 1);
            top = random.below(screenHeight - height + 1);
        }
        const int localColours = i % 3 == 1 ? 16 : i % 3 == 2 ? 256 : 0;
        ColorMapObject *local = localColours ? makeMap(localColours, random) : nullptr;

        GraphicsControlBlock control {};
        control.DisposalMode = i == 0 ? DISPOSE_DO_NOT : i % 4;
        control.DelayTime = 4;
        const bool keyed = small ? i == frames - 1 : i % 2 == 1;
        control.TransparentColor = keyed ? 0 : NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK
            && EGifPutImageDesc(gif, left, top, width, height, false, local) == GIF_OK;
        row.resize(std::size_t(width));
        for (int y = 0; ok && y < height; ++y) {
            fillRow(row, y, i * 7, localColours ? localColours : 256, random);
            ok = EGifPutLine(gif, row.data(), width) == GIF_OK;
        }
        if (local)
            GifFreeMapObject(local);
    }
    GifFreeMapObject(global);
    if (EGifCloseFile(gif, &error) != GIF_OK || !ok)
        return {};
    return out;
}

const QByteArray &animation(int frames, int screenWidth = kWidth, int screenHeight = kHeight)
{
    static std::map<std::tuple<int, int, int>, QByteArray> made;
    const auto key = std::make_tuple(frames, screenWidth, screenHeight);
    auto it = made.find(key);
    if (it == made.end())
        it = made.emplace(key, makeAnimation(frames, screenWidth, screenHeight)).first;
    return it->second;
}

struct Source
{
    const QByteArray *bytes;
    qsizetype pos;
};

int readFromBuffer(GifFileType *gif, GifByteType *buffer, int length)
{
    auto *source = static_cast<Source *>(gif->UserData);
    const qsizetype n = std::min<qsizetype>(length, source->bytes->size() - source->pos);
    std::memcpy(buffer, source->bytes->constData() + source->pos, size_t(n));
    source->pos += n;
    return int(n);
}

// giflib's DGifSlurp from memory; the number of frames decoded (0 on failure).
int giflibDecode(const QByteArray &bytes)
{
    Source source { &bytes, 0 };
    int error = 0;
    GifFileType *gif = DGifOpen(&source, readFromBuffer, &error);
    if (!gif)
        return 0;
    const int frames = DGifSlurp(gif) == GIF_OK ? gif->ImageCount : 0;
    if (frames > 0)
        benchmark::DoNotOptimize(gif->SavedImages[frames - 1].RasterBits[0]);
    DGifCloseFile(gif, &error);
    return frames;
}

// What the import does with a GIF file of several frames: read, decode, then
// every composed frame at the control's size (here the screen's own size).
template <typename Handout> bool import(const QByteArray &bytes, int frames, Handout handout)
{
    TRxGIFAnimator animator;
    animator.Image().ReadFromBuffer(bytes);
    if (animator.Image().FrameCount() != frames)
        return false;
    animator.setBounds(0, 0, kWidth, kHeight);
    animator.setStretch(true);
    animator.setTransparent(false);
    animator.Image().DecodeFrames();
    for (int i = 0; i < frames; ++i)
        handout(animator, i);
    return true;
}

void importOurs(benchmark::State &state, int frames)
{
    const QByteArray &bytes = animation(frames);
    for (auto _ : state) {
        const bool ok = import(bytes, frames, [](TRxGIFAnimator &a, int i) {
            const TBitmap bitmap = a.GetFrameBitmap(i);
            benchmark::DoNotOptimize(bitmap.image().constBits());
        });
        if (!ok) {
            state.SkipWithError("the animation did not read as written");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

void importGiflib(benchmark::State &state, int frames, int screenWidth, int screenHeight)
{
    const QByteArray &bytes = animation(frames, screenWidth, screenHeight);
    for (auto _ : state) {
        if (giflibDecode(bytes) != frames) {
            state.SkipWithError("giflib could not decode the animation");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

// The import's own work on a small-framed animation, from the file's bytes
// to the frame list: read, fit, decode and compose every frame (the frame
// limit of a gesture aside, which the import applies before this step).
void importSmallOurs(benchmark::State &state, int frames)
{
    const QByteArray &bytes = animation(frames, kSmallWidth, kSmallHeight);
    int percent = 0;
    const TImportProgress progress = [&percent](TProgressStage, int value) { percent = value; };
    for (auto _ : state) {
        TRxGIFAnimator animator;
        animator.Image().ReadFromBuffer(bytes);
        const QSize size = FitToPreview(animator.Image().ScreenWidth(), animator.Image().ScreenHeight());
        animator.setBounds(0, 0, size.width(), size.height());
        animator.setStretch(true);
        animator.setTransparent(false);
        const std::unique_ptr<TFrameList> list = ComposeFrames(animator, frames, progress);
        if (list->Count() != frames || percent != 100) {
            state.SkipWithError("the animation did not compose as written");
            return;
        }
        benchmark::DoNotOptimize(list->Picture(frames - 1).constBits());
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

// Every frame composed afresh from the start frame. The frames are checked
// once against the kept composition's, so the two are known to agree.
void importQuadratic(benchmark::State &state, int frames)
{
    const QByteArray &bytes = animation(frames);
    std::vector<std::size_t> fast;
    import(bytes, frames, [&fast](TRxGIFAnimator &a, int i) {
        const QImage image = a.GetFrameBitmap(i).image();
    fast.push_back(qHashBits(image.constBits(), std::size_t(image.sizeInBytes())));
});
bool same = true;
for (auto _ : state) {
    const bool ok = import(bytes, frames, [&](TRxGIFAnimator &a, int i) {
        const QImage image = a.GetFrameBitmapFromScratch(i).image();
        if (same && std::size_t(i) < fast.size())
            same = qHashBits(image.constBits(), std::size_t(image.sizeInBytes())) == fast[std::size_t(i)];
    });
    if (!ok || !same) {
        state.SkipWithError("the plain composition differs from the kept one");
        return;
    }
}
state.SetItemsProcessed(state.iterations() * frames);
} // namespace

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("Import/anim300/ours", importOurs, 300)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Import/anim300/giflib", importGiflib, 300, kWidth, kHeight)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Import/anim300/quadratic", importQuadratic, 300)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Import/anim100/ours", importOurs, 100)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Import/anim1000/ours", importOurs, 1000)->Unit(benchmark::kMillisecond);
    for (int frames : { 100, 1000, 10000 }) {
        const std::string base = "Import/small" + std::to_string(frames);
        benchmark::RegisterBenchmark((base + "/ours").c_str(), importSmallOurs, frames)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(
            (base + "/giflib").c_str(), importGiflib, frames, kSmallWidth, kSmallHeight)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
