// Gesture files: what the open dialog's preview and a gesture window do with
// a file, and saving what was read.
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "targets.h"

#include <QBuffer>

namespace plumora::fuzz {

namespace {

bool readGesture(TZQGesture &gesture, const QByteArray &bytes)
{
    QBuffer stream;
    stream.setData(bytes);
    stream.open(QIODevice::ReadOnly);
    try {
        gesture.ReadGesture(stream);
    } catch (const PlumoraError &) {
        return false;
    }
    return true;
}

} // namespace

void gestureTarget(const std::uint8_t *data, std::size_t size)
{
    initialize();
    TZQGesture gesture;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    readGesture(gesture, bytes);
    // A failed read leaves whatever it had replaced; the program goes on with
    // that state, so it must be usable as well.
    if (!gesture.Valid())
        return;
    gesture.UpdateSizes();
    fuzzCheck(gesture.AnimationSize() >= 0 && gesture.GestureSize() >= 0, "sizes are computed");
    const QImage strip = gesture.RenderStrip();
    Q_UNUSED(strip);

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    try {
        gesture.WriteGesture(out);
    } catch (const PlumoraError &) {
        // Refused (a limit of the file format): nothing was written.
        fuzzCheck(out.data().isEmpty(), "a refused save writes nothing");
        return;
    }
    TZQGesture again;
    fuzzCheck(readGesture(again, out.data()), "a gesture written from one that was read reads again");
    fuzzCheck(again.Valid(), "a saved gesture is valid");
    const TFrameList &before = *gesture.Frames();
    const TFrameList &after = *again.Frames();
    fuzzCheck(after.Count() == before.Count() && after.Width() == before.Width()
            && after.Height() == before.Height(),
        "a saved gesture keeps its frames");
    fuzzCheck(again.AnimLoopOption() == gesture.AnimLoopOption(), "a saved gesture keeps its loop option");
    fuzzCheck(again.TransparentColor() == gesture.TransparentColor(),
        "a saved gesture keeps its transparent colour");
    fuzzCheck(again.HasAudio() == gesture.HasAudio() && again.AudioData() == gesture.AudioData(),
        "a saved gesture keeps its sound");
    fuzzCheck(again.Tagline() == gesture.Tagline(), "a saved gesture keeps its tagline");
    fuzzCheck(again.Glyph().isEmpty() == gesture.Glyph().isEmpty(),
        "a saved gesture keeps its button picture, or its lack of one");
}

} // namespace plumora::fuzz
