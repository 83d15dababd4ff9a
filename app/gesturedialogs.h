#pragma once
// The gesture open and save dialogs: the standard file dialog with a preview
// pane on its right. While the user moves through a folder, the pane shows
// the first frame, frame size and tagline of the selected gesture; its
// button (or a double-click on the picture) opens a window that plays it.
#include <QColor>
#include <QFileDialog>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

class QFrame;
class QLabel;
class QPainter;
class QToolButton;
class TZQGesture;

// Where the preview puts a picture of the given size inside box: unscaled
// and centred when it fits, otherwise shrunk to fit at the box's top-left
// corner, keeping its proportions.
QRect PreviewPictureRect(const QRect &box, QSize picture);

// Paints the preview into box (clipped to it), with the painter's font and
// pen. A null picture writes "(None)" centred. Otherwise the picture is drawn
// as PreviewPictureRect says and the tagline is written centred along the
// box's bottom edge, over the picture, on a strip of background colour.
void DrawPreview(QPainter &canvas, const QRect &box, const QColor &background, const QImage &picture,
    const QString &tagline);
// The same for a gesture: "(None)" unless it was loaded from a file and has
// frames; the picture is frame 0 with its transparent pixels in background.
void DrawPreview(QPainter &canvas, const QRect &box, const QColor &background, const TZQGesture &gesture);

class TOpenGestureDialog : public QFileDialog
{
    Q_OBJECT

public:
    explicit TOpenGestureDialog(QWidget *parent = nullptr);

    // The folder each run starts in; empty for the user's documents folder.
    void setInitialDir(const QString &dir);
    const QString &InitialDir() const { return m_initialDir; }

    // Runs the dialog modally (through the dialog seam); true when the user
    // confirmed a file, whose path FileName then holds.
    virtual bool Execute();
    QString FileName() const;

    // Run without the preview pane.
    bool OldStyle = false;

    // Opens the "Preview" window for the gesture now in the pane, modally.
    void ShowPreviewWindow();
    // Paints the pane's picture area onto a canvas of the paint box.
    void DrawPreview(QPainter &canvas, const QRect &box) const;
    // Follows the file list's current entry (QFileDialog::currentChanged).
    void SelectionChanged(const QString &path);

    // The gesture the pane shows.
    TZQGesture *PreviewGesture() const { return previewGesture; }

protected:
    TOpenGestureDialog(QWidget *parent, AcceptMode mode);
    void accept() override;
    void done(int result) override;
    // Puts the pane in or out and empties it; called at the start of a run.
    void PrepareRun();

private:
    void buildPane();
    // Frame size of the gesture in the pane (0 x 0 without frames).
    QSize previewFrameSize() const;

    QString m_initialDir;
    TZQGesture *previewGesture = nullptr;
    QFrame *picturePanel = nullptr;
    QLabel *pictureLabel = nullptr;
    QToolButton *previewButton = nullptr;
    QFrame *paintPanel = nullptr;
    QWidget *paintSurface = nullptr;
};

// The save dialog: the open dialog's pane, run as a save dialog. It asks
// before replacing an existing file; No keeps the file as it is.
class TSaveGestureDialog : public TOpenGestureDialog
{
    Q_OBJECT

public:
    explicit TSaveGestureDialog(QWidget *parent = nullptr);

    bool Execute() override;

    // Asks whether fileName may be replaced when it exists; true to go on.
    bool ConfirmReplace(const QString &fileName);

protected:
    void accept() override;

private:
    // The file whose replacement the user already agreed to in this run.
    QString m_confirmed;
};
