#pragma once
// The animation's frames: full-colour pictures of one width and height, each
// with a one-bit mask that marks its transparent pixels.
//
// A frame keeps its pixels exactly as added and remembers the colour its mask
// was built from, so the mask is the set of pixels of that colour. Copying a
// frame out with the old mask colour as background and adding it again with
// a new mask colour therefore leaves every pixel as it was.
//
// Frames added from a strip share the strip's pixels: a gesture read from a
// file keeps its strip once, and each frame becomes a picture of its own only
// when it is asked for one.
#include "platform/colors.h"

#include <QImage>
#include <QPoint>
#include <QVector>

#include <cstdint>
#include <memory>

class QPainter;

class TFrameList
{
public:
    TFrameList(int width, int height);

    int Count() const { return int(m_frames.size()); }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // Adds a picture as the last frame; pixels of maskColor become
    // transparent (clNone marks nothing). A picture of another size is drawn
    // at the top-left of a black frame-size picture.
    void Add(const QImage &picture, TColor maskColor);
    // Adds count frames cut from a strip of frame height, left to right:
    // frame k is the columns from k x Width(); columns beyond are not used.
    // A strip of another height, or too narrow for count frames, throws.
    void AddStrip(const QImage &strip, int count, TColor maskColor);
    // Inserts before the frame at index (index == Count appends); an index
    // beyond the count throws.
    void Insert(int index, const QImage &picture, TColor maskColor);
    void Delete(int index);
    void Clear();
    void Move(int from, int to);
    // The list becomes the frames at the given indices, in that order; an
    // index may repeat (a duplicate shares its pixels). An index out of
    // range throws and leaves the list as it was.
    void Rearrange(const QVector<int> &order);
    // Inserts several pictures before index, as Insert does each.
    void InsertMany(int index, const QVector<QImage> &pictures, TColor maskColor);

    // Calls block(key, bytes) for each frame's pixel buffer: frames that
    // share a buffer (cut from one strip, duplicated, kept by a copy) give
    // the same key, so a caller can count the distinct bytes held.
    template <typename F> void ForEachPixelBuffer(F &&block) const
    {
        for (const Frame &f : m_frames) {
            if (f.strip)
                block(static_cast<const void *>(f.strip.get()), qint64(f.strip->sizeInBytes()));
            else
                block(static_cast<const void *>(f.picture.constBits()), qint64(f.picture.sizeInBytes()));
        }
    }

    // Gives every frame the mask colour maskColor, after repainting its
    // transparent pixels in background as CopyFrame does (clNone repaints
    // nothing). A frame that neither is repainted nor changes its mask colour
    // is left as it is.
    void Remask(TColor background, TColor maskColor);

    // The frame as an opaque RGB32 picture of frame size, its transparent
    // pixels drawn in background (clNone leaves the stored pixels).
    QImage CopyFrame(int index, TColor background) const;
    // Draws the frame at a point; its transparent pixels are left out.
    void Draw(QPainter &canvas, QPoint at, int index) const;
    // All frames side by side with their stored pixels, Count() x Width()
    // wide (null when that is empty or there is no memory for it); with a
    // background, the transparent pixels drawn in it as CopyFrame does.
    QImage Strip(TColor background = clNone) const;

    // The stored pixels (RGB32, frame size), the mask colour, and whether a
    // pixel is transparent.
    const QImage &Picture(int index) const { return pictureOf(frame(index)); }
    TColor MaskColor(int index) const { return frame(index).maskColor; }
    bool IsTransparent(int index, int x, int y) const;

    // A copy that shares every frame's pixels with this list but none of
    // the drawing caches, so that a copy kept for later holds no more than
    // the frames themselves. It keeps this list's Generation.
    TFrameList SharedCopy() const;

    // A value that changes with every edit of the list. Two lists with the
    // same value hold the same frames: a copy keeps the value of its source
    // until one of them is edited.
    std::uint64_t Generation() const { return m_generation; }

private:
    struct Frame
    {
        // The pixels (RGB32, frame size); made from the shared strip, at
        // column x, when first asked for.
        mutable QImage picture;
        std::shared_ptr<const QImage> strip;
        int x = 0;
        TColor maskColor = clNone; // clNone for no mask
        mutable QImage masked; // ARGB32 premultiplied, built on first draw
    };
    const Frame &frame(int index) const;
    Frame makeFrame(const QImage &picture, TColor maskColor) const;
    const QImage &pictureOf(const Frame &f) const;
    // The frame's pixels with its transparent pixels in background.
    QImage repainted(const Frame &f, TColor background) const;
    void edited();

    int m_width;
    int m_height;
    QVector<Frame> m_frames;
    std::uint64_t m_generation = 0;
};
