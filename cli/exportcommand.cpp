// The export command: a gesture as an animated GIF or as a video with its
// sound, to share it outside the program, made as the editor's File > Export
// makes it.
#include "command.h"
#include "gesture/gestureexport.h"
#include "gesture/zqgesture.h"
#include "media/videoexport.h"
#include "platform/errors.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace cli {

namespace {

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 2);
}

int runExport(const Arguments &args, Console &io)
{
    const QString source = args.positional.at(0);
    const QString target = args.positional.at(1);
    const bool gif = QFileInfo(target).suffix().compare(QLatin1String("gif"), Qt::CaseInsensitive) == 0;
    const std::optional<TVideoKind> video = VideoKindOf(target);
    if (!gif && !video)
        throw UsageError(QStringLiteral("OUT must be named .gif, .webm or .mp4"));
    const int passes = wholeOption(args, QStringLiteral("loops"), 1, 99).value_or(3);
    if (gif && (args.has(QStringLiteral("scale")) || args.has(QStringLiteral("background"))))
        throw UsageError(QStringLiteral("--scale and --background are for videos; a GIF keeps its pixels and "
                                        "its transparent colour"));

    TZQGesture gesture;
    gesture.NoSizeUpdate = true;
    const QString reason = loadGesture(gesture, source);
    if (!reason.isEmpty())
        throw PlumoraError(QStringLiteral("%1: not a gesture that reads: %2").arg(source, reason));

    const QString name = QDir::toNativeSeparators(target);
    if (gif) {
        const TExportSummary summary = ExportGif(gesture, target, { passes });
        io.out << name << ": " << summary.Frames << (summary.Frames == 1 ? " frame" : " frames")
               << " of 250 ms, " << seconds(summary.DurationMs) << " s"
               << (summary.Forever ? ", repeating forever" : ", played once") << '\n';
        return kExitOk;
    }
    TVideoExportOptions options;
    options.LoopPasses = passes;
    options.Scale = wholeOption(args, QStringLiteral("scale"), 1, 8).value_or(options.Scale);
    options.Background = colourOption(args, QStringLiteral("background"), options.Background);
    const TVideoExportResult result = ExportVideo(gesture, target, options);
    for (const QString &notice : result.Notices)
        io.err << "plumora-cli export: warning: " << notice << '\n';
    io.out << name << ": " << result.FrameSize.width() << " x " << result.FrameSize.height() << " pixels, "
           << result.Frames << " frames of 250 ms, " << seconds(result.DurationMs) << " s; pictures "
           << result.VideoEncoder << ", sound "
           << (result.SoundEncoder.isEmpty() ? QStringLiteral("none") : result.SoundEncoder) << '\n';
    return kExitOk;
}

const Command kExportCommands[] = {
    {
        QStringLiteral("export"),
        QStringLiteral("IN.zqa OUT.gif|OUT.webm|OUT.mp4 [options]"),
        QStringLiteral("Make an animated GIF, or a video with the sound, of a gesture"),
        QStringLiteral("Writes the gesture as it plays, one frame every 250 ms, by OUT's extension.\n"
                       ".gif: an animated GIF through Plumora's own GIF writer, the transparent\n"
                       "colour kept. Played once, it plays once; looped to frame 1, it repeats\n"
                       "forever; looped to a later frame, the frames before it are written once and\n"
                       "the loop part --loops times; forward and back is written out frame by frame.\n"
                       ".webm (VP9 and Opus) or .mp4 (H.264 and AAC): a video with the gesture's\n"
                       "sound starting where the gesture starts it (again on each loop when it\n"
                       "repeats), each pixel made a --scale x --scale square, a looping gesture\n"
                       "played --loops times; the last frame stays until the sound ends. Where an\n"
                       "encoder is missing, the next one stands in and a warning says so."),
        {
            { QStringLiteral("loops"), QStringLiteral("N"),
                QStringLiteral("times the loop part plays (1 to 99, default 3)") },
            { QStringLiteral("scale"), QStringLiteral("N"),
                QStringLiteral("video: each pixel as N x N pixels (1 to 8, default 4)") },
            { QStringLiteral("background"), QStringLiteral("RRGGBB"),
                QStringLiteral("video: what transparent pixels show (default ffffff)") },
        },
        2,
        2,
        runExport,
    },
};

} // namespace

std::span<const Command> exportCommands()
{
    return kExportCommands;
}

} // namespace cli
