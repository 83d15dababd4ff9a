#include "recoverystore.h"

#include "platform/atomicfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRandomGenerator>

#include <algorithm>

#include <sys/stat.h>

namespace {

QString descriptionPath(const QString &copy)
{
    return copy.chopped(4) + QStringLiteral(".json");
}

// The instance that wrote a copy: its name up to the last '-'.
QString instanceOf(const QString &fileName)
{
    return fileName.left(fileName.lastIndexOf(QLatin1Char('-')));
}

// Whether the editor that wrote under instance has ended: a lock that can be
// taken belongs to no running editor.
bool instanceEnded(const QDir &dir, const QString &instance)
{
    QLockFile owner(dir.filePath(instance + QStringLiteral(".lock")));
    owner.setStaleLockTime(0);
    if (!owner.tryLock(0))
        return false;
    owner.unlock();
    return true;
}

} // namespace

TRecoveryStore::TRecoveryStore(const QString &folder) : m_folder(folder)
{
    if (!QDir().mkpath(m_folder))
        return;
    ::chmod(QFile::encodeName(m_folder).constData(), 0700);
    m_instance = QStringLiteral("%1-%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    m_lock = std::make_unique<QLockFile>(m_folder + QLatin1Char('/') + m_instance + QStringLiteral(".lock"));
    // Held for the whole run: only a dead owner makes a lock stale.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0))
        m_lock.reset();
    // Copies are written under names no later run uses again, so their
    // killed saves' temporaries would stay for ever.
    plumora::removeStaleTemporaries(m_folder);
    // A description whose gesture was never written (killed in between).
    const QDir dir(m_folder);
    for (const QString &name : dir.entryList({ QStringLiteral("*.json") }, QDir::Files)) {
        const QString base = name.chopped(5);
        if (!dir.exists(base + QStringLiteral(".zqa")) && instanceOf(base) != m_instance
            && instanceEnded(dir, instanceOf(base)))
            QFile::remove(dir.filePath(name));
    }
}

TRecoveryStore::~TRecoveryStore() = default;

QString TRecoveryStore::defaultFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/plumora/recovery");
}

bool TRecoveryStore::isValid() const
{
    return m_lock != nullptr;
}

QString TRecoveryStore::newKey()
{
    return m_instance + QLatin1Char('-') + QString::number(++m_next);
}

QString TRecoveryStore::pathOf(const QString &key) const
{
    return m_folder + QLatin1Char('/') + key + QStringLiteral(".zqa");
}

void TRecoveryStore::write(
    const QString &key, const QByteArray &gesture, const QString &original, const QString &title)
{
    if (!isValid())
        return;
    const QString path = pathOf(key);
    const QJsonObject description { { QStringLiteral("original"), original },
        { QStringLiteral("title"), title },
        { QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) } };
    // The description first: a copy is listed once its gesture exists, and
    // a kill between the two writes must not leave it without its name.
    plumora::writeFileAtomically(descriptionPath(path), QJsonDocument(description).toJson());
    plumora::writeFileAtomically(path, gesture);
}

void TRecoveryStore::remove(const QString &key)
{
    const QString path = pathOf(key);
    QFile::remove(path);
    QFile::remove(descriptionPath(path));
}

QList<TRecoveryEntry> TRecoveryStore::orphans() const
{
    QList<TRecoveryEntry> entries;
    if (!isValid())
        return entries;
    const QDir dir(m_folder);
    for (const QFileInfo &info : dir.entryInfoList({ QStringLiteral("*.zqa") }, QDir::Files)) {
        const QString instance = instanceOf(info.completeBaseName());
        if (instance == m_instance)
            continue;
        if (!instanceEnded(dir, instance))
            continue;
        TRecoveryEntry entry { info.filePath(), {}, info.completeBaseName(), info.lastModified() };
        QFile file(descriptionPath(info.filePath()));
        if (file.open(QIODevice::ReadOnly) && file.size() < 65536) {
            const QJsonObject description = QJsonDocument::fromJson(file.readAll()).object();
            entry.original = description.value(QStringLiteral("original")).toString();
            entry.title = description.value(QStringLiteral("title")).toString(entry.title);
            const QDateTime time = QDateTime::fromString(
                description.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
            if (time.isValid())
                entry.time = time;
        }
        entries.append(entry);
    }
    std::sort(entries.begin(), entries.end(),
        [](const TRecoveryEntry &a, const TRecoveryEntry &b) { return a.time < b.time; });
    return entries;
}

QString TRecoveryStore::adopt(const TRecoveryEntry &entry)
{
    const QString key = newKey();
    const QString path = pathOf(key);
    // A rename, so that an editor started at the same time can not take the
    // same copy as well: only one rename succeeds.
    if (!QDir().rename(entry.path, path))
        return {};
    QDir().rename(descriptionPath(entry.path), descriptionPath(path));
    return key;
}

void TRecoveryStore::discard(const TRecoveryEntry &entry)
{
    QFile::remove(entry.path);
    QFile::remove(descriptionPath(entry.path));
}
