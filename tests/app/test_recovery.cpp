// Recovery copies: the real program killed with unsaved changes, ended by
// SIGTERM, and a second editor running beside it; in process, the offer,
// the recovered gesture and a clean close.
#include "app/mainwindow.h"
#include "app/recoverystore.h"
#include "editor/gesturewindow.h"
#include "gesture/framelist.h"
#include "gesture/zqgesture.h"
#include "platform/plumorakeys.h"
#include "platform/ui/dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <csignal>
#include <memory>

#include <gtest/gtest.h>

namespace {

QString makeGesture(const QString &path, const QString &tagline)
{
    TZQGesture g;
    auto frames = std::make_unique<TFrameList>(8, 6);
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(qRgb(10, 100, 200));
    frames->Add(image, clNone);
    g.setFrames(std::move(frames));
    g.setTagline(tagline);
    g.SaveToFile(path);
    return path;
}

QString taglineOf(const QString &path)
{
    TZQGesture g;
    g.LoadFromFile(path);
    return g.Tagline();
}

class RecoveryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_savedState = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
        TPlumoraKeys::setStoreFile(dir.filePath("settings.conf"));
    }
    void TearDown() override
    {
        plumora::ui::setDialogResponder({});
        TPlumoraKeys::setStoreFile(QString());
        qputenv("XDG_STATE_HOME", m_savedState);
    }
    QString folder() const { return dir.filePath("state/plumora/recovery"); }
    QStringList copies() const { return QDir(folder()).entryList({ QStringLiteral("*.zqa") }, QDir::Files); }

    // Runs the editor on a gesture file and changes its tagline; returns once
    // the change is made.
    std::unique_ptr<QProcess> startEdited(const QString &gesture, const QString &tagline)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath("config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath("state"));
        env.insert(QStringLiteral("PLUMORA_SETTINGS_FILE"), dir.filePath("settings.conf"));
        env.insert(QStringLiteral("PLUMORA_TEST_TAGLINE"), tagline);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(PLUMORA_BIN_DIR "/plumora"), { gesture });
        QByteArray out;
        while (!out.contains("edited") && process->waitForReadyRead(30000))
            out += process->readAllStandardOutput();
        EXPECT_TRUE(out.contains("edited")) << out.constData();
        return process;
    }

    QTemporaryDir dir;
    QByteArray m_savedState;
};

TEST_F(RecoveryTest, KilledEditorsChangesAreOfferedAndRecoveredUnderItsName)
{
    TPlumoraKeys().setAutosaveSeconds(1);
    const QString path = makeGesture(dir.filePath("work.zqa"), "before");
    auto editor = startEdited(path, "after");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !copies().isEmpty(); }, 30000));
    // A second editor running beside the first leaves its copies alone.
    EXPECT_TRUE(TRecoveryStore(folder()).orphans().isEmpty());

    ::kill(pid_t(editor->processId()), SIGKILL);
    ASSERT_TRUE(editor->waitForFinished(30000));

    QString question;
    plumora::ui::setDialogResponder([&](QDialog &dialog) -> int {
        question = static_cast<QMessageBox &>(dialog).text();
        return QMessageBox::Yes;
    });
    TfrmMain main;
    main.offerRecovery();
    EXPECT_TRUE(question.contains(path)) << question.toStdString();
    ASSERT_EQ(main.GestureWindows().size(), 1);
    TZQGesture *gesture = main.GestureWindows().front()->Gesture();
    EXPECT_EQ(gesture->Tagline(), "after");
    EXPECT_EQ(gesture->Filename(), path);
    EXPECT_TRUE(gesture->Modified());
    EXPECT_TRUE(gesture->UnsavedChanges());
    EXPECT_EQ(taglineOf(path), "before");
    EXPECT_EQ(copies().size(), 1);

    // Saving puts the changes where the user was working; the copy goes.
    main.saveGestureWindow(main.GestureWindows().front());
    EXPECT_EQ(taglineOf(path), "after");
    EXPECT_TRUE(copies().isEmpty());
}

TEST_F(RecoveryTest, SigtermEndsWithSuccessAndKeepsTheChanges)
{
    TPlumoraKeys().setAutosaveSeconds(0); // only the end writes the copy
    const QString path = makeGesture(dir.filePath("work.zqa"), "before");
    auto editor = startEdited(path, "at log-out");
    ::kill(pid_t(editor->processId()), SIGTERM);
    ASSERT_TRUE(editor->waitForFinished(30000));
    EXPECT_EQ(editor->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(editor->exitCode(), 0);

    const QList<TRecoveryEntry> left = TRecoveryStore(folder()).orphans();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left.front().original, path);
    EXPECT_EQ(taglineOf(left.front().path), "at log-out");
    EXPECT_EQ(taglineOf(path), "before");
}

TEST_F(RecoveryTest, CopyLeavesTheGestureAsItIsAndGoesWithACleanClose)
{
    const QString path = makeGesture(dir.filePath("work.zqa"), "before");
    TfrmMain main;
    TfrmGestureWindow *window = main.openGesturePath(path);
    TZQGesture *gesture = window->Gesture();
    gesture->setTagline("edited");
    gesture->setUnsavedChanges(true);
    const int steps = window->UndoStack()->count();
    main.writeRecoveryCopies();
    ASSERT_EQ(copies().size(), 1);
    EXPECT_EQ(taglineOf(QDir(folder()).filePath(copies().front())), "edited");
    EXPECT_EQ(gesture->Filename(), path);
    EXPECT_TRUE(gesture->UnsavedChanges());
    EXPECT_EQ(window->UndoStack()->count(), steps);

    plumora::ui::setDialogResponder([](QDialog &) { return int(QMessageBox::No); });
    window->parentWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(copies().isEmpty());
    EXPECT_EQ(taglineOf(path), "before");
}

TEST_F(RecoveryTest, DiscardRemovesTheCopiesAndLaterKeepsThem)
{
    for (const auto answer : { QMessageBox::Ignore, QMessageBox::Discard }) {
        const QString copy = folder() + "/1-dead-1.zqa";
        QDir().mkpath(folder());
        makeGesture(copy, "left over");
        // A save killed before its rename left a temporary behind, and a kill
        // between a description and its gesture a description alone.
        QFile(folder() + "/.1-dead-1.zqa.abc1234").open(QIODevice::WriteOnly);
        QFile(folder() + "/1-dead-2.json").open(QIODevice::WriteOnly);
        plumora::ui::setDialogResponder([answer](QDialog &) { return int(answer); });
        TfrmMain main;
        main.offerRecovery();
        EXPECT_TRUE(main.GestureWindows().isEmpty());
        EXPECT_EQ(QFile::exists(copy), answer == QMessageBox::Ignore);
        EXPECT_FALSE(QFile::exists(folder() + "/.1-dead-1.zqa.abc1234"));
        EXPECT_FALSE(QFile::exists(folder() + "/1-dead-2.json"));
    }
}

} // namespace
