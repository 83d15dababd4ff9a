// TWave keeps WAV bytes untouched; TWavePlayer hands them to the sound service.
#include "gesture/wave.h"
#include "platform/errors.h"
#include "sound/soundservice.h"

#include <QBuffer>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char(rng.bounded(256));
    return b;
}

void putLE(QByteArray &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// A stereo 16-bit 44100 Hz PCM WAV image of the given number of frames.
QByteArray pcmWav(int frames)
{
    QByteArray data(qsizetype(frames) * 4, '\0');
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    QByteArray out("RIFF");
    putLE(out, quint32(36 + data.size()), 4);
    out.append("WAVEfmt ");
    putLE(out, 16, 4);
    putLE(out, 1, 2);
    putLE(out, 2, 2);
    putLE(out, 44100, 4);
    putLE(out, 44100 * 4, 4);
    putLE(out, 4, 2);
    putLE(out, 16, 2);
    out.append("data");
    putLE(out, quint32(data.size()), 4);
    return out + data;
}

// A device that delivers its first bytes and then fails.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(qint64 size, qint64 good) : m_size(size), m_good(good) { open(ReadOnly); }
    qint64 size() const override { return m_size; }
    bool isSequential() const override { return false; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min(maxSize, m_good - pos());
        if (n <= 0)
            return -1;
        std::fill_n(data, n, 'x');
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 m_size;
    qint64 m_good;
};

template <typename F> std::string errorOf(F &&f)
{
    try {
        f();
    } catch (const EStreamError &e) {
        return e.what();
    }
    return "no EStreamError";
}

} // namespace

TEST(TWave, FileAndStreamRoundTripsAreByteForByte)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("sound.wav"));
    // Larger than one read chunk, with every byte value.
    const QByteArray bytes = randomBytes(1536 * 1024 + 7, 1);

    TWave wave;
    wave.setData(bytes);
    {
        QFile old(name); // an existing, longer file is replaced, not overlaid
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(randomBytes(2 * 1024 * 1024, 2));
    }
    wave.SaveToFile(name);
    QFile written(name);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), bytes);

    TWave loaded;
    loaded.LoadFromFile(name);
    EXPECT_EQ(loaded.Data(), bytes);

    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    stream.write("head", 4);
    loaded.SaveToStream(stream); // at the current position
    EXPECT_EQ(stream.data(), QByteArray("head") + bytes);

    QBuffer nothing;
    nothing.open(QIODevice::ReadOnly);
    loaded.LoadFromStream(nothing);
    EXPECT_EQ(loaded.Size(), 0);
    EXPECT_FALSE(loaded.Empty()) << "the buffer exists even without bytes";
}

TEST(TWave, AssignCopiesTheBytes)
{
    TWave a, b;
    a.setData(QByteArray("RIFF-one"));
    b.Assign(&a);
    EXPECT_EQ(b.Data(), a.Data());
    EXPECT_NE(b.Data().constData(), a.Data().constData()) << "each holder owns its bytes";

    QBuffer other;
    other.setData("RIFF-two");
    other.open(QIODevice::ReadOnly);
    a.LoadFromStream(other);
    EXPECT_EQ(b.Data(), QByteArray("RIFF-one"));

    b.Assign(nullptr);
    EXPECT_EQ(b.Data(), QByteArray("RIFF-one"));
    try {
        b.Assign(&other);
        FAIL() << "assigning a QBuffer must fail";
    } catch (const PlumoraError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot assign a QBuffer to a TWave"));
    }
    EXPECT_EQ(b.Data(), QByteArray("RIFF-one"));
}

TEST(TWave, FailedLoadsKeepTheEarlierBytes)
{
    const QByteArray earlier("RIFF-earlier-bytes");
    TWave wave;
    wave.setData(earlier);

    // Positioned after its start: fewer bytes follow than the stream holds.
    QBuffer shortStream;
    shortStream.setData(randomBytes(100, 3));
    shortStream.open(QIODevice::ReadOnly);
    shortStream.seek(10);
    EXPECT_EQ(errorOf([&] { wave.LoadFromStream(shortStream); }), "Stream read error");
    EXPECT_EQ(wave.Data(), earlier);

    // A device that fails part-way through a multi-chunk read.
    FailingDevice failing(3 * 1024 * 1024, 1024 * 1024 + 100);
    EXPECT_EQ(errorOf([&] { wave.LoadFromStream(failing); }), "Stream read error");
    EXPECT_EQ(wave.Data(), earlier);

    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.wav"));
    const std::string message = errorOf([&] { wave.LoadFromFile(missing); });
    EXPECT_NE(message.find("Cannot open file"), std::string::npos) << message;
    EXPECT_NE(message.find("missing.wav"), std::string::npos) << message;
    EXPECT_EQ(wave.Data(), earlier);
}

TEST(TWave, WriteFailuresAreStreamErrors)
{
    TWave wave;
    wave.setData(QByteArray("RIFF"));
    QTemporaryDir dir;
    const std::string message
        = errorOf([&] { wave.SaveToFile(dir.filePath(QStringLiteral("no/such/folder/x.wav"))); });
    EXPECT_NE(message.find("Cannot create file"), std::string::npos) << message;
    EXPECT_NE(message.find("x.wav"), std::string::npos) << message;

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_EQ(errorOf([&] { wave.SaveToStream(readOnly); }), "Stream write error");
}

TEST(TWavePlayer, OptionsGiveThePlayFlags)
{
    TWavePlayer player;
    EXPECT_TRUE(player.Enabled());
    EXPECT_EQ(player.Options(), TOptionsSet { wpoSync });
    EXPECT_EQ(player.PlayFlags(), 0x0004);
    ASSERT_NE(player.Wave(), nullptr);
    EXPECT_EQ(player.Wave()->Size(), 0);

    const struct
    {
        TOptionsSet options;
        int flags;
    } cases[] = {
        { { wpoAsync }, 0x0005 },
        { { wpoAsync, wpoLoop }, 0x000D },
        { { wpoSync }, 0x0004 },
        { { wpoNoDefault, wpoNoStop }, 0x0016 },
        { { wpoSync, wpoAsync, wpoNoDefault, wpoLoop, wpoNoStop }, 0x001F },
        { {}, 0x0004 },
    };
    for (const auto &c : cases) {
        player.setOptions(c.options);
        EXPECT_EQ(player.Options(), c.options);
        EXPECT_EQ(player.PlayFlags(), c.flags);
    }
}

// Player tests run on SDL's dummy driver, which consumes samples in real time.
class TWavePlayerPlay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_savedDriver = qgetenv("SDL_AUDIODRIVER");
        plumora::shutdownSound();
        qputenv("SDL_AUDIODRIVER", "dummy");
    }
    void TearDown() override
    {
        plumora::shutdownSound();
        qputenv("SDL_AUDIODRIVER", m_savedDriver);
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    }
    static quint64 started() { return plumora::soundStats().soundsStarted; }

    QByteArray m_savedDriver;
};

TEST_F(TWavePlayerPlay, EventsSurroundThePlay)
{
    TWavePlayer player;
    player.Wave()->setData(pcmWav(2205)); // 50 ms
    std::vector<std::string> calls;
    const quint64 before = started();
    player.setBeforePlay([&](TWavePlayer *sender) {
        EXPECT_EQ(sender, &player);
        calls.push_back("before:" + std::to_string(started() - before));
    });
    player.setAfterPlay([&](TWavePlayer *sender) {
        EXPECT_EQ(sender, &player);
        calls.push_back("after:" + std::to_string(started() - before));
    });

    player.Play(); // synchronous: returns when the sound has ended
    EXPECT_FALSE(plumora::soundPlaying());
    EXPECT_EQ(plumora::soundStats().currentPlayed, 2205u);
    EXPECT_EQ(calls, (std::vector<std::string> { "before:0", "after:1" }));

    calls.clear();
    player.setEnabled(false);
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    player.Play();
    EXPECT_EQ(calls, (std::vector<std::string> { "before:1", "after:1" })) << "nothing played";
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr) << "cursor left alone";
}

TEST_F(TWavePlayerPlay, PlayResetsTheCursorEvenWhenTheSoundFails)
{
    TWavePlayer player;
    player.Wave()->setData(QByteArray("not a wave"));
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    player.Play();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(TWavePlayerPlay, EmptyHolderAndDestructionStopTheSound)
{
    auto looping = std::make_unique<TWavePlayer>();
    looping->setOptions({ wpoAsync, wpoLoop });
    looping->Wave()->setData(pcmWav(1000));

    looping->Play();
    ASSERT_TRUE(plumora::soundPlaying());
    TWavePlayer empty;
    empty.Play();
    EXPECT_FALSE(plumora::soundPlaying()) << "no bytes: the playing sound stops";

    looping->Play();
    ASSERT_TRUE(plumora::soundPlaying());
    looping.reset();
    EXPECT_FALSE(plumora::soundPlaying()) << "a destroyed player stops the sound";
}
