#pragma once
// TFrameCommands: the gesture window's frame editing. The "Frames" menu and
// the preview's and timeline's pop-up menu: cutting, copying and pasting
// the selected frames through the system clipboard, deleting, duplicating,
// reversing them, moving them to either end, keeping only them, inserting a
// blank frame, moving the current frame one place, removing the sound, and
// the keys that reach them: the menus' keys anywhere in the window, Ctrl
// with the keypad's plus and minus, zooming with Ctrl and plus or minus, and
// with the preview or the timeline focused the arrows, Home, End, Delete and
// Insert. Each edit is one step of the history. The items are enabled from
// the gesture's state and the selection as they change.
#include <QImage>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

class QAction;
class QKeyEvent;
class QMenu;
class QWidget;
class TGestureHistory;
class TPreviewPane;
class TTimeline;
class TZQGesture;

class TFrameCommands : public QObject
{
    Q_OBJECT

public:
    // window holds the keys and is the parent of the questions; framesMenu
    // is the window's "Frames" menu, which gets the items.
    TFrameCommands(QWidget &window, TZQGesture &gesture, TGestureHistory &history, TPreviewPane &preview,
        TTimeline &timeline, QMenu &framesMenu);
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
    void KeepOnlySelected();
    // Inserts pictures (and the first picture of each file) before place,
    // fitted to the frame size as Paste fits them, as one step.
    void InsertPictures(const QList<QImage> &pictures, const QList<QUrl> &files, int place);
    // Drops the gesture's sound, as one step.
    void RemoveSound();

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
    // The selected frames (the current one at least, while there are frames).
    QVector<int> selection() const;
    // Inserts the pictures before place and selects them, as one step.
    void insertFitted(QList<QImage> pictures, int place, const QString &stepName);

    QWidget &m_window;
    TZQGesture &m_gesture;
    TGestureHistory &m_history;
    TPreviewPane &m_preview;
    TTimeline &m_timeline;
    QMenu *m_popup = nullptr;
    // The items that need frames, Paste, the moves forward and backward, and
    // Reverse, in both menus.
    QList<QAction *> m_onFrame, m_paste, m_forward, m_backward, m_toStart, m_toEnd, m_reverse, m_keepOnly,
        m_sound;
    std::unique_ptr<QObject> m_keys;
};
