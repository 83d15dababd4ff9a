#include "frameimportdialog.h"

#include "gesturehost.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"
#include "ui_frameimportdialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>

TfrmFrameImport::TfrmFrameImport(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmFrameImport>())
{
    ui->setupUi(this);
    // At least its classic size, and as large as its captions need in the
    // font in use.
    resize(QSize(250, 214).expandedTo(sizeHint()));

    markActive(ui->frameCountSpin, ui->frameWidthSpin);

    connect(ui->frameCountRadio, &QRadioButton::toggled, this, plumora::ui::guardedCallback([this](bool on) {
        if (on)
            onFrameCountChosen();
    }));
    connect(ui->frameWidthRadio, &QRadioButton::toggled, this, plumora::ui::guardedCallback([this](bool on) {
        if (on)
            onFrameWidthChosen();
    }));
    connect(ui->frameCountSpin, &QSpinBox::valueChanged, this,
        plumora::ui::guardedCallback([this] { onFrameCountFieldUsed(); }));
    connect(ui->frameWidthSpin, &QSpinBox::valueChanged, this,
        plumora::ui::guardedCallback([this] { onFrameWidthFieldUsed(); }));
    for (QRadioButton *choice : { ui->frameCountRadio, ui->frameWidthRadio })
        connect(choice, &QRadioButton::toggled, this, plumora::ui::guardedCallback([this] { showSplit(); }));
    for (QSpinBox *field : { ui->frameCountSpin, ui->frameWidthSpin })
        connect(field, &QSpinBox::valueChanged, this, plumora::ui::guardedCallback([this] { showSplit(); }));
    // Typing into a field ticks its choice even before the text is a number.
    connect(ui->frameCountSpin->findChild<QLineEdit *>(), &QLineEdit::textEdited, this,
        plumora::ui::guardedCallback([this] { onFrameCountFieldUsed(); }));
    connect(ui->frameWidthSpin->findChild<QLineEdit *>(), &QLineEdit::textEdited, this,
        plumora::ui::guardedCallback([this] { onFrameWidthFieldUsed(); }));
    m_fieldWatch = plumora::ui::guardedEventFilter(
        {}, [this](QObject *watched, QEvent *event) { return watchFields(watched, event); });
    for (QSpinBox *spin : { ui->frameCountSpin, ui->frameWidthSpin }) {
        spin->installEventFilter(m_fieldWatch.get());
        if (QLineEdit *edit = spin->findChild<QLineEdit *>())
            edit->installEventFilter(m_fieldWatch.get());
    }
    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmFrameImport::~TfrmFrameImport() = default;

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
    ui->frameWidthRadio->setChecked(false);
    ui->frameCountRadio->setChecked(true);
    markActive(ui->frameCountSpin, ui->frameWidthSpin);
}

void TfrmFrameImport::onFrameWidthChosen()
{
    ui->frameCountRadio->setChecked(false);
    ui->frameWidthRadio->setChecked(true);
    markActive(ui->frameWidthSpin, ui->frameCountSpin);
}

void TfrmFrameImport::onFrameCountFieldUsed()
{
    if (ui->frameCountRadio->isChecked())
        markActive(ui->frameCountSpin, ui->frameWidthSpin);
    else
        ui->frameCountRadio->setChecked(true); // runs onFrameCountChosen
}

void TfrmFrameImport::onFrameWidthFieldUsed()
{
    if (ui->frameWidthRadio->isChecked())
        markActive(ui->frameWidthSpin, ui->frameCountSpin);
    else
        ui->frameWidthRadio->setChecked(true); // runs onFrameWidthChosen
}

bool TfrmFrameImport::watchFields(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == ui->frameCountSpin || watched->parent() == ui->frameCountSpin)
            onFrameCountFieldUsed();
        else if (watched == ui->frameWidthSpin || watched->parent() == ui->frameWidthSpin)
            onFrameWidthFieldUsed();
    }
    return false;
}

TFrameSplit TfrmFrameImport::Choice() const
{
    TFrameSplit split;
    if (ui->frameWidthRadio->isChecked()) {
        split.mode = TFrameSplit::FrameWidth;
        split.value = ui->frameWidthSpin->value();
    } else {
        split.mode = TFrameSplit::FrameCount;
        split.value = ui->frameCountSpin->value();
    }
    return split;
}

void TfrmFrameImport::showSplit()
{
    if (!m_picture.isValid()) {
        ui->splitLabel->clear();
        return;
    }
    const TSplitPlan plan = PlanSplit(m_picture.width(), Choice());
    ui->splitLabel->setText(plan.count == 1
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
    QSpinBox *field = ui->frameWidthRadio->isChecked() ? ui->frameWidthSpin : ui->frameCountSpin;
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

std::optional<TFrameSplit> TfrmFrameImport::Ask(QSize picture)
{
    m_picture = picture;
    ui->pictureSizeLabel->setText(picture.isValid()
            ? QStringLiteral("Picture: %1 x %2 pixels").arg(picture.width()).arg(picture.height())
            : QString());
    ui->pictureSizeLabel->setVisible(picture.isValid());
    showSplit();
    setResult(QDialog::Rejected);
    if (plumora::ui::execDialog(*this) != QDialog::Accepted)
        return std::nullopt;
    // A half-typed field (empty, or a lone sign) keeps its last whole number.
    ui->frameCountSpin->interpretText();
    ui->frameWidthSpin->interpretText();
    return Choice();
}

std::optional<TFrameSplit> askFrameSplit(IGestureHost *host, QWidget *parent, QSize picture)
{
    if (host)
        return host->AskFrameSplit(picture);
    TfrmFrameImport dialog(parent);
    return dialog.Ask(picture);
}
