// TWave keeps WAV bytes untouched.
#include "gesture/wave.h"
#include "platform/errors.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char(rng.bounded(256));
    return b;
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
