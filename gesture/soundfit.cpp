#include "soundfit.h"

#include "platform/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QtEndian>

#include <algorithm>

namespace {

qint64 le32(const QByteArray &bytes, qint64 at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// Numbers in messages are grouped by thousands whatever the user's locale,
// as the rest of the program's messages are English.
QString grouped(qint64 n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

QString seconds(qint64 tenths)
{
    return QStringLiteral("%1.%2 s").arg(grouped(tenths / 10)).arg(tenths % 10);
}

} // namespace

std::optional<TWaveTiming> WaveTimingFromHeader(const QByteArray &head, qint64 fileSize)
{
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return std::nullopt;
    qint64 byteRate = 0;
    for (qint64 at = 12; at + 8 <= head.size();) {
        const QByteArray id = head.mid(at, 4);
        const qint64 size = le32(head, at + 4);
        const qint64 body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > head.size())
                return std::nullopt;
            byteRate = le32(head, body + 8);
        } else if (id == "data") {
            // The samples' length needs the format's rate, which comes first.
            const qint64 rest = fileSize - body;
            if (byteRate == 0 || rest < 0)
                return std::nullopt;
            return TWaveTiming { body, size == 0 || size > rest ? rest : size, byteRate };
        }
        at = body + size + (size & 1); // chunks are padded to even lengths
    }
    return std::nullopt;
}

void RefuseSoundLargerThan(const QString &fileName, qint64 maxBytes)
{
    const QFileInfo info(fileName);
    if (!info.isFile() || info.size() <= maxBytes)
        return;
    QByteArray head;
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly))
        head = file.read(kWaveHeaderBytes);
    const QString name = info.fileName();
    const QString size = grouped(info.size());
    const QString limit = grouped(maxBytes);
    const std::optional<TWaveTiming> timing = WaveTimingFromHeader(head, info.size());
    if (!timing)
        throw PlumoraError(
            QStringLiteral("The sound \"%1\" takes %2 bytes, but a gesture holds at most %3 bytes of sound")
                .arg(name, size, limit));

    // The duration is rounded up and the part that fits down, so the first
    // always reads longer, and a sound cut to the second really fits.
    const qint64 rate = timing->BytesPerSecond;
    const qint64 lasts = (timing->DataBytes * 10 + rate - 1) / rate;
    QString message = QStringLiteral("The sound \"%1\" lasts %2 (%3 bytes), but a gesture holds at most "
                                     "%4 bytes of sound")
                          .arg(name, seconds(lasts), size, limit);
    // The header stays whole; the samples share the rest of the block. When
    // the samples alone would fit, other chunks make the file too large, and
    // no length of the sound is the answer.
    const qint64 room = std::max<qint64>(maxBytes - timing->DataOffset, 0);
    if (room < timing->DataBytes) {
        const qint64 fits = room * 10 / rate;
        message += fits > 0 ? QStringLiteral(": %1 of this sound fits").arg(seconds(fits))
                            : QStringLiteral(": less than 0.1 s of this sound fits");
    }
    throw PlumoraError(message);
}
