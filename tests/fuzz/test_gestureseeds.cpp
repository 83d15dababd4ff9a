// The gesture seeds of the fuzzer (fuzz/seeds/gesture/*.zqa): how they are
// made, and that each is a valid gesture, so fuzzing starts from files that
// reach every block of the format.
//
// To make them again, from the source root:
//   PLUMORA_WRITE_SEEDS=fuzz/seeds/gesture <build>/bin/test_fuzz
//   --gtest_also_run_disabled_tests --gtest_filter='*WriteGestureSeeds'
#include "gesture/gesturetestutil.h"
#include "gesture/zqgesture.h"
#include "support/testdata.h"

#include <QDir>
#include <QFile>

#include <functional>
#include <map>

#include <gtest/gtest.h>

using namespace gesturetest;

namespace {

// Small on purpose: the fuzzer mutates them many thousand times a second.
std::map<QString, QByteArray> makeSeeds()
{
    std::map<QString, QByteArray> seeds;
    auto make = [&](const QString &name, const std::function<void(TZQGesture &)> &setUp) {
        TZQGesture g;
        setUp(g);
        seeds[name] = bytesOf(g);
    };
    make(QStringLiteral("one_pixel.zqa"), [](TZQGesture &g) { g.setFrames(frames(1, 1, 1)); });
    make(QStringLiteral("loop_transparent_author.zqa"), [](TZQGesture &g) {
        g.setFrames(frames(8, 6, 3, RGBColor(255, 0, 0)));
        g.setTagline(QStringLiteral("Hello"));
        g.SetAuthor(QStringLiteral("Ann"));
        g.setAnimLoopOption(aoLoop);
        g.setAnimLoopFrame(2);
        g.setTransparentColor(RGBColor(255, 0, 0));
    });
    make(QStringLiteral("reverse_sound_once.zqa"), [](TZQGesture &g) {
        g.setFrames(frames(5, 4, 4));
        g.setAnimLoopOption(aoReverse);
        loadSound(g, wav(40));
        g.setAudioRepeat(false);
        g.setAudioLoopFrame(3);
    });
    make(QStringLiteral("wide_frames.zqa"), [](TZQGesture &g) {
        g.setFrames(frames(255, 1, 2));
        g.setTagline(QString(255, QLatin1Char('t')));
    });
    return seeds;
}

QString seedDir()
{
    return QDir::cleanPath(testdata::path(QStringLiteral("../../fuzz/seeds/gesture")));
}

TEST(GestureSeeds, EverySeedIsAValidGesture)
{
    const QStringList names = QDir(seedDir()).entryList({ QStringLiteral("*.zqa") }, QDir::Files);
    ASSERT_GE(names.size(), 4);
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        TZQGesture g;
        g.setFilename(QDir(seedDir()).filePath(name));
        EXPECT_TRUE(g.Valid());
    }
}

TEST(GestureSeeds, DISABLED_WriteGestureSeeds)
{
    const QString dir = qEnvironmentVariable("PLUMORA_WRITE_SEEDS");
    ASSERT_FALSE(dir.isEmpty()) << "set PLUMORA_WRITE_SEEDS to the folder to write";
    for (const auto &[name, bytes] : makeSeeds()) {
        QFile file(QDir(dir).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
}

} // namespace
