// Opening when the file is not what it was: a gesture deleted or replaced
// between choosing it and loading it, and a settings store that cannot be
// read or is damaged.
#include "app/mainwindow.h"
#include "editor/gesturewindow.h"
#include "faultsupport.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "platform/plumorakeys.h"
#include "platform/settingsformat.h"
#include "support/controls.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace faults;

namespace {

class OpenFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TPlumoraKeys::setStoreFile(dir.filePath("settings.conf"));
        path = dir.filePath("chosen.zqa");
        writeFile(path, gestureBytes(QStringLiteral("chosen"), 100));
        main = std::make_unique<TfrmMain>();
    }
    void TearDown() override
    {
        main.reset();
        TPlumoraKeys::setStoreFile(QString());
    }
    // Opens the chosen file, running `meanwhile` after it was chosen and
    // before the program loads it. Returns the error message (empty: none).
    QString openChanging(const std::function<void()> &meanwhile)
    {
        Script script;
        script.file(path, meanwhile);
        try {
            main->openGestureFile();
        } catch (const PlumoraError &error) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return error.message();
        }
        return {};
    }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<TfrmMain> main;
};

TEST_F(OpenFaults, DeletedAfterChoosing)
{
    const QString message = openChanging([&] { QFile::remove(path); });
    EXPECT_EQ(message, path + " does not exist.");
    EXPECT_TRUE(main->GestureWindows().isEmpty());
}

TEST_F(OpenFaults, ReplacedByDamagedFileAfterChoosing)
{
    const QByteArray whole = readFile(path);
    const QString message = openChanging([&] { writeFile(path, whole.left(whole.size() / 2)); });
    EXPECT_TRUE(message.startsWith(path
        + " is not a gesture file that Plumora can read: Stream read error: "
          "the file ends inside the"))
        << message.toStdString();
    EXPECT_TRUE(main->GestureWindows().isEmpty());
}

// The open dialog hands no folder over; the command ends without a window.
TEST_F(OpenFaults, ReplacedByFolderAfterChoosing)
{
    const QString message = openChanging([&] {
        QFile::remove(path);
        QDir().mkpath(path);
    });
    if (!message.isEmpty()) {
        EXPECT_TRUE(message.contains("chosen.zqa")) << message.toStdString();
    }
    EXPECT_TRUE(main->GestureWindows().isEmpty());
}

// What is loaded is what the file holds when it is loaded, all of it.
TEST_F(OpenFaults, ReplacedByAnotherGestureAfterChoosing)
{
    const QString message
        = openChanging([&] { writeFile(path, gestureBytes(QStringLiteral("replacement"), 0)); });
    EXPECT_TRUE(message.isEmpty()) << message.toStdString();
    ASSERT_EQ(main->GestureWindows().size(), 1);
    TfrmGestureWindow *w = main->GestureWindows().first();
    EXPECT_EQ(control<QLineEdit>(w, "taglineEdit")->text(), "replacement");
    EXPECT_FALSE(w->Gesture()->HasAudio());
    EXPECT_FALSE(w->Gesture()->UnsavedChanges());
}

// A named pipe never delivers an end of file; opening one must not wait for
// a writer. Should the program open it anyway, a writer comes after a while,
// so the test fails instead of hanging.
TEST_F(OpenFaults, ReplacedByNamedPipeAfterChoosing)
{
    std::atomic<bool> done { false };
    std::atomic<bool> unblocked { false };
    std::thread rescue;
    const QString message = openChanging([&] {
        QFile::remove(path);
        ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        rescue = std::thread([&] {
            for (int i = 0; i < 100 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (done)
                return;
            unblocked = true;
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        });
    });
    done = true;
    if (rescue.joinable())
        rescue.join();
    EXPECT_FALSE(unblocked) << "opening the pipe waited for a writer";
    EXPECT_EQ(message, path + " is not a plain file.");
    EXPECT_TRUE(main->GestureWindows().isEmpty());
}

// A file that holds more than a gesture (a damaged button picture, 300
// frames) opens with what a gesture holds, and the window says what it left
// out.
TEST_F(OpenFaults, WhatAGestureDoesNotHoldIsLeftOutAndSaid)
{
    writeFile(path,
        gesturetest::handMade({}, gesturetest::header(0x10, 1, 0, 0, 0),
            gesturetest::blackGif(18, 18).left(30), gesturetest::blackGif(300, 4)));
    Script script;
    script.file(path);
    main->openGestureFile();
    ASSERT_EQ(main->GestureWindows().size(), 1);
    const TZQGesture &gesture = *main->GestureWindows().first()->Gesture();
    EXPECT_EQ(gesture.Frames()->Count(), 255);
    EXPECT_TRUE(gesture.Glyph().isEmpty());
    ASSERT_EQ(script.messages.size(), 1);
    EXPECT_TRUE(script.messages[0].contains("The button picture cannot be read (Stream read error)"))
        << script.messages[0].toStdString();
    EXPECT_TRUE(script.messages[0].contains("holds 300 frames")) << script.messages[0].toStdString();
}

class SettingsFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::setPermissions(dir.path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther
                | QFile::ReadGroup | QFile::ExeGroup);
        store = dir.filePath("Plumora.conf");
        TPlumoraKeys::setStoreFile(store);
    }
    void TearDown() override { TPlumoraKeys::setStoreFile(QString()); }

    // The program starts on any store, and reads the defaults from a bad one.
    static void expectDefaults()
    {
        TPlumoraKeys keys;
        const QRect area = keys.GetWorkArea();
        EXPECT_EQ(keys.WindowPosition(), area.topLeft());
        EXPECT_EQ(keys.WindowSize(), QPoint(area.width(), area.height()));
        EXPECT_EQ(keys.GestureOpenDir(), QCoreApplication::applicationFilePath());
        TfrmMain main;
        main.RestorePlacement();
    }

    QTemporaryDir dir;
    QString store;
};

TEST_F(SettingsFaults, UnreadableStoreGivesDefaults)
{
    writeFile(store, "[Software/Quorvant/Plumora/Settings]\n\"Left\"=dword:00000010\n");
    QFile::setPermissions(store, QFile::WriteOwner);
    AsOrdinaryUser user;
    if (QFile(store).open(QIODevice::ReadOnly))
        GTEST_SKIP() << "this process reads files without read permission";
    expectDefaults();
}

TEST_F(SettingsFaults, DamagedStoresGiveDefaults)
{
    QRandomGenerator random(7);
    QByteArray noise(4096, '\0');
    for (char &c : noise)
        c = char(random.bounded(256));
    const QList<QByteArray> damaged = {
        noise,
        QByteArray("[Software/Quorvant/Plumora/Settings]\n\"Left\"=dword:\n"),
        QByteArray("\xef\xbb\xbf[unterminated\n"),
        QByteArray("\"Left\"=dword:00000010\n\xff\xfe\n"),
        QByteArray(plumora::settings::kMaxSettingsFileBytes + 1, ';'), // beyond the size a store may have
        QByteArray("\0\0\0\0", 4),
    };
    for (const QByteArray &bytes : damaged) {
        SCOPED_TRACE(bytes.left(40).toStdString());
        writeFile(store, bytes);
        expectDefaults();
    }
}

// A named pipe never ends a read without a writer, a device such as
// /dev/zero never ends at all: the program starts on the defaults without
// opening them, and the next write moves them aside.
TEST_F(SettingsFaults, PipesAndDevicesReadAsDamagedStores)
{
    const std::function<bool()> makers[] = {
        [&] { return mkfifo(QFile::encodeName(store).constData(), 0600) == 0; },
        [&] { return QFile::link(QStringLiteral("/dev/zero"), store); },
    };
    for (const auto &make : makers) {
        ASSERT_TRUE(make());
        expectDefaults();
        TPlumoraKeys keys;
        keys.setGestureOpenDir(QStringLiteral("/x/"));
        EXPECT_EQ(keys.GestureOpenDir(), QStringLiteral("/x/"));
        EXPECT_TRUE(QFileInfo(store).isFile());
        EXPECT_TRUE(QFileInfo(store + ".bad").exists() || QFileInfo(store + ".bad").isSymLink());
        QFile::remove(store);
        QFile::remove(store + ".bad");
    }
}

// A store cut at any byte reads what the cut leaves complete, or the
// defaults, and the program starts either way.
TEST_F(SettingsFaults, StoreCutAtEveryByte)
{
    {
        TPlumoraKeys keys;
        keys.setWindowPosition(QPoint(12, 34));
        keys.setWindowSize(QPoint(560, 780));
        keys.setGestureOpenDir(QStringLiteral("/home/ann/g\u00e9stures/"));
        keys.setAudioSaveDir(QStringLiteral("C:\\Sounds\\"));
    }
    const QByteArray whole = readFile(store);
    ASSERT_GT(whole.size(), 100);
    for (qsizetype n = 0; n < whole.size(); ++n) {
        writeFile(store, whole.left(n));
        TPlumoraKeys keys;
        keys.WindowPosition();
        keys.WindowSize();
        const QString folder = keys.GestureOpenDir();
        EXPECT_TRUE(folder.isEmpty() || folder == QStringLiteral("/home/ann/g\u00e9stures/")
            || folder == QCoreApplication::applicationFilePath())
            << n << " " << folder.toStdString();
    }
}

} // namespace
