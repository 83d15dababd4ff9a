// Replacing a file as a whole: the earlier file survives every failure up to
// the rename, no temporary file stays behind, and the error names the file
// and the system's reason in words. Failures of the system calls are
// injected through the helper's seam.
#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

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

} // namespace
