#include "timeline.h"

#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"
#include "platform/ui/application.h"

#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

using plumora::ui::guardedCallback;

namespace {

// Thumbnails are at most this high and wide, in pixels, and keep the
// frames' proportions.
constexpr int kThumbHeight = 48;
constexpr int kThumbWidth = 96;
constexpr int kPad = 4;
// More thumbnails than a gesture has frames times a few undo states are not
// worth keeping.
constexpr int kMaxThumbs = 1024;

} // namespace

TTimeline::TTimeline(TZQGesture &gesture, TGestureHistory &history, QWidget *parent)
    : QAbstractScrollArea(parent), m_gesture(gesture), m_history(history)
{
    setObjectName(QStringLiteral("timeline"));
    setAccessibleName(QStringLiteral("Frames"));
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    const int cellHeight = kPad + kThumbHeight + 2 + fontMetrics().height() + kPad;
    setFixedHeight(cellHeight + 2 * frameWidth() + horizontalScrollBar()->sizeHint().height());

    connect(&gesture, &TZQGesture::framesChanged, this, guardedCallback([this] { framesChanged(); }));
    connect(&gesture, &TZQGesture::OnFrameChange, this, guardedCallback([this] { followCurrent(); }));
    connect(&gesture, &TZQGesture::transparentColorChanged, viewport(), qOverload<>(&QWidget::update));
    framesChanged();
}

TTimeline::~TTimeline() = default;

namespace {

// A move inside one timeline names it: frames dragged to another window's
// timeline are copied there as pictures instead.
const QString kMoveMimeType = QStringLiteral("application/x-plumora-timeline-move");

} // namespace

QMimeData *TTimeline::MoveData() const
{
    auto *data = new QMimeData;
    data->setData(kMoveMimeType, QByteArray::number(quintptr(this)));
    if (!m_selection.isEmpty())
        data->setImageData(m_gesture.Frames()->CopyFrame(m_selection.first(), clNone));
    return data;
}

int TTimeline::count() const
{
    return m_gesture.Frames() ? m_gesture.Frames()->Count() : 0;
}

QSize TTimeline::thumbSize() const
{
    const TFrameList *frames = m_gesture.Frames();
    if (!frames || frames->Width() <= 0 || frames->Height() <= 0)
        return { kThumbHeight, kThumbHeight };
    const double scale
        = std::min(double(kThumbHeight) / frames->Height(), double(kThumbWidth) / frames->Width());
    return { std::max(1, int(frames->Width() * scale + 0.5)),
        std::max(1, int(frames->Height() * scale + 0.5)) };
}

int TTimeline::cellWidth() const
{
    return std::max(thumbSize().width(), fontMetrics().horizontalAdvance(QStringLiteral("255"))) + 2 * kPad;
}

QSize TTimeline::sizeHint() const
{
    return { 8 * (kThumbHeight + 2 * kPad), height() };
}

QSize TTimeline::minimumSizeHint() const
{
    return { 2 * (kThumbHeight + 2 * kPad), height() };
}

QRect TTimeline::CellRect(int index) const
{
    const int w = cellWidth();
    return { index * w - horizontalScrollBar()->value(), 0, w, viewport()->height() };
}

int TTimeline::FrameAt(QPoint point) const
{
    if (point.y() < 0 || point.y() >= viewport()->height())
        return -1;
    const int x = point.x() + horizontalScrollBar()->value();
    const int index = x < 0 ? -1 : x / cellWidth();
    return index < count() ? index : -1;
}

int TTimeline::DropPlaceAt(QPoint point) const
{
    const int x = point.x() + horizontalScrollBar()->value();
    return std::clamp((x + cellWidth() / 2) / cellWidth(), 0, count());
}

void TTimeline::layOut()
{
    QScrollBar *bar = horizontalScrollBar();
    bar->setSingleStep(cellWidth());
    bar->setPageStep(viewport()->width());
    bar->setRange(0, std::max(0, count() * cellWidth() - viewport()->width()));
}

void TTimeline::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    layOut();
}

TFrameSelection TTimeline::Selection() const
{
    return m_selection;
}

void TTimeline::setSelection(const TFrameSelection &selection)
{
    TFrameSelection chosen = NormalizedSelection(selection, count());
    const int current = m_gesture.CurrentIndex();
    if (chosen.isEmpty() && current >= 0 && current < count())
        chosen = { current };
    const bool changed = chosen != m_selection;
    m_selection = chosen;
    if (!m_selection.isEmpty()) {
        if (!m_selection.contains(m_anchor))
            m_anchor = m_selection.first();
        if (!m_selection.contains(current))
            m_gesture.setCurrentIndex(m_selection.first());
    }
    showCurrentVisible();
    viewport()->update();
    if (changed)
        emit selectionChanged();
}

void TTimeline::SelectAll()
{
    if (count() > 0)
        setSelection(FrameRange(0, count() - 1));
}

void TTimeline::setTestBackground(TColor colour)
{
    m_background = colour;
    viewport()->update();
}

// After an edit the selection keeps what is still a frame, and always the
// current frame.
void TTimeline::framesChanged()
{
    layOut();
    const int current = m_gesture.CurrentIndex();
    TFrameSelection kept = NormalizedSelection(m_selection, count());
    if (current >= 0 && current < count() && !kept.contains(current))
        kept = { current };
    setSelection(kept);
}

// Playback and the slider show other frames: the selection becomes the
// frame shown unless it is already one of the selected.
void TTimeline::followCurrent()
{
    const int current = m_gesture.CurrentIndex();
    if (current >= 0 && current < count() && !m_selection.contains(current)) {
        m_anchor = current;
        setSelection({ current });
        return;
    }
    showCurrentVisible();
    viewport()->update();
}

void TTimeline::showCurrentVisible()
{
    const int current = m_gesture.CurrentIndex();
    if (current < 0 || current >= count())
        return;
    const QRect cell = CellRect(current);
    QScrollBar *bar = horizontalScrollBar();
    if (cell.left() < 0)
        bar->setValue(bar->value() + cell.left());
    else if (cell.right() >= viewport()->width())
        bar->setValue(bar->value() + cell.right() - viewport()->width() + 1);
}

void TTimeline::select(int index, Qt::KeyboardModifiers modifiers)
{
    if (index < 0 || index >= count())
        return;
    if (modifiers & Qt::ShiftModifier) {
        TFrameSelection range = FrameRange(m_anchor, index);
        if (modifiers & Qt::ControlModifier)
            range += m_selection;
        m_selection = NormalizedSelection(range, count());
    } else if (modifiers & Qt::ControlModifier) {
        m_anchor = index;
        if (m_selection.contains(index) && m_selection.size() > 1) {
            m_selection.removeAll(index);
            // The current frame stays one of the selected.
            if (m_gesture.CurrentIndex() == index)
                index = *std::min_element(m_selection.begin(), m_selection.end(),
                    [index](int a, int b) { return std::abs(a - index) < std::abs(b - index); });
        } else {
            m_selection = NormalizedSelection(m_selection + TFrameSelection { index }, count());
        }
    } else {
        m_anchor = index;
        m_selection = { index };
    }
    m_gesture.setCurrentIndex(index);
    showCurrentVisible();
    viewport()->update();
    emit selectionChanged();
}

void TTimeline::setAnchoredRange(int to)
{
    select(std::clamp(to, 0, count() - 1), Qt::ShiftModifier);
}

const QImage &TTimeline::thumbnail(int index)
{
    const TFrameList &frames = *m_gesture.Frames();
    const QSize size = thumbSize();
    if (size != m_thumbsFor || m_thumbs.size() > kMaxThumbs) {
        m_thumbs.clear();
        m_thumbsFor = size;
    }
    const QPair<qint64, TColor> key(frames.Picture(index).cacheKey(), frames.MaskColor(index));
    auto found = m_thumbs.find(key);
    if (found != m_thumbs.end())
        return *found;
    // Scaled without smoothing, so pixels stay sharp and the transparent
    // ones stay transparent.
    QImage thumb(size, QImage::Format_ARGB32_Premultiplied);
    thumb.fill(Qt::transparent);
    QPainter painter(&thumb);
    painter.scale(double(size.width()) / frames.Width(), double(size.height()) / frames.Height());
    frames.Draw(painter, QPoint(0, 0), index);
    painter.end();
    return *m_thumbs.insert(key, thumb);
}

void TTimeline::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const QPalette &colours = palette();
    painter.fillRect(viewport()->rect(), colours.base());
    const int n = count();
    if (n == 0)
        return;
    const int w = cellWidth();
    const int first = std::max(0, horizontalScrollBar()->value() / w);
    const int last = std::min(n - 1, (horizontalScrollBar()->value() + viewport()->width()) / w);
    const QSize thumb = thumbSize();
    const int current = m_gesture.CurrentIndex();
    const QColor highlight = colours.color(QPalette::Highlight);
    for (int i = first; i <= last; ++i) {
        const QRect cell = CellRect(i);
        const bool selected = std::binary_search(m_selection.begin(), m_selection.end(), i);
        if (selected)
            painter.fillRect(cell.adjusted(1, 1, -1, -1), highlight.lighter(150));
        const QRect picture(cell.left() + (w - thumb.width()) / 2, kPad, thumb.width(), thumb.height());
        painter.fillRect(picture, toQColor(m_background));
        painter.drawImage(picture.topLeft(), thumbnail(i));
        const QRect number(cell.left(), picture.top() + kThumbHeight + 2, w, fontMetrics().height());
        painter.setPen(colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(number, Qt::AlignCenter, QString::number(i + 1));
        if (i == current) {
            painter.setPen(QPen(highlight, 2));
            painter.drawRect(cell.adjusted(1, 1, -1, -1));
        }
    }
    if (m_dropPlace >= 0) {
        const int x = m_dropPlace * w - horizontalScrollBar()->value();
        painter.fillRect(QRect(x - 1, 0, 3, viewport()->height()), colours.color(QPalette::Text));
    }
}

void TTimeline::mousePressEvent(QMouseEvent *event)
{
    const int index = FrameAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton) {
        // The pop-up menu acts on the frame pressed, or on the selection
        // that holds it.
        if (event->button() == Qt::RightButton && index >= 0 && !m_selection.contains(index))
            select(index, {});
        return QAbstractScrollArea::mousePressEvent(event);
    }
    if (index < 0)
        return;
    m_pressed = index;
    m_pressAt = event->position().toPoint();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    // A plain press on a selected frame keeps the selection for a drag.
    m_narrowOnRelease = !modifiers && m_selection.size() > 1 && m_selection.contains(index);
    if (m_narrowOnRelease)
        m_gesture.setCurrentIndex(index);
    else
        select(index, modifiers);
}

void TTimeline::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressed < 0 || !(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position().toPoint() - m_pressAt).manhattanLength() < QApplication::startDragDistance())
        return;
    m_pressed = -1;
    m_narrowOnRelease = false;
    startDrag();
}

void TTimeline::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_narrowOnRelease)
        select(m_pressed, {});
    m_pressed = -1;
    m_narrowOnRelease = false;
}

void TTimeline::wheelEvent(QWheelEvent *event)
{
    const QPoint delta = event->angleDelta();
    const int steps = (delta.x() != 0 ? delta.x() : delta.y()) / 120;
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - steps * cellWidth());
    event->accept();
}

void TTimeline::keyPressEvent(QKeyEvent *event)
{
    const int n = count();
    const int current = m_gesture.CurrentIndex();
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    int to = -1;
    switch (event->key()) {
    case Qt::Key_Left:
        to = current - 1;
        break;
    case Qt::Key_Right:
        to = current + 1;
        break;
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = n - 1;
        break;
    default:
        return QAbstractScrollArea::keyPressEvent(event);
    }
    if (n == 0)
        return;
    to = std::clamp(to, 0, n - 1);
    if (event->modifiers() & Qt::ShiftModifier)
        setAnchoredRange(to);
    else
        select(to, {});
}

void TTimeline::startDrag()
{
    auto *drag = new QDrag(this);
    drag->setMimeData(MoveData());
    if (!m_selection.isEmpty())
        drag->setPixmap(QPixmap::fromImage(thumbnail(m_selection.first())));
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

bool TTimeline::isOwnMove(const QMimeData *data) const
{
    return data && data->data(kMoveMimeType) == QByteArray::number(quintptr(this));
}

bool TTimeline::acceptsDrop(const QMimeData *data) const
{
    if (!data)
        return false;
    if (isOwnMove(data))
        return count() > 0;
    if (data->hasImage())
        return true;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); });
}

void TTimeline::dragEnterEvent(QDragEnterEvent *event)
{
    if (!acceptsDrop(event->mimeData()))
        return event->ignore();
    event->setDropAction(isOwnMove(event->mimeData()) ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    m_dropPlace = DropPlaceAt(event->position().toPoint());
    viewport()->update();
}

void TTimeline::dragMoveEvent(QDragMoveEvent *event)
{
    if (!acceptsDrop(event->mimeData()))
        return event->ignore();
    const QPoint at = event->position().toPoint();
    // Near either end the strip scrolls, so any place can be reached.
    QScrollBar *bar = horizontalScrollBar();
    if (at.x() < kThumbHeight / 2)
        bar->setValue(bar->value() - cellWidth() / 4);
    else if (at.x() > viewport()->width() - kThumbHeight / 2)
        bar->setValue(bar->value() + cellWidth() / 4);
    event->setDropAction(isOwnMove(event->mimeData()) ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    m_dropPlace = DropPlaceAt(at);
    viewport()->update();
}

void TTimeline::dragLeaveEvent(QDragLeaveEvent *)
{
    m_dropPlace = -1;
    viewport()->update();
}

void TTimeline::dropEvent(QDropEvent *event)
{
    m_dropPlace = -1;
    viewport()->update();
    const QMimeData *data = event->mimeData();
    if (!acceptsDrop(data))
        return event->ignore();
    const int place = DropPlaceAt(event->position().toPoint());
    const bool own = isOwnMove(data);
    event->setDropAction(own ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    plumora::ui::guarded([&] {
        if (own) {
            const TGestureHistory::Step step(m_history,
                m_selection.size() > 1 ? QStringLiteral("Move Frames") : QStringLiteral("Move Frame"));
            setSelection(MoveFramesTo(m_gesture, m_selection, place));
            return;
        }
        QList<QImage> pictures;
        QList<QUrl> files;
        if (data->hasImage())
            pictures.append(qvariant_cast<QImage>(data->imageData()));
        else
            for (const QUrl &url : data->urls())
                if (url.isLocalFile())
                    files.append(url);
        emit picturesDropped(pictures, files, place);
    });
}
