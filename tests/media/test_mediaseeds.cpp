// The media seeds of the fuzzer (fuzz/seeds/media/): how they are made, and
// that each still reads, so fuzzing starts from files that reach the
// decoders.
//
// To make them again, from the source root:
//   PLUMORA_WRITE_SEEDS=fuzz/seeds/media <build>/bin/test_media
//   --gtest_also_run_disabled_tests --gtest_filter='*WriteMediaSeeds'
#include "media/clipreader.h"
#include "media/mediamaker.h"
#include "media/soundimport.h"
#include "platform/errors.h"
#include "support/testdata.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

struct Seed
{
    const char *name;
    const char *muxer, *video, *audio;
    double seconds;
    int rate;
};

// Small: a second or less, 64 x 36 pictures at 5 a second.
const Seed kSeeds[] = {
    { "seed.webm", "webm", "libvpx-vp9", "libopus", 1, 48000 },
    { "seed.mp4", "mp4", "libx264", "aac", 1, 22050 },
    { "seed.mkv", "matroska", "libvpx-vp9", nullptr, 1, 0 },
    { "seed.mp3", "mp3", nullptr, "libmp3lame", 0.5, 22050 },
    { "seed.ogg", "ogg", nullptr, "libvorbis", 0.5, 44100 },
    { "seed.opus", "ogg", nullptr, "libopus", 0.5, 48000 },
    { "seed.flac", "flac", nullptr, "flac", 0.3, 8000 },
};

TEST(MediaSeeds, DISABLED_WriteMediaSeeds)
{
    const QString folder = qEnvironmentVariable("PLUMORA_WRITE_SEEDS");
    ASSERT_FALSE(folder.isEmpty()) << "set PLUMORA_WRITE_SEEDS to the seed folder";
    QDir().mkpath(folder);
    for (const Seed &seed : kSeeds) {
        mediatest::ClipRecipe recipe;
        recipe.muxer = seed.muxer;
        recipe.video = seed.video;
        recipe.audio = seed.audio;
        recipe.size = QSize(64, 36);
        recipe.fps = 5;
        recipe.seconds = seed.seconds;
        recipe.rate = seed.rate;
        recipe.channels = 1;
        EXPECT_TRUE(mediatest::writeClip(QDir(folder).filePath(seed.name), recipe)) << seed.name;
    }
}

TEST(MediaSeeds, EverySeedReads)
{
    const QDir folder(testdata::path(QStringLiteral("../../fuzz/seeds/media")));
    for (const Seed &seed : kSeeds) {
        SCOPED_TRACE(seed.name);
        const QString path = folder.filePath(seed.name);
        ASSERT_TRUE(QFileInfo(path).isFile());
        if (seed.video) {
            EXPECT_FALSE(TClipReader(path).FramesAtTicks({}).empty());
        }
        if (seed.audio) {
            EXPECT_TRUE(ReadSoundFile(path).Converted);
        }
    }
}

} // namespace
