#pragma once
// What a gesture window needs from the main window that holds it. The main
// window implements this; the editor does not depend on the application.
// (The main window follows each window's gesture through its signals: Save,
// Save As and the gauges need no call from the window.)
class QString;
class TfrmGestureWindow;
class TPlumoraKeys;

class IGestureHost
{
public:
    // Saves the given gesture window (Save As when it has no file yet).
    virtual void saveGestureWindow(TfrmGestureWindow *window) = 0;
    // The settings store, for the last folders of the file dialogs.
    virtual TPlumoraKeys &Keys() = 0;
    // True while the main window itself is going away.
    virtual bool Destroying() const = 0;
    // Shows a short note in the status bar for a few seconds.
    virtual void ShowStatusNote(const QString &note) = 0;

protected:
    ~IGestureHost() = default;
};
