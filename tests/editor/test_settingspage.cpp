// The gesture window's Settings page, sound and button picture, driven as a
// user would: typing into fields, ticking boxes, picking a colour from the
// preview, and answering the file dialogs through the dialog seam.
#include "codecs/gifimage.h"
#include "editor/gestureview.h"
#include "editor/gesturewindow.h"
#include "gesture/gesturetestutil.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>

#include <gtest/gtest.h>

namespace {

// Answers file dialogs with paths and colour dialogs with a colour, in order.
struct Answers
{
    QStringList paths;
    QColor colour;
    QStringList messages;
    Answers()
    {
        plumora::ui::setDialogResponder([this](QDialog &dialog) -> int {
            if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
                messages << box->text();
                return QMessageBox::Yes;
            }
            if (auto *files = qobject_cast<QFileDialog *>(&dialog)) {
                if (paths.isEmpty())
                    return QDialog::Rejected;
                files->selectFile(paths.takeFirst());
                return QDialog::Accepted;
            }
            if (auto *colours = qobject_cast<QColorDialog *>(&dialog)) {
                colours->setCurrentColor(colour);
                return QDialog::Accepted;
            }
            return QDialog::Rejected;
        });
    }
    ~Answers() { plumora::ui::setDialogResponder({}); }
};

// A window whose gesture has n frames of 8 x 6 with a marked pixel at (0,0).
std::unique_ptr<TfrmGestureWindow> windowWithFrames(int n)
{
    auto window = std::make_unique<TfrmGestureWindow>(nullptr);
    auto frames = std::make_unique<TFrameList>(8, 6);
    for (int i = 0; i < n; ++i) {
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(qRgb(10 * i, 200, 30));
        image.setPixel(1, 1, qRgb(1, 2, 3));
        frames->Add(image, clNone);
    }
    window->Gesture()->setFrames(std::move(frames));
    control<QSlider>(window, "frameSlider")->setMaximum(n);
    return window;
}

void typeInto(QSpinBox *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Tab);
}

} // namespace

TEST(SettingsPage, FrameFieldsClampAgainstTheSlider)
{
    auto w = windowWithFrames(10);
    w->show();
    control<QRadioButton>(w, "animationLoopRadio")->click();
    typeInto(control<QSpinBox>(w, "animationLoopFrameSpin"), "25");
    EXPECT_EQ(control<QSpinBox>(w, "animationLoopFrameSpin")->value(), 10);
    EXPECT_EQ(w->Gesture()->AnimLoopFrame(), 10);
    typeInto(control<QSpinBox>(w, "animationLoopFrameSpin"), "0");
    EXPECT_EQ(control<QSpinBox>(w, "animationLoopFrameSpin")->value(), 1);

    control<QSpinBox>(w, "animationLoopFrameSpin")->setValue(6);
    EXPECT_EQ(w->Gesture()->AnimLoopFrame(), 6);
    control<QRadioButton>(w, "animationOnceRadio")->click();
    EXPECT_EQ(control<QSpinBox>(w, "animationLoopFrameSpin")->value(), 1);
    EXPECT_FALSE(control<QSpinBox>(w, "animationLoopFrameSpin")->isEnabled());
    EXPECT_EQ(w->Gesture()->AnimLoopOption(), aoPlayOnce);
    control<QRadioButton>(w, "animationLoopRadio")->click();
    EXPECT_TRUE(control<QSpinBox>(w, "animationLoopFrameSpin")->isEnabled());
    EXPECT_EQ(control<QSpinBox>(w, "animationLoopFrameSpin")->value(), 1);
    EXPECT_EQ(w->Gesture()->AnimLoopOption(), aoLoop);
    control<QRadioButton>(w, "animationReverseRadio")->click();
    EXPECT_EQ(w->Gesture()->AnimLoopOption(), aoReverse);
    // Turned on without a click, as an assistive tool does it: the same.
    control<QRadioButton>(w, "animationOnceRadio")->setChecked(true);
    EXPECT_EQ(w->Gesture()->AnimLoopOption(), aoPlayOnce);
    EXPECT_EQ(w->UndoStack()->undoText(), QStringLiteral("Play Once"));

    control<QSpinBox>(w, "audioLoopFrameSpin")->setValue(30);
    EXPECT_EQ(control<QSpinBox>(w, "audioLoopFrameSpin")->value(), 10);
    EXPECT_EQ(w->Gesture()->AudioLoopFrame(), 10);
    // Options are changes that closing must not lose.
    EXPECT_TRUE(w->Gesture()->UnsavedChanges());
}

TEST(SettingsPage, AudioOptionsAndRepeatFlag)
{
    auto w = windowWithFrames(3);
    w->show();
    control<QRadioButton>(w, "audioLoopRadio")->click();
    EXPECT_TRUE(w->Gesture()->AudioRepeat());
    EXPECT_FALSE(w->Gesture()->Modified()); // the repeat flag never marks the gesture
    control<QRadioButton>(w, "audioLoopRadio")->click(); // already ticked: nothing changes
    EXPECT_TRUE(control<QRadioButton>(w, "audioLoopRadio")->isChecked());
    EXPECT_TRUE(w->Gesture()->AudioRepeat());
    control<QRadioButton>(w, "audioOnceRadio")->click();
    EXPECT_FALSE(w->Gesture()->AudioRepeat());
    EXPECT_FALSE(control<QRadioButton>(w, "audioLoopRadio")->isChecked());
}

TEST(SettingsPage, TransparencyBoxAndPickingFromThePreview)
{
    TfrmGestureWindow fresh(nullptr);
    control<QCheckBox>(fresh, "transparentCheck")->setChecked(true);
    EXPECT_EQ(fresh.Gesture()->TransparentColor(), 0x00808080u);
    EXPECT_TRUE(control<QToolButton>(fresh, "pickTransparentButton")->isEnabled());
    control<QCheckBox>(fresh, "transparentCheck")->setChecked(false);
    EXPECT_EQ(fresh.Gesture()->TransparentColor(), clNone);
    EXPECT_FALSE(control<QToolButton>(fresh, "pickTransparentButton")->isEnabled());

    auto w = windowWithFrames(2);
    w->show();
    control<QTabWidget>(w, "pageTabs")->setCurrentWidget(control<QWidget>(w, "settingsPage"));
    control<QCheckBox>(w, "transparentCheck")->setChecked(true);
    // Press Pick: pick mode; then click the marked pixel on the gesture.
    QTest::mousePress(control<QToolButton>(w, "pickTransparentButton"), Qt::LeftButton);
    QTest::mouseRelease(control<QToolButton>(w, "pickTransparentButton"), Qt::LeftButton);
    EXPECT_EQ(plumora::ui::screenCursor(), plumora::ui::crColorSample);
    EXPECT_TRUE(control<QToolButton>(w, "pickTransparentButton")->isChecked());
    QTest::mouseClick(w->GestureView(), Qt::LeftButton, {}, QPoint(1, 1) * w->GestureView()->Zoom());
    EXPECT_EQ(w->Gesture()->TransparentColor(), RGBColor(1, 2, 3));
    EXPECT_EQ(w->TransColor(), RGBColor(1, 2, 3));
    EXPECT_FALSE(control<QToolButton>(w, "pickTransparentButton")->isChecked());
    EXPECT_EQ(plumora::ui::screenCursor(), plumora::ui::crDefault);

    // Picking the pixel that is now transparent gives what shows through.
    QTest::mousePress(control<QToolButton>(w, "pickTransparentButton"), Qt::LeftButton);
    QTest::mouseRelease(control<QToolButton>(w, "pickTransparentButton"), Qt::LeftButton);
    QTest::mouseClick(w->GestureView(), Qt::LeftButton, {}, QPoint(1, 1) * w->GestureView()->Zoom());
    // From the start, that is the colour the preview is painted in and the
    // test background swatch shows.
    auto *area = control<QFrame>(w, "gestureArea");
    const QImage shown = area->grab().toImage();
    EXPECT_EQ(w->Gesture()->TransparentColor(), fromQRgb(shown.pixel(area->width() - 1, area->height() - 1)));
    EXPECT_EQ(w->Gesture()->TransparentColor(), w->TestBackground());
    EXPECT_EQ(control<QFrame>(w, "testBackgroundSwatch")->palette().color(QPalette::Window),
        toQColor(w->TestBackground()));
    plumora::ui::setScreenCursor(plumora::ui::crDefault);
}

TEST(SettingsPage, TestBackgroundThroughTheColourDialog)
{
    auto w = windowWithFrames(1);
    Answers answers;
    answers.colour = QColor(12, 34, 56);
    QTest::mouseClick(control<QFrame>(w, "testBackgroundSwatch"), Qt::LeftButton);
    EXPECT_EQ(w->TestBackground(), RGBColor(12, 34, 56));
    EXPECT_EQ(control<QFrame>(w, "gestureArea")->palette().color(QPalette::Window), QColor(12, 34, 56));
}

TEST(SoundRow, LoadAndSaveKeepTheBytes)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in.wav");
    // A WAV file (only such files are taken) whose samples are a pattern.
    QByteArray bytes = gesturetest::wav(250);
    for (int i = 0; i < 500; ++i)
        bytes[44 + i] = char(i * 7);
    QFile f(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();

    auto w = windowWithFrames(2);
    Answers answers;
    answers.paths << in << dir.filePath("out.wav");
    w->loadAudio();
    EXPECT_TRUE(w->Gesture()->HasAudio());
    EXPECT_EQ(control<QLabel>(w, "audioFileLabel")->text(), in);
    EXPECT_TRUE(control<QPushButton>(w, "audioSaveButton")->isEnabled());
    EXPECT_TRUE(w->Gesture()->UnsavedChanges());
    w->saveAudio();
    QFile out(dir.filePath("out.wav"));
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), bytes);

    // Saving over an existing file asks first.
    answers.paths << dir.filePath("out.wav");
    w->saveAudio();
    ASSERT_EQ(answers.messages.size(), 1);
    EXPECT_TRUE(answers.messages[0].contains("already exists"));
}

// A sound that cannot be taken is refused when it is chosen, in the error
// display: the gesture keeps no sound and the history no step.
TEST(SoundRow, RefusedSoundsSayWhyAndChangeNothing)
{
    QTemporaryDir dir;
    const QString longWav = dir.filePath("long.wav");
    QFile f(longWav);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(gesturetest::wav(8000 * 20, 8000)); // 20 s: too long even at the lowest quality
    f.close();
    const struct
    {
        QString path;
        QString says;
    } cases[] = {
        { dir.filePath("missing.wav"), "missing.wav" },
        { longWav,
            "The sound \"long.wav\" lasts 20.0 s, but a gesture holds at most 16.3 s of sound (at 4,000 Hz, "
            "8-bit mono)" },
    };
    for (const auto &c : cases) {
        TfrmGestureWindow w(nullptr);
        Answers answers;
        answers.paths << c.path;
        control<QPushButton>(w, "audioLoadButton")->click();
        ASSERT_EQ(answers.messages.size(), 1) << c.path.toStdString();
        EXPECT_TRUE(answers.messages[0].contains(c.says)) << answers.messages[0].toStdString();
        EXPECT_FALSE(w.Gesture()->HasAudio());
        EXPECT_FALSE(control<QPushButton>(w, "audioSaveButton")->isEnabled());
        EXPECT_FALSE(w.Gesture()->UnsavedChanges());
        EXPECT_EQ(w.UndoStack()->count(), 0);
    }
}

TEST(ButtonRow, LoadFitsAndSaveWritesEachFormat)
{
    QTemporaryDir dir;
    QImage wide(100, 50, QImage::Format_RGB32);
    wide.fill(Qt::red);
    ASSERT_TRUE(wide.save(dir.filePath("wide.bmp")));

    auto w = windowWithFrames(1);
    Answers answers;
    answers.paths << dir.filePath("wide.bmp");
    w->loadButtonImage();
    const TBitmap &glyph = w->Gesture()->Glyph();
    ASSERT_EQ(glyph.width(), 18);
    EXPECT_EQ(glyph.pixelColor(0, 3), clWhite);
    EXPECT_EQ(glyph.pixelColor(0, 4), RGBColor(255, 0, 0));
    EXPECT_EQ(glyph.pixelColor(17, 12), RGBColor(255, 0, 0));
    EXPECT_EQ(glyph.pixelColor(0, 13), clWhite);
    EXPECT_TRUE(control<QPushButton>(w, "buttonImageSaveButton")->isEnabled());
    EXPECT_TRUE(w->Gesture()->UnsavedChanges());

    for (const char *name : { "b.gif", "b.bmp", "b.jpg", "b.jpeg" }) {
        answers.paths << dir.filePath(QString::fromLatin1(name));
        w->saveButtonImage();
        ASSERT_TRUE(QFile::exists(dir.filePath(QString::fromLatin1(name)))) << name;
    }
    TGIFImage gif;
    gif.ReadFromFile(dir.filePath("b.gif"));
    EXPECT_EQ(gif.Frames(0).DecodedBitmap().pixelColor(0, 4), RGBColor(255, 0, 0));
    EXPECT_EQ(QImage(dir.filePath("b.bmp")).pixelColor(0, 4), QColor(255, 0, 0));
    EXPECT_EQ(QImage(dir.filePath("b.jpg"), "JPG").size(), QSize(18, 18));

    // Another extension is refused with a message, and nothing is written.
    answers.paths << dir.filePath("b.png");
    EXPECT_THROW(w->saveButtonImage(), PlumoraError);
    EXPECT_FALSE(QFile::exists(dir.filePath("b.png")));

    // A file that cannot be read keeps the earlier button picture.
    QFile bad(dir.filePath("bad.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a jpeg");
    bad.close();
    answers.paths << dir.filePath("bad.jpg");
    const QImage before = w->Gesture()->Glyph().image();
    EXPECT_THROW(w->loadButtonImage(), PlumoraError);
    EXPECT_EQ(w->Gesture()->Glyph().image(), before);
    EXPECT_EQ(control<QLabel>(w, "buttonImageFileLabel")->text(), dir.filePath("wide.bmp"));
    EXPECT_TRUE(control<QPushButton>(w, "buttonImageSaveButton")->isEnabled());
}
