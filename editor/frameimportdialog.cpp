#include "frameimportdialog.h"

#include "platform/ui/dialogs.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
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
    setFixedSize(250, 214);

    Label3 = new QLabel(QStringLiteral("Please input one of the following values..."));
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setWordWrap(true);

    btnFrameCount = new QRadioButton(QStringLiteral("Number of Frames:"));
    btnFrameCount->setObjectName(QStringLiteral("btnFrameCount"));
    btnFrameCount->setAccessibleName(btnFrameCount->text());
    spinFrameCount = frameField(QStringLiteral("spinFrameCount"), QStringLiteral("Number of Frames:"));

    Label2 = new QLabel(QStringLiteral("OR"));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);

    btnFrameWidth = new QRadioButton(QStringLiteral("Frame Width:"));
    btnFrameWidth->setObjectName(QStringLiteral("btnFrameWidth"));
    btnFrameWidth->setAccessibleName(btnFrameWidth->text());
    spinFrameWidth = frameField(QStringLiteral("spinFrameWidth"), QStringLiteral("Frame Width:"));

    Button1 = new QPushButton(QStringLiteral("O&K"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAccessibleName(QStringLiteral("OK"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancel"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAccessibleName(QStringLiteral("Cancel"));

    auto *grid = new QGridLayout;
    grid->addWidget(btnFrameCount, 0, 0);
    grid->addWidget(spinFrameCount, 0, 1);
    grid->addWidget(Label2, 1, 0, 1, 2);
    grid->addWidget(btnFrameWidth, 2, 0);
    grid->addWidget(spinFrameWidth, 2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label3);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);

    btnFrameCount->setChecked(true);
    markActive(spinFrameCount, spinFrameWidth);

    connect(btnFrameCount, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            btnFrameCountClick();
    });
    connect(btnFrameWidth, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            btnFrameWidthClick();
    });
    connect(spinFrameCount, &QSpinBox::valueChanged, this, [this] { spinFrameCountClick(); });
    connect(spinFrameWidth, &QSpinBox::valueChanged, this, [this] { spinFrameWidthClick(); });
    // Typing into a field ticks its choice even before the text is a number.
    connect(spinFrameCount->findChild<QLineEdit *>(), &QLineEdit::textEdited, this,
        [this] { spinFrameCountClick(); });
    connect(spinFrameWidth->findChild<QLineEdit *>(), &QLineEdit::textEdited, this,
        [this] { spinFrameWidthClick(); });
    for (QSpinBox *spin : { spinFrameCount, spinFrameWidth }) {
        spin->installEventFilter(this);
        if (QLineEdit *edit = spin->findChild<QLineEdit *>())
            edit->installEventFilter(this);
    }
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
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

void TfrmFrameImport::btnFrameCountClick()
{
    btnFrameWidth->setChecked(false);
    btnFrameCount->setChecked(true);
    markActive(spinFrameCount, spinFrameWidth);
}

void TfrmFrameImport::btnFrameWidthClick()
{
    btnFrameCount->setChecked(false);
    btnFrameWidth->setChecked(true);
    markActive(spinFrameWidth, spinFrameCount);
}

void TfrmFrameImport::spinFrameCountClick()
{
    if (btnFrameCount->isChecked())
        markActive(spinFrameCount, spinFrameWidth);
    else
        btnFrameCount->setChecked(true); // runs btnFrameCountClick
}

void TfrmFrameImport::spinFrameWidthClick()
{
    if (btnFrameWidth->isChecked())
        markActive(spinFrameWidth, spinFrameCount);
    else
        btnFrameWidth->setChecked(true); // runs btnFrameWidthClick
}

bool TfrmFrameImport::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == spinFrameCount || watched->parent() == spinFrameCount)
            spinFrameCountClick();
        else if (watched == spinFrameWidth || watched->parent() == spinFrameWidth)
            spinFrameWidthClick();
    }
    return QDialog::eventFilter(watched, event);
}

TFrameSplit TfrmFrameImport::Choice() const
{
    TFrameSplit split;
    if (btnFrameWidth->isChecked()) {
        split.mode = TFrameSplit::FrameWidth;
        split.value = spinFrameWidth->value();
    } else {
        split.mode = TFrameSplit::FrameCount;
        split.value = spinFrameCount->value();
    }
    return split;
}

std::optional<TFrameSplit> TfrmFrameImport::Ask()
{
    setResult(QDialog::Rejected);
    if (plumora::ui::execDialog(*this) != QDialog::Accepted)
        return std::nullopt;
    // A half-typed field (empty, or a lone sign) keeps its last whole number.
    spinFrameCount->interpretText();
    spinFrameWidth->interpretText();
    return Choice();
}

TfrmFrameImport &frmFrameImport()
{
    // Parentless and never owned by a window: gesture windows come and go,
    // the dialog stays. It goes when the application quits; without a
    // running event loop (tests) it simply lives until the process ends.
    static QPointer<TfrmFrameImport> instance;
    if (!instance) {
        instance = new TfrmFrameImport;
        if (QCoreApplication *app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, instance.data(), &QObject::deleteLater);
    }
    return *instance;
}
