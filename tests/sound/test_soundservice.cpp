// The sound service against SDL's disk driver, which writes every sample the
// device is given to a file: what was asked for must be what was played.
#include "sound/soundservice.h"
#include "support/testdata.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include <SDL.h>
#include <gtest/gtest.h>

using namespace plumora;

namespace {

constexpr unsigned kSync = SndMemory;
constexpr unsigned kAsync = SndMemory | SndAsync;
constexpr unsigned kLoop = SndMemory | SndAsync | SndLoop;

void putLE(QByteArray &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// A RIFF WAVE image with one fmt chunk and one data chunk.
QByteArray makeWav(int formatTag, int channels, int rate, int bits, const QByteArray &data)
{
    const int blockAlign = channels * bits / 8;
    QByteArray out("RIFF");
    putLE(out, quint32(4 + 8 + 18 + 8 + data.size() + (data.size() & 1)), 4);
    out.append("WAVEfmt ");
    putLE(out, 18, 4);
    putLE(out, quint32(formatTag), 2);
    putLE(out, quint32(channels), 2);
    putLE(out, quint32(rate), 4);
    putLE(out, quint32(rate * blockAlign), 4);
    putLE(out, quint32(blockAlign), 2);
    putLE(out, quint32(bits), 2);
    putLE(out, 0, 2); // no extra format bytes
    out.append("data");
    putLE(out, quint32(data.size()), 4);
    out.append(data);
    if (data.size() & 1)
        out.append('\0');
    return out;
}

// Stereo 16-bit samples, left then right, never zero, so silence around the
// sound in the device's output is easy to tell apart.
std::vector<qint16> patternSamples(int frames, int seed)
{
    std::vector<qint16> s;
    s.reserve(std::size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        s.push_back(qint16(1000 + (qint64(i) * 7919 + seed * 31) % 20000));
        s.push_back(qint16(-500 - (qint64(i) * 104729 + seed * 17) % 15000));
    }
    return s;
}

std::vector<qint16> constantSamples(int frames, qint16 value)
{
    return std::vector<qint16>(std::size_t(frames) * 2, value);
}

QByteArray stereo16Wav(const std::vector<qint16> &samples, int rate = 44100)
{
    QByteArray data(qsizetype(samples.size() * 2), Qt::Uninitialized);
    for (std::size_t i = 0; i < samples.size(); ++i)
        qToLittleEndian(samples[i], data.data() + 2 * i);
    return makeWav(1, 2, rate, 16, data);
}

// Waits until the condition holds; the bound is far beyond what it needs.
bool waitFor(const std::function<bool()> &condition, int boundMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > boundMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Runs each test on a fresh device of the chosen SDL driver.
class SoundServiceTest : public ::testing::Test
{
protected:
    void useDriver(const char *driver)
    {
        shutdownSound();
        qputenv("SDL_AUDIODRIVER", driver);
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(outputPath()));
    }
    void SetUp() override
    {
        m_savedDriver = qgetenv("SDL_AUDIODRIVER");
        ASSERT_TRUE(m_dir.isValid());
        useDriver("disk");
    }
    void TearDown() override
    {
        shutdownSound();
        qputenv("SDL_AUDIODRIVER", m_savedDriver);
        qunsetenv("SDL_DISKAUDIOFILE");
    }

    QString outputPath() const { return m_dir.filePath(QStringLiteral("played.raw")); }

    // Everything the disk driver wrote, as 16-bit samples. Closes the device
    // first so that the file is complete.
    std::vector<qint16> played()
    {
        shutdownSound();
        QFile f(outputPath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = f.readAll();
        std::vector<qint16> s(std::size_t(bytes.size() / 2));
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = qFromLittleEndian<qint16>(bytes.constData() + 2 * i);
        return s;
    }

    // The device format the stereo 16-bit comparisons rely on.
    void expectPlainDeviceFormat()
    {
        const SoundStats st = soundStats();
        ASSERT_TRUE(st.deviceOpen);
        ASSERT_EQ(st.deviceRate, 44100);
        ASSERT_EQ(st.deviceChannels, 2);
        ASSERT_EQ(st.deviceFormat, AUDIO_S16LSB);
    }

    QTemporaryDir m_dir;
    QByteArray m_savedDriver;
};

// Index of the first sample that is not silence, or the sample count.
std::size_t firstSound(const std::vector<qint16> &out, std::size_t from = 0)
{
    while (from < out.size() && out[from] == 0)
        ++from;
    return from;
}

bool silentFrom(const std::vector<qint16> &out, std::size_t from)
{
    return firstSound(out, from) == out.size();
}

bool matchesAt(const std::vector<qint16> &out, std::size_t at, const std::vector<qint16> &sound)
{
    return at + sound.size() <= out.size()
        && std::equal(sound.begin(), sound.end(), out.begin() + std::ptrdiff_t(at));
}

} // namespace

TEST_F(SoundServiceTest, SyncPlayDeliversExactlyTheSoundThenSilence)
{
    const auto sound = patternSamples(4410, 1); // 0.1 s
    ASSERT_TRUE(playSound(stereo16Wav(sound), kSync));
    EXPECT_FALSE(soundPlaying());
    expectPlainDeviceFormat();
    const SoundStats st = soundStats();
    EXPECT_EQ(st.currentFrames, 4410u);
    EXPECT_EQ(st.currentPlayed, 4410u);

    const auto out = played();
    const std::size_t start = firstSound(out);
    EXPECT_EQ(start % 2, 0u) << "sound must start on a frame boundary";
    EXPECT_TRUE(matchesAt(out, start, sound));
    EXPECT_TRUE(silentFrom(out, start + sound.size()));
}

TEST_F(SoundServiceTest, AsyncPlayKeepsItsOwnCopyOfTheBytes)
{
    const auto sound = patternSamples(2205, 2);
    {
        QByteArray wav = stereo16Wav(sound);
        ASSERT_TRUE(playSound(wav, kAsync));
        wav.fill('\x55'); // the caller reuses its buffer at once
    }
    ASSERT_TRUE(waitFor([] { return !soundPlaying(); }));
    const auto out = played();
    const std::size_t start = firstSound(out);
    EXPECT_TRUE(matchesAt(out, start, sound));
    EXPECT_TRUE(silentFrom(out, start + sound.size()));
}

TEST_F(SoundServiceTest, OtherWaveFormatsAreConvertedToTheDeviceFormat)
{
    struct Case
    {
        const char *name;
        int tag, channels, rate, bits;
    };
    const Case cases[] = {
        { "pcm8 mono 22050", 1, 1, 22050, 8 },
        { "pcm16 mono 11025", 1, 1, 11025, 16 },
        { "pcm24 stereo 48000", 1, 2, 48000, 24 },
        { "pcm32 mono 44100", 1, 1, 44100, 32 },
        { "float mono 32000", 3, 1, 32000, 32 },
        { "a-law mono 8000", 6, 1, 8000, 8 },
        { "mu-law stereo 8000", 7, 2, 8000, 8 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int frames = c.rate / 20; // 50 ms
        QByteArray data(qsizetype(frames * c.channels * c.bits / 8), Qt::Uninitialized);
        if (c.tag == 3) {
            for (qsizetype i = 0; i < data.size() / 4; ++i)
                qToLittleEndian(float((i % 50) - 25) / 50.0f, data.data() + 4 * i);
        } else {
            for (qsizetype i = 0; i < data.size(); ++i)
                data[i] = char(0x21 + (i * 37) % 90);
        }
        ASSERT_TRUE(playSound(makeWav(c.tag, c.channels, c.rate, c.bits, data), kSync));
        expectPlainDeviceFormat();
        const SoundStats st = soundStats();
        // 50 ms at the device's 44100 Hz, give or take the resampler's edges.
        EXPECT_NEAR(double(st.currentFrames), 2205.0, 45.0);
        EXPECT_EQ(st.currentPlayed, st.currentFrames);
    }
    const auto out = played();
    EXPECT_LT(firstSound(out), out.size());
}

TEST_F(SoundServiceTest, LaterPlayInterruptsAnEarlierSound)
{
    const auto first = constantSamples(2205, 3000);
    const auto second = patternSamples(2205, 3);
    // A looping sound only ends when something interrupts it.
    ASSERT_TRUE(playSound(stereo16Wav(first), kLoop));
    ASSERT_TRUE(waitFor([] { return soundStats().currentPlayed > 0; }));
    ASSERT_TRUE(playSound(stereo16Wav(second), kSync));
    EXPECT_FALSE(soundPlaying()) << "the interrupted loop must not resume";
    EXPECT_EQ(soundStats().currentPlayed, 2205u);

    const auto out = played();
    const std::size_t start = firstSound(out);
    ASSERT_LT(start, out.size());
    EXPECT_EQ(out[start], 3000);
    std::size_t at = start;
    while (at < out.size() && out[at] == 3000)
        ++at;
    EXPECT_TRUE(matchesAt(out, at, second)) << "the second sound follows the first at once";
    EXPECT_TRUE(silentFrom(out, at + second.size()));
}

TEST_F(SoundServiceTest, LoopRepeatsUntilStopped)
{
    const auto sound = patternSamples(1000, 4);
    // A loop never blocks, even when asked to play synchronously.
    ASSERT_TRUE(playSound(stereo16Wav(sound), SndMemory | SndLoop));
    EXPECT_TRUE(soundPlaying());
    ASSERT_TRUE(waitFor([] { return soundStats().currentPlayed >= 3000; }));
    EXPECT_TRUE(soundPlaying());
    stopSound();
    EXPECT_FALSE(soundPlaying());
    const quint64 atStop = soundStats().totalPlayed;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(soundStats().totalPlayed, atStop);

    const auto out = played();
    const std::size_t start = firstSound(out);
    for (int pass = 0; pass < 3; ++pass)
        EXPECT_TRUE(matchesAt(out, start + std::size_t(pass) * sound.size(), sound)) << pass;
}

TEST_F(SoundServiceTest, NoStopFailsWhileASoundPlays)
{
    const QByteArray loop = stereo16Wav(patternSamples(1000, 5));
    const QByteArray other = stereo16Wav(constantSamples(500, 77));
    ASSERT_TRUE(playSound(loop, kLoop));
    const quint64 started = soundStats().soundsStarted;

    EXPECT_FALSE(playSound(other, kAsync | SndNoStop));
    EXPECT_FALSE(playSound(nullptr, 0, SndNoStop)) << "a stop is an interruption too";
    EXPECT_TRUE(soundPlaying());
    EXPECT_EQ(soundStats().soundsStarted, started);
    EXPECT_EQ(soundStats().currentFrames, 1000u);

    EXPECT_TRUE(playSound(nullptr, 0, 0)); // no sound: stop
    EXPECT_FALSE(soundPlaying());
    EXPECT_TRUE(playSound(other, kSync | SndNoStop));
    EXPECT_EQ(soundStats().currentPlayed, 500u);
}

TEST_F(SoundServiceTest, UnplayableBuffersPlayNothingAndFail)
{
    const QByteArray good = stereo16Wav(patternSamples(500, 6));
    QByteArray mp3 = makeWav(0x55, 2, 44100, 16, QByteArray(400, '\x11'));
    const QByteArray cases[] = {
        QByteArray("this is not a wave file at all"),
        good.left(30), // cut inside the header
        makeWav(1, 0, 44100, 16, QByteArray(64, '\x01')), // no channels
        mp3, // a format SDL cannot decode
        QByteArray(4096, '\0'),
    };
    ASSERT_TRUE(playSound(good, kLoop));
    const quint64 started = soundStats().soundsStarted;
    for (const QByteArray &bad : cases) {
        EXPECT_FALSE(playSound(bad, kSync));
        // A failed play still ends what was playing before.
        EXPECT_FALSE(soundPlaying());
        EXPECT_EQ(soundStats().soundsStarted, started);
    }
    EXPECT_FALSE(playSound(good, SndAsync)) << "only in-memory images are played";
    EXPECT_EQ(soundStats().soundsStarted, started);

    const quint64 total = soundStats().totalPlayed;
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(soundStats().totalPlayed, total) << "the device gets nothing but silence";
}

TEST_F(SoundServiceTest, WithoutAUsableDriverPlayingIsSilentAndPrompt)
{
    useDriver("no-such-audio-driver");
    const QByteArray twoSeconds = stereo16Wav(patternSamples(88200, 7));
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(playSound(twoSeconds, kSync));
    EXPECT_TRUE(playSound(twoSeconds, kLoop));
    EXPECT_FALSE(soundPlaying());
    EXPECT_FALSE(playSound(QByteArray("garbage"), kSync));
    EXPECT_TRUE(playSound(nullptr, 0, 0));
    // A synchronous play that waited for the sound would take its 2 s.
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_FALSE(soundStats().deviceOpen);
}

// The sox-made fixtures: 0.2 s of a 440 Hz sine at half scale in every WAV
// variant SDL reads. Each must come out at the device's rate with the same
// length, level and pitch.
TEST_F(SoundServiceTest, EveryFixtureVariantPlaysAsTheSameTone)
{
    const QDir dir(testdata::path(QStringLiteral("wav")));
    const QStringList tones = dir.entryList({ QStringLiteral("tone_*.wav") }, QDir::Files, QDir::Name);
    if (tones.isEmpty())
        GTEST_SKIP() << "no WAV fixtures in tests/data/wav";
    for (const QString &name : tones) {
        SCOPED_TRACE(name.toStdString());
        useDriver("disk"); // a fresh output file for each tone
        ASSERT_TRUE(playSound(testdata::read(QStringLiteral("wav/") + name), kSync));
        expectPlainDeviceFormat();
        // ADPCM encoders pad the last block, so allow some extra frames.
        const SoundStats st = soundStats();
        EXPECT_GE(double(st.currentFrames), 8820.0 - 50.0);
        EXPECT_LE(double(st.currentFrames), 8820.0 * 1.25);

        const auto out = played();
        // Crossings of the left channel, counted with hysteresis so that
        // ADPCM's noise around zero does not add any.
        int peak = 0;
        int crossings = 0;
        int side = 0;
        for (std::size_t i = 0; i < out.size(); i += 2) {
            const int v = out[i];
            peak = std::max(peak, std::abs(v));
            const int now = v > 4000 ? 1 : v < -4000 ? -1 : side;
            if (side != 0 && now != side)
                ++crossings;
            side = now;
        }
        EXPECT_NEAR(peak, 16384, 2500);
        EXPECT_NEAR(crossings, 2 * 88, 4); // 88 periods of 440 Hz in 0.2 s
    }
}

TEST_F(SoundServiceTest, BrokenFixturesDoNotPlayWholeSounds)
{
    const QByteArray text = testdata::read(QStringLiteral("wav/not_a_wave.wav"));
    const QByteArray truncated = testdata::read(QStringLiteral("wav/truncated_s16_8000.wav"));
    if (text.isEmpty() || truncated.isEmpty())
        GTEST_SKIP() << "no WAV fixtures in tests/data/wav";
    EXPECT_FALSE(playSound(text, kSync));
    // The header promises 3200 sample bytes but 400 follow: at most those play.
    if (playSound(truncated, kSync)) {
        EXPECT_LE(soundStats().currentFrames, 200u * 44100u / 8000u + 10u);
    }
}
