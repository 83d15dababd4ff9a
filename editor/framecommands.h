#pragma once
// TFrameCommands: the gesture window's frame editing. The "Frames" menu and
// the preview's pop-up menu, cutting, copying and pasting single frames
// through the system clipboard, deleting, inserting and duplicating frames,
// moving a frame one place or to either end, reversing the order, and the
// keys that reach them: the menus' keys anywhere in the window, Ctrl with
// the keypad's plus and minus, and with the preview focused the arrows, Home,
// End, Delete and Insert. Each edit is one step of the history. The items
// are enabled from the gesture's state as it changes.
#include <QObject>

#include <functional>
#include <memory>

class QAction;
class QKeyEvent;
class QMenu;
class QWidget;
class TGestureHistory;
class TPreviewPane;
class TZQGesture;

class TFrameCommands : public QObject
{
    Q_OBJECT

public:
    // window holds the keys and is the parent of the questions; framesMenu
    // is the window's "Frames" menu, which gets the items.
    TFrameCommands(QWidget &window, TZQGesture &gesture, TGestureHistory &history, TPreviewPane &preview,
        QMenu &framesMenu);
    ~TFrameCommands() override;

    // Adds an item for a command of the window's (Fit Animation) to both
    // menus, after a separator, enabled while the gesture has frames.
    void AddFrameItem(const QString &caption, const QString &name, std::function<void()> run);

    void CopyFrame();
    void CutFrame();
    void PasteFrame();
    void DeleteFrame();
    void InsertBlankFrame();
    void DuplicateFrame();
    void ReverseFrames();
    void MoveForward();
    void MoveBackward();
    void MoveToStart();
    void MoveToEnd();

    // Enables the items as the gesture and the clipboard now are.
    void UpdateItems();

private:
    // Insert and Delete let go of on the slider, the preview's keys.
    bool frameKey(QObject *watched, QEvent *event);
    struct Item;
    void buildMenus(QMenu &framesMenu);
    void moveCurrent(int step);
    void moveCurrentTo(bool end);
    bool previewKey(QKeyEvent *event);
    bool confirm(const QString &question);

    QWidget &m_window;
    TZQGesture &m_gesture;
    TGestureHistory &m_history;
    TPreviewPane &m_preview;
    QMenu *m_popup = nullptr;
    // The items that need frames, Paste, the moves forward and backward, and
    // Reverse, in both menus.
    QList<QAction *> m_onFrame, m_paste, m_forward, m_backward, m_reverse;
    std::unique_ptr<QObject> m_keys;
};
