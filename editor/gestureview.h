#pragma once
// TGestureView: the widget that shows a gesture document and plays it. It
// paints the current frame through its mask at its top-left corner, sizes
// itself to the frames when AutoSize is on, and drives playback: its timer
// steps the document's sequencer every 250 ms and its sound player plays the
// gesture's sound when the sequencer says so. A disabled view does not play.
// It may show the frames enlarged (Zoom).
// The mouse events reach whoever watches the widget; the view ignores them.
#include <QPointer>
#include <QWidget>

class QTimer;
class TWavePlayer;
class TZQGesture;

class TGestureView : public QWidget
{
    Q_OBJECT

public:
    // Shows gesture, which the caller owns and keeps at least as long as it
    // keeps the view (the view lets go of a gesture that goes first).
    explicit TGestureView(TZQGesture *gesture, QWidget *parent = nullptr);
    ~TGestureView() override;

    TZQGesture *Gesture() const;

    // Sized to the frames: when turned on (4 x 4 without frames), and after
    // every read (20 x 20 without frames). Turning it off changes nothing.
    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool value);
    // Each pixel of a frame is shown as zoom x zoom screen pixels (nearest
    // neighbour, so pixels stay sharp); sizing to the frames includes it.
    int Zoom() const { return m_zoom; }
    void setZoom(int zoom);
    // Starts playing after every read, when the view is enabled.
    bool AutoPlay() const { return m_autoPlay; }
    void setAutoPlay(bool value) { m_autoPlay = value; }

    // Plays from frame 1; does nothing without a frame list or while the
    // view is disabled.
    void Play();
    // Stops playing, and the sound with it.
    void Stop();
    // One playback step, as the timer runs it. Disabled, or without a frame
    // list, the view stops playing instead.
    void Tick();
    QTimer *PlaybackTimer() const { return m_timer; }
    TWavePlayer *SoundPlayer() const { return m_soundPlayer; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void fitToFrames(int emptyWidth, int emptyHeight);
    void playSound();

    QPointer<TZQGesture> m_gesture;
    QTimer *m_timer;
    TWavePlayer *m_soundPlayer;
    bool m_autoSize = true;
    int m_zoom = 1;
    bool m_autoPlay = false;
    bool m_soundStale = true; // the player's copy may differ from the gesture's sound
};
