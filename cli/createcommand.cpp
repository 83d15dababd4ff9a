// The create command: assemble a gesture file from a picture (and optionally
// a button picture and a sound) with the editor's own import, so that the
// same files and choices give the same gesture as the gesture window makes.
#include "codecs/ansitext.h"
#include "codecs/pictureio.h"
#include "codecs/picturekind.h"
#include "command.h"
#include "gesture/animationfit.h"
#include "gesture/animationimport.h"
#include "gesture/buttonfit.h"
#include "gesture/zqgesture.h"
#include "media/clipreader.h"
#include "media/soundimport.h"
#include "platform/errors.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <optional>

namespace cli {

// The topic table this file adds to the command list.
std::span<const Command> createCommands();

namespace {

void requireAtMostOne(const Arguments &args, std::initializer_list<const char *> names)
{
    QStringList given;
    for (const char *name : names)
        if (args.has(QLatin1String(name)))
            given << QStringLiteral("--") + QLatin1String(name);
    if (given.size() > 1)
        throw UsageError(
            QStringLiteral("%1 cannot be given together").arg(given.join(QStringLiteral(" and "))));
}

// A whole number from 1 up, or nothing when the option is absent.
std::optional<int> positiveOption(const Arguments &args, const QString &name)
{
    if (!args.has(name))
        return std::nullopt;
    bool ok = false;
    const int value = args.value(name).toInt(&ok);
    if (!ok || value < 1)
        throw UsageError(
            QStringLiteral("--%1 needs a whole number from 1 up, not \"%2\"").arg(name, args.value(name)));
    return value;
}

// Gesture texts are stored as at most 255 Windows-1252 bytes; a text that
// would come back different is refused rather than cut or altered.
QString storableText(const Arguments &args, const QString &name)
{
    const QString text = args.value(name);
    const QByteArray bytes = toAnsi(text);
    if (fromAnsi(bytes) != text)
        throw UsageError(QStringLiteral("--%1 holds characters a gesture cannot store (it keeps "
                                        "Windows-1252 text)")
                             .arg(name));
    if (bytes.size() > 255)
        throw UsageError(QStringLiteral("--%1 is %2 characters long; a gesture keeps at most 255")
                             .arg(name)
                             .arg(bytes.size()));
    return text;
}

// A time in ms: seconds ("12.5"), minutes and seconds ("1:02.5") or hours,
// minutes and seconds ("1:00:00"); nothing when the option is absent.
std::optional<qint64> timeOption(const Arguments &args, const QString &name)
{
    if (!args.has(name))
        return std::nullopt;
    const QString text = args.value(name);
    const QStringList parts = text.split(QLatin1Char(':'));
    double seconds = 0;
    bool ok = parts.size() <= 3;
    for (qsizetype i = 0; ok && i < parts.size(); ++i) {
        const bool last = i == parts.size() - 1;
        const double value = last ? parts[i].toDouble(&ok) : double(parts[i].toUInt(&ok));
        ok = ok && value >= 0 && (i == 0 || value < 60) && std::isfinite(value);
        seconds = seconds * 60 + value;
    }
    if (!ok || seconds > 1e9)
        throw UsageError(
            QStringLiteral("--%1 needs a time in seconds (12.5) or minutes and seconds (1:02.5), "
                           "not \"%2\"")
                .arg(name, text));
    return qint64(std::llround(seconds * 1000));
}

// The imported frames made to fit the file's animation block: found by the
// automatic fit, or as the knobs say. transparent and author are what the
// gesture will have, since both go into the block. Returns the colours the
// animation was reduced to (256: its own).
int fitAnimation(
    const Arguments &args, TImportedAnimation &animation, TColor transparent, const QString &author)
{
    const std::optional<int> scale = wholeOption(args, QStringLiteral("scale"), 1, 100);
    const std::optional<int> colours = wholeOption(args, QStringLiteral("colors"), 2, 256);
    const std::optional<int> every = positiveOption(args, QStringLiteral("every"));
    const bool automatic = args.has(QStringLiteral("fit"));
    if (!automatic && !scale && !colours && !every)
        return 256;
    std::unique_ptr<TFrameList> frames = std::move(animation.Frames);
    if (every) {
        const TAnimationFit fit(*frames, transparent, author);
        TFitSettings s = fit.Unchanged();
        s.every = *every;
        frames = fit.Make(s);
    }
    const TAnimationFit fit(*frames, transparent, author);
    TFitSettings s = fit.Unchanged();
    if (automatic) {
        s = fit.Auto().settings;
    } else {
        if (scale)
            s.frameWidth = std::max(1, int(std::lround(fit.SourceSize().width() * *scale / 100.0)));
        if (colours)
            s.colours = *colours;
    }
    animation.Frames = fit.Make(s);
    animation.FrameSize = QSize(animation.Frames->Width(), animation.Frames->Height());
    return s.colours;
}

// A frame number (counted from 1) of the animation, stored in one byte.
std::uint8_t frameNumber(const QString &option, int value, int frameCount)
{
    if (value > frameCount)
        throw PlumoraError(
            QStringLiteral("--%1 %2: the animation has %3 frames").arg(option).arg(value).arg(frameCount));
    if (value > 255)
        throw PlumoraError(
            QStringLiteral("--%1 %2: a gesture counts frames up to 255").arg(option).arg(value));
    return std::uint8_t(value);
}

int runCreate(const Arguments &args, Console &io)
{
    const QString target = args.positional.first();
    if (!args.has(QStringLiteral("animation")))
        throw UsageError(QStringLiteral("--animation FILE is required"));
    requireAtMostOne(args, { "frames", "frame-width" });
    requireAtMostOne(args, { "button", "auto-button" });
    requireAtMostOne(args, { "once", "loop", "reverse" });
    requireAtMostOne(args, { "transparent", "transparent-from-gif" });
    requireAtMostOne(args, { "fit", "scale" });
    requireAtMostOne(args, { "fit", "colors" });

    const QString animationPath = args.value(QStringLiteral("animation"));
    std::optional<TFrameSplit> split;
    if (const auto n = positiveOption(args, QStringLiteral("frames")))
        split = TFrameSplit { TFrameSplit::FrameCount, *n };
    if (const auto w = positiveOption(args, QStringLiteral("frame-width")))
        split = TFrameSplit { TFrameSplit::FrameWidth, *w };
    const std::optional<int> loopFrame = positiveOption(args, QStringLiteral("loop"));
    const std::optional<int> audioFrame = positiveOption(args, QStringLiteral("audio-frame"));
    const TColor transparent = colourOption(args, QStringLiteral("transparent"), clNone);
    const QString tagline = storableText(args, QStringLiteral("tagline"));
    const QString author = storableText(args, QStringLiteral("author"));

    // The sound goes first: one too long for a gesture is refused (from the
    // length its file states, where it states one) before any picture is
    // read or cut.
    TZQGesture gesture;
    gesture.NoSizeUpdate = true;
    std::optional<TFittedSound> sound;
    if (args.has(QStringLiteral("sound"))) {
        sound = ReadSoundFile(args.value(QStringLiteral("sound")), kMaxBlockBytes);
        gesture.SetAudio(sound->Wav);
    }

    const bool firstFrames = args.has(QStringLiteral("first-frames"));
    const bool clip = AnimationSourceOf(animationPath) == TAnimationSource::Clip;
    const std::optional<qint64> start = timeOption(args, QStringLiteral("start"));
    const std::optional<qint64> end = timeOption(args, QStringLiteral("end"));
    if (!clip && (start || end || args.has(QStringLiteral("no-clip-sound"))))
        throw PlumoraError(QStringLiteral("%1 is a picture; --start, --end and --no-clip-sound choose from a "
                                          "video clip")
                               .arg(QDir::toNativeSeparators(animationPath)));
    if (!clip && QFileInfo(animationPath).isFile() && PictureKindOf(animationPath) == TPictureKind::Unknown)
        throw PlumoraError(QStringLiteral("%1: it is neither a picture nor a video clip that Plumora reads")
                               .arg(QDir::toNativeSeparators(animationPath)));
    std::optional<TImportedAnimation> animation;
    std::optional<TClipImport> clipImport;
    bool asked = false;
    if (clip) {
        if (split)
            throw PlumoraError(
                QStringLiteral("%1 is a video clip; --frames and --frame-width cut single pictures "
                               "only")
                    .arg(QDir::toNativeSeparators(animationPath)));
        if (start && end && *end <= *start)
            throw UsageError(QStringLiteral("--end must come after --start"));
        TClipReader reader(animationPath);
        if (start && reader.DurationMs() > 0 && *start >= reader.DurationMs())
            throw PlumoraError(QStringLiteral("%1 lasts %2; --start %3 is past its end")
                                   .arg(QDir::toNativeSeparators(animationPath),
                                       QString::number(reader.DurationMs() / 1000.0, 'f', 1),
                                       args.value(QStringLiteral("start"))));
        const TFrameLimitQuestion askClipLimit = [&](int count, int keep) -> bool {
            if (!firstFrames)
                throw PlumoraError(
                    QStringLiteral(
                        "%1: %2; --first-frames keeps the first %3 (%4 s), or choose a shorter span "
                        "with --start and --end")
                        .arg(QDir::toNativeSeparators(animationPath), FrameLimitText(count, keep))
                        .arg(keep)
                        .arg(QString::number(keep * kGestureFrameMs / 1000.0, 'f', 2)));
            return true;
        };
        const bool clipSound = !sound && !args.has(QStringLiteral("no-clip-sound"));
        clipImport = ImportClip(reader, { start.value_or(0), end.value_or(-1) }, askClipLimit, clipSound);
        if (!clipImport->SoundRefusal.isEmpty())
            throw PlumoraError(
                QStringLiteral("%1; choose a shorter span with --start and --end, or leave the "
                               "sound out with --no-clip-sound")
                    .arg(clipImport->SoundRefusal));
        if (clipImport->Sound) {
            sound = clipImport->Sound;
            gesture.SetAudio(sound->Wav);
        }
        if (clipImport->PicturesEndMs >= 0)
            io.err << "plumora-cli create: warning: the pictures of "
                   << QDir::toNativeSeparators(animationPath) << " end at "
                   << QString::number(clipImport->PicturesEndMs / 1000.0, 'f', 1)
                   << " s, before the span does\n";
        animation = std::move(clipImport->Animation);
    } else {
        // A single picture without a cut is one frame: a one-frame GIF as it
        // is (the editor's Cancel), any other picture whole (the dialog's
        // first offer).
        const bool gifFile = PictureKindOf(animationPath) == TPictureKind::Gif;
        const TSplitQuestion ask = [&](int, int) -> std::optional<TFrameSplit> {
            asked = true;
            if (split || gifFile)
                return split;
            return TFrameSplit { TFrameSplit::FrameCount, 1 };
        };
        const TFrameLimitQuestion askLimit = [&](int count, int keep) -> bool {
            if (!firstFrames)
                throw PlumoraError(
                    QStringLiteral("%1: %2; --first-frames keeps the first %3")
                        .arg(QDir::toNativeSeparators(animationPath), FrameLimitText(count, keep))
                        .arg(keep));
            return true;
        };
        const TImportTiming timing
            = args.has(QStringLiteral("keep-speed")) ? TImportTiming::KeepSpeed : TImportTiming::EveryFrame;
        animation = ReadAnimationFile(animationPath, ask, askLimit, {}, timing);
    }
    if (!animation || animation->FrameCount() == 0)
        throw PlumoraError(
            QStringLiteral("%1: no frames were made").arg(QDir::toNativeSeparators(animationPath)));
    if (split && !asked)
        throw PlumoraError(
            QStringLiteral("%1 has %2 frames; --frames and --frame-width cut single pictures only")
                .arg(QDir::toNativeSeparators(animationPath))
                .arg(animation->FrameCount()));
    if (args.has(QStringLiteral("author")) && !animation->Author.isEmpty())
        throw PlumoraError(QStringLiteral("%1 carries the author text \"%2\", which the gesture keeps; "
                                          "--author cannot replace it")
                               .arg(QDir::toNativeSeparators(animationPath), animation->Author));
    if (args.has(QStringLiteral("transparent-from-gif"))
        && (!animation->KeepsTransparency || animation->TransparentColor == clNone))
        throw PlumoraError(
            QStringLiteral("%1 gives no transparent colour").arg(QDir::toNativeSeparators(animationPath)));
    const TColor gestureTransparent
        = args.has(QStringLiteral("transparent-from-gif")) ? animation->TransparentColor : transparent;
    const int colours = fitAnimation(args, *animation, gestureTransparent,
        args.has(QStringLiteral("author")) ? author : animation->Author);
    const int frameCount = animation->FrameCount();

    InstallAnimation(gesture, *animation);
    if (!args.has(QStringLiteral("transparent-from-gif")))
        gesture.setTransparentColor(transparent);
    gesture.setTagline(tagline);
    if (args.has(QStringLiteral("author")))
        gesture.SetAuthor(author);

    if (args.has(QStringLiteral("button"))) {
        gesture.setGlyph(ButtonPictureFromFile(args.value(QStringLiteral("button"))));
    } else if (args.has(QStringLiteral("auto-button"))) {
        gesture.setGlyph(animation->ButtonPicture());
    }

    if (args.has(QStringLiteral("loop"))) {
        gesture.setAnimLoopOption(aoLoop);
        gesture.setAnimLoopFrame(frameNumber(QStringLiteral("loop"), *loopFrame, frameCount));
    } else if (args.has(QStringLiteral("reverse"))) {
        gesture.setAnimLoopOption(aoReverse);
    } else {
        gesture.setAnimLoopOption(aoPlayOnce);
    }

    if (audioFrame)
        gesture.setAudioLoopFrame(frameNumber(QStringLiteral("audio-frame"), *audioFrame, frameCount));
    gesture.setAudioRepeat(args.has(QStringLiteral("audio-repeat")));

    const int blockSize = gesture.AnimationBlockSize();
    if (blockSize > kMaxBlockBytes)
        throw PlumoraError(
            QStringLiteral("%1: the animation takes %2 bytes, but a gesture file holds at most "
                           "%3 bytes for it; --fit makes it fit (or --scale, --colors and "
                           "--every make it smaller); nothing was written")
                .arg(QDir::toNativeSeparators(animationPath))
                .arg(blockSize)
                .arg(kMaxBlockBytes));
    gesture.SaveToFile(target);
    io.out << QDir::toNativeSeparators(target) << ": " << frameCount
           << (frameCount == 1 ? " frame of " : " frames of ") << animation->FrameSize.width() << " x "
           << animation->FrameSize.height() << " pixels"
           << (colours < 256 ? QStringLiteral(", %1 colours").arg(colours) : QString())
           << "; animation block " << blockSize << " of " << kMaxBlockBytes << " bytes\n";
    if (clipImport)
        io.out << "  clip: " << QString::number(clipImport->Span.StartMs / 1000.0, 'f', 2) << " s to "
               << QString::number(
                      (clipImport->Span.StartMs + qint64(frameCount) * kGestureFrameMs) / 1000.0, 'f', 2)
               << " s, a frame every 250 ms\n";
    if (sound && (sound->Converted || clipImport))
        io.out << "  sound: " << sound->Summary() << '\n';
    return kExitOk;
}

const Command kCreateCommands[] = {
    {
        QStringLiteral("create"),
        QStringLiteral("OUT.zqa --animation FILE [options]"),
        QStringLiteral("Make a gesture from a picture, a button picture and a sound"),
        QStringLiteral(
            "Imports FILE as the editor's Animation Load does: a GIF, JPEG or BMP file by\n"
            "its extension, any other picture by its content (PNG, WebP, TIFF and the other\n"
            "formats of Qt's image plugins). A GIF of two frames or more, or an animated\n"
            "WebP, is taken frame by frame; a single picture is a horizontal strip cut by\n"
            "--frames or --frame-width (without either, a one-frame GIF stays one frame and\n"
            "any other picture becomes one frame). The frames are scaled to at most 255\n"
            "pixels wide (pictures wider than high) or 225 pixels high.\n"
            "Without --transparent or --transparent-from-gif the gesture has no transparent\n"
            "colour. The author text of a GIF that carries one is kept. Frame numbers count\n"
            "from 1. A gesture holds at most 255 frames, in a strip at most 65535 pixels\n"
            "wide: an animation with more frames than that is refused before any frame is\n"
            "made, unless --first-frames keeps the first ones a gesture holds. A gesture that\n"
            "would not read back (frames too many or too large for the file) is refused and\n"
            "nothing is written.\n"
            "A gesture plays one frame every 250 ms. --keep-speed takes, from an animation\n"
            "whose frames show for other times, the frame showing at each 250 ms of the\n"
            "original, so the gesture plays at the original's speed. The animation must fit in 65535 bytes:\n"
            "--fit finds the largest frames (then the most colours) that fit, keeping every\n"
            "frame; --scale, --colors and --every set the frame size, the colours and the\n"
            "frames taken by hand."),
        {
            { QStringLiteral("animation"), QStringLiteral("FILE"),
                QStringLiteral("the picture or video clip to import (required)") },
            { QStringLiteral("start"), QStringLiteral("TIME"),
                QStringLiteral("where in a video clip the animation starts (default 0)") },
            { QStringLiteral("end"), QStringLiteral("TIME"),
                QStringLiteral("where in a video clip the animation ends (default: its end)") },
            { QStringLiteral("no-clip-sound"), {}, QStringLiteral("leave a video clip's sound out") },
            { QStringLiteral("frames"), QStringLiteral("N"),
                QStringLiteral("cut a single picture into N frames") },
            { QStringLiteral("frame-width"), QStringLiteral("W"),
                QStringLiteral("cut a single picture into frames W pixels wide") },
            { QStringLiteral("first-frames"), {},
                QStringLiteral("keep the first frames a gesture holds when there are more") },
            { QStringLiteral("keep-speed"), {},
                QStringLiteral("take the frame showing at each 250 ms, to play at the original's speed") },
            { QStringLiteral("fit"), {},
                QStringLiteral("make the animation fit the file: smaller frames, then fewer colours") },
            { QStringLiteral("scale"), QStringLiteral("PERCENT"),
                QStringLiteral("scale the frames to PERCENT of their width (1 to 100)") },
            { QStringLiteral("colors"), QStringLiteral("N"),
                QStringLiteral("reduce the animation to N colours (2 to 256)") },
            { QStringLiteral("every"), QStringLiteral("N"),
                QStringLiteral("take every N-th frame, from the first") },
            { QStringLiteral("button"), QStringLiteral("FILE"),
                QStringLiteral("the button picture (any picture the animation may be)") },
            { QStringLiteral("auto-button"), {},
                QStringLiteral("make the button picture from the first frame") },
            { QStringLiteral("sound"), QStringLiteral("FILE"),
                QStringLiteral("the sound (any kind; converted to a WAV of at most 65535 bytes)") },
            { QStringLiteral("tagline"), QStringLiteral("TEXT"),
                QStringLiteral("the tagline (at most 255 characters)") },
            { QStringLiteral("author"), QStringLiteral("TEXT"),
                QStringLiteral("the author text (at most 255 characters)") },
            { QStringLiteral("once"), {}, QStringLiteral("play the animation once (the default)") },
            { QStringLiteral("loop"), QStringLiteral("FRAME"),
                QStringLiteral("loop back to FRAME after the last frame") },
            { QStringLiteral("reverse"), {}, QStringLiteral("play forward, then backward") },
            { QStringLiteral("transparent"), QStringLiteral("RRGGBB"),
                QStringLiteral("the transparent colour, in hex") },
            { QStringLiteral("transparent-from-gif"), {},
                QStringLiteral("the transparent colour of the GIF's first frame") },
            { QStringLiteral("audio-frame"), QStringLiteral("N"),
                QStringLiteral("start the sound at frame N") },
            { QStringLiteral("audio-repeat"), {}, QStringLiteral("restart the sound on every loop") },
        },
        1,
        1,
        runCreate,
    },
};

} // namespace

std::span<const Command> createCommands()
{
    return kCreateCommands;
}

} // namespace cli
