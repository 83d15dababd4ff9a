// The undo history without a window: each step undoes and redoes the file
// byte for byte, typing merges and, undone to where it began, leaves nothing
// to save; a step that fails puts the gesture back.
#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"
#include "gesturetestutil.h"
#include "platform/errors.h"

#include <QUndoStack>

#include <functional>

#include <gtest/gtest.h>

using namespace gesturetest;

namespace {

// A gesture as opened: three frames, a tagline, nothing unsaved.
struct Opened
{
    TZQGesture gesture;
    TGestureHistory history { gesture };
    Opened()
    {
        gesture.setFrames(frames(6, 4, 3, RGBColor(1, 2, 3)));
        gesture.setTagline("tag");
        history.Restart();
        gesture.RestoreModified(false);
    }
};

} // namespace

TEST(GestureHistory, EachStepUndoesAndRedoesTheFile)
{
    const struct
    {
        const char *name;
        std::function<void(TZQGesture &)> change;
    } steps[] = {
        { "tagline", [](TZQGesture &g) { g.setTagline("other"); } },
        { "loop",
            [](TZQGesture &g) {
                g.setAnimLoopOption(aoLoop);
                g.setAnimLoopFrame(2);
            } },
        { "transparent", [](TZQGesture &g) { g.setTransparentColor(RGBColor(1, 2, 3)); } },
        { "delete frame", [](TZQGesture &g) { g.DeleteFrame(1); } },
        { "sound", [](TZQGesture &g) { g.SetAudio(wav(40)); } },
        { "frames", [](TZQGesture &g) { g.setFrames(frames(3, 3, 5)); } },
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.name);
        Opened o;
        const QByteArray before = bytesOf(o.gesture);
        o.gesture.RestoreModified(false);
        {
            const TGestureHistory::Step step(o.history, QString::fromLatin1(s.name));
            s.change(o.gesture);
        }
        const QByteArray after = bytesOf(o.gesture);
        ASSERT_NE(after, before);
        EXPECT_EQ(o.history.Stack().count(), 1);
        EXPECT_TRUE(o.gesture.UnsavedChanges());
        o.history.Stack().undo();
        EXPECT_FALSE(o.gesture.UnsavedChanges());
        EXPECT_FALSE(o.gesture.Modified());
        EXPECT_EQ(bytesOf(o.gesture), before);
        o.history.Stack().redo();
        EXPECT_TRUE(o.gesture.UnsavedChanges());
        EXPECT_EQ(bytesOf(o.gesture), after);
    }
}

TEST(GestureHistory, TypingMergesAndUndoneLeavesNothingToSave)
{
    Opened o;
    for (const char *text : { "tag1", "tag12" }) {
        const TGestureHistory::Step step(o.history, "Edit Tagline", TGestureHistory::TaglineMerge);
        o.gesture.setTagline(text);
    }
    EXPECT_EQ(o.history.Stack().count(), 1);
    EXPECT_TRUE(o.gesture.Modified());
    // The field's own undo brings the text back to the one saved: no step,
    // nothing to save, as there.
    {
        const TGestureHistory::Step step(o.history, "Edit Tagline", TGestureHistory::TaglineMerge);
        o.gesture.setTagline("tag");
    }
    EXPECT_EQ(o.history.Stack().count(), 0);
    EXPECT_FALSE(o.gesture.UnsavedChanges());
    EXPECT_FALSE(o.gesture.Modified());

    // Typing after the field lost the focus is a step of its own.
    for (const char *text : { "a", "b" }) {
        o.history.EndTyping();
        const TGestureHistory::Step step(o.history, "Edit Tagline", TGestureHistory::TaglineMerge);
        o.gesture.setTagline(text);
    }
    EXPECT_EQ(o.history.Stack().count(), 2);
}

TEST(GestureHistory, AFailedStepPutsTheGestureBack)
{
    Opened o;
    const QByteArray before = bytesOf(o.gesture);
    EXPECT_THROW(
        {
            const TGestureHistory::Step step(o.history, "Edit");
            o.gesture.setTagline("half done");
            throw PlumoraError("failed");
        },
        PlumoraError);
    EXPECT_EQ(o.history.Stack().count(), 0);
    EXPECT_EQ(o.gesture.Tagline(), QStringLiteral("tag"));
    EXPECT_EQ(bytesOf(o.gesture), before);
}
