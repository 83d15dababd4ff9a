#pragma once
// TfrmGestureWindow: the document window in which one gesture is edited. It
// holds the gesture component ZQGesture1 in a preview pane with a frame
// slider, the Files page (tagline, button picture, animation, sound, author)
// and the Settings page (playback options, transparent colour, test
// background). Frame editing, imports and the sound live in files of their
// own beside this one.
#include "platform/colors.h"

#include <QWidget>

class IGestureHost;
class QAction;
class QCheckBox;
class QColorDialog;
class QFileDialog;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QMouseEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QRubberBand;
class QScrollArea;
class QSlider;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QToolButton;
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

    bool UnsavedChanges = false;
    int Dragging = 0;
    QRect DragRect;
    bool FrameChangeFromGesture = false;

    TZQGesture *ZQGesture1 = nullptr;

    // The window's own menu, merged into the main window's bar while active.
    QMenu *Frames1 = nullptr;

    // Files page.
    QTabWidget *PageControl1 = nullptr;
    QWidget *tabFiles = nullptr;
    QWidget *tabSettings = nullptr;
    QLineEdit *edTagline = nullptr;
    QLabel *pnlButtonFile = nullptr;
    QPushButton *btnSelectButtonImage = nullptr;
    QPushButton *btnSaveButtonImage = nullptr;
    QLabel *pnlAnimationFile = nullptr;
    QPushButton *btnSelectAnimation = nullptr;
    QPushButton *btnSaveAnimation = nullptr;
    QLabel *pnlAudioFile = nullptr;
    QPushButton *btnSelectAudio = nullptr;
    QPushButton *btnSaveAudio = nullptr;
    QFrame *Panel2 = nullptr;
    QToolButton *btnGesture = nullptr;
    QLineEdit *Edit2 = nullptr;

    // Settings page.
    QGroupBox *gboxAnimOption = nullptr;
    QRadioButton *radAnimOnce = nullptr;
    QRadioButton *radAnimLoop = nullptr;
    QSpinBox *spinAnimLoopFrame = nullptr;
    QRadioButton *radAnimReverse = nullptr;
    QCheckBox *cbxTransparent = nullptr;
    QFrame *pnlTransColor = nullptr;
    QToolButton *sbnSelectTransparent = nullptr;
    QFrame *pnlColorSelect = nullptr;
    QGroupBox *gbxAudioOptions = nullptr;
    QRadioButton *radAudioOnce = nullptr;
    QRadioButton *radAudioLoop = nullptr;
    QSpinBox *spinAudioLoopFrame = nullptr;

    // Preview pane.
    QSplitter *Splitter1 = nullptr;
    QWidget *Panel4 = nullptr;
    QFrame *ScrollBox1 = nullptr;
    QSlider *TrackBar1 = nullptr;
    QLabel *Label5 = nullptr;

    // The colours of the two swatches.
    TColor TransColor() const { return m_transColor; }
    void setTransColor(TColor colour);
    TColor TestBackground() const { return m_testBackground; }
    void setTestBackground(TColor colour);

    // Handlers.
    void edTaglineChange();
    void Edit2Change();
    void btnGestureClick();
    void PageControl1Change();
    void radAnimOnceClick();
    void radAnimLoopClick();
    void radAnimReverseClick();
    void spinAnimLoopFrameChange();
    void spinAudioLoopFrameChange();
    void radAudioOnceClick();
    void radAudioLoopClick();
    void cbxTransparentClick();
    void TrackBar1Change();
    void ZQGesture1FrameChange();

    // The window's dialogs (filedialogs.h runs them through the dialog seam).
    QFileDialog *OpenPictureDialog1 = nullptr; // button and animation pictures
    QFileDialog *SavePictureDialog1 = nullptr; // button picture
    QFileDialog *SavePictureDialog2 = nullptr; // animation strip
    QFileDialog *OpenDialog1 = nullptr; // sound
    QFileDialog *SaveDialog1 = nullptr; // sound
    QColorDialog *ColorDialog1 = nullptr; // test background

    // Frame editing (gesturewindow_frames.cpp).
    void CopyFrame();
    void CutFrame();
    void PasteFrame();
    void DeleteFrame();
    void InsertBlankFrame();
    void MoveForward1Click();
    void MoveBackward1Click();
    void Frames1Click(); // enables the "Frames" menu's items as it opens
    void popGesturePopup(); // the same for the pop-up menu
    void TrackBar1KeyUp(QKeyEvent *event);
    void FormKeyDown(QKeyEvent *event);
    QMenu *popGesture = nullptr;
    QAction *Cut3 = nullptr, *Copy3 = nullptr, *Paste3 = nullptr, *DeleteFrame1 = nullptr,
            *InsertBlankFrame1 = nullptr, *MoveBackward1 = nullptr, *MoveForward1 = nullptr;
    QAction *Cut2 = nullptr, *Copy2 = nullptr, *Paste2 = nullptr, *Delete1 = nullptr, *InsertBlank1 = nullptr,
            *MoveBackward2 = nullptr, *MoveForward2 = nullptr;

    // Animation import and export (gesturewindow_animation.cpp).
    void btnSelectAnimationClick();
    void btnSaveAnimationClick();

    // Button picture (gesturewindow_button.cpp).
    void btnSelectButtonImageClick();
    void btnSaveButtonImageClick();

    // Transparent colour picking, test background, rubber band and sound
    // (gesturewindow_settings.cpp).
    void sbnSelectTransparentMouseDown();
    void FormMouseMove();
    void FormMouseDown();
    void ZQGesture1MouseDown(QMouseEvent *event);
    void ZQGesture1MouseMove(QMouseEvent *event);
    void ZQGesture1MouseUp(QMouseEvent *event);
    void pnlColorSelectClick();
    void btnSelectAudioClick();
    void btnSaveAudioClick();
    // The colour shown on screen at a point of the gesture control.
    TColor ColorShownAt(QPoint point) const;

    // The text panels' states.
    enum class PanelState { None, NoneAfterOpen, Internal, Path };
    void setPanel(QLabel *panel, PanelState state, const QString &path = {});

    // Shows the gesture's button picture (or the placeholder) on the
    // preview button.
    void ResetPreviewGlyph();
    void ShowGlyph();

    // Refreshes the host's commands and gauges.
    void UpdateFileCommands();

    IGestureHost *Host() const { return m_host; }
    // The host is going away: the window no longer calls it.
    void DetachHost() { m_host = nullptr; }
    // True once the window has started going away.
    bool IsDestroying() const { return m_dying; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildFilesPage();
    void buildSettingsPage();
    void buildPreviewPane();
    void buildMenus();
    void buildDialogs();
    void buildFrameMenus(); // gesturewindow_frames.cpp
    void connectSettingsHandlers(); // gesturewindow_settings.cpp
    void centreGesture();
    void setFrameLabel(const char *format);
    void noteChange(bool changed);

    IGestureHost *m_host;
    TColor m_transColor = 0x00808080;
    TColor m_testBackground = 0x00808080;
    bool m_loading = true;
    bool m_dying = false;
    QRubberBand *m_rubberBand = nullptr;
    // Routes mouse events to the handlers; removed first when the window
    // goes, so that no event reaches a half-destroyed window.
    QObject *m_mouseRouter = nullptr;
    bool m_audioLoopTicked = false; // which audio option is ticked
};
