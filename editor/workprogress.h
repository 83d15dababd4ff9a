#pragma once
// Long work (a clip's frames, a sound's decoding, an export) on a worker
// thread while a progress dialog with Cancel shows how far it has got. The
// window stays painted and takes no other input meanwhile (the dialog is
// modal to it); work done within 300 ms shows no dialog at all. The dialog
// runs through the dialog seam: a test cancels by rejecting it (reject(),
// as its Cancel button does); a dialog that ends otherwise, however it was
// answered, lets the work finish.
#include "gesture/animationimport.h"

#include <QString>

#include <atomic>
#include <functional>

class QWidget;

// The work: reports progress (0..100) through progress and gives up with
// EAbort once cancel is set. It must touch no widget and no object the
// window edits meanwhile.
using TBackgroundWork = std::function<void(const TImportProgress &progress, const std::atomic<bool> &cancel)>;

// Runs work on a worker thread under a progress dialog saying label. True
// when the work finished; false when the user cancelled (whatever the work
// made is then to be dropped). An error of the work is raised again here,
// on the calling thread, once the worker has ended.
bool RunWithProgress(QWidget *parent, const QString &label, const TBackgroundWork &work);

// Asks a question of the user from the work: on the window's thread while
// the worker waits for the answer (directly when called there).
bool AskFromWork(const std::function<bool()> &ask);
