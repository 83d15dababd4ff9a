#pragma once
// The preview pane of the picture open and save dialogs. As the user moves
// through a folder or types a name, it shows the picture file the dialog
// points at: scaled down to fit and centred, with its size "(W x H)" and,
// for a GIF, its number of frames; an animated GIF plays. Anything that is
// not a readable GIF, JPEG or BMP shows "(None)", never an error box.
//
// Reading stays bounded, so moving through a folder of large files never
// holds up the dialog: a JPEG is decoded at the smallest scale that still
// fills the pane, a GIF or BMP whose picture is larger than
// kPicturePreviewMaxPixels shows its size without being decoded, and only an
// animated GIF of at most kPicturePreviewMaxAnimatedPixels plays.
#include <QFrame>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

class QFileDialog;
class QLabel;
class QTimer;
class TRxGIFAnimator;

// The most pixels a GIF screen or BMP picture is decoded with for the pane,
// and the most an animated GIF's screen has to play there.
inline constexpr qint64 kPicturePreviewMaxPixels = qint64(4096) * 4096;
inline constexpr qint64 kPicturePreviewMaxAnimatedPixels = qint64(1024) * 1024;

class TPicturePreviewPane : public QFrame
{
    Q_OBJECT

public:
    explicit TPicturePreviewPane(QWidget *parent = nullptr);
    ~TPicturePreviewPane() override;

    // Shows the picture in the file (kind by its upper-cased extension);
    // anything but a readable picture file shows "(None)". The same file
    // again is not read again.
    void ShowFile(const QString &path);
    // Shows nothing, as at the start of a run.
    void Clear();

    // The label's text: "(W x H)", for a GIF ", N frames" after it;
    // "Picture:" when nothing readable is shown.
    QString Caption() const;
    // True while an animated GIF plays; the frame now shown (0 otherwise).
    // A frame that cannot be decoded (a GIF cut short) stops the playing;
    // the frame shown before it stays.
    bool Animating() const;
    int ShownFrame() const;
    // The picture as the pane now draws it, at the size drawn; null for
    // "(None)".
    QImage ShownPicture();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    class PaintBox;

    void read(const QString &path);
    // Composes the animation's frame shown at the size the pane draws it,
    // unless that is done already. Called outside painting, so that a
    // frame that fails to decode never throws into Qt's paint handling; such
    // a frame stops the animation and leaves the last frame composed.
    void composeFrame();
    void paintPicture(QPainter &canvas, const QRect &box);
    void nextFrame();
    void scheduleFrame();

    QLabel *pictureLabel = nullptr;
    QWidget *paintSurface = nullptr;
    QTimer *frameTimer = nullptr;

    QString m_path;
    // A still picture, at most about twice the pane's size; or a GIF of
    // several frames composed by the animator at the size drawn.
    QImage m_still;
    std::unique_ptr<TRxGIFAnimator> m_animation;
    QSize m_size;
    QString m_note; // after the size in the caption: a clip's length
    // The animation's frame m_frameIndex, composed at the size drawn; null
    // until a frame was composed.
    QImage m_frame;
    int m_frameIndex = -1;
};

// Gives a non-native picture dialog the preview pane, following the file the
// dialog points at, and returns it. RunFileDialog empties it at each run.
TPicturePreviewPane *AddPicturePreview(QFileDialog &dialog);
