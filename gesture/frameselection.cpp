#include "frameselection.h"

#include <algorithm>
#include <numeric>

namespace {

int frameCount(const TZQGesture &gesture)
{
    return gesture.Frames() ? gesture.Frames()->Count() : 0;
}

// Installs the new order and shows the first frame of what it returns.
TFrameSelection rearrange(TZQGesture &gesture, const QVector<int> &order, TFrameSelection result)
{
    gesture.RearrangeFrames(order);
    result = NormalizedSelection(std::move(result), frameCount(gesture));
    if (!result.isEmpty())
        gesture.setCurrentIndex(result.first());
    return result;
}

} // namespace

TFrameSelection NormalizedSelection(TFrameSelection selection, int count)
{
    selection.erase(std::remove_if(selection.begin(), selection.end(),
                        [count](int index) { return index < 0 || index >= count; }),
        selection.end());
    std::sort(selection.begin(), selection.end());
    selection.erase(std::unique(selection.begin(), selection.end()), selection.end());
    return selection;
}

TFrameSelection FrameRange(int first, int last)
{
    if (first > last)
        std::swap(first, last);
    TFrameSelection range(last - first + 1);
    std::iota(range.begin(), range.end(), first);
    return range;
}

QVector<QImage> CopyFrames(const TZQGesture &gesture, const TFrameSelection &selection)
{
    QVector<QImage> pictures;
    for (const int index : NormalizedSelection(selection, frameCount(gesture)))
        pictures.append(gesture.Frames()->CopyFrame(index, clNone));
    return pictures;
}

TFrameSelection InsertFrames(TZQGesture &gesture, int at, const QVector<QImage> &pictures)
{
    at = std::clamp(at, 0, frameCount(gesture));
    gesture.InsertFrames(at, pictures, gesture.TransparentColor());
    if (pictures.isEmpty())
        return {};
    gesture.setCurrentIndex(at);
    return FrameRange(at, at + int(pictures.size()) - 1);
}

TFrameSelection DeleteFrames(TZQGesture &gesture, const TFrameSelection &selection)
{
    const int count = frameCount(gesture);
    const TFrameSelection doomed = NormalizedSelection(selection, count);
    if (doomed.isEmpty())
        return {};
    QVector<int> order;
    for (int i = 0; i < count; ++i)
        if (!std::binary_search(doomed.begin(), doomed.end(), i))
            order.append(i);
    const int left = int(order.size());
    if (left == 0)
        return rearrange(gesture, order, {});
    return rearrange(gesture, order, { std::min(doomed.first(), left - 1) });
}

TFrameSelection DuplicateFrames(TZQGesture &gesture, const TFrameSelection &selection)
{
    const int count = frameCount(gesture);
    const TFrameSelection copied = NormalizedSelection(selection, count);
    if (copied.isEmpty())
        return {};
    const int last = copied.last();
    QVector<int> order = FrameRange(0, last);
    order += copied;
    for (int i = last + 1; i < count; ++i)
        order.append(i);
    return rearrange(gesture, order, FrameRange(last + 1, last + int(copied.size())));
}

TFrameSelection ReverseFrames(TZQGesture &gesture, const TFrameSelection &selection)
{
    const int count = frameCount(gesture);
    TFrameSelection places = NormalizedSelection(selection, count);
    if (places.size() < 2)
        places = count > 0 ? FrameRange(0, count - 1) : TFrameSelection();
    if (places.size() < 2)
        return places;
    QVector<int> order = FrameRange(0, count - 1);
    const int n = int(places.size());
    for (int k = 0; k < n; ++k)
        order[places[k]] = places[n - 1 - k];
    // Where each picture went: the loop and the sound start on the same
    // pictures as before (the loop frame only matters, and follows, while
    // the animation loops).
    const auto newPlace = [&](int index) {
        const auto at = std::find(order.begin(), order.end(), index);
        return at == order.end() ? index : int(at - order.begin());
    };
    const int loop = newPlace(gesture.AnimLoopFrame() - 1);
    const int audio = newPlace(gesture.AudioLoopFrame() - 1);
    // A reversed part stays selected where it is; a whole list reversed for
    // one selected frame keeps that frame selected where it went.
    TFrameSelection result = NormalizedSelection(selection, count);
    if (int(result.size()) < 2)
        for (int &index : result)
            index = newPlace(index);
    gesture.RearrangeFrames(order);
    if (gesture.AnimLoopOption() == aoLoop)
        gesture.setAnimLoopFrame(loop + 1);
    gesture.setAudioLoopFrame(audio + 1);
    if (!result.isEmpty())
        gesture.setCurrentIndex(result.first());
    return result;
}

TFrameSelection MoveFramesTo(TZQGesture &gesture, const TFrameSelection &selection, int before)
{
    const int count = frameCount(gesture);
    const TFrameSelection moved = NormalizedSelection(selection, count);
    if (moved.isEmpty())
        return {};
    before = std::clamp(before, 0, count);
    QVector<int> order;
    for (int i = 0; i <= count; ++i) {
        if (i == before)
            order += moved;
        if (i < count && !std::binary_search(moved.begin(), moved.end(), i))
            order.append(i);
    }
    const int first = int(std::find(order.begin(), order.end(), moved.first()) - order.begin());
    if (order == FrameRange(0, count - 1))
        return moved; // already there: no change, no step
    return rearrange(gesture, order, FrameRange(first, first + int(moved.size()) - 1));
}

TFrameSelection MoveFramesToStart(TZQGesture &gesture, const TFrameSelection &selection)
{
    return MoveFramesTo(gesture, selection, 0);
}

TFrameSelection MoveFramesToEnd(TZQGesture &gesture, const TFrameSelection &selection)
{
    return MoveFramesTo(gesture, selection, frameCount(gesture));
}

TFrameSelection KeepOnlyFrames(TZQGesture &gesture, const TFrameSelection &selection)
{
    const int count = frameCount(gesture);
    const TFrameSelection kept = NormalizedSelection(selection, count);
    if (kept.isEmpty() || int(kept.size()) == count)
        return kept;
    return rearrange(gesture, kept, FrameRange(0, int(kept.size()) - 1));
}
