// The main window's File commands and the way out: new gesture windows,
// opening gesture files (by the dialog, by name, or dropped on the window),
// saving a gesture to its file or to a chosen one, and closing, where every
// gesture window is asked first.
#include "editor/filedialogs.h"
#include "editor/filedrops.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "gesturedialogs.h"
#include "mainwindow.h"
#include "platform/errors.h"
#include "platform/plumorakeys.h"
#include "platform/ui/application.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"
#include "recentlyused.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
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

TfrmGestureWindow *TfrmMain::windowForFile(const QString &path) const
{
    // The canonical path resolves links and other spellings; a file that is
    // not there (yet) compares by its cleaned absolute path.
    const auto key = [](const QString &name) {
        const QFileInfo info(name);
        const QString canonical = info.canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    };
    const QString wanted = key(path);
    for (TfrmGestureWindow *window : GestureWindows()) {
        const QString name = window->Gesture()->Filename();
        if (!name.isEmpty() && key(name) == wanted)
            return window;
    }
    return nullptr;
}

void TfrmMain::noteRecentFile(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = m_keys->RecentFiles();
    files.removeIf([&](const QString &name) {
        const QString canonical = QFileInfo(name).canonicalFilePath();
        return name == absolute
            || (!canonical.isEmpty() && canonical == QFileInfo(absolute).canonicalFilePath());
    });
    files.prepend(absolute);
    while (files.size() > TPlumoraKeys::kRecentFiles)
        files.removeLast();
    // The file is open or saved either way: a list that cannot be kept is
    // not worth a message about work that succeeded.
    try {
        m_keys->setRecentFiles(files);
    } catch (const PlumoraError &) {
    }
    plumora::addToRecentlyUsed(absolute);
}

void TfrmMain::revertGestureWindow()
{
    TfrmGestureWindow *window = ActiveGestureWindow();
    if (!window || window->Gesture()->Filename().isEmpty())
        return;
    const auto answer = plumora::ui::messageBox(this, QStringLiteral("Plumora"),
        QStringLiteral("Revert %1 to the saved file? Your changes will be undone (Edit, Undo brings "
                       "them back).")
            .arg(window->Gesture()->Filename()),
        QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    {
        const plumora::ui::BusyCursor busy;
        window->RevertGesture();
    }
    UpdateFileCommands();
}

void TfrmMain::closeActiveGestureWindow()
{
    // The window asks about unsaved changes itself and may stay open.
    if (QMdiSubWindow *sub = mdiArea->activeSubWindow())
        sub->close();
}

TfrmGestureWindow *TfrmMain::openGesturePath(const QString &path)
{
    // A file already open is not opened twice: two windows on one file would
    // each save over the other's work.
    if (TfrmGestureWindow *open = windowForFile(path)) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(open->parentWidget())) {
            if (sub->isMinimized())
                sub->setWindowState(sub->windowState() & ~Qt::WindowMinimized);
            mdiArea->setActiveSubWindow(sub);
        }
        noteRecentFile(open->Gesture()->Filename());
        return open;
    }
    TfrmGestureWindow *window = openGestureWindow(path);
    noteRecentFile(path);
    return window;
}

TfrmGestureWindow *TfrmMain::openGestureWindow(const QString &path)
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
        noteRecentFile(gesture->Filename());
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
    // Saving over a file another window holds would lose that window's work
    // at its next save, or this one's.
    if (TfrmGestureWindow *other = windowForFile(path); other && other != target)
        throw PlumoraError(QStringLiteral("%1 is open in another window. Close that window first, or save "
                                          "the gesture under another name.")
                               .arg(path));
    TZQGesture *gesture = target->Gesture();
    saveGesture(*gesture, path);
    // The saved file becomes the gesture's file: later Saves go there.
    gesture->RenameTo(path);
    target->setWindowTitle(path);
    if (QWidget *sub = target->parentWidget())
        sub->setWindowTitle(path);
    m_keys->setGestureSaveDir(FolderOf(path));
    noteRecentFile(path);
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
