// Clips and sounds through FFmpeg's demuxers and decoders, as Animation Load
// of a clip and Audio Load take them.
#include "gesture/soundfit.h"
#include "media/clipreader.h"
#include "media/soundimport.h"
#include "platform/errors.h"
#include "targets.h"

#include <QByteArray>
#include <QString>

namespace plumora::fuzz {

namespace {

void checkSound(const TFittedSound &sound)
{
    fuzzCheck(sound.Wav.size() <= 65535, "a fitted sound fits its block");
    fuzzCheck(WaveTimingFromHeader(sound.Wav, sound.Wav.size()).has_value(), "a fitted sound is a WAV file");
}

} // namespace

void mediaTarget(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // As a clip: a preview, the first two seconds at the ticks, their sound.
    try {
        TClipReader reader(bytes, QStringLiteral("fuzz"));
        const QImage preview = reader.FrameAt(500, QSize(64, 64));
        fuzzCheck(preview.width() <= 64 && preview.height() <= 64, "a preview fits its bounds");
        const std::vector<QImage> frames = reader.FramesAtTicks({ 0, 2000 });
        fuzzCheck(!frames.empty() && frames.size() <= 8, "a span gives at most one frame a tick");
        for (const QImage &frame : frames)
            fuzzCheck(frame.size() == reader.TickFrameSize(), "frames come at the import's size");
        if (reader.HasSound())
            checkSound(reader.SoundOver({ 0, 2000 }));
    } catch (const PlumoraError &) {
    }
    // As a sound.
    try {
        checkSound(ReadSoundBytes(bytes, QStringLiteral("fuzz")));
    } catch (const PlumoraError &) {
    }
}

} // namespace plumora::fuzz
