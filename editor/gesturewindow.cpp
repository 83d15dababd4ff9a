#include "gesturewindow.h"

#include "gesture/zqgesture.h"
#include "buttonfit.h"
#include "filedialogs.h"
#include "gesturehost.h"
#include "platform/errors.h"
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
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

void setHelpContext(QWidget *widget, int context)
{
    widget->setProperty("helpContext", context);
}

QLabel *textPanel(const QString &name)
{
    auto *panel = new QLabel(QStringLiteral("<none>"));
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    panel->setMinimumWidth(60);
    panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return panel;
}

QPushButton *button(const QString &name, const QString &caption, int helpContext)
{
    auto *b = new QPushButton(caption);
    b->setObjectName(name);
    b->setAccessibleName(caption);
    setHelpContext(b, helpContext);
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
    setMinimumSize(560, 345);
    resize(552, 314);

    ZQGesture1 = new TZQGesture;
    ZQGesture1->setObjectName(QStringLiteral("ZQGesture1"));
    ZQGesture1->OnFrameChange = [this](TZQGesture *) { ZQGesture1FrameChange(); };

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);

    PageControl1 = new QTabWidget;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setMinimumWidth(216);
    setHelpContext(PageControl1, 1010);
    buildFilesPage();
    buildSettingsPage();
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { PageControl1Change(); });
    buildPreviewPane();
    Splitter1->addWidget(PageControl1);
    Splitter1->addWidget(Panel4);
    Splitter1->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Splitter1);

    buildMenus();
    buildDialogs();
    connectSettingsHandlers();
    ResetPreviewGlyph();
    edTagline->setFocus();
    m_loading = false;
}

TfrmGestureWindow::~TfrmGestureWindow()
{
    delete m_mouseRouter;
    m_mouseRouter = nullptr;
    m_loading = true;
    m_dying = true;
    if (m_host && !m_host->Destroying())
        m_host->UpdateFileCommands();
}

void TfrmGestureWindow::buildFilesPage()
{
    tabFiles = new QWidget;
    tabFiles->setObjectName(QStringLiteral("tabFiles"));
    auto *grid = new QGridLayout(tabFiles);

    auto *label2 = new QLabel(QStringLiteral("&Tagline:"));
    label2->setObjectName(QStringLiteral("Label2"));
    edTagline = new QLineEdit;
    edTagline->setObjectName(QStringLiteral("edTagline"));
    edTagline->setMaxLength(255);
    edTagline->setAccessibleName(QStringLiteral("Tagline:"));
    setHelpContext(edTagline, 1020);
    label2->setBuddy(edTagline);
    grid->addWidget(label2, 0, 0);
    grid->addWidget(edTagline, 0, 1, 1, 3);
    connect(edTagline, &QLineEdit::textChanged, this, [this] { edTaglineChange(); });

    struct Row
    {
        const char *label, *labelName, *panel, *load, *save;
        int help;
        QLabel **panelOut;
        QPushButton **loadOut, **saveOut;
    };
    const Row rows[] = {
        { "Button:", "Label8", "pnlButtonFile", "btnSelectButtonImage", "btnSaveButtonImage", 1030,
            &pnlButtonFile, &btnSelectButtonImage, &btnSaveButtonImage },
        { "Animation:", "Label9", "pnlAnimationFile", "btnSelectAnimation", "btnSaveAnimation", 1040,
            &pnlAnimationFile, &btnSelectAnimation, &btnSaveAnimation },
        { "Audio:", "Label10", "pnlAudioFile", "btnSelectAudio", "btnSaveAudio", 1050, &pnlAudioFile,
            &btnSelectAudio, &btnSaveAudio },
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

    Panel2 = new QFrame;
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameShape(QFrame::StyledPanel);
    setHelpContext(Panel2, 1060);
    auto *previewLayout = new QHBoxLayout(Panel2);
    auto *label4 = new QLabel(QStringLiteral("Pre&view Button"));
    label4->setObjectName(QStringLiteral("Label4"));
    btnGesture = new QToolButton;
    btnGesture->setObjectName(QStringLiteral("btnGesture"));
    btnGesture->setFixedSize(25, 25);
    btnGesture->setIconSize(QSize(18, 18));
    btnGesture->setAccessibleName(QStringLiteral("Preview Button"));
    label4->setBuddy(btnGesture);
    previewLayout->addWidget(label4);
    previewLayout->addWidget(btnGesture);
    previewLayout->addStretch();
    grid->addWidget(Panel2, r++, 0, 1, 4);
    connect(btnGesture, &QToolButton::clicked, this, [this] { btnGestureClick(); });

    auto *label6 = new QLabel(QStringLiteral("Author:"));
    label6->setObjectName(QStringLiteral("Label6"));
    Edit2 = new QLineEdit;
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setMaxLength(255);
    Edit2->setAccessibleName(QStringLiteral("Author:"));
    label6->setBuddy(Edit2);
    grid->addWidget(label6, r, 0);
    grid->addWidget(Edit2, r, 1, 1, 3);
    connect(Edit2, &QLineEdit::textChanged, this, [this] { Edit2Change(); });
    grid->setRowStretch(r + 1, 1);
    grid->setColumnStretch(1, 1);

    PageControl1->addTab(tabFiles, QStringLiteral("&Files"));
}

void TfrmGestureWindow::buildSettingsPage()
{
    tabSettings = new QWidget;
    tabSettings->setObjectName(QStringLiteral("tabSettings"));
    auto *page = new QVBoxLayout(tabSettings);

    gboxAnimOption = new QGroupBox(QStringLiteral(" Animation options "));
    gboxAnimOption->setObjectName(QStringLiteral("gboxAnimOption"));
    auto *anim = new QGridLayout(gboxAnimOption);
    radAnimOnce = new QRadioButton(QStringLiteral("&Play once"));
    radAnimOnce->setObjectName(QStringLiteral("radAnimOnce"));
    radAnimOnce->setChecked(true);
    setHelpContext(radAnimOnce, 21);
    radAnimLoop = new QRadioButton(QStringLiteral("&Loop to Frame "));
    radAnimLoop->setObjectName(QStringLiteral("radAnimLoop"));
    setHelpContext(radAnimLoop, 30);
    spinAnimLoopFrame = new QSpinBox;
    spinAnimLoopFrame->setObjectName(QStringLiteral("spinAnimLoopFrame"));
    spinAnimLoopFrame->setAccessibleName(QStringLiteral("Loop to Frame"));
    setHelpContext(spinAnimLoopFrame, 40);
    // Equal limits mean "no limit": the change handler clamps instead.
    spinAnimLoopFrame->setRange(0, 9999);
    spinAnimLoopFrame->setValue(1);
    radAnimReverse = new QRadioButton(QStringLiteral("&Reverse at End"));
    radAnimReverse->setObjectName(QStringLiteral("radAnimReverse"));
    setHelpContext(radAnimReverse, 50);
    auto *bevel1 = new QFrame;
    bevel1->setObjectName(QStringLiteral("Bevel1"));
    bevel1->setFrameShape(QFrame::HLine);
    cbxTransparent = new QCheckBox(QStringLiteral("&Transparent &Color?"));
    cbxTransparent->setObjectName(QStringLiteral("cbxTransparent"));
    setHelpContext(cbxTransparent, 60);
    pnlTransColor = swatch(QStringLiteral("pnlTransColor"));
    pnlTransColor->setAccessibleName(QStringLiteral("Transparent colour"));
    paintSwatch(pnlTransColor, m_transColor);
    sbnSelectTransparent = new QToolButton;
    sbnSelectTransparent->setObjectName(QStringLiteral("sbnSelectTransparent"));
    sbnSelectTransparent->setText(QStringLiteral("Pic&k"));
    sbnSelectTransparent->setAccessibleName(QStringLiteral("Pick"));
    sbnSelectTransparent->setCheckable(true);
    sbnSelectTransparent->setEnabled(false);
    auto *label1 = new QLabel(QStringLiteral("Test &Background:"));
    label1->setObjectName(QStringLiteral("Label1"));
    pnlColorSelect = swatch(QStringLiteral("pnlColorSelect"));
    pnlColorSelect->setFocusPolicy(Qt::StrongFocus);
    pnlColorSelect->setAccessibleName(QStringLiteral("Test Background:"));
    setHelpContext(pnlColorSelect, 70);
    paintSwatch(pnlColorSelect, m_testBackground);
    label1->setBuddy(pnlColorSelect);
    anim->addWidget(radAnimOnce, 0, 0, 1, 2);
    anim->addWidget(radAnimLoop, 1, 0);
    anim->addWidget(spinAnimLoopFrame, 1, 1);
    anim->addWidget(radAnimReverse, 2, 0, 1, 2);
    anim->addWidget(bevel1, 3, 0, 1, 3);
    anim->addWidget(cbxTransparent, 4, 0);
    anim->addWidget(pnlTransColor, 4, 1);
    anim->addWidget(sbnSelectTransparent, 4, 2);
    anim->addWidget(label1, 5, 0);
    anim->addWidget(pnlColorSelect, 5, 1);
    spinAnimLoopFrame->setEnabled(false);

    gbxAudioOptions = new QGroupBox(QStringLiteral(" Audio options "));
    gbxAudioOptions->setObjectName(QStringLiteral("gbxAudioOptions"));
    auto *audio = new QGridLayout(gbxAudioOptions);
    radAudioOnce = new QRadioButton(QStringLiteral("Play &once only"));
    radAudioOnce->setObjectName(QStringLiteral("radAudioOnce"));
    radAudioOnce->setChecked(true);
    setHelpContext(radAudioOnce, 80);
    radAudioLoop = new QRadioButton(QStringLiteral("R&estart on each loop"));
    radAudioLoop->setObjectName(QStringLiteral("radAudioLoop"));
    setHelpContext(radAudioLoop, 90);
    auto *bevel2 = new QFrame;
    bevel2->setObjectName(QStringLiteral("Bevel2"));
    bevel2->setFrameShape(QFrame::HLine);
    auto *label3 = new QLabel(QStringLiteral("Start/Restart on &Frame:"));
    label3->setObjectName(QStringLiteral("Label3"));
    spinAudioLoopFrame = new QSpinBox;
    spinAudioLoopFrame->setObjectName(QStringLiteral("spinAudioLoopFrame"));
    spinAudioLoopFrame->setAccessibleName(QStringLiteral("Start/Restart on Frame:"));
    setHelpContext(spinAudioLoopFrame, 100);
    spinAudioLoopFrame->setRange(0, 9999);
    spinAudioLoopFrame->setValue(1);
    label3->setBuddy(spinAudioLoopFrame);
    audio->addWidget(radAudioOnce, 0, 0, 1, 2);
    audio->addWidget(radAudioLoop, 1, 0, 1, 2);
    audio->addWidget(bevel2, 2, 0, 1, 2);
    audio->addWidget(label3, 3, 0);
    audio->addWidget(spinAudioLoopFrame, 3, 1);

    page->addWidget(gboxAnimOption);
    page->addWidget(gbxAudioOptions);
    page->addStretch();

    connect(radAnimOnce, &QRadioButton::clicked, this, [this] { radAnimOnceClick(); });
    connect(radAnimLoop, &QRadioButton::clicked, this, [this] { radAnimLoopClick(); });
    connect(radAnimReverse, &QRadioButton::clicked, this, [this] { radAnimReverseClick(); });
    connect(radAudioOnce, &QRadioButton::clicked, this, [this] { radAudioOnceClick(); });
    connect(radAudioLoop, &QRadioButton::clicked, this, [this] { radAudioLoopClick(); });
    connect(spinAnimLoopFrame, &QSpinBox::valueChanged, this, [this] { spinAnimLoopFrameChange(); });
    connect(spinAudioLoopFrame, &QSpinBox::valueChanged, this, [this] { spinAudioLoopFrameChange(); });
    connect(cbxTransparent, &QCheckBox::toggled, this, [this] { cbxTransparentClick(); });

    PageControl1->addTab(tabSettings, QStringLiteral("&Settings"));
}

void TfrmGestureWindow::buildPreviewPane()
{
    Panel4 = new QWidget;
    Panel4->setObjectName(QStringLiteral("Panel4"));
    setHelpContext(Panel4, 1070);
    auto *layout = new QVBoxLayout(Panel4);
    layout->setContentsMargins(7, 7, 7, 7);

    ScrollBox1 = new QFrame;
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setFixedSize(256, 230);
    ScrollBox1->setAutoFillBackground(true);
    QPalette palette = ScrollBox1->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Dark));
    ScrollBox1->setPalette(palette);
    ZQGesture1->setParent(ScrollBox1);
    ZQGesture1->move(0, 0);
    layout->addWidget(ScrollBox1);

    TrackBar1 = new QSlider(Qt::Horizontal);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setRange(1, 1);
    TrackBar1->setValue(1);
    TrackBar1->setSingleStep(3);
    TrackBar1->setPageStep(1);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(1);
    TrackBar1->setAccessibleName(QStringLiteral("Frame"));
    setHelpContext(TrackBar1, 1080);
    layout->addWidget(TrackBar1);
    connect(TrackBar1, &QSlider::valueChanged, this, [this] { TrackBar1Change(); });

    Label5 = new QLabel(QStringLiteral("Frame  1 of  1"));
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setBuddy(TrackBar1);
    layout->addWidget(Label5);
    layout->addStretch();
}

void TfrmGestureWindow::buildMenus()
{
    Frames1 = new QMenu(QStringLiteral("F&rames"), this);
    Frames1->setObjectName(QStringLiteral("Frames1"));
    buildFrameMenus();
}

void TfrmGestureWindow::buildDialogs()
{
    OpenPictureDialog1 = MakeFileDialog(this, QStringLiteral("OpenPictureDialog1"), false,
        QStringLiteral(
            "All (*.gif;*.jpg;*.jpeg;*.bmp)|*.gif;*.jpg;*.jpeg;*.bmp|CompuServe GIF Image (*.gif)|*.gif|"
            "JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp"),
        QStringLiteral("gif"));
    SavePictureDialog1 = MakeFileDialog(this, QStringLiteral("SavePictureDialog1"), true,
        QStringLiteral("All (*.jpg;*.gif;*.bmp)|*.jpg;*.gif;*.bmp|JPEG Image File (*.jpg)|*.jpg|"
                       "CompuServe GIF Image (*.gif)|*.gif|Bitmaps (*.bmp)|*.bmp"),
        QStringLiteral("gif"));
    SavePictureDialog2 = MakeFileDialog(this, QStringLiteral("SavePictureDialog2"), true,
        QStringLiteral("CompuServe GIF Image (*.gif)|*.gif|All files (*.*)|*.*"), QStringLiteral("gif"));
    OpenDialog1 = MakeFileDialog(this, QStringLiteral("OpenDialog1"), false,
        QStringLiteral("Wav sounds (*.wav)|*.wav"), QStringLiteral("wav"));
    SaveDialog1 = MakeFileDialog(this, QStringLiteral("SaveDialog1"), true,
        QStringLiteral("Wav files (*.wav)|*.wav|All files (*.*)|*.*"), QStringLiteral("wav"));
    ColorDialog1 = new QColorDialog(this);
    ColorDialog1->setObjectName(QStringLiteral("ColorDialog1"));
    ColorDialog1->setOption(QColorDialog::DontUseNativeDialog);
}

void TfrmGestureWindow::UpdateFileCommands()
{
    if (m_host)
        m_host->UpdateFileCommands();
}

void TfrmGestureWindow::noteChange(bool changed)
{
    // Any real change of the gesture makes closing ask before it is lost.
    if (changed && !m_loading)
        UnsavedChanges = true;
}

void TfrmGestureWindow::setPanel(QLabel *panel, PanelState state, const QString &path)
{
    QFont font = panel->font();
    font.setItalic(state == PanelState::Internal);
    panel->setFont(font);
    switch (state) {
    case PanelState::None:
        panel->setText(QStringLiteral("<none>"));
        break;
    case PanelState::NoneAfterOpen:
        panel->setText(QStringLiteral("<None>"));
        break;
    case PanelState::Internal:
        panel->setText(QStringLiteral("> Internal <"));
        break;
    case PanelState::Path:
        panel->setText(path);
        break;
    }
    panel->setToolTip(state == PanelState::Path ? path : QString());
}

void TfrmGestureWindow::setTransColor(TColor colour)
{
    m_transColor = colour;
    paintSwatch(pnlTransColor, colour);
}

void TfrmGestureWindow::setTestBackground(TColor colour)
{
    m_testBackground = colour;
    paintSwatch(pnlColorSelect, colour);
    paintSwatch(ScrollBox1, colour);
}

void TfrmGestureWindow::ResetPreviewGlyph()
{
    if (!btnGesture)
        return;
    btnGesture->setIcon(QIcon(QPixmap::fromImage(ButtonPlaceholderPicture().image())));
    btnGesture->repaint();
}

void TfrmGestureWindow::ShowGlyph()
{
    const QImage glyph = ZQGesture1->Glyph().image();
    if (glyph.isNull())
        ResetPreviewGlyph();
    else
        btnGesture->setIcon(QIcon(QPixmap::fromImage(glyph)));
    btnGesture->repaint();
}

void TfrmGestureWindow::centreGesture()
{
    const double left = ScrollBox1->width() / 2.0 - ZQGesture1->width() / 2.0;
    const double top = ScrollBox1->height() / 2.0 - ZQGesture1->height() / 2.0;
    ZQGesture1->move(int(left), int(top));
}

void TfrmGestureWindow::setFrameLabel(const char *format)
{
    const int count = ZQGesture1->Frames() ? ZQGesture1->Frames()->Count() : 0;
    Label5->setText(QString::asprintf(format, TrackBar1->value(), count));
}

void TfrmGestureWindow::OpenGesture(const QString &FileName)
{
    ResetPreviewGlyph();
    setPanel(pnlAnimationFile, PanelState::None);
    setPanel(pnlButtonFile, PanelState::None);
    setPanel(pnlAudioFile, PanelState::None);
    btnSaveAnimation->setEnabled(false);
    btnSaveButtonImage->setEnabled(false);
    btnSaveAudio->setEnabled(false);
    UpdateFileCommands();

    ZQGesture1->setAutoPlay(false);
    ZQGesture1->setAutoSize(true);
    ZQGesture1->setFilename(FileName);
    if (!ZQGesture1->Valid())
        throw PlumoraError(QStringLiteral("%1 is not a gesture file that Plumora can read.").arg(FileName));

    QCoreApplication::processEvents();
    UpdateFileCommands();
    m_loading = true;
    edTagline->setText(ZQGesture1->Tagline());
    centreGesture();
    TrackBar1->setMaximum(std::max(1, ZQGesture1->Frames()->Count()));

    switch (ZQGesture1->AnimLoopOption()) {
    case aoPlayOnce:
        radAnimOnceClick();
        break;
    case aoLoop:
        spinAnimLoopFrame->setValue(ZQGesture1->AnimLoopFrame());
        radAnimLoopClick();
        break;
    case aoReverse:
        radAnimReverseClick();
        break;
    }

    if (ZQGesture1->TransparentColor() == clNone) {
        cbxTransparent->setChecked(false);
    } else {
        setTransColor(ZQGesture1->TransparentColor());
        cbxTransparent->setChecked(true);
    }

    if (ZQGesture1->AudioRepeat())
        radAudioLoopClick();
    else
        radAudioOnceClick();
    spinAudioLoopFrame->setValue(ZQGesture1->AudioLoopFrame());

    setPanel(pnlButtonFile, PanelState::Internal);
    btnSaveButtonImage->setEnabled(true);
    const bool hasFrames = ZQGesture1->Frames() != nullptr;
    setPanel(pnlAnimationFile, hasFrames ? PanelState::Internal : PanelState::NoneAfterOpen);
    btnSaveAnimation->setEnabled(hasFrames);
    setPanel(pnlAudioFile, ZQGesture1->HasAudio() ? PanelState::Internal : PanelState::NoneAfterOpen);
    btnSaveAudio->setEnabled(ZQGesture1->HasAudio());

    setWindowTitle(FileName);

    if (!ZQGesture1->Author().isEmpty()) {
        Edit2->setText(ZQGesture1->Author());
        Edit2->setEnabled(false);
    } else {
        Edit2->setEnabled(true);
        Edit2->clear();
    }

    TrackBar1->setEnabled(true);
    TrackBar1->setValue(ZQGesture1->CurrentFrame());
    TrackBar1->setMaximum(std::max(1, ZQGesture1->Frames()->Count()));
    setFrameLabel("Frame %d of %d");

    ShowGlyph();
    update();
    m_loading = false;
    UnsavedChanges = false;
}

void TfrmGestureWindow::edTaglineChange()
{
    const QString text = edTagline->text().left(255);
    noteChange(text != ZQGesture1->Tagline());
    ZQGesture1->setTagline(text);
    QCoreApplication::processEvents();
    UpdateFileCommands();
}

void TfrmGestureWindow::Edit2Change()
{
    if (!ZQGesture1)
        return;
    noteChange(Edit2->text() != ZQGesture1->Author());
    ZQGesture1->SetAuthor(Edit2->text());
    QCoreApplication::processEvents();
    UpdateFileCommands();
}

void TfrmGestureWindow::btnGestureClick()
{
    ZQGesture1->Play();
}

void TfrmGestureWindow::PageControl1Change()
{
    setHelpContext(PageControl1, PageControl1->currentWidget() == tabSettings ? 1200 : 1010);
}

void TfrmGestureWindow::radAnimOnceClick()
{
    radAnimLoop->setChecked(false);
    radAnimReverse->setChecked(false);
    spinAnimLoopFrame->setValue(1);
    spinAnimLoopFrame->setEnabled(false);
    radAnimOnce->setChecked(true);
    noteChange(ZQGesture1->AnimLoopOption() != aoPlayOnce);
    ZQGesture1->setAnimLoopOption(aoPlayOnce);
    UpdateFileCommands();
}

void TfrmGestureWindow::radAnimLoopClick()
{
    radAnimOnce->setChecked(false);
    radAnimReverse->setChecked(false);
    spinAnimLoopFrame->setEnabled(true);
    radAnimLoop->setChecked(true);
    noteChange(ZQGesture1->AnimLoopOption() != aoLoop);
    ZQGesture1->setAnimLoopOption(aoLoop);
    UpdateFileCommands();
}

void TfrmGestureWindow::radAnimReverseClick()
{
    radAnimOnce->setChecked(false);
    radAnimLoop->setChecked(false);
    spinAnimLoopFrame->setValue(1);
    spinAnimLoopFrame->setEnabled(false);
    radAnimReverse->setChecked(true);
    noteChange(ZQGesture1->AnimLoopOption() != aoReverse);
    ZQGesture1->setAnimLoopOption(aoReverse);
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

void TfrmGestureWindow::spinAnimLoopFrameChange()
{
    if (clampFrameField(spinAnimLoopFrame, TrackBar1->maximum()))
        return;
    const auto value = std::uint8_t(spinAnimLoopFrame->value());
    noteChange(value != ZQGesture1->AnimLoopFrame());
    ZQGesture1->setAnimLoopFrame(value);
    UpdateFileCommands();
}

void TfrmGestureWindow::spinAudioLoopFrameChange()
{
    if (clampFrameField(spinAudioLoopFrame, TrackBar1->maximum()))
        return;
    const auto value = std::uint8_t(spinAudioLoopFrame->value());
    noteChange(value != ZQGesture1->AudioLoopFrame() && ZQGesture1->Frames());
    ZQGesture1->setAudioLoopFrame(value);
    UpdateFileCommands();
}

void TfrmGestureWindow::radAudioOnceClick()
{
    // The option that is already ticked does nothing at all.
    if (!m_audioLoopTicked) {
        radAudioOnce->setChecked(true);
        return;
    }
    m_audioLoopTicked = false;
    radAudioOnce->setChecked(true);
    radAudioLoop->setChecked(false);
    noteChange(ZQGesture1->AudioRepeat());
    ZQGesture1->setAudioRepeat(false);
    UpdateFileCommands();
}

void TfrmGestureWindow::radAudioLoopClick()
{
    if (m_audioLoopTicked) {
        radAudioLoop->setChecked(true);
        return;
    }
    m_audioLoopTicked = true;
    radAudioOnce->setChecked(false);
    radAudioLoop->setChecked(true);
    noteChange(!ZQGesture1->AudioRepeat());
    ZQGesture1->setAudioRepeat(true);
    UpdateFileCommands();
}

void TfrmGestureWindow::cbxTransparentClick()
{
    const bool on = cbxTransparent->isChecked();
    sbnSelectTransparent->setEnabled(on);
    const TColor colour = on ? m_transColor : clNone;
    noteChange(colour != ZQGesture1->TransparentColor());
    ZQGesture1->setTransparentColor(colour);
    UpdateFileCommands();
}

void TfrmGestureWindow::TrackBar1Change()
{
    if (!ZQGesture1->Frames())
        return;
    if (!FrameChangeFromGesture)
        ZQGesture1->setCurrentFrame(std::uint8_t(TrackBar1->value()));
    setFrameLabel("Frame %d of %d");
    FrameChangeFromGesture = false;
}

void TfrmGestureWindow::ZQGesture1FrameChange()
{
    FrameChangeFromGesture = true;
    const int before = TrackBar1->value();
    TrackBar1->setValue(ZQGesture1->CurrentFrame());
    // When the slider did not move, no change handler ran to clear the
    // flag; clear it here so the user's next move still reaches the gesture.
    if (TrackBar1->value() == before)
        FrameChangeFromGesture = false;
}

void TfrmGestureWindow::closeEvent(QCloseEvent *event)
{
    if (!UnsavedChanges) {
        event->accept();
        return;
    }
    const QString name = ZQGesture1->Filename();
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
    try {
        if (m_host)
            m_host->Save1Click(this);
    } catch (const PlumoraError &error) {
        plumora::ui::showError(error.message());
        return;
    }
    // Closing only when the save really happened: a cancelled Save As
    // leaves the window open with its changes.
    if (!UnsavedChanges)
        event->accept();
}

void TfrmGestureWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_loading)
        return;
    const int half = width() / 2;
    Splitter1->setSizes({ half, std::max(0, width() - half - Splitter1->handleWidth()) });
}

void TfrmGestureWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    UpdateFileCommands();
}
