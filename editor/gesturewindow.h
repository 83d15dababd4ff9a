#pragma once
// TfrmGestureWindow: the document window in which one gesture is edited. It
// holds its gesture component in a preview pane with a frame slider, the
// Files page (tagline, button picture, animation, sound, author) and the
// Settings page (playback options, transparent colour, test background).
// Frame editing, imports and the sound live in files of their own beside
// this one. Each control's object name is its member name.
#include "platform/colors.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class IGestureHost;
class QAction;
class QCheckBox;
class QColorDialog;
class QFileDialog;
class QFrame;
class QGroupBox;
class QImage;
class QKeyEvent;
class QMouseEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QRubberBand;
class QSlider;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QTimer;
class QToolButton;
class QUndoStack;
class TEditCommand;
class TGestureView;
class TPlaybackCommand;
class TImportedAnimation;
class TZQGesture;

class TfrmGestureWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmGestureWindow(IGestureHost *host, QWidget *parent = nullptr);
    ~TfrmGestureWindow() override;

    // Loads a gesture file and brings every control in line with it. A file
    // that is not a readable gesture raises an error naming it.
    void OpenGesture(const QString &FileName);

    // The window's gesture document and the view that shows and plays it.
    TZQGesture *Gesture() const { return gesture; }
    TGestureView *GestureView() const { return gestureView; }
    // The window's own menu, merged into the main window's bar while active.
    QMenu *FramesMenu() const { return framesMenu; }

    // The window's history of edits: every change of the gesture is one
    // command on it, and the gesture's UnsavedChanges follows it. The main
    // window's Edit menu shows the active window's.
    QUndoStack *UndoStack() const { return undoStack; }

    // The colours of the two swatches.
    TColor TransColor() const { return m_transColor; }
    void setTransColor(TColor colour);
    TColor TestBackground() const { return m_testBackground; }
    void setTestBackground(TColor colour);

    // Frame editing (gesturewindow_frames.cpp), on the gesture's current
    // frame.
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
    // Frames > Fit Animation (gesturewindow_fit.cpp): the frames made to fit
    // the file's animation block, in the fit dialog; one step.
    void fitAnimation();

    // The Files page's Load and Save buttons: animation
    // (gesturewindow_animation.cpp), button picture (gesturewindow_button.cpp)
    // and sound (gesturewindow_settings.cpp).
    void loadAnimation();
    void saveAnimation();
    void loadButtonImage();
    void saveButtonImage();
    void loadAudio();
    void saveAudio();
    // What Load does with the file once it is chosen (in the dialog, or
    // dropped on the window; gesturewindow_drops.cpp).
    void loadAnimationFile(const QString &path);
    void loadButtonImageFile(const QString &path);
    void loadAudioFile(const QString &path);

    // The host is going away: the window no longer calls it.
    void DetachHost() { m_host = nullptr; }
    // True once the window has started going away.
    bool IsDestroying() const { return m_dying; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    class FrameKeyFilter; // gesturewindow_frames.cpp
    class MouseRouter; // gesturewindow_settings.cpp
    class DropTarget; // gesturewindow_drops.cpp
    // The undo history (gesturewindow_history.cpp): an Edit scope makes the
    // changes made while it lives one command; the command restores the
    // gesture and the controls that show it.
    struct ViewState;
    struct Snapshot;
    friend class TEditCommand;
    // Commands that merge while the user keeps typing into one field.
    enum MergeId { NoMerge = -1, TaglineMerge = 1, AuthorMerge, LoopFrameMerge, AudioFrameMerge };
    class Edit
    {
    public:
        Edit(TfrmGestureWindow *window, const QString &text, int mergeId = NoMerge);
        ~Edit();
        Edit(const Edit &) = delete;
        Edit &operator=(const Edit &) = delete;

    private:
        TfrmGestureWindow *m_window;
        QString m_text;
        int m_mergeId;
        int m_errors; // exceptions under way when the edit began
        std::unique_ptr<Snapshot> m_before; // none inside another edit
    };

    void buildFilesPage();
    void buildSettingsPage();
    void buildPreviewPane();
    void buildMenus();
    void buildDialogs();
    void buildFrameMenus(); // gesturewindow_frames.cpp
    void connectSettingsHandlers(); // gesturewindow_settings.cpp
    void acceptFileDrops(); // gesturewindow_drops.cpp
    void buildHistory(); // gesturewindow_history.cpp
    ViewState captureView() const;
    void applyView(const ViewState &view);
    void restoreSnapshot(const Snapshot &snapshot, bool modified);
    void centreGesture();
    // Brings the controls that show the gesture's content in line with it:
    // the author field (locked while the gesture carries an author text),
    // the view's size and place, and the frame controls.
    void bringControlsInLine();
    // The slider's range and position follow the frame list and the current
    // frame; the label names them.
    void showCurrentFrame();

    // Handlers of the pages and the preview pane.
    void onTaglineEdited();
    void onAuthorEdited();
    void playGesture();
    void onPageChanged();
    void onAnimationOnceClicked();
    void onAnimationLoopClicked();
    void onAnimationReverseClicked();
    void onAnimationLoopFrameChanged();
    void onAudioLoopFrameChanged();
    void onAudioOnceClicked();
    void onAudioLoopClicked();
    void onTransparentToggled();
    void onFrameSliderMoved();

    // Frame editing's menus and keys (gesturewindow_frames.cpp).
    void updateFramesMenu(); // enables the "Frames" menu's items as it opens
    void updateGesturePopup(); // the same for the pop-up menu
    void enableFrameItems(std::initializer_list<QAction *> onFrame, QAction *paste,
        std::initializer_list<QAction *> forward, std::initializer_list<QAction *> backward,
        QAction *reverse);
    void onFrameSliderKeyReleased(QKeyEvent *event);
    void onWindowKeyPressed(QKeyEvent *event);
    void onPreviewKeyPressed(QKeyEvent *event);
    QImage currentFrameAsAdded();
    TColor insertMask() const;
    void moveCurrentFrame(int step);
    void moveCurrentFrameTo(bool end);
    bool previewHasFocus() const;
    // Refuses (with a message) an edit that would give the gesture more
    // frames than it holds.
    void checkRoomForFrame() const;

    // Reads the file and puts its animation on the window's gesture
    // (gesturewindow_animation.cpp).
    static bool importAnimation(TfrmGestureWindow &window, const QString &fileName);
    // Before an import changes anything (gesturewindow_fit.cpp): when the
    // animation does not fit the file, or its speed is a choice, the fit
    // dialog shows it; its answer replaces the imported frames. False when
    // the user cancelled. makeButton receives the dialog's answer to the
    // button picture question, when it asked it.
    bool fitImportedAnimation(TImportedAnimation &imported, std::optional<bool> &makeButton);
    // The loop and sound start fields' limits after the frame count changed:
    // the loop field keeps a value above it, the sound's is lowered to it.
    void limitFrameFields(int count);
    // A short while after the gesture last changed, its sizes are measured
    // again and the gauges follow; when the animation no longer fits the
    // file, the status bar says so and how to make it fit.
    void watchAnimationSize();
    void warnWhenTooLarge();

    // Transparent colour picking, test background and rubber band
    // (gesturewindow_settings.cpp).
    void onPickButtonPressed();
    void onWindowMouseMoved();
    void onWindowMousePressed();
    void onGestureMousePressed(QMouseEvent *event);
    void onGestureMouseMoved(QMouseEvent *event);
    void onGestureMouseReleased(QMouseEvent *event);
    void chooseTestBackground();
    // The colour shown on screen at a point of the gesture control.
    TColor ColorShownAt(QPoint point) const;

    // The file labels' states.
    enum class FileLabelState { None, NoneAfterOpen, Internal, Path };
    void setFileLabel(QLabel *label, FileLabelState state, const QString &path = {});

    // Shows the gesture's button picture (or the placeholder) on the
    // preview button.
    void ResetPreviewGlyph();
    void ShowGlyph();

    // Refreshes the host's commands and gauges.
    void UpdateFileCommands();

    TZQGesture *gesture = nullptr;
    TGestureView *gestureView = nullptr;
    QMenu *framesMenu = nullptr;

    // Files page.
    QTabWidget *pageTabs = nullptr;
    QWidget *filesPage = nullptr;
    QWidget *settingsPage = nullptr;
    QLineEdit *taglineEdit = nullptr;
    QLabel *buttonImageFileLabel = nullptr;
    QPushButton *buttonImageLoadButton = nullptr;
    QPushButton *buttonImageSaveButton = nullptr;
    QLabel *animationFileLabel = nullptr;
    QPushButton *animationLoadButton = nullptr;
    QPushButton *animationSaveButton = nullptr;
    QLabel *audioFileLabel = nullptr;
    QPushButton *audioLoadButton = nullptr;
    QPushButton *audioSaveButton = nullptr;
    QFrame *previewButtonPanel = nullptr;
    QToolButton *previewButton = nullptr;
    QLineEdit *authorEdit = nullptr;

    // Settings page.
    QGroupBox *animationOptionsGroup = nullptr;
    QRadioButton *animationOnceRadio = nullptr;
    QRadioButton *animationLoopRadio = nullptr;
    QSpinBox *animationLoopFrameSpin = nullptr;
    QRadioButton *animationReverseRadio = nullptr;
    QCheckBox *transparentCheck = nullptr;
    QFrame *transparentSwatch = nullptr;
    QToolButton *pickTransparentButton = nullptr;
    QFrame *testBackgroundSwatch = nullptr;
    QGroupBox *audioOptionsGroup = nullptr;
    QRadioButton *audioOnceRadio = nullptr;
    QRadioButton *audioLoopRadio = nullptr;
    QSpinBox *audioLoopFrameSpin = nullptr;

    // Preview pane.
    QSplitter *paneSplitter = nullptr;
    QWidget *previewPane = nullptr;
    QFrame *gestureArea = nullptr;
    QSlider *frameSlider = nullptr;
    QLabel *frameLabel = nullptr;
    // Play/Stop: its button beside the slider, its items in both menus.
    TPlaybackCommand *playbackCommand = nullptr;

    // The "Frames" menu's items and the preview's pop-up menu with its own.
    QAction *cutFrameAction = nullptr, *copyFrameAction = nullptr, *pasteFrameAction = nullptr,
            *deleteFrameAction = nullptr, *insertBlankFrameAction = nullptr, *duplicateFrameAction = nullptr,
            *moveBackwardAction = nullptr, *moveForwardAction = nullptr, *moveToStartAction = nullptr,
            *moveToEndAction = nullptr, *reverseFramesAction = nullptr, *fitAnimationAction = nullptr;
    QMenu *gesturePopup = nullptr;
    QAction *popupCutAction = nullptr, *popupCopyAction = nullptr, *popupPasteAction = nullptr,
            *popupDeleteAction = nullptr, *popupInsertBlankAction = nullptr, *popupDuplicateAction = nullptr,
            *popupMoveBackwardAction = nullptr, *popupMoveForwardAction = nullptr,
            *popupMoveToStartAction = nullptr, *popupMoveToEndAction = nullptr, *popupReverseAction = nullptr,
            *popupFitAnimationAction = nullptr;

    // The window's dialogs (filedialogs.h runs them through the dialog seam).
    QFileDialog *openPictureDialog = nullptr; // button and animation pictures
    QFileDialog *saveButtonImageDialog = nullptr;
    QFileDialog *saveAnimationDialog = nullptr; // the GIF strip
    QFileDialog *openAudioDialog = nullptr;
    QFileDialog *saveAudioDialog = nullptr;
    QColorDialog *testBackgroundDialog = nullptr;

    QUndoStack *undoStack = nullptr;
    int m_editDepth = 0; // Edit scopes open
    bool m_restoring = false; // a command is putting a state back
    int m_mergeSession = 0; // a field's typing merges until it loses the focus

    IGestureHost *m_host;
    int m_dragging = 0;
    QRect m_dragRect;
    TColor m_transColor = 0x00808080;
    TColor m_testBackground = 0x00808080;
    bool m_loading = true;
    bool m_dying = false;
    bool m_fitted = true; // the animation fitted the file when last measured
    QTimer *sizeTimer = nullptr;
    QRubberBand *m_rubberBand = nullptr;
    // Routes mouse events to the handlers; removed first when the window
    // goes, so that no event reaches a half-destroyed window.
    QObject *m_mouseRouter = nullptr;
};
