#include "mainwindow.h"

#include "aboutbox.h"
#include "gesture/animationimport.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "editor/filedialogs.h"
#include "editor/filedrops.h"
#include "editor/frameimportdialog.h"
#include "gesturedialogs.h"
#include "platform/errors.h"
#include "platform/plumorakeys.h"
#include "platform/ui/application.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"
#include "sizegauge.h"
#include "statuspanels.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUndoGroup>
#include <QUndoStack>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace {

// Small pictures of our own for the tool bar's clipboard buttons: lines in
// ink on white and brown paper, or only grey lines for the disabled look.
QPixmap drawnPicture(const QString &kind, const QColor &ink, bool paper)
{
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(ink);
    auto sheet = [&](int x, int y, int w, int h, const QColor &colour) {
        if (paper)
            p.fillRect(x, y, w, h, colour);
        p.drawRect(x, y, w, h);
    };
    if (kind == QLatin1String("undo")) {
        // A hooked arrow pointing back; Redo draws it mirrored.
        p.setRenderHint(QPainter::Antialiasing);
        p.drawArc(3, 3, 10, 9, 90 * 16, -240 * 16);
        p.drawLine(8, 3, 4, 1);
        p.drawLine(8, 3, 5, 6);
    } else if (kind == QLatin1String("cut")) {
        p.drawEllipse(2, 9, 4, 4);
        p.drawEllipse(9, 9, 4, 4);
        p.drawLine(5, 9, 11, 1);
        p.drawLine(10, 9, 4, 1);
    } else if (kind == QLatin1String("copy")) {
        sheet(1, 1, 8, 9, Qt::white);
        sheet(6, 4, 8, 9, Qt::white);
    } else {
        sheet(2, 2, 10, 11, QColor(200, 160, 80));
        sheet(6, 6, 8, 8, Qt::white);
    }
    return pixmap;
}

QIcon drawnIcon(const QString &kind, bool mirrored = false)
{
    auto picture = [&](const QColor &ink, bool paper) {
        const QPixmap pixmap = drawnPicture(kind, ink, paper);
        return mirrored ? pixmap.transformed(QTransform::fromScale(-1, 1)) : pixmap;
    };
    QIcon icon(picture(Qt::black, true));
    icon.addPixmap(picture(QApplication::palette().color(QPalette::Disabled, QPalette::WindowText), false),
        QIcon::Disabled);
    return icon;
}

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

QLineEdit *focusedTextField()
{
    return qobject_cast<QLineEdit *>(QApplication::focusWidget());
}

// Encoding a long animation takes a while: the busy cursor shows until the
// file is written or the save has failed.
void saveGesture(TZQGesture &gesture, const QString &path)
{
    const plumora::ui::BusyCursor busy;
    gesture.SaveToFile(path);
}

} // namespace

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

    createCommands();
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

void TfrmMain::createCommands()
{
    auto command
        = [this](QAction *&action, const char *name, const QString &caption, int helpContext, auto handler) {
              action = new QAction(caption, this);
              action->setObjectName(QString::fromLatin1(name));
              if (helpContext)
                  action->setProperty("helpContext", helpContext);
              connect(action, &QAction::triggered, this, plumora::ui::guardedCallback(handler));
          };
    command(newAction, "newAction", QStringLiteral("New..."), 110, [this] { newGestureWindow(); });
    command(openAction, "openAction", QStringLiteral("Open..."), 120, [this] { openGestureFile(); });
    command(saveAction, "saveAction", QStringLiteral("Save"), 130, [this] { saveGestureWindow(nullptr); });
    command(
        saveAsAction, "saveAsAction", QStringLiteral("Save As..."), 140, [this] { saveGestureWindowAs(); });
    command(exitAction, "exitAction", QStringLiteral("Exit"), 170, [this] { exitProgram(); });
    newAction->setShortcut(QKeySequence::New);
    openAction->setShortcut(QKeySequence::Open);
    saveAction->setShortcut(QKeySequence::Save);
    saveAsAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    newAction->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    openAction->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    saveAction->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    saveAction->setEnabled(false);
    saveAsAction->setEnabled(false);

    // Their texts name the command they undo or redo ("Undo Delete Frame").
    undoGroup = new QUndoGroup(this);
    undoAction = undoGroup->createUndoAction(this, QStringLiteral("&Undo"));
    undoAction->setObjectName(QStringLiteral("undoAction"));
    undoAction->setShortcut(QKeySequence::Undo);
    undoAction->setIcon(QIcon::fromTheme(QStringLiteral("edit-undo"), drawnIcon(QStringLiteral("undo"))));
    redoAction = undoGroup->createRedoAction(this, QStringLiteral("&Redo"));
    redoAction->setObjectName(QStringLiteral("redoAction"));
    redoAction->setShortcuts(
        { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y) });
    redoAction->setIcon(
        QIcon::fromTheme(QStringLiteral("edit-redo"), drawnIcon(QStringLiteral("undo"), true)));

    command(cutTextAction, "cutTextAction", QStringLiteral("Cu&t"), 0, [] {
        if (QLineEdit *field = focusedTextField())
            field->cut();
    });
    command(copyTextAction, "copyTextAction", QStringLiteral("&Copy"), 0, [] {
        if (QLineEdit *field = focusedTextField())
            field->copy();
    });
    command(pasteTextAction, "pasteTextAction", QStringLiteral("&Paste"), 0, [] {
        if (QLineEdit *field = focusedTextField())
            field->paste();
    });
    cutTextAction->setToolTip(QStringLiteral("Cut"));
    copyTextAction->setToolTip(QStringLiteral("Copy"));
    pasteTextAction->setToolTip(QStringLiteral("Paste"));
    cutTextAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+X")));
    copyTextAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    pasteTextAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+V")));
    // Text fields handle their own Ctrl+X/C/V; the menu shows them.
    for (QAction *a : { cutTextAction, copyTextAction, pasteTextAction })
        a->setShortcutContext(Qt::WidgetShortcut);

    command(tileVerticallyAction, "tileVerticallyAction", QStringLiteral("&Tile Vertically"), 0,
        [this] { tileWindows(Qt::Horizontal); });
    command(tileHorizontallyAction, "tileHorizontallyAction", QStringLiteral("Tile &Horizontally"), 0,
        [this] { tileWindows(Qt::Vertical); });
    command(cascadeAction, "cascadeAction", QStringLiteral("&Cascade"), 0,
        [this] { mdiArea->cascadeSubWindows(); });
    command(arrangeAction, "arrangeAction", QStringLiteral("&Arrange"), 0, [this] { arrangeIcons(); });

    command(helpContentsAction, "helpContentsAction", QStringLiteral("&Contents"), 0,
        [this] { openHelpContents(); });
    // The menu shows F1 beside Contents; the key itself opens the topic of
    // the control that has the focus (the contents when it has none).
    helpContentsAction->setShortcut(QKeySequence(Qt::Key_F1));
    helpContentsAction->setShortcutContext(Qt::WidgetShortcut);
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::ApplicationShortcut);
    connect(f1, &QShortcut::activated, this, plumora::ui::guardedCallback([] {
        QWidget *focus = QApplication::focusWidget();
        if (focus)
            plumora::ui::showHelpFor(focus);
        else
            plumora::ui::showHelpContents();
    }));
    command(helpIndexAction, "helpIndexAction", QStringLiteral("&Index"), 0, [this] { openHelpIndex(); });
    command(howToUseHelpAction, "howToUseHelpAction", QStringLiteral("&How to Use Help"), 0,
        [this] { openHowToUseHelp(); });
    command(aboutAction, "aboutAction", QStringLiteral("About..."), 0, [this] { showAboutBox(); });
}

void TfrmMain::createMenus()
{
    fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    fileMenu->setProperty("helpContext", 100);
    fileMenu->addActions({ newAction, openAction, saveAction, saveAsAction });
    fileMenu->addSeparator();
    fileMenu->addAction(exitAction);

    editMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    editMenu->setObjectName(QStringLiteral("editMenu"));
    editMenu->setProperty("helpContext", 200);
    editMenu->addActions({ undoAction, redoAction });
    editMenu->addSeparator();
    editMenu->addActions({ cutTextAction, copyTextAction, pasteTextAction });
    connect(editMenu, &QMenu::aboutToShow, this, &TfrmMain::UpdateIdleCommands);

    windowMenu = menuBar()->addMenu(QStringLiteral("&Window"));
    windowMenu->setObjectName(QStringLiteral("windowMenu"));
    windowMenu->setProperty("helpContext", 400);
    connect(windowMenu, &QMenu::aboutToShow, this, &TfrmMain::fillWindowMenu);
    fillWindowMenu();

    helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    helpMenu->setProperty("helpContext", 500);
    helpMenu->addActions({ helpContentsAction, helpIndexAction, howToUseHelpAction });
    helpMenu->addSeparator();
    helpMenu->addAction(aboutAction);
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

void TfrmMain::createToolBar()
{
    mainToolBar = addToolBar(QStringLiteral("Main Toolbox"));
    mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    mainToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    mainToolBar->setIconSize(QSize(16, 15));
    mainToolBar->addAction(newAction);
    mainToolBar->addAction(openAction);
    mainToolBar->addAction(saveAction);
    mainToolBar->addSeparator();
    mainToolBar->addAction(undoAction);
    mainToolBar->addAction(redoAction);
    mainToolBar->addSeparator();
    // Clipboard buttons that are bound to no command: they stay disabled.
    for (const auto &[kind, hint] :
        { std::pair { "cut", "Cut" }, { "copy", "Copy" }, { "paste", "Paste" } }) {
        QAction *button
            = mainToolBar->addAction(drawnIcon(QString::fromLatin1(kind)), QString::fromLatin1(hint));
        button->setObjectName(QString::fromLatin1(kind) + QStringLiteral("ToolButton"));
        button->setEnabled(false);
    }
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
        return;
    }
    const TZQGesture *gesture = window->Gesture();
    const bool valid = gesture && gesture->Valid();
    // Edits that the gesture does not count as modifications (moving or
    // deleting frames, a new button picture) must still be savable.
    saveAction->setEnabled(valid && (gesture->Modified() || gesture->UnsavedChanges()));
    saveAsAction->setEnabled(valid);
}

void TfrmMain::UpdateIdleCommands()
{
    if (m_destroying)
        return;
    QLineEdit *field = focusedTextField();
    const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
    cutTextAction->setEnabled(field && field->hasSelectedText() && !field->isReadOnly());
    copyTextAction->setEnabled(field && field->hasSelectedText());
    pasteTextAction->setEnabled(field && !field->isReadOnly() && clip && clip->hasText());
    const bool anyWindow = !GestureWindows().isEmpty();
    for (QAction *a : { tileVerticallyAction, tileHorizontallyAction, cascadeAction, arrangeAction })
        a->setEnabled(anyWindow);
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

TfrmGestureWindow *TfrmMain::addGestureWindow()
{
    auto *window = new TfrmGestureWindow(this);
    undoGroup->addStack(window->UndoStack());
    // Save, Save As and the gauges follow the gesture.
    const TZQGesture *gesture = window->Gesture();
    connect(gesture, &TZQGesture::modifiedChanged, this, &TfrmMain::UpdateFileCommands);
    connect(gesture, &TZQGesture::unsavedChangesChanged, this, &TfrmMain::UpdateFileCommands);
    connect(gesture, &TZQGesture::sizesChanged, this, &TfrmMain::UpdateFileCommands);
    connect(gesture, &TZQGesture::framesChanged, this, &TfrmMain::UpdateFileCommands);
    QMdiSubWindow *sub = mdiArea->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(windowIcon());
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

TfrmGestureWindow *TfrmMain::newGestureWindow()
{
    TfrmGestureWindow *window = addGestureWindow();
    UpdateFileCommands();
    return window;
}

void TfrmMain::openGestureFile()
{
    struct Refresh
    {
        TfrmMain *main;
        ~Refresh() { main->UpdateFileCommands(); }
    } refresh { this };
    if (!openGestureDialog->Execute())
        return;
    const QString path = openGestureDialog->FileName();
    openGesturePath(path);
    m_keys->setGestureOpenDir(FolderOf(path));
}

TfrmGestureWindow *TfrmMain::openGesturePath(const QString &path)
{
    // Opening lets pending input run part-way through; a close of the main
    // window that comes in then waits until the file is open (see closeEvent).
    struct Opening
    {
        TfrmMain *main;
        explicit Opening(TfrmMain *m) : main(m) { ++main->m_opening; }
        ~Opening()
        {
            if (--main->m_opening == 0 && std::exchange(main->m_closeWhenOpen, false))
                QTimer::singleShot(0, main, plumora::ui::guardedCallback([main = main] { main->close(); }));
        }
    } opening(this);
    TfrmGestureWindow *window = addGestureWindow();
    try {
        window->OpenGesture(path);
    } catch (...) {
        // A file that does not read leaves no empty window behind, and the
        // message says why it did not.
        const TZQGesture *gesture = window->Gesture();
        const QString reason = gesture->Valid() ? QString() : gesture->LastReadErrorMessage(path);
        if (QWidget *sub = window->parentWidget())
            delete sub;
        if (!reason.isEmpty())
            throw PlumoraError(reason);
        throw;
    }
    UpdateFileCommands();
    return window;
}

void TfrmMain::openGestureFiles(const QStringList &paths)
{
    // Relative names are taken from the current folder; the window's title
    // shows the full path, as after Open.
    for (const QString &path : paths)
        plumora::ui::guarded([&] { openGesturePath(QFileInfo(path).absoluteFilePath()); });
}

void TfrmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (!DroppedFiles(*event->mimeData(), { QStringLiteral("ZQA") }).isEmpty())
        AcceptFileDrop(*event);
    else
        event->ignore();
}

void TfrmMain::dropEvent(QDropEvent *event)
{
    const QStringList paths = DroppedFiles(*event->mimeData(), { QStringLiteral("ZQA") });
    if (paths.isEmpty() || !AcceptFileDrop(*event))
        return;
    // Opened once the drop is over: the source waits for its answer, and
    // opening may show a message box.
    QTimer::singleShot(0, this, [this, paths] { openGestureFiles(paths); });
}

void TfrmMain::saveGestureWindow(TfrmGestureWindow *target)
{
    if (!target)
        target = ActiveGestureWindow();
    if (target) {
        TZQGesture *gesture = target->Gesture();
        if (gesture->Filename().isEmpty()) {
            saveGestureWindowAs(target);
            return;
        }
        saveGesture(*gesture, gesture->Filename());
    }
    UpdateFileCommands();
}

void TfrmMain::saveGestureWindowAs(TfrmGestureWindow *target)
{
    struct Refresh
    {
        TfrmMain *main;
        ~Refresh() { main->UpdateFileCommands(); }
    } refresh { this };
    if (!target)
        target = ActiveGestureWindow();
    if (!target)
        return;
    if (!saveGestureDialog->Execute())
        return;
    const QString path = saveGestureDialog->FileName();
    TZQGesture *gesture = target->Gesture();
    saveGesture(*gesture, path);
    // The saved file becomes the gesture's file: later Saves go there.
    gesture->RenameTo(path);
    target->setWindowTitle(path);
    if (QWidget *sub = target->parentWidget())
        sub->setWindowTitle(path);
    m_keys->setGestureSaveDir(FolderOf(path));
}

void TfrmMain::exitProgram()
{
    close();
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    // An error while the gesture windows close keeps the program open, with
    // every window that was not closed yet and its work.
    event->ignore();
    bool windowsClosed = false;
    plumora::ui::guarded([&] { windowsClosed = closeGestureWindows(); });
    if (!windowsClosed)
        return;
    // Every gesture is closed now, saved or given up as the user answered, so
    // nothing is lost when the program ends without its placement. A store
    // that cannot be written is reported once and the program still ends:
    // refusing would keep the user in a program that cannot be left.
    plumora::ui::guarded([&] { storePlacement(); });
    m_destroying = true;
    event->accept();
}

bool TfrmMain::closeGestureWindows()
{
    // Closing would free the window that a file is being opened into.
    if (m_opening > 0) {
        m_closeWhenOpen = true;
        return false;
    }
    // Each gesture window may refuse (Cancel in its close prompt).
    for (QMdiSubWindow *sub : mdiArea->subWindowList()) {
        if (!sub->close())
            return false;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

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

void TfrmMain::showAboutBox()
{
    // Every About makes one more box; they go with the main window.
    auto *box = new TAboutBox(this);
    plumora::ui::execDialog(*box);
}

void TfrmMain::openHelpContents()
{
    plumora::ui::showHelpContents();
}

void TfrmMain::openHelpIndex()
{
    plumora::ui::showHelpIndex();
}

void TfrmMain::openHowToUseHelp()
{
    plumora::ui::showHowToUseHelp();
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
