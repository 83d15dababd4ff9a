// The main window's recovery copies: one autosave per gesture window, the
// offer of the copies that an earlier run left (a crash, a kill), and the
// end of a session or a SIGTERM, which keeps every change in a copy and
// ends the program without asking.
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "gestureautosave.h"
#include "mainwindow.h"
#include "platform/plumorakeys.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"
#include "recoverystore.h"
#include "terminationwatch.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>

TRecoveryStore &TfrmMain::recoveryStore()
{
    if (!m_recovery)
        m_recovery = std::make_shared<TRecoveryStore>();
    return *m_recovery;
}

void TfrmMain::attachAutosave(TfrmGestureWindow *window)
{
    recoveryStore();
    new TGestureAutosave(*window, m_recovery, m_keys->AutosaveSeconds() * 1000,
        [this](const QString &note) { ShowStatusNote(note); });
}

void TfrmMain::StartRecovery()
{
    recoveryStore();
    new TTerminationWatch(plumora::ui::guardedCallback([this] { endSession(); }), this);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
        plumora::ui::guardedCallback([this](QSessionManager &) { endSession(); }));
    QTimer::singleShot(0, this, plumora::ui::guardedCallback([this] {
        offerRecovery();
        // For the tests that run the program: one edit of the active gesture,
        // announced on the standard output once made.
        const QString tagline = qEnvironmentVariable("PLUMORA_TEST_TAGLINE");
        if (TfrmGestureWindow *window = ActiveGestureWindow(); window && !tagline.isEmpty()) {
            window->Gesture()->setTagline(tagline);
            window->Gesture()->setUnsavedChanges(true);
            std::fputs("edited\n", stdout);
            std::fflush(stdout);
        }
    }));
}

void TfrmMain::offerRecovery()
{
    const QList<TRecoveryEntry> entries = recoveryStore().orphans();
    if (entries.isEmpty())
        return;
    QStringList lines;
    for (const TRecoveryEntry &entry : entries)
        lines << QStringLiteral("%1 (%2)").arg(entry.original.isEmpty() ? entry.title : entry.original,
            QLocale().toString(entry.time.toLocalTime(), QLocale::ShortFormat));
    QMessageBox box(QMessageBox::Question, QStringLiteral("Plumora"),
        QStringLiteral("Plumora ended without saving these gestures:\n\n%1\n\nDo you want to recover them?")
            .arg(lines.join(QLatin1Char('\n'))),
        QMessageBox::Yes | QMessageBox::Discard | QMessageBox::Ignore, this);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Recover"));
    box.button(QMessageBox::Discard)->setText(QStringLiteral("&Discard"));
    box.button(QMessageBox::Ignore)->setText(QStringLiteral("&Later"));
    box.setDefaultButton(QMessageBox::Yes);
    const int answer = plumora::ui::execDialog(box);
    if (answer == QMessageBox::Discard) {
        for (const TRecoveryEntry &entry : entries)
            TRecoveryStore::discard(entry);
        return;
    }
    if (answer != QMessageBox::Yes)
        return; // kept for the next start
    for (const TRecoveryEntry &entry : entries)
        plumora::ui::guarded([&] { recoverGesture(entry); });
    UpdateFileCommands();
}

void TfrmMain::recoverGesture(const TRecoveryEntry &entry)
{
    const QString key = recoveryStore().adopt(entry);
    if (key.isEmpty())
        return; // another editor recovered it first
    // Where the file it came from is open again already (named on the command
    // line, say), the copy comes back untitled: two windows on one file would
    // save over each other's work.
    const QString original
        = !entry.original.isEmpty() && windowForFile(entry.original) ? QString() : entry.original;
    TfrmGestureWindow *window = openGestureWindow(m_recovery->pathOf(key));
    // It is the gesture as it was being edited: Save goes to the file it
    // came from (Save As for an untitled one), and closing asks first.
    TZQGesture *gesture = window->Gesture();
    gesture->RenameTo(original);
    const QString title = original.isEmpty() ? QStringLiteral("(untitled) - Plumora") : original;
    window->setWindowTitle(title);
    if (QWidget *sub = window->parentWidget())
        sub->setWindowTitle(title);
    if (auto *autosave = window->findChild<TGestureAutosave *>())
        autosave->takeOver(key);
    gesture->RestoreModified(true);
    gesture->setUnsavedChanges(true);
}

void TfrmMain::writeRecoveryCopies()
{
    for (TGestureAutosave *autosave : mdiArea->findChildren<TGestureAutosave *>())
        autosave->writeNow();
}

void TfrmMain::endSession()
{
    // Nothing is asked: every change goes to its copy, which stays for the
    // next start, and the program ends as after Exit.
    writeRecoveryCopies();
    recoveryStore().keepCopies = true;
    plumora::ui::guarded([&] { storePlacement(); });
    m_destroying = true;
    QCoreApplication::exit(0);
}
