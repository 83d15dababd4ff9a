// Sounds of any kind made into a gesture's sound: the format chosen, the
// WAV made (checked by its header and its tone), and what is refused.
#include "gesture/soundfit.h"
#include "media/mediamaker.h"
#include "media/soundimport.h"
#include "platform/errors.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

#include <optional>

#include <gtest/gtest.h>

namespace {

// The ladder against hand-worked sizes: 65,491 bytes after the header.
TEST(SoundFit, TheBestFormatThatFits)
{
    struct Row
    {
        qint64 ms;
        int rate, channels;
        std::optional<TSoundFormat> expected;
    };
    const Row rows[] = {
        { 300, 44100, 2, TSoundFormat { 44100, 2, 16 } }, // 52,920 bytes
        { 400, 44100, 2, TSoundFormat { 44100, 1, 16 } }, // stereo 70,560 does not fit
        { 1000, 44100, 1, TSoundFormat { 22050, 1, 16 } },
        { 2900, 48000, 2, TSoundFormat { 11025, 1, 16 } },
        { 5900, 44100, 1, TSoundFormat { 11025, 1, 8 } },
        { 8100, 44100, 1, TSoundFormat { 8000, 1, 8 } },
        { 10000, 48000, 2, TSoundFormat { 6000, 1, 8 } }, // a 10 s clip
        { 16300, 44100, 2, TSoundFormat { 4000, 1, 8 } },
        { 16400, 44100, 2, std::nullopt }, // 4,000 Hz holds 16.37 s
        { 4000, 8000, 1, TSoundFormat { 8000, 1, 16 } }, // never above the source's rate
        { 30000, 2000, 1, TSoundFormat { 2000, 1, 8 } },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.ms);
        EXPECT_EQ(ChooseSoundFormat(row.ms, row.rate, row.channels, 65535), row.expected);
    }
    EXPECT_EQ(LongestFittingMs({ 4000, 1, 8 }, 65535), 16372);
    EXPECT_EQ(WaveFileBytes({ 8000, 1, 8 }, 3), 44 + 3 + 1); // odd data is padded
}

struct Wave
{
    int rate = 0, channels = 0, bits = 0;
    std::vector<int> samples; // the first channel, centred on 0
};

Wave parse(const QByteArray &wav)
{
    Wave w;
    const auto timing = WaveTimingFromHeader(wav, wav.size());
    if (!timing)
        return w;
    w.channels = qFromLittleEndian<quint16>(wav.constData() + 22);
    w.rate = int(qFromLittleEndian<quint32>(wav.constData() + 24));
    w.bits = qFromLittleEndian<quint16>(wav.constData() + 34);
    const int step = w.channels * w.bits / 8;
    for (qint64 at = timing->DataOffset; step > 0 && at + step <= timing->DataOffset + timing->DataBytes;
         at += step)
        w.samples.push_back(w.bits == 8 ? int(uchar(wav[qsizetype(at)])) - 128
                                        : qFromLittleEndian<qint16>(wav.constData() + at));
    return w;
}

// The tone's frequency, from its rising zero crossings.
double toneHz(const Wave &w)
{
    int crossings = 0;
    for (std::size_t i = 1; i < w.samples.size(); ++i)
        crossings += w.samples[i - 1] < 0 && w.samples[i] >= 0;
    return w.rate && !w.samples.empty() ? crossings * double(w.rate) / double(w.samples.size()) : 0;
}

TEST(SoundImport, EveryKindBecomesAWaveThatFits)
{
    struct Row
    {
        const char *file;
        bool converted;
        TSoundFormat format;
        qint64 ms;
    };
    const Row rows[] = {
        { "tone.mp3", true, { 11025, 1, 8 }, 3000 },
        { "tone.ogg", true, { 11025, 1, 8 }, 5000 },
        { "tone.opus", true, { 6000, 1, 8 }, 10000 },
        { "tone.flac", true, { 11025, 1, 16 }, 2000 },
        { "long.wav", true, { 4000, 1, 8 }, 12000 },
        { "small.wav", false, { 8000, 1, 8 }, 1000 },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.file);
        const QString path = mediatest::media(row.file);
        ASSERT_FALSE(path.isEmpty());
        const TFittedSound sound = ReadSoundFile(path);
        EXPECT_EQ(sound.Converted, row.converted);
        EXPECT_EQ(sound.Format, row.format) << sound.Format.Text().toStdString();
        EXPECT_NEAR(double(sound.DurationMs), double(row.ms), 80.0); // MP3 frames add some ms
        EXPECT_LE(sound.Wav.size(), 65535);
        if (!row.converted) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(sound.Wav, file.readAll()); // byte for byte
        }
        const Wave wave = parse(sound.Wav);
        EXPECT_EQ(wave.rate, row.format.Rate);
        EXPECT_EQ(wave.bits, row.format.Bits);
        // Still the 440 Hz tone after decoding, mixing and resampling.
        EXPECT_NEAR(toneHz(wave), 440.0, 440.0 * 0.03);
    }
}

TEST(SoundImport, WhatIsNoSoundOrTooLongIsRefused)
{
    QTemporaryDir dir;
    const auto write = [&](const char *name, const QByteArray &bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    picture.save(dir.filePath("picture.mp3"), "png");
    // An MP3 whose Xing header states ten hours of frames (at 1,152 samples
    // a frame, 44,100 a second), holding 20 s of them.
    QFile mp3(mediatest::media("twenty.mp3"));
    EXPECT_TRUE(mp3.open(QIODevice::ReadOnly));
    QByteArray tenHours = mp3.readAll();
    qsizetype xing = tenHours.indexOf("Xing");
    if (xing < 0)
        xing = tenHours.indexOf("Info");
    EXPECT_GT(xing, 0);
    qToBigEndian<quint32>(36000u * 44100u / 1152u, tenHours.data() + xing + 8);
    struct Row
    {
        QString path;
        const char *message;
    };
    const Row rows[] = {
        { mediatest::media("twenty.mp3"), "lasts 20." },
        { mediatest::media("twenty.mp3"),
            "a gesture holds at most 16.3 s of sound (at 4,000 Hz, 8-bit mono)" },
        { write("ten_hours.mp3", tenHours), "lasts 10:00:00." },
        { write("notes.ogg", "not a sound, only words\n"), "no video clip or sound" },
        { dir.filePath("picture.mp3"), "no video clip or sound" },
        { mediatest::media("clip.mkv"), "holds no sound, only pictures" },
        { dir.filePath("missing.mp3"), "missing.mp3" },
        { dir.path(), "not a file" },
        // Zeros in which no parser finds a frame are read no further than
        // one step of the demuxer may read, not to their end.
        { [&] {
             QFile zeros(write("zeros.mp3", {}));
             EXPECT_TRUE(zeros.resize(qint64(256) << 20));
             return zeros.fileName();
         }(),
            "hold no picture or sound that can be read" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        try {
            ReadSoundFile(row.path);
            ADD_FAILURE() << "taken as a sound";
        } catch (const PlumoraError &error) {
            EXPECT_TRUE(error.message().contains(QLatin1String(row.message)))
                << error.message().toStdString();
        }
    }
}

} // namespace
