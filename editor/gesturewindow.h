#pragma once
// TfrmGestureWindow: the document window in which one gesture is edited. It
// owns the gesture, its undo history, and the parts that show and edit it,
// each with its own widgets: the Files page, the Settings page (side by side
// with the preview in a splitter, on tabs), the preview pane with the
// timeline of frames under it, and the frame commands. The parts are bound
// to the gesture; the window holds only what is not the gesture's: the test
// background, whether a colour is being picked, and its file dialogs.
// Loading and saving the parts (gesturewindow_parts.cpp), video clips,
// sounds of any kind and the export (gesturewindow_media.cpp), fitting the
// animation (gesturewindow_fit.cpp) and files dropped on the window
// (gesturewindow_drops.cpp) live beside this file.
#include "platform/colors.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class IGestureHost;
class QFileDialog;
class QColorDialog;
class QMenu;
class QSplitter;
class QTabWidget;
class QTimer;
class QUndoStack;
class TFilesPage;
class TFrameCommands;
class TGestureHistory;
class TGestureView;
class TExportDialog;
class TImportedAnimation;
struct TFittedSound;
class TPreviewPane;
class TSettingsPage;
class TTimeline;
class TZQGesture;
enum class TGesturePart;

class TfrmGestureWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmGestureWindow(IGestureHost *host, QWidget *parent = nullptr);
    ~TfrmGestureWindow() override;

    // Loads a gesture file; the history starts there. A file that is not a
    // readable gesture raises an error naming it.
    void OpenGesture(const QString &FileName);

    TZQGesture *Gesture() const { return gesture; }
    TGestureView *GestureView() const;
    // The window's own menu, merged into the main window's bar while active.
    QMenu *FramesMenu() const { return framesMenu; }
    // Reads the gesture's file again and makes what it holds the gesture:
    // one step of the history (Undo brings the edits back), after which the
    // gesture counts as saved. A file that does not read raises an error and
    // leaves the gesture as it was.
    void RevertGesture();
    // The window's history of edits; the main window's Edit menu shows the
    // active window's.
    QUndoStack *UndoStack() const;

    // The colour transparency offers (the Settings page's swatch), and the
    // test background the preview shows the gesture on.
    TColor TransColor() const;
    void setTransColor(TColor colour);
    TColor TestBackground() const { return m_testBackground; }
    void setTestBackground(TColor colour);

    // Frame editing on the current frame (framecommands.h).
    void CopyFrame();
    void CutFrame();
    void PasteFrame();
    void DeleteFrame();
    void InsertBlankFrame();
    void moveFrameForward();
    void moveFrameBackward();
    void moveFrameToStart();
    void moveFrameToEnd();
    void DuplicateFrame();
    void ReverseFrames();
    // Frames > Fit Animation: the frames made to fit the file's animation
    // block, in the fit dialog; one step.
    void fitAnimation();

    // The Files page's Load and Save buttons (gesturewindow_parts.cpp): each
    // asks for a file in the folder its kind of file was last taken from.
    void loadAnimation();
    void saveAnimation();
    void loadButtonImage();
    void saveButtonImage();
    void loadAudio();
    void saveAudio();
    // What Load does with the file once it is chosen (in the dialog, or
    // dropped on the window).
    void loadAnimationFile(const QString &path);
    void loadButtonImageFile(const QString &path);
    void loadAudioFile(const QString &path);

    // File > Export: the gesture as an animated GIF, a WebM or an MP4 video,
    // asked for in the export dialog and written on a worker thread
    // (gesturewindow_media.cpp).
    void exportGesture();

    // The host is going away: the window no longer calls it.
    void DetachHost() { m_host = nullptr; }
    // True once the window has started going away.
    bool IsDestroying() const { return m_dying; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    class DropTarget; // gesturewindow_drops.cpp
    // The six file rows: a part's Load or Save.
    enum class FileRow { AnimationOpen, AnimationSave, ButtonOpen, ButtonSave, AudioOpen, AudioSave };

    void buildDialogs();
    void acceptFileDrops(); // gesturewindow_drops.cpp
    // The file of a row: asked for in its dialog, starting in the folder the
    // row last took a file from, which is then remembered; a save asks before
    // replacing a file. Empty when the user cancelled.
    QString askForFile(FileRow row); // gesturewindow_parts.cpp
    void load(TGesturePart part);
    void save(TGesturePart part);

    // Picking the transparent colour from the preview.
    void setPicking(bool on);
    void onViewClicked(QPoint at);
    void chooseTestBackground();

    // Reads the file and puts its animation on the gesture
    // (gesturewindow_parts.cpp). False when the user cancelled.
    bool importAnimation(const QString &fileName);
    // The same for a video clip: its span dialog, its frames read on a
    // worker, and its sound (gesturewindow_media.cpp).
    bool importClip(const QString &fileName);
    // Puts an imported animation (and the sound that came with it) on the
    // gesture as one step, asking about the button picture unless the fit
    // dialog did.
    void installImport(TImportedAnimation &imported, std::optional<bool> makeButton, const QString &stepName,
        const TFittedSound *sound = nullptr, const QString &soundPath = {});
    // Puts a sound made to fit on the gesture, started on the first frame,
    // with path as where it came from; says in the status bar what it was
    // converted to.
    void installSound(const TFittedSound &sound, const QString &path);
    // Before an import changes anything (gesturewindow_fit.cpp): when the
    // animation does not fit the file, or its speed is a choice, the fit
    // dialog shows it; its answer replaces the imported frames. False when
    // the user cancelled. makeButton receives the dialog's answer to the
    // button picture question, when it asked it.
    bool fitImportedAnimation(TImportedAnimation &imported, std::optional<bool> &makeButton);
    // A short while after the gesture last changed, its sizes are measured
    // again; when the animation no longer fits the file, the status bar says
    // so and how to make it fit (gesturewindow_fit.cpp).
    void watchAnimationSize();
    void warnWhenTooLarge();

    TZQGesture *gesture = nullptr;
    TGestureHistory *history = nullptr;
    QSplitter *paneSplitter = nullptr;
    QTabWidget *pageTabs = nullptr;
    TFilesPage *filesPage = nullptr;
    TSettingsPage *settingsPage = nullptr;
    TPreviewPane *previewPane = nullptr;
    TTimeline *timeline = nullptr;
    QMenu *framesMenu = nullptr;
    TFrameCommands *frameCommands = nullptr;

    // The window's dialogs (filedialogs.h runs them through the dialog seam).
    QFileDialog *openPictureDialog = nullptr; // button and animation pictures
    QFileDialog *saveButtonImageDialog = nullptr;
    QFileDialog *saveAnimationDialog = nullptr; // the GIF strip
    QFileDialog *openAudioDialog = nullptr;
    QFileDialog *saveAudioDialog = nullptr;
    QColorDialog *testBackgroundDialog = nullptr;
    TExportDialog *exportDialog = nullptr; // made when first used
    QTimer *sizeTimer = nullptr;

    IGestureHost *m_host;
    TColor m_testBackground = 0x00808080;
    bool m_picking = false;
    bool m_fitted = true; // the animation fitted the file when last measured
    bool m_loading = true; // being built or opening a file
    bool m_dying = false;
    // The window's event filters; they go first when the window goes.
    std::unique_ptr<QObject> m_pickEnd;
    std::unique_ptr<QObject> m_drops;
};
