// Files dropped on a gesture window, each loaded as its row's Load button
// loads it: a picture on the preview or on the Animation row becomes the
// animation, a picture on the Button row or the preview button becomes the
// button picture, a WAV file on the Audio row becomes the sound. Anything
// else, anywhere else, is refused while it is still being dragged.
#include "gesturewindow.h"

#include "filedrops.h"
#include "filespage.h"
#include "gesture/zqgesture.h"
#include "previewpane.h"
#include "platform/ui/cursors.h"
#include "platform/ui/application.h"

#include <QApplication>
#include <QDropEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

namespace {

enum class Part { None, Animation, Button, Audio };

const QStringList &pictureKinds()
{
    static const QStringList kinds
        = { QStringLiteral("GIF"), QStringLiteral("JPG"), QStringLiteral("JPEG"), QStringLiteral("BMP") };
    return kinds;
}

const QStringList &soundKinds()
{
    static const QStringList kinds = { QStringLiteral("WAV") };
    return kinds;
}

// The one file a drag holds when it is of one of the kinds.
QString singleFile(const QMimeData &data, const QStringList &kinds)
{
    const QStringList files = DroppedFiles(data, kinds);
    return files.size() == 1 ? files.first() : QString();
}

// While a file is read or a dialog asks, nothing more is taken.
bool busy()
{
    return plumora::ui::screenCursor() == plumora::ui::crHourGlass || QApplication::activeModalWidget();
}

} // namespace

class TfrmGestureWindow::DropTarget : public plumora::ui::GuardedEventFilter
{
public:
    explicit DropTarget(TfrmGestureWindow &window) : m_window(window) { }

protected:
    bool filter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
            return false;
        auto &drop = *static_cast<QDropEvent *>(event);
        const QMimeData &data = *drop.mimeData();
        if (type == QEvent::DragEnter) {
            // Taken when the file suits some part of the page, so that the
            // moves over it (which follow at once) decide; refused, it goes
            // on to the main window, which opens gesture files.
            const bool suits = !singleFile(data, pictureKinds()).isEmpty()
                || (watched == m_window.filesPage && !singleFile(data, soundKinds()).isEmpty());
            if (!suits || busy() || !AcceptFileDrop(drop))
                drop.ignore();
            return true;
        }
        const Part part = partAt(watched, drop.position().toPoint());
        const QString file = singleFile(data, part == Part::Audio ? soundKinds() : pictureKinds());
        if (part == Part::None || file.isEmpty() || busy() || !AcceptFileDrop(drop)) {
            drop.ignore();
            return true;
        }
        if (type == QEvent::Drop) {
            // Loaded once the drop is over: the source waits for its answer,
            // and loading may ask questions.
            QTimer::singleShot(0, &m_window, plumora::ui::guardedCallback([window = &m_window, part, file] {
                load(*window, part, file);
            }));
        }
        return true;
    }

    // The part of the gesture whose row (or pane) holds the point.
    Part partAt(QObject *watched, QPoint point) const
    {
        if (watched == m_window.previewPane)
            return Part::Animation;
        switch (m_window.filesPage->PartAt(point).value_or(TGesturePart(-1))) {
        case TGesturePart::Animation:
            return Part::Animation;
        case TGesturePart::Audio:
            return Part::Audio;
        case TGesturePart::Button:
            return Part::Button;
        }
        return Part::None;
    }

    static void load(TfrmGestureWindow &window, Part part, const QString &file)
    {
        // The window that takes the file becomes the active one, so that
        // its questions and the main window's gauges speak of it.
        if (auto *sub = qobject_cast<QMdiSubWindow *>(window.parentWidget()); sub && sub->mdiArea())
            sub->mdiArea()->setActiveSubWindow(sub);
        switch (part) {
        case Part::Animation:
            window.loadAnimationFile(file);
            break;
        case Part::Button:
            window.loadButtonImageFile(file);
            break;
        case Part::Audio:
            window.loadAudioFile(file);
            break;
        case Part::None:
            break;
        }
    }

    TfrmGestureWindow &m_window;
};

void TfrmGestureWindow::acceptFileDrops()
{
    m_drops = std::make_unique<DropTarget>(*this);
    for (QWidget *area : std::initializer_list<QWidget *> { filesPage, previewPane }) {
        area->setAcceptDrops(true);
        area->installEventFilter(m_drops.get());
    }
}
