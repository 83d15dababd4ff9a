// Frame editing in the gesture window: the "Frames" menu and the preview's
// pop-up menu, cutting, copying and pasting single frames through the system
// clipboard, deleting, inserting and duplicating frames, moving a frame one
// place or to either end, reversing the order, and the keys that reach these
// operations. Each edit is one step of the window's undo history.
#include "gesturewindow.h"

#include "gesture/animationimport.h"
#include "gesture/zqgesture.h"
#include "gestureview.h"
#include "platform/errors.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFrame>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>

using plumora::ui::guardedCallback;

namespace {

const QString kCaption = QStringLiteral("Plumora");

bool hasFrames(const TZQGesture *gesture)
{
    return gesture->Frames() && gesture->Frames()->Count() > 0;
}

// The 0-based frame the edits act on: the gesture's current frame, kept
// inside the list.
int currentIndex(const TZQGesture *gesture)
{
    const int count = gesture->Frames() ? gesture->Frames()->Count() : 0;
    return std::clamp(gesture->CurrentIndex(), 0, std::max(0, count - 1));
}

// Whether the current frame can move one place forward or backward.
bool canMove(const TZQGesture *gesture, int step)
{
    if (!hasFrames(gesture))
        return false;
    const int target = currentIndex(gesture) + step;
    return target >= 0 && target < gesture->Frames()->Count();
}

bool confirm(QWidget *parent, const QString &question)
{
    return plumora::ui::messageBox(parent, kCaption, question, QMessageBox::Question,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}

// True when the clipboard holds a picture of any kind: a bitmap Qt can hand
// over directly, or data under an image MIME type (GIF, icon, metafile, SVG
// and the like). Paste is offered for all of them; one that cannot be read
// as a bitmap fails when pasted.
bool clipboardOffersPicture()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return false;
    if (data->hasImage())
        return true;
    const QStringList formats = data->formats();
    return std::any_of(formats.begin(), formats.end(),
        [](const QString &format) { return format.startsWith(QLatin1String("image/")); });
}

// The clipboard's picture as a bitmap. Some platforms hand over only the
// encoded bytes of an image type; those that Qt's image readers know are
// decoded here. Anything else is refused with the bitmap reader's message.
QImage clipboardBitmap()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    QImage image = clipboard->image();
    if (!image.isNull())
        return image;
    if (const QMimeData *data = clipboard->mimeData()) {
        const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
        for (const QString &format : data->formats()) {
            if (!format.startsWith(QLatin1String("image/")) || !readable.contains(format.toLatin1()))
                continue;
            // The reader respects Qt's allocation limit, so a forged header
            // cannot make it allocate out of proportion.
            image = QImage::fromData(data->data(format));
            if (!image.isNull())
                return image;
        }
    }
    throw PlumoraError(QStringLiteral("Unsupported clipboard format"));
}

// A pasted picture made ready for a frame list of the given frame size. A
// picture of exactly that size goes in as it is; any other is scaled to fit
// inside the frame, keeping its proportions, and centred on white. Scaling
// picks nearest pixels so that no new colours appear: a blended edge would no
// longer match the transparent colour. Translucent pictures are laid on white
// first, since frames have no alpha channel.
QImage fitToFrame(const QImage &picture, QSize frame)
{
    QImage opaque = picture;
    if (picture.hasAlphaChannel()) {
        opaque = QImage(picture.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, picture);
    }
    if (opaque.size() == frame || frame.isEmpty())
        return opaque;
    QSize size = opaque.size().scaled(frame, Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(1, 1));
    QImage fitted(frame, QImage::Format_RGB32);
    fitted.fill(Qt::white);
    QPainter painter(&fitted);
    painter.drawImage(QPoint((frame.width() - size.width()) / 2, (frame.height() - size.height()) / 2),
        opaque.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    return fitted;
}

// Ctrl with the keypad's plus or minus.
bool isMoveKey(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    return modifiers.testFlag(Qt::ControlModifier) && modifiers.testFlag(Qt::KeypadModifier)
        && (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Minus);
}

// The keys of the frame menus' items.
bool isMenuKey(const QKeyEvent *event)
{
    const int key = event->key();
    if (event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier))
        return key == Qt::Key_F11 || key == Qt::Key_F12 || key == Qt::Key_R;
    if (event->modifiers() != Qt::ControlModifier)
        return false;
    return key == Qt::Key_X || key == Qt::Key_C || key == Qt::Key_V || key == Qt::Key_D || key == Qt::Key_F11
        || key == Qt::Key_F12;
}

// The keys that step through and edit the frames while the preview has the
// focus.
bool isPreviewKey(const QKeyEvent *event)
{
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Delete:
    case Qt::Key_Insert:
        return true;
    default:
        return false;
    }
}

} // namespace

// Sees the window's keys before the focused control does: Ctrl with the
// keypad's plus or minus anywhere in the window, and the release of Insert or
// Delete on the slider. It watches the whole application so that controls
// created later are covered too, and looks at a key press only where it
// starts (the focused control), not again as it travels up to the parents.
class TfrmGestureWindow::FrameKeyFilter : public QObject
{
public:
    explicit FrameKeyFilter(TfrmGestureWindow *window) : QObject(window), m_window(window) { }

protected:
    // The handlers run guarded: an error is shown and the event goes on.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        bool consumed = false;
        plumora::ui::guarded([&] { consumed = route(watched, event); });
        return consumed;
    }

private:
    bool route(QObject *watched, QEvent *event)
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
            return false;
        if (!watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        if (widget != m_window && !m_window->isAncestorOf(widget))
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (type == QEvent::KeyRelease) {
            if (widget == m_window->frameSlider)
                m_window->onFrameSliderKeyReleased(key);
            return false;
        }
        const QWidget *focus = QApplication::focusWidget();
        if (widget != focus && (focus || widget != m_window))
            return false;
        if (type == QEvent::ShortcutOverride) {
            // Just before a menu key is looked up: bring the items' enabled
            // state up to date, as opening the menus would, so that a key is
            // neither refused nor let through on what held when a menu last
            // opened.
            if (isMenuKey(key)) {
                m_window->updateFramesMenu();
                m_window->updateGesturePopup();
            }
            return false;
        }
        if (m_window->previewHasFocus() && isPreviewKey(key)) {
            m_window->onPreviewKeyPressed(key);
            return true;
        }
        m_window->onWindowKeyPressed(key);
        // The move keys stop here: a text field would otherwise also take
        // the keypad's plus or minus as a character.
        return isMoveKey(key);
    }

    TfrmGestureWindow *m_window;
};

void TfrmGestureWindow::buildFrameMenus()
{
    // The items of both menus, in order; a separator stands before the items
    // that name one. The "Frames" menu's item holds the key; the pop-up's
    // shows it (Cut, Copy and Paste have theirs on the preview only).
    using Window = TfrmGestureWindow;
    struct Item
    {
        QAction *Window::*menuItem;
        const char *menuName;
        QAction *Window::*popupItem;
        const char *popupName;
        const char *caption;
        void (Window::*handler)();
        QKeySequence key;
        const char *separator = nullptr; // "frames…" and "popup…" + this
    };
    const Item items[] = {
        { &Window::cutFrameAction, "cutFrameAction", &Window::popupCutAction, "popupCutAction", "Cu&t",
            &Window::CutFrame, {} },
        { &Window::copyFrameAction, "copyFrameAction", &Window::popupCopyAction, "popupCopyAction", "&Copy",
            &Window::CopyFrame, {} },
        { &Window::pasteFrameAction, "pasteFrameAction", &Window::popupPasteAction, "popupPasteAction",
            "&Paste", &Window::PasteFrame, {} },
        { &Window::deleteFrameAction, "deleteFrameAction", &Window::popupDeleteAction, "popupDeleteAction",
            "&Delete Frame", &Window::DeleteFrame, {}, "ClipboardSeparator" },
        { &Window::insertBlankFrameAction, "insertBlankFrameAction", &Window::popupInsertBlankAction,
            "popupInsertBlankAction", "&Insert Blank Frame", &Window::InsertBlankFrame, {} },
        { &Window::duplicateFrameAction, "duplicateFrameAction", &Window::popupDuplicateAction,
            "popupDuplicateAction", "D&uplicate Frame", &Window::DuplicateFrame, Qt::CTRL | Qt::Key_D },
        { &Window::moveBackwardAction, "moveBackwardAction", &Window::popupMoveBackwardAction,
            "popupMoveBackwardAction", "Move &Backward", &Window::moveFrameBackward, Qt::CTRL | Qt::Key_F11,
            "MoveSeparator" },
        { &Window::moveForwardAction, "moveForwardAction", &Window::popupMoveForwardAction,
            "popupMoveForwardAction", "Move &Forward", &Window::moveFrameForward, Qt::CTRL | Qt::Key_F12 },
        { &Window::moveToStartAction, "moveToStartAction", &Window::popupMoveToStartAction,
            "popupMoveToStartAction", "Move to &Start", &Window::moveFrameToStart,
            Qt::CTRL | Qt::SHIFT | Qt::Key_F11 },
        { &Window::moveToEndAction, "moveToEndAction", &Window::popupMoveToEndAction, "popupMoveToEndAction",
            "Move to &End", &Window::moveFrameToEnd, Qt::CTRL | Qt::SHIFT | Qt::Key_F12 },
        { &Window::reverseFramesAction, "reverseFramesAction", &Window::popupReverseAction,
            "popupReverseAction", "Re&verse Frames", &Window::ReverseFrames, Qt::CTRL | Qt::SHIFT | Qt::Key_R,
            "OrderSeparator" },
        { &Window::fitAnimationAction, "fitAnimationAction", &Window::popupFitAnimationAction,
            "popupFitAnimationAction", "Fit &Animation...", &Window::fitAnimation, {}, "FitSeparator" },
    };
    gesturePopup = new QMenu(this);
    gesturePopup->setObjectName(QStringLiteral("gesturePopup"));
    for (const Item &item : items) {
        for (const bool popup : { false, true }) {
            QMenu *menu = popup ? gesturePopup : framesMenu;
            if (item.separator)
                menu->addSeparator()->setObjectName(
                    QLatin1String(popup ? "popup" : "frames") + QLatin1String(item.separator));
            QAction *action = menu->addAction(QString::fromLatin1(item.caption));
            action->setObjectName(QString::fromLatin1(popup ? item.popupName : item.menuName));
            action->setShortcut(item.key);
            connect(action, &QAction::triggered, this,
                guardedCallback([this, handler = item.handler] { (this->*handler)(); }));
            this->*(popup ? item.popupItem : item.menuItem) = action;
        }
        // The "Frames" menu's keys work wherever the focus is inside this
        // window, and only in the window that has it, so several open windows
        // never compete.
        if (!item.key.isEmpty()) {
            (this->*item.menuItem)->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            addAction(this->*item.menuItem);
        }
    }
    insertBlankFrameAction->setVisible(false); // offered only by the pop-up menu and the Insert key
    connect(framesMenu, &QMenu::aboutToShow, this, guardedCallback([this] { updateFramesMenu(); }));
    popupCutAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    popupCopyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    popupPasteAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    // Cut, Copy and Paste act on frames only while the preview has the focus;
    // in the text fields the same keys keep editing text.
    gestureArea->setFocusPolicy(Qt::StrongFocus);
    for (QAction *action : { popupCutAction, popupCopyAction, popupPasteAction }) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        gestureArea->addAction(action);
    }
    connect(gesturePopup, &QMenu::aboutToShow, this, guardedCallback([this] { updateGesturePopup(); }));
    for (QWidget *owner : { static_cast<QWidget *>(gestureArea), static_cast<QWidget *>(gestureView) }) {
        owner->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(owner, &QWidget::customContextMenuRequested, this,
            guardedCallback(
                [this, owner](const QPoint &at) { gesturePopup->popup(owner->mapToGlobal(at)); }));
    }

    qApp->installEventFilter(new FrameKeyFilter(this));
}

void TfrmGestureWindow::updateFramesMenu()
{
    enableFrameItems({ cutFrameAction, copyFrameAction, deleteFrameAction, insertBlankFrameAction,
                         duplicateFrameAction, fitAnimationAction },
        pasteFrameAction, { moveForwardAction, moveToEndAction }, { moveBackwardAction, moveToStartAction },
        reverseFramesAction);
}

void TfrmGestureWindow::updateGesturePopup()
{
    enableFrameItems({ popupCutAction, popupCopyAction, popupDeleteAction, popupInsertBlankAction,
                         popupDuplicateAction, popupFitAnimationAction },
        popupPasteAction, { popupMoveForwardAction, popupMoveToEndAction },
        { popupMoveBackwardAction, popupMoveToStartAction }, popupReverseAction);
}

// One menu's items: those that need a frame, Paste, the moves towards the
// end and towards the start, and Reverse.
void TfrmGestureWindow::enableFrameItems(std::initializer_list<QAction *> onFrame, QAction *paste,
    std::initializer_list<QAction *> forward, std::initializer_list<QAction *> backward, QAction *reverse)
{
    const bool frames = hasFrames(gesture);
    for (QAction *action : onFrame)
        action->setEnabled(frames);
    paste->setEnabled(clipboardOffersPicture());
    for (QAction *action : forward)
        action->setEnabled(canMove(gesture, 1));
    for (QAction *action : backward)
        action->setEnabled(canMove(gesture, -1));
    reverse->setEnabled(frames && gesture->Frames()->Count() > 1);
}

// The current frame as it was added: frames keep their pixels as they came
// in, the transparent ones included, so the stored pixels are that picture.
// (Lifting the transparent colour for the copy would change the gesture.)
QImage TfrmGestureWindow::currentFrameAsAdded()
{
    return gesture->Frames()->CopyFrame(currentIndex(gesture), clNone);
}

// The mask colour for frames put back into the list.
TColor TfrmGestureWindow::insertMask() const
{
    return transparentCheck->isChecked() ? gesture->TransparentColor() : clNone;
}

void TfrmGestureWindow::checkRoomForFrame() const
{
    const TFrameList *frames = gesture->Frames();
    const int holds = FramesAGestureHolds(frames->Width());
    if (frames->Count() >= holds)
        throw PlumoraError(QStringLiteral("A gesture holds at most %1 frames of this size").arg(holds));
}

void TfrmGestureWindow::CopyFrame()
{
    if (!hasFrames(gesture))
        return;
    QGuiApplication::clipboard()->setImage(currentFrameAsAdded());
    UpdateFileCommands();
}

void TfrmGestureWindow::CutFrame()
{
    if (!hasFrames(gesture))
        return;
    const Edit edit(this, QStringLiteral("Cut Frame"));
    CopyFrame();
    gesture->DeleteFrame(currentIndex(gesture));
    UpdateFileCommands();
}

void TfrmGestureWindow::DeleteFrame()
{
    if (!hasFrames(gesture))
        return;
    if (!confirm(this, QStringLiteral("Delete Frame?")))
        return;
    // The answer may come after other events ran; the frame list is read
    // afresh.
    if (!hasFrames(gesture))
        return;
    const Edit edit(this, QStringLiteral("Delete Frame"));
    gesture->DeleteFrame(currentIndex(gesture));
    UpdateFileCommands();
}

void TfrmGestureWindow::InsertBlankFrame()
{
    // Without a frame list there is no frame size to make a blank frame of.
    if (!gesture->Frames())
        return;
    checkRoomForFrame();
    if (!confirm(this, QStringLiteral("Insert Frame?")))
        return;
    const TFrameList *frames = gesture->Frames();
    if (!frames)
        return;
    checkRoomForFrame();
    const Edit edit(this, QStringLiteral("Insert Blank Frame"));
    // Frame size rather than the view's size: after a paste into an empty
    // window the view keeps its own size.
    QImage blank(frames->Width(), frames->Height(), QImage::Format_RGB32);
    blank.fill(Qt::white);
    // Before the current frame: the position now names the blank frame.
    gesture->InsertFrame(currentIndex(gesture), blank, gesture->TransparentColor());
    UpdateFileCommands();
}

void TfrmGestureWindow::PasteFrame()
{
    QImage picture = clipboardBitmap();
    if (gesture->Frames())
        checkRoomForFrame();
    const Edit edit(this, QStringLiteral("Paste Frame"));
    if (!gesture->Frames()) {
        // The first frame sets the frame size: the picture fitted as an
        // import fits its frames, so that the frames can always be saved.
        const QSize size = FitToPreview(picture.width(), picture.height());
        if (size != picture.size())
            picture = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        gesture->setFrames(std::make_unique<TFrameList>(size.width(), size.height()));
        gestureView->resize(size);
        centreGesture();
    }
    const TFrameList *frames = gesture->Frames();
    const QImage frame = fitToFrame(picture, QSize(frames->Width(), frames->Height()));
    gesture->InsertFrame(currentIndex(gesture), frame, insertMask());
    UpdateFileCommands();
}

void TfrmGestureWindow::DuplicateFrame()
{
    if (!hasFrames(gesture))
        return;
    checkRoomForFrame();
    const Edit edit(this, QStringLiteral("Duplicate Frame"));
    const TFrameList *frames = gesture->Frames();
    const int from = currentIndex(gesture);
    // The copy shares the frame's pixels until one of them is changed.
    gesture->InsertFrame(from + 1, frames->Picture(from), frames->MaskColor(from));
    gesture->setCurrentIndex(from + 1);
    UpdateFileCommands();
}

void TfrmGestureWindow::ReverseFrames()
{
    const TFrameList *frames = gesture->Frames();
    if (!frames || frames->Count() < 2)
        return;
    const Edit edit(this, QStringLiteral("Reverse Frames"));
    const int n = frames->Count();
    const int current = currentIndex(gesture);
    for (int i = 0; i < n - 1; ++i)
        gesture->MoveFrame(n - 1, i);
    // The loop and the sound start at the same pictures as before; the
    // fields' handlers pass the new numbers to the gesture.
    const int last = std::min(n, 255);
    if (animationLoopRadio->isChecked())
        animationLoopFrameSpin->setValue(last + 1 - gesture->AnimLoopFrame());
    audioLoopFrameSpin->setValue(last + 1 - gesture->AudioLoopFrame());
    gesture->setCurrentIndex(n - 1 - current);
    UpdateFileCommands();
}

// Moves the current frame one place: it goes to the clipboard, leaves the
// list, and comes back one place further on. The picture put back is the
// one just copied, not one read back from the clipboard, so a clipboard that
// fails to hand it back cannot lose the frame.
void TfrmGestureWindow::moveCurrentFrame(int step)
{
    const int from = currentIndex(gesture);
    const Edit edit(
        this, step > 0 ? QStringLiteral("Move Frame Forward") : QStringLiteral("Move Frame Backward"));
    const QImage picture = currentFrameAsAdded();
    QGuiApplication::clipboard()->setImage(picture);
    gesture->DeleteFrame(from);
    gesture->InsertFrame(from + step, picture, insertMask());
    gesture->setCurrentIndex(from + step);
    UpdateFileCommands();
}

void TfrmGestureWindow::moveFrameForward()
{
    if (canMove(gesture, 1))
        moveCurrentFrame(1);
}

void TfrmGestureWindow::moveFrameBackward()
{
    if (canMove(gesture, -1))
        moveCurrentFrame(-1);
}

// Moves the current frame to the start or the end as it is, mask and all;
// the clipboard is left alone.
void TfrmGestureWindow::moveCurrentFrameTo(bool end)
{
    if (!canMove(gesture, end ? 1 : -1))
        return;
    const Edit edit(this, end ? QStringLiteral("Move Frame to End") : QStringLiteral("Move Frame to Start"));
    const int to = end ? gesture->Frames()->Count() - 1 : 0;
    gesture->MoveFrame(currentIndex(gesture), to);
    gesture->setCurrentIndex(to);
    UpdateFileCommands();
}

void TfrmGestureWindow::moveFrameToStart()
{
    moveCurrentFrameTo(false);
}

void TfrmGestureWindow::moveFrameToEnd()
{
    moveCurrentFrameTo(true);
}

bool TfrmGestureWindow::previewHasFocus() const
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && (focus == gestureArea || gestureArea->isAncestorOf(focus));
}

void TfrmGestureWindow::onWindowKeyPressed(QKeyEvent *event)
{
    if (!isMoveKey(event))
        return;
    if (event->key() == Qt::Key_Plus)
        moveFrameForward();
    else if (event->key() == Qt::Key_Minus)
        moveFrameBackward();
}

// With the preview focused the arrows step one frame, Home and End go to
// the first and last, and Delete and Insert work as on the slider.
void TfrmGestureWindow::onPreviewKeyPressed(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        frameSlider->setValue(frameSlider->value() - 1);
        break;
    case Qt::Key_Right:
        frameSlider->setValue(frameSlider->value() + 1);
        break;
    case Qt::Key_Home:
        frameSlider->setValue(frameSlider->minimum());
        break;
    case Qt::Key_End:
        frameSlider->setValue(frameSlider->maximum());
        break;
    case Qt::Key_Delete:
        if (!event->isAutoRepeat())
            DeleteFrame();
        break;
    case Qt::Key_Insert:
        if (!event->isAutoRepeat())
            InsertBlankFrame();
        break;
    default:
        break;
    }
}

void TfrmGestureWindow::onFrameSliderKeyReleased(QKeyEvent *event)
{
    if (event->isAutoRepeat())
        return;
    if (event->key() == Qt::Key_Insert)
        InsertBlankFrame();
    else if (event->key() == Qt::Key_Delete)
        DeleteFrame();
}
