#include "plumorakeys.h"

#include "settingsformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>

#include <initializer_list>
#include <optional>
#include <utility>

namespace {

QString &storeFileOverride()
{
    static QString path;
    return path;
}

// Whether something other than a plain file or a folder has the store's
// name: a named pipe, a device or a socket. Opening a pipe waits for a writer
// and a device may never end, so such a store is never opened; it counts as
// damaged. (A folder cannot be opened as a file and is left as it is.)
bool storeIsSpecialFile(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir();
}

// Whether the store file exists with contents that cannot be parsed. Checked
// on every visit: QSettings reports a parse failure only on the visit that
// first reads the file and serves its cached (empty) result afterwards.
bool storeDamaged(const QString &path)
{
    if (storeIsSpecialFile(path))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false; // missing (a first run), or unreadable: QSettings reports that itself
    const std::optional<QByteArray> bytes = plumora::settings::readSettingsBytes(file);
    return !bytes || (!bytes->isEmpty() && !plumora::settings::parseTypedSettings(*bytes));
}

// One visit to the store. A store that exists but cannot be read, or whose
// contents are damaged, counts as a key that could not be opened.
struct Visit
{
    Visit()
    {
        // QSettings reads the file as it is constructed.
        const QString path = TPlumoraKeys::storeFile();
        if (storeIsSpecialFile(path))
            return;
        store.emplace(path, plumora::settings::typedSettingsFormat());
        opened = store->status() == QSettings::NoError && !storeDamaged(path);
    }
    std::optional<QSettings> store;
    bool opened = false;
};

// A value that is missing or not a 32-bit integer falls back on its own.
int integerValue(const QSettings &store, const QString &name, int otherwise)
{
    const QVariant value = store.value(name);
    return value.typeId() == QMetaType::Int ? value.toInt() : otherwise;
}

// What the registry reports as the path of the running program.
QString programPath()
{
    return QCoreApplication::applicationFilePath();
}

// Writes values of one key in one visit. A damaged file is moved aside to
// "<file>.bad" first, so that it is replaced instead of blocking every write
// for good; its contents could not be read anyway.
void writeValues(const QString &key, const QList<std::pair<QString, QVariant>> &values)
{
    const QString path = TPlumoraKeys::storeFile();
    const auto failed = [&values] {
        return ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(values.first().first));
    };
    if (storeDamaged(path)) {
        const QString aside = path + QStringLiteral(".bad");
        QFile::remove(aside);
        // QDir renames only; QFile::rename would fall back on copying, which
        // reads a named pipe.
        QDir().rename(path, aside);
        if (storeIsSpecialFile(path))
            throw failed();
    }
    QSettings store(path, plumora::settings::typedSettingsFormat());
    if (store.status() == QSettings::NoError) {
        store.beginGroup(key);
        for (const auto &[name, value] : values)
            store.setValue(name, value);
        store.endGroup();
        store.sync();
    }
    if (store.status() != QSettings::NoError)
        throw failed();
}

} // namespace

TPlumoraKeys::TPlumoraKeys()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        m_position = screen->virtualGeometry().topLeft();
        m_size = QPoint(screen->geometry().width(), screen->geometry().height());
    }
}

QString TPlumoraKeys::storeFile()
{
    if (!storeFileOverride().isEmpty())
        return storeFileOverride();
    const QString fromEnvironment = qEnvironmentVariable("PLUMORA_SETTINGS_FILE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Quorvant/Plumora.conf");
}

void TPlumoraKeys::setStoreFile(const QString &path)
{
    storeFileOverride() = path;
}

QRect TPlumoraKeys::GetWorkArea() const
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return screen->availableGeometry();
    return {};
}

QPoint TPlumoraKeys::readPoint(const QString &xName, const QString &yName, QPoint fallback)
{
    Visit visit;
    if (!visit.opened)
        return fallback;
    visit.store->beginGroup(settingsKey());
    const int y = integerValue(*visit.store, yName, fallback.y());
    const int x = integerValue(*visit.store, xName, fallback.x());
    return { x, y };
}

QPoint TPlumoraKeys::WindowPosition()
{
    const QRect area = GetWorkArea();
    m_position = readPoint(QStringLiteral("Left"), QStringLiteral("Top"), area.topLeft());
    return m_position;
}

QPoint TPlumoraKeys::WindowSize()
{
    const QRect area = GetWorkArea();
    m_size
        = readPoint(QStringLiteral("Width"), QStringLiteral("Height"), QPoint(area.width(), area.height()));
    return m_size;
}

void TPlumoraKeys::setWindowPosition(QPoint position)
{
    if (position == m_position)
        return;
    writePoint(QStringLiteral("Left"), QStringLiteral("Top"), position);
    m_position = position;
}

void TPlumoraKeys::setWindowSize(QPoint size)
{
    if (size == m_size)
        return;
    writePoint(QStringLiteral("Width"), QStringLiteral("Height"), size);
    m_size = size;
}

bool TPlumoraKeys::WindowMaximized()
{
    Visit visit;
    m_maximized
        = visit.opened && integerValue(*visit.store, settingsKey() + QStringLiteral("/Maximized"), 0) == 1;
    return m_maximized;
}

void TPlumoraKeys::setWindowMaximized(bool maximized)
{
    if (maximized == m_maximized)
        return;
    writeValues(settingsKey(), { { QStringLiteral("Maximized"), QVariant(qint32(maximized ? 1 : 0)) } });
    m_maximized = maximized;
}

int TPlumoraKeys::AutosaveSeconds()
{
    constexpr int kDefault = 10;
    Visit visit;
    if (!visit.opened)
        return kDefault;
    const int seconds
        = integerValue(*visit.store, settingsKey() + QStringLiteral("/Autosave Seconds"), kDefault);
    return seconds < 0 ? kDefault : seconds;
}

void TPlumoraKeys::setAutosaveSeconds(int seconds)
{
    writeValues(settingsKey(), { { QStringLiteral("Autosave Seconds"), QVariant(qint32(seconds)) } });
}

void TPlumoraKeys::writePoint(const QString &xName, const QString &yName, QPoint point)
{
    writeValues(
        settingsKey(), { { xName, QVariant(qint32(point.x())) }, { yName, QVariant(qint32(point.y())) } });
}

QString TPlumoraKeys::readFolder(const QString &name)
{
    Visit visit;
    if (!visit.opened)
        return programPath();
    const QVariant value = visit.store->value(directoriesKey() + QLatin1Char('/') + name);
    if (!value.isValid())
        return {};
    if (value.typeId() != QMetaType::QString)
        return programPath();
    // Text ends at its first zero character, as a registry string does.
    QString text = value.toString();
    const qsizetype zero = text.indexOf(QChar(u'\0'));
    if (zero >= 0)
        text.truncate(zero);
    return text;
}

void TPlumoraKeys::writeFolder(const QString &name, const QString &dir)
{
    writeValues(directoriesKey(), { { name, QVariant(dir) } });
}

QStringList TPlumoraKeys::RecentFiles()
{
    Visit visit;
    QStringList files;
    if (!visit.opened)
        return files;
    for (int slot = 1; slot <= kRecentFiles; ++slot) {
        const QVariant value = visit.store->value(recentFilesKey() + QStringLiteral("/File%1").arg(slot));
        if (value.typeId() == QMetaType::QString && !value.toString().isEmpty()
            && !files.contains(value.toString()))
            files << value.toString();
    }
    return files;
}

void TPlumoraKeys::setRecentFiles(const QStringList &files)
{
    // Every slot is written, the unused ones empty, so a shorter list leaves
    // nothing of a longer one behind.
    QList<std::pair<QString, QVariant>> values;
    for (int slot = 1; slot <= kRecentFiles; ++slot)
        values.append({ QStringLiteral("File%1").arg(slot),
            QVariant(slot <= files.size() ? files.at(slot - 1) : QString()) });
    writeValues(recentFilesKey(), values);
}
