// Gesture commands: show what a gesture file holds, check that files read,
// and take a gesture apart into its pictures, sound and frames.
//
// Files are read with the gesture document itself, so these commands accept
// exactly what the editor opens.
#include "command.h"
#include "gesture/zqgesture.h"
#include "gesture/zqlayout.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <climits>

namespace cli {

namespace {

// Whether the file's header has the transparent flag; false when it cannot
// be read.
bool transparentFlag(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && (WalkGestureLayout(file).flags() & gfTransparent) != 0;
}

// What the read left out of a file that reads (ReadNotes), as warnings.
void printNotes(const TZQGesture &gesture, const char *command, const QString &path, Console &io)
{
    for (const QString &note : gesture.ReadNotes())
        io.err << "plumora-cli " << command << ": " << path << ": " << note << '\n';
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
    const QString reason = loadGesture(gesture, path);
    // The frame list comes only with a read that got to the end of the file;
    // what the document holds after a read that stopped is partial, and none
    // of it is shown. A read that got through with no whole frame is shown.
    const TFrameList *frames = gesture.Frames();
    if (!frames) {
        io.err << "plumora-cli info: " << path << ": not a gesture that reads: " << reason << '\n';
        return kExitFailure;
    }
    printNotes(gesture, "info", path, io);
    // With no frame read and no transparent flag, the document keeps the
    // header's zero bytes as a colour; the file has none.
    const bool hasTransparent
        = frames->Count() > 0 ? gesture.TransparentColor() != clNone : transparentFlag(path);
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
        const QString reason = loadGesture(gesture, path);
        if (!reason.isEmpty()) {
            io.out << path << ": " << reason << '\n';
            ++failures;
        } else {
            printNotes(gesture, "check", path, io);
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
    return PictureThroughMask(frames.Picture(index), frames.MaskColor(index));
}

// The largest size a thumbnail may ask for: a file manager asks for 128,
// 256, 512 or 1024 pixels.
constexpr int kMaxThumbnailSize = 4096;

// The first frame scaled to fit a square of `size` pixels, its aspect kept.
// Enlarged frames keep their hard pixel edges; reduced ones are smoothed.
QImage fitThumbnail(const QImage &frame, int size)
{
    const QSize fitted = frame.size().scaled(size, size, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    const bool enlarging = fitted.width() > frame.width();
    return frame.scaled(
        fitted, Qt::IgnoreAspectRatio, enlarging ? Qt::FastTransformation : Qt::SmoothTransformation);
}

int runThumbnail(const Arguments &args, Console &)
{
    const QString path = args.positional.at(0);
    const QString target = args.positional.at(1);
    int size = 256;
    if (args.has(QStringLiteral("size"))) {
        bool ok = false;
        size = args.value(QStringLiteral("size")).toInt(&ok);
        if (!ok || size < 1 || size > kMaxThumbnailSize)
            throw UsageError(
                QStringLiteral("--size must be a whole number of pixels from 1 to %1, not \"%2\"")
                    .arg(kMaxThumbnailSize)
                    .arg(args.value(QStringLiteral("size"))));
    }
    // Read where it lies: only the header and the animation block are read.
    QFile file;
    openInputFile(file, path);
    QImage frame;
    try {
        frame = ReadGestureFirstFrame(file);
    } catch (const PlumoraError &error) {
        throw PlumoraError(QStringLiteral("%1: %2").arg(path, error.message()));
    }
    writePng(target, fitThumbnail(frame, size));
    return kExitOk;
}

int runExtract(const Arguments &args, Console &io)
{
    const QString path = args.positional.at(0);
    const QString folder = args.positional.at(1);
    TZQGesture gesture;
    gesture.NoSizeUpdate = true;
    const QString reason = loadGesture(gesture, path);
    if (!reason.isEmpty())
        throw PlumoraError(QStringLiteral("%1: not a gesture that reads: %2").arg(path, reason));
    printNotes(gesture, "extract", path, io);
    // The blocks are copied as the file holds them. The document read the
    // file, so the walk finds every block (unless the file changed since).
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlumoraError(QStringLiteral("%1: cannot be opened: %2").arg(path, file.errorString()));
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
                       "status is then 1. What a file that reads holds beyond a gesture (more than\n"
                       "255 frames, of which the first 255 are read; a button picture that cannot be\n"
                       "read) is noted on standard error."),
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
                       "when any file does not read. What a file that reads holds beyond a gesture is\n"
                       "noted on standard error, as info notes it."),
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
                       "empty, and every frame read (at most 255) as frame-000.png, frame-001.png,\n"
                       "... with the pixels of the transparent colour fully transparent. Prints the\n"
                       "path of each file written. Nothing is written when the gesture does not\n"
                       "read."),
        {},
        2,
        2,
        runExtract,
    },
    {
        QStringLiteral("thumbnail"),
        QStringLiteral("FILE.zqa OUT.png [--size N]"),
        QStringLiteral("Draw a gesture's first frame as a PNG thumbnail"),
        QStringLiteral("Writes the first frame of the gesture, the pixels of its transparent colour\n"
                       "fully transparent, scaled to fit a square of N pixels (default 256) with its\n"
                       "proportions kept, as a PNG file. Only the animation is decoded: the button\n"
                       "picture and the sound are not read. File managers run this command through\n"
                       "the installed plumora.thumbnailer file."),
        { { QStringLiteral("size"), QStringLiteral("N"),
            QStringLiteral("the longer side of the thumbnail in pixels (1 to 4096)") } },
        2,
        2,
        runThumbnail,
    },
};

} // namespace

QString loadGesture(TZQGesture &gesture, const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("an empty name names no file");
    gesture.LoadFromFile(path);
    return gesture.LastReadError();
}

std::span<const Command> gestureCommands()
{
    return kGestureCommands;
}

} // namespace cli
