#include "wave.h"

#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// Bytes requested from a stream per read: a stream that claims a large size
// but delivers little costs no more memory than it delivers.
constexpr qint64 kReadChunk = 1024 * 1024;

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
