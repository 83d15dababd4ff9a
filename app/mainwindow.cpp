#include "mainwindow.h"

#include "aboutbox.h"
#include "editor/animationimport.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "gesturedialogs.h"
#include "platform/plumorakeys.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"
#include "sizegauge.h"
#include "statuspanels.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
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

namespace {

// The folder part of a path, with its trailing separator.
QString folderOf(const QString &path)
{
    QString folder = QFileInfo(path).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// Small pictures of our own for the tool bar's clipboard buttons.
QIcon drawnIcon(const QString &kind)
{
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    if (kind == QLatin1String("cut")) {
        p.drawEllipse(2, 9, 4, 4);
        p.drawEllipse(9, 9, 4, 4);
        p.drawLine(5, 9, 11, 1);
        p.drawLine(10, 9, 4, 1);
    } else if (kind == QLatin1String("copy")) {
        p.fillRect(1, 1, 8, 9, Qt::white);
        p.drawRect(1, 1, 8, 9);
        p.fillRect(6, 4, 8, 9, Qt::white);
        p.drawRect(6, 4, 8, 9);
    } else {
        p.fillRect(2, 2, 10, 11, QColor(200, 160, 80));
        p.drawRect(2, 2, 10, 11);
        p.fillRect(6, 6, 8, 8, Qt::white);
        p.drawRect(6, 6, 8, 8);
    }
    return QIcon(pixmap);
}

QLineEdit *focusedTextField()
{
    return qobject_cast<QLineEdit *>(QApplication::focusWidget());
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

    m_keys = std::make_unique<TPlumoraKeys>();

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    setCentralWidget(MdiArea);
    connect(MdiArea, &QMdiArea::subWindowActivated, this, &TfrmMain::subWindowActivated);

    OpenGestureDialog1 = new TOpenGestureDialog(this);
    OpenGestureDialog1->setObjectName(QStringLiteral("OpenGestureDialog1"));
    SaveGestureDialog1 = new TSaveGestureDialog(this);
    SaveGestureDialog1->setObjectName(QStringLiteral("SaveGestureDialog1"));
    OpenGestureDialog1->setInitialDir(m_keys->GestureOpenDir());
    SaveGestureDialog1->setInitialDir(m_keys->GestureSaveDir());

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
    AnimationProgressSink() = {};
    QGuiApplication::restoreOverrideCursor();
    // Gesture windows go first, while the settings store still exists; any
    // that a close left waiting for deletion no longer call this window.
    for (TfrmGestureWindow *window : findChildren<TfrmGestureWindow *>()) {
        window->DetachHost();
        window->disconnect(this);
    }
    for (QMdiSubWindow *sub : MdiArea->subWindowList())
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
              connect(action, &QAction::triggered, this, handler);
          };
    command(ActNew, "ActNew", QStringLiteral("New..."), 110, [this] { New1Click(); });
    command(ActOpen, "ActOpen", QStringLiteral("Open..."), 120, [this] { Open1Click(); });
    command(ActSave, "ActSave", QStringLiteral("Save"), 130, [this] { Save1Click(nullptr); });
    command(ActionSaveAs, "ActionSaveAs", QStringLiteral("Save As..."), 140, [this] { SaveAs1Click(); });
    command(ActExit, "ActExit", QStringLiteral("Exit"), 170, [this] { Exit1Click(); });
    ActNew->setShortcut(QKeySequence::New);
    ActOpen->setShortcut(QKeySequence::Open);
    ActSave->setShortcut(QKeySequence::Save);
    ActionSaveAs->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    ActNew->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    ActOpen->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    ActSave->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    ActSave->setEnabled(false);
    ActionSaveAs->setEnabled(false);

    command(Cut2, "Cut2", QStringLiteral("Cu&t"), 0, [] {
        if (QLineEdit *field = focusedTextField())
            field->cut();
    });
    command(Copy2, "Copy2", QStringLiteral("&Copy"), 0, [] {
        if (QLineEdit *field = focusedTextField())
            field->copy();
    });
    command(Paste2, "Paste2", QStringLiteral("&Paste"), 0, [] {
        if (QLineEdit *field = focusedTextField())
            field->paste();
    });
    Cut2->setToolTip(QStringLiteral("Cut"));
    Copy2->setToolTip(QStringLiteral("Copy"));
    Paste2->setToolTip(QStringLiteral("Paste"));
    Cut2->setShortcut(QKeySequence(QStringLiteral("Ctrl+X")));
    Copy2->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    Paste2->setShortcut(QKeySequence(QStringLiteral("Ctrl+V")));
    // Text fields handle their own Ctrl+X/C/V; the menu shows them.
    for (QAction *a : { Cut2, Copy2, Paste2 })
        a->setShortcutContext(Qt::WidgetShortcut);

    command(TileVertically1, "TileVertically1", QStringLiteral("&Tile Vertically"), 0,
        [this] { tileVertically(); });
    command(TileHorizontally1, "TileHorizontally1", QStringLiteral("Tile &Horizontally"), 0,
        [this] { tileHorizontally(); });
    command(Cascade2, "Cascade2", QStringLiteral("&Cascade"), 0, [this] { MdiArea->cascadeSubWindows(); });
    command(WindowArrange1, "WindowArrange1", QStringLiteral("&Arrange"), 0, [this] {
        // Minimised windows line up along the bottom; tiling does that.
        MdiArea->tileSubWindows();
    });

    command(ActHelpContents, "ActHelpContents", QStringLiteral("&Contents"), 0, [this] { Contents1Click(); });
    // The menu shows F1 beside Contents; the key itself opens the topic of
    // the control that has the focus (the contents when it has none).
    ActHelpContents->setShortcut(QKeySequence(Qt::Key_F1));
    ActHelpContents->setShortcutContext(Qt::WidgetShortcut);
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::ApplicationShortcut);
    connect(f1, &QShortcut::activated, this, [] {
        QWidget *focus = QApplication::focusWidget();
        if (focus)
            plumora::ui::showHelpFor(focus);
        else
            plumora::ui::showHelpContents();
    });
    command(ActHelpIndex, "ActHelpIndex", QStringLiteral("&Index"), 0, [this] { Index1Click(); });
    command(ActHowToHelp, "ActHowToHelp", QStringLiteral("&How to Use Help"), 0,
        [this] { HowtoUseHelp1Click(); });
    command(ActAbout, "ActAbout", QStringLiteral("About..."), 0, [this] { About1Click(); });
}

void TfrmMain::createMenus()
{
    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    File1->setProperty("helpContext", 100);
    File1->addActions({ ActNew, ActOpen, ActSave, ActionSaveAs });
    File1->addSeparator();
    File1->addAction(ActExit);

    Edit1 = menuBar()->addMenu(QStringLiteral("&Edit"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setProperty("helpContext", 200);
    Edit1->addActions({ Cut2, Copy2, Paste2 });
    connect(Edit1, &QMenu::aboutToShow, this, &TfrmMain::UpdateIdleCommands);

    Window1 = menuBar()->addMenu(QStringLiteral("&Window"));
    Window1->setObjectName(QStringLiteral("Window1"));
    Window1->setProperty("helpContext", 400);
    connect(Window1, &QMenu::aboutToShow, this, &TfrmMain::fillWindowMenu);
    fillWindowMenu();

    Help1 = menuBar()->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Help1->setProperty("helpContext", 500);
    Help1->addActions({ ActHelpContents, ActHelpIndex, ActHowToHelp });
    Help1->addSeparator();
    Help1->addAction(ActAbout);
}

void TfrmMain::fillWindowMenu()
{
    Window1->clear();
    Window1->addActions({ TileVertically1, TileHorizontally1, Cascade2, WindowArrange1 });
    const QList<QMdiSubWindow *> windows = MdiArea->subWindowList();
    if (!windows.isEmpty())
        Window1->addSeparator();
    int number = 1;
    for (QMdiSubWindow *sub : windows) {
        QString title = sub->windowTitle();
        title.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction *item
            = Window1->addAction(number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(title) : title);
        item->setCheckable(true);
        item->setChecked(sub == MdiArea->activeSubWindow());
        connect(item, &QAction::triggered, this, [this, sub] { MdiArea->setActiveSubWindow(sub); });
        ++number;
    }
}

void TfrmMain::createToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("Main Toolbox"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setIconSize(QSize(16, 15));
    ToolBar1->addAction(ActNew);
    ToolBar1->addAction(ActOpen);
    ToolBar1->addAction(ActSave);
    ToolBar1->addSeparator();
    // Clipboard buttons that are bound to no command: they stay disabled.
    for (const auto &[kind, hint] :
        { std::pair { "cut", "Cut" }, { "copy", "Copy" }, { "paste", "Paste" } }) {
        QAction *button
            = ToolBar1->addAction(drawnIcon(QString::fromLatin1(kind)), QString::fromLatin1(hint));
        button->setObjectName(QStringLiteral("ToolButton") + QString::fromLatin1(hint));
        button->setEnabled(false);
    }
}

void TfrmMain::createStatusBar()
{
    StatusBar1 = new TStatusPanels(
        [this](QPainter &p, int panel, const QRect &r) { StatusBar1DrawPanel(p, panel, r); });
    statusBar()->addPermanentWidget(StatusBar1);
    statusBar()->setToolTip(QStringLiteral("Graphic, Audio, & Total file size limits "));

    // Long imports and strip saves report their progress here.
    ProgressBar1 = new QProgressBar;
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setMaximumWidth(160);
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    ProgressBar1->hide();
    statusBar()->addWidget(ProgressBar1);
    AnimationProgressSink()
        = [bar = QPointer<QProgressBar>(ProgressBar1)](TProgressStage stage, int percent) {
              if (!bar)
                  return;
              if (stage == TProgressStage::Starting) {
                  bar->setValue(0);
                  bar->show();
              } else if (stage == TProgressStage::Running) {
                  bar->setValue(percent);
              } else {
                  bar->hide();
              }
          };
}

void TfrmMain::StatusBar1DrawPanel(QPainter &painter, int panel, const QRect &rect)
{
    TfrmGestureWindow *window = ActiveGestureWindow();
    if (!window)
        return;
    const TZQGesture *gesture = window->gesture;
    const int size = panel == 1 ? gesture->AnimationSize()
        : panel == 3            ? gesture->AudioSize()
                                : gesture->GestureSize();
    painter.setFont(StatusBar1->font());
    DrawSizeGauge(painter, rect, panel, size, palette().color(QPalette::Button));
}

TfrmGestureWindow *TfrmMain::ActiveGestureWindow() const
{
    QMdiSubWindow *sub = MdiArea->activeSubWindow();
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
    for (QMdiSubWindow *sub : MdiArea->subWindowList())
        if (auto *window = qobject_cast<TfrmGestureWindow *>(sub->widget());
            window && !window->IsDestroying())
            windows << window;
    return windows;
}

void TfrmMain::UpdateFileCommands()
{
    StatusBar1->update();
    if (m_destroying)
        return;
    TfrmGestureWindow *window = ActiveGestureWindow();
    if (!window) {
        ActSave->setEnabled(false);
        ActionSaveAs->setEnabled(false);
        return;
    }
    const TZQGesture *gesture = window->gesture;
    const bool valid = gesture && gesture->Valid();
    // Edits that the gesture does not count as modifications (moving or
    // deleting frames, a new button picture) must still be savable.
    ActSave->setEnabled(valid && (gesture->Modified() || window->UnsavedChanges));
    ActionSaveAs->setEnabled(valid);
}

void TfrmMain::UpdateIdleCommands()
{
    if (m_destroying)
        return;
    QLineEdit *field = focusedTextField();
    const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
    Cut2->setEnabled(field && field->hasSelectedText() && !field->isReadOnly());
    Copy2->setEnabled(field && field->hasSelectedText());
    Paste2->setEnabled(field && !field->isReadOnly() && clip && clip->hasText());
    const bool anyWindow = !GestureWindows().isEmpty();
    for (QAction *a : { TileVertically1, TileHorizontally1, Cascade2, WindowArrange1 })
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
    if (sub) {
        if (auto *window = qobject_cast<TfrmGestureWindow *>(sub->widget()); window && window->framesMenu) {
            m_mergedMenu = window->framesMenu->menuAction();
            menuBar()->insertAction(Window1->menuAction(), m_mergedMenu);
        }
    }
    UpdateFileCommands();
    UpdateIdleCommands();
}

TfrmGestureWindow *TfrmMain::addGestureWindow()
{
    auto *window = new TfrmGestureWindow(this);
    QMdiSubWindow *sub = MdiArea->addSubWindow(window);
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
    MdiArea->setActiveSubWindow(sub);
    return window;
}

TfrmGestureWindow *TfrmMain::New1Click()
{
    TfrmGestureWindow *window = addGestureWindow();
    UpdateFileCommands();
    return window;
}

void TfrmMain::Open1Click()
{
    struct Refresh
    {
        TfrmMain *main;
        ~Refresh() { main->UpdateFileCommands(); }
    } refresh { this };
    if (!OpenGestureDialog1->Execute())
        return;
    const QString path = OpenGestureDialog1->FileName();
    TfrmGestureWindow *window = addGestureWindow();
    try {
        window->OpenGesture(path);
    } catch (...) {
        // A file that does not read leaves no empty window behind.
        window->UnsavedChanges = false;
        if (QWidget *sub = window->parentWidget())
            delete sub;
        throw;
    }
    m_keys->setGestureOpenDir(folderOf(path));
}

void TfrmMain::Save1Click(QObject *Sender)
{
    TfrmGestureWindow *target = qobject_cast<TfrmGestureWindow *>(Sender);
    if (!target)
        target = ActiveGestureWindow();
    if (target) {
        TZQGesture *gesture = target->gesture;
        if (gesture->Filename().isEmpty()) {
            SaveAs1Click(target);
            return;
        }
        gesture->SaveToFile(gesture->Filename());
        target->UnsavedChanges = false;
    }
    UpdateFileCommands();
}

void TfrmMain::SaveAs1Click(TfrmGestureWindow *target)
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
    if (!SaveGestureDialog1->Execute())
        return;
    const QString path = SaveGestureDialog1->FileName();
    TZQGesture *gesture = target->gesture;
    gesture->SaveToFile(path);
    // The saved file becomes the gesture's file: later Saves go there.
    gesture->RenameTo(path);
    target->setWindowTitle(path);
    if (QWidget *sub = target->parentWidget())
        sub->setWindowTitle(path);
    m_keys->setGestureSaveDir(folderOf(path));
    target->UnsavedChanges = false;
}

void TfrmMain::Exit1Click()
{
    close();
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    // Each gesture window may refuse (Cancel in its close prompt).
    for (QMdiSubWindow *sub : MdiArea->subWindowList()) {
        if (!sub->close()) {
            event->ignore();
            return;
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_keys->setWindowPosition(pos());
    m_keys->setWindowSize(QPoint(width(), height()));
    m_destroying = true;
    event->accept();
}

void TfrmMain::RestorePlacement()
{
    const QPoint position = m_keys->WindowPosition();
    const QPoint size = m_keys->WindowSize();
    move(position);
    resize(size.x(), size.y());
    UpdateFileCommands();
}

void TfrmMain::About1Click()
{
    // Every About makes one more box; they go with the main window.
    auto *box = new TAboutBox(this);
    plumora::ui::execDialog(*box);
}

void TfrmMain::Contents1Click()
{
    plumora::ui::showHelpContents();
}

void TfrmMain::Index1Click()
{
    plumora::ui::showHelpIndex();
}

void TfrmMain::HowtoUseHelp1Click()
{
    plumora::ui::showHowToUseHelp();
}

void TfrmMain::tileVertically()
{
    // Side by side: each window gets the full height and an equal width.
    const QList<QMdiSubWindow *> windows = MdiArea->subWindowList();
    if (windows.isEmpty())
        return;
    const QRect area = MdiArea->viewport()->rect();
    const int w = area.width() / int(windows.size());
    int x = 0;
    for (QMdiSubWindow *sub : windows) {
        sub->showNormal();
        sub->setGeometry(x, 0, w, area.height());
        x += w;
    }
}

void TfrmMain::tileHorizontally()
{
    const QList<QMdiSubWindow *> windows = MdiArea->subWindowList();
    if (windows.isEmpty())
        return;
    const QRect area = MdiArea->viewport()->rect();
    const int h = area.height() / int(windows.size());
    int y = 0;
    for (QMdiSubWindow *sub : windows) {
        sub->showNormal();
        sub->setGeometry(0, y, area.width(), h);
        y += h;
    }
}
