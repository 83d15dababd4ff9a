// Frame editing in the gesture window, driven through its menus, its pop-up
// menu and its keys, with the offscreen platform's in-process clipboard and
// the confirmation boxes answered through the dialog seam.
#include "editor/gestureview.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"

#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <functional>

#include <gtest/gtest.h>

namespace {

const QRgb A = qRgb(200, 0, 0), B = qRgb(0, 200, 0), C = qRgb(0, 0, 200), D = qRgb(90, 90, 0),
           E = qRgb(0, 90, 90);
const QRgb white = qRgb(255, 255, 255);

// Answers every confirmation box with `answer` and records its caption and
// text.
struct Prompts
{
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    QStringList texts;
    QStringList captions;
    Prompts()
    {
        plumora::ui::setDialogResponder([this](QDialog &dialog) -> int {
            auto *box = qobject_cast<QMessageBox *>(&dialog);
            if (!box)
                return QDialog::Rejected;
            texts << box->text();
            captions << box->windowTitle();
            return answer;
        });
    }
    ~Prompts() { plumora::ui::setDialogResponder({}); }
};

QImage solid(QRgb colour, int width = 8, int height = 6)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A shown, active window whose gesture holds one 8 x 6 frame of each
// colour, with the slider on `current`.
std::unique_ptr<TfrmGestureWindow> windowWith(const std::vector<QRgb> &colours, int current = 1)
{
    auto window = std::make_unique<TfrmGestureWindow>(nullptr);
    auto frames = std::make_unique<TFrameList>(8, 6);
    for (QRgb colour : colours)
        frames->Add(solid(colour), clNone);
    window->Gesture()->setFrames(std::move(frames));
    control<QSlider>(window, "frameSlider")->setMaximum(int(colours.size()));
    control<QSlider>(window, "frameSlider")->setValue(current);
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    return window;
}

// The colour of each frame's top-left pixel, in list order.
std::vector<QRgb> order(const TfrmGestureWindow &w)
{
    std::vector<QRgb> out;
    const TFrameList *frames = w.Gesture()->Frames();
    for (int i = 0; frames && i < frames->Count(); ++i)
        out.push_back(frames->Picture(i).pixel(0, 0));
    return out;
}

QRgb clipboardColour()
{
    const QImage image = QGuiApplication::clipboard()->image();
    return image.isNull() ? 0 : image.pixel(0, 0);
}

void expectSlider(const TfrmGestureWindow &w, int position, int maximum)
{
    EXPECT_EQ(control<QSlider>(w, "frameSlider")->value(), position);
    EXPECT_EQ(control<QSlider>(w, "frameSlider")->maximum(), maximum);
}

// Opens the preview's pop-up menu as a right click would, and closes it.
void openPopup(TfrmGestureWindow &w)
{
    QContextMenuEvent event(
        QContextMenuEvent::Mouse, QPoint(1, 1), w.GestureView()->mapToGlobal(QPoint(1, 1)));
    QCoreApplication::sendEvent(w.GestureView(), &event);
    EXPECT_TRUE(control<QMenu>(w, "gesturePopup")->isVisible());
    control<QMenu>(w, "gesturePopup")->hide();
}

void openFramesMenu(TfrmGestureWindow &w)
{
    w.FramesMenu()->popup(QPoint(0, 0));
    w.FramesMenu()->hide();
}

} // namespace

// One row per frame command: the window starts with the frames and the
// slider on `current`, the command runs through its menu item, pop-up item or
// key with the focus where the row says, each question is answered with
// `answer`, and the row gives the frames, the slider and the clipboard after.
TEST(FrameEditing, CommandsEditTheFramesThroughMenusAndKeys)
{
    using Run = std::function<void(TfrmGestureWindow &)>;
    const auto action = [](const char *name) -> Run {
        return [name](TfrmGestureWindow &w) { control<QAction>(w, name)->trigger(); };
    };
    const auto key = [](const char *focus, Qt::Key k, Qt::KeyboardModifiers modifiers = {}) -> Run {
        return [=](TfrmGestureWindow &w) {
            QWidget *target = control<QWidget>(w, focus);
            target->setFocus();
            QTest::keyClick(target, k, modifiers);
        };
    };
    const Qt::KeyboardModifiers keypad = Qt::ControlModifier | Qt::KeypadModifier;
    const QRgb kept = 1; // the clipboard keeps the text it held
    const QStringList none, deleteFrame { "Delete Frame?" }, insertFrame { "Insert Frame?" };
    const struct
    {
        const char *what;
        std::vector<QRgb> before;
        int current;
        Run run;
        QMessageBox::StandardButton answer;
        std::vector<QRgb> after;
        int position;
        QRgb clipboard;
        QStringList questions;
    } rows[] = {
        { "move forward", { A, B, C }, 2, action("moveForwardAction"), QMessageBox::Yes, { A, C, B }, 3, B,
            none },
        // Ctrl+F11 moves back wherever the focus is in the window.
        { "Ctrl+F11 in a field", { A, C, B }, 3, key("taglineEdit", Qt::Key_F11, Qt::ControlModifier),
            QMessageBox::Yes, { A, B, C }, 2, B, none },
        { "move backward", { A, B, C }, 2, action("popupMoveBackwardAction"), QMessageBox::Yes, { B, A, C },
            1, B, none },
        { "Ctrl+F11 in the preview", { A, B, C }, 3, key("gestureArea", Qt::Key_F11, Qt::ControlModifier),
            QMessageBox::Yes, { A, C, B }, 2, C, none },
        // At either end the moves do nothing, also through the keys.
        { "backward at the start", { A, B, C }, 1, [](TfrmGestureWindow &w) { w.moveFrameBackward(); },
            QMessageBox::Yes, { A, B, C }, 1, kept, none },
        { "Ctrl+F12 at the end", { A, B, C }, 3, key("frameSlider", Qt::Key_F12, Qt::ControlModifier),
            QMessageBox::Yes, { A, B, C }, 3, kept, none },
        // Keypad plus and minus move too, and the field does not type them;
        // the plus of the main keyboard is not the keypad's.
        { "keypad plus in a field", { A, B, C }, 1, key("taglineEdit", Qt::Key_Plus, keypad),
            QMessageBox::Yes, { B, A, C }, 2, A, none },
        { "main plus in a field", { A, B, C }, 1, key("taglineEdit", Qt::Key_Plus, Qt::ControlModifier),
            QMessageBox::Yes, { A, B, C }, 1, kept, none },
        { "keypad minus", { B, A, C }, 2, key("frameSlider", Qt::Key_Minus, keypad), QMessageBox::Yes,
            { A, B, C }, 1, A, none },
        { "keypad minus at the start", { A, B, C }, 1, key("frameSlider", Qt::Key_Minus, keypad),
            QMessageBox::Yes, { A, B, C }, 1, kept, none },
        { "copy", { A, B, C }, 2, action("copyFrameAction"), QMessageBox::Yes, { A, B, C }, 2, B, none },
        { "cut", { A, B, C }, 2, action("popupCutAction"), QMessageBox::Yes, { A, C }, 2, B, none },
        { "cut in the preview", { A, B }, 2, key("gestureArea", Qt::Key_X, Qt::ControlModifier),
            QMessageBox::Yes, { A }, 1, B, none },
        { "cut the only frame", { A }, 1, action("cutFrameAction"), QMessageBox::Yes, {}, 1, A, none },
        { "delete the only frame", { A }, 1, action("deleteFrameAction"), QMessageBox::Yes, {}, 1, kept,
            deleteFrame },
        { "delete, answered No", { A, B, C, D, E }, 5, action("popupDeleteAction"), QMessageBox::No,
            { A, B, C, D, E }, 5, kept, deleteFrame },
        { "delete", { A, B, C, D, E }, 5, action("popupDeleteAction"), QMessageBox::Yes, { A, B, C, D }, 4,
            kept, deleteFrame },
        // The Delete key on the slider asks when it is released.
        { "Delete key", { A, B, C, D }, 1,
            [](TfrmGestureWindow &w) {
                auto *slider = control<QSlider>(w, "frameSlider");
                slider->setFocus();
                QTest::keyPress(slider, Qt::Key_Delete);
                EXPECT_EQ(w.Gesture()->Frames()->Count(), 4);
                QTest::keyRelease(slider, Qt::Key_Delete);
            },
            QMessageBox::Yes, { B, C, D }, 1, kept, deleteFrame },
        { "Insert key, answered No", { A, B, C }, 2, key("frameSlider", Qt::Key_Insert), QMessageBox::No,
            { A, B, C }, 2, kept, insertFrame },
        { "Insert key", { A, B, C }, 2, key("frameSlider", Qt::Key_Insert), QMessageBox::Yes,
            { A, white, B, C }, 2, kept, insertFrame },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        auto w = windowWith(row.before, row.current);
        QGuiApplication::clipboard()->setText("kept");
        Prompts prompts;
        prompts.answer = row.answer;
        row.run(*w);
        EXPECT_EQ(order(*w), row.after);
        const int count = int(row.after.size());
        expectSlider(*w, row.position, std::max(count, 1));
        EXPECT_EQ(control<QLabel>(w, "frameLabel")->text(),
            QStringLiteral("Frame %1 of %2").arg(row.position).arg(std::max(count, 1)));
        if (count > 0) {
            EXPECT_EQ(w->Gesture()->CurrentFrame(), row.position);
        }
        EXPECT_EQ(w->Gesture()->Valid(), count > 0);
        if (row.clipboard == kept) {
            EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
        } else {
            EXPECT_EQ(clipboardColour(), row.clipboard);
        }
        EXPECT_EQ(prompts.texts, row.questions);
        EXPECT_TRUE(prompts.captions.isEmpty() || prompts.captions.first() == "Plumora");
        // Every change of the frames is one that closing must not lose.
        EXPECT_EQ(w->Gesture()->UnsavedChanges(), row.after != row.before);
        EXPECT_TRUE(control<QLineEdit>(w, "taglineEdit")->text().isEmpty());
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(w->Gesture()->Frames()->Picture(i).size(), QSize(8, 6));
    }
}

// The slider and the label follow the gesture's frames, whoever changes
// them; with nothing left nothing is cut, copied or asked; the cut and copy
// keys of a text field are the field's own, and the preview's are the
// frames'.
TEST(FrameEditing, TheSliderFollowsTheGestureAndKeysFollowTheFocus)
{
    auto w = windowWith({ B, A, C }, 1);
    w->Gesture()->setCurrentFrame(3);
    expectSlider(*w, 3, 3);
    EXPECT_EQ(control<QLabel>(w, "frameLabel")->text(), "Frame 3 of 3");
    w->Gesture()->DeleteFrame(0);
    expectSlider(*w, 2, 2);
    EXPECT_EQ(control<QLabel>(w, "frameLabel")->text(), "Frame 2 of 2");
    w->Gesture()->InsertFrame(0, solid(B), clNone);
    w->Gesture()->setCurrentFrame(1);
    expectSlider(*w, 1, 3);

    auto *tagline = control<QLineEdit>(w, "taglineEdit");
    tagline->setText("words");
    tagline->setFocus();
    tagline->selectAll();
    QTest::keyClick(tagline, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "words");
    QTest::keyClick(tagline, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(order(*w).size(), 3u);
    EXPECT_TRUE(tagline->text().isEmpty());
    // Paste in the preview puts the clipboard's picture after the selected frame.
    QGuiApplication::clipboard()->setImage(solid(D));
    control<QFrame>(w, "gestureArea")->setFocus();
    ASSERT_TRUE(control<QFrame>(w, "gestureArea")->hasFocus());
    QTest::keyClick(control<QFrame>(w, "gestureArea"), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { B, D, A, C }));
    expectSlider(*w, 2, 4);

    auto empty = windowWith({ A });
    control<QAction>(empty, "cutFrameAction")->trigger();
    Prompts prompts;
    QGuiApplication::clipboard()->setText("kept");
    empty->CutFrame();
    empty->CopyFrame();
    empty->DeleteFrame();
    EXPECT_TRUE(prompts.texts.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
    // Without a frame list there is nothing to insert into, and no question.
    TfrmGestureWindow fresh(nullptr);
    fresh.InsertBlankFrame();
    EXPECT_TRUE(prompts.texts.isEmpty());
    EXPECT_EQ(fresh.Gesture()->Frames(), nullptr);
}

// The first picture pasted into a window without frames sets the frame
// size: its own when it fits the preview, otherwise fitted as an import fits
// its frames, so that the gesture can always be saved.
TEST(FrameEditing, PasteIntoANewWindow)
{
    struct Case
    {
        QSize picture, frame;
    };
    for (const Case &c : { Case { QSize(20, 10), QSize(20, 10) }, Case { QSize(400, 300), QSize(255, 191) },
             Case { QSize(300, 400), QSize(169, 225) } }) {
        SCOPED_TRACE(c.picture.width());
        QImage picture(c.picture, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x % 256, y % 256, 7));
        QGuiApplication::clipboard()->setImage(picture);

        TfrmGestureWindow w(nullptr);
        control<QAction>(w, "pasteFrameAction")->trigger();
        ASSERT_NE(w.Gesture()->Frames(), nullptr);
        const TFrameList &frames = *w.Gesture()->Frames();
        EXPECT_EQ(frames.Count(), 1);
        EXPECT_EQ(QSize(frames.Width(), frames.Height()), c.frame);
        if (c.frame == c.picture)
            EXPECT_EQ(frames.Picture(0), picture);
        else // scaled whole, with no white band
            EXPECT_EQ(frames.Picture(0).pixel(c.frame.width() - 1, c.frame.height() - 1),
                picture.pixel(c.picture.width() - 1, c.picture.height() - 1));
        EXPECT_EQ(frames.MaskColor(0), clNone);
        // The preview shows the whole frame, zoomed to fit.
        EXPECT_EQ(w.GestureView()->size(), c.frame * w.GestureView()->Zoom());
        expectSlider(w, 1, 1);
        EXPECT_EQ(control<QLabel>(w, "frameLabel")->text(), "Frame 1 of 1");
        EXPECT_TRUE(w.Gesture()->Valid());
        EXPECT_TRUE(w.Gesture()->UnsavedChanges());

        // A second paste is fitted to that size, and the frames are saved.
        w.PasteFrame();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pasted.zqa"));
        w.Gesture()->SaveToFile(path);
        TZQGesture saved;
        saved.setFilename(path);
        ASSERT_TRUE(saved.Valid());
        EXPECT_EQ(saved.Frames()->Count(), 2);
        EXPECT_EQ(QSize(saved.Frames()->Width(), saved.Frames()->Height()), c.frame);
    }
}

TEST(FrameEditing, PastedPicturesOfAnotherSizeAreFittedAndCentred)
{
    auto w = windowWith({ A, B }, 2);
    // Tall: 2 x 3 becomes 4 x 6, two white columns each side.
    QImage tall = solid(C, 2, 3);
    tall.setPixel(0, 0, D);
    QGuiApplication::clipboard()->setImage(tall);
    w->PasteFrame();
    expectSlider(*w, 3, 3);
    const QImage &fitted = w->Gesture()->Frames()->Picture(2);
    ASSERT_EQ(fitted.size(), QSize(8, 6));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            QRgb expected = x < 2 || x > 5 ? white : C;
            if ((x == 2 || x == 3) && y < 2)
                expected = D; // nearest pixels: no blended colours appear
            ASSERT_EQ(fitted.pixel(x, y), expected) << x << "," << y;
        }

    // Wide: 16 x 6 becomes 8 x 3 on rows 1 to 3.
    QGuiApplication::clipboard()->setImage(solid(E, 16, 6));
    w->PasteFrame();
    const QImage &wide = w->Gesture()->Frames()->Picture(3);
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(wide.pixel(4, y), y >= 1 && y <= 3 ? E : white) << y;

    // A translucent picture of frame size lies on white.
    QImage glass(8, 6, QImage::Format_ARGB32);
    glass.fill(Qt::transparent);
    glass.setPixel(3, 3, qRgba(10, 20, 30, 255));
    QGuiApplication::clipboard()->setImage(glass);
    w->PasteFrame();
    EXPECT_EQ(w->Gesture()->Frames()->Picture(4).pixel(0, 0), white);
    EXPECT_EQ(w->Gesture()->Frames()->Picture(4).pixel(3, 3), qRgb(10, 20, 30));
    EXPECT_EQ(w->Gesture()->Frames()->Count(), 5);
}

TEST(FrameEditing, PasteReadsEncodedPicturesAndRefusesOthers)
{
    auto w = windowWith({ A }, 1);
    // Only the encoded bytes of a PNG: decoded.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(solid(B).save(&buffer, "PNG"));
    auto *data = new QMimeData;
    data->setData("image/png", png);
    QGuiApplication::clipboard()->setMimeData(data);
    w->PasteFrame();
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, B }));

    // A picture no image reader knows: offered, but refused when pasted.
    data = new QMimeData;
    data->setData("image/x-emf", "not a bitmap");
    QGuiApplication::clipboard()->setMimeData(data);
    openPopup(*w);
    EXPECT_TRUE(control<QAction>(w, "popupPasteAction")->isEnabled());
    w->Gesture()->setUnsavedChanges(false);
    try {
        w->PasteFrame();
        ADD_FAILURE() << "no error";
    } catch (const PlumoraError &error) {
        EXPECT_EQ(error.message(), "Unsupported clipboard format");
    }
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, B }));
    // Through the menu the error is shown, and nothing escapes the action.
    {
        Prompts prompts;
        control<QAction>(w, "popupPasteAction")->trigger();
        EXPECT_EQ(prompts.texts, QStringList { "Unsupported clipboard format." });
    }

    // No picture at all: Paste is not offered.
    QGuiApplication::clipboard()->setText("words");
    openPopup(*w);
    EXPECT_FALSE(control<QAction>(w, "popupPasteAction")->isEnabled());
    EXPECT_THROW(w->PasteFrame(), PlumoraError);
}

TEST(FrameEditing, MenusEnableWhatApplies)
{
    // The items follow the gesture and the clipboard as they change, before
    // any menu opens: a window without frames offers Paste alone.
    QGuiApplication::clipboard()->setImage(solid(A));
    TfrmGestureWindow fresh(nullptr);
    for (QAction *a : { control<QAction>(fresh, "popupCutAction"), control<QAction>(fresh, "popupCopyAction"),
             control<QAction>(fresh, "popupDeleteAction"), control<QAction>(fresh, "popupInsertBlankAction"),
             control<QAction>(fresh, "popupMoveBackwardAction"),
             control<QAction>(fresh, "popupMoveForwardAction"), control<QAction>(fresh, "cutFrameAction"),
             control<QAction>(fresh, "deleteFrameAction"), control<QAction>(fresh, "moveForwardAction") })
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_TRUE(control<QAction>(fresh, "popupPasteAction")->isEnabled());
    EXPECT_TRUE(control<QAction>(fresh, "pasteFrameAction")->isEnabled());
    QGuiApplication::clipboard()->setText("words");
    EXPECT_FALSE(control<QAction>(fresh, "pasteFrameAction")->isEnabled());
    EXPECT_FALSE(control<QAction>(fresh, "insertBlankFrameAction")->isVisible());

    auto w = windowWith({ A, B, C }, 1);
    struct Case
    {
        int position;
        bool backward, forward;
    };
    for (const Case c : { Case { 1, false, true }, Case { 2, true, true }, Case { 3, true, false } }) {
        control<QSlider>(w, "frameSlider")->setValue(c.position);
        EXPECT_EQ(control<QAction>(w, "popupMoveBackwardAction")->isEnabled(), c.backward) << c.position;
        EXPECT_EQ(control<QAction>(w, "popupMoveForwardAction")->isEnabled(), c.forward) << c.position;
        EXPECT_EQ(control<QAction>(w, "moveBackwardAction")->isEnabled(), c.backward) << c.position;
        EXPECT_EQ(control<QAction>(w, "moveForwardAction")->isEnabled(), c.forward) << c.position;
        EXPECT_TRUE(control<QAction>(w, "popupCutAction")->isEnabled()
            && control<QAction>(w, "copyFrameAction")->isEnabled()
            && control<QAction>(w, "popupInsertBlankAction")->isEnabled());
    }
}

TEST(FrameEditing, KeysFollowTheCurrentStateNotTheLastOpenedMenu)
{
    TfrmGestureWindow w(nullptr);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QGuiApplication::clipboard()->setImage(solid(A));
    openPopup(w);
    openFramesMenu(w);
    ASSERT_FALSE(control<QAction>(w, "popupCutAction")->isEnabled());
    ASSERT_FALSE(control<QAction>(w, "moveBackwardAction")->isEnabled());

    control<QAction>(w, "pasteFrameAction")->trigger();
    control<QAction>(w, "pasteFrameAction")->trigger();
    QGuiApplication::clipboard()->setImage(solid(B));
    control<QSlider>(w, "frameSlider")->setValue(2);
    control<QAction>(w, "pasteFrameAction")->trigger();
    ASSERT_EQ(order(w), (std::vector<QRgb> { A, A, B }));

    control<QFrame>(w, "gestureArea")->setFocus();
    QTest::keyClick(control<QFrame>(w, "gestureArea"), Qt::Key_F11, Qt::ControlModifier);
    EXPECT_EQ(order(w), (std::vector<QRgb> { A, B, A }));
    QTest::keyClick(control<QFrame>(w, "gestureArea"), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(order(w), (std::vector<QRgb> { A, A }));

    // Text on the clipboard: Ctrl+V in the preview does nothing, quietly.
    QGuiApplication::clipboard()->setText("words");
    QTest::keyClick(control<QFrame>(w, "gestureArea"), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(order(w).size(), 2u);
}

TEST(FrameEditing, CopyWithTransparencyGivesThePixelsAsAdded)
{
    // A saved gesture with a transparent colour, opened afresh so that it
    // starts unmodified.
    QTemporaryDir dir;
    const QString path = dir.filePath("t.zqa");
    {
        auto w = windowWith({ A, B });
        QImage marked = solid(C);
        marked.setPixel(2, 2, D);
        w->Gesture()->InsertFrame(0, marked, clNone);
        w->Gesture()->setTransparentColor(fromQRgb(D));
        w->Gesture()->SaveToFile(path);
    }
    TfrmGestureWindow w(nullptr);
    w.OpenGesture(path);
    ASSERT_TRUE(control<QCheckBox>(w, "transparentCheck")->isChecked());
    ASSERT_EQ(w.Gesture()->TransparentColor(), fromQRgb(D));
    ASSERT_FALSE(w.Gesture()->Modified());
    ASSERT_TRUE(w.Gesture()->Frames()->IsTransparent(0, 2, 2));

    w.CopyFrame();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.pixel(2, 2), D);
    EXPECT_EQ(copied.pixel(0, 0), C);
    // Copying changes nothing in the gesture.
    EXPECT_FALSE(w.Gesture()->Modified());
    EXPECT_FALSE(w.Gesture()->UnsavedChanges());
    // The frame keeps its transparency.
    EXPECT_EQ(w.Gesture()->TransparentColor(), fromQRgb(D));
    EXPECT_TRUE(w.Gesture()->Frames()->IsTransparent(0, 2, 2));

    // Pasting it back with the box ticked masks the same pixels again; a
    // move keeps them too.
    w.PasteFrame();
    EXPECT_TRUE(w.Gesture()->Frames()->IsTransparent(1, 2, 2));
    w.moveFrameForward();
    EXPECT_TRUE(w.Gesture()->Frames()->IsTransparent(2, 2, 2));
    EXPECT_EQ(w.Gesture()->Frames()->Picture(2).pixel(2, 2), D);
}

// Play/Stop: the "Frames" menu's item, the pop-up's item with Space while
// the preview has the focus, and the button beside the slider on both pages.
TEST(FrameEditing, PlayAndStopFromMenusKeyAndButton)
{
    TfrmGestureWindow empty(nullptr);
    EXPECT_FALSE(control<QAction>(empty, "playAction")->isEnabled());
    EXPECT_FALSE(control<QToolButton>(empty, "playButton")->isEnabled());

    auto w = windowWith({ A, B, C });
    // Looping, so playing goes on until it is stopped.
    w->Gesture()->setAnimLoopOption(aoLoop);
    auto *button = control<QToolButton>(w, "playButton");
    auto *area = control<QWidget>(w, "gestureArea");
    auto expectPlaying = [&](bool playing) {
        EXPECT_EQ(w->Gesture()->Playing(), playing);
        EXPECT_EQ(button->accessibleName(), playing ? "Stop" : "Play");
        EXPECT_EQ(control<QAction>(w, "playAction")->text(), playing ? "&Stop" : "P&lay");
    };
    expectPlaying(false);
    control<QAction>(w, "playAction")->trigger();
    expectPlaying(true);
    control<QAction>(w, "playAction")->trigger();
    expectPlaying(false);

    area->setFocus();
    QTest::keyClick(area, Qt::Key_Space);
    expectPlaying(true);
    QTest::keyClick(area, Qt::Key_Space);
    expectPlaying(false);
    // In a text field Space types a blank.
    auto *tagline = control<QLineEdit>(w, "taglineEdit");
    tagline->setFocus();
    QTest::keyClick(tagline, Qt::Key_Space);
    expectPlaying(false);
    EXPECT_EQ(tagline->text(), " ");

    for (QWidget *page : { control<QWidget>(w, "filesPage"), control<QWidget>(w, "settingsPage") }) {
        control<QTabWidget>(w, "pageTabs")->setCurrentWidget(page);
        EXPECT_TRUE(button->isVisible());
    }
    button->click();
    expectPlaying(true);
    // Playing once ends by itself, and the button offers Play again.
    w->Gesture()->setAnimLoopOption(aoPlayOnce);
    for (int i = 0; i < 10 && w->Gesture()->Playing(); ++i)
        w->GestureView()->Tick();
    expectPlaying(false);
}
