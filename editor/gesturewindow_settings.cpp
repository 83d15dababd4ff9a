// The Settings page's colour work and the sound: picking the transparent
// colour from the preview with the colour-sample cursor, the test
// background, the rubber band on the gesture, and loading and saving the
// sound. Also connects the Files page's Load and Save buttons.
#include "gesturewindow.h"

#include "filedialogs.h"
#include "gesture/zqgesture.h"
#include "gesturehost.h"
#include "platform/plumorakeys.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"

#include <QColorDialog>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRubberBand>
#include <QTabWidget>
#include <QToolButton>

namespace {

using plumora::ui::crColorSample;
using plumora::ui::crDefault;

bool pickMode()
{
    return plumora::ui::screenCursor() == crColorSample;
}

// Routes the mouse events of the window's panels, the gesture and the
// background swatch to the window's handlers.
class MouseRouter : public QObject
{
public:
    explicit MouseRouter(TfrmGestureWindow *window) : QObject(window), m_window(window) { }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        TfrmGestureWindow *w = m_window;
        const QEvent::Type type = event->type();
        if (watched == w->ZQGesture1) {
            if (type == QEvent::MouseButtonPress)
                w->ZQGesture1MouseDown(static_cast<QMouseEvent *>(event));
            else if (type == QEvent::MouseMove)
                w->ZQGesture1MouseMove(static_cast<QMouseEvent *>(event));
            else if (type == QEvent::MouseButtonRelease)
                w->ZQGesture1MouseUp(static_cast<QMouseEvent *>(event));
            return false;
        }
        if (watched == w->pnlColorSelect) {
            if (type == QEvent::MouseButtonPress
                && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
                w->pnlColorSelectClick();
                return true;
            }
            if (type == QEvent::KeyPress) {
                const int key = static_cast<QKeyEvent *>(event)->key();
                if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
                    w->pnlColorSelectClick();
                    return true;
                }
            }
            return false;
        }
        if (watched == w->sbnSelectTransparent && type == QEvent::MouseButtonPress) {
            w->sbnSelectTransparentMouseDown();
            return false;
        }
        if (type == QEvent::MouseMove)
            w->FormMouseMove();
        else if (type == QEvent::MouseButtonPress && watched == w)
            w->FormMouseDown();
        return false;
    }

private:
    TfrmGestureWindow *m_window;
};

} // namespace

void TfrmGestureWindow::connectSettingsHandlers()
{
    auto *router = new MouseRouter(this);
    m_mouseRouter = router;
    ZQGesture1->setMouseTracking(true);
    ZQGesture1->installEventFilter(router);
    pnlColorSelect->installEventFilter(router);
    installEventFilter(router);
    for (QWidget *panel : std::initializer_list<QWidget *> {
             PageControl1, tabSettings, gboxAnimOption, gbxAudioOptions, Panel2, sbnSelectTransparent }) {
        panel->setMouseTracking(true);
        panel->installEventFilter(router);
    }
    connect(btnSelectButtonImage, &QPushButton::clicked, this, [this] { btnSelectButtonImageClick(); });
    connect(btnSaveButtonImage, &QPushButton::clicked, this, [this] { btnSaveButtonImageClick(); });
    connect(btnSelectAnimation, &QPushButton::clicked, this, [this] { btnSelectAnimationClick(); });
    connect(btnSaveAnimation, &QPushButton::clicked, this, [this] { btnSaveAnimationClick(); });
    connect(btnSelectAudio, &QPushButton::clicked, this, [this] { btnSelectAudioClick(); });
    connect(btnSaveAudio, &QPushButton::clicked, this, [this] { btnSaveAudioClick(); });
}

void TfrmGestureWindow::sbnSelectTransparentMouseDown()
{
    // Runs on the press, before the button changes state.
    plumora::ui::setScreenCursor(sbnSelectTransparent->isChecked() ? crDefault : crColorSample);
}

void TfrmGestureWindow::FormMouseMove()
{
    // The cursor follows the Pick button when other work changed it.
    const bool down = sbnSelectTransparent->isChecked();
    if (down && !pickMode())
        plumora::ui::setScreenCursor(crColorSample);
    else if (!down && pickMode())
        plumora::ui::setScreenCursor(crDefault);
}

void TfrmGestureWindow::FormMouseDown()
{
    if (!pickMode())
        return;
    plumora::ui::setScreenCursor(crDefault);
    sbnSelectTransparent->setChecked(false);
}

TColor TfrmGestureWindow::ColorShownAt(QPoint point) const
{
    // What the screen shows there: the frame's pixel, or the preview's
    // background where the frame is transparent or does not reach.
    const TFrameList *frames = ZQGesture1->Frames();
    const int index = int(ZQGesture1->CurrentFrame()) - 1;
    if (frames && index >= 0 && index < frames->Count() && point.x() >= 0 && point.y() >= 0
        && point.x() < frames->Width() && point.y() < frames->Height()
        && !frames->IsTransparent(index, point.x(), point.y()))
        return fromQRgb(frames->Picture(index).pixel(point));
    return TestBackground();
}

void TfrmGestureWindow::ZQGesture1MouseDown(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    DragRect = QRect(at, at);
    if (!pickMode())
        return;
    if (PageControl1->currentWidget() == tabSettings) {
        sbnSelectTransparent->setChecked(false);
        plumora::ui::setScreenCursor(crDefault);
        Panel4->update();
        const TColor colour = ColorShownAt(at);
        noteChange(colour != ZQGesture1->TransparentColor());
        ZQGesture1->setTransparentColor(colour);
        setTransColor(ZQGesture1->TransparentColor());
        UpdateFileCommands();
    } else if (event->buttons() & Qt::LeftButton) {
        Dragging = 1;
        ZQGesture1->grabMouse();
    }
}

void TfrmGestureWindow::ZQGesture1MouseMove(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    // The rubber band is only visual: nothing else uses the rectangle.
    if (!m_rubberBand)
        m_rubberBand = new QRubberBand(QRubberBand::Rectangle, ZQGesture1);
    const QPoint at = event->position().toPoint();
    DragRect.setRight(at.x());
    DragRect.setBottom(at.y());
    m_rubberBand->setGeometry(DragRect.normalized());
    m_rubberBand->show();
    Dragging = 1;
}

void TfrmGestureWindow::ZQGesture1MouseUp(QMouseEvent *)
{
    if (Dragging != 1)
        return;
    if (m_rubberBand)
        m_rubberBand->hide();
    ZQGesture1->releaseMouse();
    Dragging = 0;
}

void TfrmGestureWindow::pnlColorSelectClick()
{
    ColorDialog1->setCurrentColor(toQColor(TestBackground()));
    if (plumora::ui::execDialog(*ColorDialog1) != QDialog::Accepted)
        return;
    setTestBackground(fromQColor(ColorDialog1->currentColor()));
}

void TfrmGestureWindow::btnSelectAudioClick()
{
    OpenDialog1->selectNameFilter(OpenDialog1->nameFilters().value(0));
    const QString path = RunFileDialog(*OpenDialog1, m_host ? m_host->Keys().AudioOpenDir() : QString());
    if (path.isEmpty())
        return;
    if (m_host)
        m_host->Keys().setAudioOpenDir(FolderOf(path));
    try {
        // Any readable file is taken as the sound, byte for byte.
        ZQGesture1->LoadAudioFromFile(path);
        setPanel(pnlAudioFile, PanelState::Path, path);
        btnSaveAudio->setEnabled(true);
        UnsavedChanges = true;
        ZQGesture1->UpdateSizes();
        UpdateFileCommands();
        update();
    } catch (const std::exception &) {
        // Swallowed on purpose: a sound that cannot be read changes nothing.
    }
}

void TfrmGestureWindow::btnSaveAudioClick()
{
    const QString path
        = RunFileDialog(*SaveDialog1, m_host ? m_host->Keys().AudioSaveDir() : QString(), true);
    if (path.isEmpty())
        return;
    if (m_host)
        m_host->Keys().setAudioSaveDir(FolderOf(path));
    ZQGesture1->SaveAudioToFile(path);
}
