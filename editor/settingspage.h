#pragma once
// TSettingsPage: the gesture window's Settings page (settingspage.ui): how
// the animation repeats and from which frame, the transparent colour (the
// box, its swatch and the Pick button), the test background, and when the
// sound plays. The options are bound to the gesture once, each change one
// step of the history. The test background and picking are the window's
// (they are not the gesture's): the page shows them and asks for them.
#include "platform/colors.h"

#include <QWidget>

#include <memory>

class TGestureHistory;
class TZQGesture;
namespace Ui {
class TSettingsPage;
}

class TSettingsPage : public QWidget
{
    Q_OBJECT

public:
    TSettingsPage(TZQGesture &gesture, TGestureHistory &history, QWidget *parent = nullptr);
    ~TSettingsPage() override;

    // Shows the test background in its swatch.
    void showTestBackground(TColor colour);
    // Shows whether a colour is being picked (the Pick button down).
    void showPicking(bool picking);

signals:
    // The Pick button was pressed: start (or end) picking a colour.
    void pickRequested(bool start);
    // The test background swatch was clicked or its key pressed.
    void testBackgroundRequested();

private:
    void bindAnimationOptions();
    void bindTransparency();
    void bindAudioOptions();

    TZQGesture &m_gesture;
    TGestureHistory &m_history;
    std::unique_ptr<Ui::TSettingsPage> ui;
    std::unique_ptr<QObject> m_swatchKeys; // the swatch's click and keys
};
