// Revert to Saved, one window per file, closing the active window by key,
// and the recent files: the program's list and the desktop's.
#include "app/gesturefile.h"
#include "app/mainwindow.h"
#include "app/recentlyused.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "platform/plumorakeys.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class RecentFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TPlumoraKeys::setStoreFile(dir.filePath("settings.conf"));
        qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
        main = std::make_unique<TfrmMain>();
        plumora::ui::setDialogResponder([this](QDialog &dialog) {
            auto *box = qobject_cast<QMessageBox *>(&dialog);
            if (!box)
                return int(QDialog::Rejected);
            messages << box->text();
            return answers.isEmpty() ? int(QMessageBox::Ok) : int(answers.takeFirst());
        });
    }
    void TearDown() override
    {
        plumora::ui::setDialogResponder({});
        for (TfrmGestureWindow *w : main->GestureWindows())
            w->Gesture()->setUnsavedChanges(false);
        main.reset();
        TPlumoraKeys::setStoreFile(QString());
        qunsetenv("XDG_DATA_HOME");
    }
    QString gestureFile(const QString &name, const QString &tagline = QStringLiteral("saved"))
    {
        return makeGesture(dir.filePath(name), tagline, QStringLiteral("Ann"));
    }
    QAction *action(const char *name) { return control<QAction>(main, name); }
    QStringList recentMenuTexts()
    {
        emit control<QMenu>(main, "fileMenu")->aboutToShow();
        QStringList texts;
        for (QAction *a : control<QMenu>(main, "recentFilesMenu")->actions())
            if (!a->isSeparator())
                texts << a->text();
        return texts;
    }
    void settle()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    QTemporaryDir dir;
    std::unique_ptr<TfrmMain> main;
    QList<QMessageBox::StandardButton> answers;
    QStringList messages;
};

} // namespace

TEST_F(RecentFilesTest, RevertAsksFirstRestoresTheSavedBytesAndCanBeUndone)
{
    const QString path = gestureFile(QStringLiteral("a.zqa"));
    const QByteArray saved = fileBytes(path);
    TfrmGestureWindow *w = main->openGesturePath(path);
    EXPECT_FALSE(action("revertAction")->isEnabled()) << "nothing to revert yet";
    control<QLineEdit>(w, "taglineEdit")->setText(QStringLiteral("edited"));
    ASSERT_TRUE(action("revertAction")->isEnabled());

    answers = { QMessageBox::No };
    action("revertAction")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Revert " + path + " to the saved file?"));
    EXPECT_EQ(w->Gesture()->Tagline(), "edited");

    answers = { QMessageBox::Yes };
    action("revertAction")->trigger();
    EXPECT_EQ(w->Gesture()->Tagline(), "saved");
    EXPECT_EQ(control<QLineEdit>(w, "taglineEdit")->text(), "saved");
    EXPECT_EQ(w->Gesture()->WriteGestureToBuffer(), saved);
    EXPECT_FALSE(w->Gesture()->UnsavedChanges());
    EXPECT_FALSE(action("revertAction")->isEnabled());

    // Reverting is one step of the history: Undo brings the edits back.
    action("undoAction")->trigger();
    EXPECT_EQ(w->Gesture()->Tagline(), "edited");
    EXPECT_TRUE(w->Gesture()->UnsavedChanges());

    // A file that no longer reads leaves the gesture as it was.
    writeBytes(path, "damaged");
    messages.clear();
    answers = { QMessageBox::Yes };
    action("revertAction")->trigger();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].startsWith(path + " is not a gesture file")) << messages[1].toStdString();
    EXPECT_EQ(w->Gesture()->Tagline(), "edited");
    EXPECT_TRUE(w->Gesture()->UnsavedChanges());
}

TEST_F(RecentFilesTest, AFileOpenInAWindowIsNotOpenedAgain)
{
    const QString path = gestureFile(QStringLiteral("a.zqa"));
    ASSERT_TRUE(QFile::link(path, dir.filePath("link.zqa")));
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    TfrmGestureWindow *first = main->openGesturePath(path);
    main->newGestureWindow();
    const QString spellings[]
        = { path, dir.path() + "/sub/../a.zqa", dir.path() + "/./a.zqa", dir.filePath("link.zqa") };
    for (const QString &spelling : spellings) {
        main->newGestureWindow(); // another window is the active one
        EXPECT_EQ(main->openGesturePath(spelling), first) << spelling.toStdString();
        EXPECT_EQ(main->ActiveGestureWindow(), first);
    }
    main->openGestureFiles({ dir.filePath("link.zqa") });
    EXPECT_EQ(main->GestureWindows().count(first), 1);
    EXPECT_EQ(main->GestureWindows().size(), 1 + int(std::size(spellings)) + 1);

    // Save As onto the file another window holds is refused, the file intact.
    const QByteArray before = fileBytes(path);
    TfrmGestureWindow *other = main->openGesturePath(gestureFile(QStringLiteral("b.zqa")));
    plumora::ui::setDialogResponder([&](QDialog &dialog) {
        if (auto *files = qobject_cast<QFileDialog *>(&dialog)) {
            files->selectFile(dir.filePath("link.zqa"));
            return int(QDialog::Accepted);
        }
        return int(QMessageBox::Yes); // replace the existing file
    });
    EXPECT_THROW(main->saveGestureWindowAs(other), PlumoraError);
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_EQ(other->Gesture()->Filename(), dir.filePath("b.zqa"));
}

TEST_F(RecentFilesTest, CloseKeysAskAboutChanges)
{
    main->show();
    for (const QKeySequence &key :
        { QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_F4) }) {
        TfrmGestureWindow *w = main->openGesturePath(gestureFile(QStringLiteral("a.zqa")));
        settle();
        w->Gesture()->setUnsavedChanges(true);
        messages.clear();
        answers = { QMessageBox::Cancel };
        QTest::keySequence(main.get(), key);
        settle();
        EXPECT_EQ(messages.size(), 1) << key.toString().toStdString();
        EXPECT_EQ(main->GestureWindows(), QList { w });

        answers = { QMessageBox::No }; // closes without saving
        QTest::keySequence(main.get(), key);
        settle();
        EXPECT_TRUE(main->GestureWindows().isEmpty()) << key.toString().toStdString();
    }
    EXPECT_FALSE(action("closeAction")->isEnabled());
}

TEST_F(RecentFilesTest, RecentFilesAreBoundedOrderedKeptAndPruned)
{
    QStringList paths;
    for (int i = 0; i < 10; ++i)
        paths << gestureFile(QStringLiteral("g%1.zqa").arg(i));
    for (const QString &path : paths)
        main->openGesturePath(path);
    // Opening an open file again (by another spelling) moves it to the top.
    main->openGesturePath(dir.path() + "/./g5.zqa");
    const QStringList expected
        = { paths[5], paths[9], paths[8], paths[7], paths[6], paths[4], paths[3], paths[2] };
    EXPECT_EQ(main->Keys().RecentFiles(), expected);
    QStringList texts = recentMenuTexts();
    ASSERT_EQ(texts.size(), 9);
    EXPECT_EQ(texts[0], "&1 " + paths[5]);
    EXPECT_EQ(texts[7], "&8 " + paths[2]);
    EXPECT_EQ(texts[8], "Clear Recent Files");

    // Kept for the next main window; a file that is gone leaves the list.
    for (TfrmGestureWindow *w : main->GestureWindows())
        w->parentWidget()->close();
    settle();
    main = std::make_unique<TfrmMain>();
    QFile::remove(paths[9]);
    texts = recentMenuTexts();
    EXPECT_EQ(texts.size(), 8);
    EXPECT_EQ(texts[1], "&2 " + paths[8]);
    EXPECT_EQ(main->Keys().RecentFiles().size(), 7);

    // An item opens its file; Clear empties the list.
    control<QMenu>(main, "recentFilesMenu")->actions().at(2)->trigger();
    ASSERT_NE(main->ActiveGestureWindow(), nullptr);
    EXPECT_EQ(main->ActiveGestureWindow()->Gesture()->Filename(), paths[7]);
    EXPECT_EQ(main->Keys().RecentFiles().first(), paths[7]);
    control<QAction>(main, "clearRecentFilesAction")->trigger();
    EXPECT_EQ(recentMenuTexts(), QStringList { "Clear Recent Files" });
    EXPECT_FALSE(control<QMenu>(main, "recentFilesMenu")->isEnabled());
}

TEST_F(RecentFilesTest, DesktopListKeepsOtherEntriesAndIsNeverReplacedWhenDamaged)
{
    QDir().mkpath(dir.filePath("data"));
    const QString list = plumora::recentlyUsedFile();
    EXPECT_EQ(list, dir.filePath("data/recently-used.xbel"));
    writeBytes(list,
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<xbel version=\"1.0\" xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\" "
        "xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "<bookmark href=\"file:///home/u/notes.txt\" added=\"2020-01-01T00:00:00Z\">"
        "<info><metadata owner=\"http://freedesktop.org\"><mime:mime-type type=\"text/plain\"/>"
        "<bookmark:applications><bookmark:application name=\"Other\" exec=\"'other %u'\" count=\"3\"/>"
        "</bookmark:applications></metadata></info></bookmark>\n</xbel>\n");
    const QString path = gestureFile(QStringLiteral("my gesture.zqa"));
    main->openGesturePath(path);
    main->saveGestureWindow(nullptr);
    const QString text = QString::fromUtf8(fileBytes(list));
    EXPECT_TRUE(text.contains("href=\"file:///home/u/notes.txt\"")) << text.toStdString();
    EXPECT_TRUE(text.contains("name=\"Other\"")) << text.toStdString();
    EXPECT_EQ(text.count("my%20gesture.zqa"), 1) << text.toStdString();
    EXPECT_TRUE(text.contains("name=\"Plumora\"")) << text.toStdString();

    // Damaged or foreign: left exactly as it is.
    for (const QByteArray &damaged : { QByteArray("<xbel><bookmark href="), QByteArray("<html/>") }) {
        writeBytes(list, damaged);
        EXPECT_FALSE(plumora::addToRecentlyUsed(path));
        EXPECT_EQ(fileBytes(list), damaged);
    }
}
