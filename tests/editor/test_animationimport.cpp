// Importing a picture file as the animation in the gesture window: the
// questions asked, what the window shows afterwards, imports that fail or are
// cancelled, and the strip written back.
#include "codecs/gifimage.h"
#include "editor/fitanimationdialog.h"
#include "editor/frameimportdialog.h"
#include "editor/gesturehost.h"
#include "editor/gestureview.h"
#include "editor/gesturewindow.h"
#include "gesture/animationimport.h"
#include "gesture/importsource.h"
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

using namespace importsource;

namespace {

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

// The fit dialog says what is left out of an animation of more frames than
// a gesture holds; its Cancel changes nothing.
TEST(AnimationImport, TheWindowAsksBeforeDroppingFrames)
{
    QTemporaryDir dir;
    const QString many = writeAnimation(dir, "many.gif", 4, 3, 300);
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
