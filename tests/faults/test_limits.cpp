// Files at and beyond the sizes the program is built for: a GIF with a huge
// logical screen, a GIF with 10,000 frames, a 1 GB WAV chosen as the sound.
// Each must end in a clear message or a state the user can work with, within
// a bounded time and memory. (Each test runs in a process of its own under
// CTest, so the peak memory measured is the test's own.)
#include "app/mainwindow.h"
#include "editor/gesturewindow.h"
#include "faultsupport.h"
#include "gesture/animationimport.h"
#include "gesture/wave.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "platform/plumorakeys.h"
#include "support/controls.h"
#include "support/testdata.h"

#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <sys/resource.h>

using namespace faults;

namespace {

// A generous bound: sanitizer builds run larger. Time is bounded by the test
// harness's timeout, never measured here.
constexpr qint64 kMaxPeakMiB = 1536;

qint64 peakMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) / 1024;
}

QByteArray le16(int v)
{
    QByteArray b(2, '\0');
    qToLittleEndian<quint16>(quint16(v), b.data());
    return b;
}

// A GIF of `frames` images of frameW x frameH on a screenW x screenH screen
// with a two-colour global table. Each image's data is a clear code, one
// pixel and the end code, so a frame takes 15 bytes whatever its size.
QByteArray tinyFramesGif(int screenW, int screenH, int frames, int frameW, int frameH)
{
    QByteArray gif = "GIF89a" + le16(screenW) + le16(screenH);
    gif += QByteArray("\x80\x00\x00", 3);
    gif += QByteArray("\x00\x00\x00\xff\xff\xff", 6);
    for (int i = 0; i < frames; ++i) {
        gif += ',' + le16(0) + le16(0) + le16(frameW) + le16(frameH);
        gif += QByteArray("\x00\x02\x02\x44\x01\x00", 6);
    }
    gif += ';';
    return gif;
}

class Limits : public ::testing::Test
{
protected:
    void SetUp() override { TPlumoraKeys::setStoreFile(dir.filePath("settings.conf")); }
    void TearDown() override
    {
        EXPECT_LT(peakMiB(), kMaxPeakMiB);
        TPlumoraKeys::setStoreFile(QString());
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        writeFile(path, bytes);
        return path;
    }
    // Reads the file as the animation import does; the message of the
    // error, empty when it was read.
    static QString import(const QString &path, std::optional<TImportedAnimation> *result = nullptr)
    {
        try {
            auto animation = ReadAnimationFile(path, [](int, int) {
                return std::optional<TFrameSplit>(TFrameSplit { TFrameSplit::FrameCount, 1 });
            });
            if (result)
                *result = std::move(animation);
        } catch (const PlumoraError &error) {
            return error.message();
        }
        return {};
    }

    QTemporaryDir dir;
};

TEST_F(Limits, GifScreenBeyondTheLimitIsRefusedByName)
{
    const QString path = write("huge.gif", tinyFramesGif(65535, 65535, 2, 1, 1));
    const QString message = import(path);
    EXPECT_TRUE(message.contains("huge.gif")) << message.toStdString();
    EXPECT_TRUE(message.contains("too large")) << message.toStdString();
}

// At the reader's limit the import still works: what is composed is the
// preview-sized picture, not the whole screen.
TEST_F(Limits, GifScreenAtTheLimitImportsAtPreviewSize)
{
    for (int frames : { 1, 2 }) {
        SCOPED_TRACE(frames);
        std::optional<TImportedAnimation> animation;
        const QString message
            = import(write("big.gif", tinyFramesGif(16384, 16384, frames, 1, 1)), &animation);
        if (!message.isEmpty()) {
            EXPECT_TRUE(message.contains("big.gif")) << message.toStdString();
            continue;
        }
        ASSERT_TRUE(animation.has_value());
        EXPECT_LE(animation->FrameSize.width(), kPreviewMaxWidth);
        EXPECT_LE(animation->FrameSize.height(), kPreviewMaxHeight);
    }
}

// Ten thousand small frames are read in bounded time; a gesture cannot hold
// them (its frame numbers are bytes), so the import asks before composing,
// and the first 255 it keeps make a gesture that saves.
TEST_F(Limits, GifWithTenThousandFrames)
{
    const QString path = write("many.gif", tinyFramesGif(16, 16, 10000, 16, 16));
    TGIFImage gif;
    gif.ReadFromFile(path);
    EXPECT_EQ(gif.FrameCount(), 10000);
    gif.DecodeFrames();

    TfrmMain main;
    TfrmGestureWindow *w = main.newGestureWindow();
    ASSERT_NE(w, nullptr);
    {
        Script script;
        script.file(path).button(QMessageBox::Yes);
        w->loadAnimation();
        // The fit dialog offers the first 255 frames at the GIF's speed or
        // frame by frame.
        ASSERT_EQ(script.messages.size(), 2);
        EXPECT_TRUE(script.messages.last().contains("255 of 10000 frames"))
            << script.messages.last().toStdString();
    }
    ASSERT_TRUE(w->Gesture()->Frames());
    EXPECT_EQ(w->Gesture()->Frames()->Count(), 255);
    w->Gesture()->SaveToFile(dir.filePath("many.zqa"));
    EXPECT_TRUE(QFile::exists(dir.filePath("many.zqa")));
    w->Gesture()->setUnsavedChanges(false);
}

// Frames that are huge but nearly empty: a 3 KB file whose frames would
// decode to gigabytes is refused, not decoded.
TEST_F(Limits, GifWithManyHugeFrames)
{
    const QString path = write("heavy.gif", tinyFramesGif(16384, 16384, 200, 16384, 16384));
    const QString message = import(path);
    EXPECT_TRUE(message.contains("heavy.gif")) << message.toStdString();
}

// Progressive JPEGs of a few kilobytes whose scans would pass over the
// picture hundreds of times are refused from their scan headers, before
// libjpeg fills a coefficient buffer of hundreds of megabytes reading them.
TEST_F(Limits, ManyScanJpegsAreRefusedBeforeTheirCoefficientsFill)
{
    for (const char *name : { "large/jpeg_499scans_16384x15000.jpg", "large/jpeg_499scans_12288x8192.jpg" }) {
        SCOPED_TRACE(name);
        const qint64 before = peakMiB();
        const QString message = import(testdata::path(QString::fromLatin1(name)));
        EXPECT_TRUE(message.contains("would take too long")) << message.toStdString();
        EXPECT_LT(peakMiB() - before, 96);
    }
}

// A 1 GB WAV chosen as the sound is refused from its size with its length,
// unread: the process's peak memory grows by far less than the file. (The
// file is sparse, so making it costs neither time nor disk.)
TEST_F(Limits, GigabyteWavAsSoundIsRefusedUnread)
{
    const qint64 dataBytes = qint64(1) << 30;
    QByteArray wav("RIFF", 4);
    wav += le16(0xFFFF) + le16(0xFFFF); // larger than a RIFF size can say
    wav += "WAVEfmt ";
    wav += le16(16) + le16(0) + le16(1) + le16(1) + le16(8000) + le16(0) + le16(8000) + le16(0) + le16(1)
        + le16(8);
    wav += "data" + le16(0xFFFF) + le16(0xFFFF);
    const QString path = dir.filePath("big.wav");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(wav);
        ASSERT_TRUE(file.resize(wav.size() + dataBytes));
    }

    TfrmMain main;
    TfrmGestureWindow *w = main.newGestureWindow();
    ASSERT_NE(w, nullptr);
    w->Gesture()->setFrames(gesturetest::frames(8, 6, 2));
    const qint64 before = peakMiB();
    {
        Script script;
        script.file(path);
        control<QPushButton>(w, "audioLoadButton")->click();
        // Refused from its header: even converted, it would not fit.
        ASSERT_EQ(script.messages.size(), 1);
        EXPECT_EQ(script.messages.first().toStdString(),
            "The sound \"big.wav\" lasts 37:16:57.8, but a gesture holds at most 16.3 s of sound (at 4,000 "
            "Hz, "
            "8-bit mono)");
    }
    EXPECT_LT(peakMiB() - before, 256);
    EXPECT_FALSE(w->Gesture()->HasAudio());
    EXPECT_FALSE(control<QPushButton>(w, "audioSaveButton")->isEnabled());
    w->Gesture()->setUnsavedChanges(false);
}

} // namespace
