#pragma once
// The "Preview" window of the gesture dialogs: a small tool window that
// loads a gesture file into a gesture of its own and plays it in a view.
// Escape closes it.
#include "gesture/zqgesture.h"
#include "platform/ui/application.h"

#include <QDialog>
#include <QSize>
#include <QString>

#include <memory>

// The most strip pixels a gesture is previewed with: the widest strip at
// about the height of the tallest frame an import makes, so that every
// gesture made here previews. A file that declares more previews as
// "(None)" at once, without being decoded, instead of holding up the dialog
// while the user moves through a folder.
inline constexpr qint64 kPreviewMaxStripPixels = qint64(kMaxStripWidth) * 256;

class QFrame;
class QEvent;
class QKeyEvent;
class TGestureView;

class TPreviewWindow : public QDialog
{
    Q_OBJECT

public:
    // Loads fileName and starts playing it. frameSize is the frame size of
    // the gesture already shown in the dialog; when it is not empty the
    // window is sized so the gesture fits with a 5-pixel border all round.
    TPreviewWindow(const QString &fileName, QSize frameSize, QWidget *owner);

    TZQGesture *Gesture() const { return gesture; }
    TGestureView *GestureView() const { return gestureView; }

    // Inner border of the panel around the gesture, in pixels.
    static constexpr int kBorder = 5;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Sees every key first (the window and its children); Escape closes.
    void closeOnEscape(QKeyEvent *event);
    // The event filter of the panel and the view: true when a key press
    // was Escape, which closed the window.
    bool takeEscape(QEvent *event);

    QFrame *gesturePanel = nullptr;
    TZQGesture *gesture = nullptr;
    TGestureView *gestureView = nullptr;
    std::unique_ptr<plumora::ui::GuardedEventFilter> m_escapeWatch; // takeEscape
};
