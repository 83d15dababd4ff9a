// Every seed and every regression input through every fuzz target, as plain
// tests: an input that once crashed a reader keeps being checked, and the
// seeds show each target still runs end to end. Nothing is fuzzed here.
#include "fuzz/targets.h"
#include "support/testdata.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QString sourceRoot()
{
    return QDir::cleanPath(testdata::path(QStringLiteral("../..")));
}

// The files matching a target's seed patterns ("dir/*.ext").
QStringList seedFiles(const plumora::fuzz::Target &target)
{
    QStringList files;
    for (const QString &pattern : QString::fromLatin1(target.seeds).split(QLatin1Char(';'))) {
        const QFileInfo info(sourceRoot() + QLatin1Char('/') + pattern);
        const QDir dir(info.path(), info.fileName(), QDir::Name, QDir::Files);
        for (const QString &name : dir.entryList())
            files << dir.filePath(name);
    }
    return files;
}

QStringList regressionFiles(const char *target)
{
    const QDir dir(sourceRoot() + QStringLiteral("/fuzz/regressions/") + QLatin1String(target), {},
        QDir::Name, QDir::Files);
    QStringList files;
    for (const QString &name : dir.entryList())
        files << dir.filePath(name);
    return files;
}

void runFile(const plumora::fuzz::Target &target, const QString &path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray bytes = file.readAll();
    target.run(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
}

class FuzzInputs : public ::testing::TestWithParam<const char *>
{
};

// Inputs of every target run through every target: a GIF is also a damaged
// gesture, a settings file a damaged WAV.
TEST_P(FuzzInputs, EverySeedAndRegressionRuns)
{
    const plumora::fuzz::Target *target = plumora::fuzz::findTarget(GetParam());
    ASSERT_NE(target, nullptr);
    const QStringList ownSeeds = seedFiles(*target);
    EXPECT_FALSE(ownSeeds.isEmpty()) << "no seed files for " << target->name;
    QStringList inputs;
    for (const plumora::fuzz::Target &other : plumora::fuzz::targets())
        inputs << seedFiles(other) << regressionFiles(other.name);
    for (const QString &path : inputs) {
        SCOPED_TRACE(path.toStdString());
        runFile(*target, path);
    }
}

// The empty input, and prefixes of the seeds, reach the readers' checks for
// data that ends early.
TEST_P(FuzzInputs, EmptyAndCutSeedsRun)
{
    const plumora::fuzz::Target *target = plumora::fuzz::findTarget(GetParam());
    ASSERT_NE(target, nullptr);
    target->run(nullptr, 0);
    for (const QString &path : seedFiles(*target)) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (const qsizetype cut : { qsizetype(1), bytes.size() / 3, bytes.size() / 2, bytes.size() - 1 }) {
            if (cut <= 0 || cut >= bytes.size())
                continue;
            SCOPED_TRACE(QStringLiteral("%1 cut at %2").arg(path).arg(cut).toStdString());
            const QByteArray part = bytes.left(cut);
            target->run(reinterpret_cast<const std::uint8_t *>(part.constData()), std::size_t(part.size()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzInputs,
    ::testing::Values("gif", "gesture", "settings", "wav", "jpeg", "bmp", "import", "sound", "media"),
    [](const ::testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

TEST(FuzzTargets, EveryTargetIsTested)
{
    EXPECT_EQ(plumora::fuzz::targets().size(), 9u);
}

} // namespace
