#include "framecommands.h"

#include "frameclipboard.h"
#include "gesture/animationimport.h"
#include "gesture/frameselection.h"
#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"
#include "gestureview.h"
#include "platform/errors.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"
#include "playbackcommand.h"
#include "previewpane.h"
#include "timeline.h"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollArea>
#include <QShortcut>
#include <QSlider>
#include <QTimer>

#include <algorithm>

using plumora::ui::guardedCallback;

namespace {

bool hasFrames(const TZQGesture &gesture)
{
    return gesture.Frames() && gesture.Frames()->Count() > 0;
}

// The 0-based frame the edits act on: the gesture's current frame, kept
// inside the list.
int currentIndex(const TZQGesture &gesture)
{
    const int count = gesture.Frames() ? gesture.Frames()->Count() : 0;
    return std::clamp(gesture.CurrentIndex(), 0, std::max(0, count - 1));
}

// Whether the current frame can move one place forward or backward.
bool canMove(const TZQGesture &gesture, int step)
{
    if (!hasFrames(gesture))
        return false;
    const int target = currentIndex(gesture) + step;
    return target >= 0 && target < gesture.Frames()->Count();
}

} // namespace

// One item of both menus; a separator stands before the items that name one.
// The "Frames" menu's item holds the key; the pop-up's shows it.
struct TFrameCommands::Item
{
    const char *menuName;
    const char *popupName;
    const char *caption;
    void (TFrameCommands::*run)();
    QKeySequence key;
    QList<QAction *> TFrameCommands::*group;
    const char *separator = nullptr; // "frames…" and "popup…" + this
};

TFrameCommands::TFrameCommands(QWidget &window, TZQGesture &gesture, TGestureHistory &history,
    TPreviewPane &preview, TTimeline &timeline, QMenu &framesMenu)
    : QObject(&window),
      m_window(window),
      m_gesture(gesture),
      m_history(history),
      m_preview(preview),
      m_timeline(timeline)
{
    buildMenus(framesMenu);

    // Ctrl with the keypad's plus or minus moves the frame, anywhere in the
    // window (a text field does not take them as characters with Ctrl).
    const struct
    {
        Qt::Key key;
        void (TFrameCommands::*run)();
    } moves[] = { { Qt::Key_Plus, &TFrameCommands::MoveForward },
        { Qt::Key_Minus, &TFrameCommands::MoveBackward } };
    for (const auto &move : moves) {
        auto *shortcut = new QShortcut(
            QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, move.key)), &window);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this,
            guardedCallback([this, run = move.run] { (this->*run)(); }));
    }
    // Zooming the preview, anywhere in the window.
    const struct
    {
        QKeySequence key;
        bool in;
    } zooms[] = { { QKeySequence::ZoomIn, true }, { Qt::CTRL | Qt::Key_Equal, true },
        { QKeySequence::ZoomOut, false } };
    for (const auto &zoom : zooms) {
        auto *shortcut = new QShortcut(zoom.key, &window);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, guardedCallback([this, in = zoom.in] {
            if (in)
                m_preview.ZoomIn();
            else
                m_preview.ZoomOut();
        }));
    }
    connect(&timeline, &TTimeline::selectionChanged, this, guardedCallback([this] { UpdateItems(); }));
    // Inserted once the drop is over: the source waits for its answer, and
    // reading the files may end in a message.
    connect(&timeline, &TTimeline::picturesDropped, this,
        [this](const QList<QImage> &pictures, const QList<QUrl> &files, int place) {
            QTimer::singleShot(0, this,
                guardedCallback([this, pictures, files, place] { InsertPictures(pictures, files, place); }));
        });
    // Insert and Delete on the slider act when the key is let go; the
    // preview's keys while it has the focus.
    m_keys = plumora::ui::guardedEventFilter({ preview.Slider(), preview.Area(), preview.View(), &timeline },
        [this](QObject *watched, QEvent *event) { return frameKey(watched, event); });

    // The items follow the gesture and the clipboard as they change.
    for (const auto signal :
        { &TZQGesture::framesChanged, &TZQGesture::OnFrameChange, &TZQGesture::audioChanged })
        connect(&gesture, signal, this, guardedCallback([this] { UpdateItems(); }));
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
        guardedCallback([this] { UpdateItems(); }));
    UpdateItems();
}

TFrameCommands::~TFrameCommands() = default;

void TFrameCommands::buildMenus(QMenu &framesMenu)
{
    using C = TFrameCommands;
    const Item items[] = {
        { "cutFrameAction", "popupCutAction", "Cu&t", &C::CutFrame, {}, &C::m_onFrame },
        { "copyFrameAction", "popupCopyAction", "&Copy", &C::CopyFrame, {}, &C::m_onFrame },
        { "pasteFrameAction", "popupPasteAction", "&Paste", &C::PasteFrame, {}, &C::m_paste },
        { "deleteFrameAction", "popupDeleteAction", "&Delete Frame", &C::DeleteFrame, {}, &C::m_onFrame,
            "ClipboardSeparator" },
        { "insertBlankFrameAction", "popupInsertBlankAction", "&Insert Blank Frame", &C::InsertBlankFrame, {},
            &C::m_onFrame },
        { "duplicateFrameAction", "popupDuplicateAction", "D&uplicate Frame", &C::DuplicateFrame,
            Qt::CTRL | Qt::Key_D, &C::m_onFrame },
        { "moveBackwardAction", "popupMoveBackwardAction", "Move &Backward", &C::MoveBackward,
            Qt::CTRL | Qt::Key_F11, &C::m_backward, "MoveSeparator" },
        { "moveForwardAction", "popupMoveForwardAction", "Move &Forward", &C::MoveForward,
            Qt::CTRL | Qt::Key_F12, &C::m_forward },
        { "moveToStartAction", "popupMoveToStartAction", "Move to &Start", &C::MoveToStart,
            Qt::CTRL | Qt::SHIFT | Qt::Key_F11, &C::m_toStart },
        { "moveToEndAction", "popupMoveToEndAction", "Move to &End", &C::MoveToEnd,
            Qt::CTRL | Qt::SHIFT | Qt::Key_F12, &C::m_toEnd },
        { "reverseFramesAction", "popupReverseAction", "Re&verse Frames", &C::ReverseFrames,
            Qt::CTRL | Qt::SHIFT | Qt::Key_R, &C::m_reverse, "OrderSeparator" },
        { "keepOnlySelectedAction", "popupKeepOnlySelectedAction", "&Keep Only Selected",
            &C::KeepOnlySelected, {}, &C::m_keepOnly },
        { "removeSoundAction", nullptr, "Remove &Sound", &C::RemoveSound, {}, &C::m_sound, "SoundSeparator" },
    };
    m_popup = new QMenu(&m_window);
    m_popup->setObjectName(QStringLiteral("gesturePopup"));
    for (const Item &item : items) {
        for (const bool popup : { false, true }) {
            if (popup && !item.popupName)
                continue;
            QMenu *menu = popup ? m_popup : &framesMenu;
            if (item.separator)
                menu->addSeparator()->setObjectName(
                    QLatin1String(popup ? "popup" : "frames") + QLatin1String(item.separator));
            QAction *action = menu->addAction(QString::fromLatin1(item.caption));
            action->setObjectName(QString::fromLatin1(popup ? item.popupName : item.menuName));
            action->setShortcut(item.key);
            connect(action, &QAction::triggered, this,
                guardedCallback([this, run = item.run] { (this->*run)(); }));
            (this->*item.group).append(action);
            // The "Frames" menu's keys work wherever the focus is inside this
            // window, and only in the window that has it, so several open
            // windows never compete.
            if (!popup && !item.key.isEmpty()) {
                action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
                m_window.addAction(action);
            }
            if (!popup && QLatin1String(item.menuName) == QLatin1String("insertBlankFrameAction"))
                action->setVisible(false); // offered by the pop-up menu and the Insert key only
        }
    }
    // Cut, Copy and Paste act on frames only while the preview has the focus;
    // in the text fields the same keys keep editing text.
    const QKeySequence clipboardKeys[] = { Qt::CTRL | Qt::Key_X, Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_V };
    for (int i = 0; i < 3; ++i) {
        QAction *action = m_popup->actions().at(i);
        action->setShortcut(clipboardKeys[i]);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_preview.Area()->addAction(action);
        m_timeline.addAction(action);
    }
    m_preview.Playback()->AddTo(&framesMenu, m_popup);
    connect(&framesMenu, &QMenu::aboutToShow, this, guardedCallback([this] { UpdateItems(); }));
    connect(m_popup, &QMenu::aboutToShow, this, guardedCallback([this] { UpdateItems(); }));
    for (QWidget *owner : { static_cast<QWidget *>(m_preview.Area()),
             static_cast<QWidget *>(m_preview.View()), static_cast<QWidget *>(&m_timeline) }) {
        owner->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(owner, &QWidget::customContextMenuRequested, this,
            guardedCallback([this, owner](const QPoint &at) { m_popup->popup(owner->mapToGlobal(at)); }));
    }
}

void TFrameCommands::AddFrameItem(const QString &caption, const QString &name, std::function<void()> run)
{
    const QString objectName[] = { name, QStringLiteral("popup") + name.left(1).toUpper() + name.mid(1) };
    const QString separator[] = { QStringLiteral("framesFitSeparator"), QStringLiteral("popupFitSeparator") };
    QMenu *menus[] = { qobject_cast<QMenu *>(m_onFrame.first()->parent()), m_popup };
    for (int i = 0; i < 2; ++i) {
        // Before Play/Stop, which each menu has last.
        QMenu *menu = menus[i];
        QAction *last = menu->actions().isEmpty() ? nullptr : menu->actions().last();
        QAction *gap = menu->insertSeparator(last);
        gap->setObjectName(separator[i]);
        auto *action = new QAction(caption, menu);
        action->setObjectName(objectName[i]);
        menu->insertAction(last, action);
        connect(action, &QAction::triggered, this, guardedCallback(run));
        m_onFrame.append(action);
    }
    UpdateItems();
}

void TFrameCommands::UpdateItems()
{
    const bool frames = hasFrames(m_gesture);
    for (QAction *action : std::as_const(m_onFrame))
        action->setEnabled(frames);
    const bool paste = ClipboardOffersPicture();
    for (QAction *action : std::as_const(m_paste))
        action->setEnabled(paste);
    for (QAction *action : std::as_const(m_forward))
        action->setEnabled(canMove(m_gesture, 1));
    for (QAction *action : std::as_const(m_backward))
        action->setEnabled(canMove(m_gesture, -1));
    // The selection can move to an end unless it is there already.
    const int count = frames ? m_gesture.Frames()->Count() : 0;
    const QVector<int> selected = selection();
    const int k = int(selected.size());
    for (QAction *action : std::as_const(m_toStart))
        action->setEnabled(k > 0 && selected != FrameRange(0, k - 1));
    for (QAction *action : std::as_const(m_toEnd))
        action->setEnabled(k > 0 && selected != FrameRange(count - k, count - 1));
    for (QAction *action : std::as_const(m_reverse))
        action->setEnabled(count > 1);
    for (QAction *action : std::as_const(m_keepOnly))
        action->setEnabled(k > 0 && k < count);
    for (QAction *action : std::as_const(m_sound))
        action->setEnabled(m_gesture.HasAudio());
}

void TFrameCommands::RemoveSound()
{
    if (!m_gesture.HasAudio())
        return;
    const TGestureHistory::Step step(m_history, QStringLiteral("Remove Sound"));
    m_gesture.ClearAudio();
}

bool TFrameCommands::confirm(const QString &question)
{
    return plumora::ui::messageBox(&m_window, QStringLiteral("Plumora"), question, QMessageBox::Question,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}

QVector<int> TFrameCommands::selection() const
{
    if (!hasFrames(m_gesture))
        return {};
    QVector<int> selected = NormalizedSelection(m_timeline.Selection(), m_gesture.Frames()->Count());
    return selected.isEmpty() ? QVector<int> { currentIndex(m_gesture) } : selected;
}

void TFrameCommands::CopyFrame()
{
    if (!hasFrames(m_gesture))
        return;
    // The frames' stored pixels, as they were added: lifting the transparent
    // colour for the copy would change the gesture.
    QGuiApplication::clipboard()->setMimeData(FramesMimeData(CopyFrames(m_gesture, selection())));
}

void TFrameCommands::CutFrame()
{
    if (!hasFrames(m_gesture))
        return;
    const QVector<int> selected = selection();
    const TGestureHistory::Step step(
        m_history, selected.size() > 1 ? QStringLiteral("Cut Frames") : QStringLiteral("Cut Frame"));
    CopyFrame();
    m_timeline.setSelection(DeleteFrames(m_gesture, selected));
}

void TFrameCommands::DeleteFrame()
{
    if (!hasFrames(m_gesture))
        return;
    const int n = int(selection().size());
    if (!confirm(n > 1 ? QStringLiteral("Delete %1 frames?").arg(n) : QStringLiteral("Delete Frame?")))
        return;
    // The answer may come after other events ran; the frame list and the
    // selection are read afresh.
    if (!hasFrames(m_gesture))
        return;
    const QVector<int> selected = selection();
    const TGestureHistory::Step step(
        m_history, selected.size() > 1 ? QStringLiteral("Delete Frames") : QStringLiteral("Delete Frame"));
    m_timeline.setSelection(DeleteFrames(m_gesture, selected));
}

void TFrameCommands::InsertBlankFrame()
{
    // Without a frame list there is no frame size to make a blank frame of.
    if (!m_gesture.Frames())
        return;
    m_gesture.CheckRoomForFrame();
    if (!confirm(QStringLiteral("Insert Frame?")))
        return;
    const TFrameList *frames = m_gesture.Frames();
    if (!frames)
        return;
    const TGestureHistory::Step step(m_history, QStringLiteral("Insert Blank Frame"));
    QImage blank(frames->Width(), frames->Height(), QImage::Format_RGB32);
    blank.fill(Qt::white);
    // Before the current frame: the position now names the blank frame.
    m_gesture.InsertFrame(currentIndex(m_gesture), blank, m_gesture.TransparentColor());
}

void TFrameCommands::PasteFrame()
{
    QList<QImage> pictures = ClipboardFrames();
    if (pictures.isEmpty())
        pictures = { ClipboardBitmap() };
    // After the selection; into an empty list at its start.
    const QVector<int> selected = selection();
    const int place = selected.isEmpty() ? 0 : selected.last() + 1;
    insertFitted(pictures, place,
        pictures.size() > 1 ? QStringLiteral("Paste Frames") : QStringLiteral("Paste Frame"));
}

void TFrameCommands::InsertPictures(const QList<QImage> &pictures, const QList<QUrl> &files, int place)
{
    // Every picture is read before anything changes, so a file that does not
    // read leaves the frames as they were.
    QList<QImage> all = pictures;
    for (const QUrl &file : files)
        all.append(ReadDroppedPicture(file.toLocalFile()));
    if (!all.isEmpty())
        insertFitted(all, place,
            all.size() > 1 ? QStringLiteral("Insert Pictures") : QStringLiteral("Insert Picture"));
}

void TFrameCommands::insertFitted(QList<QImage> pictures, int place, const QString &stepName)
{
    if (pictures.isEmpty())
        return;
    if (m_gesture.Frames())
        m_gesture.CheckRoomForFrames(m_gesture.Frames()->Count() + int(pictures.size()));
    else if (pictures.size() > kMaxGestureFrames)
        throw PlumoraError(QStringLiteral("A gesture holds at most %1 frames").arg(kMaxGestureFrames));
    const TGestureHistory::Step step(m_history, stepName);
    if (!m_gesture.Frames()) {
        // The first frame sets the frame size: the picture fitted as an
        // import fits its frames, so that the frames can always be saved.
        QImage &first = pictures.first();
        const QSize size = FitToPreview(first.width(), first.height());
        if (size != first.size())
            first = first.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        auto frames = std::make_unique<TFrameList>(size.width(), size.height());
        m_gesture.setFrames(std::move(frames));
        m_gesture.CheckRoomForFrames(int(pictures.size()));
        m_gesture.setOrigin(TGesturePart::Animation, { TPartOrigin::Internal, {} });
    }
    const TFrameList *frames = m_gesture.Frames();
    const QSize frameSize(frames->Width(), frames->Height());
    QVector<QImage> fitted;
    fitted.reserve(pictures.size());
    for (const QImage &picture : std::as_const(pictures))
        fitted.append(FitToFrame(picture, frameSize));
    m_timeline.setSelection(InsertFrames(m_gesture, place, fitted));
}

void TFrameCommands::DuplicateFrame()
{
    if (!hasFrames(m_gesture))
        return;
    const QVector<int> selected = selection();
    m_gesture.CheckRoomForFrames(m_gesture.Frames()->Count() + int(selected.size()));
    const TGestureHistory::Step step(m_history,
        selected.size() > 1 ? QStringLiteral("Duplicate Frames") : QStringLiteral("Duplicate Frame"));
    // The copies share the frames' pixels until one of them is changed.
    m_timeline.setSelection(DuplicateFrames(m_gesture, selected));
}

void TFrameCommands::ReverseFrames()
{
    const TFrameList *frames = m_gesture.Frames();
    if (!frames || frames->Count() < 2)
        return;
    const QVector<int> selected = selection();
    const TGestureHistory::Step step(m_history, QStringLiteral("Reverse Frames"));
    m_timeline.setSelection(::ReverseFrames(m_gesture, selected));
}

void TFrameCommands::KeepOnlySelected()
{
    const QVector<int> selected = selection();
    if (selected.isEmpty() || int(selected.size()) == m_gesture.Frames()->Count())
        return;
    const TGestureHistory::Step step(m_history, QStringLiteral("Keep Only Selected"));
    m_timeline.setSelection(KeepOnlyFrames(m_gesture, selected));
}

// Moves the current frame one place: it goes to the clipboard, leaves the
// list, and comes back one place further on. The picture put back is the
// one just copied, not one read back from the clipboard, so a clipboard that
// fails to hand it back cannot lose the frame.
void TFrameCommands::moveCurrent(int step)
{
    if (!canMove(m_gesture, step))
        return;
    const int from = currentIndex(m_gesture);
    const TGestureHistory::Step edit(
        m_history, step > 0 ? QStringLiteral("Move Frame Forward") : QStringLiteral("Move Frame Backward"));
    const QImage picture = m_gesture.Frames()->CopyFrame(from, clNone);
    QGuiApplication::clipboard()->setImage(picture);
    m_gesture.DeleteFrame(from);
    m_gesture.InsertFrame(from + step, picture, m_gesture.TransparentColor());
    m_gesture.setCurrentIndex(from + step);
}

void TFrameCommands::MoveForward()
{
    moveCurrent(1);
}

void TFrameCommands::MoveBackward()
{
    moveCurrent(-1);
}

// Moves the selected frames to the start or the end as they are, masks and
// all; the clipboard is left alone.
void TFrameCommands::moveCurrentTo(bool end)
{
    const QVector<int> selected = selection();
    if (selected.isEmpty())
        return;
    const int k = int(selected.size());
    const int count = m_gesture.Frames()->Count();
    if (selected == (end ? FrameRange(count - k, count - 1) : FrameRange(0, k - 1)))
        return;
    const QString noun = k > 1 ? QStringLiteral("Frames") : QStringLiteral("Frame");
    const TGestureHistory::Step step(m_history,
        end ? QStringLiteral("Move %1 to End").arg(noun) : QStringLiteral("Move %1 to Start").arg(noun));
    m_timeline.setSelection(
        end ? MoveFramesToEnd(m_gesture, selected) : MoveFramesToStart(m_gesture, selected));
}

void TFrameCommands::MoveToStart()
{
    moveCurrentTo(false);
}

void TFrameCommands::MoveToEnd()
{
    moveCurrentTo(true);
}

bool TFrameCommands::frameKey(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (watched == m_preview.Slider()) {
        if (type == QEvent::KeyRelease && !key->isAutoRepeat()) {
            if (key->key() == Qt::Key_Insert)
                InsertBlankFrame();
            else if (key->key() == Qt::Key_Delete)
                DeleteFrame();
        }
        return false;
    }
    return type == QEvent::KeyPress && previewKey(key);
}

// With the preview focused the arrows step one frame, Home and End go to
// the first and last, and Delete and Insert work as on the slider.
bool TFrameCommands::previewKey(QKeyEvent *event)
{
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    QSlider *slider = m_preview.Slider();
    switch (event->key()) {
    case Qt::Key_Left:
        slider->setValue(slider->value() - 1);
        return true;
    case Qt::Key_Right:
        slider->setValue(slider->value() + 1);
        return true;
    case Qt::Key_Home:
        slider->setValue(slider->minimum());
        return true;
    case Qt::Key_End:
        slider->setValue(slider->maximum());
        return true;
    case Qt::Key_Delete:
        if (!event->isAutoRepeat())
            DeleteFrame();
        return true;
    case Qt::Key_Insert:
        if (!event->isAutoRepeat())
            InsertBlankFrame();
        return true;
    default:
        return false;
    }
}
