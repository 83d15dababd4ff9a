// The Animation row: importing a picture file as the gesture's animation,
// and saving the animation as one GIF strip.
#include "gesturewindow.h"

#include "gesture/animationimport.h"
#include "filedialogs.h"
#include "frameimportdialog.h"
#include "gesture/zqgesture.h"
#include "gestureview.h"
#include "gesturehost.h"
#include "platform/plumorakeys.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>

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

// Reads, cuts and composes the file, asking the host's frame import dialog
// how to cut a single picture (and, when there are more frames than a
// gesture holds, whether to keep the first ones), then puts the animation on
// the window's gesture and brings the controls in line. Nothing changes
// until the file has been read and composed: an error leaves the gesture and
// the window as they were. Returns false when the user cancelled.
bool TfrmGestureWindow::importAnimation(TfrmGestureWindow &window, const QString &fileName)
{
    std::optional<TImportedAnimation> imported;
    std::optional<bool> makeButton; // answered by the fit dialog, when it was shown
    {
        plumora::ui::BusyCursor busy;
        const TSplitQuestion ask = [&window](int width, int height) {
            // The dialog is answered with the ordinary cursor.
            plumora::ui::setScreenCursor(plumora::ui::crDefault);
            auto answer = askFrameSplit(window.m_host, &window, QSize(width, height));
            plumora::ui::setScreenCursor(plumora::ui::crHourGlass);
            return answer;
        };
        const TFrameLimitQuestion askLimit = [&window](int frameCount, int keep) {
            plumora::ui::setScreenCursor(plumora::ui::crDefault);
            const auto answer = plumora::ui::messageBox(&window, QStringLiteral("Plumora"),
                FrameLimitText(frameCount, keep) + QStringLiteral(". Keep the first %1 frames?").arg(keep),
                QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
            plumora::ui::setScreenCursor(plumora::ui::crHourGlass);
            return answer == QMessageBox::Yes;
        };
        // Both the frames that keep the speed and every frame: the fit
        // dialog offers the choice.
        imported
            = ReadAnimationFile(fileName, ask, askLimit, windowProgress(window.m_host), TImportTiming::Both);
        // Whether it fits is known before anything changes.
        if (imported && !window.fitImportedAnimation(*imported, makeButton))
            imported.reset();
    }
    if (!imported)
        return false;

    TZQGesture &gesture = *window.gesture;
    const int count = imported->FrameCount();
    InstallAnimation(gesture, *imported);
    window.bringControlsInLine();
    window.limitFrameFields(count);

    // A swatch cannot show "no colour": it keeps the last real one, which
    // ticking the box later offers.
    if (gesture.TransparentColor() != clNone)
        window.setTransColor(gesture.TransparentColor());
    window.transparentCheck->setChecked(gesture.TransparentColor() != clNone && imported->KeepsTransparency);

    if (!makeButton)
        makeButton = plumora::ui::messageBox(&window, QStringLiteral("Plumora"),
                         QStringLiteral(
                             "Auto-create a new button image based on \r\nthe first frame of the animation?"),
                         QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
            == QMessageBox::Yes;
    if (*makeButton) {
        window.ResetPreviewGlyph();
        gesture.setGlyph(imported->ButtonPicture());
        window.ShowGlyph();
        window.setFileLabel(window.buttonImageFileLabel, TfrmGestureWindow::FileLabelState::Internal);
        window.buttonImageSaveButton->setEnabled(true);
    }

    window.UpdateFileCommands();
    window.update();
    return true;
}

void TfrmGestureWindow::loadAnimation()
{
    const QString path
        = RunFileDialog(*openPictureDialog, m_host ? m_host->Keys().AnimationOpenDir() : QString());
    if (path.isEmpty())
        return;
    if (m_host)
        m_host->Keys().setAnimationOpenDir(FolderOf(path));
    loadAnimationFile(path);
}

void TfrmGestureWindow::loadAnimationFile(const QString &path)
{
    // The cursor and the main window's commands are brought back however
    // the import ends.
    struct Restore
    {
        TfrmGestureWindow *window;
        ~Restore()
        {
            plumora::ui::setScreenCursor(plumora::ui::crDefault);
            window->UpdateFileCommands();
        }
    } restore { this };
    // The animation, the controls brought in line and the button picture
    // made from it are one step.
    const Edit edit(this, QStringLiteral("Load Animation"));
    if (!importAnimation(*this, path))
        return;

    setFileLabel(animationFileLabel, FileLabelState::Path, path);
    animationSaveButton->setEnabled(true);
    QCoreApplication::processEvents();
    gesture->UpdateSizes();
    UpdateFileCommands();
}

void TfrmGestureWindow::saveAnimation()
{
    // Asks before replacing an existing file.
    const QString path
        = RunFileDialog(*saveAnimationDialog, m_host ? m_host->Keys().AnimationSaveDir() : QString(), true);
    if (path.isEmpty())
        return;
    if (m_host)
        m_host->Keys().setAnimationSaveDir(FolderOf(path));
    // The strip is drawn from the frames' stored pixels, so the transparency
    // box and the gesture's transparent colour are never touched and stay
    // as they are whether or not the write succeeds.
    plumora::ui::BusyCursor busy;
    SaveAnimationStrip(*gesture, path, windowProgress(m_host));
}
