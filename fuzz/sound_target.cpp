// The sound load: a file chosen as a gesture's sound is checked from its size
// and WAV header, then taken byte for byte. The input is loaded as it is and,
// made longer than a sound block (zeros after it, a sparse file), once more:
// that one must be refused, from its header, unread.
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "targets.h"

#include <QFile>
#include <QTemporaryDir>

namespace plumora::fuzz {

void soundTarget(const std::uint8_t *data, std::size_t size)
{
    initialize();
    static QTemporaryDir dir; // one folder for the whole run
    const QString path = dir.filePath(QStringLiteral("sound.wav"));
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const bool longer : { false, true }) {
        {
            QFile file(path);
            fuzzCheck(file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                    && file.write(bytes) == bytes.size()
                    && (!longer || file.resize(kMaxBlockBytes + 1 + bytes.size())),
                "the sound file is written");
        }
        TZQGesture gesture;
        gesture.NoSizeUpdate = true;
        try {
            gesture.LoadAudioFromFile(path);
        } catch (const PlumoraError &error) {
            fuzzCheck(!error.message().isEmpty(), "a refusal says why");
            fuzzCheck(!gesture.HasAudio() && gesture.AudioData().isEmpty() && !gesture.Modified(),
                "a refused sound leaves the gesture as it was");
            continue;
        }
        fuzzCheck(!longer, "a sound longer than its block is refused");
        fuzzCheck(gesture.HasAudio() && gesture.AudioData() == bytes, "the sound is taken byte for byte");
    }
}

} // namespace plumora::fuzz
