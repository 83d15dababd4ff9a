#include "previewpane.h"

#include "gesture/zqgesture.h"
#include "gestureview.h"
#include "platform/ui/application.h"
#include "playbackcommand.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QRubberBand>
#include <QScrollArea>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <iterator>

using plumora::ui::guardedCallback;

namespace {

// The zoom box's levels: fit, then the factors.
constexpr int kZoomFactors[] = { 1, 2, 4, 8 };

void paintArea(QWidget *area, TColor colour)
{
    QPalette palette = area->palette();
    palette.setColor(QPalette::Window, toQColor(colour));
    palette.setColor(QPalette::Base, toQColor(colour));
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

    gestureArea = new QScrollArea;
    gestureArea->setObjectName(QStringLiteral("gestureArea"));
    gestureArea->setMinimumSize(256, 230);
    gestureArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    gestureArea->setAlignment(Qt::AlignCenter);
    gestureArea->setAutoFillBackground(true);
    gestureArea->setFocusPolicy(Qt::StrongFocus);
    gestureArea->setFrameShape(QFrame::NoFrame);
    // The preview shows the test background from the start, so what its
    // swatch shows and what picking there gives is what the screen shows.
    paintArea(gestureArea, m_testBackground);
    gestureView = new TGestureView(&gesture);
    gestureView->setObjectName(QStringLiteral("gestureView"));
    gestureView->setMouseTracking(true);
    gestureArea->setWidget(gestureView);
    m_viewMouse = plumora::ui::guardedEventFilter(
        { gestureView }, [this](QObject *, QEvent *event) { return viewMouse(event); });
    m_areaEvents = plumora::ui::guardedEventFilter({ gestureArea->viewport(), gestureView },
        [this](QObject *, QEvent *event) { return areaEvent(event); });
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
    zoomBox = new QComboBox;
    zoomBox->setObjectName(QStringLiteral("zoomBox"));
    zoomBox->setAccessibleName(QStringLiteral("Zoom"));
    zoomBox->setToolTip(QStringLiteral("Zoom (Ctrl+wheel, Ctrl++, Ctrl+-)"));
    zoomBox->addItem(QStringLiteral("Fit"));
    for (const int factor : kZoomFactors)
        zoomBox->addItem(QStringLiteral("%1\u00D7").arg(factor));
    auto *labelRow = new QHBoxLayout;
    labelRow->addWidget(frameLabel, 1);
    labelRow->addWidget(zoomBox);
    layout->addLayout(labelRow);
    connect(zoomBox, &QComboBox::currentIndexChanged, this,
        guardedCallback([this](int level) { setZoomLevel(level); }));

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
    fitViewToFrames();
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
    const int factor = ZoomFactor();
    const bool changed = factor != gestureView->Zoom();
    gestureView->setZoom(factor);
    if (changed)
        emit zoomChanged(factor);
    // The scroll area keeps the view centred while it is smaller.
    if (const TFrameList *frames = m_gesture.Frames())
        gestureView->resize(frames->Width() * factor, frames->Height() * factor);
}

int TPreviewPane::ZoomFactor() const
{
    if (m_zoomLevel > 0)
        return kZoomFactors[m_zoomLevel - 1];
    const TFrameList *frames = m_gesture.Frames();
    if (!frames || frames->Width() <= 0 || frames->Height() <= 0)
        return 1;
    // The largest whole factor that shows the frames whole, so every pixel
    // stays a square of equal size.
    const QSize room = gestureArea->maximumViewportSize();
    const int factor = std::min(room.width() / frames->Width(), room.height() / frames->Height());
    return std::clamp(factor, 1, kZoomFactors[std::size(kZoomFactors) - 1]);
}

void TPreviewPane::setZoomLevel(int level)
{
    level = std::clamp(level, 0, int(std::size(kZoomFactors)));
    m_zoomLevel = level;
    if (zoomBox->currentIndex() != level)
        zoomBox->setCurrentIndex(level);
    fitViewToFrames();
}

void TPreviewPane::ZoomIn()
{
    const int factor = ZoomFactor();
    for (int level = 1; level <= int(std::size(kZoomFactors)); ++level)
        if (kZoomFactors[level - 1] > factor)
            return setZoomLevel(level);
}

void TPreviewPane::ZoomOut()
{
    const int factor = ZoomFactor();
    for (int level = int(std::size(kZoomFactors)); level >= 1; --level)
        if (kZoomFactors[level - 1] < factor)
            return setZoomLevel(level);
}

// Ctrl with the wheel zooms; a fitted preview follows the area's size.
bool TPreviewPane::areaEvent(QEvent *event)
{
    if (event->type() == QEvent::Wheel) {
        const auto *wheel = static_cast<QWheelEvent *>(event);
        if (!(wheel->modifiers() & Qt::ControlModifier))
            return false;
        const int delta = wheel->angleDelta().y();
        if (delta > 0)
            ZoomIn();
        else if (delta < 0)
            ZoomOut();
        return true;
    }
    if (event->type() == QEvent::Resize && m_zoomLevel == 0)
        fitViewToFrames();
    return false;
}

TColor TPreviewPane::ColorShownAt(QPoint point) const
{
    const TFrameList *frames = m_gesture.Frames();
    const int index = m_gesture.CurrentIndex();
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
            emit viewClicked(QPoint(at.x() / gestureView->Zoom(), at.y() / gestureView->Zoom()));
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
