#include "workprogress.h"

#include "platform/errors.h"
#include "platform/ui/dialogs.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

bool RunWithProgress(QWidget *parent, const QString &label, const TBackgroundWork &work)
{
    QProgressDialog dialog(label, QStringLiteral("Cancel"), 0, 100, parent);
    dialog.setObjectName(QStringLiteral("workProgressDialog"));
    dialog.setWindowTitle(QStringLiteral("Plumora"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setMinimumDuration(0);
    dialog.setValue(0);
    // Cancel (the button, Escape, closing the dialog) ends the dialog as
    // rejected; the work is then told to stop.
    QObject::disconnect(&dialog, &QProgressDialog::canceled, &dialog, &QProgressDialog::cancel);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, &QDialog::reject);

    std::atomic<bool> cancel { false };
    // Only the dialog's own Cancel (its button, Escape, closing it) cancels:
    // a dialog that ends unanswered leaves the work to finish.
    QObject::connect(&dialog, &QDialog::rejected, &dialog, [&cancel] { cancel = true; });
    std::atomic<int> percent { 0 };
    std::atomic<bool> finished { false };
    std::exception_ptr failure;
    // The bar follows the work's reports a few times a second: the worker
    // never touches the dialog itself.
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        if (dialog.value() != percent.load())
            dialog.setValue(percent.load());
    });
    poll.start();

    const TImportProgress progress = [&percent](TProgressStage stage, int value) {
        if (stage == TProgressStage::Running)
            percent = std::clamp(value, 0, 100);
    };
    std::thread worker([&] {
        try {
            work(progress, cancel);
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
        // Ends the dialog on its own thread; posted events die with it.
        QMetaObject::invokeMethod(
            &dialog, [&dialog] { dialog.accept(); }, Qt::QueuedConnection);
    });
    // Short work ends without a dialog flashing up; a test's responder sees
    // the dialog every time, so that it can press Cancel.
    if (!plumora::ui::hasDialogResponder()) {
        QDeadlineTimer shortWork(300);
        while (!finished && !shortWork.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!finished || plumora::ui::hasDialogResponder())
        plumora::ui::execDialog(dialog);
    // The dialog may end before the work does (Cancel, or a test's answer):
    // questions the work asks meanwhile are still answered here.
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
    worker.join();
    poll.stop();
    if (cancel)
        return false;
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

bool AskFromWork(const std::function<bool()> &ask)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return ask();
    bool answer = false;
    QMetaObject::invokeMethod(
        app, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
    return answer;
}
