// The picture dialogs of the gesture window and their preview pane: filters,
// what the pane says for each kind of file, names typed into the dialog, and
// an animated GIF that plays.
#include "codecs/gifimage.h"
#include "editor/gesturewindow.h"
#include "editor/picturepreview.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"
#include "support/testdata.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

TEST(PicturePreview, DialogsHaveTheirFiltersAndAPane)
{
    TfrmGestureWindow window(nullptr);
    struct Case
    {
        const char *name;
        QStringList filters;
    };
    const Case cases[] = {
        // The pictures Qt's plugins read and the clips come after these.
        { "openPictureDialog",
            { "CompuServe GIF Image (*.gif)", "JPEG Image File (*.jpg)", "JPEG Image File (*.jpeg)",
                "Bitmaps (*.bmp)" } },
        { "saveButtonImageDialog",
            { "All (*.jpg *.gif *.bmp)", "JPEG Image File (*.jpg)", "CompuServe GIF Image (*.gif)",
                "Bitmaps (*.bmp)" } },
        { "saveAnimationDialog", { "CompuServe GIF Image (*.gif)", "All files (*.*)" } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto *dialog = control<QFileDialog>(window, c.name);
        if (std::string(c.name) == "openPictureDialog") {
            const QStringList filters = dialog->nameFilters();
            EXPECT_EQ(filters.mid(1, 4), c.filters);
            for (const char *kind : { "*.gif", "*.png", "*.webp", "*.tiff", "*.webm", "*.mov" })
                EXPECT_TRUE(filters.value(0).contains(QLatin1String(kind))) << kind;
            EXPECT_TRUE(filters.contains(QStringLiteral("Video clips (*.webm *.mp4 *.mkv *.mov)")));
            EXPECT_EQ(filters.last(), QStringLiteral("All files (*)")); // any name: the content decides
        } else {
            EXPECT_EQ(dialog->nameFilters(), c.filters);
        }
        EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("gif"));
        EXPECT_NE(dialog->findChild<TPicturePreviewPane *>(), nullptr);
    }
}

// Each name is typed into the open dialog's name field; the pane follows.
TEST(PicturePreview, PaneFollowsTypedNamesForEachKindOfFile)
{
    QTemporaryDir dir;
    for (const char *name :
        { "gif/im_40frames_loop0.gif", "gif/im_plasma_96x64.gif", "pictures/jpeg_photo_64x48.jpg",
            "pictures/bmp_24bit_64x48.bmp", "large/jpeg_baseline_16384x10000.jpg" })
        QFile::copy(testdata::path(QString::fromLatin1(name)), dir.filePath(QFileInfo(name).fileName()));
    const QByteArray broken("GIF89a\x10\x00\x10\x00 not really a picture");
    // Headers of pictures beyond the pane's budget, with no pixels after them.
    const QByteArray hugeGif("GIF89a\x40\x1F\x40\x1F\x00\x00\x00", 13);
    const QByteArray hugeBmp = QByteArray("BM", 2) + QByteArray(12, '\0') + QByteArray("\x28\0\0\0", 4)
        + QByteArray("\x40\x1F\0\0\xC0\xE0\xFF\xFF", 8); // 8000 wide, 8000 high top-down
    for (const auto &[name, bytes] :
        { std::pair { "broken.gif", broken }, { "broken.jpg", broken }, { "broken.bmp", broken },
            { "notes.txt", broken }, { "huge.gif", hugeGif }, { "huge.bmp", hugeBmp } }) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    struct Case
    {
        const char *typed;
        const char *caption;
        bool picture;
    };
    const Case cases[] = {
        { "im_40frames_loop0.gif", "(12 x 10), 40 frames", true },
        { "im_plasma_96x64", "(96 x 64), 1 frame", true }, // the default extension is tried
        { "jpeg_photo_64x48.jpg", "(64 x 48)", true },
        { "bmp_24bit_64x48.bmp", "(64 x 48)", true },
        { "jpeg_baseline_16384x10000.jpg", "(16384 x 10000)", true }, // read at a reduced scale
        { "broken.gif", "Picture:", false },
        { "broken.jpg", "Picture:", false },
        { "broken.bmp", "Picture:", false },
        { "notes.txt", "Picture:", false },
        { "huge.gif", "(8000 x 8000)", false }, // its size, not decoded
        { "huge.bmp", "(8000 x 8000)", false },
        { "missing.gif", "Picture:", false },
        { "", "Picture:", false },
    };

    TfrmGestureWindow window(nullptr);
    auto *dialog = control<QFileDialog>(window, "openPictureDialog");
    auto *pane = dialog->findChild<TPicturePreviewPane *>();
    ASSERT_NE(pane, nullptr);
    dialog->setDirectory(dir.path());
    int runs = 0;
    plumora::ui::setDialogResponder([&](QDialog &) -> int {
        ++runs;
        EXPECT_TRUE(pane->Caption().isEmpty()); // each run starts empty
        auto *edit = control<QLineEdit>(*dialog, "fileNameEdit");
        for (const Case &c : cases) {
            SCOPED_TRACE(c.typed);
            edit->clear();
            QTest::keyClicks(edit, QString::fromLatin1(c.typed));
            EXPECT_EQ(pane->Caption(), QString::fromLatin1(c.caption));
            EXPECT_EQ(!pane->ShownPicture().isNull(), c.picture);
        }
        return QDialog::Rejected;
    });
    window.loadAnimation();
    plumora::ui::setDialogResponder({});
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(pane->Caption().isEmpty());
    EXPECT_FALSE(pane->Animating()); // nothing plays after the run
}

TEST(PicturePreview, AnimatedGifPlays)
{
    TPicturePreviewPane pane;
    pane.ShowFile(testdata::path(QStringLiteral("gif/im_40frames_loop0.gif")));
    EXPECT_TRUE(pane.Animating());
    EXPECT_EQ(pane.ShownFrame(), 0);
    const QImage first = pane.ShownPicture();
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane.ShownFrame() >= 2; }, 5000));
    EXPECT_NE(pane.ShownPicture(), first);
    // A still picture does not play.
    pane.ShowFile(testdata::path(QStringLiteral("gif/im_plasma_96x64.gif")));
    EXPECT_FALSE(pane.Animating());
}

// A GIF cut short in its second frame: the pane shows the first and stops
// there, with no error box and nothing thrown into painting, and the next
// file shows and plays as ever.
TEST(PicturePreview, AnimationCutShortStopsAtItsLastGoodFrame)
{
    QTemporaryDir dir;
    TGIFImage gif;
    QImage frame(120, 80, QImage::Format_RGB32);
    for (int k = 0; k < 2; ++k) {
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x)
                frame.setPixel(x, y, qRgb((x * 7 + k * 50) & 255, (y * 13) & 255, (x * y) & 255));
        gif.AppendFrame(TBitmap(frame));
    }
    const QByteArray whole = gif.WriteToBuffer();
    QFile cut(dir.filePath("cut.gif"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(whole.left(whole.size() - 100)); // inside the second frame's data
    cut.close();

    int dialogs = 0;
    plumora::ui::setDialogResponder([&](QDialog &) {
        ++dialogs;
        return 0;
    });
    TPicturePreviewPane pane;
    pane.resize(300, 300);
    pane.show();
    pane.ShowFile(cut.fileName());
    EXPECT_EQ(pane.Caption(), QStringLiteral("(120 x 80), 2 frames"));
    const QImage first = pane.ShownPicture();
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !pane.Animating(); }, 5000));
    EXPECT_EQ(pane.ShownFrame(), 0);
    EXPECT_EQ(pane.ShownPicture(), first);
    EXPECT_FALSE(pane.grab().isNull()); // paints what it has
    EXPECT_EQ(dialogs, 0);

    pane.ShowFile(testdata::path(QStringLiteral("gif/im_40frames_loop0.gif")));
    EXPECT_EQ(pane.Caption(), QStringLiteral("(12 x 10), 40 frames"));
    EXPECT_TRUE(pane.Animating());
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane.ShownFrame() >= 2; }, 5000));
    plumora::ui::setDialogResponder({});
}
