// The main window's placement: where it comes back at start-up (the stored
// frame, kept on the screen, corrected until the window manager has put it
// there), the normal placement followed while the window moves, and the
// placement stored when the program ends.
#include "mainwindow.h"
#include "platform/plumorakeys.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWindow>

#include <algorithm>

namespace {

// The frame's margins around the client area as the window system last
// reported them; none until the window manager has framed the window (and
// never without one).
QMargins frameMarginsOf(const QWidget &window)
{
    const QWindow *handle = window.windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

// The frame's outer rectangle. QWidget::frameGeometry() keeps the extents
// of the last geometry change, which may be older than the window manager's
// latest word.
QRect frameOf(const QWidget &window)
{
    return window.geometry().marginsAdded(frameMarginsOf(window));
}

// The frame moved and shrunk so that it fits the available area with its
// whole title bar: the frame's full width and its top titleBar pixels.
QRect keepOnScreen(QRect frame, const QRect &available, int titleBar)
{
    frame.setSize(frame.size().boundedTo(available.size()).expandedTo(QSize(1, 1)));
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(
        frame.top(), available.top(), std::max(available.top(), available.bottom() + 1 - titleBar)));
    return frame;
}

} // namespace

void TfrmMain::storePlacement()
{
    // The normal placement is kept, whatever state the window is in now.
    // The first value the store refuses ends the writing: one error.
    const Qt::WindowStates state = windowState();
    const QRect frame = state & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)
        ? m_normalFrame
        : frameOf(*this);
    m_keys->setWindowPosition(frame.topLeft());
    m_keys->setWindowSize(QPoint(frame.width(), frame.height()));
    m_keys->setWindowMaximized(state & Qt::WindowMaximized);
}

void TfrmMain::RestorePlacement()
{
    const QPoint position = m_keys->WindowPosition();
    const QPoint size = m_keys->WindowSize();
    const QRect stored(position, QSize(size.x(), size.y()));
    QScreen *screen = QGuiApplication::screenAt(QPoint(stored.center().x(), stored.top()));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect frame = screen
        ? keepOnScreen(stored, screen->availableGeometry(), style()->pixelMetric(QStyle::PM_TitleBarHeight))
        : stored;
    // Before the window exists, a move places its frame's corner. The client
    // takes the frame's whole size until the window manager has framed the
    // window; settlePlacement then gives the frame that size.
    move(frame.topLeft());
    resize(frame.size());
    m_normalFrame = QRect(frame.topLeft(), this->size());
    m_placing = true;
    m_placingTries = 0;
    if (m_keys->WindowMaximized())
        showMaximized();
    else
        show();
    if (QWindow *handle = windowHandle(); handle && !m_placingWatch)
        m_placingWatch = plumora::ui::guardedEventFilter(
            { handle }, [this](QObject *watched, QEvent *event) { return watchPlacement(watched, event); });
    UpdateFileCommands();
}

void TfrmMain::followFrame()
{
    if (!m_placing && isVisible()
        && !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        m_normalFrame = frameOf(*this);
}

bool TfrmMain::watchPlacement(QObject *watched, QEvent *event)
{
    // Only what the window system reports counts while placing: a request of
    // ours changes the widget's geometry at once, long before the window
    // manager has carried it out. The check runs once the whole report (size
    // and place) is in.
    if (m_placing && watched == windowHandle() && event->spontaneous()
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        m_placingCheck.start();
    return false;
}

void TfrmMain::settlePlacement()
{
    if (!m_placing || !isVisible()
        || (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        return;
    const QMargins margins = frameMarginsOf(*this);
    if (margins.isNull())
        return;
    // The frame's extents may change after the first report that shows them
    // (leaving the maximised state gives the borders back), so the window is
    // corrected until a report shows the frame in place; a few times at
    // most, in case the window manager will not have it there.
    const QRect frame = frameOf(*this);
    if (frame != m_normalFrame && m_placingTries < kPlacingTries) {
        ++m_placingTries;
        setGeometry(m_normalFrame.marginsRemoved(margins));
        return;
    }
    m_placing = false;
    m_normalFrame = frame;
}

void TfrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The window system may have reported the first geometry while showing,
    // before the window could be watched.
    if (m_placing)
        m_placingCheck.start();
    followFrame();
}

void TfrmMain::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    followFrame();
}

void TfrmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    followFrame();
}
