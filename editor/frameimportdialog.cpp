#include "frameimportdialog.h"

#include "gesturehost.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>

namespace {

QSpinBox *frameField(const QString &name, const QString &accessibleName)
{
    auto *spin = new QSpinBox;
    spin->setObjectName(name);
    spin->setAccessibleName(accessibleName);
    // Whole numbers from 1 up; the field cannot hold anything else.
    spin->setRange(1, INT_MAX);
    spin->setSingleStep(1);
    spin->setValue(1);
    return spin;
}

} // namespace

TfrmFrameImport::TfrmFrameImport(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFrameImport"));
    setWindowTitle(QStringLiteral("Import Frames"));

    pictureSizeLabel = new QLabel;
    pictureSizeLabel->setObjectName(QStringLiteral("pictureSizeLabel"));
    pictureSizeLabel->setTextFormat(Qt::PlainText);

    promptLabel = new QLabel(QStringLiteral("Please input one of the following values..."));
    promptLabel->setObjectName(QStringLiteral("promptLabel"));
    promptLabel->setWordWrap(true);

    frameCountRadio = new QRadioButton(QStringLiteral("Number of Frames:"));
    frameCountRadio->setObjectName(QStringLiteral("frameCountRadio"));
    frameCountRadio->setAccessibleName(frameCountRadio->text());
    frameCountSpin = frameField(QStringLiteral("frameCountSpin"), QStringLiteral("Number of Frames:"));

    orLabel = new QLabel(QStringLiteral("OR"));
    orLabel->setObjectName(QStringLiteral("orLabel"));
    orLabel->setAlignment(Qt::AlignCenter);

    frameWidthRadio = new QRadioButton(QStringLiteral("Frame Width:"));
    frameWidthRadio->setObjectName(QStringLiteral("frameWidthRadio"));
    frameWidthRadio->setAccessibleName(frameWidthRadio->text());
    frameWidthSpin = frameField(QStringLiteral("frameWidthSpin"), QStringLiteral("Frame Width:"));

    splitLabel = new QLabel;
    splitLabel->setObjectName(QStringLiteral("splitLabel"));
    splitLabel->setTextFormat(Qt::PlainText);
    splitLabel->setAccessibleName(QStringLiteral("Result"));

    okButton = new QPushButton(QStringLiteral("O&K"));
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setAccessibleName(QStringLiteral("OK"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Cancel"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setAccessibleName(QStringLiteral("Cancel"));

    auto *grid = new QGridLayout;
    grid->addWidget(frameCountRadio, 0, 0);
    grid->addWidget(frameCountSpin, 0, 1);
    grid->addWidget(orLabel, 1, 0, 1, 2);
    grid->addWidget(frameWidthRadio, 2, 0);
    grid->addWidget(frameWidthSpin, 2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pictureSizeLabel);
    layout->addWidget(promptLabel);
    layout->addLayout(grid);
    layout->addWidget(splitLabel);
    layout->addStretch();
    layout->addLayout(buttons);
    // At least its classic size, and as large as its captions need in the
    // font in use.
    resize(QSize(250, 214).expandedTo(sizeHint()));

    frameCountRadio->setChecked(true);
    markActive(frameCountSpin, frameWidthSpin);

    connect(frameCountRadio, &QRadioButton::toggled, this, plumora::ui::guardedCallback([this](bool on) {
        if (on)
            onFrameCountChosen();
    }));
    connect(frameWidthRadio, &QRadioButton::toggled, this, plumora::ui::guardedCallback([this](bool on) {
        if (on)
            onFrameWidthChosen();
    }));
    connect(frameCountSpin, &QSpinBox::valueChanged, this,
        plumora::ui::guardedCallback([this] { onFrameCountFieldUsed(); }));
    connect(frameWidthSpin, &QSpinBox::valueChanged, this,
        plumora::ui::guardedCallback([this] { onFrameWidthFieldUsed(); }));
    for (QRadioButton *choice : { frameCountRadio, frameWidthRadio })
        connect(choice, &QRadioButton::toggled, this, plumora::ui::guardedCallback([this] { showSplit(); }));
    for (QSpinBox *field : { frameCountSpin, frameWidthSpin })
        connect(field, &QSpinBox::valueChanged, this, plumora::ui::guardedCallback([this] { showSplit(); }));
    // Typing into a field ticks its choice even before the text is a number.
    connect(frameCountSpin->findChild<QLineEdit *>(), &QLineEdit::textEdited, this,
        plumora::ui::guardedCallback([this] { onFrameCountFieldUsed(); }));
    connect(frameWidthSpin->findChild<QLineEdit *>(), &QLineEdit::textEdited, this,
        plumora::ui::guardedCallback([this] { onFrameWidthFieldUsed(); }));
    m_fieldWatch = plumora::ui::guardedEventFilter(
        {}, [this](QObject *watched, QEvent *event) { return watchFields(watched, event); });
    for (QSpinBox *spin : { frameCountSpin, frameWidthSpin }) {
        spin->installEventFilter(m_fieldWatch.get());
        if (QLineEdit *edit = spin->findChild<QLineEdit *>())
            edit->installEventFilter(m_fieldWatch.get());
    }
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmFrameImport::markActive(QSpinBox *active, QSpinBox *inactive)
{
    const QPalette base = QApplication::palette();
    QPalette on = active->palette();
    on.setColor(QPalette::Base, base.color(QPalette::Base));
    active->setPalette(on);
    QPalette off = inactive->palette();
    off.setColor(QPalette::Base, base.color(QPalette::Button));
    inactive->setPalette(off);
}

void TfrmFrameImport::onFrameCountChosen()
{
    frameWidthRadio->setChecked(false);
    frameCountRadio->setChecked(true);
    markActive(frameCountSpin, frameWidthSpin);
}

void TfrmFrameImport::onFrameWidthChosen()
{
    frameCountRadio->setChecked(false);
    frameWidthRadio->setChecked(true);
    markActive(frameWidthSpin, frameCountSpin);
}

void TfrmFrameImport::onFrameCountFieldUsed()
{
    if (frameCountRadio->isChecked())
        markActive(frameCountSpin, frameWidthSpin);
    else
        frameCountRadio->setChecked(true); // runs onFrameCountChosen
}

void TfrmFrameImport::onFrameWidthFieldUsed()
{
    if (frameWidthRadio->isChecked())
        markActive(frameWidthSpin, frameCountSpin);
    else
        frameWidthRadio->setChecked(true); // runs onFrameWidthChosen
}

bool TfrmFrameImport::watchFields(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == frameCountSpin || watched->parent() == frameCountSpin)
            onFrameCountFieldUsed();
        else if (watched == frameWidthSpin || watched->parent() == frameWidthSpin)
            onFrameWidthFieldUsed();
    }
    return false;
}

TFrameSplit TfrmFrameImport::Choice() const
{
    TFrameSplit split;
    if (frameWidthRadio->isChecked()) {
        split.mode = TFrameSplit::FrameWidth;
        split.value = frameWidthSpin->value();
    } else {
        split.mode = TFrameSplit::FrameCount;
        split.value = frameCountSpin->value();
    }
    return split;
}

void TfrmFrameImport::showSplit()
{
    if (!m_picture.isValid()) {
        splitLabel->clear();
        return;
    }
    const TSplitPlan plan = PlanSplit(m_picture.width(), Choice());
    splitLabel->setText(plan.count == 1
            ? QStringLiteral("1 frame of %1 x %2").arg(plan.pieceWidth).arg(m_picture.height())
            : QStringLiteral("%1 frames of %2 x %3")
                  .arg(plan.count)
                  .arg(plan.pieceWidth)
                  .arg(m_picture.height()));
}

void TfrmFrameImport::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The chosen option's value is ready to be typed over, so a typed count
    // followed by Enter gives that count.
    QSpinBox *field = frameWidthRadio->isChecked() ? frameWidthSpin : frameCountSpin;
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

std::optional<TFrameSplit> TfrmFrameImport::Ask(QSize picture)
{
    m_picture = picture;
    pictureSizeLabel->setText(picture.isValid()
            ? QStringLiteral("Picture: %1 x %2 pixels").arg(picture.width()).arg(picture.height())
            : QString());
    pictureSizeLabel->setVisible(picture.isValid());
    showSplit();
    setResult(QDialog::Rejected);
    if (plumora::ui::execDialog(*this) != QDialog::Accepted)
        return std::nullopt;
    // A half-typed field (empty, or a lone sign) keeps its last whole number.
    frameCountSpin->interpretText();
    frameWidthSpin->interpretText();
    return Choice();
}

std::optional<TFrameSplit> askFrameSplit(IGestureHost *host, QWidget *parent, QSize picture)
{
    if (host)
        return host->AskFrameSplit(picture);
    TfrmFrameImport dialog(parent);
    return dialog.Ask(picture);
}
