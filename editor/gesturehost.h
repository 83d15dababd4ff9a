#pragma once
// What a gesture window needs from the main window that holds it. The main
// window implements this; the editor does not depend on the application.
// (The main window follows each window's gesture through its signals: Save,
// Save As and the gauges need no call from the window.)
#include "gesture/animationimport.h"

#include <QSize>

#include <optional>

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
    // Shows how far a long import or strip save has got: Starting once,
    // Running with rising percentages, Ending once however it ends.
    virtual void ShowProgress(TProgressStage stage, int percent) = 0;
    // Asks how a single picture of the given size is cut into frames;
    // nothing when the user cancels. One dialog serves every window for the
    // whole run, so it offers the last choice again.
    virtual std::optional<TFrameSplit> AskFrameSplit(QSize picture) = 0;

protected:
    ~IGestureHost() = default;
};
