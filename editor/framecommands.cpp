#include "framecommands.h"

#include "gesture/animationimport.h"
#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"
#include "gestureview.h"
#include "platform/errors.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"
#include "playbackcommand.h"
#include "previewpane.h"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QShortcut>
#include <QSlider>

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

TFrameCommands::TFrameCommands(
    QWidget &window, TZQGesture &gesture, TGestureHistory &history, TPreviewPane &preview, QMenu &framesMenu)
    : QObject(&window), m_window(window), m_gesture(gesture), m_history(history), m_preview(preview)
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
    // Insert and Delete on the slider act when the key is let go; the
    // preview's keys while it has the focus.
    m_keys = plumora::ui::guardedEventFilter({ preview.Slider(), preview.Area(), preview.View() },
        [this](QObject *watched, QEvent *event) { return frameKey(watched, event); });

    // The items follow the gesture and the clipboard as they change.
    for (const auto signal : { &TZQGesture::framesChanged, &TZQGesture::OnFrameChange })
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
            Qt::CTRL | Qt::SHIFT | Qt::Key_F11, &C::m_backward },
        { "moveToEndAction", "popupMoveToEndAction", "Move to &End", &C::MoveToEnd,
            Qt::CTRL | Qt::SHIFT | Qt::Key_F12, &C::m_forward },
        { "reverseFramesAction", "popupReverseAction", "Re&verse Frames", &C::ReverseFrames,
            Qt::CTRL | Qt::SHIFT | Qt::Key_R, &C::m_reverse, "OrderSeparator" },
    };
    m_popup = new QMenu(&m_window);
    m_popup->setObjectName(QStringLiteral("gesturePopup"));
    for (const Item &item : items) {
        for (const bool popup : { false, true }) {
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
    }
    m_preview.Playback()->AddTo(&framesMenu, m_popup);
    connect(&framesMenu, &QMenu::aboutToShow, this, guardedCallback([this] { UpdateItems(); }));
    connect(m_popup, &QMenu::aboutToShow, this, guardedCallback([this] { UpdateItems(); }));
    for (QWidget *owner :
        { static_cast<QWidget *>(m_preview.Area()), static_cast<QWidget *>(m_preview.View()) }) {
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
    const bool paste = clipboardOffersPicture();
    for (QAction *action : std::as_const(m_paste))
        action->setEnabled(paste);
    for (QAction *action : std::as_const(m_forward))
        action->setEnabled(canMove(m_gesture, 1));
    for (QAction *action : std::as_const(m_backward))
        action->setEnabled(canMove(m_gesture, -1));
    for (QAction *action : std::as_const(m_reverse))
        action->setEnabled(frames && m_gesture.Frames()->Count() > 1);
}

bool TFrameCommands::confirm(const QString &question)
{
    return plumora::ui::messageBox(&m_window, QStringLiteral("Plumora"), question, QMessageBox::Question,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}

void TFrameCommands::CopyFrame()
{
    if (!hasFrames(m_gesture))
        return;
    // The frame's stored pixels, as it was added: lifting the transparent
    // colour for the copy would change the gesture.
    QGuiApplication::clipboard()->setImage(m_gesture.Frames()->CopyFrame(currentIndex(m_gesture), clNone));
}

void TFrameCommands::CutFrame()
{
    if (!hasFrames(m_gesture))
        return;
    const TGestureHistory::Step step(m_history, QStringLiteral("Cut Frame"));
    CopyFrame();
    m_gesture.DeleteFrame(currentIndex(m_gesture));
}

void TFrameCommands::DeleteFrame()
{
    if (!hasFrames(m_gesture) || !confirm(QStringLiteral("Delete Frame?")))
        return;
    // The answer may come after other events ran; the frame list is read
    // afresh.
    if (!hasFrames(m_gesture))
        return;
    const TGestureHistory::Step step(m_history, QStringLiteral("Delete Frame"));
    m_gesture.DeleteFrame(currentIndex(m_gesture));
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
    QImage picture = clipboardBitmap();
    m_gesture.CheckRoomForFrame();
    const TGestureHistory::Step step(m_history, QStringLiteral("Paste Frame"));
    if (!m_gesture.Frames()) {
        // The first frame sets the frame size: the picture fitted as an
        // import fits its frames, so that the frames can always be saved.
        const QSize size = FitToPreview(picture.width(), picture.height());
        if (size != picture.size())
            picture = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        m_gesture.setFrames(std::make_unique<TFrameList>(size.width(), size.height()));
        m_gesture.setOrigin(TGesturePart::Animation, { TPartOrigin::Internal, {} });
    }
    const TFrameList *frames = m_gesture.Frames();
    const QImage frame = fitToFrame(picture, QSize(frames->Width(), frames->Height()));
    m_gesture.InsertFrame(currentIndex(m_gesture), frame, m_gesture.TransparentColor());
}

void TFrameCommands::DuplicateFrame()
{
    if (!hasFrames(m_gesture))
        return;
    m_gesture.CheckRoomForFrame();
    const TGestureHistory::Step step(m_history, QStringLiteral("Duplicate Frame"));
    const TFrameList *frames = m_gesture.Frames();
    const int from = currentIndex(m_gesture);
    // The copy shares the frame's pixels until one of them is changed.
    m_gesture.InsertFrame(from + 1, frames->Picture(from), frames->MaskColor(from));
    m_gesture.setCurrentIndex(from + 1);
}

void TFrameCommands::ReverseFrames()
{
    const TFrameList *frames = m_gesture.Frames();
    if (!frames || frames->Count() < 2)
        return;
    const TGestureHistory::Step step(m_history, QStringLiteral("Reverse Frames"));
    const int n = frames->Count();
    const int current = currentIndex(m_gesture);
    for (int i = 0; i < n - 1; ++i)
        m_gesture.MoveFrame(n - 1, i);
    // The loop and the sound start at the same pictures as before.
    const int last = std::min(n, 255);
    if (m_gesture.AnimLoopOption() == aoLoop)
        m_gesture.setAnimLoopFrame(last + 1 - m_gesture.AnimLoopFrame());
    m_gesture.setAudioLoopFrame(last + 1 - m_gesture.AudioLoopFrame());
    m_gesture.setCurrentIndex(n - 1 - current);
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

// Moves the current frame to the start or the end as it is, mask and all;
// the clipboard is left alone.
void TFrameCommands::moveCurrentTo(bool end)
{
    if (!canMove(m_gesture, end ? 1 : -1))
        return;
    const TGestureHistory::Step step(
        m_history, end ? QStringLiteral("Move Frame to End") : QStringLiteral("Move Frame to Start"));
    const int to = end ? m_gesture.Frames()->Count() - 1 : 0;
    m_gesture.MoveFrame(currentIndex(m_gesture), to);
    m_gesture.setCurrentIndex(to);
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
