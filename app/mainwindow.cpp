// The main window's frame: the window area, the gesture dialogs and the
// settings store it owns, the status bar with its size gauges and progress
// bar, what it offers the gesture windows as their host, and Save and Save
// As following the active gesture. Its other parts: the commands and menus
// (mainwindow_commands.cpp), the gesture windows and the Window menu
// (mainwindow_windows.cpp), opening, saving and closing
// (mainwindow_files.cpp), and the window's placement
// (mainwindow_placement.cpp).
#include "mainwindow.h"

#include "editor/frameimportdialog.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "gesturedialogs.h"
#include "platform/plumorakeys.h"
#include "sizegauge.h"
#include "statuspanels.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Plumora"));
    setProperty("helpContext", 1);
    resize(591, 451);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_normalFrame = frameGeometry();
    m_placingCheck.setSingleShot(true);
    m_placingCheck.setInterval(0);
    connect(&m_placingCheck, &QTimer::timeout, this, &TfrmMain::settlePlacement);

    m_keys = std::make_unique<TPlumoraKeys>();

    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    // Windows kept at their minimum size may not fit: the area scrolls then.
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea);
    // Gesture files dropped anywhere on the window open (drops on a gesture
    // window's rows load pictures and sounds there instead).
    setAcceptDrops(true);
    connect(mdiArea, &QMdiArea::subWindowActivated, this, &TfrmMain::subWindowActivated);

    openGestureDialog = new TOpenGestureDialog(this);
    openGestureDialog->setObjectName(QStringLiteral("openGestureDialog"));
    saveGestureDialog = new TSaveGestureDialog(this);
    saveGestureDialog->setObjectName(QStringLiteral("saveGestureDialog"));
    openGestureDialog->setInitialDir(m_keys->GestureOpenDir());
    saveGestureDialog->setInitialDir(m_keys->GestureSaveDir());

    createMenus();
    createToolBar();
    createStatusBar();

    // Clipboard and window commands follow the focus and the clipboard.
    auto *idle = new QTimer(this);
    idle->setInterval(200);
    connect(idle, &QTimer::timeout, this, &TfrmMain::UpdateIdleCommands);
    idle->start();
    connect(qApp, &QApplication::focusChanged, this, &TfrmMain::UpdateIdleCommands);
    UpdateFileCommands();
    UpdateIdleCommands();
}

TfrmMain::~TfrmMain()
{
    m_destroying = true;
    QGuiApplication::restoreOverrideCursor();
    // Gesture windows go first, while the settings store still exists; any
    // that a close left waiting for deletion no longer call this window.
    for (TfrmGestureWindow *window : findChildren<TfrmGestureWindow *>()) {
        window->DetachHost();
        window->disconnect(this);
    }
    for (QMdiSubWindow *sub : mdiArea->subWindowList())
        delete sub;
}

void TfrmMain::createStatusBar()
{
    statusPanels
        = new TStatusPanels([this](QPainter &p, int panel, const QRect &r) { drawGauge(p, panel, r); });
    statusBar()->addPermanentWidget(statusPanels);
    statusBar()->setToolTip(QStringLiteral("Graphic, Audio, & Total file size limits "));

    // Long imports and strip saves report their progress here.
    progressBar = new QProgressBar;
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 100);
    progressBar->setMaximumWidth(160);
    progressBar->setAccessibleName(QStringLiteral("Progress"));
    progressBar->hide();
    statusBar()->addWidget(progressBar);
}

void TfrmMain::ShowProgress(TProgressStage stage, int percent)
{
    if (stage == TProgressStage::Starting) {
        progressBar->setValue(0);
        progressBar->show();
    } else if (stage == TProgressStage::Running) {
        progressBar->setValue(percent);
    } else {
        progressBar->hide();
    }
}

std::optional<TFrameSplit> TfrmMain::AskFrameSplit(QSize picture)
{
    if (!frameImportDialog) {
        frameImportDialog = new TfrmFrameImport(this);
        frameImportDialog->setObjectName(QStringLiteral("frameImportDialog"));
    }
    return frameImportDialog->Ask(picture);
}

void TfrmMain::drawGauge(QPainter &painter, int panel, const QRect &rect)
{
    TfrmGestureWindow *window = ActiveGestureWindow();
    if (!window)
        return;
    const TZQGesture *gesture = window->Gesture();
    const int size = panel == 1 ? gesture->AnimationSize()
        : panel == 3            ? gesture->AudioSize()
                                : gesture->GestureSize();
    painter.setFont(statusPanels->font());
    DrawSizeGauge(painter, rect, panel, size, palette().color(QPalette::Button));
}

void TfrmMain::ShowStatusNote(const QString &note)
{
    statusBar()->showMessage(note, 5000);
}

void TfrmMain::UpdateFileCommands()
{
    statusPanels->refreshGauges();
    if (m_destroying)
        return;
    TfrmGestureWindow *window = ActiveGestureWindow();
    if (!window) {
        saveAction->setEnabled(false);
        saveAsAction->setEnabled(false);
        exportAction->setEnabled(false);
        revertAction->setEnabled(false);
        closeAction->setEnabled(false);
        return;
    }
    const TZQGesture *gesture = window->Gesture();
    const bool valid = gesture && gesture->Valid();
    // Edits that the gesture does not count as modifications (moving or
    // deleting frames, a new button picture) must still be savable.
    saveAction->setEnabled(valid && (gesture->Modified() || gesture->UnsavedChanges()));
    saveAsAction->setEnabled(valid);
    exportAction->setEnabled(true); // a gesture without frames says so when asked
    revertAction->setEnabled(
        !gesture->Filename().isEmpty() && (gesture->Modified() || gesture->UnsavedChanges()));
    closeAction->setEnabled(true);
}
