#pragma once
// TfrmMain: the multiple-document main window. It owns the commands, menus,
// tool bar and status bar with the size gauges, creates one gesture window
// per open gesture, runs the gesture dialogs and writes gestures. Each
// control's object name is its member name. The window's frame, status bar
// and host services are in mainwindow.cpp; the commands and menus in
// mainwindow_commands.cpp; the gesture windows and the Window menu in
// mainwindow_windows.cpp; opening, saving and closing in
// mainwindow_files.cpp; the placement in mainwindow_placement.cpp.
#include "editor/gesturehost.h"
#include "platform/ui/application.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QToolBar;
class QUndoGroup;
class TfrmFrameImport;
class TfrmGestureWindow;
class TOpenGestureDialog;
class TSaveGestureDialog;
class TPlumoraKeys;
class TRecoveryStore;
struct TRecoveryEntry;
class TStatusPanels;

class TfrmMain : public QMainWindow, public IGestureHost
{
    Q_OBJECT

public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // Save, Save As and the size gauges as the active gesture now is; run
    // whenever a gesture's state or sizes change, and when another window
    // becomes the active one.
    void UpdateFileCommands();

    // IGestureHost
    void saveGestureWindow(TfrmGestureWindow *window) override;
    TPlumoraKeys &Keys() override { return *m_keys; }
    bool Destroying() const override { return m_destroying; }
    void ShowStatusNote(const QString &note) override;
    void ShowProgress(TProgressStage stage, int percent) override;
    std::optional<TFrameSplit> AskFrameSplit(QSize picture) override;

    // The File commands. Save and Save As act on the given window, or on the
    // active one when none is given; Save runs Save As for a gesture that
    // has no file yet.
    TfrmGestureWindow *newGestureWindow();
    void openGestureFile();
    void saveGestureWindowAs(TfrmGestureWindow *window = nullptr);
    // Opens a gesture file in a window of its own as Open does, without the
    // dialog; a file that does not read raises an error and leaves no window.
    TfrmGestureWindow *openGesturePath(const QString &path);
    // Opens files named outside the program (command line, drops), each as
    // openGesturePath does; an error is shown and the next file still opens.
    void openGestureFiles(const QStringList &paths);
    // Reads the active gesture's file again, after asking; Undo brings the
    // edits back.
    void revertGestureWindow();
    // Closes the active gesture window, asking first about unsaved changes.
    void closeActiveGestureWindow();
    // The window that holds the file at path (another spelling of it, or a
    // link to it, counts as the same file); null when none does.
    TfrmGestureWindow *windowForFile(const QString &path) const;
    // Opens a gesture file in a new window, whether or not it is open, and
    // leaves the recent files alone (a recovery copy is no file to remember).
    TfrmGestureWindow *openGestureWindow(const QString &path);

    // Shows the window where the settings store says it was last closed:
    // its frame's outer left, top and size, moved and shrunk so that the
    // whole title bar is on the screen, and maximised when it was closed
    // maximised. Called once, at start-up, before the window is shown.
    void RestorePlacement();
    // Brings the clipboard and window commands up to date (run when idle).
    void UpdateIdleCommands();

    // Recovery copies (mainwindow_recovery.cpp). StartRecovery, once at
    // start-up, ends the program as Exit does but without asking on SIGTERM
    // and at the session's end (every change kept in its copy), and then
    // offers the copies that earlier runs left. offerRecovery asks whether
    // to recover them (Recover, Discard, Later): a recovered gesture opens
    // with its changes under its own file's name, or untitled.
    void StartRecovery();
    void offerRecovery();
    // Writes the copy of every gesture with unsaved changes now.
    void writeRecoveryCopies();

    TfrmGestureWindow *ActiveGestureWindow() const;
    QList<TfrmGestureWindow *> GestureWindows() const;

protected:
    // Runs guarded, as every handler does: closing gesture windows asks and
    // may save, and storing the placement writes the settings store.
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Commands, menus and tool bar (mainwindow_commands.cpp). Each menu is
    // made, with its commands, by one function.
    QAction *addCommand(
        const char *name, const QString &caption, int helpContext, std::function<void()> handler);
    void createMenus();
    void createFileMenu();
    void createEditMenu();
    void createWindowMenu();
    void createHelpMenu();
    void createToolBar();
    void showAboutBox();
    // The recent files submenu, filled each time the File menu opens; files
    // that no longer exist are dropped from the list then.
    void fillRecentFilesMenu();
    // Puts path first in the program's recent files and the desktop's list.
    void noteRecentFile(const QString &path);

    // The status bar (mainwindow.cpp). Draws one of the gauge panels (1, 3
    // or 5).
    void createStatusBar();
    void drawGauge(QPainter &painter, int panel, const QRect &rect);

    // Gesture windows and the Window menu (mainwindow_windows.cpp).
    TfrmGestureWindow *addGestureWindow();
    void subWindowActivated(QMdiSubWindow *window);
    void fillWindowMenu();
    // Tiles the windows that are not minimised side by side (Qt::Horizontal)
    // or one above the other, none below its minimum size.
    void tileWindows(Qt::Orientation orientation);
    void arrangeIcons();

    // Closing (mainwindow_files.cpp): the gesture windows, each of which may
    // refuse (false; also while a file is being opened), then the placement,
    // stored for the next start.
    void exitProgram();
    bool closeGestureWindows();

    TRecoveryStore &recoveryStore();
    void attachAutosave(TfrmGestureWindow *window);
    void recoverGesture(const TRecoveryEntry &entry);
    void endSession();

    // Placement (mainwindow_placement.cpp).
    void storePlacement();
    // Keeps the normal placement up to date once the window is placed.
    void followFrame();
    // Watches what the window system reports about the window while placing.
    bool watchPlacement(QObject *watched, QEvent *event);
    // While placing: once the window manager has framed the window, gives
    // the frame the stored place and size, correcting until it is there.
    void settlePlacement();

    QMdiArea *mdiArea = nullptr;
    TOpenGestureDialog *openGestureDialog = nullptr;
    TSaveGestureDialog *saveGestureDialog = nullptr;
    // Made on the first question and kept, so every import of the run is
    // offered the last choice.
    TfrmFrameImport *frameImportDialog = nullptr;
    TStatusPanels *statusPanels = nullptr;
    QToolBar *mainToolBar = nullptr;
    QProgressBar *progressBar = nullptr; // long imports and strip saves
    QMenu *fileMenu = nullptr;
    QMenu *editMenu = nullptr;
    QMenu *windowMenu = nullptr;
    QMenu *helpMenu = nullptr;

    QAction *newAction = nullptr;
    QAction *openAction = nullptr;
    QAction *saveAction = nullptr;
    QAction *saveAsAction = nullptr;
    QAction *exportAction = nullptr;
    QAction *revertAction = nullptr;
    QAction *closeAction = nullptr;
    QMenu *recentFilesMenu = nullptr;
    QAction *exitAction = nullptr;
    // Undo and Redo act on the active gesture window's history.
    QUndoGroup *undoGroup = nullptr;
    QAction *undoAction = nullptr;
    QAction *redoAction = nullptr;
    // The Edit menu's other commands act on the focused text field.
    QAction *cutTextAction = nullptr;
    QAction *copyTextAction = nullptr;
    QAction *pasteTextAction = nullptr;
    QAction *tileVerticallyAction = nullptr;
    QAction *tileHorizontallyAction = nullptr;
    QAction *cascadeAction = nullptr;
    QAction *arrangeAction = nullptr;
    QAction *helpContentsAction = nullptr;
    QAction *helpIndexAction = nullptr;
    QAction *howToUseHelpAction = nullptr;
    QAction *aboutAction = nullptr;

    std::unique_ptr<TPlumoraKeys> m_keys;
    // Shared with the gesture windows' autosaves, which may outlive it.
    std::shared_ptr<TRecoveryStore> m_recovery;
    bool m_destroying = false;
    // The frame's outer rectangle in the normal state (neither maximised nor
    // minimised). While m_placing, the window waits for the window manager
    // to frame it, to give the frame the stored place and size, and
    // m_placingTries counts the corrections made so far.
    QRect m_normalFrame;
    bool m_placing = false;
    int m_placingTries = 0;
    static constexpr int kPlacingTries = 6;
    QTimer m_placingCheck;
    // The event filter of watchPlacement; it goes before the members it uses.
    std::unique_ptr<plumora::ui::GuardedEventFilter> m_placingWatch;
    // Files being opened, and a close that waits for them.
    int m_opening = 0;
    bool m_closeWhenOpen = false;
    // Goes null by itself when the window that owns the menu is destroyed.
    QPointer<QAction> m_mergedMenu;
};
