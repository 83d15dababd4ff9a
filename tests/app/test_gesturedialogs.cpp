// The gesture open and save dialogs: the preview pane, its drawing, the
// preview window, the question before replacing a file and the old style.
#include "app/gesturedialogs.h"
#include "app/previewwindow.h"
#include "editor/gestureview.h"
#include "gesture/gesturetestutil.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using plumora::ui::DialogResponder;

namespace {

// Installs a dialog responder for one test and removes it again.
struct ScopedResponder
{
    explicit ScopedResponder(DialogResponder responder)
    {
        plumora::ui::setDialogResponder(std::move(responder));
    }
    ~ScopedResponder() { plumora::ui::setDialogResponder(nullptr); }
};

const QColor kBackground(0xC0, 0xC0, 0xC0);
const QRgb kRed = qRgb(255, 0, 0);

QImage solid(int w, int h, QRgb colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Draws into a fresh background-filled canvas of the given size.
QImage drawn(
    QSize canvasSize, const QRect &box, const QImage &picture, const QString &tagline, QFont *font = nullptr)
{
    QImage canvas(canvasSize, QImage::Format_RGB32);
    canvas.fill(kBackground);
    QPainter painter(&canvas);
    if (font)
        painter.setFont(*font);
    DrawPreview(painter, box, kBackground, picture, tagline);
    return canvas;
}

// The bounding box of pixels that differ from the background.
QRect inkOf(const QImage &image)
{
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kBackground.rgb())
                ink |= QRect(x, y, 1, 1);
    return ink;
}

class GestureDialogs : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    // Saves a gesture of two w x h frames, frame 0 all red.
    QString gestureFile(const QString &name, int w, int h, const QString &tagline = QString())
    {
        TZQGesture g;
        auto list = std::make_unique<TFrameList>(w, h);
        list->Add(solid(w, h, kRed), clNone);
        list->Add(gesturetest::frameImage(w, h, 1), clNone);
        g.setFrames(std::move(list));
        g.setTagline(tagline);
        const QString path = dir.filePath(name);
        g.SaveToFile(path);
        return path;
    }
    QString plainFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }
};

} // namespace

// Where the picture lands in the preview box: centred unscaled when it fits,
// else shrunk whole keeping its proportions. Each row is checked on the rect
// computed and on the pixels drawn.
TEST(DrawPreview, PicturesAreCentredOrShrunkToFit)
{
    const QRect box(0, 0, 141, 153);
    const struct
    {
        QRect box;
        QSize picture;
        QRect expected;
    } rows[] = {
        { box, { 40, 30 }, { 50, 61, 40, 30 } }, // small: centred unscaled
        { { 10, 20, 141, 153 }, { 40, 30 }, { 60, 81, 40, 30 } }, // the box's own position counts
        { { 0, 0, 10, 10 }, { 3, 4 }, { 3, 3, 3, 4 } }, // odd differences truncate
        { box, { 300, 100 }, { 0, 0, 141, 47 } },
        { box, { 100, 300 }, { 0, 0, 51, 153 } }, // taller than wide: 100 * 153 / 300
        { box, { 150, 20 }, { 0, 0, 141, 19 } }, // one side too large shrinks the whole (nearest)
        // A square picture in a box taller than wide fits across, not
        // spilling over the right edge.
        { box, { 200, 200 }, { 0, 0, 141, 141 } }, { { 0, 0, 153, 100 }, { 160, 155 }, { 0, 0, 103, 100 } },
        { box, { 0, 10 }, {} }, // degenerate sizes draw nothing
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.picture.width() * 1000 + row.picture.height());
        EXPECT_EQ(PreviewPictureRect(row.box, row.picture), row.expected);
        if (!row.picture.isEmpty()) {
            EXPECT_EQ(inkOf(drawn(QSize(200, 200), row.box,
                          solid(row.picture.width(), row.picture.height(), kRed), QString())),
                row.expected);
        }
    }
}

TEST(DrawPreview, TaglineSitsOnTheBottomEdgeOverThePicture)
{
    const QRect box(0, 0, 141, 153);
    QFont font;
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const QString tagline = QStringLiteral("Hi there");
    const int tw = metrics.horizontalAdvance(tagline);
    const int th = metrics.height();
    // The picture fills the box exactly, so anything not red is the tagline.
    const QImage image = drawn(QSize(141, 153), box, solid(141, 153, kRed), tagline, &font);
    QRect notRed;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kRed)
                notRed |= QRect(x, y, 1, 1);
    EXPECT_EQ(notRed, QRect((141 - tw) / 2, 153 - th, tw, th));
    // The strip behind the text is the background colour, not the picture.
    EXPECT_EQ(image.pixel((141 - tw) / 2, 153 - th), kBackground.rgb());

    // A tagline wider than the box is clipped to it.
    const QImage clipped = drawn(
        QSize(200, 200), QRect(20, 20, 60, 60), solid(10, 10, kRed), QString(40, QLatin1Char('W')), &font);
    EXPECT_TRUE(QRect(20, 20, 60, 60).contains(inkOf(clipped)));
}

TEST(DrawPreview, NoPictureWritesNoneCentredAndNoTagline)
{
    QFont font;
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const QImage image
        = drawn(QSize(141, 153), QRect(0, 0, 141, 153), QImage(), QStringLiteral("ignored"), &font);
    const QRect text((141 - metrics.horizontalAdvance(QStringLiteral("(None)"))) / 2,
        (153 - metrics.height()) / 2, metrics.horizontalAdvance(QStringLiteral("(None)")), metrics.height());
    const QRect ink = inkOf(image);
    EXPECT_FALSE(ink.isEmpty());
    EXPECT_TRUE(text.contains(ink));
}

TEST_F(GestureDialogs, DrawPreviewOfAGestureNeedsAFileAndFrames)
{
    // Frames made in memory but no file: nothing to preview.
    TZQGesture memory;
    memory.setFrames(gesturetest::frames(10, 10, 1));
    QImage canvas(60, 60, QImage::Format_RGB32);
    canvas.fill(kBackground);
    {
        QPainter painter(&canvas);
        DrawPreview(painter, QRect(0, 0, 60, 60), kBackground, memory);
    }
    EXPECT_EQ(canvas.pixel(25, 25), kBackground.rgb());

    // Loaded from a file, frame 0 is drawn; its transparent pixels take the
    // background colour.
    TZQGesture loaded;
    loaded.setFilename(gestureFile(QStringLiteral("a.zqa"), 10, 10));
    loaded.setTransparentColor(fromQRgb(kRed));
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        DrawPreview(painter, QRect(0, 0, 60, 60), kBackground, loaded);
    }
    EXPECT_EQ(canvas.pixel(25, 25), kBackground.rgb());
    EXPECT_EQ(canvas.pixel(5, 5), qRgb(255, 255, 255));
}

TEST_F(GestureDialogs, LabelAndButtonFollowTheSelection)
{
    TOpenGestureDialog dialog;
    const QString gesture = gestureFile(QStringLiteral("g.zqa"), 32, 32, QStringLiteral("tag"));
    dialog.SelectionChanged(gesture);
    EXPECT_EQ(control<QLabel>(dialog, "pictureLabel")->text(), QStringLiteral(" (32x32)"));
    EXPECT_TRUE(control<QToolButton>(dialog, "previewButton")->isEnabled());
    EXPECT_TRUE(dialog.PreviewGesture()->Valid());
    EXPECT_EQ(dialog.PreviewGesture()->Tagline(), QStringLiteral("tag"));

    // A file that is no gesture: it counts as a file, but there is nothing
    // to draw, and no stale size of the previous gesture is shown.
    dialog.SelectionChanged(plainFile(QStringLiteral("notes.zqa"), "plain text"));
    EXPECT_EQ(control<QLabel>(dialog, "pictureLabel")->text(), QStringLiteral(" (0x0)"));
    EXPECT_TRUE(control<QToolButton>(dialog, "previewButton")->isEnabled());
    EXPECT_FALSE(dialog.PreviewGesture()->Valid());
    const QImage none = control<QWidget>(dialog, "paintSurface")->grab().toImage();
    EXPECT_NE(none.pixel(none.width() / 2, none.height() / 2), kRed);

    // A folder and a missing name are not candidates.
    for (const QString &path : { dir.path(), dir.filePath(QStringLiteral("missing.zqa")), QString() }) {
        dialog.SelectionChanged(gesture);
        dialog.SelectionChanged(path);
        EXPECT_EQ(control<QLabel>(dialog, "pictureLabel")->text(), QStringLiteral("Picture:"))
            << path.toStdString();
        EXPECT_FALSE(control<QToolButton>(dialog, "previewButton")->isEnabled());
        EXPECT_TRUE(dialog.PreviewGesture()->Filename().isEmpty());
        EXPECT_FALSE(dialog.PreviewGesture()->Valid());
    }
}

// A file whose strip is beyond the preview's budget is not decoded: it
// previews as "(None)", in the pane and in the preview window alike.
TEST_F(GestureDialogs, StripBeyondThePreviewBudgetPreviewsAsNone)
{
    TOpenGestureDialog dialog;
    dialog.SelectionChanged(plainFile(QStringLiteral("big.zqa"), gesturetest::blackGesture(255, 65535, 257)));
    EXPECT_FALSE(dialog.PreviewGesture()->Valid());
    EXPECT_EQ(control<QLabel>(dialog, "pictureLabel")->text(), QStringLiteral(" (0x0)"));
    int shown = 0;
    ScopedResponder responder([&](QDialog &window) {
        ++shown;
        const auto *played = window.findChild<TZQGesture *>(QStringLiteral("gesture"));
        EXPECT_TRUE(played && !played->Valid());
        return int(QDialog::Rejected);
    });
    control<QToolButton>(dialog, "previewButton")->click();
    EXPECT_EQ(shown, 1);
}

TEST_F(GestureDialogs, PaintBoxShowsTheFirstFrame)
{
    TOpenGestureDialog dialog;
    dialog.SelectionChanged(gestureFile(QStringLiteral("g.zqa"), 40, 30));
    const QImage image = control<QWidget>(dialog, "paintSurface")->grab().toImage();
    const QRect at = PreviewPictureRect(image.rect(), QSize(40, 30));
    ASSERT_EQ(at.size(), QSize(40, 30));
    EXPECT_EQ(image.pixel(at.topLeft()), kRed);
    EXPECT_EQ(image.pixel(at.bottomRight()), kRed);
    EXPECT_NE(image.pixel(at.left() - 1, at.top()), kRed);
    EXPECT_NE(image.pixel(at.right() + 1, at.bottom()), kRed);
}

TEST_F(GestureDialogs, ChoosingOrTypingAnEntryUpdatesThePane)
{
    const QString gesture = gestureFile(QStringLiteral("g.zqa"), 24, 16);
    TOpenGestureDialog dialog;
    dialog.setInitialDir(dir.path());
    ScopedResponder responder([&](QDialog &) {
        auto *view = dialog.findChild<QAbstractItemView *>(QStringLiteral("listView"));
        EXPECT_NE(view, nullptr);
        if (!view)
            return int(QDialog::Rejected);
        auto *proxy = view->model();
        // The folder is listed in the background; wait for the entry.
        QModelIndex index;
        for (int i = 0; i < 100 && !index.isValid(); ++i) {
            QTest::qWait(20);
            for (int row = 0; row < proxy->rowCount(view->rootIndex()); ++row) {
                const QModelIndex candidate = proxy->index(row, 0, view->rootIndex());
                if (candidate.data().toString() == QStringLiteral("g.zqa"))
                    index = candidate;
            }
        }
        EXPECT_TRUE(index.isValid());
        view->setCurrentIndex(index);
        EXPECT_EQ(control<QLabel>(dialog, "pictureLabel")->text(), QStringLiteral(" (24x16)"));
        // A typed name is followed too: a missing one empties the pane, one
        // without its extension finds the gesture.
        auto *edit = control<QLineEdit>(dialog, "fileNameEdit");
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("nothing.zqa"));
        EXPECT_EQ(control<QLabel>(dialog, "pictureLabel")->text(), QStringLiteral("Picture:"));
        EXPECT_FALSE(control<QToolButton>(dialog, "previewButton")->isEnabled());
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("g"));
        EXPECT_EQ(control<QLabel>(dialog, "pictureLabel")->text(), QStringLiteral(" (24x16)"));
        return int(QDialog::Rejected);
    });
    EXPECT_FALSE(dialog.Execute());
}

TEST_F(GestureDialogs, PreviewWindowPlaysTheGestureAndClosesOnEscape)
{
    TOpenGestureDialog dialog;
    const QString gesture = gestureFile(QStringLiteral("g.zqa"), 32, 24);
    dialog.SelectionChanged(gesture);
    int shown = 0;
    ScopedResponder responder([&](QDialog &window) {
        ++shown;
        EXPECT_EQ(window.objectName(), QStringLiteral("PreviewForm"));
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Preview"));
        auto *played = window.findChild<TZQGesture *>(QStringLiteral("gesture"));
        EXPECT_NE(played, nullptr);
        if (!played)
            return int(QDialog::Rejected);
        EXPECT_EQ(played->Filename(), gesture);
        EXPECT_TRUE(played->Valid());
        EXPECT_TRUE(played->Playing());
        window.show();
        QCoreApplication::processEvents();
        auto *view = window.findChild<TGestureView *>(QStringLiteral("gestureView"));
        EXPECT_NE(view, nullptr);
        if (!view)
            return int(QDialog::Rejected);
        EXPECT_EQ(view->Gesture(), played);
        EXPECT_TRUE(view->PlaybackTimer()->isActive());
        // The gesture gets exactly its frame size inside a 5-pixel border.
        EXPECT_EQ(view->size(), QSize(32, 24));
        // Escape reaches the window first even when aimed at its gesture.
        QTest::keyClick(view, Qt::Key_Escape);
        EXPECT_FALSE(window.isVisible());
        EXPECT_TRUE(dialog.isHidden());
        return window.result();
    });
    control<QToolButton>(dialog, "previewButton")->click();
    EXPECT_EQ(shown, 1);
}

TEST_F(GestureDialogs, DoubleClickOpensThePreviewEvenWithoutAGesture)
{
    TOpenGestureDialog dialog;
    dialog.SelectionChanged(dir.filePath(QStringLiteral("missing.zqa")));
    dialog.show();
    QCoreApplication::processEvents();
    int shown = 0;
    ScopedResponder responder([&](QDialog &window) {
        ++shown;
        auto *played = window.findChild<TZQGesture *>(QStringLiteral("gesture"));
        EXPECT_TRUE(played && !played->Valid());
        window.show();
        QTest::keyClick(&window, Qt::Key_Escape);
        EXPECT_FALSE(window.isVisible());
        return window.result();
    });
    QTest::mouseDClick(control<QWidget>(dialog, "paintSurface"), Qt::LeftButton);
    EXPECT_EQ(shown, 1);
    // The dialog stays open.
    EXPECT_TRUE(dialog.isVisible());
    dialog.hide();
}

TEST_F(GestureDialogs, OpenDialogSetUpAndResult)
{
    TOpenGestureDialog dialog;
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog.nameFilters(), QStringList { QStringLiteral("Gestures (*.zqa)") });
    EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("zqa"));

    const QString gesture = gestureFile(QStringLiteral("g.zqa"), 8, 8);
    dialog.setInitialDir(dir.path());
    {
        ScopedResponder responder([&](QDialog &) {
            EXPECT_EQ(QDir(dialog.directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
            // A typed name without extension gets the default one.
            dialog.selectFile(QStringLiteral("g"));
            return int(QDialog::Accepted);
        });
        EXPECT_TRUE(dialog.Execute());
        EXPECT_EQ(QFileInfo(dialog.FileName()).canonicalFilePath(), QFileInfo(gesture).canonicalFilePath());
    }
    {
        ScopedResponder responder([](QDialog &) { return int(QDialog::Rejected); });
        EXPECT_FALSE(dialog.Execute());
    }
}

TEST_F(GestureDialogs, OpenDialogReportsAMissingFileThroughTheSeam)
{
    TOpenGestureDialog dialog;
    dialog.setInitialDir(dir.path());
    QStringList messages;
    ScopedResponder responder([&](QDialog &d) {
        if (auto *box = qobject_cast<QMessageBox *>(&d)) {
            messages << box->text();
            return int(QMessageBox::Ok);
        }
        dialog.selectFile(QStringLiteral("nothing.zqa"));
        d.accept();
        return d.result();
    });
    EXPECT_FALSE(dialog.Execute());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("nothing.zqa\nFile not found.")));
}

TEST_F(GestureDialogs, EachRunStartsWithAnEmptyPreview)
{
    TOpenGestureDialog dialog;
    dialog.setInitialDir(dir.path());
    dialog.SelectionChanged(gestureFile(QStringLiteral("g.zqa"), 8, 8));
    ScopedResponder responder([&](QDialog &) {
        EXPECT_TRUE(dialog.PreviewGesture()->Filename().isEmpty());
        EXPECT_FALSE(dialog.PreviewGesture()->Valid());
        EXPECT_TRUE(control<QLabel>(dialog, "pictureLabel")->text().isEmpty());
        EXPECT_FALSE(control<QToolButton>(dialog, "previewButton")->isEnabled());
        EXPECT_FALSE(control<QFrame>(dialog, "picturePanel")->isHidden());
        return int(QDialog::Rejected);
    });
    dialog.Execute();
}

TEST_F(GestureDialogs, PaneSitsRightOfTheStandardControls)
{
    TOpenGestureDialog dialog;
    dialog.show();
    QCoreApplication::processEvents();
    auto *buttons = dialog.findChild<QWidget *>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    EXPECT_TRUE(control<QFrame>(dialog, "picturePanel")->isVisible());
    EXPECT_EQ(control<QFrame>(dialog, "picturePanel")->parentWidget(), &dialog);
    EXPECT_GE(control<QFrame>(dialog, "picturePanel")->geometry().left(), buttons->geometry().right());
    dialog.hide();
}

TEST_F(GestureDialogs, OldStyleRunsWithoutThePane)
{
    TOpenGestureDialog dialog;
    dialog.OldStyle = true;
    dialog.setInitialDir(dir.path());
    const QString gesture = gestureFile(QStringLiteral("g.zqa"), 8, 8);
    ScopedResponder responder([&](QDialog &) {
        EXPECT_FALSE(control<QFrame>(dialog, "picturePanel")->isVisibleTo(&dialog));
        // Nothing is read for a pane that is not there.
        dialog.SelectionChanged(gesture);
        EXPECT_TRUE(dialog.PreviewGesture()->Filename().isEmpty());
        dialog.selectFile(gesture);
        return int(QDialog::Accepted);
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName(), gesture);
}

TEST_F(GestureDialogs, SaveDialogAsksBeforeReplacing)
{
    TSaveGestureDialog dialog;
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("zqa"));
    dialog.setInitialDir(dir.path());
    const QString existing = gestureFile(QStringLiteral("old.zqa"), 8, 8);

    struct Run
    {
        QString file;
        bool acceptInDialog; // the dialog's own OK, or a scripted answer
        QMessageBox::StandardButton answer;
        bool expected;
        int questions;
    };
    const Run runs[] = {
        { existing, false, QMessageBox::Yes, true, 1 },
        { existing, false, QMessageBox::No, false, 1 },
        { existing, true, QMessageBox::Yes, true, 1 },
        { existing, true, QMessageBox::No, false, 1 },
        { dir.filePath(QStringLiteral("new.zqa")), false, QMessageBox::No, true, 0 },
        { dir.filePath(QStringLiteral("new.zqa")), true, QMessageBox::No, true, 0 },
    };
    for (const Run &run : runs) {
        int questions = 0;
        ScopedResponder responder([&](QDialog &d) {
            if (auto *box = qobject_cast<QMessageBox *>(&d)) {
                ++questions;
                EXPECT_EQ(box->windowTitle(), dialog.windowTitle());
                EXPECT_EQ(box->text(),
                    QStringLiteral("%1 already exists.\nDo you want to replace it?")
                        .arg(QFileInfo(run.file).fileName()));
                EXPECT_EQ(static_cast<QAbstractButton *>(box->defaultButton()), box->button(QMessageBox::No));
                return int(run.answer);
            }
            dialog.selectFile(run.file);
            if (!run.acceptInDialog)
                return int(QDialog::Accepted);
            d.accept();
            return d.result();
        });
        SCOPED_TRACE(run.file.toStdString() + (run.acceptInDialog ? " accepted in dialog" : " scripted"));
        EXPECT_EQ(dialog.Execute(), run.expected);
        EXPECT_EQ(questions, run.questions);
        if (run.expected) {
            EXPECT_EQ(dialog.FileName(), run.file);
        }
    }
}

TEST_F(GestureDialogs, SaveDialogWithoutAChosenFileIsNotConfirmed)
{
    TSaveGestureDialog dialog;
    dialog.setInitialDir(dir.path());
    // Accepted with nothing typed names the folder, which is no file.
    ScopedResponder responder([](QDialog &) { return int(QDialog::Accepted); });
    EXPECT_FALSE(dialog.Execute());
}
