#include "atomicfile.h"

#include "errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plumora {

namespace {

AtomicWriteCalls systemCalls()
{
    return {
        [](int fd, const void *data, size_t size) { return ::write(fd, data, size); },
        [](int fd) { return ::fdatasync(fd); },
        [](const char *from, const char *to) { return ::rename(from, to); },
        [](int fd) { return ::fsync(fd); },
    };
}

// The longest file name most file systems take, in bytes.
constexpr int kNameMax = NAME_MAX;

QString reasonOf(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void fail(const char *what, const QString &path, int error)
{
    throw EStreamError(QStringLiteral("Cannot %1 file \"%2\". %3")
                           .arg(QLatin1String(what), QDir::toNativeSeparators(path), reasonOf(error)));
}

// A name beside `target` for the temporary file: hidden, with a random
// ending, and cut so that it stays within the file system's name limit
// however long the target's own name is. The cut never splits a UTF-8
// sequence.
QByteArray temporaryName(const QByteArray &folder, const QByteArray &targetName)
{
    constexpr int kSuffix = 8; // ".xxxxxx"
    QByteArray stem = targetName.left(kNameMax - 1 - kSuffix);
    while (!stem.isEmpty() && (uchar(stem.back()) & 0xC0) == 0x80)
        stem.chop(1); // continuation bytes of a cut sequence
    if (!stem.isEmpty() && uchar(stem.back()) >= 0xC0)
        stem.chop(1); // its lead byte
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(".");
    for (int i = 1; i < kSuffix; ++i)
        suffix += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
    return folder + '.' + stem + suffix;
}

// The file a path finally names: a symbolic link is followed, so the link
// stays and its target is replaced.
QString finalTarget(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.filePath();
}

// Closes a descriptor and removes the temporary file unless released.
class Temporary
{
public:
    Temporary(int fd, QByteArray name) : m_fd(fd), m_name(std::move(name)) { }
    ~Temporary()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_name.isEmpty())
            ::unlink(m_name.constData());
    }
    Temporary(const Temporary &) = delete;
    Temporary &operator=(const Temporary &) = delete;

    int fd() const { return m_fd; }
    const QByteArray &name() const { return m_name; }
    // Closes the file; false (errno set) when the system reports a failure.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }
    void release() { m_name.clear(); }

private:
    int m_fd;
    QByteArray m_name;
};

} // namespace

AtomicWriteCalls &atomicWriteCalls()
{
    static AtomicWriteCalls calls = systemCalls();
    return calls;
}

ScopedAtomicWriteCalls::ScopedAtomicWriteCalls(AtomicWriteCalls calls) : m_saved(atomicWriteCalls())
{
    AtomicWriteCalls &current = atomicWriteCalls();
    if (calls.write)
        current.write = std::move(calls.write);
    if (calls.syncData)
        current.syncData = std::move(calls.syncData);
    if (calls.rename)
        current.rename = std::move(calls.rename);
    if (calls.syncFolder)
        current.syncFolder = std::move(calls.syncFolder);
}

ScopedAtomicWriteCalls::~ScopedAtomicWriteCalls()
{
    atomicWriteCalls() = m_saved;
}

void writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    const AtomicWriteCalls &calls = atomicWriteCalls();
    const QString target = finalTarget(path);
    const QByteArray targetBytes = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).path()) + '/';
    const QByteArray name = QFile::encodeName(QFileInfo(target).fileName());

    // The earlier file's permissions carry over to the new one, and a file
    // the user may not write is not replaced behind their back.
    struct stat existing = {};
    const bool exists = ::stat(targetBytes.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        fail("write", path, EISDIR);
    if (exists && ::faccessat(AT_FDCWD, targetBytes.constData(), W_OK, AT_EACCESS) != 0)
        fail("write", path, errno);

    int fd = -1;
    QByteArray temporary;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = temporaryName(folder, name);
        // Private until the permissions are copied; a new file gets the
        // usual permissions less the umask.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            fail("create", path, errno);
    }
    if (fd < 0)
        fail("create", path, EEXIST);
    Temporary file(fd, temporary);

    if (exists && ::fchmod(file.fd(), existing.st_mode & 07777) != 0)
        fail("write", path, errno);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = calls.write(file.fd(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("write", path, n == 0 ? ENOSPC : errno);
        done += n;
    }
    // A write the device cannot keep shows only here: the earlier file must
    // survive it, so the rename waits for the data to be on the device.
    if (calls.syncData(file.fd()) != 0)
        fail("write", path, errno);
    if (!file.close())
        fail("write", path, errno);
    if (calls.rename(file.name().constData(), targetBytes.constData()) != 0)
        fail("write", path, errno);
    file.release();

    // The rename is durable once the folder is synced. A folder this process
    // may not open, or a file system that cannot sync folders, leaves it to
    // the system; any other failure is reported, as the new file may be lost.
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return;
    const int synced = calls.syncFolder(folderFd);
    const int error = errno;
    ::close(folderFd);
    if (synced != 0 && error != EINVAL && error != ENOTSUP)
        fail("write", path, error);
}

} // namespace plumora
