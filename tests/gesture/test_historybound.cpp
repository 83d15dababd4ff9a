// The undo history is bounded by the memory its states hold beyond the
// gesture's own, not by a small number of steps.
#include "gesture/frameselection.h"
#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"

#include <QUndoStack>

#include <gtest/gtest.h>

namespace {

// frames of 255 x 225 (229,500 bytes each), all filled with one colour.
std::unique_ptr<TFrameList> filled(int count, int shade)
{
    auto list = std::make_unique<TFrameList>(255, 225);
    for (int k = 0; k < count; ++k) {
        QImage picture(255, 225, QImage::Format_RGB32);
        picture.fill(qRgb(shade, k, 0));
        list->Add(picture, clNone);
    }
    return list;
}

} // namespace

// Every step brings ten new frames (2.3 MB): the history stays under its
// bound by letting the oldest steps go, and what it keeps still undoes.
TEST(HistoryBound, LargeStepsStayUnderTheBoundOldestFirst)
{
    TZQGesture g;
    TGestureHistory history(g);
    g.setFrames(filled(10, 0));
    history.Restart();
    const int steps = 60;
    for (int s = 1; s <= steps; ++s) {
        const TGestureHistory::Step step(history, QStringLiteral("Replace"));
        g.setFrames(filled(10, s));
        g.setTagline(QString::number(s));
    }
    EXPECT_LE(history.KeptBytes(), TGestureHistory::kByteLimit);
    const int kept = history.Stack().count();
    EXPECT_LT(kept, steps);
    EXPECT_GT(kept, 20); // 64 MB hold about 27 such steps
    while (history.Stack().canUndo())
        history.Stack().undo();
    // The oldest steps went: the earliest state left is that of step
    // steps - kept, and the opened state is no longer reachable.
    EXPECT_EQ(g.Tagline(), QString::number(steps - kept));
    EXPECT_EQ(qRed(g.Frames()->Picture(0).pixel(0, 0)), steps - kept);
    EXPECT_TRUE(g.UnsavedChanges());
    while (history.Stack().canRedo())
        history.Stack().redo();
    EXPECT_EQ(g.Tagline(), QString::number(steps));
}

// Small edits of a large gesture share its frames: 150 of them keep no
// pixels beyond the gesture's, and all undo back to the opened state.
TEST(HistoryBound, OpenedStateReachableAfterManySmallEdits)
{
    TZQGesture g;
    TGestureHistory history(g);
    g.setFrames(filled(40, 0));
    g.setTagline(QStringLiteral("opened"));
    history.Restart();
    for (int s = 0; s < 150; ++s) {
        const TGestureHistory::Step step(history, QStringLiteral("Edit"));
        if (s % 3 == 0)
            MoveFramesToEnd(g, { 0 });
        else
            g.setTagline(QString::number(s));
    }
    EXPECT_EQ(history.Stack().count(), 150);
    EXPECT_EQ(history.KeptBytes(), 0);
    while (history.Stack().canUndo())
        history.Stack().undo();
    EXPECT_EQ(g.Tagline(), QStringLiteral("opened"));
    EXPECT_EQ(qGreen(g.Frames()->Picture(0).pixel(0, 0)), 0);
    EXPECT_FALSE(g.UnsavedChanges());
}
