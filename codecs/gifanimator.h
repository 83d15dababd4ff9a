#pragma once
// TRxGIFAnimator: owns a GIF image and composes its frames on the logical
// screen the way a GIF viewer shows them (frame positions, disposal methods,
// transparency), handing each composed frame out as a bitmap at the
// control's size. It is used off screen, so it is a plain object rather
// than a widget: it has a size and a colour but no window.
//
// Composition of frame k: the screen is filled with the fill colour, then
// every earlier frame j leaves behind what its disposal method says (0 and 1:
// the frame stays drawn; 2: its rectangle is filled with the fill colour;
// 3 and the undefined methods 4..7: nothing, the earlier state shows), and
// frame k is drawn on top. Frames are drawn at (Left, Top) at their own size,
// clipped to the screen, with pixels of their transparent colour left out.
// Work starts at the latest earlier frame with disposal 2 that covers the
// whole screen, since everything before it is wiped.
//
// Handing out every frame in order costs one frame draw each: the composed
// state is kept between calls, so GetFrameBitmap(k) right after
// GetFrameBitmap(k - 1) (or k again) continues from it. Any other order, or
// a change of the image, starts again from the start frame. GetFrameBitmap
// composes only the screen pixels its client area samples, so showing a huge
// logical screen small never allocates the whole screen. The *FromScratch
// variants compose the whole screen from the start frame with no kept state;
// they give the same pixels and exist to check the fast path and measure it.
#include "codecs/gifimage.h"
#include "platform/bitmap.h"
#include "platform/colors.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The colour of a window's background, used where neither the frame nor the
// image gives a colour to fill with.
inline constexpr TColor kAnimatorWindowColor = clWhite;

class TRxGIFAnimator
{
public:
    TRxGIFAnimator();
    ~TRxGIFAnimator();
    TRxGIFAnimator(const TRxGIFAnimator &) = delete;
    TRxGIFAnimator &operator=(const TRxGIFAnimator &) = delete;

    // The owned image. The control hooks the image's change notification
    // (OnChange); callers must not replace that hook. After changing frames
    // in place without a notification, call Invalidate().
    TGIFImage &Image() { return *m_image; }
    const TGIFImage &Image() const { return *m_image; }
    // Copies the given image into the owned one.
    void setImage(TGIFImage &source);

    bool Stretch() const { return m_stretch; }
    // Placement and colour are applied as each bitmap is painted; the kept
    // composition is keyed on the pixels sampled, so these need no invalidation.
    void setStretch(bool on) { m_stretch = on; }
    bool Center() const { return m_center; }
    void setCenter(bool on) { m_center = on; }
    // Leave the key colour of the composition out when stretching, so the
    // control's colour shows through; also marks ComposeFrame's result.
    bool Transparent() const { return m_transparent; }
    void setTransparent(bool on) { m_transparent = on; }
    // Follow the image's logical screen size on every image change.
    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool on);
    bool Animate() const { return m_animate; }
    void setAnimate(bool on);
    bool Loop() const { return m_loop; }
    void setLoop(bool on) { m_loop = on; }

    // The frame shown by the control (not the image's own FrameIndex).
    int FrameIndex() const { return m_frameIndex; }
    void setFrameIndex(int index);

    // Bounds, in pixels; the client area is Width x Height.
    int Left() const { return m_left; }
    int Top() const { return m_top; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void setBounds(int left, int top, int width, int height);
    void setWidth(int width) { setBounds(m_left, m_top, width, m_height); }
    void setHeight(int height) { setBounds(m_left, m_top, m_width, height); }

    // The control's own colour, shown where the composition is left out.
    TColor Color() const { return m_color; }
    void setColor(TColor color) { m_color = color; }

    // Display time of the control's current frame in milliseconds: at least
    // 1 when the image has two frames or more and FrameIndex is valid, else
    // 0 (the animation stands still).
    int FrameInterval() const;
    // The animation timer's interval (1000 ms until a frame sets it).
    int Interval() const { return m_interval; }
    // One animation step, as the timer would make it: advances FrameIndex
    // (wrapping to 0), and switches Animate off after a wrap when Loop is
    // off. Does nothing unless animating with two frames or more.
    void Tick();

    // Drops the kept composition; the next frame is composed afresh.
    void Invalidate();

    // Frame k composed on a ScreenWidth x ScreenHeight true-colour bitmap;
    // k is limited to the last frame. Marked transparent with the fill
    // colour when that is a frame's transparent colour and Transparent is
    // on. Empty for an empty image.
    TBitmap ComposeFrame(int k);
    TBitmap ComposeFrameFromScratch(int k);

    // A new plain bitmap of the control's client size showing frame k as
    // the control paints it: with Stretch, the whole screen scaled to the
    // client area (nearest pixel). Empty for an empty image.
    TBitmap GetFrameBitmap(int k);
    TBitmap GetFrameBitmapFromScratch(int k);

    std::function<void()> OnChange;
    std::function<void()> OnFrameChanged;
    std::function<void()> OnStart;
    std::function<void()> OnStop;

private:
    // The screen pixels a composition is made of: columns xs and rows ys,
    // each strictly increasing. The whole screen for ComposeFrame; for
    // GetFrameBitmap only the pixels the client area samples, so a huge
    // logical screen shown small never needs a canvas of its full size.
    struct SampleGrid
    {
        std::vector<int> xs, ys;
        bool operator==(const SampleGrid &) const = default;
    };
    // Where the composition lands in the client area: the client rectangle
    // it covers and, for each of its columns and rows, the screen column or
    // row shown there.
    struct Placement
    {
        int left = 0, top = 0;
        std::vector<int> columns, rows;
    };
    // What the kept composition was made from.
    struct KeptKey
    {
        std::uint64_t generation = 0;
        const void *header = nullptr;
        int frameCount = 0;
        int screenWidth = 0;
        int screenHeight = 0;
        TColor fill = clNone;
        bool operator==(const KeptKey &) const = default;
    };

    void imageChanged();
    void applyAutoSize();
    bool canCompose();
    TColor fillColor();
    bool imageTransparent();
    TColor keyColor();
    int clampIndex(int k) const;
    int startFrame(int k);
    bool coversScreen(TGIFFrame &frame);
    KeptKey keyNow();
    SampleGrid wholeScreen() const;
    Placement placement() const;
    // How a frame bitmap samples the screen: the placement, the distinct
    // screen columns and rows it shows (the grid to compose), and for each
    // client column and row the grid index it shows. Kept while the sizes
    // and the placement options stay the same, since every frame of an
    // import asks for the same.
    struct Sampling
    {
        Placement place;
        SampleGrid grid;
        std::vector<int> columnIndex, rowIndex;
    };
    struct SamplingKey
    {
        int width = -1, height = -1, screenWidth = -1, screenHeight = -1;
        bool stretch = false, center = false;
        bool operator==(const SamplingKey &) const = default;
    };
    // The sampling for a frame bitmap, or null when there is no frame to
    // compose; refuses a control too large to paint.
    const Sampling *frameSampling();

    // Frame k composed on the kept canvas over the given grid, continuing
    // from the frame composed last when k is that frame or the next.
    const QImage &composeKept(int k, const SampleGrid &grid);
    // Frame k composed on a new canvas of the whole screen, from the start
    // frame, as plainly as possible.
    QImage composeFromScratch(int k);

    TBitmap composedBitmap(const QImage &composed);
    TBitmap paint(const QImage &composed, const Placement &place, const std::vector<int> &columnIndex,
        const std::vector<int> &rowIndex);

    std::unique_ptr<TGIFImage> m_image;
    bool m_stretch = false;
    bool m_center = false;
    bool m_transparent = true;
    bool m_autoSize = true;
    bool m_animate = false;
    bool m_loop = true;
    int m_frameIndex = -1;
    int m_left = 0;
    int m_top = 0;
    int m_width = 105;
    int m_height = 105;
    TColor m_color = kAnimatorWindowColor;
    int m_interval = 1000;

    // The kept composition: m_work shows frame m_shownFrame composed over
    // m_grid; that frame's disposal is applied when the next frame is asked
    // for. m_saved holds what the shown frame covers, at m_savedLeft,
    // m_savedTop on the canvas, when its disposal restores it.
    QImage m_work;
    SampleGrid m_grid;
    QImage m_saved;
    int m_savedLeft = 0;
    int m_savedTop = 0;
    int m_shownFrame = -1;
    KeptKey m_kept;
    std::uint64_t m_generation = 0;

    // The image's Transparent query looks at every frame; composing each
    // frame of a long animation asks it once, so the answer is kept for as
    // long as the image is unchanged (same key as the composition).
    struct TransparencyKey
    {
        std::uint64_t generation = 0;
        const void *header = nullptr;
        int frameCount = -1;
        bool flag = false;
        bool operator==(const TransparencyKey &) const = default;
    };
    TransparencyKey m_transparencyKey;
    bool m_imageTransparent = false;

    Sampling m_sampling;
    SamplingKey m_samplingKey;
};
