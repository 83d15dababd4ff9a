// Frame editing in the gesture window, driven through its menus, its pop-up
// menu and its keys, with the offscreen platform's in-process clipboard and
// the confirmation boxes answered through the dialog seam.
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "platform/ui/dialogs.h"

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
#include <QTemporaryDir>
#include <QTest>
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
std::unique_ptr<TfrmGestureWindow> windowWith(std::initializer_list<QRgb> colours, int current = 1)
{
    auto window = std::make_unique<TfrmGestureWindow>(nullptr);
    auto frames = std::make_unique<TFrameList>(8, 6);
    for (QRgb colour : colours)
        frames->Add(solid(colour), clNone);
    window->ZQGesture1->setFrames(std::move(frames));
    window->TrackBar1->setMaximum(int(colours.size()));
    window->TrackBar1->setValue(current);
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    return window;
}

// The colour of each frame's top-left pixel, in list order.
std::vector<QRgb> order(const TfrmGestureWindow &w)
{
    std::vector<QRgb> out;
    const TFrameList *frames = w.ZQGesture1->Frames();
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
    EXPECT_EQ(w.TrackBar1->value(), position);
    EXPECT_EQ(w.TrackBar1->maximum(), maximum);
}

// Opens the preview's pop-up menu as a right click would, and closes it.
void openPopup(TfrmGestureWindow &w)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(1, 1), w.ZQGesture1->mapToGlobal(QPoint(1, 1)));
    QCoreApplication::sendEvent(w.ZQGesture1, &event);
    EXPECT_TRUE(w.popGesture->isVisible());
    w.popGesture->hide();
}

void openFramesMenu(TfrmGestureWindow &w)
{
    w.Frames1->popup(QPoint(0, 0));
    w.Frames1->hide();
}

} // namespace

TEST(FrameEditing, MovesAlongTheList)
{
    auto w = windowWith({ A, B, C }, 2);
    w->MoveForward1->trigger();
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, C, B }));
    expectSlider(*w, 3, 3);
    EXPECT_EQ(w->Label5->text(), "Frame 3 of 3");
    EXPECT_EQ(w->ZQGesture1->CurrentFrame(), 3);
    EXPECT_EQ(clipboardColour(), B);
    EXPECT_TRUE(w->UnsavedChanges);

    // Ctrl+F11 moves back wherever the focus is in the window.
    w->edTagline->setFocus();
    QTest::keyClick(w->edTagline, Qt::Key_F11, Qt::ControlModifier);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, B, C }));
    expectSlider(*w, 2, 3);
    w->MoveBackward2->trigger();
    EXPECT_EQ(order(*w), (std::vector<QRgb> { B, A, C }));
    expectSlider(*w, 1, 3);
    EXPECT_EQ(w->Label5->text(), "Frame 1 of 3");

    // At either end the moves do nothing, also through the keys.
    QGuiApplication::clipboard()->setText("kept");
    w->MoveBackward1Click();
    w->TrackBar1->setValue(3);
    QTest::keyClick(w->TrackBar1, Qt::Key_F12, Qt::ControlModifier);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { B, A, C }));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
}

TEST(FrameEditing, KeypadKeysAnywhereInTheWindow)
{
    auto w = windowWith({ A, B, C }, 1);
    w->edTagline->setFocus();
    QTest::keyClick(w->edTagline, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { B, A, C }));
    expectSlider(*w, 2, 3);
    EXPECT_TRUE(w->edTagline->text().isEmpty()); // the field does not type it

    // The plus of the main keyboard is not the keypad's.
    QTest::keyClick(w->edTagline, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { B, A, C }));

    // One press moves one place.
    w->TrackBar1->setFocus();
    QTest::keyClick(w->TrackBar1, Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, B, C }));
    expectSlider(*w, 1, 3);
    QTest::keyClick(w->TrackBar1, Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, B, C }));
}

TEST(FrameEditing, CutAndCopyThroughTheClipboard)
{
    auto w = windowWith({ A, B, C }, 2);
    w->Copy3->trigger();
    EXPECT_EQ(clipboardColour(), B);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(8, 6));
    EXPECT_FALSE(w->UnsavedChanges);

    w->Cut2->trigger();
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, C }));
    expectSlider(*w, 2, 2);
    EXPECT_EQ(w->Label5->text(), "Frame 2 of 2");
    EXPECT_TRUE(w->UnsavedChanges);

    // Paste goes in before the current frame, which the slider then names.
    w->Paste2->trigger();
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, B, C }));
    expectSlider(*w, 2, 3);
    EXPECT_EQ(w->Label5->text(), "Frame 2 of 3");
}

TEST(FrameEditing, CuttingOrDeletingTheOnlyFrame)
{
    {
        auto w = windowWith({ A });
        w->Cut3->trigger();
        ASSERT_NE(w->ZQGesture1->Frames(), nullptr);
        EXPECT_EQ(w->ZQGesture1->Frames()->Count(), 0);
        expectSlider(*w, 1, 1);
        EXPECT_EQ(w->Label5->text(), "Frame  1 of  1");
        EXPECT_FALSE(w->ZQGesture1->Valid());
        EXPECT_EQ(clipboardColour(), A);
        EXPECT_TRUE(w->UnsavedChanges);
        // Nothing left to cut, copy or delete.
        Prompts prompts;
        w->CutFrame();
        w->CopyFrame();
        w->DeleteFrame();
        EXPECT_TRUE(prompts.texts.isEmpty());
    }
    {
        auto w = windowWith({ A });
        Prompts prompts;
        w->DeleteFrame1->trigger();
        EXPECT_EQ(prompts.texts, QStringList { "Delete Frame?" });
        EXPECT_EQ(prompts.captions, QStringList { "Plumora" });
        EXPECT_EQ(w->ZQGesture1->Frames()->Count(), 0);
        expectSlider(*w, 1, 1);
        EXPECT_FALSE(w->ZQGesture1->Valid());
        EXPECT_TRUE(w->UnsavedChanges);
    }
}

TEST(FrameEditing, DeleteAsksAndLeavesTheClipboardAlone)
{
    auto w = windowWith({ A, B, C, D, E }, 5);
    QGuiApplication::clipboard()->setText("kept");
    Prompts prompts;
    prompts.answer = QMessageBox::No;
    w->Delete1->trigger();
    EXPECT_EQ(order(*w).size(), 5u);
    EXPECT_FALSE(w->UnsavedChanges);

    prompts.answer = QMessageBox::Yes;
    w->Delete1->trigger();
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, B, C, D }));
    expectSlider(*w, 4, 4);
    EXPECT_EQ(w->Label5->text(), "Frame 4 of 4");
    EXPECT_EQ(w->ZQGesture1->CurrentFrame(), 4);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
    // A deleted frame is a change that closing must not lose.
    EXPECT_TRUE(w->UnsavedChanges);

    // The Delete key on the slider asks the same, when released.
    w->TrackBar1->setValue(1);
    w->TrackBar1->setFocus();
    QTest::keyPress(w->TrackBar1, Qt::Key_Delete);
    EXPECT_EQ(prompts.texts.size(), 2);
    QTest::keyRelease(w->TrackBar1, Qt::Key_Delete);
    EXPECT_EQ(prompts.texts.size(), 3);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { B, C, D }));
}

TEST(FrameEditing, InsertKeyOnTheSlider)
{
    auto w = windowWith({ A, B, C }, 2);
    w->TrackBar1->setFocus();
    Prompts prompts;
    prompts.answer = QMessageBox::No;
    QTest::keyClick(w->TrackBar1, Qt::Key_Insert);
    EXPECT_EQ(prompts.texts, QStringList { "Insert Frame?" });
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, B, C }));
    expectSlider(*w, 2, 3);
    EXPECT_FALSE(w->UnsavedChanges);

    prompts.answer = QMessageBox::Yes;
    QTest::keyClick(w->TrackBar1, Qt::Key_Insert);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A, white, B, C }));
    expectSlider(*w, 2, 4);
    EXPECT_EQ(w->Label5->text(), "Frame 2 of 4");
    EXPECT_EQ(w->ZQGesture1->Frames()->Picture(1).size(), QSize(8, 6));
    EXPECT_TRUE(w->UnsavedChanges);

    // Without a frame list there is nothing to insert into, and no question.
    TfrmGestureWindow fresh(nullptr);
    prompts.texts.clear();
    fresh.InsertBlankFrame();
    EXPECT_TRUE(prompts.texts.isEmpty());
    EXPECT_EQ(fresh.ZQGesture1->Frames(), nullptr);
}

TEST(FrameEditing, PasteIntoANewWindow)
{
    QImage picture(20, 10, QImage::Format_RGB32);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            picture.setPixel(x, y, qRgb(x * 12, y * 25, 7));
    QGuiApplication::clipboard()->setImage(picture);

    TfrmGestureWindow w(nullptr);
    const QSize controlSize = w.ZQGesture1->size();
    w.Paste3->trigger();
    ASSERT_NE(w.ZQGesture1->Frames(), nullptr);
    const TFrameList &frames = *w.ZQGesture1->Frames();
    EXPECT_EQ(frames.Count(), 1);
    EXPECT_EQ(QSize(frames.Width(), frames.Height()), QSize(20, 10));
    EXPECT_EQ(frames.Picture(0), picture);
    EXPECT_EQ(frames.MaskColor(0), clNone);
    EXPECT_EQ(w.ZQGesture1->size(), controlSize);
    expectSlider(w, 1, 1);
    EXPECT_EQ(w.Label5->text(), "Frame 1 of 1");
    EXPECT_TRUE(w.ZQGesture1->Valid());
    EXPECT_TRUE(w.UnsavedChanges);
}

TEST(FrameEditing, PastedPicturesOfAnotherSizeAreFittedAndCentred)
{
    auto w = windowWith({ A, B }, 2);
    // Tall: 2 x 3 becomes 4 x 6, two white columns each side.
    QImage tall = solid(C, 2, 3);
    tall.setPixel(0, 0, D);
    QGuiApplication::clipboard()->setImage(tall);
    w->PasteFrame();
    expectSlider(*w, 2, 3);
    const QImage &fitted = w->ZQGesture1->Frames()->Picture(1);
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
    const QImage &wide = w->ZQGesture1->Frames()->Picture(1);
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(wide.pixel(4, y), y >= 1 && y <= 3 ? E : white) << y;

    // A translucent picture of frame size lies on white.
    QImage glass(8, 6, QImage::Format_ARGB32);
    glass.fill(Qt::transparent);
    glass.setPixel(3, 3, qRgba(10, 20, 30, 255));
    QGuiApplication::clipboard()->setImage(glass);
    w->PasteFrame();
    EXPECT_EQ(w->ZQGesture1->Frames()->Picture(1).pixel(0, 0), white);
    EXPECT_EQ(w->ZQGesture1->Frames()->Picture(1).pixel(3, 3), qRgb(10, 20, 30));
    EXPECT_EQ(w->ZQGesture1->Frames()->Count(), 5);
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
    EXPECT_EQ(order(*w), (std::vector<QRgb> { B, A }));

    // A picture no image reader knows: offered, but refused when pasted.
    data = new QMimeData;
    data->setData("image/x-emf", "not a bitmap");
    QGuiApplication::clipboard()->setMimeData(data);
    openPopup(*w);
    EXPECT_TRUE(w->Paste2->isEnabled());
    w->UnsavedChanges = false;
    try {
        w->PasteFrame();
        ADD_FAILURE() << "no error";
    } catch (const PlumoraError &error) {
        EXPECT_EQ(error.message(), "Unsupported clipboard format");
    }
    EXPECT_EQ(order(*w), (std::vector<QRgb> { B, A }));

    // No picture at all: Paste is not offered.
    QGuiApplication::clipboard()->setText("words");
    openPopup(*w);
    EXPECT_FALSE(w->Paste2->isEnabled());
    EXPECT_THROW(w->PasteFrame(), PlumoraError);
}

TEST(FrameEditing, MenusEnableWhatApplies)
{
    TfrmGestureWindow fresh(nullptr);
    // Before a menu first opens, everything is enabled.
    for (QAction *a : { fresh.Cut2, fresh.Copy2, fresh.Paste2, fresh.Delete1, fresh.InsertBlank1,
             fresh.MoveBackward2, fresh.MoveForward2, fresh.Cut3, fresh.MoveForward1 })
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_FALSE(fresh.InsertBlankFrame1->isVisible());
    EXPECT_EQ(fresh.MoveBackward1->shortcut(), QKeySequence("Ctrl+F11"));
    EXPECT_EQ(fresh.MoveForward2->shortcut(), QKeySequence("Ctrl+F12"));
    EXPECT_EQ(fresh.Copy2->shortcut(), QKeySequence("Ctrl+C"));
    EXPECT_TRUE(fresh.Copy3->shortcut().isEmpty());

    fresh.show();
    QGuiApplication::clipboard()->setImage(solid(A));
    openPopup(fresh);
    for (QAction *a : { fresh.Cut2, fresh.Copy2, fresh.Delete1, fresh.InsertBlank1, fresh.MoveBackward2,
             fresh.MoveForward2 })
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_TRUE(fresh.Paste2->isEnabled());
    // The other menu keeps its state until it opens itself.
    EXPECT_TRUE(fresh.Cut3->isEnabled());
    openFramesMenu(fresh);
    EXPECT_FALSE(fresh.Cut3->isEnabled());
    EXPECT_FALSE(fresh.DeleteFrame1->isEnabled());
    EXPECT_TRUE(fresh.Paste3->isEnabled());

    auto w = windowWith({ A, B, C }, 1);
    struct Case
    {
        int position;
        bool backward, forward;
    };
    for (const Case c : { Case { 1, false, true }, Case { 2, true, true }, Case { 3, true, false } }) {
        w->TrackBar1->setValue(c.position);
        openPopup(*w);
        openFramesMenu(*w);
        EXPECT_EQ(w->MoveBackward2->isEnabled(), c.backward) << c.position;
        EXPECT_EQ(w->MoveForward2->isEnabled(), c.forward) << c.position;
        EXPECT_EQ(w->MoveBackward1->isEnabled(), c.backward) << c.position;
        EXPECT_EQ(w->MoveForward1->isEnabled(), c.forward) << c.position;
        EXPECT_TRUE(w->Cut2->isEnabled() && w->Copy3->isEnabled() && w->InsertBlank1->isEnabled());
    }
}

TEST(FrameEditing, PopupKeysActOnlyWhenThePreviewHasTheFocus)
{
    auto w = windowWith({ A, B }, 2);
    QGuiApplication::clipboard()->clear();
    w->edTagline->setText("words");
    w->edTagline->setFocus();
    w->edTagline->selectAll();
    QTest::keyClick(w->edTagline, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "words");
    QTest::keyClick(w->edTagline, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(order(*w).size(), 2u);
    EXPECT_TRUE(w->edTagline->text().isEmpty());

    w->ScrollBox1->setFocus();
    ASSERT_TRUE(w->ScrollBox1->hasFocus());
    QTest::keyClick(w->ScrollBox1, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { A }));
    EXPECT_EQ(clipboardColour(), B);
    QTest::keyClick(w->ScrollBox1, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(order(*w), (std::vector<QRgb> { B, A }));
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
    ASSERT_FALSE(w.Cut2->isEnabled());
    ASSERT_FALSE(w.MoveBackward1->isEnabled());

    w.Paste3->trigger();
    w.Paste3->trigger();
    QGuiApplication::clipboard()->setImage(solid(B));
    w.TrackBar1->setValue(2);
    w.Paste3->trigger();
    ASSERT_EQ(order(w), (std::vector<QRgb> { A, B, A }));

    w.ScrollBox1->setFocus();
    QTest::keyClick(w.ScrollBox1, Qt::Key_F11, Qt::ControlModifier);
    EXPECT_EQ(order(w), (std::vector<QRgb> { B, A, A }));
    QTest::keyClick(w.ScrollBox1, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(order(w), (std::vector<QRgb> { A, A }));

    // Text on the clipboard: Ctrl+V in the preview does nothing, quietly.
    QGuiApplication::clipboard()->setText("words");
    QTest::keyClick(w.ScrollBox1, Qt::Key_V, Qt::ControlModifier);
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
        w->ZQGesture1->Frames()->Insert(0, marked, clNone);
        w->ZQGesture1->setTransparentColor(fromQRgb(D));
        w->ZQGesture1->SaveToFile(path);
    }
    TfrmGestureWindow w(nullptr);
    w.OpenGesture(path);
    ASSERT_TRUE(w.cbxTransparent->isChecked());
    ASSERT_EQ(w.ZQGesture1->TransparentColor(), fromQRgb(D));
    ASSERT_FALSE(w.ZQGesture1->Modified());
    ASSERT_TRUE(w.ZQGesture1->Frames()->IsTransparent(0, 2, 2));

    w.CopyFrame();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.pixel(2, 2), D);
    EXPECT_EQ(copied.pixel(0, 0), C);
    EXPECT_TRUE(w.ZQGesture1->Modified());
    EXPECT_FALSE(w.UnsavedChanges);
    // The frame keeps its transparency.
    EXPECT_EQ(w.ZQGesture1->TransparentColor(), fromQRgb(D));
    EXPECT_TRUE(w.ZQGesture1->Frames()->IsTransparent(0, 2, 2));

    // Pasting it back with the box ticked masks the same pixels again; a
    // move keeps them too.
    w.PasteFrame();
    EXPECT_TRUE(w.ZQGesture1->Frames()->IsTransparent(0, 2, 2));
    w.MoveForward1Click();
    EXPECT_TRUE(w.ZQGesture1->Frames()->IsTransparent(1, 2, 2));
    EXPECT_EQ(w.ZQGesture1->Frames()->Picture(1).pixel(2, 2), D);
}
