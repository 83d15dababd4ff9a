// The animation import: a picture file read, cut, fitted and composed as the
// editor's Animation Load and `plumora-cli create` do it, then installed on a
// gesture and measured as the window's size gauge measures it.
#include "gesture/animationimport.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "targets.h"

#include <QFile>
#include <QTemporaryDir>

namespace plumora::fuzz {

namespace {

// The three bytes before the file: how the questions are answered.
//   byte 0, bits 0-1: the file's kind, by its extension: 0 and 3 GIF, 1 BMP, 2 JPEG
//           bit 2: cut into frames of a width (else into a number of frames)
//           bit 3: the split question is cancelled
//           bit 4: the frame-limit question keeps the first frames (else cancels)
//           bit 5: there is no frame-limit question (too many frames are refused)
//   bytes 1-2: the count or width, little-endian
constexpr std::size_t kControlBytes = 3;

QString writeInput(const char *suffix, const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir; // one folder for the whole run
    const QString path = dir.filePath(QStringLiteral("input.") + QLatin1String(suffix));
    QFile file(path);
    fuzzCheck(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the input file can be written");
    fuzzCheck(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size),
        "the input file is written whole");
    return path;
}

} // namespace

void importTarget(const std::uint8_t *data, std::size_t size)
{
    initialize();
    if (size < kControlBytes)
        return;
    const int control = data[0];
    const int value = data[1] | (data[2] << 8);
    static const char *const kSuffixes[] = { "gif", "bmp", "jpg", "GIF" };
    const QString path = writeInput(kSuffixes[control & 3], data + kControlBytes, size - kControlBytes);

    int asked = 0;
    const TSplitQuestion split = [&](int width, int height) -> std::optional<TFrameSplit> {
        ++asked;
        fuzzCheck(width > 0 && height > 0, "the split question is asked for a picture with pixels");
        if (control & 8)
            return std::nullopt;
        return TFrameSplit { control & 4 ? TFrameSplit::FrameWidth : TFrameSplit::FrameCount, value };
    };
    const TFrameLimitQuestion limit = [&](int frameCount, int keep) {
        fuzzCheck(frameCount > keep && keep >= 1 && keep <= kMaxGestureFrames,
            "the frame-limit question is asked only for more frames than a gesture holds");
        return (control & 16) != 0;
    };
    std::optional<TImportedAnimation> animation;
    try {
        animation = ReadAnimationFile(path, split, control & 32 ? TFrameLimitQuestion() : limit);
    } catch (const PlumoraError &) {
        return;
    }
    fuzzCheck(asked <= 1, "the split question is asked at most once");
    if (!animation)
        return;

    const QSize frameSize = animation->FrameSize;
    fuzzCheck(animation->FrameCount() >= 1, "an import gives frames");
    fuzzCheck(frameSize.width() >= 1 && frameSize.width() <= kPreviewMaxWidth && frameSize.height() >= 1
            && frameSize.height() <= kPreviewMaxWidth,
        "the frames are fitted to the preview");
    fuzzCheck(animation->FrameCount() <= FramesAGestureHolds(frameSize.width()),
        "an import gives no more frames than a gesture holds");
    const TBitmap button = animation->ButtonPicture();
    fuzzCheck(button.width() == 18 && button.height() == 18, "the button picture is 18 x 18");

    TZQGesture gesture;
    InstallAnimation(gesture, *animation);
    fuzzCheck(gesture.Valid() && gesture.Frames()->Width() == frameSize.width(), "the frames are installed");
    fuzzCheck(gesture.AnimationBlockSize() > 0, "the animation is measured");
}

} // namespace plumora::fuzz
