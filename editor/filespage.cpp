#include "filespage.h"

#include "ansifield.h"
#include "gesture/buttonfit.h"
#include "gesture/gesturehistory.h"
#include "platform/ui/application.h"
#include "ui_filespage.h"

#include <QStyle>

#include <algorithm>

using plumora::ui::guardedCallback;

namespace {

// The text a row's panel shows for where its part came from.
QString originText(const TPartOrigin &origin)
{
    switch (origin.kind) {
    case TPartOrigin::None:
        return QStringLiteral("<none>");
    case TPartOrigin::NoneInFile:
        return QStringLiteral("<None>");
    case TPartOrigin::Internal:
        return QStringLiteral("> Internal <");
    case TPartOrigin::File:
        break;
    }
    return origin.path;
}

// A row's panel: sunken, its own texts always fit, and a long path does not
// widen the window (the tool tip shows it whole).
void setUpPanel(QLabel *panel)
{
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    const QFont plain = panel->font();
    QFont italic = plain;
    italic.setItalic(true);
    panel->setFont(italic);
    panel->setText(QStringLiteral("> Internal <"));
    panel->setMinimumWidth(panel->minimumSizeHint().width());
    panel->setFont(plain);
    panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

// A row's button: narrower than a dialog's buttons when the window is small,
// never narrower than its caption.
void setUpRowButton(QPushButton *button)
{
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button)
        + button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 2 * margin);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

} // namespace

TFilesPage::TFilesPage(TZQGesture &gesture, TGestureHistory &history, QWidget *parent)
    : QWidget(parent), m_gesture(gesture), m_history(history), ui(std::make_unique<Ui::TFilesPage>())
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("filesPage"));
    for (QLabel *panel : { ui->buttonImageFileLabel, ui->animationFileLabel, ui->audioFileLabel })
        setUpPanel(panel);
    // The Audio row's Remove makes the gesture silent again.
    audioRemoveButton = new QPushButton(QStringLiteral("Remove"), this);
    audioRemoveButton->setObjectName(QStringLiteral("audioRemoveButton"));
    audioRemoveButton->setAccessibleName(QStringLiteral("Remove"));
    audioRemoveButton->setToolTip(QStringLiteral("Remove the sound"));
    audioRemoveButton->setProperty("helpContext", 1050);
    ui->filesLayout->addWidget(audioRemoveButton, 3, 4);
    for (QPushButton *button :
        { ui->buttonImageLoadButton, ui->buttonImageSaveButton, ui->animationLoadButton,
            ui->animationSaveButton, ui->audioLoadButton, ui->audioSaveButton, audioRemoveButton })
        setUpRowButton(button);
    connect(audioRemoveButton, &QPushButton::clicked, this, [this] { emit removeSoundRequested(); });
    connect(&gesture, &TZQGesture::audioChanged, audioRemoveButton,
        [this] { audioRemoveButton->setEnabled(m_gesture.HasAudio()); });
    audioRemoveButton->setEnabled(gesture.HasAudio());

    // The text fields: typing is one step until the field loses the focus.
    bindTextField(ui->taglineEdit, QStringLiteral("Edit Tagline"), TGestureHistory::TaglineMerge,
        [this](const QString &text) { m_gesture.setTagline(text); });
    bindTextField(ui->authorEdit, QStringLiteral("Edit Author"), TGestureHistory::AuthorMerge,
        [this](const QString &text) { m_gesture.SetAuthor(text); });
    connect(&gesture, &TZQGesture::taglineChanged, this, [this](const QString &text) {
        if (ui->taglineEdit->text() != text)
            ui->taglineEdit->setText(text);
    });
    connect(&gesture, &TZQGesture::authorChanged, this, [this](const QString &text) {
        if (ui->authorEdit->text() != text)
            ui->authorEdit->setText(text);
    });
    connect(&gesture, &TZQGesture::authorLockedChanged, ui->authorEdit, &QWidget::setDisabled);

    const struct
    {
        TGesturePart part;
        QPushButton *load, *save;
    } rows[] = {
        { TGesturePart::Button, ui->buttonImageLoadButton, ui->buttonImageSaveButton },
        { TGesturePart::Animation, ui->animationLoadButton, ui->animationSaveButton },
        { TGesturePart::Audio, ui->audioLoadButton, ui->audioSaveButton },
    };
    for (const auto &row : rows) {
        connect(row.load, &QPushButton::clicked, this, [this, part = row.part] { emit loadRequested(part); });
        connect(row.save, &QPushButton::clicked, this, [this, part = row.part] { emit saveRequested(part); });
        showOrigin(row.part);
    }
    connect(&gesture, &TZQGesture::originChanged, this,
        guardedCallback([this](TGesturePart part) { showOrigin(part); }));
    connect(ui->previewButton, &QToolButton::clicked, this, [this] { emit playRequested(); });
    connect(&gesture, &TZQGesture::glyphChanged, this, guardedCallback([this] { showGlyph(); }));
    showGlyph();
}

TFilesPage::~TFilesPage()
{
    // The fields still signal as they go (a lost focus); the gesture they
    // would reach may already be gone.
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
}

void TFilesPage::bindTextField(
    QLineEdit *field, const QString &stepName, int merge, std::function<void(const QString &)> set)
{
    connect(field, &QLineEdit::textChanged, this,
        guardedCallback([this, stepName, merge, set = std::move(set)](const QString &text) {
            const TGestureHistory::Step step(m_history, stepName, merge);
            set(text);
        }));
    connect(field, &QLineEdit::editingFinished, this, [this] { m_history.EndTyping(); });
    AcceptOnlyStorableText(
        field, [this](const QString &character) { emit noteRequested(UnstorableCharacterNote(character)); });
}

QWidget *TFilesPage::FirstField() const
{
    return ui->taglineEdit;
}

QLabel *TFilesPage::originLabel(TGesturePart part) const
{
    switch (part) {
    case TGesturePart::Button:
        return ui->buttonImageFileLabel;
    case TGesturePart::Animation:
        return ui->animationFileLabel;
    case TGesturePart::Audio:
        break;
    }
    return ui->audioFileLabel;
}

void TFilesPage::showOrigin(TGesturePart part)
{
    const TPartOrigin origin = m_gesture.Origin(part);
    QLabel *label = originLabel(part);
    QFont font = label->font();
    font.setItalic(origin.kind == TPartOrigin::Internal);
    label->setFont(font);
    label->setText(originText(origin));
    label->setToolTip(origin.kind == TPartOrigin::File ? origin.path : QString());
    // A part can be saved once the gesture has one.
    QPushButton *save = part == TGesturePart::Button ? ui->buttonImageSaveButton
        : part == TGesturePart::Animation            ? ui->animationSaveButton
                                                     : ui->audioSaveButton;
    save->setEnabled(origin.kind == TPartOrigin::Internal || origin.kind == TPartOrigin::File);
}

void TFilesPage::showGlyph()
{
    const QImage glyph = m_gesture.Glyph().image();
    const QImage shown = glyph.isNull() ? ButtonPlaceholderPicture().image() : glyph;
    // Enlarged by whole pixels, so the picture stays sharp.
    ui->previewButton->setIcon(QIcon(QPixmap::fromImage(
        shown.scaled(shown.size() * m_buttonZoom, Qt::IgnoreAspectRatio, Qt::FastTransformation))));
}

void TFilesPage::setButtonZoom(int factor)
{
    factor = std::clamp(factor, 1, 3);
    if (factor == m_buttonZoom)
        return;
    m_buttonZoom = factor;
    const QSize icon(18 * factor, 18 * factor);
    ui->previewButton->setIconSize(icon);
    ui->previewButton->setFixedSize(icon + QSize(7, 7));
    showGlyph();
}

std::optional<TGesturePart> TFilesPage::PartAt(QPoint point) const
{
    const auto *grid = ui->filesLayout;
    const int gap = grid->verticalSpacing() / 2 + 1;
    for (int row = 0; row < grid->rowCount(); ++row) {
        const QRect cell = grid->cellRect(row, 0);
        if (point.y() < cell.top() - gap || point.y() > cell.bottom() + gap)
            continue;
        const QLayoutItem *first = grid->itemAtPosition(row, 0);
        const QLayoutItem *panel = grid->itemAtPosition(row, 1);
        const QWidget *widget = panel ? panel->widget() : nullptr;
        if (widget == ui->animationFileLabel)
            return TGesturePart::Animation;
        if (widget == ui->audioFileLabel)
            return TGesturePart::Audio;
        if (widget == ui->buttonImageFileLabel || (first && first->widget() == ui->previewButtonPanel))
            return TGesturePart::Button;
        return std::nullopt;
    }
    return std::nullopt;
}
