#pragma once
// The Play/Stop command of a gesture window: an item in the "Frames" menu,
// one in the preview's pop-up menu (whose key, Space, acts while the
// preview has the focus) and a tool button beside the frame slider. Each
// offers Play while the gesture stands still and Stop while it plays.
#include <QObject>

#include <functional>

class QAction;
class QMenu;
class QToolButton;
class QWidget;

class TPlaybackCommand : public QObject
{
    Q_OBJECT

public:
    struct Hooks
    {
        std::function<bool()> canPlay; // the gesture has frames
        std::function<bool()> playing;
        std::function<void()> play; // as the gesture's options say
        std::function<void()> stop;
    };

    // preview is the widget whose focus makes Space play or stop.
    TPlaybackCommand(QWidget *preview, Hooks hooks, QObject *parent = nullptr);

    // Adds the command's items to the menus; the pop-up's item carries the
    // key.
    void AddTo(QMenu *framesMenu, QMenu *popup);
    // The tool button; the caller places it.
    QToolButton *Button() const { return m_button; }

    // Plays when standing still, stops when playing.
    void Toggle();
    // Brings texts, icons and enabled states in line with the gesture; run
    // after any change and when playback starts or ends.
    void Refresh();

private:
    Hooks m_hooks;
    QAction *m_menuAction = nullptr;
    QAction *m_popupAction = nullptr;
    QToolButton *m_button = nullptr;
};
