// The main window's gesture windows: adding one to the window area with the
// connections by which Save, Save As, the gauges and the undo commands follow
// it; the active window's Frames menu merged into the menu bar; and the
// Window menu's list, tiling and arranging.
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "mainwindow.h"
#include "platform/ui/application.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QTimer>
#include <QUndoGroup>

#include <algorithm>

TfrmGestureWindow *TfrmMain::ActiveGestureWindow() const
{
    QMdiSubWindow *sub = mdiArea->activeSubWindow();
    if (!sub)
        return nullptr;
    auto *window = qobject_cast<TfrmGestureWindow *>(sub->widget());
    if (!window || window->IsDestroying())
        return nullptr;
    return window;
}

QList<TfrmGestureWindow *> TfrmMain::GestureWindows() const
{
    QList<TfrmGestureWindow *> windows;
    for (QMdiSubWindow *sub : mdiArea->subWindowList())
        if (auto *window = qobject_cast<TfrmGestureWindow *>(sub->widget());
            window && !window->IsDestroying())
            windows << window;
    return windows;
}

TfrmGestureWindow *TfrmMain::addGestureWindow()
{
    auto *window = new TfrmGestureWindow(this);
    undoGroup->addStack(window->UndoStack());
    attachAutosave(window);
    // Save, Save As and the gauges follow the gesture.
    const TZQGesture *gesture = window->Gesture();
    connect(gesture, &TZQGesture::modifiedChanged, this, &TfrmMain::UpdateFileCommands);
    connect(gesture, &TZQGesture::unsavedChangesChanged, this, &TfrmMain::UpdateFileCommands);
    connect(gesture, &TZQGesture::sizesChanged, this, &TfrmMain::UpdateFileCommands);
    connect(gesture, &TZQGesture::framesChanged, this, &TfrmMain::UpdateFileCommands);
    QMdiSubWindow *sub = mdiArea->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(windowIcon());
    // The File menu's Close owns Ctrl+W and Ctrl+F4; the same keys on the
    // window's own menu would make both ambiguous, and neither would work.
    if (QMenu *menu = sub->systemMenu())
        for (QAction *item : menu->actions())
            if (!item->shortcuts().isEmpty())
                for (const QKeySequence &key : closeAction->shortcuts())
                    if (item->shortcuts().contains(key))
                        item->setShortcuts({});
    connect(window, &QObject::destroyed, this, [this] {
        if (m_destroying)
            return;
        if (m_mergedMenu && !ActiveGestureWindow()) {
            menuBar()->removeAction(m_mergedMenu);
            m_mergedMenu = nullptr;
        }
        QTimer::singleShot(0, this, [this] {
            UpdateFileCommands();
            UpdateIdleCommands();
        });
    });
    sub->showMaximized();
    mdiArea->setActiveSubWindow(sub);
    return window;
}

void TfrmMain::subWindowActivated(QMdiSubWindow *sub)
{
    if (m_destroying)
        return;
    // The active gesture window's "Frames" menu stands between Edit and Window.
    if (m_mergedMenu) {
        menuBar()->removeAction(m_mergedMenu);
        m_mergedMenu = nullptr;
    }
    QUndoStack *history = nullptr;
    if (sub) {
        if (auto *window = qobject_cast<TfrmGestureWindow *>(sub->widget()); window && window->FramesMenu()) {
            m_mergedMenu = window->FramesMenu()->menuAction();
            menuBar()->insertAction(windowMenu->menuAction(), m_mergedMenu);
            history = window->UndoStack();
        }
    }
    undoGroup->setActiveStack(history);
    UpdateFileCommands();
    UpdateIdleCommands();
}

void TfrmMain::fillWindowMenu()
{
    windowMenu->clear();
    windowMenu->addActions({ tileVerticallyAction, tileHorizontallyAction, cascadeAction, arrangeAction });
    const QList<QMdiSubWindow *> windows = mdiArea->subWindowList();
    if (!windows.isEmpty())
        windowMenu->addSeparator();
    int number = 1;
    for (QMdiSubWindow *sub : windows) {
        QString title = sub->windowTitle();
        title.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction *item
            = windowMenu->addAction(number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(title) : title);
        item->setCheckable(true);
        item->setChecked(sub == mdiArea->activeSubWindow());
        connect(item, &QAction::triggered, this, plumora::ui::guardedCallback([this, sub] {
            // A minimised window comes back as it was before (maximised or not).
            if (sub->isMinimized())
                sub->setWindowState(sub->windowState() & ~Qt::WindowMinimized);
            mdiArea->setActiveSubWindow(sub);
        }));
        ++number;
    }
}

void TfrmMain::tileWindows(Qt::Orientation orientation)
{
    QList<QMdiSubWindow *> windows;
    for (QMdiSubWindow *sub : mdiArea->subWindowList())
        if (!sub->isMinimized())
            windows << sub;
    if (windows.isEmpty())
        return;
    const bool sideBySide = orientation == Qt::Horizontal;
    const int count = int(windows.size());
    QSize area = mdiArea->maximumViewportSize();
    QSize minimum;
    for (QMdiSubWindow *sub : windows)
        minimum = minimum.expandedTo(sub->minimumSizeHint().expandedTo(sub->minimumSize()));
    // Windows that do not fit at their minimum make the area scroll along
    // the row; the scroll bar then takes room across it.
    const int scrollBar = mdiArea->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, mdiArea);
    if (sideBySide && count * minimum.width() > area.width())
        area.rheight() -= scrollBar;
    if (!sideBySide && count * minimum.height() > area.height())
        area.rwidth() -= scrollBar;
    const QSize cell = sideBySide
        ? QSize(std::max(area.width() / count, minimum.width()), std::max(area.height(), minimum.height()))
        : QSize(std::max(area.width(), minimum.width()), std::max(area.height() / count, minimum.height()));
    QPoint corner(0, 0);
    for (QMdiSubWindow *sub : windows) {
        sub->showNormal();
        sub->setGeometry(QRect(corner, cell));
        corner += sideBySide ? QPoint(cell.width(), 0) : QPoint(0, cell.height());
    }
}

void TfrmMain::arrangeIcons()
{
    // Minimised windows line up along the bottom edge, left to right, in
    // rows from the bottom up; the other windows stay where they are.
    const QRect area = mdiArea->viewport()->rect();
    int x = 0;
    int bottom = area.bottom() + 1;
    for (QMdiSubWindow *sub : mdiArea->subWindowList()) {
        if (!sub->isMinimized())
            continue;
        if (x > 0 && x + sub->width() > area.width()) {
            x = 0;
            bottom -= sub->height();
        }
        sub->move(x, bottom - sub->height());
        x += sub->width();
    }
}
