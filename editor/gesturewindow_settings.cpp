// The Settings page's colour work and the sound: picking the transparent
// colour from the preview with the colour-sample cursor, the test
// background, the rubber band on the gesture, and loading and saving the
// sound. Also connects the Files page's Load and Save buttons.
#include "gesturewindow.h"

#include "filedialogs.h"
#include "gesture/zqgesture.h"
#include "gestureview.h"
#include "gesturehost.h"
#include "platform/plumorakeys.h"
#include "platform/ui/cursors.h"
#include "platform/ui/application.h"
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

using plumora::ui::guardedCallback;

namespace {

using plumora::ui::crColorSample;
using plumora::ui::crDefault;

bool pickMode()
{
    return plumora::ui::screenCursor() == crColorSample;
}

} // namespace

// Routes the mouse events of the window's panels, the gesture and the
// background swatch to the window's handlers.
class TfrmGestureWindow::MouseRouter : public QObject
{
public:
    explicit MouseRouter(TfrmGestureWindow *window) : QObject(window), m_window(window) { }

protected:
    // The handlers run guarded: an error is shown and the event goes on.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        bool consumed = false;
        plumora::ui::guarded([&] { consumed = route(watched, event); });
        return consumed;
    }

private:
    bool route(QObject *watched, QEvent *event)
    {
        TfrmGestureWindow *w = m_window;
        const QEvent::Type type = event->type();
        if (watched == w->gestureView) {
            if (type == QEvent::MouseButtonPress)
                w->onGestureMousePressed(static_cast<QMouseEvent *>(event));
            else if (type == QEvent::MouseMove)
                w->onGestureMouseMoved(static_cast<QMouseEvent *>(event));
            else if (type == QEvent::MouseButtonRelease)
                w->onGestureMouseReleased(static_cast<QMouseEvent *>(event));
            return false;
        }
        if (watched == w->testBackgroundSwatch) {
            if (type == QEvent::MouseButtonPress
                && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
                w->chooseTestBackground();
                return true;
            }
            if (type == QEvent::KeyPress) {
                const int key = static_cast<QKeyEvent *>(event)->key();
                if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
                    w->chooseTestBackground();
                    return true;
                }
            }
            return false;
        }
        if (watched == w->pickTransparentButton && type == QEvent::MouseButtonPress) {
            w->onPickButtonPressed();
            return false;
        }
        if (type == QEvent::MouseMove)
            w->onWindowMouseMoved();
        else if (type == QEvent::MouseButtonPress && watched == w)
            w->onWindowMousePressed();
        return false;
    }

    TfrmGestureWindow *m_window;
};

void TfrmGestureWindow::connectSettingsHandlers()
{
    auto *router = new MouseRouter(this);
    m_mouseRouter = router;
    gestureView->setMouseTracking(true);
    gestureView->installEventFilter(router);
    testBackgroundSwatch->installEventFilter(router);
    installEventFilter(router);
    for (QWidget *panel : std::initializer_list<QWidget *> { pageTabs, settingsPage, animationOptionsGroup,
             audioOptionsGroup, previewButtonPanel, pickTransparentButton }) {
        panel->setMouseTracking(true);
        panel->installEventFilter(router);
    }
    connect(
        buttonImageLoadButton, &QPushButton::clicked, this, guardedCallback([this] { loadButtonImage(); }));
    connect(
        buttonImageSaveButton, &QPushButton::clicked, this, guardedCallback([this] { saveButtonImage(); }));
    connect(animationLoadButton, &QPushButton::clicked, this, guardedCallback([this] { loadAnimation(); }));
    connect(animationSaveButton, &QPushButton::clicked, this, guardedCallback([this] { saveAnimation(); }));
    connect(audioLoadButton, &QPushButton::clicked, this, guardedCallback([this] { loadAudio(); }));
    connect(audioSaveButton, &QPushButton::clicked, this, guardedCallback([this] { saveAudio(); }));
}

void TfrmGestureWindow::onPickButtonPressed()
{
    // Runs on the press, before the button changes state.
    plumora::ui::setScreenCursor(pickTransparentButton->isChecked() ? crDefault : crColorSample);
}

void TfrmGestureWindow::onWindowMouseMoved()
{
    // The cursor follows the Pick button when other work changed it.
    const bool down = pickTransparentButton->isChecked();
    if (down && !pickMode())
        plumora::ui::setScreenCursor(crColorSample);
    else if (!down && pickMode())
        plumora::ui::setScreenCursor(crDefault);
}

void TfrmGestureWindow::onWindowMousePressed()
{
    if (!pickMode())
        return;
    plumora::ui::setScreenCursor(crDefault);
    pickTransparentButton->setChecked(false);
}

TColor TfrmGestureWindow::ColorShownAt(QPoint point) const
{
    // What the screen shows there: the frame's pixel, or the preview's
    // background where the frame is transparent or does not reach.
    const TFrameList *frames = gesture->Frames();
    const int index = int(gesture->CurrentFrame()) - 1;
    if (frames && index >= 0 && index < frames->Count() && point.x() >= 0 && point.y() >= 0
        && point.x() < frames->Width() && point.y() < frames->Height()
        && !frames->IsTransparent(index, point.x(), point.y()))
        return fromQRgb(frames->Picture(index).pixel(point));
    return TestBackground();
}

void TfrmGestureWindow::onGestureMousePressed(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    m_dragRect = QRect(at, at);
    if (!pickMode())
        return;
    if (pageTabs->currentWidget() == settingsPage) {
        pickTransparentButton->setChecked(false);
        plumora::ui::setScreenCursor(crDefault);
        previewPane->update();
        const TColor colour = ColorShownAt(at);
        const Edit edit(this, QStringLiteral("Pick Transparent Color"));
        gesture->setTransparentColor(colour);
        setTransColor(gesture->TransparentColor());
        UpdateFileCommands();
    } else if (event->buttons() & Qt::LeftButton) {
        m_dragging = 1;
        gestureView->grabMouse();
    }
}

void TfrmGestureWindow::onGestureMouseMoved(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    // The rubber band is only visual: nothing else uses the rectangle.
    if (!m_rubberBand)
        m_rubberBand = new QRubberBand(QRubberBand::Rectangle, gestureView);
    const QPoint at = event->position().toPoint();
    m_dragRect.setRight(at.x());
    m_dragRect.setBottom(at.y());
    m_rubberBand->setGeometry(m_dragRect.normalized());
    m_rubberBand->show();
    m_dragging = 1;
}

void TfrmGestureWindow::onGestureMouseReleased(QMouseEvent *)
{
    if (m_dragging != 1)
        return;
    if (m_rubberBand)
        m_rubberBand->hide();
    gestureView->releaseMouse();
    m_dragging = 0;
}

void TfrmGestureWindow::chooseTestBackground()
{
    testBackgroundDialog->setCurrentColor(toQColor(TestBackground()));
    if (plumora::ui::execDialog(*testBackgroundDialog) != QDialog::Accepted)
        return;
    setTestBackground(fromQColor(testBackgroundDialog->currentColor()));
}

void TfrmGestureWindow::loadAudio()
{
    openAudioDialog->selectNameFilter(openAudioDialog->nameFilters().value(0));
    const QString path = RunFileDialog(*openAudioDialog, m_host ? m_host->Keys().AudioOpenDir() : QString());
    if (path.isEmpty())
        return;
    if (m_host)
        m_host->Keys().setAudioOpenDir(FolderOf(path));
    loadAudioFile(path);
}

void TfrmGestureWindow::loadAudioFile(const QString &path)
{
    const Edit edit(this, QStringLiteral("Load Sound"));
    // Any readable file that fits the sound block is taken as the sound, byte
    // for byte. A refusal (too long, unreadable) reaches the error display
    // through the caller's guard, with the gesture as it was.
    gesture->LoadAudioFromFile(path);
    setFileLabel(audioFileLabel, FileLabelState::Path, path);
    audioSaveButton->setEnabled(true);
    gesture->UpdateSizes();
    UpdateFileCommands();
    update();
}

void TfrmGestureWindow::saveAudio()
{
    const QString path
        = RunFileDialog(*saveAudioDialog, m_host ? m_host->Keys().AudioSaveDir() : QString(), true);
    if (path.isEmpty())
        return;
    if (m_host)
        m_host->Keys().setAudioSaveDir(FolderOf(path));
    gesture->SaveAudioToFile(path);
}
