// The frame commands on a selection of several frames, as document
// operations: each row gives the frames (named by letter), the selection,
// the command, and the frames, selection and loop and sound start frames
// after it; every command is one undo step that brings the frames back.
#include "gesture/frameselection.h"
#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"

#include <QUndoStack>

#include <functional>

#include <gtest/gtest.h>

namespace {

// Frame k is filled with the colour whose red is k, so its letter can be
// read back from any pixel.
std::unique_ptr<TFrameList> lettered(int count, int width = 4)
{
    auto list = std::make_unique<TFrameList>(width, 3);
    for (int k = 0; k < count; ++k) {
        QImage picture(width, 3, QImage::Format_RGB32);
        picture.fill(qRgb(k, 0, 0));
        list->Add(picture, clNone);
    }
    return list;
}

QString letters(const TZQGesture &g)
{
    QString out;
    for (int i = 0; i < g.Frames()->Count(); ++i)
        out += QChar(u'A' + qRed(g.Frames()->Picture(i).pixel(0, 0)));
    return out;
}

using Command = std::function<TFrameSelection(TZQGesture &, const TFrameSelection &)>;

struct Row
{
    const char *name;
    const char *frames;
    TFrameSelection selection;
    Command command;
    const char *after;
    TFrameSelection selectedAfter;
    int loop, audio; // 1-based, before (loop option is aoLoop)
    int loopAfter, audioAfter;
};

} // namespace

TEST(FrameSelection, CommandsOnTheSelection)
{
    const Command reverse = ReverseFrames;
    const Command remove = DeleteFrames;
    const Row rows[] = {
        { "delete some", "ABCDEF", { 1, 3, 4 }, remove, "ACF", { 1 }, 6, 2, 3, 2 },
        { "delete the tail", "ABCDE", { 3, 4 }, remove, "ABC", { 2 }, 5, 5, 3, 3 },
        { "delete all", "ABC", { 0, 1, 2 }, remove, "", {}, 1, 1, 1, 1 },
        { "duplicate", "ABCD", { 0, 2 }, DuplicateFrames, "ABCACD", { 3, 4 }, 4, 1, 4, 1 },
        { "reverse a part", "ABCDE", { 1, 2, 3 }, reverse, "ADCBE", { 1, 2, 3 }, 2, 3, 4, 3 },
        { "reverse all", "ABCD", { 2 }, reverse, "DCBA", { 1 }, 1, 2, 4, 3 },
        { "reverse gaps", "ABCDE", { 0, 2, 4 }, reverse, "EBCDA", { 0, 2, 4 }, 5, 1, 1, 5 },
        { "to start", "ABCDE", { 2, 4 }, MoveFramesToStart, "CEABD", { 0, 1 }, 2, 5, 2, 5 },
        { "to end", "ABCDE", { 0, 2 }, MoveFramesToEnd, "BDEAC", { 3, 4 }, 1, 1, 1, 1 },
        { "drop inside", "ABCDEF", { 0, 1 },
            [](TZQGesture &g, const TFrameSelection &s) { return MoveFramesTo(g, s, 4); }, "CDABEF", { 2, 3 },
            1, 1, 1, 1 },
        { "drop before", "ABCDEF", { 4, 5 },
            [](TZQGesture &g, const TFrameSelection &s) { return MoveFramesTo(g, s, 1); }, "AEFBCD", { 1, 2 },
            1, 1, 1, 1 },
        { "keep only", "ABCDEF", { 1, 4 }, KeepOnlyFrames, "BE", { 0, 1 }, 6, 4, 2, 2 },
        { "paste after", "ABC", { 0, 1 },
            [](TZQGesture &g, const TFrameSelection &s) {
                return InsertFrames(g, s.last() + 1, CopyFrames(g, { 2, 0 }));
            },
            "ABACC", { 2, 3 }, 3, 3, 3, 3 },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TZQGesture g;
        TGestureHistory history(g);
        g.setFrames(lettered(int(qstrlen(row.frames))));
        g.setAnimLoopOption(aoLoop);
        g.setAnimLoopFrame(row.loop);
        g.setAudioLoopFrame(row.audio);
        g.setCurrentIndex(row.selection.first());
        history.Restart();
        TFrameSelection selected;
        {
            const TGestureHistory::Step step(history, QStringLiteral("Edit"));
            selected = row.command(g, row.selection);
        }
        EXPECT_EQ(letters(g), QString::fromLatin1(row.after));
        EXPECT_EQ(selected, row.selectedAfter);
        if (!selected.isEmpty()) {
            EXPECT_EQ(g.CurrentIndex(), selected.first());
        }
        EXPECT_EQ(g.AnimLoopFrame(), row.loopAfter);
        EXPECT_EQ(g.AudioLoopFrame(), row.audioAfter);
        ASSERT_EQ(history.Stack().count(), 1);
        history.Stack().undo();
        EXPECT_EQ(letters(g), QString::fromLatin1(row.frames));
        EXPECT_EQ(g.AnimLoopFrame(), row.loop);
        EXPECT_FALSE(g.UnsavedChanges());
    }
}

// Duplicating or pasting past the frames a gesture holds is refused whole.
TEST(FrameSelection, FrameLimitRefusesTheWholeEdit)
{
    TZQGesture g;
    g.setFrames(lettered(250));
    EXPECT_THROW(DuplicateFrames(g, FrameRange(0, 9)), PlumoraError);
    EXPECT_THROW(InsertFrames(g, 0, CopyFrames(g, FrameRange(0, 5))), PlumoraError);
    EXPECT_EQ(g.Frames()->Count(), 250);
    EXPECT_EQ(DuplicateFrames(g, FrameRange(0, 4)).size(), 5);
    EXPECT_EQ(g.Frames()->Count(), 255);
}

TEST(FrameSelection, SelectionsAreNormalized)
{
    EXPECT_EQ(NormalizedSelection({ 5, 1, -1, 3, 1, 9 }, 6), TFrameSelection({ 1, 3, 5 }));
    EXPECT_EQ(FrameRange(4, 2), TFrameSelection({ 2, 3, 4 }));
}
