#include "gesturewindow.h"

#include "filedialogs.h"
#include "filespage.h"
#include "framecommands.h"
#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"
#include "gesturehost.h"
#include "gestureview.h"
#include "picturepreview.h"
#include "platform/errors.h"
#include "platform/ui/application.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"
#include "previewpane.h"
#include "settingspage.h"
#include "timeline.h"

#include <QCloseEvent>
#include <QColorDialog>
#include <QFileDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QSplitter>
#include <QTabWidget>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>

using plumora::ui::guardedCallback;

TfrmGestureWindow::TfrmGestureWindow(IGestureHost *host, QWidget *parent) : QWidget(parent), m_host(host)
{
    setObjectName(QStringLiteral("frmGestureWindow"));
    setWindowTitle(QStringLiteral("(untitled) - Plumora"));
    setAttribute(Qt::WA_DeleteOnClose);
    setProperty("helpContext", 5);

    gesture = new TZQGesture(this);
    gesture->setObjectName(QStringLiteral("gesture"));
    history = new TGestureHistory(*gesture, this);
    history->setObjectName(QStringLiteral("history"));
    watchAnimationSize();

    paneSplitter = new QSplitter(Qt::Horizontal, this);
    paneSplitter->setObjectName(QStringLiteral("paneSplitter"));
    paneSplitter->setHandleWidth(3);
    paneSplitter->setChildrenCollapsible(false);

    pageTabs = new QTabWidget;
    pageTabs->setObjectName(QStringLiteral("pageTabs"));
    pageTabs->setProperty("helpContext", 1010);
    filesPage = new TFilesPage(*gesture, *history);
    settingsPage = new TSettingsPage(*gesture, *history);
    pageTabs->addTab(filesPage, QStringLiteral("&Files"));
    pageTabs->addTab(settingsPage, QStringLiteral("&Settings"));
    pageTabs->setMinimumWidth(std::max(216, pageTabs->minimumSizeHint().width()));
    connect(pageTabs, &QTabWidget::currentChanged, this, [this] {
        pageTabs->setProperty("helpContext", pageTabs->currentWidget() == settingsPage ? 1200 : 1010);
    });
    previewPane = new TPreviewPane(*gesture);
    timeline = new TTimeline(*gesture, *history);
    auto *previewColumn = new QWidget;
    previewColumn->setObjectName(QStringLiteral("previewColumn"));
    auto *column = new QVBoxLayout(previewColumn);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(previewPane, 1);
    column->addWidget(timeline);
    paneSplitter->addWidget(pageTabs);
    paneSplitter->addWidget(previewColumn);
    paneSplitter->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(paneSplitter);
    // 560 x 345 at least, and wide enough that half of it (the pages' share)
    // shows the pages whole in this font.
    const int half = std::max(pageTabs->minimumWidth(), previewPane->minimumSizeHint().width());
    setMinimumSize(QSize(560, 345).expandedTo(
        QSize(2 * half + paneSplitter->handleWidth(), layout->minimumSize().height())));
    resize(QSize(552, 314).expandedTo(minimumSize()));

    framesMenu = new QMenu(QStringLiteral("F&rames"), this);
    framesMenu->setObjectName(QStringLiteral("framesMenu"));
    frameCommands = new TFrameCommands(*this, *gesture, *history, *previewPane, *timeline, *framesMenu);
    frameCommands->setObjectName(QStringLiteral("frameCommands"));
    frameCommands->AddFrameItem(QStringLiteral("Fit &Animation..."), QStringLiteral("fitAnimationAction"),
        [this] { fitAnimation(); });

    connect(filesPage, &TFilesPage::loadRequested, this,
        guardedCallback([this](TGesturePart part) { load(part); }));
    connect(filesPage, &TFilesPage::saveRequested, this,
        guardedCallback([this](TGesturePart part) { save(part); }));
    connect(filesPage, &TFilesPage::removeSoundRequested, this,
        guardedCallback([this] { frameCommands->RemoveSound(); }));
    connect(filesPage, &TFilesPage::playRequested, this, guardedCallback([this] { GestureView()->Play(); }));
    connect(filesPage, &TFilesPage::noteRequested, this, [this](const QString &note) {
        if (m_host)
            m_host->ShowStatusNote(note);
    });
    connect(settingsPage, &TSettingsPage::pickRequested, this,
        guardedCallback([this](bool on) { setPicking(on); }));
    connect(settingsPage, &TSettingsPage::testBackgroundRequested, this,
        guardedCallback([this] { chooseTestBackground(); }));
    connect(previewPane, &TPreviewPane::zoomChanged, filesPage, &TFilesPage::setButtonZoom);
    filesPage->setButtonZoom(GestureView()->Zoom());
    connect(previewPane, &TPreviewPane::viewClicked, this,
        guardedCallback([this](QPoint at) { onViewClicked(at); }));
    connect(gesture, &TZQGesture::filenameChanged, this, [this](const QString &name) {
        if (!name.isEmpty())
            setWindowTitle(name);
    });
    // A press anywhere but on the view ends picking.
    m_pickEnd = plumora::ui::guardedEventFilter(
        { this, pageTabs, previewPane }, [this](QObject *watched, QEvent *event) {
            if (m_picking && event->type() == QEvent::MouseButtonPress && watched->isWidgetType()
                && watched != GestureView())
                setPicking(false);
            return false;
        });

    setTestBackground(m_testBackground);
    buildDialogs();
    acceptFileDrops();
    filesPage->FirstField()->setFocus();
    m_loading = false;
}

TfrmGestureWindow::~TfrmGestureWindow()
{
    m_dying = true;
    setPicking(false);
    m_pickEnd.reset();
    m_drops.reset();
    // The parts go before the gesture and the history they are bound to: the
    // base class would delete them after this body, when a field losing the
    // focus still signals.
    delete frameCommands;
    delete paneSplitter;
    delete history;
}

TGestureView *TfrmGestureWindow::GestureView() const
{
    return previewPane->View();
}

QUndoStack *TfrmGestureWindow::UndoStack() const
{
    return &history->Stack();
}

void TfrmGestureWindow::buildDialogs()
{
    // Animation Load offers video clips too (askForFile sets the filters).
    openPictureDialog = MakeFileDialog(
        this, QStringLiteral("openPictureDialog"), false, PictureFileFilter(true), QStringLiteral("gif"));
    saveButtonImageDialog = MakeFileDialog(this, QStringLiteral("saveButtonImageDialog"), true,
        QStringLiteral("All (*.jpg;*.gif;*.bmp)|*.jpg;*.gif;*.bmp|JPEG Image File (*.jpg)|*.jpg|"
                       "CompuServe GIF Image (*.gif)|*.gif|Bitmaps (*.bmp)|*.bmp"),
        QStringLiteral("gif"));
    saveAnimationDialog = MakeFileDialog(this, QStringLiteral("saveAnimationDialog"), true,
        QStringLiteral("CompuServe GIF Image (*.gif)|*.gif|All files (*.*)|*.*"), QStringLiteral("gif"));
    for (QFileDialog *pictures : { openPictureDialog, saveButtonImageDialog, saveAnimationDialog })
        AddPicturePreview(*pictures);
    openAudioDialog = MakeFileDialog(this, QStringLiteral("openAudioDialog"), false,
        QStringLiteral("Sounds (*.wav;*.mp3;*.ogg;*.oga;*.opus;*.flac)|*.wav;*.mp3;*.ogg;*.oga;*.opus;*.flac|"
                       "Wav sounds (*.wav)|*.wav|All files (*)|*"),
        QStringLiteral("wav"));
    saveAudioDialog = MakeFileDialog(this, QStringLiteral("saveAudioDialog"), true,
        QStringLiteral("Wav files (*.wav)|*.wav|All files (*.*)|*.*"), QStringLiteral("wav"));
    testBackgroundDialog = new QColorDialog(this);
    testBackgroundDialog->setObjectName(QStringLiteral("testBackgroundDialog"));
    testBackgroundDialog->setOption(QColorDialog::DontUseNativeDialog);
}

TColor TfrmGestureWindow::TransColor() const
{
    return gesture->LastTransparentColor();
}

void TfrmGestureWindow::setTransColor(TColor colour)
{
    gesture->chooseTransparentColor(colour);
}

void TfrmGestureWindow::setTestBackground(TColor colour)
{
    m_testBackground = colour;
    settingsPage->showTestBackground(colour);
    previewPane->setTestBackground(colour);
    timeline->setTestBackground(colour);
}

void TfrmGestureWindow::chooseTestBackground()
{
    testBackgroundDialog->setCurrentColor(toQColor(m_testBackground));
    if (plumora::ui::execDialog(*testBackgroundDialog) != QDialog::Accepted)
        return;
    setTestBackground(fromQColor(testBackgroundDialog->currentColor()));
}

void TfrmGestureWindow::setPicking(bool on)
{
    if (on == m_picking)
        return;
    m_picking = on;
    settingsPage->showPicking(on);
    plumora::ui::setScreenCursor(on ? plumora::ui::crColorSample : plumora::ui::crDefault);
}

void TfrmGestureWindow::onViewClicked(QPoint at)
{
    if (!m_picking || pageTabs->currentWidget() != settingsPage)
        return;
    setPicking(false);
    const TGestureHistory::Step step(*history, QStringLiteral("Pick Transparent Color"));
    gesture->chooseTransparentColor(previewPane->ColorShownAt(at));
}

void TfrmGestureWindow::OpenGesture(const QString &FileName)
{
    GestureView()->setAutoPlay(false);
    GestureView()->setAutoSize(true);
    history->setPaused(true);
    struct Resume
    {
        TGestureHistory &history;
        ~Resume() { history.setPaused(false); }
    } resume { *history };
    gesture->setFilename(FileName);
    if (!gesture->Valid())
        throw PlumoraError(gesture->LastReadErrorMessage(FileName));
    // The opened file is where the history starts.
    history->Restart();

    // What the read left out is said before the gesture is edited, since
    // saving it writes only what was read.
    if (!gesture->ReadNotes().isEmpty())
        plumora::ui::messageBox(this, QStringLiteral("Plumora"),
            QStringLiteral("%1 was opened without part of it:\n\n%2")
                .arg(FileName, gesture->ReadNotes().join(QLatin1Char('\n'))),
            QMessageBox::Information, QMessageBox::Ok);
}

void TfrmGestureWindow::RevertGesture()
{
    const QString path = gesture->Filename();
    // Read apart first, so that a file that no longer reads changes nothing.
    TZQGesture saved;
    saved.MaxStripPixels = gesture->MaxStripPixels;
    saved.LoadFromFile(path);
    if (!saved.Valid())
        throw PlumoraError(saved.LastReadErrorMessage(path));
    {
        const TGestureHistory::Step step(*history, QStringLiteral("Revert to Saved"));
        gesture->RestoreContent(saved.Content(), false);
    }
    history->EndTyping();
    // The state reached is the file's: nothing left to save.
    history->Stack().setClean();
    if (!saved.ReadNotes().isEmpty())
        plumora::ui::messageBox(this, QStringLiteral("Plumora"),
            QStringLiteral("%1 was read again without part of it:\n\n%2")
                .arg(path, saved.ReadNotes().join(QLatin1Char('\n'))),
            QMessageBox::Information, QMessageBox::Ok);
}

// Runs guarded: no exception may cross Qt's event delivery.
void TfrmGestureWindow::closeEvent(QCloseEvent *event)
{
    plumora::ui::guarded([&] {
        if (!gesture->UnsavedChanges()) {
            event->accept();
            return;
        }
        const QString name = gesture->Filename();
        const QString text = QStringLiteral("The gesture ")
            + (name.isEmpty() ? QString() : name + QLatin1Char(' '))
            + QStringLiteral("has changed.\r\rDo you want to save the changes?");
        const auto answer
            = plumora::ui::messageBox(this, QStringLiteral("Plumora"), text, QMessageBox::Question,
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        if (answer == QMessageBox::No) {
            event->accept();
            return;
        }
        event->ignore();
        if (answer != QMessageBox::Yes)
            return;
        // A save that fails shows its error and keeps the window open.
        if (m_host && !plumora::ui::guarded([this] { m_host->saveGestureWindow(this); }))
            return;
        // Closing only when the save really happened: a cancelled Save As
        // leaves the window open with its changes.
        if (!gesture->UnsavedChanges())
            event->accept();
    });
}

void TfrmGestureWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_loading)
        return;
    const int half = width() / 2;
    paneSplitter->setSizes({ half, std::max(0, width() - half - paneSplitter->handleWidth()) });
}

void TfrmGestureWindow::CopyFrame()
{
    frameCommands->CopyFrame();
}

void TfrmGestureWindow::CutFrame()
{
    frameCommands->CutFrame();
}

void TfrmGestureWindow::PasteFrame()
{
    frameCommands->PasteFrame();
}

void TfrmGestureWindow::DeleteFrame()
{
    frameCommands->DeleteFrame();
}

void TfrmGestureWindow::InsertBlankFrame()
{
    frameCommands->InsertBlankFrame();
}

void TfrmGestureWindow::moveFrameForward()
{
    frameCommands->MoveForward();
}

void TfrmGestureWindow::moveFrameBackward()
{
    frameCommands->MoveBackward();
}

void TfrmGestureWindow::moveFrameToStart()
{
    frameCommands->MoveToStart();
}

void TfrmGestureWindow::moveFrameToEnd()
{
    frameCommands->MoveToEnd();
}

void TfrmGestureWindow::DuplicateFrame()
{
    frameCommands->DuplicateFrame();
}

void TfrmGestureWindow::ReverseFrames()
{
    frameCommands->ReverseFrames();
}
