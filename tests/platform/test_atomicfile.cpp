// Replacing a file as a whole: the earlier file survives every failure up to
// the rename, no temporary file stays behind, and the error names the file
// and the system's reason in words. Failures of the system calls are
// injected through the helper's seam. Only regular files are replaced, with
// their owner kept, and leftovers of killed saves are cleared.
#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <cerrno>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using plumora::AtomicWriteCalls;
using plumora::ScopedAtomicWriteCalls;
using plumora::writeFileAtomically;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The message of the error the write raised; empty when it succeeded.
QString errorOf(const QString &path, const QByteArray &bytes)
{
    try {
        writeFileAtomically(path, bytes);
    } catch (const EStreamError &error) {
        return error.message();
    }
    return {};
}

struct stat statOf(const QString &path)
{
    struct stat info = {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info;
}

// Root may write anywhere. Where the test runs as root, the scope runs as
// "nobody" (the folder must let others in); anyone else stays who they are.
class AsOrdinaryUser
{
public:
    AsOrdinaryUser() : m_root(::geteuid() == 0)
    {
        if (m_root) {
            EXPECT_EQ(::setegid(kNobody), 0);
            EXPECT_EQ(::seteuid(kNobody), 0);
        }
    }
    ~AsOrdinaryUser()
    {
        if (m_root) {
            EXPECT_EQ(::seteuid(0), 0);
            EXPECT_EQ(::setegid(0), 0);
        }
    }
    AsOrdinaryUser(const AsOrdinaryUser &) = delete;
    AsOrdinaryUser &operator=(const AsOrdinaryUser &) = delete;
    static constexpr uid_t kNobody = 65534;

private:
    bool m_root;
};

template <typename... Args> auto failingWith(int error)
{
    return [error](Args...) {
        errno = error;
        return -1;
    };
}

class AtomicFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = dir.filePath(QStringLiteral("target.zqa"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("earlier");
    }
    QTemporaryDir dir;
    QString path;
};

TEST_F(AtomicFile, ReplacesTheFileKeepingItsPermissionsAndLinks)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    const QString link = dir.filePath(QStringLiteral("link.zqa"));
    ASSERT_TRUE(QFile::link(path, link));
    EXPECT_EQ(errorOf(link, "new bytes"), QString());
    EXPECT_EQ(readFile(path), "new bytes");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(dir.path()), QStringList({ "link.zqa", "target.zqa" }));
}

TEST_F(AtomicFile, AFailureBeforeTheRenameKeepsTheEarlierFile)
{
    const struct
    {
        const char *what;
        AtomicWriteCalls calls;
        const char *reason;
    } cases[] = {
        { "write", { failingWith<int, const void *, size_t>(ENOSPC), {}, {}, {} },
            "No space left on device" },
        { "write makes no progress", { [](int, const void *, size_t) -> ssize_t { return 0; }, {}, {}, {} },
            "No space left on device" },
        { "data sync", { {}, failingWith<int>(EIO), {}, {} }, "Input/output error" },
        { "rename", { {}, {}, failingWith<const char *, const char *>(EACCES), {} }, "Permission denied" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScopedAtomicWriteCalls inject(c.calls);
        const QString message = errorOf(path, QByteArray(100000, 'x'));
        EXPECT_TRUE(message.contains(QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(path))))
            << message.toStdString();
        EXPECT_TRUE(message.endsWith(QLatin1String(c.reason))) << message.toStdString();
        EXPECT_EQ(readFile(path), "earlier");
        EXPECT_EQ(entries(dir.path()), QStringList { "target.zqa" });
    }
}

// After the rename the new file is in place; a folder that cannot be synced
// may still lose it, which the caller is told.
TEST_F(AtomicFile, AFailedFolderSyncIsReported)
{
    ScopedAtomicWriteCalls inject({ {}, {}, {}, failingWith<int>(EIO) });
    EXPECT_TRUE(errorOf(path, "new").endsWith(QLatin1String("Input/output error")));
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(entries(dir.path()), QStringList { "target.zqa" });
}

TEST_F(AtomicFile, NamesAtTheFileSystemLimitAreWrittenAndReplaced)
{
    // 255 bytes, with a three-byte character across the place where the
    // temporary file's name is cut.
    const QString longest = QLatin1Char('a') + QString(82, QChar(0x20AC)) + QStringLiteral("1234.zqa");
    ASSERT_EQ(QFile::encodeName(longest).size(), 255);
    const QString target = dir.filePath(longest);
    EXPECT_EQ(errorOf(target, "first"), QString());
    EXPECT_EQ(errorOf(target, "second"), QString());
    EXPECT_EQ(readFile(target), "second");
    EXPECT_EQ(entries(dir.path()).size(), 2);

    const QString message = errorOf(target + QLatin1Char('a'), "x");
    EXPECT_TRUE(message.endsWith(QLatin1String("File name too long"))) << message.toStdString();
    const QString missing = errorOf(dir.filePath(QStringLiteral("no/such/folder/x.wav")), "x");
    EXPECT_TRUE(missing.startsWith(QLatin1String("Cannot create file"))) << missing.toStdString();
    EXPECT_TRUE(missing.endsWith(QLatin1String("No such file or directory"))) << missing.toStdString();
    EXPECT_EQ(entries(dir.path()).size(), 2);
}

// Whatever is at the name, or where its link leads, that is not a regular
// file stays as it is: the save is refused naming it, and nothing is written.
TEST_F(AtomicFile, OnlyARegularFileIsReplaced)
{
    const auto at = [this](const char *name) { return dir.filePath(QLatin1String(name)); };
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("pipe.zqa")).constData(), 0666), 0);
    ASSERT_TRUE(QFile::link(at("pipe.zqa"), at("to-pipe.zqa")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), at("to-null.zqa")));
    // Only root may make a device node.
    const bool device
        = ::mknod(QFile::encodeName(at("device.zqa")).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    ASSERT_TRUE(QFile::link(at("loop-a.zqa"), at("loop-b.zqa")));
    ASSERT_TRUE(QFile::link(at("loop-b.zqa"), at("loop-a.zqa")));
    const QStringList before = entries(dir.path());

    const struct
    {
        const char *name;
        const char *reason;
        const char *untouched; // what must still be of its kind afterwards
    } cases[] = {
        { "pipe.zqa", "It is a named pipe, not a regular file", "pipe.zqa" },
        { "to-pipe.zqa", "a named pipe, not a regular file", "pipe.zqa" },
        { "device.zqa", "It is a device, not a regular file", "device.zqa" },
        { "loop-a.zqa", "Too many levels of symbolic links", "loop-a.zqa" },
        { "to-null.zqa", "It leads to \"/dev/null\", a device, not a regular file", "/dev/null" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (!device && QLatin1String(c.name) == QLatin1String("device.zqa"))
            continue;
        const QString untouched = QFileInfo(dir.path(), QLatin1String(c.untouched)).filePath();
        const mode_t kind = statOf(untouched).st_mode & S_IFMT;
        QString message;
        {
            // /dev/null is tried as an ordinary user, who may not replace it
            // whatever the helper did.
            const AsOrdinaryUser user;
            message = errorOf(at(c.name), "new bytes");
        }
        EXPECT_TRUE(message.startsWith(QStringLiteral("Cannot write file \"%1\"").arg(at(c.name))))
            << message.toStdString();
        EXPECT_TRUE(message.endsWith(QLatin1String(c.reason))) << message.toStdString();
        EXPECT_EQ(statOf(untouched).st_mode & S_IFMT, kind);
        EXPECT_EQ(entries(dir.path()), before);
    }
}

// The new file keeps the earlier one's owner and group where the saver may
// give them (root may); where it may not, the save succeeds and a notice
// says whose the file now is.
TEST_F(AtomicFile, TheOwnerIsKeptOrTheSaverIsTold)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make files of other users to replace";
    const QByteArray name = QFile::encodeName(path);
    ASSERT_EQ(::chown(name.constData(), 12345, 12346), 0);
    ASSERT_EQ(::chmod(name.constData(), 0640), 0);
    EXPECT_EQ(errorOf(path, "root's save"), QString());
    struct stat info = statOf(path);
    EXPECT_EQ(info.st_uid, 12345u);
    EXPECT_EQ(info.st_gid, 12346u);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // As "nobody", replacing root's file that anyone may write, in a folder
    // that anyone may write.
    ASSERT_EQ(::chown(name.constData(), 0, 0), 0);
    ASSERT_EQ(::chmod(name.constData(), 0666), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    QStringList notices;
    plumora::setSaveNoticeHandler([&notices](const QString &notice) { notices << notice; });
    const auto restore = qScopeGuard([] { plumora::setSaveNoticeHandler({}); });
    {
        const AsOrdinaryUser nobody;
        EXPECT_EQ(errorOf(path, "nobody's save"), QString());
    }
    EXPECT_EQ(readFile(path), "nobody's save");
    info = statOf(path);
    EXPECT_EQ(info.st_uid, AsOrdinaryUser::kNobody);
    EXPECT_EQ(info.st_mode & 07777, 0666u);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith(QStringLiteral("\"%1\" was saved, but it now belongs to ").arg(path)))
        << notices[0].toStdString();
    EXPECT_TRUE(notices[0].contains(QLatin1String("instead of root:root"))) << notices[0].toStdString();
}

// A save killed before its rename leaves ".target.zqa.xxxxxxx" behind; the
// next save of the target removes such files, and nothing else.
TEST_F(AtomicFile, LeftoversOfKilledSavesAreRemovedByTheNextSave)
{
    const auto at = [this](const char *name) { return dir.filePath(QLatin1String(name)); };
    const auto plant = [&](const char *name) { QFile(at(name)).open(QIODevice::WriteOnly); };
    plant(".target.zqa.ab12cd3");
    plant(".target.zqa.zzzzzzz");
    const char *kept[] = {
        ".target.zqa.bak", // not the temporary's form
        ".target.zqa.AB12CD3", ".target.zqa.ab12cd34", "target.zqa.ab12cd3", ".other.zqa.ab12cd3",
        ".target.zqa.linked0", // a second name of a file elsewhere
        ".target.zqa.symlink", // a link, not a file
        ".target.zqa.folder0",
        ".target.zqa.inuse00", // another save is still writing it
    };
    for (int i = 0; i < 5; ++i)
        plant(kept[i]);
    plant("elsewhere");
    ASSERT_TRUE(QFile::link(at("elsewhere"), at(".target.zqa.symlink")));
    ASSERT_EQ(::link(QFile::encodeName(at("elsewhere")).constData(),
                  QFile::encodeName(at(".target.zqa.linked0")).constData()),
        0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral(".target.zqa.folder0")));
    plant(".target.zqa.inuse00");
    const int inUse = ::open(QFile::encodeName(at(".target.zqa.inuse00")).constData(), O_RDONLY);
    ASSERT_EQ(::flock(inUse, LOCK_EX), 0);
    const auto release = qScopeGuard([inUse] { ::close(inUse); });

    EXPECT_EQ(errorOf(path, "new"), QString());
    QStringList expected { "elsewhere", "target.zqa" };
    for (const char *name : kept)
        expected << QLatin1String(name);
    expected.sort();
    QStringList left = entries(dir.path());
    left.sort();
    EXPECT_EQ(left, expected);
}

} // namespace
