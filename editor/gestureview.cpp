#include "gestureview.h"

#include "gesture/zqgesture.h"
#include "platform/ui/application.h"
#include "waveplayer.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>

TGestureView::TGestureView(TZQGesture *gesture, QWidget *parent)
    : QWidget(parent), m_gesture(gesture), m_timer(new QTimer(this)), m_soundPlayer(new TWavePlayer(this))
{
    m_timer->setInterval(250);
    connect(m_timer, &QTimer::timeout, this, plumora::ui::guardedCallback([this] { Tick(); }));
    m_soundPlayer->setOptions({ wpoAsync });
    m_soundPlayer->setEnabled(true);
    if (!gesture)
        return;
    connect(gesture, &TZQGesture::edited, this, [this] {
        m_soundStale = true;
        update();
    });
    connect(gesture, &TZQGesture::OnFrameChange, this, qOverload<>(&QWidget::update));
    connect(gesture, &TZQGesture::playingChanged, this, [this](bool playing) {
        if (playing)
            m_timer->start();
        else
            m_timer->stop();
    });
    connect(gesture, &TZQGesture::framesRead, this, [this] {
        if (m_autoSize)
            fitToFrames(20, 20);
    });
    connect(gesture, &TZQGesture::readFinished, this, [this] {
        if (m_autoPlay && isEnabled())
            Play();
    });
}

// The timer and the player go with the view; the player stops a sound that
// is still playing.
TGestureView::~TGestureView() = default;

TZQGesture *TGestureView::Gesture() const
{
    return m_gesture;
}

void TGestureView::setAutoSize(bool value)
{
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    if (value)
        fitToFrames(4, 4);
}

void TGestureView::fitToFrames(int emptyWidth, int emptyHeight)
{
    const TFrameList *frames = m_gesture ? m_gesture->Frames() : nullptr;
    if (frames)
        resize(frames->Width() * m_zoom, frames->Height() * m_zoom);
    else
        resize(emptyWidth, emptyHeight);
    update();
}

void TGestureView::setZoom(int zoom)
{
    zoom = std::clamp(zoom, 1, 64);
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    update();
}

void TGestureView::Play()
{
    if (!m_gesture || !m_gesture->Frames() || !isEnabled())
        return;
    if (m_gesture->StartPlayback().playSound)
        playSound();
}

void TGestureView::Stop()
{
    if (m_gesture)
        m_gesture->StopPlayback();
    m_timer->stop();
    m_soundPlayer->Stop();
}

void TGestureView::Tick()
{
    if (!m_gesture) {
        m_timer->stop();
        return;
    }
    if (!isEnabled() || !m_gesture->Frames()) {
        m_gesture->StopPlayback();
        m_timer->stop();
        return;
    }
    if (m_gesture->StepPlayback().playSound)
        playSound();
    update();
}

void TGestureView::playSound()
{
    // The player holds its own copy of the bytes, taken again only after
    // the gesture changed: a sound may start every 250 ms.
    if (m_soundStale) {
        m_soundPlayer->Wave()->setData(m_gesture->AudioData());
        m_soundStale = false;
    }
    m_soundPlayer->setEnabled(true);
    m_soundPlayer->Play();
}

void TGestureView::paintEvent(QPaintEvent *)
{
    const TFrameList *frames = m_gesture ? m_gesture->Frames() : nullptr;
    if (!frames)
        return;
    const int index = m_gesture->CurrentIndex();
    if (index < 0 || index >= frames->Count())
        return;
    QPainter painter(this);
    // Without smoothing, a scaled picture takes the nearest pixel.
    painter.scale(m_zoom, m_zoom);
    frames->Draw(painter, QPoint(0, 0), index);
}
