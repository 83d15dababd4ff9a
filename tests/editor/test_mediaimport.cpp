// Clips, sounds, pictures of every kind Qt reads and the export, through the
// gesture window's own commands with their dialogs answered through the
// seam: each file becomes a gesture that saves and reads back, Cancel
// changes nothing, and what is no sound is never stored as one.
#include "codecs/gifimage.h"
#include "editor/clipdialog.h"
#include "editor/fitanimationdialog.h"
#include "editor/frameimportdialog.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "media/clipreader.h"
#include "media/mediamaker.h"
#include "platform/errors.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"
#include "support/testdata.h"

#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QUndoStack>

#include <cstdlib>

#include <gtest/gtest.h>

namespace {

// Answers every dialog of a load or an export: file dialogs with the next
// path, the clip dialog with a span, the progress dialog with Cancel or not,
// message boxes with Yes (or OK), the fit and frame dialogs with their
// defaults.
struct Answers
{
    QStringList paths;
    QString start, end; // typed into the clip dialog when not empty
    QString spanText; // what the clip dialog said about the span
    QString exportFilter; // chosen in the export dialog
    bool cancelWork = false;
    int progressDialogs = 0;
    QStringList messages;
    Answers()
    {
        plumora::ui::setDialogResponder([this](QDialog &dialog) -> int {
            if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
                messages << box->text();
                return box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok;
            }
            if (auto *files = qobject_cast<QFileDialog *>(&dialog)) {
                if (paths.isEmpty())
                    return QDialog::Rejected;
                if (!exportFilter.isEmpty())
                    files->selectNameFilter(exportFilter);
                files->selectFile(paths.takeFirst());
                return QDialog::Accepted;
            }
            if (auto *clip = qobject_cast<TClipDialog *>(&dialog)) {
                if (!start.isEmpty())
                    control<QLineEdit>(clip, "startEdit")->setText(start);
                if (!end.isEmpty())
                    control<QLineEdit>(clip, "endEdit")->setText(end);
                spanText = clip->SpanText();
                return QDialog::Accepted;
            }
            if (qobject_cast<QProgressDialog *>(&dialog)) {
                ++progressDialogs;
                if (cancelWork)
                    dialog.reject(); // as its Cancel button does
                return dialog.result();
            }
            if (auto *fit = qobject_cast<TFitAnimationDialog *>(&dialog)) {
                fit->waitUntilIdle();
                return QDialog::Accepted;
            }
            return qobject_cast<TfrmFrameImport *>(&dialog) ? QDialog::Accepted : QDialog::Rejected;
        });
    }
    ~Answers() { plumora::ui::setDialogResponder({}); }
};

QString writePicture(const QTemporaryDir &dir, const QString &name, const char *format)
{
    QImage image(120, 80, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 40));
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path, format)) << name.toStdString();
    return path;
}

// The gesture saved and read back.
std::unique_ptr<TZQGesture> savedAndRead(TZQGesture &gesture, const QString &path)
{
    gesture.SaveToFile(path);
    auto read = std::make_unique<TZQGesture>();
    read->LoadFromFile(path);
    return read;
}

} // namespace

TEST(MediaImport, ClipTimesParse)
{
    const struct
    {
        const char *text;
        qint64 ms; // -1: refused
    } cases[] = {
        { "12", 12000 },
        { "12.5", 12500 },
        { "0,25", 250 },
        { " 0:22 ", 22000 },
        { "1:02.25", 62250 },
        { "1:00:00", 3600000 },
        { ".5", 500 },
        { "", -1 },
        { "-3", -1 },
        { "1:75", -1 },
        { "1:60:00", -1 },
        { "abc", -1 },
        { "1::2", -1 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<qint64> ms = ParseClipTime(QString::fromLatin1(c.text));
        EXPECT_EQ(ms.value_or(-1), c.ms);
    }
    for (const qint64 ms : { 0LL, 12500LL, 62000LL, 3725400LL })
        EXPECT_EQ(ParseClipTime(ClipTimeText(ms)), ms) << ClipTimeText(ms).toStdString();
}

// Each file, loaded through its row's Load, becomes a gesture that saves and
// reads back with its frames and its sound.
TEST(MediaImport, EachKindOfFileBecomesAGestureThatSaves)
{
    QTemporaryDir dir;
    // An animated GIF named as a clip is still taken as the picture it is.
    QFile::copy(testdata::path("gif/im_40frames_loop0.gif"), dir.filePath("gif-named.mp4"));
    // Longer than a gesture holds: the limit question is asked while the
    // frames are read, and Yes keeps the first 255.
    mediatest::ClipRecipe longClip;
    longClip.video = "libvpx-vp9";
    longClip.size = QSize(32, 18);
    longClip.fps = 2;
    longClip.seconds = 70;
    ASSERT_TRUE(mediatest::writeClip(dir.filePath("long.webm"), longClip));
    const struct
    {
        const char *name;
        QString path;
        TGesturePart row;
        const char *start, *end;
        int frames; // at least 1 when -1
        bool sound;
        const char *spanText;
    } cases[] = {
        { "png", writePicture(dir, "red.png", "png"), TGesturePart::Animation, "", "", 1, false, "" },
        { "webp", writePicture(dir, "red.webp", "webp"), TGesturePart::Animation, "", "", 1, false, "" },
        { "png named .dat", writePicture(dir, "red.dat", "png"), TGesturePart::Animation, "", "", 1, false,
            "" },
        { "animated webp, kept at speed", mediatest::media("anim.webp"), TGesturePart::Animation, "", "", 12,
            false, "" },
        { "gif named .mp4", dir.filePath("gif-named.mp4"), TGesturePart::Animation, "", "", -1, false, "" },
        { "webm", mediatest::media("clip.webm"), TGesturePart::Animation, "", "", 40, true,
            "40 frames of 250 ms, 10.0 s" },
        { "mp4, a span", mediatest::media("clip.mp4"), TGesturePart::Animation, "2", "0:07", 20, true,
            "20 frames of 250 ms, 5.0 s" },
        { "webm of 20 s, its sound too long", mediatest::media("twenty.webm"), TGesturePart::Animation, "",
            "", 80, false,
            "80 frames of 250 ms, 20.0 s; its sound is too long to come along (at most 16.3 s fit)" },
        { "webm of 70 s", dir.filePath("long.webm"), TGesturePart::Animation, "", "", 255, false,
            "280 frames of 250 ms, 70.0 s (a gesture holds the first 255)" },
        { "mkv without sound", mediatest::media("clip.mkv"), TGesturePart::Animation, "", "", 24, false, "" },
        { "png as button", writePicture(dir, "button.png", "png"), TGesturePart::Button, "", "", 0, false,
            "" },
        { "mp3", mediatest::media("tone.mp3"), TGesturePart::Audio, "", "", 0, true, "" },
        { "ogg", mediatest::media("tone.ogg"), TGesturePart::Audio, "", "", 0, true, "" },
        { "flac", mediatest::media("tone.flac"), TGesturePart::Audio, "", "", 0, true, "" },
        { "wav that fits", mediatest::media("small.wav"), TGesturePart::Audio, "", "", 0, true, "" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TfrmGestureWindow window(nullptr);
        Answers answers;
        answers.paths << c.path;
        answers.start = QString::fromLatin1(c.start);
        answers.end = QString::fromLatin1(c.end);
        switch (c.row) {
        case TGesturePart::Animation:
            window.loadAnimation();
            break;
        case TGesturePart::Button:
            window.loadButtonImage();
            break;
        case TGesturePart::Audio:
            window.loadAudio();
            break;
        }
        TZQGesture &gesture = *window.Gesture();
        if (*c.spanText) {
            EXPECT_EQ(answers.spanText.toStdString(), c.spanText);
        }
        const int frames = gesture.Frames() ? gesture.Frames()->Count() : 0;
        if (c.frames < 0) {
            EXPECT_GE(frames, 1);
        } else {
            EXPECT_LE(std::abs(frames - c.frames), 1) << frames; // the 250 ms rule, to a tick
        }
        EXPECT_EQ(gesture.HasAudio(), c.sound);
        if (c.row == TGesturePart::Button) {
            EXPECT_FALSE(gesture.Glyph().image().isNull());
        }
        // The Files page names the file each part came from.
        const TGesturePart named = c.row == TGesturePart::Button ? TGesturePart::Button
            : frames                                             ? TGesturePart::Animation
                                                                 : TGesturePart::Audio;
        EXPECT_EQ(gesture.Origin(named).path, c.path);
        if (c.sound) {
            EXPECT_EQ(gesture.Origin(TGesturePart::Audio).path, c.path);
        }
        // One step, however many parts it changed.
        EXPECT_EQ(window.UndoStack()->count(), 1);
        if (c.row == TGesturePart::Audio && std::string(c.name) == "wav that fits") {
            QFile wav(c.path);
            ASSERT_TRUE(wav.open(QIODevice::ReadOnly));
            EXPECT_EQ(gesture.AudioData(), wav.readAll()); // byte for byte
        }
        if (!gesture.Valid())
            continue; // a sound or a button alone: no frames to save
        const auto read = savedAndRead(gesture, dir.filePath("saved.zqa"));
        ASSERT_TRUE(read->Valid()) << read->LastReadErrorMessage(dir.filePath("saved.zqa")).toStdString();
        EXPECT_EQ(read->Frames()->Count(), frames);
        EXPECT_EQ(read->HasAudio(), c.sound);
        if (c.sound) {
            EXPECT_EQ(read->AudioData(), gesture.AudioData());
        }
    }
}

// Cancel in the progress dialog, or a file that is no sound, leaves the
// gesture as it was; the sound row never stores what is no sound.
TEST(MediaImport, CancelAndRefusalsChangeNothing)
{
    QTemporaryDir dir;
    const QString notSound = writePicture(dir, "picture.mp3", "png");
    QFile text(dir.filePath("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("RIFF but not really a sound at all");
    text.close();

    TfrmGestureWindow window(nullptr);
    TZQGesture &gesture = *window.Gesture();
    {
        Answers answers;
        answers.cancelWork = true;
        answers.paths << mediatest::media("clip.webm");
        window.loadAnimation();
        answers.paths << mediatest::media("tone.mp3");
        window.loadAudio();
        EXPECT_EQ(answers.progressDialogs, 2);
    }
    for (const QString &path : { notSound, dir.filePath("notes.wav"), mediatest::media("twenty.mp3") }) {
        SCOPED_TRACE(path.toStdString());
        Answers answers;
        answers.paths << path;
        EXPECT_THROW(window.loadAudio(), PlumoraError);
    }
    EXPECT_FALSE(gesture.Frames());
    EXPECT_FALSE(gesture.HasAudio());
    EXPECT_FALSE(gesture.UnsavedChanges());
    EXPECT_EQ(window.UndoStack()->count(), 0);
}

// File > Export writes each kind, chosen by the name or by the filter, and
// the file reads back.
TEST(MediaImport, ExportWritesEachKind)
{
    QTemporaryDir dir;
    TfrmGestureWindow window(nullptr);
    {
        Answers answers;
        answers.paths << mediatest::media("clip.mov");
        window.loadAnimation();
    }
    ASSERT_TRUE(window.Gesture()->Valid());
    ASSERT_TRUE(window.Gesture()->HasAudio());
    const int frames = window.Gesture()->Frames()->Count();
    const struct
    {
        const char *typed;
        const char *filter;
        const char *written;
    } cases[] = {
        { "out.gif", "", "out.gif" },
        { "out.webm", "", "out.webm" },
        { "out.mp4", "", "out.mp4" },
        { "chosen", "MP4 video (*.mp4)", "chosen.mp4" }, // the filter's kind
        { "name.v2", "WebM video (*.webm)", "name.v2.webm" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        Answers answers;
        answers.paths << dir.filePath(QString::fromLatin1(c.typed));
        answers.exportFilter = QString::fromLatin1(c.filter);
        window.exportGesture();
        const QString written = dir.filePath(QString::fromLatin1(c.written));
        ASSERT_TRUE(QFile::exists(written));
        ASSERT_EQ(answers.messages.size(), 1);
        EXPECT_TRUE(answers.messages.first().contains(QStringLiteral("was written")))
            << answers.messages.first().toStdString();
        if (written.endsWith(QLatin1String(".gif"))) {
            TGIFImage gif;
            gif.ReadFromFile(written);
            EXPECT_EQ(gif.FrameCount(), frames);
        } else {
            TClipReader clip(written);
            EXPECT_TRUE(clip.HasSound());
            EXPECT_EQ(clip.TickCount({}), frames);
        }
    }
    // Cancel writes nothing.
    Answers answers;
    answers.cancelWork = true;
    answers.paths << dir.filePath("cancelled.webm");
    window.exportGesture();
    EXPECT_FALSE(QFile::exists(dir.filePath("cancelled.webm")));
}
