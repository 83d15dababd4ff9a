// Frame editing in the gesture window: the "Frames" menu and the preview's
// pop-up menu, cutting, copying and pasting single frames through the system
// clipboard, deleting and inserting frames, moving a frame one place, and the
// keys that reach these operations.
#include "gesturewindow.h"

#include "gesture/zqgesture.h"
#include "platform/errors.h"
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
#include <QSlider>

#include <algorithm>

namespace {

const QString kCaption = QStringLiteral("Plumora");

bool hasFrames(const TZQGesture *gesture)
{
    return gesture->Frames() && gesture->Frames()->Count() > 0;
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
    if (event->modifiers() != Qt::ControlModifier)
        return false;
    const int key = event->key();
    return key == Qt::Key_X || key == Qt::Key_C || key == Qt::Key_V || key == Qt::Key_F11
        || key == Qt::Key_F12;
}

// Sees the window's keys before the focused control does: Ctrl with the
// keypad's plus or minus anywhere in the window, and the release of Insert or
// Delete on the slider. It watches the whole application so that controls
// created later are covered too, and looks at a key press only where it
// starts (the focused control), not again as it travels up to the parents.
class FrameKeyFilter : public QObject
{
public:
    explicit FrameKeyFilter(TfrmGestureWindow *window) : QObject(window), m_window(window) { }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
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
            if (widget == m_window->TrackBar1)
                m_window->TrackBar1KeyUp(key);
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
                m_window->Frames1Click();
                m_window->popGesturePopup();
            }
            return false;
        }
        m_window->FormKeyDown(key);
        // The move keys stop here: a text field would otherwise also take
        // the keypad's plus or minus as a character.
        return isMoveKey(key);
    }

private:
    TfrmGestureWindow *m_window;
};

} // namespace

void TfrmGestureWindow::buildFrameMenus()
{
    auto item = [this](QMenu *menu, QAction *&action, const char *name, const QString &caption,
                    void (TfrmGestureWindow::*handler)()) {
        action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    auto separator = [](QMenu *menu, const char *name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    // The "Frames" menu, shown in the main window's bar while this window is
    // active.
    item(Frames1, Cut3, "Cut3", QStringLiteral("Cu&t"), &TfrmGestureWindow::CutFrame);
    item(Frames1, Copy3, "Copy3", QStringLiteral("&Copy"), &TfrmGestureWindow::CopyFrame);
    item(Frames1, Paste3, "Paste3", QStringLiteral("&Paste"), &TfrmGestureWindow::PasteFrame);
    separator(Frames1, "N4");
    item(Frames1, DeleteFrame1, "DeleteFrame1", QStringLiteral("&Delete Frame"),
        &TfrmGestureWindow::DeleteFrame);
    item(Frames1, InsertBlankFrame1, "InsertBlankFrame1", QStringLiteral("&Insert Blank Frame"),
        &TfrmGestureWindow::InsertBlankFrame);
    InsertBlankFrame1->setVisible(false); // offered only by the pop-up menu and the Insert key
    separator(Frames1, "N6");
    item(Frames1, MoveBackward1, "MoveBackward1", QStringLiteral("Move &Backward"),
        &TfrmGestureWindow::MoveBackward1Click);
    item(Frames1, MoveForward1, "MoveForward1", QStringLiteral("Move &Forward"),
        &TfrmGestureWindow::MoveForward1Click);
    MoveBackward1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F11));
    MoveForward1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F12));
    // The moves' keys work wherever the focus is inside this window, and only
    // in the window that has it, so several open windows never compete.
    for (QAction *action : { MoveBackward1, MoveForward1 }) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    connect(Frames1, &QMenu::aboutToShow, this, [this] { Frames1Click(); });

    // The preview's pop-up menu.
    popGesture = new QMenu(this);
    popGesture->setObjectName(QStringLiteral("popGesture"));
    item(popGesture, Cut2, "Cut2", QStringLiteral("Cu&t"), &TfrmGestureWindow::CutFrame);
    item(popGesture, Copy2, "Copy2", QStringLiteral("&Copy"), &TfrmGestureWindow::CopyFrame);
    item(popGesture, Paste2, "Paste2", QStringLiteral("&Paste"), &TfrmGestureWindow::PasteFrame);
    separator(popGesture, "N3");
    item(popGesture, Delete1, "Delete1", QStringLiteral("&Delete Frame"), &TfrmGestureWindow::DeleteFrame);
    item(popGesture, InsertBlank1, "InsertBlank1", QStringLiteral("&Insert Blank Frame"),
        &TfrmGestureWindow::InsertBlankFrame);
    separator(popGesture, "N8");
    item(popGesture, MoveBackward2, "MoveBackward2", QStringLiteral("Move &Backward"),
        &TfrmGestureWindow::MoveBackward1Click);
    item(popGesture, MoveForward2, "MoveForward2", QStringLiteral("Move &Forward"),
        &TfrmGestureWindow::MoveForward1Click);
    Cut2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    Copy2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    Paste2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    // Shown in the pop-up only; the keys themselves belong to the "Frames"
    // menu's items, which are active wherever this window has the focus.
    MoveBackward2->setShortcut(MoveBackward1->shortcut());
    MoveForward2->setShortcut(MoveForward1->shortcut());
    // Cut, Copy and Paste act on frames only while the preview has the focus;
    // in the text fields the same keys keep editing text.
    ScrollBox1->setFocusPolicy(Qt::StrongFocus);
    for (QAction *action : { Cut2, Copy2, Paste2 }) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        ScrollBox1->addAction(action);
    }
    connect(popGesture, &QMenu::aboutToShow, this, [this] { popGesturePopup(); });
    for (QWidget *owner : { static_cast<QWidget *>(ScrollBox1), static_cast<QWidget *>(ZQGesture1) }) {
        owner->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(owner, &QWidget::customContextMenuRequested, this,
            [this, owner](const QPoint &at) { popGesture->popup(owner->mapToGlobal(at)); });
    }

    qApp->installEventFilter(new FrameKeyFilter(this));
}

void TfrmGestureWindow::Frames1Click()
{
    const bool frames = hasFrames(ZQGesture1);
    for (QAction *action : { Cut3, Copy3, DeleteFrame1, InsertBlankFrame1 })
        action->setEnabled(frames);
    Paste3->setEnabled(clipboardOffersPicture());
    MoveForward1->setEnabled(frames && TrackBar1->value() < TrackBar1->maximum());
    MoveBackward1->setEnabled(frames && TrackBar1->value() > 1);
}

void TfrmGestureWindow::popGesturePopup()
{
    const bool frames = hasFrames(ZQGesture1);
    for (QAction *action : { Cut2, Copy2, Delete1, InsertBlank1 })
        action->setEnabled(frames);
    Paste2->setEnabled(clipboardOffersPicture());
    MoveForward2->setEnabled(frames && TrackBar1->value() < TrackBar1->maximum());
    MoveBackward2->setEnabled(frames && TrackBar1->value() > 1);
}

namespace {

// The current frame as it was added: with the transparency box ticked the
// gesture's transparent colour is lifted for the copy, so transparent pixels
// come out in their own colour, and then put back from the swatch. Lifting
// and restoring it marks the gesture modified.
QImage currentFrameAsAdded(TfrmGestureWindow *window)
{
    struct Lift
    {
        TfrmGestureWindow *window;
        bool transparent;
        ~Lift()
        {
            if (transparent)
                window->ZQGesture1->setTransparentColor(window->TransColor());
        }
    } lift { window, window->cbxTransparent->isChecked() };
    if (lift.transparent)
        window->ZQGesture1->setTransparentColor(clNone);
    return window->ZQGesture1->Frames()->CopyFrame(window->TrackBar1->value() - 1, clNone);
}

// The mask colour for frames put back into the list.
TColor insertMask(const TfrmGestureWindow *window)
{
    return window->cbxTransparent->isChecked() ? window->ZQGesture1->TransparentColor() : clNone;
}

} // namespace

void TfrmGestureWindow::CopyFrame()
{
    if (!hasFrames(ZQGesture1))
        return;
    QGuiApplication::clipboard()->setImage(currentFrameAsAdded(this));
    UpdateFileCommands();
}

void TfrmGestureWindow::CutFrame()
{
    if (!hasFrames(ZQGesture1))
        return;
    UnsavedChanges = true;
    CopyFrame();
    ZQGesture1->Frames()->Delete(TrackBar1->value() - 1);
    ZQGesture1->update();
    if (TrackBar1->minimum() < TrackBar1->maximum()) {
        TrackBar1->setMaximum(TrackBar1->maximum() - 1);
        TrackBar1Change();
    }
    UpdateFileCommands();
}

void TfrmGestureWindow::DeleteFrame()
{
    if (!hasFrames(ZQGesture1))
        return;
    if (!confirm(this, QStringLiteral("Delete Frame?")))
        return;
    // The answer may come after other events ran; the frame list is read
    // afresh.
    if (!hasFrames(ZQGesture1))
        return;
    UnsavedChanges = true;
    ZQGesture1->Frames()->Delete(std::min(TrackBar1->value(), ZQGesture1->Frames()->Count()) - 1);
    ZQGesture1->update();
    if (TrackBar1->minimum() < TrackBar1->maximum()) {
        TrackBar1->setMaximum(TrackBar1->maximum() - 1);
        TrackBar1Change();
    }
    UpdateFileCommands();
}

void TfrmGestureWindow::InsertBlankFrame()
{
    // Without a frame list there is no frame size to make a blank frame of.
    if (!ZQGesture1->Frames())
        return;
    if (!confirm(this, QStringLiteral("Insert Frame?")))
        return;
    TFrameList *frames = ZQGesture1->Frames();
    if (!frames)
        return;
    UnsavedChanges = true;
    // Frame size rather than the control's size: after a paste into an empty
    // window the control keeps its own size.
    QImage blank(frames->Width(), frames->Height(), QImage::Format_RGB32);
    blank.fill(Qt::white);
    frames->Insert(
        std::clamp(TrackBar1->value() - 1, 0, frames->Count()), blank, ZQGesture1->TransparentColor());
    TrackBar1->setMaximum(frames->Count());
    TrackBar1Change();
    ZQGesture1->update();
    UpdateFileCommands();
}

void TfrmGestureWindow::PasteFrame()
{
    UnsavedChanges = true;
    const QImage picture = clipboardBitmap();
    if (!ZQGesture1->Frames())
        ZQGesture1->setFrames(std::make_unique<TFrameList>(picture.width(), picture.height()));
    TFrameList *frames = ZQGesture1->Frames();
    const QImage frame = fitToFrame(picture, QSize(frames->Width(), frames->Height()));
    frames->Insert(std::clamp(TrackBar1->value() - 1, 0, frames->Count()), frame, insertMask(this));
    ZQGesture1->update();
    TrackBar1->setMaximum(frames->Count());
    TrackBar1Change();
    UpdateFileCommands();
}

namespace {

// Moves the current frame one place: it goes to the clipboard, leaves the
// list, and comes back one place further on. The picture put back is the
// one just copied, not one read back from the clipboard, so a clipboard that
// fails to hand it back cannot lose the frame.
void moveCurrentFrame(TfrmGestureWindow *window, int step)
{
    TZQGesture *gesture = window->ZQGesture1;
    QSlider *slider = window->TrackBar1;
    const int p = slider->value();
    window->UnsavedChanges = true;
    const QImage picture = currentFrameAsAdded(window);
    QGuiApplication::clipboard()->setImage(picture);
    TFrameList *frames = gesture->Frames();
    frames->Delete(p - 1);
    frames->Insert(p - 1 + step, picture, insertMask(window));
    slider->setValue(p + step);
    gesture->update();
    window->TrackBar1Change();
    window->UpdateFileCommands();
}

} // namespace

void TfrmGestureWindow::MoveForward1Click()
{
    if (hasFrames(ZQGesture1) && TrackBar1->value() < TrackBar1->maximum()
        && TrackBar1->value() < ZQGesture1->Frames()->Count())
        moveCurrentFrame(this, 1);
}

void TfrmGestureWindow::MoveBackward1Click()
{
    if (hasFrames(ZQGesture1) && TrackBar1->value() > 1
        && TrackBar1->value() <= ZQGesture1->Frames()->Count())
        moveCurrentFrame(this, -1);
}

void TfrmGestureWindow::FormKeyDown(QKeyEvent *event)
{
    if (!isMoveKey(event))
        return;
    if (event->key() == Qt::Key_Plus)
        MoveForward1Click();
    else if (event->key() == Qt::Key_Minus)
        MoveBackward1Click();
}

void TfrmGestureWindow::TrackBar1KeyUp(QKeyEvent *event)
{
    if (event->isAutoRepeat())
        return;
    if (event->key() == Qt::Key_Insert)
        InsertBlankFrame();
    else if (event->key() == Qt::Key_Delete)
        DeleteFrame();
}
