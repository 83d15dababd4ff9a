// Importing a picture file as the animation: how strips are cut, how frames
// are fitted to the preview, how GIFs made by other programs are composed,
// JPEG and BMP sources, and what is refused.
#include "codecs/gifanimator.h"
#include "codecs/gifimage.h"
#include "gesture/animationimport.h"
#include "gesture/importsource.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "support/testdata.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace importsource;

namespace {

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

// A cancelled cut imports nothing but a one-frame GIF; what is no picture
// fails with the file's name in the message.
TEST(AnimationImport, CancelAndUnreadableFiles)
{
    QTemporaryDir dir;
    const auto write = [&dir](const char *name) {
        QFile file(dir.filePath(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is no picture");
        return file.fileName();
    };
    enum Outcome { Kept, NotImported, Refused };
    const struct
    {
        QString path;
        Outcome outcome;
    } rows[] = {
        { testdata::path("gif/im_transparent_7x3.gif"), Kept }, // one frame stays one frame
        { testdata::path("pictures/bmp_8bit_64x48.bmp"), NotImported },
        { testdata::path("pictures/bmp_4bit_33x7.png"), NotImported }, // through Qt's plugin
        { write("text.gif"), Refused },
        { write("notes.png"), Refused },
        { dir.filePath("missing.bmp"), Refused },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        try {
            const auto imported = ReadAnimationFile(row.path, cancel);
            ASSERT_NE(row.outcome, Refused);
            ASSERT_EQ(bool(imported), row.outcome == Kept);
            if (imported) {
                EXPECT_EQ(imported->FrameCount(), 1);
                EXPECT_EQ(imported->FrameSize, QSize(7, 3));
                EXPECT_EQ(imported->TransparentColor, clBlack); // its own transparent colour
            }
        } catch (const PlumoraError &error) {
            EXPECT_EQ(row.outcome, Refused);
            EXPECT_TRUE(error.message().contains(row.path)) << error.message().toStdString();
        }
    }
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
}
