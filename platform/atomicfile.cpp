#include "atomicfile.h"

#include "errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
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

constexpr int kSuffixLetters = 7; // the random part of ".xxxxxxx"
constexpr char kSuffixAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";

// The part of the target's name that its temporary files carry, cut so that
// the temporary's name stays within the file system's name limit however
// long the target's own name is. The cut never splits a UTF-8 sequence.
QByteArray temporaryStem(const QByteArray &targetName)
{
    QByteArray stem = targetName.left(kNameMax - 2 - kSuffixLetters);
    while (!stem.isEmpty() && (uchar(stem.back()) & 0xC0) == 0x80)
        stem.chop(1); // continuation bytes of a cut sequence
    if (!stem.isEmpty() && uchar(stem.back()) >= 0xC0)
        stem.chop(1); // its lead byte
    return stem;
}

// A name beside the target for the temporary file: hidden, the stem, and a
// random ending: ".<stem>.xxxxxxx".
QByteArray temporaryName(const QByteArray &stem)
{
    QByteArray name = '.' + stem + '.';
    for (int i = 0; i < kSuffixLetters; ++i)
        name += kSuffixAlphabet[QRandomGenerator::global()->bounded(int(sizeof kSuffixAlphabet) - 1)];
    return name;
}

// Whether a folder entry has exactly the form temporaryName gives for stem;
// for any stem when stem is null.
bool isTemporaryName(const char *entry, const QByteArray &stem)
{
    const qsizetype length = qsizetype(std::strlen(entry));
    const qsizetype stemLength = stem.isNull() ? length - 2 - kSuffixLetters : stem.size();
    if (stemLength < 1 || length != stemLength + 2 + kSuffixLetters || entry[0] != '.'
        || (!stem.isNull() && std::memcmp(entry + 1, stem.constData(), size_t(stem.size())) != 0)
        || entry[1 + stemLength] != '.')
        return false;
    for (const char *c = entry + 2 + stemLength; *c; ++c)
        if (!std::strchr(kSuffixAlphabet, *c))
            return false;
    return true;
}

// Removes the temporary files that earlier saves of the same target (of any
// target when stem is null) left behind when they were killed before their rename. Only regular files of
// exactly the temporary's name form, owned by this user, with no other link
// and not in use are removed: a save in progress holds a lock on its
// temporary file until its rename (see writeFileAtomically). Anything that
// cannot be checked is left alone; the save itself never depends on this.
void removeStaleTemporaries(const QByteArray &folder, const QByteArray &stem)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name, stem))
            continue;
        struct stat named = {};
        if (::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode)
            || named.st_uid != ::geteuid() || named.st_nlink != 1)
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened = {};
        if (::fstat(fd, &opened) == 0 && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

// What kind of thing a file that is not a regular file is, for messages.
QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a special file");
}

// "user:group" of a file's owner, with numbers where the system has no name.
QString ownerText(uid_t uid, gid_t gid)
{
    char buffer[4096];
    passwd user = {};
    passwd *userFound = nullptr;
    group grp = {};
    group *groupFound = nullptr;
    ::getpwuid_r(uid, &user, buffer, sizeof buffer, &userFound);
    QString text = userFound ? QString::fromLocal8Bit(userFound->pw_name) : QString::number(uid);
    ::getgrgid_r(gid, &grp, buffer, sizeof buffer, &groupFound);
    return text + QLatin1Char(':')
        + (groupFound ? QString::fromLocal8Bit(groupFound->gr_name) : QString::number(gid));
}

std::function<void(const QString &)> &noticeHandler()
{
    static std::function<void(const QString &)> handler;
    return handler;
}

void notify(const QString &message)
{
    if (noticeHandler())
        noticeHandler()(message);
    else
        qWarning("%s", qUtf8Printable(message));
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

void setSaveNoticeHandler(std::function<void(const QString &message)> handler)
{
    noticeHandler() = std::move(handler);
}

void writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    const AtomicWriteCalls &calls = atomicWriteCalls();
    const QString target = finalTarget(path);
    const QByteArray targetBytes = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).path()) + '/';
    const QByteArray stem = temporaryStem(QFile::encodeName(QFileInfo(target).fileName()));

    // Only a regular file is replaced: a named pipe, a device or a socket
    // at the name is something else that a save must not turn into a file.
    // The earlier file's owner and permissions carry over to the new one,
    // and a file the user may not write is not replaced behind their back.
    struct stat existing = {};
    const bool exists = ::lstat(targetBytes.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        fail("write", path, EISDIR);
    if (exists && S_ISLNK(existing.st_mode))
        fail("write", path, ELOOP); // links beyond the depth finalTarget follows
    if (exists && !S_ISREG(existing.st_mode)) {
        const QString what = !QFileInfo(path).isSymLink()
            ? QStringLiteral("It is %1").arg(kindOf(existing.st_mode))
            : QStringLiteral("It leads to \"%1\", %2")
                  .arg(QDir::toNativeSeparators(target), kindOf(existing.st_mode));
        throw EStreamError(QStringLiteral("Cannot write file \"%1\". %2, not a regular file")
                               .arg(QDir::toNativeSeparators(path), what));
    }
    if (exists && ::faccessat(AT_FDCWD, targetBytes.constData(), W_OK, AT_EACCESS) != 0)
        fail("write", path, errno);

    removeStaleTemporaries(folder, stem);
    int fd = -1;
    QByteArray temporary;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = folder + temporaryName(stem);
        // Private until the owner and permissions are copied; a new file
        // gets the usual permissions less the umask.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            fail("create", path, errno);
    }
    if (fd < 0)
        fail("create", path, EEXIST);
    Temporary file(fd, temporary);
    // Marks the temporary as in use until the rename, so that another save
    // of the same target never takes it for a stale one; the lock goes with
    // the last descriptor, which lockFd keeps past the close below. A file
    // system without locks only loses that protection.
    const int lockFd = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    const auto unlock = qScopeGuard([lockFd] {
        if (lockFd >= 0)
            ::close(lockFd);
    });

    QString ownerNotice;
    if (exists) {
        // The owner first: changing it may clear the set-user and set-group
        // bits, which the permissions then restore. A saver that may not give
        // the file to its owner (only root may) keeps at least the group
        // where it belongs to it, and the save goes on with a notice.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())
            && ::fchown(file.fd(), existing.st_uid, existing.st_gid) != 0) {
            const int error = errno;
            ::fchown(file.fd(), uid_t(-1), existing.st_gid);
            struct stat now = {};
            ::fstat(file.fd(), &now);
            ownerNotice = QStringLiteral("\"%1\" was saved, but it now belongs to %2 instead of %3. %4")
                              .arg(QDir::toNativeSeparators(path), ownerText(now.st_uid, now.st_gid),
                                  ownerText(existing.st_uid, existing.st_gid), reasonOf(error));
        }
        if (::fchmod(file.fd(), existing.st_mode & 07777) != 0)
            fail("write", path, errno);
    }
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
    if (!ownerNotice.isEmpty())
        notify(ownerNotice);

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

void removeStaleTemporaries(const QString &folder)
{
    removeStaleTemporaries(QFile::encodeName(folder), QByteArray());
}

} // namespace plumora
