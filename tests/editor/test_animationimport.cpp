// Importing a picture file as the animation: how strips are cut, how frames
// are fitted to the preview, how GIFs made by other programs are composed,
// JPEG and BMP sources, and what the gesture window shows afterwards,
// including imports that fail or are cancelled and the strip written back.
#include "codecs/gifanimator.h"
#include "codecs/gifimage.h"
#include "gesture/animationimport.h"
#include "editor/fitanimationdialog.h"
#include "editor/frameimportdialog.h"
#include "editor/gestureview.h"
#include "editor/gesturehost.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "platform/plumorakeys.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"
#include "support/testdata.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QRgb rgb(QRgb value)
{
    return value & RGB_MASK;
}

// Colours far enough apart to survive JPEG and colour reduction.
const QRgb kBlocks[]
    = { qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0), qRgb(255, 0, 255) };

// A one-frame GIF written by our writer: blocks of blockWidth in kBlocks'
// colours, or (blockWidth 0) column x in grey level x.
QString writeStrip(const QTemporaryDir &dir, const QString &name, int width, int height, int blockWidth,
    const QByteArray &author = {})
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            image.setPixel(x, y, blockWidth ? kBlocks[(x / blockWidth) % 5] : qRgb(x, x, x));
    TGIFImage gif;
    gif.CopyFrom(TBitmap(image));
    gif.Author = author;
    const QString path = dir.filePath(name);
    gif.WriteToFile(path);
    return path;
}

// Every frame is one kBlocks colour, showing for delayMs.
QString writeAnimation(
    const QTemporaryDir &dir, const QString &name, int width, int height, int frames, int delayMs = 250)
{
    TGIFImage gif;
    for (int i = 0; i < frames; ++i) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(kBlocks[i % 5]);
        gif.AppendFrame(TBitmap(image));
        gif.Frames(i).DelayMs = std::uint16_t(delayMs);
    }
    const QString path = dir.filePath(name);
    gif.WriteToFile(path);
    return path;
}

TSplitQuestion answer(TFrameSplit::Mode mode, int value, QSize *asked = nullptr)
{
    return [=](int w, int h) -> std::optional<TFrameSplit> {
        if (asked)
            *asked = QSize(w, h);
        return TFrameSplit { mode, value };
    };
}

const TSplitQuestion cancel = [](int, int) -> std::optional<TFrameSplit> { return std::nullopt; };
const TSplitQuestion neverAsked = [](int, int) -> std::optional<TFrameSplit> {
    ADD_FAILURE() << "a GIF with several frames must not be cut";
    return std::nullopt;
};

// Answers the dialogs of an import: the frame import dialog with a split
// (or Cancel), file dialogs with paths, message boxes with a fixed button.
struct Answers
{
    std::optional<TFrameSplit> split = TFrameSplit { TFrameSplit::FrameCount, 1 };
    QStringList paths;
    QMessageBox::StandardButton button = QMessageBox::No;
    QStringList messages;
    int frameDialogs = 0;
    // The fit dialog: the source chosen (0 keeps the speed), or none to
    // cancel; each shown dialog's choices are noted.
    std::optional<int> fitSource = 0;
    QStringList fitChoices, fitIntros;
    Answers()
    {
        plumora::ui::setDialogResponder([this](QDialog &dialog) -> int {
            if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
                messages << box->text();
                return button;
            }
            if (auto *files = qobject_cast<QFileDialog *>(&dialog)) {
                if (paths.isEmpty())
                    return QDialog::Rejected;
                files->selectFile(paths.takeFirst());
                return QDialog::Accepted;
            }
            if (auto *fit = qobject_cast<TFitAnimationDialog *>(&dialog)) {
                fit->waitUntilIdle();
                if (const QLabel *intro = control<QLabel>(fit, "introLabel"); intro->isVisibleTo(fit))
                    fitIntros << intro->text();
                for (const QRadioButton *choice : fit->findChildren<QRadioButton *>())
                    if (choice->isVisibleTo(fit))
                        fitChoices << choice->text();
                if (!fitSource)
                    return QDialog::Rejected;
                if (*fitSource == 1)
                    control<QRadioButton>(fit, "everyFrameRadio")->setChecked(true);
                fit->waitUntilIdle();
                return QDialog::Accepted;
            }
            if (auto *frames = qobject_cast<TfrmFrameImport *>(&dialog)) {
                ++frameDialogs;
                if (!split)
                    return QDialog::Rejected;
                (split->mode == TFrameSplit::FrameWidth ? control<QRadioButton>(frames, "frameWidthRadio")
                                                        : control<QRadioButton>(frames, "frameCountRadio"))
                    ->setChecked(true);
                (split->mode == TFrameSplit::FrameWidth ? control<QSpinBox>(frames, "frameWidthSpin")
                                                        : control<QSpinBox>(frames, "frameCountSpin"))
                    ->setValue(split->value);
                return QDialog::Accepted;
            }
            return QDialog::Rejected;
        });
    }
    ~Answers() { plumora::ui::setDialogResponder({}); }
};

void load(TfrmGestureWindow &window, Answers &answers, const QString &path)
{
    answers.paths << path;
    window.loadAnimation();
}

} // namespace

TEST(AnimationImport, SplitPlans)
{
    struct Case
    {
        int width;
        TFrameSplit split;
        int pieceWidth, count;
    };
    const Case cases[] = {
        { 300, { TFrameSplit::FrameCount, 5 }, 60, 5 },
        { 500, { TFrameSplit::FrameWidth, 120 }, 120, 4 }, // 20 columns dropped
        { 80, { TFrameSplit::FrameWidth, 120 }, 80, 1 }, // wider than the picture: the whole picture
        { 100, { TFrameSplit::FrameCount, 3 }, 33, 3 }, // the last column dropped
        { 10, { TFrameSplit::FrameCount, 50 }, 1, 10 }, // more frames than columns: one column each
        { 100, { TFrameSplit::FrameCount, 0 }, 0, 0 }, // nothing is cut
    };
    for (const Case &c : cases) {
        const TSplitPlan plan = PlanSplit(c.width, c.split);
        EXPECT_EQ(plan.pieceWidth, c.pieceWidth) << c.width << " / " << c.split.value;
        EXPECT_EQ(plan.count, c.count) << c.width << " / " << c.split.value;
    }
}

TEST(AnimationImport, FitToPreview)
{
    struct Case
    {
        int sw, sh, w, h;
    };
    const Case cases[] = {
        { 600, 400, 255, 170 }, { 400, 600, 150, 225 }, { 300, 300, 225, 225 }, { 48, 32, 48, 32 },
        { 300, 290, 255, 246 }, // wider than high: only the width limit applies
        { 510, 5, 255, 2 }, // 2.5 rounds to the even 2
        { 510, 7, 255, 4 }, // 3.5 rounds to the even 4
        { 16000, 10, 255, 1 }, // would round to 0
    };
    for (const Case &c : cases)
        EXPECT_EQ(FitToPreview(c.sw, c.sh), QSize(c.w, c.h)) << c.sw << " x " << c.sh;
}

TEST(AnimationImport, StripsAreCutIntoFramesAsAsked)
{
    QTemporaryDir dir;
    QSize asked;
    auto five = ReadAnimationFile(
        writeStrip(dir, "s.gif", 300, 60, 60), answer(TFrameSplit::FrameCount, 5, &asked));
    ASSERT_TRUE(five);
    EXPECT_EQ(asked, QSize(300, 60));
    ASSERT_EQ(five->FrameCount(), 5);
    EXPECT_EQ(five->FrameSize, QSize(60, 60));
    EXPECT_EQ(five->ScreenWidth, 60);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(rgb(five->Frames->Picture(i).pixel(30, 30)), rgb(kBlocks[i])) << i;
    // Pieces carry no transparent colour.
    EXPECT_TRUE(five->KeepsTransparency);
    EXPECT_EQ(five->TransparentColor, clNone);

    auto byWidth
        = ReadAnimationFile(writeStrip(dir, "w.gif", 500, 100, 100), answer(TFrameSplit::FrameWidth, 120));
    ASSERT_EQ(byWidth->FrameCount(), 4);
    EXPECT_EQ(byWidth->FrameSize, QSize(120, 100));
    // Piece 2 spans columns 240..359: blocks 2 and 3 meet at x = 300.
    EXPECT_EQ(rgb(byWidth->Frames->Picture(2).pixel(59, 0)), rgb(kBlocks[2]));
    EXPECT_EQ(rgb(byWidth->Frames->Picture(2).pixel(60, 0)), rgb(kBlocks[3]));

    auto whole
        = ReadAnimationFile(writeStrip(dir, "n.gif", 80, 40, 16), answer(TFrameSplit::FrameWidth, 500));
    ASSERT_EQ(whole->FrameCount(), 1);
    EXPECT_EQ(whole->FrameSize, QSize(80, 40));

    auto thirds = ReadAnimationFile(writeStrip(dir, "g.gif", 100, 4, 0), answer(TFrameSplit::FrameCount, 3));
    ASSERT_EQ(thirds->FrameCount(), 3);
    EXPECT_EQ(thirds->FrameSize, QSize(33, 4));
    EXPECT_EQ(qRed(thirds->Frames->Picture(2).pixel(0, 0)), 66);
    EXPECT_EQ(qRed(thirds->Frames->Picture(2).pixel(32, 0)), 98); // column 99 dropped

    // A frame of 0 x 0 pixels on a 2 x 2 screen is cut as any frame smaller
    // than its screen: what lies beyond its own picture is black.
    QFile empty(dir.filePath("empty.gif"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.write(
        QByteArray("GIF89a\x02\0\x02\0\x80\0\0\0\0\0\xff\xff\xff,\0\0\0\0\0\0\0\0\0\x02\x02\x44\x01\0;", 35));
    empty.close();
    for (const TFrameSplit::Mode mode : { TFrameSplit::FrameCount, TFrameSplit::FrameWidth }) {
        auto cut = ReadAnimationFile(empty.fileName(), answer(mode, mode == TFrameSplit::FrameCount ? 2 : 1));
        ASSERT_EQ(cut->FrameCount(), 2);
        EXPECT_EQ(cut->FrameSize, QSize(1, 2));
        EXPECT_EQ(rgb(cut->Frames->Picture(1).pixel(0, 1)), rgb(qRgb(0, 0, 0)));
    }
    // A screen of no pixels (2 x 0) is refused without a question.
    ASSERT_TRUE(empty.open(QIODevice::ReadWrite));
    empty.seek(8);
    empty.write(QByteArray(2, '\0'));
    empty.close();
    asked = QSize();
    EXPECT_THROW(
        ReadAnimationFile(empty.fileName(), answer(TFrameSplit::FrameCount, 2, &asked)), PlumoraError);
    EXPECT_FALSE(asked.isValid());
    TGIFImage pieces;
    SplitPicture(TBitmap(), 3, { 4, 2 }, pieces);
    ASSERT_EQ(pieces.FrameCount(), 2);
    EXPECT_EQ(pieces.Frames(1).DecodedBitmap().image().size(), QSize(4, 3));
}

TEST(AnimationImport, LargeAnimationsAreScaledToThePreview)
{
    QTemporaryDir dir;
    auto wide = ReadAnimationFile(writeAnimation(dir, "a.gif", 600, 400, 3), neverAsked);
    ASSERT_EQ(wide->FrameCount(), 3);
    EXPECT_EQ(wide->FrameSize, QSize(255, 170));
    EXPECT_EQ(rgb(wide->Frames->Picture(1).pixel(254, 169)), rgb(kBlocks[1]));
    auto tall = ReadAnimationFile(writeAnimation(dir, "b.gif", 290, 300, 2), neverAsked);
    EXPECT_EQ(tall->FrameSize, QSize(218, 225)); // 290 x 0.75 = 217.5, to the even 218
}

TEST(AnimationImport, GifsFromOtherProgramsAreComposed)
{
    // ImageMagick: a 24 x 16 frame kept (disposal 1), then a 10 x 8 frame at
    // (3, 2) whose area is cleared after it (disposal 2).
    const QString path = testdata::path("gif/im_anim_disposal_loop3.gif");
    auto imported = ReadAnimationFile(path, neverAsked);
    ASSERT_TRUE(imported);
    ASSERT_EQ(imported->FrameCount(), 4);
    EXPECT_EQ(imported->FrameSize, QSize(24, 16));
    TGIFImage raw;
    raw.ReadFromFile(path);
    const QImage first = raw.Frames(0).DecodedBitmap().toRgb32();
    const TFrameList &frames = *imported->Frames;
    EXPECT_EQ(rgb(frames.Picture(1).pixel(0, 0)), rgb(first.pixel(0, 0))); // frame 0 still shows
    EXPECT_EQ(rgb(frames.Picture(1).pixel(3, 2)), rgb(raw.Frames(1).DecodedBitmap().toRgb32().pixel(0, 0)));
    EXPECT_EQ(rgb(frames.Picture(2).pixel(3, 2)), rgb(qRgb(255, 255, 255))); // cleared rectangle
    EXPECT_EQ(rgb(frames.Picture(2).pixel(23, 0)), rgb(first.pixel(23, 0)));
    EXPECT_FALSE(imported->KeepsTransparency && imported->TransparentColor != clNone);

    // Pillow: four full-screen frames, transparent index 2 (columns 6..8 of
    // frame 0). The gesture takes that colour and masks it in every frame.
    auto pil = ReadAnimationFile(testdata::path("gif/pil_anim_local_loop7.gif"), neverAsked);
    ASSERT_EQ(pil->FrameCount(), 4);
    EXPECT_TRUE(pil->KeepsTransparency);
    EXPECT_EQ(pil->TransparentColor, RGBColor(0x59, 0xfe, 0xdc));
    TZQGesture gesture;
    InstallAnimation(gesture, *pil);
    EXPECT_TRUE(gesture.Frames()->IsTransparent(0, 6, 0));
    EXPECT_FALSE(gesture.Frames()->IsTransparent(0, 0, 0));

    auto many = ReadAnimationFile(testdata::path("gif/im_40frames_loop0.gif"), neverAsked);
    EXPECT_EQ(many->FrameCount(), 40);
    EXPECT_EQ(many->FrameSize, QSize(12, 10));
}

TEST(AnimationImport, JpegAndBmpFromOtherPrograms)
{
    auto jpeg = ReadAnimationFile(
        testdata::path("pictures/jpeg_strip_300x60.jpg"), answer(TFrameSplit::FrameCount, 5));
    ASSERT_EQ(jpeg->FrameCount(), 5);
    EXPECT_EQ(jpeg->FrameSize, QSize(60, 60));
    EXPECT_FALSE(jpeg->KeepsTransparency);
    for (int i = 0; i < 5; ++i) {
        const QRgb got = jpeg->Frames->Picture(i).pixel(30, 30);
        EXPECT_NEAR(qRed(got), qRed(kBlocks[i]), 40) << i;
        EXPECT_NEAR(qGreen(got), qGreen(kBlocks[i]), 40) << i;
        EXPECT_NEAR(qBlue(got), qBlue(kBlocks[i]), 40) << i;
    }

    // ImageMagick's 4-bit BMP and its own decoding of it, in three pieces.
    auto bmp = ReadAnimationFile(
        testdata::path("pictures/bmp_4bit_33x7.bmp"), answer(TFrameSplit::FrameWidth, 11));
    ASSERT_EQ(bmp->FrameCount(), 3);
    const QImage reference
        = QImage(testdata::path("pictures/bmp_4bit_33x7.png")).convertToFormat(QImage::Format_RGB32);
    for (int k = 0; k < 3; ++k)
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 11; ++x)
                ASSERT_EQ(rgb(bmp->Frames->Picture(k).pixel(x, y)), rgb(reference.pixel(11 * k + x, y)))
                    << k << ": " << x << "," << y;
}

// A JPEG far larger than the preview is decoded scaled down, yet it is cut
// and fitted as at full size: the question gets the picture's own size, the
// frames have the size the full pieces give, each from its own place.
TEST(AnimationImport, LargeJpegIsCutAsAtFullSize)
{
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
    const struct
    {
        TFrameSplit split;
        QSize frameSize;
        std::vector<QRgb> colours;
    } cases[] = {
        { { TFrameSplit::FrameCount, 2 }, { 112, 225 }, { red, blue } }, // 2208 x 4416 pieces
        { { TFrameSplit::FrameWidth, 1100 }, { 56, 225 }, { red, red, blue, blue } }, // 16 columns dropped
    };
    for (const auto &c : cases) {
        QSize asked;
        const auto animation
            = ReadAnimationFile(testdata::path("large/jpeg_progressive_halves_4416x4416.jpg"),
                answer(c.split.mode, c.split.value, &asked));
        EXPECT_EQ(asked, QSize(4416, 4416));
        ASSERT_EQ(animation->FrameCount(), int(c.colours.size()));
        EXPECT_EQ(animation->FrameSize, c.frameSize);
        for (int i = 0; i < animation->FrameCount(); ++i) {
            const QImage frame = animation->Frames->Picture(i);
            for (const QPoint at : { QPoint(0, 0), QPoint(frame.width() - 1, frame.height() - 1) }) {
                const QRgb got = frame.pixel(at);
                EXPECT_NEAR(qRed(got), qRed(c.colours[i]), 40) << i;
                EXPECT_NEAR(qBlue(got), qBlue(c.colours[i]), 40) << i;
            }
        }
    }
}

TEST(AnimationImport, CancelAndUnreadableFiles)
{
    QTemporaryDir dir;
    // A one-frame GIF stays one frame, with its own transparent colour.
    auto kept = ReadAnimationFile(testdata::path("gif/im_transparent_7x3.gif"), cancel);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->FrameCount(), 1);
    EXPECT_EQ(kept->FrameSize, QSize(7, 3));
    EXPECT_EQ(kept->TransparentColor, clBlack);
    // A JPEG or BMP is not imported at all.
    EXPECT_FALSE(ReadAnimationFile(testdata::path("pictures/bmp_8bit_64x48.bmp"), cancel));

    QFile text(dir.filePath("text.gif"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is no picture");
    text.close();
    try {
        ReadAnimationFile(text.fileName(), cancel);
        FAIL() << "a text file read as a GIF";
    } catch (const PlumoraError &error) {
        EXPECT_TRUE(error.message().contains(text.fileName())) << error.message().toStdString();
    }
    EXPECT_THROW(ReadAnimationFile(dir.filePath("missing.bmp"), cancel), PlumoraError);
    // A PNG reads through Qt's plugin, and a cancelled cut imports nothing;
    // a text file of any other name is no picture.
    EXPECT_FALSE(ReadAnimationFile(testdata::path("pictures/bmp_4bit_33x7.png"), cancel));
    QFile notes(dir.filePath("notes.png"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("this is no picture");
    notes.close();
    EXPECT_THROW(ReadAnimationFile(notes.fileName(), cancel), PlumoraError);
}

// More frames than a gesture holds (its frame numbers are bytes) are asked
// about before any is cut or composed: No leaves the gesture as it was, Yes
// keeps the first 255; without a question the import is refused.
TEST(AnimationImport, MoreFramesThanAGestureHolds)
{
    QTemporaryDir dir;
    const QString many = writeAnimation(dir, "many.gif", 4, 3, 300);
    int reports = 0;
    int reportsWhenAsked = -1;
    auto kept = ReadAnimationFile(
        many, neverAsked,
        [&](int count, int keep) {
            EXPECT_EQ(count, 300);
            EXPECT_EQ(keep, 255);
            reportsWhenAsked = reports;
            return true;
        },
        [&](TProgressStage, int) { ++reports; });
    ASSERT_TRUE(kept);
    EXPECT_EQ(reportsWhenAsked, 0);
    ASSERT_EQ(kept->FrameCount(), 255);
    EXPECT_EQ(rgb(kept->Frames->Picture(254).pixel(3, 2)), rgb(kBlocks[254 % 5]));

    // 500 pieces two columns wide.
    auto pieces = ReadAnimationFile(writeStrip(dir, "strip.gif", 1000, 2, 2),
        answer(TFrameSplit::FrameWidth, 2), [](int count, int keep) { return count == 500 && keep == 255; });
    ASSERT_TRUE(pieces);
    ASSERT_EQ(pieces->FrameCount(), 255);
    EXPECT_EQ(rgb(pieces->Frames->Picture(254).pixel(1, 1)), rgb(kBlocks[254 % 5]));

    try {
        ReadAnimationFile(many, neverAsked);
        FAIL() << "300 frames taken without asking";
    } catch (const PlumoraError &error) {
        EXPECT_TRUE(error.message().contains("The animation has 300 frames; a gesture holds at most 255"))
            << error.message().toStdString();
    }

    TfrmGestureWindow window(nullptr);
    Answers answers;
    const QString first = testdata::path("gif/pil_anim_local_loop7.gif");
    load(window, answers, first);
    const TFrameList *frames = window.Gesture()->Frames();
    window.Gesture()->setUnsavedChanges(false);
    // The fit dialog says what is left out; its Cancel changes nothing.
    answers.messages.clear();
    answers.fitSource.reset();
    load(window, answers, many);
    EXPECT_EQ(answers.fitIntros,
        QStringList { "The animation has 300 frames; a gesture holds at most 255 of this size: "
                      "the first 255 are taken." });
    EXPECT_TRUE(answers.messages.isEmpty());
    EXPECT_EQ(window.Gesture()->Frames(), frames);
    EXPECT_EQ(control<QSlider>(window, "frameSlider")->maximum(), 4);
    EXPECT_EQ(control<QLabel>(window, "animationFileLabel")->text(), first);
    EXPECT_FALSE(window.Gesture()->UnsavedChanges());

    answers.fitSource = 0;
    load(window, answers, many);
    ASSERT_TRUE(window.Gesture()->Frames());
    EXPECT_EQ(window.Gesture()->Frames()->Count(), 255);
    EXPECT_EQ(control<QSlider>(window, "frameSlider")->maximum(), 255);
    EXPECT_EQ(control<QLabel>(window, "frameLabel")->text(), QStringLiteral("Frame 1 of 255"));
    EXPECT_EQ(control<QLabel>(window, "animationFileLabel")->text(), many);
}

// An animation whose frames do not show for 250 ms each is imported at its
// own speed or frame by frame, as the fit dialog's choice says; one that
// does, and fits, is imported without the dialog.
TEST(AnimationImport, TheSpeedIsAChoiceWhenFramesDoNotShowFor250Ms)
{
    QTemporaryDir dir;
    struct Case
    {
        int frames, delayMs;
        std::optional<int> source; // the choice made, none without the dialog
        int imported;
    };
    const Case cases[] = {
        { 95, 100, 0, 38 }, { 95, 100, 1, 95 }, { 12, 250, std::nullopt, 12 },
        { 9, 500, 0, 18 }, // slower than a gesture: frames shown twice
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frames * 1000 + c.delayMs);
        TfrmGestureWindow window(nullptr);
        Answers answers;
        answers.fitSource = c.source;
        load(window, answers, writeAnimation(dir, "speed.gif", 20, 10, c.frames, c.delayMs));
        ASSERT_TRUE(window.Gesture()->Frames());
        EXPECT_EQ(window.Gesture()->Frames()->Count(), c.imported);
        EXPECT_EQ(answers.fitChoices.size(), c.source ? 2 : 0);
    }
    TfrmGestureWindow window(nullptr);
    Answers answers;
    load(window, answers, writeAnimation(dir, "ten.gif", 20, 10, 95, 100));
    EXPECT_EQ(answers.fitChoices,
        QStringList({ "&Keep the original speed: 38 frames, plays in 9.5 s as the original",
            "Ta&ke every frame: 95 frames, plays 2.5 \u00d7 slower (23.8 s)" }));
}

// A picture a million pixels wide cut into 52,428 frames: the cut takes time
// in proportion to the frames, not to their square.
TEST(AnimationImport, CuttingIntoManyFramesIsLinear)
{
    QImage wide(1 << 20, 1, QImage::Format_Indexed8);
    wide.setColorTable({ qRgb(0, 0, 0), qRgb(255, 0, 0) });
    wide.fill(0);
    wide.setPixel(wide.width() - 17, 0, 1); // column 19 of the last whole piece
    TGIFImage pieces;
    SplitPicture(TBitmap(wide, 8), 1, PlanSplit(wide.width(), { TFrameSplit::FrameWidth, 20 }), pieces);
    ASSERT_EQ(pieces.FrameCount(), 52428);
    EXPECT_EQ(pieces.ScreenWidth(), 20);
    EXPECT_EQ(pieces.ScreenHeight(), 1);
    EXPECT_EQ(rgb(pieces.Frames(52427).DecodedBitmap().toRgb32().pixel(19, 0)), rgb(qRgb(255, 0, 0)));
}

// Ten thousand frames compose one after the other, and the fill colour still
// follows the whole image: only the last frame has a transparent colour, so
// the screen the 1 x 1 frames leave uncovered shows the background colour.
TEST(AnimationImport, ManyFramesCompose)
{
    constexpr int kFrames = 10000;
    QByteArray gif("GIF89a\x04\x00\x04\x00\x80\x01\x00", 13); // background index 1
    gif += QByteArray("\x00\x00\x00\xff\x00\x00", 6); // black, red
    for (int i = 0; i < kFrames; ++i) {
        if (i == kFrames - 1)
            gif += QByteArray("\x21\xf9\x04\x01\x00\x00\x00\x00", 8); // transparent index 0
        gif += QByteArray(",\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);
        gif += QByteArray("\x02\x02\x44\x01\x00", 5); // one pixel of index 0
    }
    gif += ';';
    TRxGIFAnimator animator;
    animator.Image().ReadFromBuffer(gif);
    animator.setBounds(0, 0, 4, 4);
    animator.setStretch(true);
    animator.setTransparent(false);
    const auto frames = ComposeFrames(animator, kFrames);
    ASSERT_EQ(frames->Count(), kFrames);
    for (int i : { 0, kFrames - 1 }) {
        EXPECT_EQ(rgb(frames->Picture(i).pixel(0, 0)), rgb(qRgb(0, 0, 0))) << i;
        EXPECT_EQ(rgb(frames->Picture(i).pixel(3, 3)), rgb(qRgb(255, 0, 0))) << i;
    }
}

TEST(AnimationImport, WindowShowsTheImportedAnimation)
{
    QTemporaryDir dir;
    const QString path = writeStrip(dir, "strip.gif", 300, 60, 60);
    TfrmGestureWindow window(nullptr);
    Answers answers;
    answers.split = TFrameSplit { TFrameSplit::FrameCount, 5 };
    answers.button = QMessageBox::Yes;
    load(window, answers, path);

    EXPECT_EQ(answers.frameDialogs, 1);
    ASSERT_EQ(answers.messages,
        QStringList { "Auto-create a new button image based on \r\nthe first frame of the animation?" });
    ASSERT_TRUE(window.Gesture()->Frames());
    EXPECT_EQ(window.Gesture()->Frames()->Count(), 5);
    EXPECT_EQ(window.GestureView()->size(), QSize(60, 60) * window.GestureView()->Zoom());
    EXPECT_TRUE(control<QSlider>(window, "frameSlider")->isEnabled());
    EXPECT_EQ(control<QSlider>(window, "frameSlider")->minimum(), 1);
    EXPECT_EQ(control<QSlider>(window, "frameSlider")->maximum(), 5);
    EXPECT_EQ(control<QSlider>(window, "frameSlider")->value(), 1);
    EXPECT_EQ(control<QLabel>(window, "frameLabel")->text(), QStringLiteral("Frame 1 of 5"));
    EXPECT_EQ(control<QLabel>(window, "animationFileLabel")->text(), path);
    EXPECT_TRUE(control<QPushButton>(window, "animationSaveButton")->isEnabled());
    EXPECT_TRUE(window.Gesture()->UnsavedChanges());
    EXPECT_FALSE(control<QCheckBox>(window, "transparentCheck")->isChecked());
    // The button picture: the red first frame, square, filling 18 x 18.
    EXPECT_EQ(control<QLabel>(window, "buttonImageFileLabel")->text(), QStringLiteral("> Internal <"));
    EXPECT_TRUE(control<QPushButton>(window, "buttonImageSaveButton")->isEnabled());
    EXPECT_EQ(window.Gesture()->Glyph().image().size(), QSize(18, 18));
    EXPECT_EQ(rgb(window.Gesture()->Glyph().image().pixel(0, 17)), rgb(kBlocks[0]));
}

TEST(AnimationImport, WindowFrameFieldsAuthorAndTransparency)
{
    QTemporaryDir dir;
    TfrmGestureWindow window(nullptr);
    Answers answers;
    answers.split = TFrameSplit { TFrameSplit::FrameCount, 10 };
    load(window, answers, writeStrip(dir, "ten.gif", 100, 10, 10));
    control<QRadioButton>(window, "animationLoopRadio")->click();
    control<QSpinBox>(window, "animationLoopFrameSpin")->setValue(8);
    control<QSpinBox>(window, "audioLoopFrameSpin")->setValue(8);
    control<QLineEdit>(window, "authorEdit")->setText(QStringLiteral("typed by the user"));

    // A GIF whose first frame has a transparent colour ticks the box.
    load(window, answers, testdata::path("gif/pil_anim_local_loop7.gif"));
    EXPECT_EQ(control<QSlider>(window, "frameSlider")->maximum(), 4);
    EXPECT_EQ(control<QSpinBox>(window, "audioLoopFrameSpin")->value(), 4);
    EXPECT_EQ(window.Gesture()->AudioLoopFrame(), 4);
    // The loop frame too: a loop frame beyond the frames would be saved.
    EXPECT_EQ(control<QSpinBox>(window, "animationLoopFrameSpin")->value(), 4);
    EXPECT_EQ(window.Gesture()->AnimLoopFrame(), 4);
    EXPECT_TRUE(control<QCheckBox>(window, "transparentCheck")->isChecked());
    EXPECT_EQ(window.TransColor(), RGBColor(0x59, 0xfe, 0xdc));
    EXPECT_EQ(window.Gesture()->TransparentColor(), RGBColor(0x59, 0xfe, 0xdc));
    EXPECT_TRUE(control<QLineEdit>(window, "authorEdit")->isEnabled());
    EXPECT_TRUE(control<QLineEdit>(window, "authorEdit")->text().isEmpty());
    EXPECT_TRUE(window.Gesture()->Author().isEmpty());

    // A GIF carrying an author text locks the field with it; a JPEG then
    // frees and empties it, and clears the transparency.
    load(window, answers, writeStrip(dir, "author.gif", 20, 20, 20, "Ann Example"));
    EXPECT_EQ(window.Gesture()->Author(), QStringLiteral("Ann Example"));
    EXPECT_EQ(control<QLineEdit>(window, "authorEdit")->text(), QStringLiteral("Ann Example"));
    EXPECT_FALSE(control<QLineEdit>(window, "authorEdit")->isEnabled());
    EXPECT_FALSE(control<QCheckBox>(window, "transparentCheck")->isChecked());
    answers.split = TFrameSplit { TFrameSplit::FrameCount, 1 };
    load(window, answers, testdata::path("pictures/jpeg_photo_64x48.jpg"));
    EXPECT_TRUE(control<QLineEdit>(window, "authorEdit")->isEnabled());
    EXPECT_TRUE(window.Gesture()->Author().isEmpty());
    EXPECT_EQ(window.Gesture()->TransparentColor(), clNone);
    EXPECT_EQ(window.Gesture()->Frames()->Count(), 1);
}

TEST(AnimationImport, FailedOrCancelledImportKeepsTheGesture)
{
    QTemporaryDir dir;
    TfrmGestureWindow window(nullptr);
    Answers answers;
    const QString first = testdata::path("gif/pil_anim_local_loop7.gif");
    load(window, answers, first);
    window.Gesture()->setUnsavedChanges(false);
    const TFrameList *frames = window.Gesture()->Frames();
    const QStringList messagesBefore = answers.messages;

    QFile broken(dir.filePath("broken.gif"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(testdata::read("gif/pil_anim_local_loop7.gif").left(40));
    broken.close();
    EXPECT_THROW(load(window, answers, broken.fileName()), PlumoraError);
    answers.split.reset();
    load(window, answers, testdata::path("pictures/jpeg_photo_64x48.jpg")); // Cancel: no message

    EXPECT_EQ(window.Gesture()->Frames(), frames);
    EXPECT_EQ(frames->Count(), 4);
    EXPECT_EQ(window.Gesture()->TransparentColor(), RGBColor(0x59, 0xfe, 0xdc));
    EXPECT_TRUE(control<QCheckBox>(window, "transparentCheck")->isChecked());
    EXPECT_EQ(control<QLabel>(window, "animationFileLabel")->text(), first);
    EXPECT_TRUE(control<QPushButton>(window, "animationSaveButton")->isEnabled());
    EXPECT_EQ(control<QSlider>(window, "frameSlider")->maximum(), 4);
    EXPECT_FALSE(window.Gesture()->UnsavedChanges());
    EXPECT_EQ(answers.messages, messagesBefore);
}

TEST(AnimationImport, SaveWritesTheStrip)
{
    QTemporaryDir dir;
    TfrmGestureWindow window(nullptr);
    Answers answers;
    answers.split = TFrameSplit { TFrameSplit::FrameCount, 5 };
    load(window, answers, writeStrip(dir, "strip.gif", 300, 60, 60, "Strip Maker"));
    window.setTransColor(RGBColor(0, 0, 255));
    control<QCheckBox>(window, "transparentCheck")->setChecked(true);
    window.Gesture()->setUnsavedChanges(false);

    const QString out = dir.filePath("out.gif");
    answers.paths << out;
    window.saveAnimation();
    TGIFImage written;
    written.ReadFromFile(out);
    ASSERT_EQ(written.FrameCount(), 1);
    EXPECT_EQ(written.ScreenWidth(), 300);
    EXPECT_EQ(written.ScreenHeight(), 60);
    EXPECT_EQ(written.Author, QByteArray("Strip Maker"));
    EXPECT_EQ(written.Frames(0).TransparentColor, clNone);
    const QImage strip = written.Frames(0).DecodedBitmap().toRgb32();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(rgb(strip.pixel(60 * i + 30, 30)), rgb(kBlocks[i])) << i; // blue stays blue
    EXPECT_TRUE(control<QCheckBox>(window, "transparentCheck")->isChecked());
    EXPECT_EQ(window.Gesture()->TransparentColor(), RGBColor(0, 0, 255));
    EXPECT_FALSE(window.Gesture()->UnsavedChanges());

    // Replacing the file asks first; No leaves it alone.
    QFile written0(out);
    ASSERT_TRUE(written0.open(QIODevice::ReadOnly));
    const QByteArray before = written0.readAll();
    written0.close();
    answers.button = QMessageBox::No;
    answers.messages.clear();
    window.Gesture()->DeleteFrame(0);
    answers.paths << out;
    window.saveAnimation();
    EXPECT_EQ(answers.messages.size(), 1);
    QFile again(out);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), before);

    // A write that fails is reported and keeps the transparency.
    answers.paths << dir.filePath("no/such/folder/x.gif");
    EXPECT_THROW(window.saveAnimation(), PlumoraError);
    EXPECT_TRUE(control<QCheckBox>(window, "transparentCheck")->isChecked());
    EXPECT_EQ(window.Gesture()->TransparentColor(), RGBColor(0, 0, 255));
}

// A window with a host asks it how to cut a picture, with no dialog of its
// own, and shows the progress of imports and strip saves through it.
TEST(AnimationImport, AWindowAsksAndReportsThroughItsHost)
{
    QTemporaryDir dir;
    TPlumoraKeys::setStoreFile(dir.filePath("settings.conf"));
    struct Host : IGestureHost
    {
        void saveGestureWindow(TfrmGestureWindow *) override { }
        TPlumoraKeys &Keys() override { return keys; }
        bool Destroying() const override { return false; }
        void ShowStatusNote(const QString &) override { }
        void ShowProgress(TProgressStage stage, int percent) override
        {
            progress.emplace_back(stage, percent);
        }
        std::optional<TFrameSplit> AskFrameSplit(QSize picture) override
        {
            asked << picture;
            return TFrameSplit { TFrameSplit::FrameCount, 5 };
        }
        TPlumoraKeys keys;
        QList<QSize> asked;
        std::vector<std::pair<TProgressStage, int>> progress;
    };
    // One run: Starting, rising percentages, Ending.
    auto expectOneRun = [](const std::vector<std::pair<TProgressStage, int>> &seen) {
        ASSERT_GE(seen.size(), 2u);
        EXPECT_EQ(seen.front().first, TProgressStage::Starting);
        EXPECT_EQ(seen.back().first, TProgressStage::Ending);
        for (std::size_t i = 1; i + 1 < seen.size(); ++i) {
            EXPECT_EQ(seen[i].first, TProgressStage::Running) << i;
            EXPECT_LE(seen[i - 1].second, seen[i].second) << i;
        }
    };
    {
        Host host;
        TfrmGestureWindow window(&host);
        Answers answers;
        load(window, answers, writeStrip(dir, "strip.gif", 300, 60, 60));
        EXPECT_EQ(host.asked, QList<QSize> { QSize(300, 60) });
        EXPECT_EQ(answers.frameDialogs, 0);
        ASSERT_NE(window.Gesture()->Frames(), nullptr);
        EXPECT_EQ(window.Gesture()->Frames()->Count(), 5);
        expectOneRun(host.progress);

        host.progress.clear();
        load(window, answers, testdata::path("gif/im_40frames_loop0.gif"));
        EXPECT_EQ(host.asked.size(), 1); // an animation is not cut
        EXPECT_GE(host.progress.size(), 3u);
        expectOneRun(host.progress);

        host.progress.clear();
        answers.paths << dir.filePath("saved.gif");
        window.saveAnimation();
        expectOneRun(host.progress);
    }
    TPlumoraKeys::setStoreFile(QString());
}

// The command-line tool makes the same gesture file as the window for the
// same choices (skipped when the tool has not been built).
TEST(AnimationImport, CliMakesTheSameGesture)
{
    const QString cli = QStringLiteral(PLUMORA_BIN_DIR "/plumora-cli");
    if (!QFile::exists(cli))
        GTEST_SKIP() << "plumora-cli not built";
    QTemporaryDir dir;
    const QString source = testdata::path("pictures/jpeg_strip_300x60.jpg");
    TfrmGestureWindow window(nullptr);
    Answers answers;
    answers.split = TFrameSplit { TFrameSplit::FrameWidth, 60 };
    answers.button = QMessageBox::Yes;
    load(window, answers, source);
    control<QLineEdit>(window, "taglineEdit")->setText(QStringLiteral("Five blocks"));
    control<QLineEdit>(window, "authorEdit")->setText(QStringLiteral("Tester"));
    control<QRadioButton>(window, "animationLoopRadio")->click();
    control<QSpinBox>(window, "animationLoopFrameSpin")->setValue(2);
    window.setTransColor(RGBColor(0, 0, 255));
    control<QCheckBox>(window, "transparentCheck")->setChecked(true);
    const QString fromWindow = dir.filePath("window.zqa");
    window.Gesture()->SaveToFile(fromWindow);

    const QString fromCli = dir.filePath("cli.zqa");
    QProcess process;
    process.start(cli,
        { QStringLiteral("create"), fromCli, QStringLiteral("--animation"), source,
            QStringLiteral("--frame-width"), QStringLiteral("60"), QStringLiteral("--auto-button"),
            QStringLiteral("--tagline"), QStringLiteral("Five blocks"), QStringLiteral("--author"),
            QStringLiteral("Tester"), QStringLiteral("--loop"), QStringLiteral("2"),
            QStringLiteral("--transparent"), QStringLiteral("0000ff") });
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    QFile a(fromWindow), b(fromCli);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
}
