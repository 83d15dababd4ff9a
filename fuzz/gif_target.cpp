// GIF: everything the program does with a GIF that comes from outside.
#include "codecs/gifanimator.h"
#include "codecs/gifimage.h"
#include "platform/errors.h"
#include "targets.h"

#include <QByteArray>

#include <algorithm>
#include <cstdio>

namespace plumora::fuzz {

namespace {

// Frames composed by the animator per input: enough to pass through every
// disposal method, few enough to keep an input fast.
constexpr int kComposedFrames = 8;
// Full-screen compositions only for screens up to this many pixels.
constexpr qint64 kComposeScreenPixels = 256 * 256;

void decodeEveryFrame(TGIFImage &gif)
{
    for (int i = 0; i < gif.FrameCount(); ++i) {
        TGIFFrame &frame = gif.Frames(i);
        try {
            const TBitmap &bitmap = frame.DecodedBitmap();
            if (!bitmap.isEmpty()) {
                fuzzCheck(bitmap.width() == frame.SharedData->ImageWidth
                        && bitmap.height() == frame.SharedData->ImageHeight,
                    "a decoded frame has the size of its descriptor");
            }
        } catch (const PlumoraError &) {
            // A frame that does not decode reports it; the others still do.
        }
    }
}

void compose(TGIFImage &gif)
{
    TRxGIFAnimator animator;
    animator.setAutoSize(false);
    animator.setBounds(0, 0, 37, 23);
    animator.setStretch(true);
    animator.setImage(gif);
    const int frames = std::min(animator.Image().FrameCount(), kComposedFrames);
    const qint64 screen = qint64(animator.Image().ScreenWidth()) * animator.Image().ScreenHeight();
    for (int k = 0; k < frames; ++k) {
        try {
            const TBitmap shown = animator.GetFrameBitmap(k);
            if (!shown.isEmpty())
                fuzzCheck(shown.width() == 37 && shown.height() == 23, "a shown frame has the client size");
            if (screen <= kComposeScreenPixels) {
                const TBitmap kept = animator.ComposeFrame(k);
                const TBitmap fresh = animator.ComposeFrameFromScratch(k);
                fuzzCheck(
                    kept.toRgb32() == fresh.toRgb32(), "a kept composition equals one made from scratch");
            }
        } catch (const PlumoraError &) {
        }
    }
}

} // namespace

void gifTarget(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    TGIFImage gif;
    try {
        gif.ReadFromBuffer(bytes);
    } catch (const PlumoraError &) {
        return;
    }
    decodeEveryFrame(gif);
    compose(gif);

    QByteArray written;
    try {
        gif.EncodeFrames();
        written = gif.WriteToBuffer();
    } catch (const PlumoraError &) {
        return;
    }
    // What was written reads again, with every frame.
    TGIFImage again;
    try {
        again.ReadFromBuffer(written);
    } catch (const PlumoraError &error) {
        std::fprintf(stderr, "reading the written GIF: %s\n", error.what());
        fuzzCheck(false, "a GIF written from a GIF that was read reads again");
    }
    fuzzCheck(again.FrameCount() == gif.FrameCount(), "a GIF written back keeps its frames");
    fuzzCheck(again.Author == gif.Author, "a GIF written back keeps its author text");
}

} // namespace plumora::fuzz
