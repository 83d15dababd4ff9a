#include "clipdialog.h"

#include "media/soundimport.h"
#include "platform/errors.h"
#include "platform/ui/application.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The pictures are shown at most this large.
const QSize kPictureBox(192, 144);

QString secondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1);
}

} // namespace

std::optional<qint64> ParseClipTime(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*(?:(\\d+):)?(?:(\\d+):)?(\\d+(?:[.,]\\d*)?|[.,]\\d+)\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    // One colon: m:ss; two: h:mm:ss.
    const QString first = match.captured(1), second = match.captured(2);
    const QString hours = second.isEmpty() ? QString() : first;
    const QString minutes = second.isEmpty() ? first : second;
    const double seconds = QString(match.captured(3)).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
    const bool colon = !first.isEmpty();
    if ((colon && seconds >= 60) || (!hours.isEmpty() && minutes.toInt() >= 60))
        return std::nullopt;
    const double total = hours.toDouble() * 3600 + minutes.toDouble() * 60 + seconds;
    if (!std::isfinite(total) || total > 1e9)
        return std::nullopt;
    return qint64(std::llround(total * 1000));
}

QString ClipTimeText(qint64 ms)
{
    const qint64 tenths = (std::max<qint64>(0, ms) + 50) / 100;
    const qint64 seconds = tenths / 10, hours = seconds / 3600, minutes = seconds / 60 % 60;
    QString text = hours ? QStringLiteral("%1:%2:").arg(hours).arg(minutes, 2, 10, QLatin1Char('0'))
                         : QStringLiteral("%1:").arg(minutes);
    text += QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (tenths % 10)
        text += QStringLiteral(".%1").arg(tenths % 10);
    return text;
}

TClipDialog::TClipDialog(TClipReader &reader, QWidget *parent) : QDialog(parent), m_reader(reader)
{
    setObjectName(QStringLiteral("clipDialog"));
    setWindowTitle(QStringLiteral("Import Video Clip"));
    m_span = reader.Normalized({});

    lengthLabel = new QLabel(this);
    lengthLabel->setObjectName(QStringLiteral("lengthLabel"));
    lengthLabel->setTextFormat(Qt::PlainText);
    const QSize size = reader.FrameSize();
    lengthLabel->setText(QStringLiteral("%1: %2, %3 \u00d7 %4 pixels (%5)")
                             .arg(QFileInfo(reader.Name()).fileName(),
                                 reader.DurationMs() >= 0 ? ClipTimeText(reader.DurationMs())
                                                          : QStringLiteral("length unknown"))
                             .arg(size.width())
                             .arg(size.height())
                             .arg(reader.Description()));

    auto makePicture = [this](const char *name) {
        auto *label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(name));
        label->setFixedSize(kPictureBox);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        return label;
    };
    startPicture = makePicture("startPicture");
    endPicture = makePicture("endPicture");
    startEdit = new QLineEdit(ClipTimeText(m_span.StartMs), this);
    startEdit->setObjectName(QStringLiteral("startEdit"));
    endEdit = new QLineEdit(ClipTimeText(m_span.EndMs), this);
    endEdit->setObjectName(QStringLiteral("endEdit"));
    for (QLineEdit *edit : { startEdit, endEdit })
        edit->setToolTip(QStringLiteral("Seconds (12.5) or minutes and seconds (1:02.5)"));

    auto *grid = new QGridLayout;
    auto *startCaption = new QLabel(QStringLiteral("&Start:"), this);
    auto *endCaption = new QLabel(QStringLiteral("&End:"), this);
    startCaption->setBuddy(startEdit);
    endCaption->setBuddy(endEdit);
    startEdit->setAccessibleName(QStringLiteral("Start"));
    endEdit->setAccessibleName(QStringLiteral("End"));
    startPicture->setAccessibleName(QStringLiteral("Picture at the start"));
    endPicture->setAccessibleName(QStringLiteral("Picture at the end"));
    grid->addWidget(startPicture, 0, 0, 1, 2);
    grid->addWidget(endPicture, 0, 2, 1, 2);
    grid->addWidget(startCaption, 1, 0);
    grid->addWidget(startEdit, 1, 1);
    grid->addWidget(endCaption, 1, 2);
    grid->addWidget(endEdit, 1, 3);

    spanLabel = new QLabel(this);
    spanLabel->setObjectName(QStringLiteral("spanLabel"));
    soundCheck = new QCheckBox(QStringLiteral("Take the clip's s&ound as the gesture's sound"), this);
    soundCheck->setObjectName(QStringLiteral("soundCheck"));
    soundCheck->setChecked(reader.HasSound());
    soundCheck->setEnabled(reader.HasSound());
    m_soundWanted = reader.HasSound();
    connect(soundCheck, &QCheckBox::clicked, this, [this](bool on) { m_soundWanted = on; });
    if (!reader.HasSound())
        soundCheck->setText(QStringLiteral("The clip has no sound"));

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Import"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *column = new QVBoxLayout(this);
    column->addWidget(lengthLabel);
    column->addLayout(grid);
    column->addWidget(spanLabel);
    column->addWidget(soundCheck);
    column->addWidget(buttons);

    // Seeking for a picture takes a moment, so typing shows the pictures
    // once it pauses; the numbers follow every key.
    pictureTimer = new QTimer(this);
    pictureTimer->setSingleShot(true);
    pictureTimer->setInterval(300);
    connect(pictureTimer, &QTimer::timeout, this, plumora::ui::guardedCallback([this] { showPictures(); }));
    for (QLineEdit *edit : { startEdit, endEdit })
        connect(edit, &QLineEdit::textChanged, this, plumora::ui::guardedCallback([this] { spanEdited(); }));
    spanEdited();
    showPictures();
}

void TClipDialog::spanEdited()
{
    const std::optional<qint64> start = ParseClipTime(startEdit->text());
    const std::optional<qint64> end
        = endEdit->text().trimmed().isEmpty() ? std::optional<qint64>(-1) : ParseClipTime(endEdit->text());
    const qint64 duration = m_reader.DurationMs();
    QString problem;
    if (!start || !end)
        problem = QStringLiteral("Enter the times in seconds (12.5) or minutes and seconds (1:02.5).");
    else if (duration >= 0 && *start >= duration)
        problem
            = QStringLiteral("The start must lie before the clip's end (%1).").arg(ClipTimeText(duration));
    else if (*end >= 0 && *end <= *start)
        problem = QStringLiteral("The end must lie after the start.");
    m_valid = problem.isEmpty();
    buttons->button(QDialogButtonBox::Ok)->setEnabled(m_valid);
    if (!m_valid) {
        spanLabel->setText(problem);
        return;
    }
    m_span = m_reader.Normalized({ *start, *end });
    const qint64 length = m_span.EndMs - m_span.StartMs;
    const int frames = m_reader.TickCount(m_span);
    QString text
        = QStringLiteral("%1 %2 of 250 ms, %3 s")
              .arg(frames)
              .arg(frames == 1 ? QStringLiteral("frame") : QStringLiteral("frames"), secondsText(length));
    if (frames > kMaxFrameCount)
        text += QStringLiteral(" (a gesture holds the first %1)").arg(kMaxFrameCount);
    // The longest sound that fits at all: 4,000 Hz 8-bit mono.
    const qint64 longest = LongestFittingMs({ 4000, 1, 8 }, kMaxBlockBytes);
    if (m_reader.HasSound()) {
        const bool fits = length <= longest;
        soundCheck->setEnabled(fits);
        soundCheck->setChecked(fits && m_soundWanted);
        if (!fits)
            text += QStringLiteral("; its sound is too long to come along (at most %1 s fit)")
                        .arg(secondsText(longest / 100 * 100)); // rounded down: no more than fits
    }
    spanLabel->setText(text);
    pictureTimer->start();
}

void TClipDialog::showPictures()
{
    const auto show = [this](QLabel *label, qint64 ms) {
        QImage picture;
        try {
            picture = m_reader.FrameAt(ms, kPictureBox - QSize(4, 4));
        } catch (const PlumoraError &) {
            // A damaged stretch shows no picture; the import says why.
        }
        if (picture.isNull())
            label->setText(QStringLiteral("(None)"));
        else
            label->setPixmap(QPixmap::fromImage(picture));
    };
    show(startPicture, m_span.StartMs);
    // The last picture of the span: the one showing just before its end.
    show(endPicture, std::max(m_span.StartMs, m_span.EndMs - 1));
}

TClipSpan TClipDialog::Span() const
{
    return m_span;
}

bool TClipDialog::TakesSound() const
{
    return soundCheck->isChecked() && soundCheck->isEnabled();
}

QString TClipDialog::SpanText() const
{
    return spanLabel->text();
}
