#pragma once
// TfrmMain: the multiple-document main window. It owns the commands, menus,
// tool bar and status bar with the size gauges, creates one gesture window
// per open gesture, runs the gesture dialogs and writes gestures.
#include "editor/gesturehost.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QToolBar;
class TfrmGestureWindow;
class TOpenGestureDialog;
class TSaveGestureDialog;
class TPlumoraKeys;
class TStatusPanels;

class TfrmMain : public QMainWindow, public IGestureHost
{
    Q_OBJECT

public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // IGestureHost
    void UpdateFileCommands() override;
    void Save1Click(QObject *Sender) override;
    TPlumoraKeys &Keys() override { return *m_keys; }
    bool Destroying() const override { return m_destroying; }

    void SaveAs1Click(TfrmGestureWindow *target = nullptr);
    TfrmGestureWindow *New1Click();
    void Open1Click();
    void Exit1Click();
    void About1Click();
    void Contents1Click();
    void Index1Click();
    void HowtoUseHelp1Click();

    // Draws one of the gauge panels (1, 3 or 5) of the status bar.
    void StatusBar1DrawPanel(QPainter &painter, int panel, const QRect &rect);

    // Puts the window where the settings store says it was last closed.
    void RestorePlacement();
    // Brings the clipboard and window commands up to date (run when idle).
    void UpdateIdleCommands();

    TfrmGestureWindow *ActiveGestureWindow() const;
    QList<TfrmGestureWindow *> GestureWindows() const;

    QMdiArea *MdiArea = nullptr;
    TOpenGestureDialog *OpenGestureDialog1 = nullptr;
    TSaveGestureDialog *SaveGestureDialog1 = nullptr;
    TStatusPanels *StatusBar1 = nullptr;
    QToolBar *ToolBar1 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QMenu *File1 = nullptr;
    QMenu *Edit1 = nullptr;
    QMenu *Window1 = nullptr;
    QMenu *Help1 = nullptr;

    QAction *ActNew = nullptr;
    QAction *ActOpen = nullptr;
    QAction *ActSave = nullptr;
    QAction *ActionSaveAs = nullptr;
    QAction *ActExit = nullptr;
    QAction *Cut2 = nullptr;
    QAction *Copy2 = nullptr;
    QAction *Paste2 = nullptr;
    QAction *TileVertically1 = nullptr;
    QAction *TileHorizontally1 = nullptr;
    QAction *Cascade2 = nullptr;
    QAction *WindowArrange1 = nullptr;
    QAction *ActHelpContents = nullptr;
    QAction *ActHelpIndex = nullptr;
    QAction *ActHowToHelp = nullptr;
    QAction *ActAbout = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createCommands();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    TfrmGestureWindow *addGestureWindow();
    void subWindowActivated(QMdiSubWindow *window);
    void fillWindowMenu();
    void tileVertically();
    void tileHorizontally();

    std::unique_ptr<TPlumoraKeys> m_keys;
    bool m_destroying = false;
    // Goes null by itself when the window that owns the menu is destroyed.
    QPointer<QAction> m_mergedMenu;
};
