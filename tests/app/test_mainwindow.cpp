// The main window and its gesture windows, driven as a user would: commands,
// scripted dialogs, the close prompt, the gauges and the settings store.
#include "app/gesturedialogs.h"
#include "app/gesturefile.h"
#include "app/mainwindow.h"
#include "app/sizegauge.h"
#include "codecs/ansitext.h"
#include "editor/frameimportdialog.h"
#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "platform/plumorakeys.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"
#include "support/testdata.h"
#include "support/textfit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <deque>

#include <gtest/gtest.h>

namespace {

// Answers the dialogs in order: a path for a file dialog (empty = cancel),
// a button for a message box. Records every message box text.
class Script
{
public:
    Script()
    {
        plumora::ui::setDialogResponder([this](QDialog &dialog) { return answer(dialog); });
    }
    ~Script() { plumora::ui::setDialogResponder({}); }

    Script &file(const QString &path)
    {
        m_answers.push_back({ path, QMessageBox::NoButton });
        return *this;
    }
    Script &button(QMessageBox::StandardButton b)
    {
        m_answers.push_back({ {}, b });
        return *this;
    }
    QStringList messages;
    QStringList captions;
    bool exhausted() const { return m_answers.empty(); }

private:
    int answer(QDialog &dialog)
    {
        if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
            messages << box->text();
            captions << box->windowTitle();
            if (m_answers.empty())
                return QMessageBox::Ok;
            const auto b = m_answers.front().second;
            m_answers.pop_front();
            return b == QMessageBox::NoButton ? QMessageBox::Ok : b;
        }
        if (auto *files = qobject_cast<QFileDialog *>(&dialog)) {
            if (m_answers.empty())
                return QDialog::Rejected;
            const QString path = m_answers.front().first;
            m_answers.pop_front();
            if (path.isEmpty())
                return QDialog::Rejected;
            files->selectFile(path);
            return QDialog::Accepted;
        }
        return QDialog::Rejected;
    }
    std::deque<std::pair<QString, QMessageBox::StandardButton>> m_answers;
};

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TPlumoraKeys::setStoreFile(dir.filePath("settings.conf"));
        main = std::make_unique<TfrmMain>();
    }
    void TearDown() override
    {
        for (TfrmGestureWindow *w : main->GestureWindows())
            w->Gesture()->setUnsavedChanges(false);
        main.reset();
        TPlumoraKeys::setStoreFile(QString());
    }
    TfrmGestureWindow *active() { return main->ActiveGestureWindow(); }
    // Shows the main window at a size with new gesture windows in it.
    QMdiArea *showWithWindows(QSize size, int count)
    {
        main->resize(size);
        main->show();
        for (int i = 0; i < count; ++i)
            main->newGestureWindow();
        settle();
        return control<QMdiArea>(main, "mdiArea");
    }
    void settle()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    QTemporaryDir dir;
    std::unique_ptr<TfrmMain> main;
};

} // namespace

TEST_F(MainWindowTest, StartsWithoutGestureWindows)
{
    EXPECT_EQ(main->windowTitle(), "Plumora");
    EXPECT_FALSE(control<QAction>(main, "saveAction")->isEnabled());
    EXPECT_FALSE(control<QAction>(main, "saveAsAction")->isEnabled());
    main->UpdateIdleCommands();
    EXPECT_FALSE(control<QAction>(main, "tileVerticallyAction")->isEnabled());
    EXPECT_FALSE(control<QAction>(main, "cascadeAction")->isEnabled());
    QStringList menus;
    for (QAction *a : main->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList { "&File", "&Edit", "&Window", "&Help" }));
}

TEST_F(MainWindowTest, NewWindowIsUntitledAndEmpty)
{
    TfrmGestureWindow *w = main->newGestureWindow();
    settle();
    ASSERT_EQ(active(), w);
    EXPECT_EQ(w->windowTitle(), "(untitled) - Plumora");
    EXPECT_EQ(control<QLabel>(w, "buttonImageFileLabel")->text(), "<none>");
    EXPECT_EQ(control<QLabel>(w, "animationFileLabel")->text(), "<none>");
    EXPECT_EQ(control<QLabel>(w, "audioFileLabel")->text(), "<none>");
    EXPECT_FALSE(control<QPushButton>(w, "buttonImageSaveButton")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w, "animationSaveButton")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w, "audioSaveButton")->isEnabled());
    EXPECT_TRUE(control<QLineEdit>(w, "authorEdit")->isEnabled());
    EXPECT_TRUE(control<QLineEdit>(w, "authorEdit")->text().isEmpty());
    EXPECT_EQ(control<QLabel>(w, "frameLabel")->text(), "Frame 1 of 1");
    // No frames yet: nothing to save whatever else was edited.
    control<QLineEdit>(w, "taglineEdit")->setText("hello");
    EXPECT_FALSE(control<QAction>(main, "saveAction")->isEnabled());
    EXPECT_FALSE(control<QAction>(main, "saveAsAction")->isEnabled());
    main->UpdateIdleCommands();
    EXPECT_TRUE(control<QAction>(main, "tileVerticallyAction")->isEnabled());
    // The window's Frames menu sits between Edit and Window.
    QStringList menus;
    for (QAction *a : main->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList { "&File", "&Edit", "F&rames", "&Window", "&Help" }));
}

TEST_F(MainWindowTest, EditMenuUndoesInTheActiveWindow)
{
    main->show();
    TfrmGestureWindow *a = main->openGesturePath(makeGesture(dir.filePath("a.zqa"), "a"));
    settle();
    auto *undo = control<QAction>(main, "undoAction");
    auto *redo = control<QAction>(main, "redoAction");
    EXPECT_FALSE(undo->isEnabled());
    {
        Script script;
        script.button(QMessageBox::Yes);
        control<QAction>(a, "deleteFrameAction")->trigger();
    }
    EXPECT_EQ(undo->text(), "&Undo Delete Frame");
    EXPECT_TRUE(control<QAction>(main, "saveAction")->isEnabled());

    // Another window shows its own, empty history.
    TfrmGestureWindow *b = main->newGestureWindow();
    settle();
    EXPECT_FALSE(undo->isEnabled());
    b->parentWidget()->close();
    settle();
    ASSERT_EQ(active(), a);
    EXPECT_TRUE(undo->isEnabled());

    QTest::keyClick(control<QSlider>(a, "frameSlider"), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(a->Gesture()->Frames()->Count(), 3);
    EXPECT_FALSE(control<QAction>(main, "saveAction")->isEnabled());
    EXPECT_EQ(redo->text(), "&Redo Delete Frame");
    redo->trigger();
    EXPECT_EQ(a->Gesture()->Frames()->Count(), 2);
}

TEST(GestureWindow, TabControlTakesHalfTheWidth)
{
    TfrmGestureWindow window(nullptr);
    window.show();
    window.resize(1000, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(control<QTabWidget>(window, "pageTabs")->width(), 500);
}

TEST_F(MainWindowTest, OpenEditSaveAsAndReopen)
{
    const QString first = makeGesture(dir.filePath("first.zqa"), "first tagline", "Ann");
    const QString second = dir.filePath("second.zqa");
    {
        Script script;
        script.file(first);
        main->openGestureFile();
        EXPECT_TRUE(script.messages.isEmpty()) << script.messages.join('|').toStdString();
    }
    TfrmGestureWindow *w = active();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), first);
    EXPECT_EQ(control<QLineEdit>(w, "taglineEdit")->text(), "first tagline");
    EXPECT_EQ(control<QLineEdit>(w, "authorEdit")->text(), "Ann");
    EXPECT_FALSE(control<QLineEdit>(w, "authorEdit")->isEnabled());
    EXPECT_EQ(control<QLabel>(w, "animationFileLabel")->text(), "> Internal <");
    EXPECT_EQ(control<QLabel>(w, "audioFileLabel")->text(), "<None>");
    EXPECT_TRUE(control<QPushButton>(w, "animationSaveButton")->isEnabled());
    EXPECT_EQ(control<QSlider>(w, "frameSlider")->maximum(), 3);
    EXPECT_EQ(control<QLabel>(w, "frameLabel")->text(), "Frame 1 of 3");
    EXPECT_FALSE(w->Gesture()->UnsavedChanges());
    EXPECT_FALSE(control<QAction>(main, "saveAction")->isEnabled());
    EXPECT_TRUE(control<QAction>(main, "saveAsAction")->isEnabled());
    EXPECT_EQ(main->Keys().GestureOpenDir(), dir.path() + "/");

    // Editing the tagline enables Save and makes closing ask.
    control<QLineEdit>(w, "taglineEdit")->setText("changed");
    EXPECT_TRUE(control<QAction>(main, "saveAction")->isEnabled());
    EXPECT_TRUE(w->Gesture()->UnsavedChanges());

    // Both saves show the busy cursor while they write, and only then.
    QList<int> cursorsWhileSaving;
    QObject::connect(w->Gesture(), &TZQGesture::unsavedChangesChanged, w, [&](bool unsaved) {
        if (!unsaved) // the file is written
            cursorsWhileSaving << plumora::ui::screenCursor();
    });
    {
        Script script;
        script.file(second);
        main->saveGestureWindowAs();
    }
    EXPECT_EQ(plumora::ui::screenCursor(), plumora::ui::crDefault);
    EXPECT_FALSE(w->Gesture()->UnsavedChanges());
    EXPECT_EQ(w->windowTitle(), second);
    EXPECT_EQ(w->Gesture()->Filename(), second);
    EXPECT_EQ(main->Keys().GestureSaveDir(), dir.path() + "/");

    // A later Save writes the new file, never the one saved away from.
    control<QLineEdit>(w, "taglineEdit")->setText("changed again");
    main->saveGestureWindow(nullptr);
    EXPECT_EQ(plumora::ui::screenCursor(), plumora::ui::crDefault);
    EXPECT_EQ(cursorsWhileSaving, QList<int>(2, plumora::ui::crHourGlass));
    TZQGesture back;
    back.setFilename(second);
    EXPECT_EQ(back.Tagline(), "changed again");
    TZQGesture original;
    original.setFilename(first);
    EXPECT_EQ(original.Tagline(), "first tagline");
}

// The main window asks every gesture window's split question in one dialog,
// kept for the run, so each question offers the last answer again.
TEST_F(MainWindowTest, FrameSplitQuestionOffersTheLastAnswer)
{
    QList<QDialog *> shown;
    plumora::ui::setDialogResponder([&](QDialog &dialog) -> int {
        shown << &dialog;
        if (shown.size() == 1)
            control<QSpinBox>(dialog, "frameWidthSpin")->setValue(45); // ticks frames of a width
        return shown.size() < 3 ? QDialog::Accepted : QDialog::Rejected;
    });
    const auto first = main->AskFrameSplit(QSize(300, 60));
    const auto second = main->AskFrameSplit(QSize(90, 30));
    const auto cancelled = main->AskFrameSplit(QSize(90, 30));
    plumora::ui::setDialogResponder({});
    ASSERT_EQ(shown.size(), 3);
    EXPECT_TRUE(qobject_cast<TfrmFrameImport *>(shown[0]));
    EXPECT_TRUE(shown[1] == shown[0] && shown[2] == shown[0]);
    for (const auto &answer : { first, second }) {
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->mode, TFrameSplit::FrameWidth);
        EXPECT_EQ(answer->value, 45);
    }
    EXPECT_FALSE(cancelled);
}

TEST_F(MainWindowTest, UnreadableFileOrCancelledOpenLeavesNoWindow)
{
    QFile junk(dir.filePath("junk.zqa"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a gesture");
    junk.close();
    const QString missing = dir.filePath("missing.zqa");
    const std::pair<QString, QString> cases[] = {
        { junk.fileName(), junk.fileName() + " is not a gesture file that Plumora can read: Not a Gesture." },
        { missing, missing + " does not exist." },
        { QString(), QString() }, // the file dialog cancelled: no window, no message
    };
    for (const auto &[path, message] : cases) {
        Script script;
        script.file(path);
        try {
            main->openGestureFile();
            EXPECT_TRUE(message.isEmpty()) << "an unreadable file must be reported";
        } catch (const PlumoraError &e) {
            EXPECT_EQ(e.message(), message);
        }
        settle();
        EXPECT_TRUE(main->GestureWindows().isEmpty());
    }
    EXPECT_TRUE(main->Keys().GestureOpenDir().isEmpty());
}

TEST_F(MainWindowTest, ClosePromptTextsAndAnswers)
{
    TfrmGestureWindow *w = main->newGestureWindow();
    settle();
    w->Gesture()->setUnsavedChanges(true);
    {
        Script script;
        script.button(QMessageBox::Cancel);
        EXPECT_FALSE(w->parentWidget()->close());
        ASSERT_EQ(script.messages.size(), 1);
        EXPECT_EQ(script.messages[0], "The gesture has changed.\r\rDo you want to save the changes?");
        EXPECT_TRUE(w->Gesture()->UnsavedChanges());
    }
    {
        // Yes runs Save As; cancelling it keeps the window and its changes.
        Script script;
        script.button(QMessageBox::Yes).file(QString());
        EXPECT_FALSE(w->parentWidget()->close());
        EXPECT_TRUE(w->Gesture()->UnsavedChanges());
    }
    {
        // Yes with a file chosen saves, then closes.
        const QString path = dir.filePath("saved.zqa");
        auto frames = std::make_unique<TFrameList>(4, 4);
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        frames->Add(image, clNone);
        w->Gesture()->setFrames(std::move(frames));
        Script script;
        script.button(QMessageBox::Yes).file(path);
        EXPECT_TRUE(w->parentWidget()->close());
        EXPECT_TRUE(QFile::exists(path));
    }
    settle();
    EXPECT_TRUE(main->GestureWindows().isEmpty());

    const QString titled = makeGesture(dir.filePath("titled.zqa"), "t");
    {
        Script script;
        script.file(titled);
        main->openGestureFile();
    }
    TfrmGestureWindow *t = active();
    t->Gesture()->setUnsavedChanges(true);
    Script script;
    script.button(QMessageBox::No);
    EXPECT_TRUE(t->parentWidget()->close());
    ASSERT_EQ(script.messages.size(), 1);
    EXPECT_EQ(
        script.messages[0], "The gesture " + titled + " has changed.\r\rDo you want to save the changes?");
}

TEST_F(MainWindowTest, SaveWithoutFileNameRunsSaveAsForThatWindow)
{
    TfrmGestureWindow *a = main->newGestureWindow();
    TfrmGestureWindow *b = main->newGestureWindow();
    settle();
    ASSERT_EQ(active(), b);
    a->Gesture()->setUnsavedChanges(true);
    Script script;
    script.file(QString()); // cancelled
    main->saveGestureWindow(a);
    EXPECT_TRUE(a->Gesture()->UnsavedChanges());
    EXPECT_TRUE(script.exhausted());
}

TEST_F(MainWindowTest, ExitStoresPlacementAndRestoresOnce)
{
    main->move(40, 30);
    main->resize(700, 500);
    main->close();
    TPlumoraKeys keys;
    EXPECT_EQ(keys.WindowSize(), QPoint(700, 500));
    main.reset();
    main = std::make_unique<TfrmMain>();
    main->RestorePlacement();
    settle();
    // The stored size is the frame's.
    EXPECT_EQ(main->frameGeometry().size(), QSize(700, 500));
}

// The window manager's close while the settings store cannot be written:
// the gestures close as always (the edit is saved), the failure to store the
// placement is one error box, and the program goes on and closes.
TEST_F(MainWindowTest, ClosingWithAStoreThatCannotBeWrittenSaysSoOnce)
{
    const QString path = makeGesture(dir.filePath("edited.zqa"), "before");
    main->move(40, 30);
    main->show();
    TfrmGestureWindow *w = main->openGesturePath(path);
    settle();
    control<QLineEdit>(w, "taglineEdit")->setText("after");
    // The store's folder would have to be made inside a plain file.
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    TPlumoraKeys::setStoreFile(blocker.fileName() + "/sub/settings.conf");

    Script script;
    script.button(QMessageBox::Yes);
    QCoreApplication::postEvent(main->windowHandle(), new QCloseEvent);
    bool wentOn = false;
    QTimer::singleShot(0, [&wentOn] { wentOn = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return wentOn; }, 5000));
    ASSERT_EQ(script.messages.size(), 2) << script.messages.join('|').toStdString();
    EXPECT_TRUE(script.messages[0].contains("has changed"));
    EXPECT_EQ(script.messages[1], "Failed to set data for 'Left'");
    EXPECT_EQ(script.captions[1], "Plumora");
    EXPECT_FALSE(main->isVisible());
    TZQGesture saved;
    saved.setFilename(path);
    EXPECT_EQ(saved.Tagline(), "after");
}

TEST_F(MainWindowTest, PlacementKeepsTheTitleBarOnTheScreen)
{
    const QRect available = main->screen()->availableGeometry();
    {
        TPlumoraKeys keys;
        keys.setWindowPosition(available.bottomRight() + QPoint(500, 500));
        keys.setWindowSize(QPoint(available.width() + 300, 200));
    }
    main->RestorePlacement();
    settle();
    EXPECT_EQ(main->frameGeometry().left(), available.left());
    EXPECT_EQ(main->frameGeometry().width(), available.width());
    EXPECT_GE(main->frameGeometry().top(), available.top());
    EXPECT_LT(main->frameGeometry().top(), available.bottom());
}

TEST_F(MainWindowTest, MaximisedStaysMaximisedAndKeepsItsNormalPlace)
{
    main->move(30, 40);
    main->resize(620, 470);
    main->show();
    settle();
    const QRect normal = main->frameGeometry();
    main->showMaximized();
    settle();
    main->close();
    main = std::make_unique<TfrmMain>();
    main->RestorePlacement();
    settle();
    EXPECT_TRUE(main->isMaximized());
    main->showNormal();
    settle();
    EXPECT_EQ(main->frameGeometry(), normal);
}

TEST_F(MainWindowTest, FilesFromOutsideOpenEachInAWindow)
{
    const QString first = makeGesture(dir.filePath("first.zqa"), "one");
    makeGesture(dir.filePath("second.zqa"), "two");
    QFile junk(dir.filePath("junk.zqa"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a gesture");
    junk.close();
    // Named relative to the current folder, as on a command line.
    const QString current = QDir::currentPath();
    QDir::setCurrent(dir.path());
    Script script;
    main->openGestureFiles({ first, "junk.zqa", "second.zqa" });
    QDir::setCurrent(current);
    ASSERT_EQ(script.messages.size(), 1);
    EXPECT_EQ(
        script.messages[0], junk.fileName() + " is not a gesture file that Plumora can read: Not a Gesture.");
    QStringList titles;
    for (TfrmGestureWindow *w : main->GestureWindows())
        titles << w->windowTitle();
    EXPECT_EQ(titles, (QStringList { first, dir.filePath("second.zqa") }));
    // Files from outside are no choice of the open dialog: its folder stays.
    EXPECT_TRUE(main->Keys().GestureOpenDir().isEmpty());

    // Exit chosen while a file opens (which lets input run) waits for it.
    main->show();
    QMetaObject::invokeMethod(main.get(), &QWidget::close, Qt::QueuedConnection);
    main->openGestureFiles({ makeGesture(dir.filePath("third.zqa"), "three") });
    EXPECT_EQ(main->GestureWindows().size(), 3);
    settle();
    EXPECT_FALSE(main->isVisible());
}

namespace {

// Drags files over a widget as a file manager does (enter, then a move at
// the widget's centre) and, when asked, drops them. Returns whether the
// widget or one of its parents took them.
bool dragFiles(QWidget *over, const QStringList &files, bool drop,
    Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &file : files)
        urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    const QPoint at = over->rect().center();
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(over, &enter);
    // Each move starts with the answer to the event before it, as Qt's own do.
    QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    move.setDropAction(enter.dropAction());
    move.setAccepted(enter.isAccepted());
    QApplication::sendEvent(over, &move);
    bool taken = enter.isAccepted() && move.isAccepted();
    if (taken && move.dropAction() == Qt::MoveAction)
        ADD_FAILURE() << "a drop must never move the user's file";
    if (taken && drop) {
        QDropEvent dropped(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(over, &dropped);
        taken = dropped.isAccepted();
        QCoreApplication::processEvents();
    } else {
        QDragLeaveEvent leave;
        QApplication::sendEvent(over, &leave);
    }
    return taken;
}

} // namespace

TEST_F(MainWindowTest, DroppedFilesGoWhereTheyAreDropped)
{
    showWithWindows(QSize(900, 700), 1);
    TfrmGestureWindow *w = active();
    const QString gif = testdata::path("gif/im_anim_disposal_loop3.gif");
    const QString bmp = testdata::path("pictures/bmp_24bit_64x48.bmp");
    const QString wav = testdata::path("wav/tone_u8_8000.wav");
    const QString zqa = makeGesture(dir.filePath("dropped.zqa"), "dropped");
    // A PNG whose name says nothing: its content makes it a picture.
    const QString png = dir.filePath("picture.dat");
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(png, "png"));
    struct Case
    {
        const char *over; // a control of the gesture window, or the empty MDI area
        QStringList files;
        bool taken;
        const char *showsFile; // the file label that names the file afterwards
    };
    const Case cases[] = {
        { "taglineLabel", { gif }, false, nullptr },
        { "audioFileLabel", { gif }, false, nullptr },
        { "buttonImageLoadButton", { wav }, false, nullptr },
        { "animationFileLabel", { gif, gif }, false, nullptr },
        { "animationFileLabel", { gif }, true, "animationFileLabel" },
        { "frameSlider", { gif }, true, "animationFileLabel" },
        { "audioSaveButton", { wav }, true, "audioFileLabel" },
        { "previewButton", { bmp }, true, "buttonImageFileLabel" },
        { "buttonImageFileLabel", { bmp }, true, "buttonImageFileLabel" },
        { "buttonImageFileLabel", { png }, true, "buttonImageFileLabel" },
        { "audioFileLabel", { png }, false, nullptr },
        { "mdiArea", { gif }, false, nullptr },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.over);
        QWidget *over = QString(c.over) == "mdiArea" ? control<QMdiArea>(main, "mdiArea")->viewport()
                                                     : control<QWidget>(w, c.over);
        // The part comes from nowhere yet, so its row's label changes again.
        if (c.showsFile) {
            const QString label = QString::fromLatin1(c.showsFile);
            w->Gesture()->setOrigin(label.startsWith("animation") ? TGesturePart::Animation
                    : label.startsWith("audio")                   ? TGesturePart::Audio
                                                                  : TGesturePart::Button,
                {});
        }
        Script script;
        script.button(QMessageBox::No); // no button picture from the first frame
        EXPECT_EQ(dragFiles(over, c.files, true), c.taken);
        if (c.showsFile) {
            EXPECT_EQ(control<QLabel>(w, c.showsFile)->text(), c.files.first());
        }
    }
    // A source that only offers to move its file is refused.
    EXPECT_FALSE(dragFiles(control<QWidget>(w, "animationFileLabel"), { gif }, false, Qt::MoveAction));

    // Gesture files open, dropped on the MDI area or on a gesture window.
    EXPECT_TRUE(dragFiles(control<QMdiArea>(main, "mdiArea")->viewport(), { zqa }, true));
    const QString other = makeGesture(dir.filePath("other.zqa"), "other");
    EXPECT_TRUE(dragFiles(control<QWidget>(w, "animationFileLabel"), { other }, true));
    settle();
    ASSERT_EQ(main->GestureWindows().size(), 3);
    EXPECT_EQ(main->GestureWindows()[2]->windowTitle(), other);
}

TEST_F(MainWindowTest, TilingKeepsWindowsAtTheirMinimumAndScrolls)
{
    QMdiArea *area = showWithWindows(QSize(700, 500), 3);
    for (const char *action : { "tileVerticallyAction", "tileHorizontallyAction" }) {
        SCOPED_TRACE(action);
        control<QAction>(main, action)->trigger();
        settle();
        QRegion covered;
        for (QMdiSubWindow *sub : area->subWindowList()) {
            EXPECT_GE(sub->width(), sub->minimumSizeHint().width());
            EXPECT_GE(sub->height(), sub->minimumSizeHint().height());
            EXPECT_FALSE(covered.intersects(sub->geometry()));
            covered += sub->geometry();
        }
        // Three windows at their minimum do not fit: the area scrolls.
        EXPECT_GT(area->horizontalScrollBar()->maximum() + area->verticalScrollBar()->maximum(), 0);
    }
}

TEST_F(MainWindowTest, ArrangeLinesUpMinimisedWindowsAndTheListRestoresThem)
{
    QMdiArea *area = showWithWindows(QSize(900, 700), 3);
    const QList<QMdiSubWindow *> subs = area->subWindowList();
    for (QMdiSubWindow *sub : subs)
        sub->showNormal();
    subs[0]->setGeometry(20, 10, 600, 400);
    for (QMdiSubWindow *sub : { subs[1], subs[2] })
        sub->showMinimized();
    settle();
    for (QMdiSubWindow *sub : { subs[1], subs[2] })
        sub->move(50, 50);
    control<QAction>(main, "arrangeAction")->trigger();
    settle();
    EXPECT_EQ(subs[0]->geometry(), QRect(20, 10, 600, 400));
    EXPECT_EQ(subs[1]->geometry().bottom(), area->viewport()->rect().bottom());
    EXPECT_EQ(subs[2]->geometry().bottom(), area->viewport()->rect().bottom());
    EXPECT_LE(subs[1]->geometry().right(), subs[2]->geometry().left());

    // The Window menu's entry of a minimised window brings it back.
    auto *menu = control<QMenu>(main, "windowMenu");
    emit menu->aboutToShow();
    const QList<QAction *> entries = menu->actions();
    entries[entries.size() - 2]->trigger();
    settle();
    EXPECT_FALSE(subs[1]->isMinimized());
    EXPECT_EQ(area->activeSubWindow(), subs[1]);
}

TEST_F(MainWindowTest, NothingIsCutAtTheDefaultSizes)
{
    showWithWindows(QSize(591, 451), 1);
    TfrmGestureWindow *w = active();
    // The gesture window at its smallest, both pages.
    w->parentWidget()->showNormal();
    w->parentWidget()->resize(w->parentWidget()->minimumSizeHint());
    settle();
    auto *pages = control<QTabWidget>(w, "pageTabs");
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        settle();
        EXPECT_EQ(CutTexts(main.get()), QStringList()) << "page " << page;
    }
    EXPECT_GE(w->minimumWidth(), 560);
    EXPECT_GE(w->minimumHeight(), 345);
    EXPECT_EQ(control<QSpinBox>(w, "animationLoopFrameSpin")->width(),
        control<QSpinBox>(w, "audioLoopFrameSpin")->width());

    // The clipboard tool buttons, always disabled, are drawn in grey.
    for (const char *name : { "cutToolButton", "copyToolButton", "pasteToolButton" }) {
        const QImage picture
            = control<QAction>(main, name)->icon().pixmap(QSize(16, 15), QIcon::Disabled).toImage();
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if (qAlpha(picture.pixel(x, y)) > 0) {
                    ASSERT_GT(qGray(picture.pixel(x, y)), 64) << name;
                }
    }
}

TEST(SizeGauge, ColoursTextsAndFill)
{
    EXPECT_EQ(GaugeColor(1, 24999), QColor(0, 255, 0));
    EXPECT_EQ(GaugeColor(1, 25000), QColor(255, 255, 0));
    EXPECT_EQ(GaugeColor(3, 32499), QColor(255, 255, 0));
    EXPECT_EQ(GaugeColor(3, 32500), QColor(255, 0, 0));
    EXPECT_EQ(GaugeColor(5, 53999), QColor(0, 255, 0));
    EXPECT_EQ(GaugeColor(5, 54000), QColor(255, 255, 0));
    EXPECT_EQ(GaugeColor(5, 64000), QColor(255, 0, 0));
    EXPECT_EQ(GaugeText(30000), "29K");
    EXPECT_EQ(GaugeFill(100, 30000), 45);
    EXPECT_EQ(GaugeText(70000), "64K");
    EXPECT_EQ(GaugeFill(100, 70000), 100);
    EXPECT_EQ(GaugeText(-1), "0K");
    EXPECT_EQ(GaugeFill(100, -1), 0);

    QImage canvas(100, 20, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    DrawSizeGauge(painter, QRect(0, 0, 100, 20), 1, 30000, QColor(10, 20, 30));
    painter.end();
    EXPECT_EQ(canvas.pixel(44, 19), qRgb(255, 255, 0));
    EXPECT_EQ(canvas.pixel(45, 19), qRgb(10, 20, 30));
}

TEST_F(MainWindowTest, FrameEditsCanBeSaved)
{
    const QString path = makeGesture(dir.filePath("frames.zqa"), "three frames");
    {
        Script script;
        script.file(path);
        main->openGestureFile();
    }
    TfrmGestureWindow *w = active();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(control<QAction>(main, "saveAction")->isEnabled());
    {
        Script script;
        script.button(QMessageBox::Yes);
        w->DeleteFrame();
    }
    // Deleting a frame is not a modification of the gesture's own settings,
    // but it is a change the user must be able to save.
    EXPECT_TRUE(control<QAction>(main, "saveAction")->isEnabled());
    main->saveGestureWindow(nullptr);
    TZQGesture back;
    back.setFilename(path);
    EXPECT_EQ(back.Frames()->Count(), 2);
    EXPECT_FALSE(control<QAction>(main, "saveAction")->isEnabled());
}

// Sizes follow edits a moment later, and the edit that makes the animation
// too large for the file says so, once, with the way out.
TEST_F(MainWindowTest, AnEditThatMakesTheAnimationTooLargeSaysSo)
{
    TfrmGestureWindow *w = main->newGestureWindow();
    ASSERT_NE(w, nullptr);
    TZQGesture *gesture = w->Gesture();
    gesture->setFrames(std::make_unique<TFrameList>(120, 90));
    const int before = gesture->AnimationSize();
    const bool modified = gesture->Modified();
    QImage noise(120, 90, QImage::Format_RGB32);
    std::uint32_t seed = 7;
    for (int added = 0; added < 40 && gesture->AnimationBlockSize() <= 65535; ++added) {
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, (seed = seed * 1664525u + 1013904223u) >> 8);
        gesture->InsertFrame(0, noise, clNone);
    }
    ASSERT_GT(gesture->AnimationBlockSize(), 65535);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !main->statusBar()->currentMessage().isEmpty(); }, 5000));
    EXPECT_TRUE(main->statusBar()->currentMessage().contains(QStringLiteral("Fit Animation")))
        << main->statusBar()->currentMessage().toStdString();
    EXPECT_GT(gesture->AnimationSize(), before);
    EXPECT_EQ(gesture->Modified(), modified);
    gesture->setUnsavedChanges(false);
}

// Tagline and author are stored as Windows-1252: the fields take nothing
// else, typed or pasted, and say which character was refused; text read
// from a file, the code page's unassigned bytes included, shows exactly.
TEST_F(MainWindowTest, TextFieldsTakeOnlyWhatTheFileHolds)
{
    const QString tagline = fromAnsi("Caf\xE9 \x80 \x81 ?");
    const QString path = makeGesture(dir.filePath("text.zqa"), tagline, fromAnsi("Zo\xEB \x89"));
    main->show();
    TfrmGestureWindow *w = main->openGesturePath(path);
    ASSERT_NE(w, nullptr);
    auto *taglineEdit = control<QLineEdit>(w, "taglineEdit");
    EXPECT_EQ(taglineEdit->text(), tagline);
    EXPECT_EQ(control<QLineEdit>(w, "authorEdit")->text(), fromAnsi("Zo\xEB \x89"));
    EXPECT_FALSE(w->Gesture()->UnsavedChanges());

    taglineEdit->clear();
    // Typed key by key, as a keyboard layout delivers these characters.
    for (const QChar c : QStringLiteral("Caf\u00E9 \u00FC\u00DF \u20AC \u2603"))
        QTest::sendKeyEvent(QTest::Click, taglineEdit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    EXPECT_EQ(taglineEdit->text(), QStringLiteral("Caf\u00E9 \u00FC\u00DF \u20AC "));
    EXPECT_EQ(main->statusBar()->currentMessage(),
        QStringLiteral("The character \"\u2603\" (U+2603) cannot be stored in a gesture file."));

    // A paste holding one such character is refused whole.
    TfrmGestureWindow *fresh = main->newGestureWindow();
    auto *authorEdit = control<QLineEdit>(fresh, "authorEdit");
    QGuiApplication::clipboard()->setText(QStringLiteral("Ann \u65E5\u672C"));
    authorEdit->setText(QStringLiteral("x"));
    authorEdit->paste();
    EXPECT_EQ(authorEdit->text(), QStringLiteral("x"));
    EXPECT_TRUE(main->statusBar()->currentMessage().contains(QStringLiteral("(U+65E5)")));

    // What the field shows is what the file keeps.
    main->saveGestureWindow(w);
    TZQGesture back;
    back.setFilename(path);
    EXPECT_EQ(back.Tagline(), QStringLiteral("Caf\u00E9 \u00FC\u00DF \u20AC "));
}
