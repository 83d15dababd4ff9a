// Saving when the file system says no: a gesture (Save and Save As), the
// button picture, the animation strip and the sound, each into a folder that
// refuses new files, onto a device that refuses to grow the file or fails to
// sync it, and each where a folder has the target's name. Every case must end in an error that
// names the file, with the earlier file and the folder as they were and the
// window's state unchanged.
#include "app/mainwindow.h"
#include "codecs/pictureio.h"
#include "editor/gesturewindow.h"
#include "faultsupport.h"
#include "gesture/animationimport.h"
#include "gesture/zqgesture.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"
#include "platform/plumorakeys.h"
#include "support/controls.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cerrno>
#include <functional>

#include <gtest/gtest.h>

using namespace faults;

namespace {

// The commands that write a file, as the user runs them.
enum class Kind { GestureSave, GestureSaveAs, Button, Strip, Sound };
enum class Fault { WritesDenied, DeviceFull, SyncFails };

// The room left on the "full device": more than the settings store needs,
// less than any file the commands write.
constexpr int kDeviceRoom = 512;

const char *extensionOf(Kind kind)
{
    switch (kind) {
    case Kind::GestureSave:
    case Kind::GestureSaveAs:
        return "zqa";
    case Kind::Button:
    case Kind::Strip:
        return "gif";
    case Kind::Sound:
        return "wav";
    }
    return "";
}

// What the user sees of the window and its gesture.
struct WindowState
{
    bool unsaved;
    bool modified;
    bool saveEnabled;
    QString title;
    QString filename;
    QString tagline;
    QString panels;
    bool operator==(const WindowState &) const = default;
};

std::ostream &operator<<(std::ostream &out, const WindowState &s)
{
    return out << "unsaved " << s.unsaved << " modified " << s.modified << " save " << s.saveEnabled
               << " title " << s.title.toStdString() << " file " << s.filename.toStdString() << " panels "
               << s.panels.toStdString();
}

class SaveFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Everything a user other than root must reach: the folders on the
        // way, and the settings store, which the commands write first.
        allowOthers(root.path(), false);
        settings = root.filePath("settings");
        work = root.filePath("work");
        ASSERT_TRUE(QDir().mkpath(settings));
        ASSERT_TRUE(QDir().mkpath(work));
        allowOthers(settings, true);
        TPlumoraKeys::setStoreFile(QDir(settings).filePath("Plumora.conf"));

        gesturePath = QDir(work).filePath("g.zqa");
        writeFile(gesturePath, gestureBytes(QStringLiteral("original"), 3000));
        main = std::make_unique<TfrmMain>();
        {
            Script script;
            script.file(gesturePath);
            main->openGestureFile();
        }
        w = main->ActiveGestureWindow();
        ASSERT_NE(w, nullptr);
        control<QLineEdit>(w, "taglineEdit")->setText(QStringLiteral("edited"));
        ASSERT_TRUE(w->Gesture()->UnsavedChanges());
    }
    void TearDown() override
    {
        if (main)
            for (TfrmGestureWindow *window : main->GestureWindows())
                window->Gesture()->setUnsavedChanges(false);
        main.reset();
        TPlumoraKeys::setStoreFile(QString());
    }

    static void allowOthers(const QString &folder, bool write)
    {
        QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
            | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        if (write)
            p |= QFile::WriteGroup | QFile::WriteOther;
        QFile::setPermissions(folder, p);
    }

    WindowState state() const
    {
        return { w->Gesture()->UnsavedChanges(), w->Gesture()->Modified(),
            control<QAction>(main, "saveAction")->isEnabled(), w->windowTitle(), w->Gesture()->Filename(),
            control<QLineEdit>(w, "taglineEdit")->text(),
            control<QLabel>(w, "buttonImageFileLabel")->text() + "|"
                + control<QLabel>(w, "animationFileLabel")->text() + "|"
                + control<QLabel>(w, "audioFileLabel")->text() };
    }

    // Runs the command that saves `kind` into `target`, answering its
    // dialogs; returns the message of the error it raised (empty: none).
    QString save(Kind kind, const QString &target)
    {
        Script script;
        script.file(target).button(QMessageBox::Yes);
        try {
            switch (kind) {
            case Kind::GestureSave:
                main->saveGestureWindow(nullptr);
                break;
            case Kind::GestureSaveAs:
                main->saveGestureWindowAs(w);
                break;
            case Kind::Button:
                w->saveButtonImage();
                break;
            case Kind::Strip:
                w->saveAnimation();
                break;
            case Kind::Sound:
                w->saveAudio();
                break;
            }
        } catch (const PlumoraError &error) {
            return error.message();
        }
        return {};
    }

    QTemporaryDir root;
    QString settings;
    QString work;
    QString gesturePath;
    std::unique_ptr<TfrmMain> main;
    TfrmGestureWindow *w = nullptr;
};

TEST_F(SaveFaults, WithoutFaultsEverySaveWritesMoreThanTheDeviceLimitBelow)
{
    for (Kind kind : { Kind::Button, Kind::Strip, Kind::Sound, Kind::GestureSaveAs }) {
        const QString target
            = QDir(work).filePath(QStringLiteral("ok%1.%2").arg(int(kind)).arg(extensionOf(kind)));
        EXPECT_EQ(save(kind, target), QString());
        EXPECT_GT(QFileInfo(target).size(), kDeviceRoom) << target.toStdString();
    }
    // The settings store, which the commands write before the file, fits.
    EXPECT_LT(QFileInfo(TPlumoraKeys::storeFile()).size(), kDeviceRoom);
}

class SaveFaultCases : public SaveFaults, public ::testing::WithParamInterface<std::tuple<Kind, Fault>>
{
};

TEST_P(SaveFaultCases, ErrorNamesTheFileAndNothingChanges)
{
    const auto [kind, fault] = GetParam();
    // Save writes the gesture's own file; the others an earlier file of
    // their kind in the same folder.
    const QString target = kind == Kind::GestureSave
        ? gesturePath
        : QDir(work).filePath(QStringLiteral("earlier.%1").arg(extensionOf(kind)));
    const QByteArray earlier
        = kind == Kind::GestureSave ? readFile(gesturePath) : QByteArray("earlier bytes");
    if (kind != Kind::GestureSave)
        writeFile(target, earlier);
    const QStringList before = entries(work);
    const WindowState stateBefore = state();

    QString message;
    if (fault == Fault::WritesDenied) {
        QFile::setPermissions(TPlumoraKeys::storeFile(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
                | QFile::WriteOther);
        WritesDenied denied(work);
        if (!denied.effective())
            GTEST_SKIP() << "this process can write into a read-only folder";
        message = save(kind, target);
    } else if (fault == Fault::SyncFails) {
        // The device takes every byte and fails only when asked to keep them.
        plumora::ScopedAtomicWriteCalls failing({ {},
            [](int) {
                errno = EIO;
                return -1;
            },
            {}, {} });
        message = save(kind, target);
    } else {
        ASSERT_LT(QFileInfo(TPlumoraKeys::storeFile()).size(), kDeviceRoom - 100);
        FileSizeLimit full(kDeviceRoom);
        ASSERT_TRUE(full.effective());
        message = save(kind, target);
    }

    EXPECT_FALSE(message.isEmpty()) << "the failed save was not reported";
    EXPECT_TRUE(message.contains(QFileInfo(target).fileName())) << message.toStdString();
    EXPECT_EQ(readFile(target), earlier);
    EXPECT_EQ(entries(work), before) << "a temporary file was left behind";
    EXPECT_EQ(state(), stateBefore);
}

std::string caseName(const ::testing::TestParamInfo<SaveFaultCases::ParamType> &info)
{
    static const char *kinds[] = { "GestureSave", "GestureSaveAs", "Button", "Strip", "Sound" };
    static const char *faults[] = { "IntoReadOnlyFolder", "OntoFullDevice", "WhenTheSyncFails" };
    return std::string(kinds[int(std::get<0>(info.param))]) + faults[int(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(AllSaves, SaveFaultCases,
    ::testing::Combine(
        ::testing::Values(Kind::GestureSave, Kind::GestureSaveAs, Kind::Button, Kind::Strip, Kind::Sound),
        ::testing::Values(Fault::WritesDenied, Fault::DeviceFull, Fault::SyncFails)),
    caseName);

// The gesture's file was replaced by a folder after it was opened: Save
// reports it and leaves the folder and the window alone.
TEST_F(SaveFaults, SaveWhereAFolderNowHasTheGesturesName)
{
    ASSERT_TRUE(QFile::remove(gesturePath));
    ASSERT_TRUE(QDir().mkpath(QDir(gesturePath).filePath("inside")));
    const WindowState stateBefore = state();
    const QString message = save(Kind::GestureSave, gesturePath);
    EXPECT_TRUE(message.contains("g.zqa")) << message.toStdString();
    EXPECT_TRUE(QFileInfo(gesturePath).isDir());
    EXPECT_EQ(entries(gesturePath), QStringList { "inside" });
    EXPECT_EQ(state(), stateBefore);
}

// The file dialogs never hand a folder over as a file: naming one ends the
// command without writing anything (the dialog would have opened it).
TEST_F(SaveFaults, ChoosingAFolderAsTheTargetWritesNothing)
{
    for (Kind kind : { Kind::GestureSaveAs, Kind::Button, Kind::Strip, Kind::Sound }) {
        SCOPED_TRACE(int(kind));
        const QString folder
            = QDir(work).filePath(QStringLiteral("named%1.%2").arg(int(kind)).arg(extensionOf(kind)));
        ASSERT_TRUE(QDir().mkpath(QDir(folder).filePath("inside")));
        const QStringList before = entries(work);
        const WindowState stateBefore = state();
        const QString message = save(kind, folder);
        if (!message.isEmpty()) {
            EXPECT_TRUE(message.contains(QFileInfo(folder).fileName())) << message.toStdString();
        }
        EXPECT_EQ(entries(folder), QStringList { "inside" });
        EXPECT_EQ(entries(work), before);
        EXPECT_EQ(state(), stateBefore);
    }
}

// The writers themselves, given a folder's path as the file: an error that
// names it, the folder untouched.
TEST_F(SaveFaults, WritersRefuseAFolderOfTheSameName)
{
    const QString folder = QDir(work).filePath("taken");
    auto expectRefused = [&](const QString &name, const std::function<void(const QString &)> &write) {
        SCOPED_TRACE(name.toStdString());
        const QString path = QDir(folder).filePath(name);
        ASSERT_TRUE(QDir().mkpath(QDir(path).filePath("inside")));
        try {
            write(path);
            ADD_FAILURE() << "no error";
        } catch (const PlumoraError &error) {
            EXPECT_TRUE(error.message().contains(name)) << error.message().toStdString();
        }
        EXPECT_EQ(entries(path), QStringList { "inside" });
    };
    TZQGesture &g = *w->Gesture();
    expectRefused("g.zqa", [&](const QString &p) { g.SaveToFile(p); });
    expectRefused("b.gif", [&](const QString &p) { SavePicture(g.Glyph(), p); });
    expectRefused("b.bmp", [&](const QString &p) { SavePicture(g.Glyph(), p); });
    expectRefused("b.jpg", [&](const QString &p) { SavePicture(g.Glyph(), p); });
    expectRefused("strip.gif", [&](const QString &p) { SaveAnimationStrip(g, p); });
    expectRefused("s.wav", [&](const QString &p) { g.SaveAudioToFile(p); });
    EXPECT_EQ(entries(folder).size(), 6) << "only the six folders are there";
    EXPECT_TRUE(g.Modified());
}

} // namespace
