// The gesture window's undo history: every edit is one command whose undo
// and redo give back the same gesture file, byte for byte; undoing to the
// saved state leaves nothing to save; a long random run of edits undoes and
// redoes whole. Also the frame commands that came with it.
#include "editor/gestureview.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"
#include "support/testdata.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>
#include <gtest/gtest.h>

#include <malloc.h>

#include <functional>
#include <random>

namespace {

// Every question is answered Yes; the frame import dialog is never needed.
struct YesToAll
{
    YesToAll()
    {
        plumora::ui::setDialogResponder([](QDialog &dialog) -> int {
            return qobject_cast<QMessageBox *>(&dialog) ? int(QMessageBox::Yes) : int(QDialog::Rejected);
        });
    }
    ~YesToAll() { plumora::ui::setDialogResponder({}); }
};

QImage solid(QRgb colour, int width = 8, int height = 6)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A gesture file of four 8 x 6 frames (one of them with a marked pixel),
// reversing at the end, with a tagline; opened in a shown window on frame 2.
class HistoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TZQGesture g;
        auto frames = std::make_unique<TFrameList>(8, 6);
        for (QRgb colour : { qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 200), qRgb(90, 90, 0) })
            frames->Add(solid(colour), clNone);
        g.setFrames(std::move(frames));
        QImage marked = solid(qRgb(0, 90, 90));
        marked.setPixel(1, 1, qRgb(1, 2, 3));
        g.InsertFrame(1, marked, clNone);
        g.setTagline(QStringLiteral("tag"));
        g.setAnimLoopOption(aoReverse);
        path = dir.filePath(QStringLiteral("h.zqa"));
        g.SaveToFile(path);
        w = std::make_unique<TfrmGestureWindow>(nullptr);
        w->OpenGesture(path);
        w->Gesture()->setCurrentIndex(1);
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }

    QUndoStack &history() { return *w->UndoStack(); }
    QByteArray bytes() { return w->Gesture()->WriteGestureToBuffer(); }

    YesToAll yes;
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<TfrmGestureWindow> w;
};

void pickAt(TfrmGestureWindow &w, QPoint at)
{
    control<QTabWidget>(w, "pageTabs")->setCurrentWidget(control<QWidget>(w, "settingsPage"));
    QTest::mousePress(control<QToolButton>(w, "pickTransparentButton"), Qt::LeftButton);
    QTest::mouseRelease(control<QToolButton>(w, "pickTransparentButton"), Qt::LeftButton);
    QTest::mouseClick(w.GestureView(), Qt::LeftButton, {}, at);
    plumora::ui::setScreenCursor(plumora::ui::crDefault);
}

struct Command
{
    const char *name; // the step's text, after "Undo "
    std::function<void(TfrmGestureWindow &)> run;
};

template <typename T> T *in(TfrmGestureWindow &w, const char *name)
{
    return control<T>(w, name);
}

const std::vector<Command> &commands()
{
    static const std::vector<Command> all = {
        { "Cut Frame", [](TfrmGestureWindow &w) { in<QAction>(w, "cutFrameAction")->trigger(); } },
        { "Paste Frame",
            [](TfrmGestureWindow &w) {
                QGuiApplication::clipboard()->setImage(solid(qRgb(7, 8, 9)));
                in<QAction>(w, "pasteFrameAction")->trigger();
            } },
        { "Delete Frame", [](TfrmGestureWindow &w) { in<QAction>(w, "deleteFrameAction")->trigger(); } },
        { "Insert Blank Frame",
            [](TfrmGestureWindow &w) { in<QAction>(w, "popupInsertBlankAction")->trigger(); } },
        { "Duplicate Frame",
            [](TfrmGestureWindow &w) { in<QAction>(w, "duplicateFrameAction")->trigger(); } },
        { "Reverse Frames", [](TfrmGestureWindow &w) { in<QAction>(w, "reverseFramesAction")->trigger(); } },
        { "Move Frame Forward",
            [](TfrmGestureWindow &w) { in<QAction>(w, "moveForwardAction")->trigger(); } },
        { "Move Frame Backward",
            [](TfrmGestureWindow &w) { in<QAction>(w, "moveBackwardAction")->trigger(); } },
        { "Move Frame to Start",
            [](TfrmGestureWindow &w) { in<QAction>(w, "moveToStartAction")->trigger(); } },
        { "Move Frame to End", [](TfrmGestureWindow &w) { in<QAction>(w, "moveToEndAction")->trigger(); } },
        { "Load Animation",
            [](TfrmGestureWindow &w) {
                w.loadAnimationFile(testdata::path("gif/pil_anim_local_loop7.gif"));
            } },
        { "Load Button Picture",
            [](TfrmGestureWindow &w) {
                w.loadButtonImageFile(testdata::path("pictures/bmp_24bit_64x48.bmp"));
            } },
        { "Load Sound",
            [](TfrmGestureWindow &w) { w.loadAudioFile(testdata::path("wav/tone_s16_8000.wav")); } },
        { "Edit Tagline", [](TfrmGestureWindow &w) { in<QLineEdit>(w, "taglineEdit")->setText("other"); } },
        { "Edit Author", [](TfrmGestureWindow &w) { in<QLineEdit>(w, "authorEdit")->setText("Bo"); } },
        { "Play Once", [](TfrmGestureWindow &w) { in<QRadioButton>(w, "animationOnceRadio")->click(); } },
        { "Loop to Frame", [](TfrmGestureWindow &w) { in<QRadioButton>(w, "animationLoopRadio")->click(); } },
        { "Change Loop Frame",
            [](TfrmGestureWindow &w) { in<QSpinBox>(w, "animationLoopFrameSpin")->setValue(3); } },
        { "Change Sound Start Frame",
            [](TfrmGestureWindow &w) { in<QSpinBox>(w, "audioLoopFrameSpin")->setValue(4); } },
        { "Restart Sound on Each Loop",
            [](TfrmGestureWindow &w) { in<QRadioButton>(w, "audioLoopRadio")->click(); } },
        { "Transparent Color On",
            [](TfrmGestureWindow &w) { in<QCheckBox>(w, "transparentCheck")->setChecked(true); } },
        { "Pick Transparent Color",
            [](TfrmGestureWindow &w) {
                in<QCheckBox>(w, "transparentCheck")->setChecked(true);
                pickAt(w, QPoint(1, 1));
            } },
    };
    return all;
}

} // namespace

TEST_F(HistoryTest, EachCommandIsOneStepThatUndoesAndRedoesTheFile)
{
    for (const Command &command : commands()) {
        SCOPED_TRACE(command.name);
        SetUp();
        // Ticking the box first is a step of its own.
        const bool ticksFirst = QLatin1String(command.name) == QLatin1String("Pick Transparent Color");
        const QByteArray before = bytes();
        command.run(*w);
        const QByteArray after = bytes();
        ASSERT_NE(after, before);
        ASSERT_EQ(history().count(), ticksFirst ? 2 : 1);
        EXPECT_EQ(history().undoText(), QString::fromLatin1(command.name));
        EXPECT_TRUE(w->Gesture()->UnsavedChanges());

        while (history().canUndo())
            history().undo();
        EXPECT_EQ(bytes(), before);
        EXPECT_FALSE(w->Gesture()->UnsavedChanges());
        while (history().canRedo())
            history().redo();
        EXPECT_EQ(bytes(), after);
        EXPECT_TRUE(w->Gesture()->UnsavedChanges());
    }
}

TEST_F(HistoryTest, UndoingToTheSavedStateLeavesNothingToSave)
{
    in<QAction>(*w, "moveForwardAction")->trigger();
    in<QCheckBox>(*w, "transparentCheck")->setChecked(true);
    history().undo();
    history().undo();
    EXPECT_FALSE(w->Gesture()->UnsavedChanges());
    EXPECT_FALSE(w->Gesture()->Modified());
    plumora::ui::setDialogResponder([](QDialog &) -> int {
        ADD_FAILURE() << "closing asked";
        return QDialog::Rejected;
    });
    EXPECT_TRUE(w->close());

    // Saving moves the saved state: undoing past it leaves changes again,
    // redoing back to it leaves none.
    SetUp();
    in<QAction>(*w, "reverseFramesAction")->trigger();
    w->Gesture()->SaveToFile(path);
    EXPECT_TRUE(history().isClean());
    history().undo();
    EXPECT_TRUE(w->Gesture()->UnsavedChanges());
    history().redo();
    EXPECT_FALSE(w->Gesture()->UnsavedChanges());
    EXPECT_FALSE(w->Gesture()->Modified());
}

TEST_F(HistoryTest, TypingIsOneStepPerFieldUntilItLosesTheFocus)
{
    auto *tagline = in<QLineEdit>(*w, "taglineEdit");
    tagline->setFocus();
    tagline->selectAll();
    QTest::keyClicks(tagline, "abc");
    EXPECT_EQ(history().count(), 1);
    in<QLineEdit>(*w, "authorEdit")->setFocus();
    QTest::keyClicks(in<QLineEdit>(*w, "authorEdit"), "Al");
    tagline->setFocus();
    QTest::keyClicks(tagline, "d");
    EXPECT_EQ(history().count(), 3);
    history().undo();
    EXPECT_EQ(w->Gesture()->Tagline(), "abc");
    EXPECT_EQ(tagline->text(), "abc");
    history().undo();
    history().undo();
    EXPECT_EQ(tagline->text(), "tag");
    // Typing back to the text it began with leaves no step.
    QTest::keyClick(tagline, Qt::Key_End);
    QTest::keyClick(tagline, Qt::Key_X);
    QTest::keyClick(tagline, Qt::Key_Backspace);
    EXPECT_FALSE(history().canUndo());
}

TEST_F(HistoryTest, RandomEditsUndoAndRedoWhole)
{
    std::mt19937 random(20261207);
    const std::vector<Command> &all = commands();
    const QByteArray start = bytes();
    for (int step = 0; step < 90; ++step) {
        const Command &command = all[random() % all.size()];
        const QLatin1String name(command.name);
        const int count = w->Gesture()->Frames()->Count();
        // The list is never emptied, so that every state can be written.
        if (count == 1 && (name == QLatin1String("Cut Frame") || name == QLatin1String("Delete Frame")))
            continue;
        in<QSlider>(*w, "frameSlider")->setValue(1 + int(random() % count));
        if (name == QLatin1String("Edit Tagline"))
            in<QLineEdit>(*w, "taglineEdit")->setText(QString::number(random()));
        else if (name == QLatin1String("Change Loop Frame")
            || name == QLatin1String("Change Sound Start Frame"))
            in<QSpinBox>(*w,
                name == QLatin1String("Change Loop Frame") ? "animationLoopFrameSpin" : "audioLoopFrameSpin")
                ->setValue(1 + int(random() % count));
        else if (name == QLatin1String("Play Once") && random() % 2)
            in<QRadioButton>(*w, "animationReverseRadio")->click();
        else if (name == QLatin1String("Transparent Color On") && random() % 2)
            in<QCheckBox>(*w, "transparentCheck")->setChecked(false);
        else
            command.run(*w);
    }
    const QByteArray end = bytes();
    ASSERT_GT(history().count(), 50);
    ASSERT_LE(history().count(), 100);
    while (history().canUndo())
        history().undo();
    EXPECT_EQ(bytes(), start);
    EXPECT_FALSE(w->Gesture()->UnsavedChanges());
    while (history().canRedo())
        history().redo();
    EXPECT_EQ(bytes(), end);
}

TEST_F(HistoryTest, FrameCommandsAndPreviewKeys)
{
    const auto order = [this] {
        std::vector<QRgb> out;
        for (int i = 0; i < w->Gesture()->Frames()->Count(); ++i)
            out.push_back(w->Gesture()->Frames()->Picture(i).pixel(0, 0));
        return out;
    };
    const std::vector<QRgb> original = order();
    const QRgb second = original[1];
    in<QAction>(*w, "duplicateFrameAction")->trigger();
    EXPECT_EQ(order()[2], second);
    EXPECT_EQ(w->Gesture()->CurrentFrame(), 3);
    // The copy shares the pixels of its original.
    EXPECT_EQ(w->Gesture()->Frames()->Picture(1).constBits(), w->Gesture()->Frames()->Picture(2).constBits());
    history().undo();

    // Reversing keeps the loop and the sound on their pictures.
    in<QRadioButton>(*w, "animationLoopRadio")->click();
    in<QSpinBox>(*w, "animationLoopFrameSpin")->setValue(2);
    in<QSpinBox>(*w, "audioLoopFrameSpin")->setValue(5);
    in<QAction>(*w, "reverseFramesAction")->trigger();
    EXPECT_EQ(order(), std::vector<QRgb>(original.rbegin(), original.rend()));
    EXPECT_EQ(w->Gesture()->AnimLoopFrame(), 4);
    EXPECT_EQ(w->Gesture()->AudioLoopFrame(), 1);
    EXPECT_EQ(w->Gesture()->CurrentFrame(), 4);

    // With the preview focused the keys step through and edit the frames.
    auto *preview = in<QFrame>(*w, "gestureArea");
    preview->setFocus();
    QTest::keyClick(preview, Qt::Key_Home);
    EXPECT_EQ(w->Gesture()->CurrentFrame(), 1);
    QTest::keyClick(preview, Qt::Key_Right);
    EXPECT_EQ(w->Gesture()->CurrentFrame(), 2);
    QTest::keyClick(preview, Qt::Key_End);
    QTest::keyClick(preview, Qt::Key_Left);
    EXPECT_EQ(w->Gesture()->CurrentFrame(), 4);
    QTest::keyClick(preview, Qt::Key_Delete);
    QTest::keyClick(preview, Qt::Key_Insert);
    EXPECT_EQ(history().undoText(), "Insert Blank Frame");
    EXPECT_EQ(w->Gesture()->Frames()->Count(), 5);
    QTest::keyClick(preview, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(history().undoText(), "Duplicate Frame");
}

// The history of a gesture of 255 frames of 255 x 225 shares the frames'
// pixels: 100 steps cost a few megabytes, not copies of the 58 MB of frames.
TEST(History, FullHistoryOfTheLargestGestureSharesItsPixels)
{
    YesToAll yes;
    TfrmGestureWindow w(nullptr);
    auto frames = std::make_unique<TFrameList>(255, 225);
    for (int i = 0; i < 255; ++i)
        frames->Add(solid(qRgb(i, 255 - i, i / 2), 255, 225), clNone);
    w.Gesture()->setFrames(std::move(frames));
    w.show();
    EXPECT_THROW(w.DuplicateFrame(), PlumoraError);

    const std::size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
    const char *steps[] = { "moveForwardAction", "moveToStartAction", "reverseFramesAction",
        "moveToEndAction", "deleteFrameAction", "moveBackwardAction" };
    for (int i = 0; i < 100; ++i) {
        // From a frame in the middle every step moves something.
        w.Gesture()->setCurrentIndex(100 + i % 20);
        if (i % 7 == 3)
            control<QCheckBox>(w, "transparentCheck")->toggle();
        else
            control<QAction>(w, steps[i % 6])->trigger();
    }
    const std::size_t after = mallinfo2().uordblks + mallinfo2().hblkhd;
    EXPECT_EQ(w.UndoStack()->count(), 100);
    const double megabytes = double(after - before) / (1 << 20);
    std::printf("history of 100 steps on 255 frames of 255 x 225: %.1f MB\n", megabytes);
    EXPECT_LT(megabytes, 16.0);
}
