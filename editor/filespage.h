#pragma once
// TFilesPage: the gesture window's Files page (filespage.ui). The tagline and
// author fields, the three rows that say where the button picture, the
// animation and the sound came from with their Load and Save buttons, and the
// preview button. Every control is bound to the gesture once: editing a
// field sets the gesture's property as one step of the history, and the
// gesture's signals set the controls, so the page holds no copy of the
// document. What the Load and Save buttons do is the window's: the page asks
// for it with its signals.
#include "gesture/zqgesture.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class TGestureHistory;
class QLabel;
class QLineEdit;
class QPushButton;
namespace Ui {
class TFilesPage;
}

class TFilesPage : public QWidget
{
    Q_OBJECT

public:
    TFilesPage(TZQGesture &gesture, TGestureHistory &history, QWidget *parent = nullptr);
    ~TFilesPage() override;

    // The control that has the focus when the window opens.
    QWidget *FirstField() const;
    // The part whose row holds a point of the page (for files dropped on
    // it): the Button row and the preview button, the Animation row, the
    // Audio row; nothing elsewhere.
    std::optional<TGesturePart> PartAt(QPoint point) const;
    // The preview button shows the 18 x 18 picture enlarged by factor
    // (1 to 3, nearest neighbour), as the preview is zoomed.
    void setButtonZoom(int factor);

signals:
    void loadRequested(TGesturePart part);
    void saveRequested(TGesturePart part);
    // The Audio row's Remove: make the gesture silent.
    void removeSoundRequested();
    // The preview button: play the gesture.
    void playRequested();
    // A short note for the status bar (a character a field refused).
    void noteRequested(const QString &note);

private:
    // Typing into the field sets the gesture's text as one step.
    void bindTextField(
        QLineEdit *field, const QString &stepName, int merge, std::function<void(const QString &)> set);
    void showOrigin(TGesturePart part);
    void showGlyph();
    QLabel *originLabel(TGesturePart part) const;

    TZQGesture &m_gesture;
    TGestureHistory &m_history;
    std::unique_ptr<Ui::TFilesPage> ui;
    QPushButton *audioRemoveButton = nullptr;
    int m_buttonZoom = 1;
};
