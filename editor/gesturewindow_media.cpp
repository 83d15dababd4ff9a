// Clips, sounds and sharing in the gesture window: a video clip loaded as
// the animation (its span dialog, its frames and sound read on a worker
// thread, the fit dialog when they do not fit), any sound loaded as the
// gesture's sound (converted to a WAV that fits), and File > Export.
#include "clipdialog.h"
#include "exportdialog.h"
#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"
#include "gesturehost.h"
#include "gesturewindow.h"
#include "media/clipreader.h"
#include "media/soundimport.h"
#include "platform/errors.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"
#include "workprogress.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString secondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1);
}

} // namespace

bool TfrmGestureWindow::importClip(const QString &path)
{
    // The span is chosen with the default cursor; the reading shows its own progress.
    plumora::ui::setScreenCursor(plumora::ui::crDefault);
    TClipSpan span;
    bool withSound = false;
    {
        TClipReader reader(path);
        TClipDialog dialog(reader, this);
        if (plumora::ui::execDialog(dialog) != QDialog::Accepted)
            return false;
        span = dialog.Span();
        withSound = dialog.TakesSound();
    }

    std::optional<TClipImport> clip;
    const bool finished = RunWithProgress(this,
        QStringLiteral("Reading the frames of %1...").arg(fileName(path)),
        [&](const TImportProgress &progress, const std::atomic<bool> &cancel) {
            TClipReader reader(path, &cancel);
            const TFrameLimitQuestion askLimit = [&](int frameCount, int keep) {
                return !cancel && AskFromWork([&] {
                    return plumora::ui::messageBox(this, QStringLiteral("Plumora"),
                               FrameLimitText(frameCount, keep)
                                   + QStringLiteral(". Keep the first %1 frames?").arg(keep),
                               QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
                        == QMessageBox::Yes;
                });
            };
            clip = ImportClip(reader, span, askLimit, withSound, progress);
        });
    if (!finished || !clip)
        return false;
    // The Files page names the clip as where the animation came from.
    clip->Animation.SourcePath = path;

    // A sound that was asked for and cannot come along is said before
    // anything changes.
    if (!clip->SoundRefusal.isEmpty()
        && plumora::ui::messageBox(this, QStringLiteral("Plumora"),
               QStringLiteral(
                   "The clip's sound cannot come along: %1.\n\nImport its frames without the sound?")
                   .arg(clip->SoundRefusal),
               QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
            != QMessageBox::Yes)
        return false;
    std::optional<bool> makeButton;
    if (!fitImportedAnimation(clip->Animation, makeButton))
        return false;
    plumora::ui::setScreenCursor(plumora::ui::crDefault);
    const int frames = clip->Animation.FrameCount();
    installImport(clip->Animation, makeButton, QStringLiteral("Load Clip"),
        clip->Sound ? &*clip->Sound : nullptr, path);

    if (!m_host)
        return true;
    QString note = QStringLiteral("%1: %2 frames from %3 s")
                       .arg(fileName(path))
                       .arg(frames)
                       .arg(secondsText(clip->Span.StartMs));
    if (clip->PicturesEndMs >= 0)
        note += QStringLiteral(", its pictures end at %1 s").arg(secondsText(clip->PicturesEndMs));
    note += clip->Sound ? QStringLiteral("; sound %1").arg(clip->Sound->Summary())
                        : QStringLiteral("; no sound taken");
    m_host->ShowStatusNote(note);
    return true;
}

void TfrmGestureWindow::loadAudioFile(const QString &path)
{
    // Read, decoded and fitted before anything changes: a refusal (no sound,
    // too long, unreadable) reaches the error display through the caller's
    // guard, and Cancel leaves the gesture's sound as it was.
    std::optional<TFittedSound> sound;
    const bool finished = RunWithProgress(this, QStringLiteral("Reading the sound %1...").arg(fileName(path)),
        [&](const TImportProgress &progress, const std::atomic<bool> &cancel) {
            sound = ReadSoundFile(path, kMaxBlockBytes, progress, &cancel);
        });
    if (!finished || !sound)
        return;
    const TGestureHistory::Step step(*history, QStringLiteral("Load Sound"));
    installSound(*sound, path);
}

void TfrmGestureWindow::installSound(const TFittedSound &sound, const QString &path)
{
    if (!sound.Converted) {
        // A WAV file that fits is taken byte for byte, as it always was.
        gesture->LoadAudioFromFile(path);
        return;
    }
    gesture->SetAudio(sound.Wav);
    gesture->setAudioLoopFrame(1);
    gesture->setOrigin(TGesturePart::Audio, { TPartOrigin::File, path });
    if (m_host)
        m_host->ShowStatusNote(
            QStringLiteral("The sound of %1 was %2.").arg(fileName(path), sound.Summary()));
}

void TfrmGestureWindow::exportGesture()
{
    if (!gesture->Frames() || gesture->Frames()->Count() == 0)
        throw PlumoraError(QStringLiteral("The gesture has no frames to export"));
    if (!exportDialog)
        exportDialog = new TExportDialog(this);
    // Named after the gesture, first beside its file, later where the last
    // export went.
    QString folder, name;
    if (!gesture->Filename().isEmpty()) {
        const QFileInfo file(gesture->Filename());
        folder = file.absolutePath();
        name = file.completeBaseName();
    }
    const std::optional<TExportChoice> choice
        = exportDialog->Ask(folder, name, gesture->AnimLoopOption() != aoPlayOnce);
    if (!choice)
        return;

    // The work reads a copy, so that playback and edits in other windows
    // never meet it; the copy shares the frames' pixels.
    TZQGesture copy;
    copy.NoSizeUpdate = true;
    copy.RestoreContent(gesture->Content(), false);
    QString summary;
    const bool finished = RunWithProgress(this, QStringLiteral("Exporting %1...").arg(fileName(choice->Path)),
        [&](const TImportProgress &progress, const std::atomic<bool> &cancel) {
            summary = ExportGestureFile(copy, *choice, progress, &cancel);
        });
    if (!finished)
        return;
    plumora::ui::messageBox(
        this, QStringLiteral("Export Gesture"), summary, QMessageBox::Information, QMessageBox::Ok);
}
