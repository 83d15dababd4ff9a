#include "gesturewindow.h"

#include "ansifield.h"
#include "gesture/buttonfit.h"
#include "gesture/zqgesture.h"
#include "gestureview.h"
#include "filedialogs.h"
#include "gesturehost.h"
#include "picturepreview.h"
#include "playbackcommand.h"
#include "platform/errors.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>

using plumora::ui::guardedCallback;

namespace {

void setHelpContext(QWidget *widget, int context)
{
    widget->setProperty("helpContext", context);
}

QLabel *textPanel(const QString &name)
{
    auto *panel = new QLabel;
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    // Long paths must not widen the window (the tool tip shows them whole),
    // but the panel's own texts always fit.
    QFont italic = panel->font();
    italic.setItalic(true);
    panel->setFont(italic);
    panel->setText(QStringLiteral("> Internal <"));
    panel->setMinimumWidth(panel->minimumSizeHint().width());
    panel->setFont(QFont());
    panel->setText(QStringLiteral("<none>"));
    panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return panel;
}

QPushButton *button(const QString &name, const QString &caption, int helpContext)
{
    auto *b = new QPushButton(caption);
    b->setObjectName(name);
    b->setAccessibleName(caption);
    setHelpContext(b, helpContext);
    // Narrower than a dialog's buttons when the window is small, never
    // narrower than the caption.
    const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b)
        + b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
    b->setMinimumWidth(b->fontMetrics().horizontalAdvance(caption) + 2 * margin);
    b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return b;
}

QFrame *swatch(const QString &name)
{
    auto *frame = new QFrame;
    frame->setObjectName(name);
    frame->setFixedSize(23, 23);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setAutoFillBackground(true);
    return frame;
}

void paintSwatch(QWidget *swatch, TColor colour)
{
    QPalette palette = swatch->palette();
    palette.setColor(QPalette::Window, toQColor(colour));
    swatch->setPalette(palette);
    swatch->update();
}

} // namespace

TfrmGestureWindow::TfrmGestureWindow(IGestureHost *host, QWidget *parent) : QWidget(parent), m_host(host)
{
    setObjectName(QStringLiteral("frmGestureWindow"));
    setWindowTitle(QStringLiteral("(untitled) - Plumora"));
    setAttribute(Qt::WA_DeleteOnClose);
    setHelpContext(this, 5);

    gesture = new TZQGesture(this);
    gesture->setObjectName(QStringLiteral("gesture"));
    // The frame controls follow the gesture's frames and current frame.
    connect(gesture, &TZQGesture::OnFrameChange, this, guardedCallback([this] { showCurrentFrame(); }));
    connect(gesture, &TZQGesture::framesChanged, this, guardedCallback([this] { showCurrentFrame(); }));

    paneSplitter = new QSplitter(Qt::Horizontal, this);
    paneSplitter->setObjectName(QStringLiteral("paneSplitter"));
    paneSplitter->setHandleWidth(3);
    paneSplitter->setChildrenCollapsible(false);

    pageTabs = new QTabWidget;
    pageTabs->setObjectName(QStringLiteral("pageTabs"));
    setHelpContext(pageTabs, 1010);
    buildFilesPage();
    buildSettingsPage();
    pageTabs->setMinimumWidth(std::max(216, pageTabs->minimumSizeHint().width()));
    connect(pageTabs, &QTabWidget::currentChanged, this, guardedCallback([this] { onPageChanged(); }));
    buildPreviewPane();
    paneSplitter->addWidget(pageTabs);
    paneSplitter->addWidget(previewPane);
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

    buildMenus();
    buildDialogs();
    connectSettingsHandlers();
    acceptFileDrops();
    buildHistory();
    ResetPreviewGlyph();
    taglineEdit->setFocus();
    m_loading = false;
}

TfrmGestureWindow::~TfrmGestureWindow()
{
    // The history goes before the gesture its commands restore.
    delete undoStack;
    undoStack = nullptr;
    delete m_mouseRouter;
    m_mouseRouter = nullptr;
    m_loading = true;
    m_dying = true;
    // The base class deletes the controls after this body; a field losing the
    // focus then still signals, and must not reach this half-gone window.
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
    if (m_host && !m_host->Destroying())
        m_host->UpdateFileCommands();
}

void TfrmGestureWindow::buildFilesPage()
{
    filesPage = new QWidget;
    filesPage->setObjectName(QStringLiteral("filesPage"));
    auto *grid = new QGridLayout(filesPage);

    auto *taglineLabel = new QLabel(QStringLiteral("&Tagline:"));
    taglineLabel->setObjectName(QStringLiteral("taglineLabel"));
    taglineEdit = new QLineEdit;
    taglineEdit->setObjectName(QStringLiteral("taglineEdit"));
    taglineEdit->setMaxLength(255);
    taglineEdit->setAccessibleName(QStringLiteral("Tagline:"));
    setHelpContext(taglineEdit, 1020);
    taglineLabel->setBuddy(taglineEdit);
    grid->addWidget(taglineLabel, 0, 0);
    grid->addWidget(taglineEdit, 0, 1, 1, 3);
    connect(taglineEdit, &QLineEdit::textChanged, this, guardedCallback([this] { onTaglineEdited(); }));

    struct Row
    {
        const char *label, *labelName, *panel, *load, *save;
        int help;
        QLabel **panelOut;
        QPushButton **loadOut, **saveOut;
    };
    const Row rows[] = {
        { "Button:", "buttonImageLabel", "buttonImageFileLabel", "buttonImageLoadButton",
            "buttonImageSaveButton", 1030, &buttonImageFileLabel, &buttonImageLoadButton,
            &buttonImageSaveButton },
        { "Animation:", "animationLabel", "animationFileLabel", "animationLoadButton", "animationSaveButton",
            1040, &animationFileLabel, &animationLoadButton, &animationSaveButton },
        { "Audio:", "audioLabel", "audioFileLabel", "audioLoadButton", "audioSaveButton", 1050,
            &audioFileLabel, &audioLoadButton, &audioSaveButton },
    };
    int r = 1;
    for (const Row &row : rows) {
        auto *label = new QLabel(QString::fromLatin1(row.label));
        label->setObjectName(QString::fromLatin1(row.labelName));
        *row.panelOut = textPanel(QString::fromLatin1(row.panel));
        (*row.panelOut)->setAccessibleName(QString::fromLatin1(row.label));
        *row.loadOut = button(QString::fromLatin1(row.load), QStringLiteral("Load"), row.help);
        *row.saveOut = button(QString::fromLatin1(row.save), QStringLiteral("Save"), row.help);
        (*row.saveOut)->setEnabled(false);
        grid->addWidget(label, r, 0);
        grid->addWidget(*row.panelOut, r, 1);
        grid->addWidget(*row.loadOut, r, 2);
        grid->addWidget(*row.saveOut, r, 3);
        ++r;
    }

    previewButtonPanel = new QFrame;
    previewButtonPanel->setObjectName(QStringLiteral("previewButtonPanel"));
    previewButtonPanel->setFrameShape(QFrame::StyledPanel);
    setHelpContext(previewButtonPanel, 1060);
    auto *previewLayout = new QHBoxLayout(previewButtonPanel);
    auto *previewButtonLabel = new QLabel(QStringLiteral("Pre&view Button"));
    previewButtonLabel->setObjectName(QStringLiteral("previewButtonLabel"));
    previewButton = new QToolButton;
    previewButton->setObjectName(QStringLiteral("previewButton"));
    previewButton->setFixedSize(25, 25);
    previewButton->setIconSize(QSize(18, 18));
    previewButton->setAccessibleName(QStringLiteral("Preview Button"));
    previewButtonLabel->setBuddy(previewButton);
    previewLayout->addWidget(previewButtonLabel);
    previewLayout->addWidget(previewButton);
    previewLayout->addStretch();
    grid->addWidget(previewButtonPanel, r++, 0, 1, 4);
    connect(previewButton, &QToolButton::clicked, this, guardedCallback([this] { playGesture(); }));

    auto *authorLabel = new QLabel(QStringLiteral("Author:"));
    authorLabel->setObjectName(QStringLiteral("authorLabel"));
    authorEdit = new QLineEdit;
    authorEdit->setObjectName(QStringLiteral("authorEdit"));
    authorEdit->setMaxLength(255);
    authorEdit->setAccessibleName(QStringLiteral("Author:"));
    authorLabel->setBuddy(authorEdit);
    grid->addWidget(authorLabel, r, 0);
    grid->addWidget(authorEdit, r, 1, 1, 3);
    connect(authorEdit, &QLineEdit::textChanged, this, guardedCallback([this] { onAuthorEdited(); }));
    grid->setRowStretch(r + 1, 1);
    grid->setColumnStretch(1, 1);
    for (QLineEdit *field : { taglineEdit, authorEdit })
        AcceptOnlyStorableText(field, [this](const QString &character) {
            if (m_host)
                m_host->ShowStatusNote(UnstorableCharacterNote(character));
        });

    pageTabs->addTab(filesPage, QStringLiteral("&Files"));
}

void TfrmGestureWindow::buildSettingsPage()
{
    settingsPage = new QWidget;
    settingsPage->setObjectName(QStringLiteral("settingsPage"));
    auto *page = new QVBoxLayout(settingsPage);

    animationOptionsGroup = new QGroupBox(QStringLiteral(" Animation options "));
    animationOptionsGroup->setObjectName(QStringLiteral("animationOptionsGroup"));
    auto *anim = new QGridLayout(animationOptionsGroup);
    animationOnceRadio = new QRadioButton(QStringLiteral("&Play once"));
    animationOnceRadio->setObjectName(QStringLiteral("animationOnceRadio"));
    animationOnceRadio->setChecked(true);
    setHelpContext(animationOnceRadio, 21);
    animationLoopRadio = new QRadioButton(QStringLiteral("&Loop to Frame "));
    animationLoopRadio->setObjectName(QStringLiteral("animationLoopRadio"));
    setHelpContext(animationLoopRadio, 30);
    animationLoopFrameSpin = new QSpinBox;
    animationLoopFrameSpin->setObjectName(QStringLiteral("animationLoopFrameSpin"));
    animationLoopFrameSpin->setAccessibleName(QStringLiteral("Loop to Frame"));
    setHelpContext(animationLoopFrameSpin, 40);
    // Equal limits mean "no limit": the change handler clamps instead.
    animationLoopFrameSpin->setRange(0, 9999);
    animationLoopFrameSpin->setValue(1);
    animationReverseRadio = new QRadioButton(QStringLiteral("&Reverse at End"));
    animationReverseRadio->setObjectName(QStringLiteral("animationReverseRadio"));
    setHelpContext(animationReverseRadio, 50);
    auto *transparencySeparator = new QFrame;
    transparencySeparator->setObjectName(QStringLiteral("transparencySeparator"));
    transparencySeparator->setFrameShape(QFrame::HLine);
    transparentCheck = new QCheckBox(QStringLiteral("&Transparent &Color?"));
    transparentCheck->setObjectName(QStringLiteral("transparentCheck"));
    setHelpContext(transparentCheck, 60);
    transparentSwatch = swatch(QStringLiteral("transparentSwatch"));
    transparentSwatch->setAccessibleName(QStringLiteral("Transparent colour"));
    paintSwatch(transparentSwatch, m_transColor);
    pickTransparentButton = new QToolButton;
    pickTransparentButton->setObjectName(QStringLiteral("pickTransparentButton"));
    pickTransparentButton->setText(QStringLiteral("Pic&k"));
    pickTransparentButton->setAccessibleName(QStringLiteral("Pick"));
    pickTransparentButton->setCheckable(true);
    pickTransparentButton->setEnabled(false);
    auto *testBackgroundLabel = new QLabel(QStringLiteral("Test &Background:"));
    testBackgroundLabel->setObjectName(QStringLiteral("testBackgroundLabel"));
    testBackgroundSwatch = swatch(QStringLiteral("testBackgroundSwatch"));
    testBackgroundSwatch->setFocusPolicy(Qt::StrongFocus);
    testBackgroundSwatch->setAccessibleName(QStringLiteral("Test Background:"));
    setHelpContext(testBackgroundSwatch, 70);
    paintSwatch(testBackgroundSwatch, m_testBackground);
    testBackgroundLabel->setBuddy(testBackgroundSwatch);
    anim->addWidget(animationOnceRadio, 0, 0, 1, 2);
    anim->addWidget(animationLoopRadio, 1, 0);
    anim->addWidget(animationLoopFrameSpin, 1, 1);
    anim->addWidget(animationReverseRadio, 2, 0, 1, 2);
    anim->addWidget(transparencySeparator, 3, 0, 1, -1);
    anim->addWidget(transparentCheck, 4, 0);
    anim->addWidget(transparentSwatch, 4, 1);
    anim->addWidget(pickTransparentButton, 4, 2);
    anim->addWidget(testBackgroundLabel, 5, 0);
    anim->addWidget(testBackgroundSwatch, 5, 1);
    animationLoopFrameSpin->setEnabled(false);

    audioOptionsGroup = new QGroupBox(QStringLiteral(" Audio options "));
    audioOptionsGroup->setObjectName(QStringLiteral("audioOptionsGroup"));
    auto *audio = new QGridLayout(audioOptionsGroup);
    audioOnceRadio = new QRadioButton(QStringLiteral("Play &once only"));
    audioOnceRadio->setObjectName(QStringLiteral("audioOnceRadio"));
    audioOnceRadio->setChecked(true);
    setHelpContext(audioOnceRadio, 80);
    audioLoopRadio = new QRadioButton(QStringLiteral("R&estart on each loop"));
    audioLoopRadio->setObjectName(QStringLiteral("audioLoopRadio"));
    setHelpContext(audioLoopRadio, 90);
    auto *audioSeparator = new QFrame;
    audioSeparator->setObjectName(QStringLiteral("audioSeparator"));
    audioSeparator->setFrameShape(QFrame::HLine);
    auto *audioLoopFrameLabel = new QLabel(QStringLiteral("Start/Restart on &Frame:"));
    audioLoopFrameLabel->setObjectName(QStringLiteral("audioLoopFrameLabel"));
    audioLoopFrameSpin = new QSpinBox;
    audioLoopFrameSpin->setObjectName(QStringLiteral("audioLoopFrameSpin"));
    audioLoopFrameSpin->setAccessibleName(QStringLiteral("Start/Restart on Frame:"));
    setHelpContext(audioLoopFrameSpin, 100);
    audioLoopFrameSpin->setRange(0, 9999);
    audioLoopFrameSpin->setValue(1);
    audioLoopFrameLabel->setBuddy(audioLoopFrameSpin);
    audio->addWidget(audioOnceRadio, 0, 0, 1, 2);
    audio->addWidget(audioLoopRadio, 1, 0, 1, 2);
    audio->addWidget(audioSeparator, 2, 0, 1, -1);
    audio->addWidget(audioLoopFrameLabel, 3, 0);
    audio->addWidget(audioLoopFrameSpin, 3, 1);
    // The two frame fields hold the same numbers and look alike: their own
    // width, whatever room their groups have.
    for (QSpinBox *field : { animationLoopFrameSpin, audioLoopFrameSpin })
        field->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // On a wide page the controls stay beside their captions.
    anim->setColumnStretch(3, 1);
    audio->setColumnStretch(2, 1);

    page->addWidget(animationOptionsGroup);
    page->addWidget(audioOptionsGroup);
    page->addStretch();

    connect(animationOnceRadio, &QRadioButton::clicked, this,
        guardedCallback([this] { onAnimationOnceClicked(); }));
    connect(animationLoopRadio, &QRadioButton::clicked, this,
        guardedCallback([this] { onAnimationLoopClicked(); }));
    connect(animationReverseRadio, &QRadioButton::clicked, this,
        guardedCallback([this] { onAnimationReverseClicked(); }));
    connect(audioOnceRadio, &QRadioButton::clicked, this, guardedCallback([this] { onAudioOnceClicked(); }));
    connect(audioLoopRadio, &QRadioButton::clicked, this, guardedCallback([this] { onAudioLoopClicked(); }));
    connect(animationLoopFrameSpin, &QSpinBox::valueChanged, this,
        guardedCallback([this] { onAnimationLoopFrameChanged(); }));
    connect(audioLoopFrameSpin, &QSpinBox::valueChanged, this,
        guardedCallback([this] { onAudioLoopFrameChanged(); }));
    connect(transparentCheck, &QCheckBox::toggled, this, guardedCallback([this] { onTransparentToggled(); }));

    pageTabs->addTab(settingsPage, QStringLiteral("&Settings"));
}

void TfrmGestureWindow::buildPreviewPane()
{
    previewPane = new QWidget;
    previewPane->setObjectName(QStringLiteral("previewPane"));
    setHelpContext(previewPane, 1070);
    auto *layout = new QVBoxLayout(previewPane);
    layout->setContentsMargins(7, 7, 7, 7);

    gestureArea = new QFrame;
    gestureArea->setObjectName(QStringLiteral("gestureArea"));
    gestureArea->setFixedSize(256, 230);
    gestureArea->setAutoFillBackground(true);
    // The preview shows the test background from the start, so what its
    // swatch shows and what picking there gives is what the screen shows.
    paintSwatch(gestureArea, m_testBackground);
    gestureView = new TGestureView(gesture, gestureArea);
    gestureView->setObjectName(QStringLiteral("gestureView"));
    gestureView->move(0, 0);
    layout->addWidget(gestureArea);

    frameSlider = new QSlider(Qt::Horizontal);
    frameSlider->setObjectName(QStringLiteral("frameSlider"));
    frameSlider->setRange(1, 1);
    frameSlider->setValue(1);
    frameSlider->setSingleStep(3);
    frameSlider->setPageStep(1);
    frameSlider->setTickPosition(QSlider::TicksBelow);
    frameSlider->setTickInterval(1);
    frameSlider->setAccessibleName(QStringLiteral("Frame"));
    setHelpContext(frameSlider, 1080);
    playbackCommand = new TPlaybackCommand(gestureArea,
        { [this] { return gesture->Frames() && gesture->Frames()->Count() > 0; },
            [this] { return gesture->Playing(); }, [this] { gestureView->Play(); },
            [this] { gestureView->Stop(); } },
        this);
    connect(gesture, &TZQGesture::playingChanged, playbackCommand, &TPlaybackCommand::Refresh);
    connect(gesture, &TZQGesture::framesChanged, playbackCommand, &TPlaybackCommand::Refresh);
    auto *sliderRow = new QHBoxLayout;
    sliderRow->addWidget(frameSlider, 1);
    sliderRow->addWidget(playbackCommand->Button());
    layout->addLayout(sliderRow);
    connect(frameSlider, &QSlider::valueChanged, this, guardedCallback([this] { onFrameSliderMoved(); }));

    frameLabel = new QLabel(QStringLiteral("Frame 1 of 1"));
    frameLabel->setObjectName(QStringLiteral("frameLabel"));
    frameLabel->setBuddy(frameSlider);
    layout->addWidget(frameLabel);
    layout->addStretch();
}

void TfrmGestureWindow::buildMenus()
{
    framesMenu = new QMenu(QStringLiteral("F&rames"), this);
    framesMenu->setObjectName(QStringLiteral("framesMenu"));
    buildFrameMenus();
    playbackCommand->AddTo(framesMenu, gesturePopup);
}

void TfrmGestureWindow::buildDialogs()
{
    openPictureDialog = MakeFileDialog(this, QStringLiteral("openPictureDialog"), false,
        QStringLiteral(
            "All (*.gif;*.jpg;*.jpeg;*.bmp)|*.gif;*.jpg;*.jpeg;*.bmp|CompuServe GIF Image (*.gif)|*.gif|"
            "JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp"),
        QStringLiteral("gif"));
    saveButtonImageDialog = MakeFileDialog(this, QStringLiteral("saveButtonImageDialog"), true,
        QStringLiteral("All (*.jpg;*.gif;*.bmp)|*.jpg;*.gif;*.bmp|JPEG Image File (*.jpg)|*.jpg|"
                       "CompuServe GIF Image (*.gif)|*.gif|Bitmaps (*.bmp)|*.bmp"),
        QStringLiteral("gif"));
    saveAnimationDialog = MakeFileDialog(this, QStringLiteral("saveAnimationDialog"), true,
        QStringLiteral("CompuServe GIF Image (*.gif)|*.gif|All files (*.*)|*.*"), QStringLiteral("gif"));
    for (QFileDialog *pictures : { openPictureDialog, saveButtonImageDialog, saveAnimationDialog })
        AddPicturePreview(*pictures);
    openAudioDialog = MakeFileDialog(this, QStringLiteral("openAudioDialog"), false,
        QStringLiteral("Wav sounds (*.wav)|*.wav"), QStringLiteral("wav"));
    saveAudioDialog = MakeFileDialog(this, QStringLiteral("saveAudioDialog"), true,
        QStringLiteral("Wav files (*.wav)|*.wav|All files (*.*)|*.*"), QStringLiteral("wav"));
    testBackgroundDialog = new QColorDialog(this);
    testBackgroundDialog->setObjectName(QStringLiteral("testBackgroundDialog"));
    testBackgroundDialog->setOption(QColorDialog::DontUseNativeDialog);
}

void TfrmGestureWindow::UpdateFileCommands()
{
    if (m_host)
        m_host->UpdateFileCommands();
}

void TfrmGestureWindow::setFileLabel(QLabel *label, FileLabelState state, const QString &path)
{
    QFont font = label->font();
    font.setItalic(state == FileLabelState::Internal);
    label->setFont(font);
    switch (state) {
    case FileLabelState::None:
        label->setText(QStringLiteral("<none>"));
        break;
    case FileLabelState::NoneAfterOpen:
        label->setText(QStringLiteral("<None>"));
        break;
    case FileLabelState::Internal:
        label->setText(QStringLiteral("> Internal <"));
        break;
    case FileLabelState::Path:
        label->setText(path);
        break;
    }
    label->setToolTip(state == FileLabelState::Path ? path : QString());
}

void TfrmGestureWindow::setTransColor(TColor colour)
{
    m_transColor = colour;
    paintSwatch(transparentSwatch, colour);
}

void TfrmGestureWindow::setTestBackground(TColor colour)
{
    m_testBackground = colour;
    paintSwatch(testBackgroundSwatch, colour);
    paintSwatch(gestureArea, colour);
}

void TfrmGestureWindow::ResetPreviewGlyph()
{
    if (!previewButton)
        return;
    previewButton->setIcon(QIcon(QPixmap::fromImage(ButtonPlaceholderPicture().image())));
    previewButton->repaint();
}

void TfrmGestureWindow::ShowGlyph()
{
    const QImage glyph = gesture->Glyph().image();
    if (glyph.isNull())
        ResetPreviewGlyph();
    else
        previewButton->setIcon(QIcon(QPixmap::fromImage(glyph)));
    previewButton->repaint();
}

void TfrmGestureWindow::centreGesture()
{
    const double left = gestureArea->width() / 2.0 - gestureView->width() / 2.0;
    const double top = gestureArea->height() / 2.0 - gestureView->height() / 2.0;
    gestureView->move(int(left), int(top));
}

void TfrmGestureWindow::bringControlsInLine()
{
    // The author text of the file locks the field; without one the field is
    // emptied and free again.
    if (!gesture->Author().isEmpty()) {
        authorEdit->setText(gesture->Author());
        authorEdit->setEnabled(false);
    } else {
        authorEdit->setEnabled(true);
        authorEdit->clear();
    }
    if (const TFrameList *frames = gesture->Frames())
        gestureView->resize(frames->Width(), frames->Height());
    centreGesture();
    showCurrentFrame();
}

void TfrmGestureWindow::showCurrentFrame()
{
    const int count = gesture->Frames() ? gesture->Frames()->Count() : 0;
    // An empty or absent list still shows position 1 of 1.
    frameSlider->setMaximum(std::max(1, count));
    frameSlider->setValue(std::clamp(gesture->CurrentIndex() + 1, 1, frameSlider->maximum()));
    frameLabel->setText(QString::asprintf("Frame %d of %d", frameSlider->value(), frameSlider->maximum()));
}

void TfrmGestureWindow::OpenGesture(const QString &FileName)
{
    ResetPreviewGlyph();
    setFileLabel(animationFileLabel, FileLabelState::None);
    setFileLabel(buttonImageFileLabel, FileLabelState::None);
    setFileLabel(audioFileLabel, FileLabelState::None);
    animationSaveButton->setEnabled(false);
    buttonImageSaveButton->setEnabled(false);
    audioSaveButton->setEnabled(false);
    UpdateFileCommands();

    gestureView->setAutoPlay(false);
    gestureView->setAutoSize(true);
    gesture->setFilename(FileName);
    if (!gesture->Valid())
        throw PlumoraError(QStringLiteral("%1 is not a gesture file that Plumora can read.").arg(FileName));

    QCoreApplication::processEvents();
    UpdateFileCommands();
    m_loading = true;
    taglineEdit->setText(gesture->Tagline());
    bringControlsInLine();

    switch (gesture->AnimLoopOption()) {
    case aoPlayOnce:
        onAnimationOnceClicked();
        break;
    case aoLoop:
        animationLoopFrameSpin->setValue(gesture->AnimLoopFrame());
        onAnimationLoopClicked();
        break;
    case aoReverse:
        onAnimationReverseClicked();
        break;
    }

    if (gesture->TransparentColor() == clNone) {
        transparentCheck->setChecked(false);
    } else {
        setTransColor(gesture->TransparentColor());
        transparentCheck->setChecked(true);
    }

    if (gesture->AudioRepeat())
        onAudioLoopClicked();
    else
        onAudioOnceClicked();
    audioLoopFrameSpin->setValue(gesture->AudioLoopFrame());

    setFileLabel(buttonImageFileLabel, FileLabelState::Internal);
    buttonImageSaveButton->setEnabled(true);
    const bool hasFrames = gesture->Frames() != nullptr;
    setFileLabel(animationFileLabel, hasFrames ? FileLabelState::Internal : FileLabelState::NoneAfterOpen);
    animationSaveButton->setEnabled(hasFrames);
    setFileLabel(
        audioFileLabel, gesture->HasAudio() ? FileLabelState::Internal : FileLabelState::NoneAfterOpen);
    audioSaveButton->setEnabled(gesture->HasAudio());

    setWindowTitle(FileName);

    ShowGlyph();
    update();
    m_loading = false;
    // The opened file is where the history starts.
    undoStack->clear();
    gesture->setUnsavedChanges(false);

    // What the read left out is said before the gesture is edited, since
    // saving it writes only what was read.
    if (!gesture->ReadNotes().isEmpty())
        plumora::ui::messageBox(this, QStringLiteral("Plumora"),
            QStringLiteral("%1 was opened without part of it:\n\n%2")
                .arg(FileName, gesture->ReadNotes().join(QLatin1Char('\n'))),
            QMessageBox::Information, QMessageBox::Ok);
}

void TfrmGestureWindow::onTaglineEdited()
{
    const QString text = taglineEdit->text().left(255);
    const Edit edit(this, QStringLiteral("Edit Tagline"), TaglineMerge);
    gesture->setTagline(text);
    QCoreApplication::processEvents();
    UpdateFileCommands();
}

void TfrmGestureWindow::onAuthorEdited()
{
    if (!gesture)
        return;
    const Edit edit(this, QStringLiteral("Edit Author"), AuthorMerge);
    gesture->SetAuthor(authorEdit->text());
    QCoreApplication::processEvents();
    UpdateFileCommands();
}

void TfrmGestureWindow::playGesture()
{
    gestureView->Play();
}

void TfrmGestureWindow::onPageChanged()
{
    setHelpContext(pageTabs, pageTabs->currentWidget() == settingsPage ? 1200 : 1010);
}

void TfrmGestureWindow::onAnimationOnceClicked()
{
    const Edit edit(this, QStringLiteral("Play Once"));
    animationLoopRadio->setChecked(false);
    animationReverseRadio->setChecked(false);
    animationLoopFrameSpin->setValue(1);
    animationLoopFrameSpin->setEnabled(false);
    animationOnceRadio->setChecked(true);
    gesture->setAnimLoopOption(aoPlayOnce);
    UpdateFileCommands();
}

void TfrmGestureWindow::onAnimationLoopClicked()
{
    const Edit edit(this, QStringLiteral("Loop to Frame"));
    animationOnceRadio->setChecked(false);
    animationReverseRadio->setChecked(false);
    animationLoopFrameSpin->setEnabled(true);
    animationLoopRadio->setChecked(true);
    gesture->setAnimLoopOption(aoLoop);
    UpdateFileCommands();
}

void TfrmGestureWindow::onAnimationReverseClicked()
{
    const Edit edit(this, QStringLiteral("Reverse at End"));
    animationOnceRadio->setChecked(false);
    animationLoopRadio->setChecked(false);
    animationLoopFrameSpin->setValue(1);
    animationLoopFrameSpin->setEnabled(false);
    animationReverseRadio->setChecked(true);
    gesture->setAnimLoopOption(aoReverse);
    UpdateFileCommands();
}

namespace {

// The frame fields: above the slider's maximum goes to the maximum, zero or
// less to 1. Returns true when the field was corrected (its own change
// handler then runs again with the new value).
bool clampFrameField(QSpinBox *field, int maximum)
{
    const int v = field->value();
    if (v > 0 && v > maximum) {
        field->setValue(maximum);
        return true;
    }
    if (v <= 0) {
        field->setValue(1);
        return true;
    }
    return false;
}

} // namespace

void TfrmGestureWindow::onAnimationLoopFrameChanged()
{
    if (clampFrameField(animationLoopFrameSpin, frameSlider->maximum()))
        return;
    const auto value = std::uint8_t(animationLoopFrameSpin->value());
    const Edit edit(this, QStringLiteral("Change Loop Frame"), LoopFrameMerge);
    gesture->setAnimLoopFrame(value);
    UpdateFileCommands();
}

void TfrmGestureWindow::onAudioLoopFrameChanged()
{
    if (clampFrameField(audioLoopFrameSpin, frameSlider->maximum()))
        return;
    const auto value = std::uint8_t(audioLoopFrameSpin->value());
    const Edit edit(this, QStringLiteral("Change Sound Start Frame"), AudioFrameMerge);
    gesture->setAudioLoopFrame(value);
    UpdateFileCommands();
}

void TfrmGestureWindow::onAudioOnceClicked()
{
    // The option that is already the gesture's does nothing at all.
    audioOnceRadio->setChecked(true);
    if (!gesture->AudioRepeat())
        return;
    const Edit edit(this, QStringLiteral("Play Sound Once"));
    gesture->setAudioRepeat(false);
    UpdateFileCommands();
}

void TfrmGestureWindow::onAudioLoopClicked()
{
    audioLoopRadio->setChecked(true);
    if (gesture->AudioRepeat())
        return;
    const Edit edit(this, QStringLiteral("Restart Sound on Each Loop"));
    gesture->setAudioRepeat(true);
    UpdateFileCommands();
}

void TfrmGestureWindow::onTransparentToggled()
{
    const bool on = transparentCheck->isChecked();
    const Edit edit(
        this, on ? QStringLiteral("Transparent Color On") : QStringLiteral("Transparent Color Off"));
    pickTransparentButton->setEnabled(on);
    const TColor colour = on ? m_transColor : clNone;
    gesture->setTransparentColor(colour);
    UpdateFileCommands();
}

void TfrmGestureWindow::onFrameSliderMoved()
{
    // When the slider follows the gesture the frame is already the one
    // shown, and setting it again does nothing.
    if (gesture->Frames() && gesture->Frames()->Count() > 0)
        gesture->setCurrentIndex(frameSlider->value() - 1);
}

void TfrmGestureWindow::closeEvent(QCloseEvent *event)
{
    if (!gesture->UnsavedChanges()) {
        event->accept();
        return;
    }
    const QString name = gesture->Filename();
    const QString text = QStringLiteral("The gesture ")
        + (name.isEmpty() ? QString() : name + QLatin1Char(' '))
        + QStringLiteral("has changed.\r\rDo you want to save the changes?");
    const auto answer = plumora::ui::messageBox(this, QStringLiteral("Plumora"), text, QMessageBox::Question,
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
}

void TfrmGestureWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_loading)
        return;
    const int half = width() / 2;
    paneSplitter->setSizes({ half, std::max(0, width() - half - paneSplitter->handleWidth()) });
}

void TfrmGestureWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    UpdateFileCommands();
}
