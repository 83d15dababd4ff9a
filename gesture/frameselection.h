#pragma once
// Edits of several frames at once. A selection is a sorted list of distinct
// 0-based frame indices. Each operation is one change of the gesture (one
// framesChanged), keeps the frame limit and the loop and sound start frames
// as the gesture's own frame edits do, shows the first frame of the
// selection it returns, and returns the frames it made or moved, so that a
// view can keep them selected.
#include "gesture/zqgesture.h"

#include <QImage>
#include <QVector>

using TFrameSelection = QVector<int>;

// The indices sorted, without repeats, and within a list of count frames.
TFrameSelection NormalizedSelection(TFrameSelection selection, int count);
// The frames from first to last (in either order).
TFrameSelection FrameRange(int first, int last);

// The selected frames' stored pixels, as they were added.
QVector<QImage> CopyFrames(const TZQGesture &gesture, const TFrameSelection &selection);
// Inserts the pictures (frame size, as Paste fits them) before index at,
// with the gesture's transparent colour as their mask colour.
TFrameSelection InsertFrames(TZQGesture &gesture, int at, const QVector<QImage> &pictures);
// Deletes the selected frames; returns the frame that took the first one's
// place (the new last frame when the deleted ones were at the end).
TFrameSelection DeleteFrames(TZQGesture &gesture, const TFrameSelection &selection);
// Copies of the selected frames, in order, after the last selected frame.
TFrameSelection DuplicateFrames(TZQGesture &gesture, const TFrameSelection &selection);
// Reverses the order of the selected frames among their places; with fewer
// than two selected, of all frames. The loop and sound start frames stay on
// their pictures.
TFrameSelection ReverseFrames(TZQGesture &gesture, const TFrameSelection &selection);
// Moves the selected frames, in their order, to stand before the frame at
// index before (0 up to the count, counted in the list as it is now).
TFrameSelection MoveFramesTo(TZQGesture &gesture, const TFrameSelection &selection, int before);
TFrameSelection MoveFramesToStart(TZQGesture &gesture, const TFrameSelection &selection);
TFrameSelection MoveFramesToEnd(TZQGesture &gesture, const TFrameSelection &selection);
// The frame list keeps only the selected frames.
TFrameSelection KeepOnlyFrames(TZQGesture &gesture, const TFrameSelection &selection);
