#pragma once
// TPreviewPane: the gesture window's preview: the gesture view centred on
// the test background, the frame slider with the Play/Stop button beside it,
// and the "Frame n of m" label. The slider and the label follow the
// gesture's frames and current frame; moving the slider shows another frame.
// Dragging on the view shows a rubber band (only visual); a click on it is
// reported, for picking a colour. The preview zooms: to fit its area (the
// largest whole factor), or 1x, 2x, 4x, 8x, from its zoom box, Ctrl+wheel
// or ZoomIn/ZoomOut; it scrolls when the frames are larger than the area.
#include "platform/colors.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QFrame;
class QLabel;
class QScrollArea;
class QRubberBand;
class QSlider;
class TGestureView;
class TPlaybackCommand;
class TZQGesture;

class TPreviewPane : public QWidget
{
    Q_OBJECT

public:
    explicit TPreviewPane(TZQGesture &gesture, QWidget *parent = nullptr);
    ~TPreviewPane() override;

    TGestureView *View() const { return gestureView; }
    // The framed area around the view: it takes the focus for the frame keys
    // and holds the pop-up menu.
    QScrollArea *Area() const { return gestureArea; }
    QSlider *Slider() const { return frameSlider; }
    QComboBox *ZoomBox() const { return zoomBox; }
    TPlaybackCommand *Playback() const { return playbackCommand; }

    void setTestBackground(TColor colour);
    // The colour the screen shows at a pixel of the frame: the frame's pixel,
    // or the test background where the frame is transparent or absent.
    TColor ColorShownAt(QPoint point) const;

    // Zoom levels: 0 fits the frames to the area, else a factor 1, 2, 4, 8.
    int ZoomLevel() const { return m_zoomLevel; }
    void setZoomLevel(int level);
    // The factor the view shows now (fit resolved).
    int ZoomFactor() const;
    void ZoomIn();
    void ZoomOut();

signals:
    // The zoom factor shown changed.
    void zoomChanged(int factor);

    // The view was clicked with the left button on a pixel of the frame.
    void viewClicked(QPoint at);

private:
    void showCurrentFrame();
    void fitViewToFrames();
    bool viewMouse(QEvent *event);
    bool areaEvent(QEvent *event);

    TZQGesture &m_gesture;
    TColor m_testBackground = 0x00808080;
    QScrollArea *gestureArea = nullptr;
    QComboBox *zoomBox = nullptr;
    int m_zoomLevel = 0;
    TGestureView *gestureView = nullptr;
    QSlider *frameSlider = nullptr;
    QLabel *frameLabel = nullptr;
    TPlaybackCommand *playbackCommand = nullptr;
    QRubberBand *m_rubberBand = nullptr;
    QRect m_dragRect;
    bool m_dragging = false;
    std::unique_ptr<QObject> m_viewMouse; // the view's mouse events
    std::unique_ptr<QObject> m_areaEvents; // Ctrl+wheel and resizing
};
