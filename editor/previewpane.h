#pragma once
// TPreviewPane: the gesture window's preview: the gesture view centred on
// the test background, the frame slider with the Play/Stop button beside it,
// and the "Frame n of m" label. The slider and the label follow the
// gesture's frames and current frame; moving the slider shows another frame.
// Dragging on the view shows a rubber band (only visual); a click on it is
// reported, for picking a colour.
#include "platform/colors.h"

#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
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
    QFrame *Area() const { return gestureArea; }
    QSlider *Slider() const { return frameSlider; }
    TPlaybackCommand *Playback() const { return playbackCommand; }

    void setTestBackground(TColor colour);
    // The colour the screen shows at a point of the view: the frame's pixel,
    // or the test background where the frame is transparent or absent.
    TColor ColorShownAt(QPoint point) const;

signals:
    // The view was clicked with the left button at a point of its own.
    void viewClicked(QPoint at);

private:
    void showCurrentFrame();
    void fitViewToFrames();
    bool viewMouse(QEvent *event);

    TZQGesture &m_gesture;
    TColor m_testBackground = 0x00808080;
    QFrame *gestureArea = nullptr;
    TGestureView *gestureView = nullptr;
    QSlider *frameSlider = nullptr;
    QLabel *frameLabel = nullptr;
    TPlaybackCommand *playbackCommand = nullptr;
    QRubberBand *m_rubberBand = nullptr;
    QRect m_dragRect;
    bool m_dragging = false;
    std::unique_ptr<QObject> m_viewMouse; // the view's mouse events
};
