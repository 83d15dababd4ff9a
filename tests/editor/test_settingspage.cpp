// The gesture window's Settings page, sound and button picture, driven as a
// user would: typing into fields, ticking boxes, picking a colour from the
// preview, and answering the file dialogs through the dialog seam.
#include "codecs/gifimage.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"

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
    window->ZQGesture1->setFrames(std::move(frames));
    window->TrackBar1->setMaximum(n);
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
    w->radAnimLoopClick();
    typeInto(w->spinAnimLoopFrame, "25");
    EXPECT_EQ(w->spinAnimLoopFrame->value(), 10);
    EXPECT_EQ(w->ZQGesture1->AnimLoopFrame(), 10);
    typeInto(w->spinAnimLoopFrame, "0");
    EXPECT_EQ(w->spinAnimLoopFrame->value(), 1);

    w->spinAnimLoopFrame->setValue(6);
    EXPECT_EQ(w->ZQGesture1->AnimLoopFrame(), 6);
    w->radAnimOnce->click();
    EXPECT_EQ(w->spinAnimLoopFrame->value(), 1);
    EXPECT_FALSE(w->spinAnimLoopFrame->isEnabled());
    EXPECT_EQ(w->ZQGesture1->AnimLoopOption(), aoPlayOnce);
    w->radAnimLoop->click();
    EXPECT_TRUE(w->spinAnimLoopFrame->isEnabled());
    EXPECT_EQ(w->spinAnimLoopFrame->value(), 1);
    EXPECT_EQ(w->ZQGesture1->AnimLoopOption(), aoLoop);
    w->radAnimReverse->click();
    EXPECT_EQ(w->ZQGesture1->AnimLoopOption(), aoReverse);

    w->spinAudioLoopFrame->setValue(30);
    EXPECT_EQ(w->spinAudioLoopFrame->value(), 10);
    EXPECT_EQ(w->ZQGesture1->AudioLoopFrame(), 10);
    // Options are changes that closing must not lose.
    EXPECT_TRUE(w->UnsavedChanges);
}

TEST(SettingsPage, AudioOptionsAndRepeatFlag)
{
    auto w = windowWithFrames(3);
    w->show();
    w->radAudioLoop->click();
    EXPECT_TRUE(w->ZQGesture1->AudioRepeat());
    EXPECT_FALSE(w->ZQGesture1->Modified()); // the repeat flag never marks the gesture
    w->radAudioLoop->click(); // already ticked: nothing changes
    EXPECT_TRUE(w->radAudioLoop->isChecked());
    EXPECT_TRUE(w->ZQGesture1->AudioRepeat());
    w->radAudioOnce->click();
    EXPECT_FALSE(w->ZQGesture1->AudioRepeat());
    EXPECT_FALSE(w->radAudioLoop->isChecked());
}

TEST(SettingsPage, TransparencyBoxAndPickingFromThePreview)
{
    TfrmGestureWindow fresh(nullptr);
    fresh.cbxTransparent->setChecked(true);
    EXPECT_EQ(fresh.ZQGesture1->TransparentColor(), 0x00808080u);
    EXPECT_TRUE(fresh.sbnSelectTransparent->isEnabled());
    fresh.cbxTransparent->setChecked(false);
    EXPECT_EQ(fresh.ZQGesture1->TransparentColor(), clNone);
    EXPECT_FALSE(fresh.sbnSelectTransparent->isEnabled());

    auto w = windowWithFrames(2);
    w->show();
    w->setTestBackground(RGBColor(0, 0, 255));
    w->PageControl1->setCurrentWidget(w->tabSettings);
    w->cbxTransparent->setChecked(true);
    // Press Pick: pick mode; then click the marked pixel on the gesture.
    QTest::mousePress(w->sbnSelectTransparent, Qt::LeftButton);
    QTest::mouseRelease(w->sbnSelectTransparent, Qt::LeftButton);
    EXPECT_EQ(plumora::ui::screenCursor(), plumora::ui::crColorSample);
    EXPECT_TRUE(w->sbnSelectTransparent->isChecked());
    QTest::mouseClick(w->ZQGesture1, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(w->ZQGesture1->TransparentColor(), RGBColor(1, 2, 3));
    EXPECT_EQ(w->TransColor(), RGBColor(1, 2, 3));
    EXPECT_FALSE(w->sbnSelectTransparent->isChecked());
    EXPECT_EQ(plumora::ui::screenCursor(), plumora::ui::crDefault);

    // Picking the pixel that is now transparent gives what shows through.
    QTest::mousePress(w->sbnSelectTransparent, Qt::LeftButton);
    QTest::mouseRelease(w->sbnSelectTransparent, Qt::LeftButton);
    QTest::mouseClick(w->ZQGesture1, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(w->ZQGesture1->TransparentColor(), RGBColor(0, 0, 255));
    plumora::ui::setScreenCursor(plumora::ui::crDefault);
}

TEST(SettingsPage, TestBackgroundThroughTheColourDialog)
{
    auto w = windowWithFrames(1);
    Answers answers;
    answers.colour = QColor(12, 34, 56);
    w->pnlColorSelectClick();
    EXPECT_EQ(w->TestBackground(), RGBColor(12, 34, 56));
    EXPECT_EQ(w->ScrollBox1->palette().color(QPalette::Window), QColor(12, 34, 56));
}

TEST(SoundRow, LoadAndSaveKeepTheBytes)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in.wav");
    QByteArray bytes = "RIFF....WAVE";
    for (int i = 0; i < 500; ++i)
        bytes.append(char(i * 7));
    QFile f(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();

    auto w = windowWithFrames(2);
    Answers answers;
    answers.paths << in << dir.filePath("out.wav");
    w->btnSelectAudioClick();
    EXPECT_TRUE(w->ZQGesture1->HasAudio());
    EXPECT_EQ(w->pnlAudioFile->text(), in);
    EXPECT_TRUE(w->btnSaveAudio->isEnabled());
    EXPECT_TRUE(w->UnsavedChanges);
    w->btnSaveAudioClick();
    QFile out(dir.filePath("out.wav"));
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), bytes);

    // Saving over an existing file asks first.
    answers.paths << dir.filePath("out.wav");
    w->btnSaveAudioClick();
    ASSERT_EQ(answers.messages.size(), 1);
    EXPECT_TRUE(answers.messages[0].contains("already exists"));

    // A file that cannot be read changes nothing and says nothing.
    TfrmGestureWindow other(nullptr);
    answers.paths << dir.filePath("missing.wav");
    answers.messages.clear();
    other.btnSelectAudioClick();
    EXPECT_FALSE(other.ZQGesture1->HasAudio());
    EXPECT_FALSE(other.btnSaveAudio->isEnabled());
    EXPECT_FALSE(other.UnsavedChanges);
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
    w->btnSelectButtonImageClick();
    const TBitmap &glyph = w->ZQGesture1->Glyph();
    ASSERT_EQ(glyph.width(), 18);
    EXPECT_EQ(glyph.pixelColor(0, 3), clWhite);
    EXPECT_EQ(glyph.pixelColor(0, 4), RGBColor(255, 0, 0));
    EXPECT_EQ(glyph.pixelColor(17, 12), RGBColor(255, 0, 0));
    EXPECT_EQ(glyph.pixelColor(0, 13), clWhite);
    EXPECT_TRUE(w->btnSaveButtonImage->isEnabled());
    EXPECT_TRUE(w->UnsavedChanges);

    for (const char *name : { "b.gif", "b.bmp", "b.jpg", "b.jpeg" }) {
        answers.paths << dir.filePath(QString::fromLatin1(name));
        w->btnSaveButtonImageClick();
        ASSERT_TRUE(QFile::exists(dir.filePath(QString::fromLatin1(name)))) << name;
    }
    TGIFImage gif;
    gif.ReadFromFile(dir.filePath("b.gif"));
    EXPECT_EQ(gif.Frames(0).DecodedBitmap().pixelColor(0, 4), RGBColor(255, 0, 0));
    EXPECT_EQ(QImage(dir.filePath("b.bmp")).pixelColor(0, 4), QColor(255, 0, 0));
    EXPECT_EQ(QImage(dir.filePath("b.jpg"), "JPG").size(), QSize(18, 18));

    // Another extension is refused with a message, and nothing is written.
    answers.paths << dir.filePath("b.png");
    EXPECT_THROW(w->btnSaveButtonImageClick(), PlumoraError);
    EXPECT_FALSE(QFile::exists(dir.filePath("b.png")));

    // A file that cannot be read keeps the earlier button picture.
    QFile bad(dir.filePath("bad.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a jpeg");
    bad.close();
    answers.paths << dir.filePath("bad.jpg");
    const QImage before = w->ZQGesture1->Glyph().image();
    EXPECT_THROW(w->btnSelectButtonImageClick(), PlumoraError);
    EXPECT_EQ(w->ZQGesture1->Glyph().image(), before);
    EXPECT_EQ(w->pnlButtonFile->text(), dir.filePath("wide.bmp"));
    EXPECT_TRUE(w->btnSaveButtonImage->isEnabled());
}
