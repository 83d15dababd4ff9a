#pragma once
// TTimeline: the strip of frame thumbnails under the preview. Each frame is
// drawn through its mask on the test background, numbered, the current one
// marked; the strip scrolls to follow the current frame and a click shows
// another. It keeps the selection of frames the frame commands act on
// (click, Shift+click, Ctrl+click, Ctrl+A, Shift+arrows); the current frame
// is always one of them. Dragging selected frames along the strip moves
// them, as one step; pictures dropped from elsewhere are handed on
// (picturesDropped) to be inserted where they fell.
//
// Thumbnails are made when first shown and kept by the identity of the
// frame's pixels, so that moving frames costs no redrawing and an edited
// frame gets a new thumbnail.
#include "gesture/frameselection.h"
#include "platform/colors.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>
#include <QList>
#include <QUrl>

class QMimeData;

class TGestureHistory;
class TZQGesture;

class TTimeline : public QAbstractScrollArea
{
    Q_OBJECT

public:
    TTimeline(TZQGesture &gesture, TGestureHistory &history, QWidget *parent = nullptr);
    ~TTimeline() override;

    // The selected frames, sorted; the current frame is among them while
    // the gesture has frames.
    TFrameSelection Selection() const;
    // Selects the frames (the first becomes current when the current frame
    // is not among them).
    void setSelection(const TFrameSelection &selection);
    void SelectAll();

    void setTestBackground(TColor colour);

    // The frame whose cell holds a point of the viewport (-1: none), and the
    // place (0 up to the count) a drop at that point inserts before.
    int FrameAt(QPoint point) const;
    int DropPlaceAt(QPoint point) const;
    QRect CellRect(int index) const;
    // The place the drop marker shows (-1: none).
    int DropMarker() const { return m_dropPlace; }

    // What a drag of the selection carries: a move inside this timeline,
    // and the first selected frame as a picture for anywhere else.
    QMimeData *MoveData() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void selectionChanged();
    // Pictures (a dragged image, or files) were dropped before place.
    void picturesDropped(const QList<QImage> &pictures, const QList<QUrl> &files, int place);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    int count() const;
    QSize thumbSize() const;
    int cellWidth() const;
    void layOut();
    void followCurrent();
    void framesChanged();
    void select(int index, Qt::KeyboardModifiers modifiers);
    void setAnchoredRange(int to);
    void showCurrentVisible();
    const QImage &thumbnail(int index);
    bool acceptsDrop(const QMimeData *data) const;
    bool isOwnMove(const QMimeData *data) const;
    void startDrag();

    TZQGesture &m_gesture;
    TGestureHistory &m_history;
    TColor m_background = 0x00808080;
    TFrameSelection m_selection;
    int m_anchor = 0; // where Shift+click and Shift+arrows extend from
    // A press on a frame already selected: the selection is kept for a
    // drag, and narrowed to that frame if the button comes up instead.
    int m_pressed = -1;
    QPoint m_pressAt;
    bool m_narrowOnRelease = false;
    int m_dropPlace = -1;
    // Thumbnails by the pixels' identity and the mask colour.
    QHash<QPair<qint64, TColor>, QImage> m_thumbs;
    QSize m_thumbsFor;
};
