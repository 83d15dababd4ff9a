// The Button row: loading a picture as the gesture's 18 x 18 button picture,
// and saving the button picture as GIF, BMP or JPEG.
#include "gesturewindow.h"

#include "gesture/buttonfit.h"
#include "codecs/pictureio.h"
#include "filedialogs.h"
#include "gesture/zqgesture.h"
#include "gesturehost.h"
#include "platform/plumorakeys.h"

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>

void TfrmGestureWindow::loadButtonImage()
{
    openPictureDialog->selectNameFilter(openPictureDialog->nameFilters().value(0));
    const QString path
        = RunFileDialog(*openPictureDialog, m_host ? m_host->Keys().ButtonOpenDir() : QString());
    if (path.isEmpty())
        return;
    if (m_host)
        m_host->Keys().setButtonOpenDir(FolderOf(path));
    loadButtonImageFile(path);
}

void TfrmGestureWindow::loadButtonImageFile(const QString &path)
{
    // The new picture is read and fitted before anything changes, so a file
    // that cannot be read leaves the earlier button picture as it was.
    const TBitmap button = ButtonPictureFromFile(path);

    const Edit edit(this, QStringLiteral("Load Button Picture"));
    gesture->setGlyph(button);
    ShowGlyph();
    setFileLabel(buttonImageFileLabel, FileLabelState::Path, path);
    buttonImageSaveButton->setEnabled(true);
    UpdateFileCommands();
}

void TfrmGestureWindow::saveButtonImage()
{
    const QString path
        = RunFileDialog(*saveButtonImageDialog, m_host ? m_host->Keys().ButtonSaveDir() : QString(), true);
    if (path.isEmpty())
        return;
    if (m_host)
        m_host->Keys().setButtonSaveDir(FolderOf(path));
    // The kind of file follows the name's extension; one Plumora cannot
    // write is refused with a message rather than silently skipped.
    SavePicture(gesture->Glyph(), path);
}
