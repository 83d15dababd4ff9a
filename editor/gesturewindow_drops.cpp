// Files dropped on a gesture window, each loaded as its row's Load button
// loads it: a picture or a video clip on the preview or on the Animation row
// becomes the animation, a picture on the Button row or the preview button
// becomes the button picture, a sound on the Audio row becomes the sound. Anything
// else, anywhere else, is refused while it is still being dragged.
#include "codecs/picturekind.h"
#include "filedrops.h"
#include "filespage.h"
#include "gesture/zqgesture.h"
#include "gesturewindow.h"
#include "media/clipreader.h"
#include "platform/ui/application.h"
#include "platform/ui/cursors.h"
#include "previewpane.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace {

enum class Part { None, Animation, Button, Audio };

// The sounds Audio Load converts, by their names.
const QStringList &soundKinds()
{
    static const QStringList kinds = { QStringLiteral("WAV"), QStringLiteral("MP3"), QStringLiteral("OGG"),
        QStringLiteral("OGA"), QStringLiteral("OPUS"), QStringLiteral("FLAC") };
    return kinds;
}

// The one local file a drag holds, whatever its kind.
QString singleFile(const QMimeData &data)
{
    const QList<QUrl> urls = data.urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return {};
    const QFileInfo file(urls.first().toLocalFile());
    return file.isFile() ? file.absoluteFilePath() : QString();
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
        const QString file = singleFile(*drop.mimeData());
        const Kinds kinds = kindsOf(file);
        if (type == QEvent::DragEnter) {
            // Taken when the file suits some part of the page, so that the
            // moves over it (which follow at once) decide; refused, it goes
            // on to the main window, which opens gesture files.
            const bool suits = kinds.picture || kinds.clip || (watched == m_window.filesPage && kinds.sound);
            if (!suits || busy() || !AcceptFileDrop(drop))
                drop.ignore();
            return true;
        }
        const Part part = partAt(watched, drop.position().toPoint());
        const bool fits = (part == Part::Animation && (kinds.picture || kinds.clip))
            || (part == Part::Button && kinds.picture) || (part == Part::Audio && kinds.sound);
        if (!fits || busy() || !AcceptFileDrop(drop)) {
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

    // What a file may become: a picture (by its name or its content), a
    // video clip, a sound (by its name). A drag asks for every move, so the
    // last file's answer is kept.
    struct Kinds
    {
        bool picture = false, clip = false, sound = false;
    };
    Kinds kindsOf(const QString &file)
    {
        if (file.isEmpty())
            return {};
        if (file == m_lastFile)
            return m_lastKinds;
        Kinds kinds;
        kinds.picture = PictureKindOf(file) != TPictureKind::Unknown;
        kinds.clip = !kinds.picture && AnimationSourceOf(file) == TAnimationSource::Clip;
        kinds.sound = soundKinds().contains(QFileInfo(file).suffix().toUpper());
        m_lastFile = file;
        m_lastKinds = kinds;
        return kinds;
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
    QString m_lastFile;
    Kinds m_lastKinds;
};

void TfrmGestureWindow::acceptFileDrops()
{
    m_drops = std::make_unique<DropTarget>(*this);
    for (QWidget *area : std::initializer_list<QWidget *> { filesPage, previewPane }) {
        area->setAcceptDrops(true);
        area->installEventFilter(m_drops.get());
    }
}
