// The main window's File commands and the way out: new gesture windows,
// opening gesture files (by the dialog, by name, or dropped on the window),
// saving a gesture to its file or to a chosen one, and closing, where every
// gesture window is asked first.
#include "mainwindow.h"

#include "editor/filedialogs.h"
#include "editor/filedrops.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "gesturedialogs.h"
#include "platform/errors.h"
#include "platform/plumorakeys.h"
#include "platform/ui/application.h"
#include "platform/ui/cursors.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <utility>

namespace {

// Encoding a long animation takes a while: the busy cursor shows until the
// file is written or the save has failed.
void saveGesture(TZQGesture &gesture, const QString &path)
{
    const plumora::ui::BusyCursor busy;
    gesture.SaveToFile(path);
}

} // namespace

TfrmGestureWindow *TfrmMain::newGestureWindow()
{
    TfrmGestureWindow *window = addGestureWindow();
    UpdateFileCommands();
    return window;
}

void TfrmMain::openGestureFile()
{
    struct Refresh
    {
        TfrmMain *main;
        ~Refresh() { main->UpdateFileCommands(); }
    } refresh { this };
    if (!openGestureDialog->Execute())
        return;
    const QString path = openGestureDialog->FileName();
    openGesturePath(path);
    m_keys->setGestureOpenDir(FolderOf(path));
}

TfrmGestureWindow *TfrmMain::openGesturePath(const QString &path)
{
    // Opening lets pending input run part-way through; a close of the main
    // window that comes in then waits until the file is open (see closeEvent).
    struct Opening
    {
        TfrmMain *main;
        explicit Opening(TfrmMain *m) : main(m) { ++main->m_opening; }
        ~Opening()
        {
            if (--main->m_opening == 0 && std::exchange(main->m_closeWhenOpen, false))
                QTimer::singleShot(0, main, plumora::ui::guardedCallback([main = main] { main->close(); }));
        }
    } opening(this);
    TfrmGestureWindow *window = addGestureWindow();
    try {
        window->OpenGesture(path);
    } catch (...) {
        // A file that does not read leaves no empty window behind, and the
        // message says why it did not.
        const TZQGesture *gesture = window->Gesture();
        const QString reason = gesture->Valid() ? QString() : gesture->LastReadErrorMessage(path);
        if (QWidget *sub = window->parentWidget())
            delete sub;
        if (!reason.isEmpty())
            throw PlumoraError(reason);
        throw;
    }
    UpdateFileCommands();
    return window;
}

void TfrmMain::openGestureFiles(const QStringList &paths)
{
    // Relative names are taken from the current folder; the window's title
    // shows the full path, as after Open.
    for (const QString &path : paths)
        plumora::ui::guarded([&] { openGesturePath(QFileInfo(path).absoluteFilePath()); });
}

void TfrmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (!DroppedFiles(*event->mimeData(), { QStringLiteral("ZQA") }).isEmpty())
        AcceptFileDrop(*event);
    else
        event->ignore();
}

void TfrmMain::dropEvent(QDropEvent *event)
{
    const QStringList paths = DroppedFiles(*event->mimeData(), { QStringLiteral("ZQA") });
    if (paths.isEmpty() || !AcceptFileDrop(*event))
        return;
    // Opened once the drop is over: the source waits for its answer, and
    // opening may show a message box.
    QTimer::singleShot(0, this, [this, paths] { openGestureFiles(paths); });
}

void TfrmMain::saveGestureWindow(TfrmGestureWindow *target)
{
    if (!target)
        target = ActiveGestureWindow();
    if (target) {
        TZQGesture *gesture = target->Gesture();
        if (gesture->Filename().isEmpty()) {
            saveGestureWindowAs(target);
            return;
        }
        saveGesture(*gesture, gesture->Filename());
    }
    UpdateFileCommands();
}

void TfrmMain::saveGestureWindowAs(TfrmGestureWindow *target)
{
    struct Refresh
    {
        TfrmMain *main;
        ~Refresh() { main->UpdateFileCommands(); }
    } refresh { this };
    if (!target)
        target = ActiveGestureWindow();
    if (!target)
        return;
    if (!saveGestureDialog->Execute())
        return;
    const QString path = saveGestureDialog->FileName();
    TZQGesture *gesture = target->Gesture();
    saveGesture(*gesture, path);
    // The saved file becomes the gesture's file: later Saves go there.
    gesture->RenameTo(path);
    target->setWindowTitle(path);
    if (QWidget *sub = target->parentWidget())
        sub->setWindowTitle(path);
    m_keys->setGestureSaveDir(FolderOf(path));
}

void TfrmMain::exitProgram()
{
    close();
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    // An error while the gesture windows close keeps the program open, with
    // every window that was not closed yet and its work.
    event->ignore();
    bool windowsClosed = false;
    plumora::ui::guarded([&] { windowsClosed = closeGestureWindows(); });
    if (!windowsClosed)
        return;
    // Every gesture is closed now, saved or given up as the user answered, so
    // nothing is lost when the program ends without its placement. A store
    // that cannot be written is reported once and the program still ends:
    // refusing would keep the user in a program that cannot be left.
    plumora::ui::guarded([&] { storePlacement(); });
    m_destroying = true;
    event->accept();
}

bool TfrmMain::closeGestureWindows()
{
    // Closing would free the window that a file is being opened into.
    if (m_opening > 0) {
        m_closeWhenOpen = true;
        return false;
    }
    // Each gesture window may refuse (Cancel in its close prompt).
    for (QMdiSubWindow *sub : mdiArea->subWindowList()) {
        if (!sub->close())
            return false;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}
