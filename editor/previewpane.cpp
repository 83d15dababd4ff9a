#include "previewpane.h"

#include "gesture/zqgesture.h"
#include "gestureview.h"
#include "playbackcommand.h"
#include "platform/ui/application.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QRubberBand>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using plumora::ui::guardedCallback;

namespace {

void paintArea(QWidget *area, TColor colour)
{
    QPalette palette = area->palette();
    palette.setColor(QPalette::Window, toQColor(colour));
    area->setPalette(palette);
    area->update();
}

} // namespace

TPreviewPane::TPreviewPane(TZQGesture &gesture, QWidget *parent) : QWidget(parent), m_gesture(gesture)
{
    setObjectName(QStringLiteral("previewPane"));
    setProperty("helpContext", 1070);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(7, 7, 7, 7);

    gestureArea = new QFrame;
    gestureArea->setObjectName(QStringLiteral("gestureArea"));
    gestureArea->setFixedSize(256, 230);
    gestureArea->setAutoFillBackground(true);
    gestureArea->setFocusPolicy(Qt::StrongFocus);
    // The preview shows the test background from the start, so what its
    // swatch shows and what picking there gives is what the screen shows.
    paintArea(gestureArea, m_testBackground);
    gestureView = new TGestureView(&gesture, gestureArea);
    gestureView->setObjectName(QStringLiteral("gestureView"));
    gestureView->move(0, 0);
    gestureView->setMouseTracking(true);
    m_viewMouse = plumora::ui::guardedEventFilter(
        { gestureView }, [this](QObject *, QEvent *event) { return viewMouse(event); });
    layout->addWidget(gestureArea);

    frameSlider = new QSlider(Qt::Horizontal);
    frameSlider->setObjectName(QStringLiteral("frameSlider"));
    frameSlider->setRange(1, 1);
    frameSlider->setSingleStep(3);
    frameSlider->setPageStep(1);
    frameSlider->setTickPosition(QSlider::TicksBelow);
    frameSlider->setTickInterval(1);
    frameSlider->setAccessibleName(QStringLiteral("Frame"));
    frameSlider->setProperty("helpContext", 1080);
    playbackCommand = new TPlaybackCommand(gestureArea,
        { [this] { return m_gesture.Frames() && m_gesture.Frames()->Count() > 0; },
            [this] { return m_gesture.Playing(); }, [this] { gestureView->Play(); },
            [this] { gestureView->Stop(); } },
        this);
    auto *sliderRow = new QHBoxLayout;
    sliderRow->addWidget(frameSlider, 1);
    sliderRow->addWidget(playbackCommand->Button());
    layout->addLayout(sliderRow);

    frameLabel = new QLabel(QStringLiteral("Frame 1 of 1"));
    frameLabel->setObjectName(QStringLiteral("frameLabel"));
    frameLabel->setBuddy(frameSlider);
    layout->addWidget(frameLabel);
    layout->addStretch();

    // When the slider follows the gesture the frame is already the one
    // shown, and setting it again does nothing.
    connect(frameSlider, &QSlider::valueChanged, this, guardedCallback([this](int value) {
        if (m_gesture.Frames() && m_gesture.Frames()->Count() > 0)
            m_gesture.setCurrentIndex(value - 1);
    }));
    connect(&gesture, &TZQGesture::OnFrameChange, this, guardedCallback([this] { showCurrentFrame(); }));
    connect(&gesture, &TZQGesture::framesChanged, this, guardedCallback([this] {
        showCurrentFrame();
        fitViewToFrames();
        playbackCommand->Refresh();
    }));
    connect(&gesture, &TZQGesture::framesRead, this, guardedCallback([this] { fitViewToFrames(); }));
    connect(&gesture, &TZQGesture::playingChanged, playbackCommand, &TPlaybackCommand::Refresh);
}

TPreviewPane::~TPreviewPane()
{
    m_viewMouse.reset();
}

void TPreviewPane::setTestBackground(TColor colour)
{
    m_testBackground = colour;
    paintArea(gestureArea, colour);
}

void TPreviewPane::showCurrentFrame()
{
    const int count = m_gesture.Frames() ? m_gesture.Frames()->Count() : 0;
    // An empty or absent list still shows position 1 of 1.
    frameSlider->setMaximum(std::max(1, count));
    frameSlider->setValue(std::clamp(m_gesture.CurrentIndex() + 1, 1, frameSlider->maximum()));
    frameLabel->setText(QString::asprintf("Frame %d of %d", frameSlider->value(), frameSlider->maximum()));
}

void TPreviewPane::fitViewToFrames()
{
    if (const TFrameList *frames = m_gesture.Frames())
        gestureView->resize(frames->Width(), frames->Height());
    const double left = gestureArea->width() / 2.0 - gestureView->width() / 2.0;
    const double top = gestureArea->height() / 2.0 - gestureView->height() / 2.0;
    gestureView->move(int(left), int(top));
}

TColor TPreviewPane::ColorShownAt(QPoint point) const
{
    const TFrameList *frames = m_gesture.Frames();
    const int index = int(m_gesture.CurrentFrame()) - 1;
    if (frames && index >= 0 && index < frames->Count() && point.x() >= 0 && point.y() >= 0
        && point.x() < frames->Width() && point.y() < frames->Height()
        && !frames->IsTransparent(index, point.x(), point.y()))
        return fromQRgb(frames->Picture(index).pixel(point));
    return m_testBackground;
}

bool TPreviewPane::viewMouse(QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QPoint at = mouse->position().toPoint();
    if (type == QEvent::MouseButtonPress) {
        m_dragRect = QRect(at, at);
        if (mouse->button() == Qt::LeftButton)
            emit viewClicked(at);
        return false;
    }
    if (type == QEvent::MouseMove) {
        if (!(mouse->buttons() & Qt::LeftButton))
            return false;
        // The rubber band is only visual: nothing else uses the rectangle.
        if (!m_rubberBand)
            m_rubberBand = new QRubberBand(QRubberBand::Rectangle, gestureView);
        m_dragRect.setBottomRight(at);
        m_rubberBand->setGeometry(m_dragRect.normalized());
        m_rubberBand->show();
        m_dragging = true;
        return false;
    }
    if (m_dragging) {
        m_rubberBand->hide();
        m_dragging = false;
    }
    return false;
}
