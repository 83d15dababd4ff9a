// The main window's commands, menus and tool bar: the File, Edit, Window and
// Help menus with their commands, the tool bar's buttons, and the clipboard
// and window commands that follow the focus. Each menu is built in one
// place, with its commands, so a new command goes into one function.
#include "aboutbox.h"
#include "editor/gesturewindow.h"
#include "mainwindow.h"
#include "platform/errors.h"
#include "platform/plumorakeys.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QToolBar>
#include <QUndoGroup>

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

QLineEdit *focusedTextField()
{
    return qobject_cast<QLineEdit *>(QApplication::focusWidget());
}

} // namespace

QAction *TfrmMain::addCommand(
    const char *name, const QString &caption, int helpContext, std::function<void()> handler)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    if (helpContext)
        action->setProperty("helpContext", helpContext);
    connect(action, &QAction::triggered, this, plumora::ui::guardedCallback(std::move(handler)));
    return action;
}

void TfrmMain::createMenus()
{
    createFileMenu();
    createEditMenu();
    createWindowMenu();
    createHelpMenu();
}

void TfrmMain::createFileMenu()
{
    newAction = addCommand("newAction", QStringLiteral("New..."), 110, [this] { newGestureWindow(); });
    openAction = addCommand("openAction", QStringLiteral("Open..."), 120, [this] { openGestureFile(); });
    saveAction
        = addCommand("saveAction", QStringLiteral("Save"), 130, [this] { saveGestureWindow(nullptr); });
    saveAsAction
        = addCommand("saveAsAction", QStringLiteral("Save As..."), 140, [this] { saveGestureWindowAs(); });
    exportAction = addCommand("exportAction", QStringLiteral("Export..."), 0, [this] {
        if (TfrmGestureWindow *window = ActiveGestureWindow())
            window->exportGesture();
    });
    revertAction = addCommand(
        "revertAction", QStringLiteral("&Revert to Saved"), 0, [this] { revertGestureWindow(); });
    closeAction
        = addCommand("closeAction", QStringLiteral("&Close"), 0, [this] { closeActiveGestureWindow(); });
    exitAction = addCommand("exitAction", QStringLiteral("Exit"), 170, [this] { exitProgram(); });
    newAction->setShortcut(QKeySequence::New);
    openAction->setShortcut(QKeySequence::Open);
    saveAction->setShortcut(QKeySequence::Save);
    saveAsAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    closeAction->setShortcuts({ QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_F4) });
    newAction->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    openAction->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    saveAction->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    saveAction->setEnabled(false);
    saveAsAction->setEnabled(false);
    exportAction->setEnabled(false);
    revertAction->setEnabled(false);
    closeAction->setEnabled(false);

    fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    fileMenu->setProperty("helpContext", 100);
    fileMenu->addActions({ newAction, openAction });
    recentFilesMenu = fileMenu->addMenu(QStringLiteral("Open Rece&nt"));
    recentFilesMenu->setObjectName(QStringLiteral("recentFilesMenu"));
    fileMenu->addActions({ saveAction, saveAsAction, revertAction, closeAction });
    fileMenu->addSeparator();
    fileMenu->addAction(exportAction);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAction);
    connect(
        fileMenu, &QMenu::aboutToShow, this, plumora::ui::guardedCallback([this] { fillRecentFilesMenu(); }));
    fillRecentFilesMenu();
}

void TfrmMain::fillRecentFilesMenu()
{
    recentFilesMenu->clear();
    // A file that is gone cannot be opened: it leaves the list rather than
    // taking one of its few places.
    const QStringList stored = m_keys->RecentFiles();
    QStringList files;
    for (const QString &path : stored)
        if (QFileInfo(path).isFile())
            files << path;
    // A store that cannot be written is no reason to complain each time the
    // menu opens: the list shown is right either way.
    if (files != stored) {
        try {
            m_keys->setRecentFiles(files);
        } catch (const PlumoraError &) {
        }
    }
    int number = 1;
    for (const QString &path : files) {
        QString title = path;
        title.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction *item = recentFilesMenu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(title));
        connect(item, &QAction::triggered, this, plumora::ui::guardedCallback([this, path] {
            openGesturePath(path);
            UpdateFileCommands();
        }));
    }
    if (!files.isEmpty())
        recentFilesMenu->addSeparator();
    QAction *clear = recentFilesMenu->addAction(QStringLiteral("Clear Recent Files"));
    clear->setObjectName(QStringLiteral("clearRecentFilesAction"));
    clear->setEnabled(!files.isEmpty());
    connect(clear, &QAction::triggered, this, plumora::ui::guardedCallback([this] {
        m_keys->setRecentFiles({});
        fillRecentFilesMenu();
    }));
    recentFilesMenu->setEnabled(!files.isEmpty());
}

void TfrmMain::createEditMenu()
{
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

    cutTextAction = addCommand("cutTextAction", QStringLiteral("Cu&t"), 0, [] {
        if (QLineEdit *field = focusedTextField())
            field->cut();
    });
    copyTextAction = addCommand("copyTextAction", QStringLiteral("&Copy"), 0, [] {
        if (QLineEdit *field = focusedTextField())
            field->copy();
    });
    pasteTextAction = addCommand("pasteTextAction", QStringLiteral("&Paste"), 0, [] {
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

    editMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    editMenu->setObjectName(QStringLiteral("editMenu"));
    editMenu->setProperty("helpContext", 200);
    editMenu->addActions({ undoAction, redoAction });
    editMenu->addSeparator();
    editMenu->addActions({ cutTextAction, copyTextAction, pasteTextAction });
    connect(editMenu, &QMenu::aboutToShow, this, &TfrmMain::UpdateIdleCommands);
}

void TfrmMain::createWindowMenu()
{
    tileVerticallyAction = addCommand("tileVerticallyAction", QStringLiteral("&Tile Vertically"), 0,
        [this] { tileWindows(Qt::Horizontal); });
    tileHorizontallyAction = addCommand("tileHorizontallyAction", QStringLiteral("Tile &Horizontally"), 0,
        [this] { tileWindows(Qt::Vertical); });
    cascadeAction = addCommand(
        "cascadeAction", QStringLiteral("&Cascade"), 0, [this] { mdiArea->cascadeSubWindows(); });
    arrangeAction = addCommand("arrangeAction", QStringLiteral("&Arrange"), 0, [this] { arrangeIcons(); });

    // The menu lists the open windows too: it is filled each time it opens.
    windowMenu = menuBar()->addMenu(QStringLiteral("&Window"));
    windowMenu->setObjectName(QStringLiteral("windowMenu"));
    windowMenu->setProperty("helpContext", 400);
    connect(windowMenu, &QMenu::aboutToShow, this, &TfrmMain::fillWindowMenu);
    fillWindowMenu();
}

void TfrmMain::createHelpMenu()
{
    helpContentsAction = addCommand(
        "helpContentsAction", QStringLiteral("&Contents"), 0, [] { plumora::ui::showHelpContents(); });
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
    helpIndexAction
        = addCommand("helpIndexAction", QStringLiteral("&Index"), 0, [] { plumora::ui::showHelpIndex(); });
    howToUseHelpAction = addCommand(
        "howToUseHelpAction", QStringLiteral("&How to Use Help"), 0, [] { plumora::ui::showHowToUseHelp(); });
    aboutAction = addCommand("aboutAction", QStringLiteral("About..."), 0, [this] { showAboutBox(); });

    helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    helpMenu->setProperty("helpContext", 500);
    helpMenu->addActions({ helpContentsAction, helpIndexAction, howToUseHelpAction });
    helpMenu->addSeparator();
    helpMenu->addAction(aboutAction);
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

void TfrmMain::showAboutBox()
{
    // Every About makes one more box; they go with the main window.
    auto *box = new TAboutBox(this);
    plumora::ui::execDialog(*box);
}
