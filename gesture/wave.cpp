#include "wave.h"

#include "platform/atomicfile.h"
#include "platform/errors.h"
#include "sound/soundservice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <algorithm>

namespace {

// Bytes requested from a stream per read: a stream that claims a large size
// but delivers little costs no more memory than it delivers.
constexpr qint64 kReadChunk = 1024 * 1024;

// The flag each option adds to the always-present 0x0004 (play from memory).
constexpr std::uint16_t kOptionFlags[] = {
    plumora::SndSync, // wpoSync
    plumora::SndAsync, // wpoAsync
    plumora::SndNoDefault, // wpoNoDefault
    plumora::SndLoop, // wpoLoop
    plumora::SndNoStop, // wpoNoStop
};

} // namespace

TWave::TWave() = default;

TWave::~TWave() = default;

void TWave::setData(const QByteArray &bytes)
{
    m_data = bytes;
    m_data.detach(); // a holder never shares its buffer
}

void TWave::Assign(const QObject *Source)
{
    if (!Source)
        return;
    if (const auto *other = qobject_cast<const TWave *>(Source)) {
        if (other != this)
            setData(other->m_data);
        return;
    }
    throw PlumoraError(QStringLiteral("Cannot assign a %1 to a %2")
                           .arg(QString::fromLatin1(Source->metaObject()->className()),
                               QString::fromLatin1(staticMetaObject.className())));
}

void TWave::LoadFromStream(QIODevice &Stream)
{
    const qint64 total = Stream.size();
    QByteArray bytes;
    bytes.reserve(qsizetype(std::min(total, kReadChunk)));
    while (bytes.size() < total) {
        const qint64 want = std::min(kReadChunk, total - bytes.size());
        const qsizetype at = bytes.size();
        bytes.resize(at + qsizetype(want));
        const qint64 got = Stream.read(bytes.data() + at, want);
        if (got <= 0)
            throw EStreamError(plumora::streamReadError());
        bytes.resize(at + qsizetype(got));
    }
    // Only a complete read replaces the bytes held so far.
    m_data = std::move(bytes);
}

void TWave::SaveToStream(QIODevice &Stream) const
{
    if (Stream.write(m_data) != m_data.size())
        throw EStreamError(plumora::streamWriteError());
}

void TWave::LoadFromFile(const QString &FileName)
{
    // Only plain files: opening a named pipe waits for a writer, and a device
    // may never end.
    if (QFileInfo::exists(FileName) && !QFileInfo(FileName).isFile())
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". It is not a file")
                               .arg(QDir::toNativeSeparators(FileName)));
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(QDir::toNativeSeparators(FileName), file.errorString()));
    LoadFromStream(file);
}

void TWave::SaveToFile(const QString &FileName) const
{
    plumora::writeFileAtomically(FileName, m_data);
}

TWavePlayer::TWavePlayer(QObject *Owner) : QObject(Owner), m_wave(new TWave)
{
    m_wave->setParent(this);
}

TWavePlayer::~TWavePlayer()
{
    plumora::playSound(nullptr, 0, 0);
    // m_wave is freed with its parent.
}

void TWavePlayer::setOptions(TOptionsSet value)
{
    if (value == m_options)
        return;
    m_options = value;
    m_playFlags = plumora::SndMemory;
    for (int o = wpoSync; o <= wpoNoStop; ++o)
        if (m_options.contains(TWavePlayOpt(o)))
            m_playFlags |= kOptionFlags[o];
}

void TWavePlayer::Play()
{
    if (m_beforePlay)
        m_beforePlay(this);
    if (m_enabled) {
        plumora::playSound(m_wave->Data(), m_playFlags);
        // The default cursor comes back even when the sound did not play.
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            while (QGuiApplication::overrideCursor())
                QGuiApplication::restoreOverrideCursor();
    }
    if (m_afterPlay)
        m_afterPlay(this);
}
