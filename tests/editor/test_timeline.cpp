// The timeline in a gesture window: selecting frames with the mouse and the
// keys, the frame commands on the selection as single steps, moving frames
// by dragging them along the strip and dropping pictures onto it; zooming
// the preview; removing the sound.
#include "editor/gestureview.h"
#include "editor/gesturewindow.h"
#include "editor/previewpane.h"
#include "editor/timeline.h"
#include "gesture/gesturetestutil.h"
#include "gesture/zqgesture.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>

#include <gtest/gtest.h>

namespace {

// Answers every question with Yes and keeps its text.
struct Questions
{
    QStringList texts;
    Questions()
    {
        plumora::ui::setDialogResponder([this](QDialog &dialog) -> int {
            if (auto *box = qobject_cast<QMessageBox *>(&dialog))
                texts << box->text();
            return QMessageBox::Yes;
        });
    }
    ~Questions() { plumora::ui::setDialogResponder({}); }
};

// A shown window whose frame k (8 x 6) is filled with the colour whose red
// is k, so its letter can be read back.
std::unique_ptr<TfrmGestureWindow> windowWith(int count)
{
    auto w = std::make_unique<TfrmGestureWindow>(nullptr);
    auto frames = std::make_unique<TFrameList>(8, 6);
    for (int k = 0; k < count; ++k) {
        QImage picture(8, 6, QImage::Format_RGB32);
        picture.fill(qRgb(k, 0, 0));
        frames->Add(picture, clNone);
    }
    w->Gesture()->setFrames(std::move(frames));
    w->UndoStack()->clear();
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
}

QString letters(const TfrmGestureWindow &w)
{
    QString out;
    const TFrameList *frames = w.Gesture()->Frames();
    for (int i = 0; frames && i < frames->Count(); ++i)
        out += QChar(u'A' + qRed(frames->Picture(i).pixel(0, 0)));
    return out;
}

void click(TTimeline *timeline, int frame, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(timeline->viewport(), Qt::LeftButton, modifiers, timeline->CellRect(frame).center());
}

// Drags data over the timeline to the left edge of frame place's cell and
// drops it there.
void dropAt(TTimeline *timeline, QMimeData *data, int place, int *markerShown = nullptr)
{
    const QPoint at(timeline->CellRect(place).left() + 1, timeline->CellRect(0).center().y());
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(timeline->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(timeline->viewport(), &move);
    if (markerShown)
        *markerShown = timeline->DropMarker();
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(timeline->viewport(), &drop);
    delete data;
}

} // namespace

TEST(Timeline, SelectionAndItsCommands)
{
    auto w = windowWith(6);
    auto *timeline = control<TTimeline>(w, "timeline");
    click(timeline, 1);
    EXPECT_EQ(timeline->Selection(), TFrameSelection({ 1 }));
    EXPECT_EQ(w->Gesture()->CurrentIndex(), 1);
    click(timeline, 3, Qt::ShiftModifier);
    click(timeline, 5, Qt::ControlModifier);
    EXPECT_EQ(timeline->Selection(), TFrameSelection({ 1, 2, 3, 5 }));
    EXPECT_EQ(w->Gesture()->CurrentIndex(), 5);

    // Copy carries every selected frame; Delete asks once for all of them.
    QTest::keyClick(timeline, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(qRed(QGuiApplication::clipboard()->image().pixel(0, 0)), 1);
    {
        Questions questions;
        control<QAction>(w, "deleteFrameAction")->trigger();
        EXPECT_EQ(questions.texts, QStringList { "Delete 4 frames?" });
    }
    EXPECT_EQ(letters(*w), "AE");
    EXPECT_EQ(w->UndoStack()->count(), 1);
    w->UndoStack()->undo();
    EXPECT_EQ(letters(*w), "ABCDEF");
    EXPECT_FALSE(w->Gesture()->UnsavedChanges());

    // Paste puts the copied frames after the selection, selected.
    click(timeline, 0);
    QTest::keyClick(timeline, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(letters(*w), "ABCDFBCDEF");
    EXPECT_EQ(timeline->Selection(), TFrameSelection({ 1, 2, 3, 4 }));

    // Shift with the arrows extends from the frame clicked; Ctrl+A takes all.
    click(timeline, 8);
    QTest::keyClick(timeline, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(timeline, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(timeline, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(timeline->Selection(), TFrameSelection({ 7, 8 }));
    control<QAction>(w, "keepOnlySelectedAction")->trigger();
    EXPECT_EQ(letters(*w), "DE");
    QTest::keyClick(timeline, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(timeline->Selection(), TFrameSelection({ 0, 1 }));
    EXPECT_EQ(w->UndoStack()->count(), 2); // the undone Delete gave way to Paste
}

TEST(Timeline, DraggingMovesTheSelectionAndPicturesDropIn)
{
    auto w = windowWith(6);
    auto *timeline = control<TTimeline>(w, "timeline");
    click(timeline, 0);
    click(timeline, 1, Qt::ShiftModifier);
    int marker = -1;
    dropAt(timeline, timeline->MoveData(), 4, &marker);
    EXPECT_EQ(marker, 4);
    EXPECT_EQ(timeline->DropMarker(), -1);
    EXPECT_EQ(letters(*w), "CDABEF");
    EXPECT_EQ(timeline->Selection(), TFrameSelection({ 2, 3 }));
    EXPECT_EQ(w->UndoStack()->count(), 1);
    w->UndoStack()->undo();
    EXPECT_EQ(letters(*w), "ABCDEF");

    // A picture from elsewhere goes in where it falls, fitted to the frames.
    QImage picture(16, 12, QImage::Format_RGB32);
    picture.fill(qRgb(25, 0, 0));
    auto *data = new QMimeData;
    data->setImageData(picture);
    dropAt(timeline, data, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(letters(*w), "AZBCDEF");
    EXPECT_EQ(w->Gesture()->Frames()->Picture(1).size(), QSize(8, 6));
    EXPECT_EQ(timeline->Selection(), TFrameSelection({ 1 }));
}

TEST(Timeline, PreviewZoomsWithSharpPixels)
{
    auto w = windowWith(2);
    auto *pane = control<TPreviewPane>(w, "previewPane");
    TGestureView *view = w->GestureView();
    const int fitted = view->Zoom();
    EXPECT_GE(fitted, 8); // 8 x 6 frames fill much of the preview
    control<QComboBox>(w, "zoomBox")->setCurrentIndex(2);
    EXPECT_EQ(view->Zoom(), 2);
    EXPECT_EQ(view->size(), QSize(16, 12));
    EXPECT_EQ(control<QToolButton>(w, "previewButton")->iconSize(), QSize(36, 36));
    pane->ZoomIn();
    EXPECT_EQ(view->Zoom(), 4);
    QTest::keyClick(w.get(), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(view->Zoom(), 2);
    // Each frame pixel is a square of one colour.
    w->Gesture()->setTransparentColor(clNone);
    const QImage shown = view->grab().toImage();
    EXPECT_EQ(shown.pixel(0, 0), shown.pixel(1, 1));
}

TEST(Timeline, RemoveSoundIsSavedAndUndone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sound.zqa");
    {
        TZQGesture g;
        g.setFrames(gesturetest::frames(4, 3, 2));
        g.SetAudio(gesturetest::wav(100));
        g.SaveToFile(path);
    }
    TfrmGestureWindow w(nullptr);
    w.OpenGesture(path);
    ASSERT_TRUE(w.Gesture()->HasAudio());
    EXPECT_TRUE(control<QAction>(w, "removeSoundAction")->isEnabled());
    control<QPushButton>(w, "audioRemoveButton")->click();
    EXPECT_FALSE(w.Gesture()->HasAudio());
    EXPECT_FALSE(control<QPushButton>(w, "audioRemoveButton")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w, "audioSaveButton")->isEnabled());
    EXPECT_FALSE(control<QAction>(w, "removeSoundAction")->isEnabled());
    w.Gesture()->SaveToFile(path);
    TZQGesture saved;
    saved.LoadFromFile(path);
    ASSERT_TRUE(saved.Valid());
    EXPECT_FALSE(saved.HasAudio());

    w.UndoStack()->undo();
    EXPECT_TRUE(w.Gesture()->HasAudio());
    EXPECT_EQ(w.Gesture()->AudioData(), gesturetest::wav(100));
}
