// Gesture commands: show what a gesture file holds, check that files read,
// and take a gesture apart into its pictures, sound and frames.
//
// Files are read with the gesture document itself, so these commands accept
// exactly what the editor opens.
#include "command.h"

#include "codecs/gifimage.h"
#include "gesture/zqgesture.h"
#include "gesture/zqlayout.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <climits>
#include <optional>

namespace cli {

namespace {

// Which picture a GIF failure came from, found by decoding the pictures the
// walk located, in file order, as the document does. Empty when they decode.
QString failingPicture(QIODevice &file, const GestureLayout &layout)
{
    const std::pair<const std::optional<GestureBlock> *, const char *> pictures[] = {
        { &layout.button, "the button picture" },
        { &layout.animation, "the animation" },
    };
    for (const auto &[block, name] : pictures) {
        if (!*block)
            break;
        try {
            TGIFImage gif;
            gif.ReadFromBuffer(ReadGestureBlock(file, **block));
            TBitmap bitmap;
            gif.RenderTo(bitmap);
        } catch (const std::exception &) {
            return QLatin1String(name);
        }
    }
    return {};
}

// Why a gesture did not read: the document's message, with the picture it
// concerns, or for a short file where it ends.
QString failureReason(QFile &file, const std::exception &error)
{
    const auto *plumoraError = dynamic_cast<const PlumoraError *>(&error);
    const QString message = plumoraError ? plumoraError->message() : QString::fromLocal8Bit(error.what());
    // Only a failure of the GIF codec or of the stream can come from a
    // picture; the document's own refusals (a strip too large to hold, for
    // one) say what they concern, and decoding again would repeat their cost.
    const bool fromPicture = dynamic_cast<const EInvalidGraphicOperation *>(&error)
        || dynamic_cast<const EStreamError *>(&error);
    const GestureLayout layout = WalkGestureLayout(file);
    const QString picture = fromPicture ? failingPicture(file, layout) : QString();
    if (!picture.isEmpty())
        return picture + QStringLiteral(": ") + message;
    // A wrong magic is already said plainly by the document.
    if (!layout.problem.isEmpty() && dynamic_cast<const EStreamError *>(&error))
        return message + QStringLiteral(": ") + layout.problem;
    return message;
}

// Reads a gesture file into the document. Returns the reason it does not
// read, or an empty text.
QString readGestureFile(TZQGesture &gesture, QFile &file)
{
    if (QFileInfo(file.fileName()).isDir())
        return QStringLiteral("is a folder, not a file");
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot open: %1").arg(file.errorString());
    try {
        gesture.ReadGesture(file);
    } catch (const std::exception &error) {
        return failureReason(file, error);
    }
    return {};
}

// A file that reads but holds no whole frame is no gesture to the editor
// either. Empty when the gesture has frames.
QString framesProblem(const TZQGesture &gesture)
{
    if (gesture.Valid())
        return {};
    const int width = gesture.Frames() ? gesture.Frames()->Width() : 0;
    return QStringLiteral("the animation strip holds no whole frame of the stated width (%1 pixels)")
        .arg(width);
}

QString animationName(TAnimOptions option)
{
    switch (option) {
    case aoLoop:
        return QStringLiteral("loop");
    case aoReverse:
        return QStringLiteral("reverse");
    case aoPlayOnce:
        break;
    }
    return QStringLiteral("once");
}

int runInfo(const Arguments &args, Console &io)
{
    const QString path = args.positional.at(0);
    TZQGesture gesture;
    QFile file(path);
    const QString readFailure = readGestureFile(gesture, file);
    if (!readFailure.isEmpty()) {
        // What the document holds after a failed read is partial; show none of it.
        io.err << "plumora-cli info: " << path << ": not a gesture that reads: " << readFailure << '\n';
        return kExitFailure;
    }
    const TFrameList *frames = gesture.Frames();
    const QString reason = framesProblem(gesture);
    // With no frame read and no transparent flag, the document keeps the
    // header's zero bytes as a colour; the file has none.
    const bool hasTransparent = frames->Count() > 0 ? gesture.TransparentColor() != clNone
                                                    : (WalkGestureLayout(file).flags() & gfTransparent) != 0;
    const TColor transparent = hasTransparent ? gesture.TransparentColor() : clNone;
    // The animation block as the file holds it, against what a file can hold.
    const int blockSize = gesture.AnimationBlockSize();

    if (args.has(QStringLiteral("json"))) {
        const QJsonObject json {
            { QStringLiteral("valid"), reason.isEmpty() },
            { QStringLiteral("tagline"), gesture.Tagline() },
            { QStringLiteral("author"), gesture.Author() },
            { QStringLiteral("frameWidth"), frames->Width() },
            { QStringLiteral("frameHeight"), frames->Height() },
            { QStringLiteral("frameCount"), frames->Count() },
            { QStringLiteral("animation"), animationName(gesture.AnimLoopOption()) },
            { QStringLiteral("loopFrame"), gesture.AnimLoopFrame() },
            { QStringLiteral("audioFrame"), gesture.AudioLoopFrame() },
            { QStringLiteral("audioRepeat"), gesture.AudioRepeat() },
            { QStringLiteral("transparentColor"), jsonColor(transparent) },
            { QStringLiteral("hasAudio"), gesture.HasAudio() },
            { QStringLiteral("animationSize"), gesture.AnimationSize() },
            { QStringLiteral("animationBlockSize"), blockSize },
            { QStringLiteral("blockLimit"), kMaxBlockBytes },
            { QStringLiteral("audioSize"), gesture.AudioSize() },
            { QStringLiteral("gestureSize"), gesture.GestureSize() },
        };
        io.out << QJsonDocument(json).toJson(QJsonDocument::Indented);
    } else {
        const auto yesNo = [](bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); };
        const auto orNone
            = [](const QString &text) { return text.isEmpty() ? QStringLiteral("(none)") : printable(text); };
        io.out << "File:              " << path << '\n'
               << "Tagline:           " << orNone(gesture.Tagline()) << '\n'
               << "Author:            " << orNone(gesture.Author()) << '\n'
               << "Frames:            " << frames->Count() << " of " << frames->Width() << " x "
               << frames->Height() << '\n'
               << "Animation:         " << animationName(gesture.AnimLoopOption()) << '\n'
               << "Loop frame:        " << gesture.AnimLoopFrame() << '\n'
               << "Audio start frame: " << gesture.AudioLoopFrame() << '\n'
               << "Audio repeat:      " << yesNo(gesture.AudioRepeat()) << '\n'
               << "Transparent:       " << colorText(transparent) << '\n'
               << "Sound:             " << yesNo(gesture.HasAudio()) << '\n'
               << "Animation size:    " << gesture.AnimationSize() << " bytes\n"
               << "Animation block:   " << blockSize << " of " << kMaxBlockBytes << " bytes"
               << (blockSize > kMaxBlockBytes ? " (too large)" : "") << '\n'
               << "Audio size:        " << gesture.AudioSize() << " bytes\n"
               << "Gesture size:      " << gesture.GestureSize() << " bytes\n";
    }
    if (!reason.isEmpty()) {
        io.err << "plumora-cli info: " << path << ": not a gesture that reads: " << reason << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

int runCheck(const Arguments &args, Console &io)
{
    int failures = 0;
    for (const QString &path : args.positional) {
        TZQGesture gesture;
        // Only reading is checked; the sizes would encode everything again.
        gesture.NoSizeUpdate = true;
        QFile file(path);
        const QString reason = loadGesture(gesture, file);
        if (!reason.isEmpty()) {
            io.out << path << ": " << reason << '\n';
            ++failures;
        }
    }
    if (failures > 0) {
        io.err << "plumora-cli check: " << failures << " of " << args.positional.size()
               << (args.positional.size() == 1 ? " file does" : " files do") << " not read\n";
        return kExitFailure;
    }
    return kExitOk;
}

// A frame as a picture with an alpha channel: the pixels of its mask colour
// fully transparent (their colour kept), every other pixel opaque as stored.
QImage framePicture(const TFrameList &frames, int index)
{
    QImage image = frames.Picture(index).convertToFormat(QImage::Format_ARGB32);
    const TColor mask = frames.MaskColor(index);
    if (mask == clNone)
        return image;
    const QRgb key = toQRgb(mask);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((row[x] | 0xFF000000u) == key)
                row[x] &= 0x00FFFFFFu;
    }
    return image;
}

int runExtract(const Arguments &args, Console &io)
{
    const QString path = args.positional.at(0);
    const QString folder = args.positional.at(1);
    TZQGesture gesture;
    gesture.NoSizeUpdate = true;
    QFile file(path);
    const QString reason = loadGesture(gesture, file);
    if (!reason.isEmpty())
        throw PlumoraError(QStringLiteral("%1: not a gesture that reads: %2").arg(path, reason));
    // The document read the file, so the walk finds every block.
    const GestureLayout layout = WalkGestureLayout(file);
    if (!layout.problem.isEmpty() || !layout.button || !layout.animation)
        throw PlumoraError(QStringLiteral("%1: %2").arg(path, layout.problem));

    ensureDirectory(folder);
    const QDir dir(folder);
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        const QString target = dir.filePath(name);
        plumora::writeFileAtomically(target, bytes);
        io.out << target << '\n';
    };
    // An empty button or sound block reads as no picture or no sound; there
    // is no file to write for it.
    const auto writeBlock = [&](const QString &name, const GestureBlock &block, const char *what) {
        if (block.length > 0)
            write(name, ReadGestureBlock(file, block));
        else
            io.err << "plumora-cli extract: " << path << ": the " << what << " block is empty; no " << name
                   << " written\n";
    };
    writeBlock(QStringLiteral("button.gif"), *layout.button, "button");
    write(QStringLiteral("animation.gif"), ReadGestureBlock(file, *layout.animation));
    if (layout.sound)
        writeBlock(QStringLiteral("sound.wav"), *layout.sound, "sound");

    const TFrameList &frames = *gesture.Frames();
    for (int i = 0; i < frames.Count(); ++i) {
        const QString target = dir.filePath(QStringLiteral("frame-%1.png").arg(i, 3, 10, QLatin1Char('0')));
        writePng(target, framePicture(frames, i));
        io.out << target << '\n';
    }
    return kExitOk;
}

const Command kGestureCommands[] = {
    {
        QStringLiteral("info"),
        QStringLiteral("FILE.zqa [--json]"),
        QStringLiteral("Show the texts, frames, options and sizes of a gesture"),
        QStringLiteral("Lists the tagline, author text, frame size and count, animation option\n"
                       "(once, loop or reverse), loop frame and audio start frame (counted from 1),\n"
                       "whether the sound repeats, the transparent colour, whether there is a sound,\n"
                       "and the encoded sizes of the animation, the sound and the whole gesture.\n"
                       "A file that does not read as a gesture is reported with the reason; the exit\n"
                       "status is then 1."),
        { { QStringLiteral("json"), {}, QStringLiteral("print one JSON object instead of text") } },
        1,
        1,
        runInfo,
    },
    {
        QStringLiteral("check"),
        QStringLiteral("FILE..."),
        QStringLiteral("Check that gesture files read"),
        QStringLiteral("Reads every file as the editor opens it and prints \"FILE: reason\" for each\n"
                       "one that does not read; files that read print nothing. The exit status is 1\n"
                       "when any file does not read."),
        {},
        1,
        INT_MAX,
        runCheck,
    },
    {
        QStringLiteral("extract"),
        QStringLiteral("FILE.zqa OUTDIR"),
        QStringLiteral("Write the pictures, sound and frames of a gesture as files"),
        QStringLiteral("Writes into OUTDIR (created when missing) button.gif and animation.gif, the\n"
                       "two GIF files exactly as the gesture holds them (no button.gif when its\n"
                       "button block is empty), sound.wav when the gesture has a sound that is not\n"
                       "empty, and every frame as frame-000.png, frame-001.png, ... with the\n"
                       "pixels of the transparent colour fully transparent. Prints the path of each\n"
                       "file written. Nothing is written when the gesture does not read."),
        {},
        2,
        2,
        runExtract,
    },
};

} // namespace

QString loadGesture(TZQGesture &gesture, QFile &file)
{
    const QString reason = readGestureFile(gesture, file);
    return reason.isEmpty() ? framesProblem(gesture) : reason;
}

std::span<const Command> gestureCommands()
{
    return kGestureCommands;
}

} // namespace cli
