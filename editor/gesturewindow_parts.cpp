// The Files page's rows: loading a picture file as the animation (cut,
// fitted and composed, with the fit dialog before anything changes when it
// is needed) or as the 18 x 18 button picture (video clips and sounds are
// read in gesturewindow_media.cpp); and saving each part again: the
// animation as one GIF strip, the button picture as GIF, BMP or JPEG, the
// sound as the WAV it holds.
#include "codecs/pictureio.h"
#include "filedialogs.h"
#include "frameimportdialog.h"
#include "gesture/animationimport.h"
#include "gesture/buttonfit.h"
#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"
#include "gesturehost.h"
#include "gesturewindow.h"
#include "media/clipreader.h"
#include "platform/plumorakeys.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>

namespace {

// Progress goes to the host's gauge (the window's host pointer is read at
// each report, so a host that has gone is not called), and pending window
// messages run so the window repaints. Input is held back meanwhile: a click
// could start a second import or close the window under the running one.
TImportProgress windowProgress(IGestureHost *const &host)
{
    return [&host](TProgressStage stage, int percent) {
        if (host)
            host->ShowProgress(stage, percent);
        static bool busy = false;
        if (busy)
            return;
        busy = true;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        busy = false;
    };
}

} // namespace

QString TfrmGestureWindow::askForFile(FileRow row)
{
    const struct
    {
        QFileDialog *TfrmGestureWindow::*dialog;
        QString (TPlumoraKeys::*folder)();
        void (TPlumoraKeys::*remember)(const QString &);
        bool save;
        bool firstFilter; // the dialog offers its first filter again
    } rows[] = {
        { &TfrmGestureWindow::openPictureDialog, &TPlumoraKeys::AnimationOpenDir,
            &TPlumoraKeys::setAnimationOpenDir, false, false },
        { &TfrmGestureWindow::saveAnimationDialog, &TPlumoraKeys::AnimationSaveDir,
            &TPlumoraKeys::setAnimationSaveDir, true, false },
        { &TfrmGestureWindow::openPictureDialog, &TPlumoraKeys::ButtonOpenDir,
            &TPlumoraKeys::setButtonOpenDir, false, true },
        { &TfrmGestureWindow::saveButtonImageDialog, &TPlumoraKeys::ButtonSaveDir,
            &TPlumoraKeys::setButtonSaveDir, true, false },
        { &TfrmGestureWindow::openAudioDialog, &TPlumoraKeys::AudioOpenDir, &TPlumoraKeys::setAudioOpenDir,
            false, true },
        { &TfrmGestureWindow::saveAudioDialog, &TPlumoraKeys::AudioSaveDir, &TPlumoraKeys::setAudioSaveDir,
            true, false },
    };
    const auto &r = rows[int(row)];
    QFileDialog &dialog = *(this->*r.dialog);
    // One dialog opens both pictures: only the animation may be a clip.
    if (r.dialog == &TfrmGestureWindow::openPictureDialog)
        SetFileFilter(dialog, PictureFileFilter(row == FileRow::AnimationOpen));
    if (r.firstFilter)
        dialog.selectNameFilter(dialog.nameFilters().value(0));
    // A save asks before replacing an existing file.
    const QString path = RunFileDialog(dialog, m_host ? (m_host->Keys().*r.folder)() : QString(), r.save);
    if (!path.isEmpty() && m_host)
        (m_host->Keys().*r.remember)(FolderOf(path));
    return path;
}

void TfrmGestureWindow::load(TGesturePart part)
{
    switch (part) {
    case TGesturePart::Button:
        return loadButtonImage();
    case TGesturePart::Animation:
        return loadAnimation();
    case TGesturePart::Audio:
        return loadAudio();
    }
}

void TfrmGestureWindow::save(TGesturePart part)
{
    switch (part) {
    case TGesturePart::Button:
        return saveButtonImage();
    case TGesturePart::Animation:
        return saveAnimation();
    case TGesturePart::Audio:
        return saveAudio();
    }
}

// Reads, cuts and composes the file, asking the host's frame import dialog
// how to cut a single picture, then puts the animation on the gesture, as
// one step with the button picture made from it. Nothing changes until the
// file has been read, composed and fitted: an error or a cancel leaves the
// gesture as it was.
bool TfrmGestureWindow::importAnimation(const QString &fileName)
{
    if (AnimationSourceOf(fileName) == TAnimationSource::Clip)
        return importClip(fileName);
    std::optional<TImportedAnimation> imported;
    std::optional<bool> makeButton; // answered by the fit dialog, when it was shown
    {
        plumora::ui::BusyCursor busy;
        const TSplitQuestion ask = [this](int width, int height) {
            // The dialog is answered with the ordinary cursor.
            plumora::ui::setScreenCursor(plumora::ui::crDefault);
            auto answer = askFrameSplit(m_host, this, QSize(width, height));
            plumora::ui::setScreenCursor(plumora::ui::crHourGlass);
            return answer;
        };
        const TFrameLimitQuestion askLimit = [this](int frameCount, int keep) {
            plumora::ui::setScreenCursor(plumora::ui::crDefault);
            const auto answer = plumora::ui::messageBox(this, QStringLiteral("Plumora"),
                FrameLimitText(frameCount, keep) + QStringLiteral(". Keep the first %1 frames?").arg(keep),
                QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
            plumora::ui::setScreenCursor(plumora::ui::crHourGlass);
            return answer == QMessageBox::Yes;
        };
        // Both the frames that keep the speed and every frame: the fit
        // dialog offers the choice.
        imported = ReadAnimationFile(fileName, ask, askLimit, windowProgress(m_host), TImportTiming::Both);
        // Whether it fits is known before anything changes.
        if (imported && !fitImportedAnimation(*imported, makeButton))
            imported.reset();
    }
    if (!imported)
        return false;
    installImport(*imported, makeButton, QStringLiteral("Load Animation"));
    return true;
}

void TfrmGestureWindow::installImport(TImportedAnimation &imported, std::optional<bool> makeButton,
    const QString &stepName, const TFittedSound *sound, const QString &soundPath)
{
    const TGestureHistory::Step step(*history, stepName);
    InstallAnimation(*gesture, imported);
    if (sound)
        installSound(*sound, soundPath);
    if (!makeButton)
        makeButton = plumora::ui::messageBox(this, QStringLiteral("Plumora"),
                         QStringLiteral(
                             "Auto-create a new button image based on \r\nthe first frame of the animation?"),
                         QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
            == QMessageBox::Yes;
    if (*makeButton) {
        gesture->setGlyph(imported.ButtonPicture());
        gesture->setOrigin(TGesturePart::Button, { TPartOrigin::Internal, {} });
    }
    gesture->UpdateSizes();
}

void TfrmGestureWindow::loadAnimation()
{
    const QString path = askForFile(FileRow::AnimationOpen);
    if (!path.isEmpty())
        loadAnimationFile(path);
}

void TfrmGestureWindow::loadAnimationFile(const QString &path)
{
    // The cursor comes back however the import ends.
    struct Restore
    {
        ~Restore() { plumora::ui::setScreenCursor(plumora::ui::crDefault); }
    } restore;
    importAnimation(path);
}

void TfrmGestureWindow::saveAnimation()
{
    const QString path = askForFile(FileRow::AnimationSave);
    if (path.isEmpty())
        return;
    // The strip is drawn from the frames' stored pixels, so the gesture's
    // transparent colour is never touched.
    plumora::ui::BusyCursor busy;
    SaveAnimationStrip(*gesture, path, windowProgress(m_host));
}

void TfrmGestureWindow::loadButtonImage()
{
    const QString path = askForFile(FileRow::ButtonOpen);
    if (!path.isEmpty())
        loadButtonImageFile(path);
}

void TfrmGestureWindow::loadButtonImageFile(const QString &path)
{
    // The new picture is read and fitted before anything changes, so a file
    // that cannot be read leaves the earlier button picture as it was.
    const TBitmap button = ButtonPictureFromFile(path);
    const TGestureHistory::Step step(*history, QStringLiteral("Load Button Picture"));
    gesture->setGlyph(button);
    gesture->setOrigin(TGesturePart::Button, { TPartOrigin::File, path });
}

void TfrmGestureWindow::saveButtonImage()
{
    const QString path = askForFile(FileRow::ButtonSave);
    // The kind of file follows the name's extension; one Plumora cannot
    // write is refused with a message rather than silently skipped.
    if (!path.isEmpty())
        SavePicture(gesture->Glyph(), path);
}

void TfrmGestureWindow::loadAudio()
{
    const QString path = askForFile(FileRow::AudioOpen);
    if (!path.isEmpty())
        loadAudioFile(path);
}

void TfrmGestureWindow::saveAudio()
{
    const QString path = askForFile(FileRow::AudioSave);
    if (!path.isEmpty())
        gesture->SaveAudioToFile(path);
}
