// GIF commands: show what a GIF holds, write its frames as PNG pictures, and
// encode a picture as a GIF with the program's own writer.
#include "codecs/ansitext.h"
#include "codecs/gifimage.h"
#include "command.h"
#include "platform/bitmap.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

namespace cli {

namespace {

QString versionText(int version)
{
    return version == 2 ? QStringLiteral("89a") : QStringLiteral("87a");
}

QString disposalText(int disposal)
{
    switch (disposal) {
    case 0:
        return QStringLiteral("0 (unspecified)");
    case 1:
        return QStringLiteral("1 (keep)");
    case 2:
        return QStringLiteral("2 (restore background)");
    case 3:
        return QStringLiteral("3 (restore previous)");
    default:
        return QStringLiteral("%1 (reserved)").arg(disposal);
    }
}

// Reads a GIF with our reader; the file name goes into any error message.
void loadGif(TGIFImage &gif, const QString &path)
{
    const QByteArray bytes = readInputFile(path);
    if (bytes.isEmpty())
        throw EInvalidGraphicOperation(QStringLiteral("%1: the file is empty").arg(path));
    try {
        gif.ReadFromBuffer(bytes);
    } catch (const PlumoraError &error) {
        throw EInvalidGraphicOperation(QStringLiteral("%1: %2").arg(path, error.message()));
    }
}

// Decodes every frame. A frame that cannot be decoded is not fatal: its error
// text is returned in its slot (empty for frames that decoded).
std::vector<QString> decodeFrames(TGIFImage &gif)
{
    std::vector<QString> errors(std::size_t(gif.FrameCount()));
    for (int i = 0; i < gif.FrameCount(); ++i) {
        try {
            gif.Frames(i).DecodedBitmap();
        } catch (const PlumoraError &error) {
            errors[std::size_t(i)] = error.message();
        }
    }
    return errors;
}

QJsonObject gifToJson(TGIFImage &gif, const std::vector<QString> &decodeErrors)
{
    QJsonArray comments;
    for (const QByteArray &line : gif.CommentLines())
        comments.append(fromAnsi(line));
    QJsonArray frames;
    for (int i = 0; i < gif.FrameCount(); ++i) {
        const TGIFFrame &frame = gif.Frames(i);
        const TGIFItem &item = *frame.SharedData;
        frames.append(QJsonObject {
            { QStringLiteral("left"), frame.Left },
            { QStringLiteral("top"), frame.Top },
            { QStringLiteral("width"), item.ImageWidth },
            { QStringLiteral("height"), item.ImageHeight },
            { QStringLiteral("colorDepth"), item.ColorDepth },
            { QStringLiteral("localColors"), frame.HasLocalColors },
            { QStringLiteral("interlaced"), frame.IsInterlaced },
            { QStringLiteral("delayMs"), frame.DelayMs },
            { QStringLiteral("disposal"), frame.Disposal },
            { QStringLiteral("transparentColor"), jsonColor(frame.TransparentColor) },
            // A frame that cannot be decoded at all counts as corrupt too.
            { QStringLiteral("corrupt"), frame.IsCorrupt || !decodeErrors[std::size_t(i)].isEmpty() },
        });
    }
    return QJsonObject {
        { QStringLiteral("version"), versionText(gif.Version) },
        { QStringLiteral("screenWidth"), gif.ScreenWidth() },
        { QStringLiteral("screenHeight"), gif.ScreenHeight() },
        { QStringLiteral("backgroundColor"), jsonColor(gif.BackgroundColor) },
        { QStringLiteral("looping"), gif.Looping },
        { QStringLiteral("repeatCount"), gif.RepeatCount },
        { QStringLiteral("author"), fromAnsi(gif.Author) },
        { QStringLiteral("comments"), comments },
        { QStringLiteral("frames"), frames },
    };
}

void printGifText(
    TGIFImage &gif, const QString &path, const std::vector<QString> &decodeErrors, QTextStream &out)
{
    out << "File:        " << path << '\n'
        << "Version:     " << versionText(gif.Version) << '\n'
        << "Screen:      " << gif.ScreenWidth() << " x " << gif.ScreenHeight() << '\n'
        << "Background:  " << colorText(gif.BackgroundColor) << '\n'
        << "Loop:        ";
    if (gif.Looping)
        out << "yes, repeat count " << gif.RepeatCount << (gif.RepeatCount == 0 ? " (forever)" : "") << '\n';
    else
        out << "no\n";
    out << "Author:      "
        << (gif.Author.isEmpty() ? QStringLiteral("(none)") : printable(fromAnsi(gif.Author))) << '\n';
    const QList<QByteArray> &comments = gif.CommentLines();
    out << "Comments:    " << comments.size() << (comments.size() == 1 ? " line\n" : " lines\n");
    for (const QByteArray &line : comments)
        out << "  " << printable(fromAnsi(line)) << '\n';

    out << "Frames:      " << gif.FrameCount() << '\n';
    if (gif.FrameCount() == 0)
        return;
    out << "      #   left    top  width height bits table  interlaced delay(ms) transparent corrupt "
           "disposal\n";
    for (int i = 0; i < gif.FrameCount(); ++i) {
        const TGIFFrame &frame = gif.Frames(i);
        const TGIFItem &item = *frame.SharedData;
        const bool corrupt = frame.IsCorrupt || !decodeErrors[std::size_t(i)].isEmpty();
        const QString table = frame.HasLocalColors ? QStringLiteral("local")
            : item.ColorDepth > 0                  ? QStringLiteral("global")
                                                   : QStringLiteral("none");
        out << QStringLiteral("  %1 %2 %3 %4 %5 %6 %7 %8 %9 ")
                   .arg(i, 5)
                   .arg(frame.Left, 6)
                   .arg(frame.Top, 6)
                   .arg(item.ImageWidth, 6)
                   .arg(item.ImageHeight, 6)
                   .arg(item.ColorDepth, 4)
                   .arg(table, -6)
                   .arg(frame.IsInterlaced ? QStringLiteral("yes") : QStringLiteral("no"), -10)
                   .arg(frame.DelayMs, 9)
            << QStringLiteral("%1 %2 %3")
                   .arg(colorText(frame.TransparentColor), -11)
                   .arg(corrupt ? QStringLiteral("yes") : QStringLiteral("no"), -7)
                   .arg(disposalText(frame.Disposal))
            << '\n';
    }
    for (std::size_t i = 0; i < decodeErrors.size(); ++i)
        if (!decodeErrors[i].isEmpty())
            out << "Frame " << i << " cannot be decoded: " << decodeErrors[i] << '\n';
}

int runGifInfo(const Arguments &args, Console &io)
{
    const QString path = args.positional.at(0);
    TGIFImage gif;
    loadGif(gif, path);
    const std::vector<QString> decodeErrors = decodeFrames(gif);
    if (args.has(QStringLiteral("json"))) {
        for (std::size_t i = 0; i < decodeErrors.size(); ++i)
            if (!decodeErrors[i].isEmpty())
                io.err << "plumora-cli gif-info: " << path << ": frame " << i
                       << " cannot be decoded: " << decodeErrors[i] << '\n';
        io.out << QJsonDocument(gifToJson(gif, decodeErrors)).toJson(QJsonDocument::Indented);
    } else {
        printGifText(gif, path, decodeErrors, io.out);
    }
    return kExitOk;
}

int runGifFrames(const Arguments &args, Console &io)
{
    const QString path = args.positional.at(0);
    const QString folder = args.positional.at(1);
    TGIFImage gif;
    loadGif(gif, path);
    ensureDirectory(folder);

    const QDir dir(folder);
    bool failed = false;
    for (int i = 0; i < gif.FrameCount(); ++i) {
        TGIFFrame &frame = gif.Frames(i);
        const QString prefix = QStringLiteral("plumora-cli gif-frames: %1: frame %2").arg(path).arg(i);
        TBitmap bitmap;
        try {
            bitmap = frame.DecodedBitmap();
        } catch (const PlumoraError &error) {
            io.err << prefix << " cannot be decoded: " << error.message() << '\n';
            failed = true;
            continue;
        }
        if (bitmap.isEmpty()) {
            io.err << prefix << " has no pixels; nothing written\n";
            continue;
        }
        if (frame.IsCorrupt)
            io.err << prefix << " is corrupt; written as far as it decodes\n";
        const QString target = dir.filePath(QStringLiteral("frame-%1.png").arg(i, 3, 10, QLatin1Char('0')));
        // A frame that cannot be written ends the command: the next would
        // meet the same full disk or missing rights.
        writePng(target, bitmap.image());
        io.out << target << '\n';
    }
    return failed ? kExitFailure : kExitOk;
}

int runGifEncode(const Arguments &args, Console &io)
{
    const QString input = args.positional.at(0);
    const QString output = args.positional.at(1);
    const bool gray = args.has(QStringLiteral("gray"));

    QFile file;
    openInputFile(file, input);
    // The name's extension is a hint; the content decides when it says
    // nothing useful.
    QImageReader reader(&file, QFileInfo(input).suffix().toLatin1());
    QImage image = reader.read();
    if (image.isNull())
        throw EInvalidGraphicOperation(
            QStringLiteral("%1: cannot read the picture: %2").arg(input, reader.errorString()));
    // Palette pictures are written with their own palette; the grey-scale
    // reduction only runs on true colour, so --gray starts from there.
    if (gray
        && (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono
            || image.format() == QImage::Format_MonoLSB))
        image = image.convertToFormat(QImage::Format_RGB32);

    TGIFImage gif;
    gif.CopyFrom(TBitmap(image));
    gif.Frames(0).IsGray = gray;

    auto storedText = [&io](const QString &what, const QString &text) {
        const QByteArray bytes = toAnsi(text);
        if (fromAnsi(bytes) != text)
            io.err << "plumora-cli gif-encode: warning: the " << what
                   << " has characters a GIF cannot hold; they are written as '?'\n";
        if (bytes.size() > 255)
            io.err << "plumora-cli gif-encode: warning: the " << what
                   << " is longer than 255 bytes; only the first 255 are written\n";
        return bytes;
    };
    if (args.has(QStringLiteral("author")))
        gif.Author = storedText(QStringLiteral("author text"), args.value(QStringLiteral("author")));
    for (const QString &line : args.values(QStringLiteral("comment"))) {
        if (line.isEmpty()) {
            io.err << "plumora-cli gif-encode: warning: an empty comment line is left out\n";
            continue;
        }
        gif.CommentLines().append(storedText(QStringLiteral("comment line"), line));
    }

    gif.WriteToFile(output);
    return kExitOk;
}

const Command kGifCommands[] = {
    {
        QStringLiteral("gif-info"),
        QStringLiteral("FILE.gif [--json]"),
        QStringLiteral("Show the header, texts and frames of a GIF"),
        QStringLiteral("Lists the version, logical screen, background colour, loop extension, author\n"
                       "text and comment lines, and for every frame its position, size, colour depth,\n"
                       "colour table, interlacing, delay, disposal, transparent colour and whether it\n"
                       "is corrupt. Every frame is decoded; a frame that cannot be decoded is reported\n"
                       "as corrupt and does not stop the listing. Texts are read as Windows-1252."),
        { { QStringLiteral("json"), {}, QStringLiteral("print one JSON object instead of text") } },
        1,
        1,
        runGifInfo,
    },
    {
        QStringLiteral("gif-frames"),
        QStringLiteral("FILE.gif OUTDIR"),
        QStringLiteral("Write each frame of a GIF as a PNG picture"),
        QStringLiteral("Writes frame-000.png, frame-001.png, ... into OUTDIR (created when missing),\n"
                       "each the frame's own pixels with its palette, and prints the path of each file.\n"
                       "Frames that cannot be decoded are reported and skipped; the exit status is\n"
                       "then 1. A file that cannot be written ends the command with status 1."),
        {},
        2,
        2,
        runGifFrames,
    },
    {
        QStringLiteral("gif-encode"),
        QStringLiteral("IN OUT.gif [--gray] [--author TEXT] [--comment LINE]..."),
        QStringLiteral("Encode a PNG or BMP picture as a one-frame GIF"),
        QStringLiteral("Palette pictures keep their palette; true-colour pictures are reduced to\n"
                       "256 colours (the most frequent ones), or to 256 greys with --gray. Texts are\n"
                       "stored as Windows-1252, at most 255 bytes each."),
        {
            { QStringLiteral("gray"), {}, QStringLiteral("reduce to 256 shades of grey") },
            { QStringLiteral("author"), QStringLiteral("TEXT"), QStringLiteral("store TEXT as the author") },
            { QStringLiteral("comment"), QStringLiteral("LINE"),
                QStringLiteral("add a comment line (repeatable)"), true },
        },
        2,
        2,
        runGifEncode,
    },
};

} // namespace

std::span<const Command> gifCommands()
{
    return kGifCommands;
}

} // namespace cli
