// The gesture window's undo history: every edit is one command whose undo
// and redo give back the same gesture file, byte for byte; undoing to the
// saved state leaves nothing to save; a long random run of edits undoes and
// redoes whole. Also the frame commands that came with it.
#include "editor/fitanimationdialog.h"
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
#include <QLabel>
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

#include <functional>
#include <random>

#include <gtest/gtest.h>

#include <malloc.h>

namespace {

// Every question is answered Yes; the fit dialog halves the frame size; the
// frame import dialog is never needed.
struct YesToAll
{
    YesToAll()
    {
        plumora::ui::setDialogResponder([](QDialog &dialog) -> int {
            if (auto *fit = qobject_cast<TFitAnimationDialog *>(&dialog)) {
                fit->waitUntilIdle();
                auto *size = control<QSlider>(fit, "frameSizeSlider");
                size->setValue(size->maximum() / 2);
                fit->waitUntilIdle();
                return QDialog::Accepted;
            }
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
    // What the Files page says each part came from.
    QString shownSources()
    {
        return control<QLabel>(w, "buttonImageFileLabel")->text()
            + control<QLabel>(w, "animationFileLabel")->text() + control<QLabel>(w, "audioFileLabel")->text();
    }

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

// One edit: a control driven as the user would (a menu item triggered, a
// radio button clicked, a box toggled, a field changed), or a file loaded.
struct Command
{
    const char *name; // the step's text, after "Undo "
    const char *control;
    std::function<void(TfrmGestureWindow &)> run = {};
};

void perform(TfrmGestureWindow &w, const Command &command)
{
    if (command.run)
        return command.run(w);
    QObject *target = control<QObject>(w, command.control);
    if (auto *action = qobject_cast<QAction *>(target))
        action->trigger();
    else if (auto *radio = qobject_cast<QRadioButton *>(target))
        radio->click();
    else if (auto *box = qobject_cast<QCheckBox *>(target))
        box->toggle();
    else if (auto *spin = qobject_cast<QSpinBox *>(target))
        spin->setValue(spin->value() % 4 + 2);
    else if (auto *field = qobject_cast<QLineEdit *>(target))
        field->setText(field->text() + "x");
}

const std::vector<Command> &commands()
{
    static const std::vector<Command> all = {
        { "Cut Frame", "cutFrameAction" },
        { "Paste Frame", "pasteFrameAction",
            [](TfrmGestureWindow &w) {
                QGuiApplication::clipboard()->setImage(solid(qRgb(7, 8, 9)));
                control<QAction>(w, "pasteFrameAction")->trigger();
            } },
        { "Delete Frame", "deleteFrameAction" },
        { "Insert Blank Frame", "popupInsertBlankAction" },
        { "Duplicate Frame", "duplicateFrameAction" },
        { "Reverse Frames", "reverseFramesAction" },
        { "Move Frame Forward", "moveForwardAction" },
        { "Move Frame Backward", "moveBackwardAction" },
        { "Move Frame to Start", "moveToStartAction" },
        { "Move Frame to End", "moveToEndAction" },
        { "Fit Animation", "fitAnimationAction" },
        { "Load Animation", nullptr,
            [](TfrmGestureWindow &w) {
                w.loadAnimationFile(testdata::path("gif/pil_anim_local_loop7.gif"));
            } },
        { "Load Button Picture", nullptr,
            [](TfrmGestureWindow &w) {
                w.loadButtonImageFile(testdata::path("pictures/bmp_24bit_64x48.bmp"));
            } },
        { "Load Sound", nullptr,
            [](TfrmGestureWindow &w) { w.loadAudioFile(testdata::path("wav/tone_s16_8000.wav")); } },
        { "Edit Tagline", "taglineEdit" },
        { "Edit Author", "authorEdit" },
        { "Play Once", "animationOnceRadio" },
        { "Loop to Frame", "animationLoopRadio" },
        { "Change Loop Frame", "animationLoopFrameSpin" },
        { "Change Sound Start Frame", "audioLoopFrameSpin" },
        { "Restart Sound on Each Loop", "audioLoopRadio" },
        { "Transparent Color On", "transparentCheck" },
        { "Pick Transparent Color", nullptr,
            [](TfrmGestureWindow &w) {
                control<QCheckBox>(w, "transparentCheck")->setChecked(true);
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
        const QString panels = shownSources();
        perform(*w, command);
        const QByteArray after = bytes();
        ASSERT_NE(after, before);
        ASSERT_EQ(history().count(), ticksFirst ? 2 : 1);
        EXPECT_EQ(history().undoText(), QString::fromLatin1(command.name));
        EXPECT_TRUE(w->Gesture()->UnsavedChanges());

        while (history().canUndo())
            history().undo();
        EXPECT_EQ(bytes(), before);
        EXPECT_EQ(shownSources(), panels);
        EXPECT_FALSE(w->Gesture()->UnsavedChanges());
        while (history().canRedo())
            history().redo();
        EXPECT_EQ(bytes(), after);
        EXPECT_TRUE(w->Gesture()->UnsavedChanges());
    }
}

TEST_F(HistoryTest, UndoingToTheSavedStateLeavesNothingToSave)
{
    control<QAction>(*w, "moveForwardAction")->trigger();
    control<QCheckBox>(*w, "transparentCheck")->setChecked(true);
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
    control<QAction>(*w, "reverseFramesAction")->trigger();
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
    auto *tagline = control<QLineEdit>(*w, "taglineEdit");
    tagline->setFocus();
    tagline->selectAll();
    QTest::keyClicks(tagline, "abc");
    EXPECT_EQ(history().count(), 1);
    control<QLineEdit>(*w, "authorEdit")->setFocus();
    QTest::keyClicks(control<QLineEdit>(*w, "authorEdit"), "Al");
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
        const int count = w->Gesture()->Frames()->Count();
        // The list is never emptied, so that every state can be written.
        const QByteArray name(command.name);
        if (count == 1 && (name == "Cut Frame" || name == "Delete Frame"))
            continue;
        w->Gesture()->setCurrentIndex(int(random() % count));
        perform(*w, command);
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
    control<QAction>(*w, "duplicateFrameAction")->trigger();
    EXPECT_EQ(order()[2], second);
    EXPECT_EQ(w->Gesture()->CurrentFrame(), 3);
    // The copy shares the pixels of its original.
    EXPECT_EQ(w->Gesture()->Frames()->Picture(1).constBits(), w->Gesture()->Frames()->Picture(2).constBits());
    history().undo();

    // Reversing keeps the loop and the sound on their pictures.
    control<QRadioButton>(*w, "animationLoopRadio")->click();
    control<QSpinBox>(*w, "animationLoopFrameSpin")->setValue(2);
    control<QSpinBox>(*w, "audioLoopFrameSpin")->setValue(5);
    control<QAction>(*w, "reverseFramesAction")->trigger();
    EXPECT_EQ(order(), std::vector<QRgb>(original.rbegin(), original.rend()));
    EXPECT_EQ(w->Gesture()->AnimLoopFrame(), 4);
    EXPECT_EQ(w->Gesture()->AudioLoopFrame(), 1);
    EXPECT_EQ(w->Gesture()->CurrentFrame(), 4);

    // With the preview focused the keys step through and edit the frames.
    auto *preview = control<QFrame>(*w, "gestureArea");
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
