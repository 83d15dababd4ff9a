#include "fitanimationdialog.h"

#include "gesture/framelist.h"
#include "gesture/zqgesture.h"
#include "platform/ui/application.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

using plumora::ui::guardedCallback;

// Plays frames one every 250 ms, as a gesture plays them, drawn through
// their masks on the test background and centred.
class TFitPreview : public QWidget
{
public:
    explicit TFitPreview(QWidget *parent = nullptr) : QWidget(parent), m_timer(new QTimer(this))
    {
        setObjectName(QStringLiteral("preview"));
        setAccessibleName(QStringLiteral("Preview"));
        setMinimumSize(kMaxFrameWidth + 4, 225 + 4);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        m_timer->setInterval(250);
        connect(m_timer, &QTimer::timeout, this, [this] {
            if (m_frames && m_frames->Count() > 0)
                m_index = (m_index + 1) % m_frames->Count();
            update();
        });
    }

    void setFrames(std::shared_ptr<const TFrameList> frames)
    {
        m_frames = std::move(frames);
        if (!m_frames || m_index >= m_frames->Count())
            m_index = 0;
        if (m_frames && m_frames->Count() > 1)
            m_timer->start();
        else
            m_timer->stop();
        update();
    }
    void setBackground(TColor colour)
    {
        m_background = colour;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Window));
        if (!m_frames || m_frames->Count() == 0)
            return;
        const QRect frame(QPoint((width() - m_frames->Width()) / 2, (height() - m_frames->Height()) / 2),
            QSize(m_frames->Width(), m_frames->Height()));
        painter.fillRect(frame, toQColor(m_background));
        m_frames->Draw(painter, frame.topLeft(), m_index);
    }

private:
    QTimer *m_timer;
    std::shared_ptr<const TFrameList> m_frames;
    int m_index = 0;
    TColor m_background = 0x00808080;
};

namespace {

QSpinBox *spinBox(const QString &name, int low, int high)
{
    auto *spin = new QSpinBox;
    spin->setObjectName(name);
    spin->setRange(low, high);
    return spin;
}

QLabel *label(const QString &name, const QString &text, QWidget *buddy = nullptr)
{
    auto *l = new QLabel(text);
    l->setObjectName(name);
    if (buddy) {
        l->setBuddy(buddy);
        buddy->setAccessibleName(QString(text).remove(QLatin1Char('&')).remove(QLatin1Char(':')));
    }
    return l;
}

QString bytes(qsizetype count)
{
    return QLocale().toString(qlonglong(count));
}

} // namespace

TFitAnimationDialog::TFitAnimationDialog(QWidget *parent)
    : QDialog(parent), m_cancel(std::make_shared<std::atomic<bool>>(false))
{
    setObjectName(QStringLiteral("fitAnimationDialog"));
    setWindowTitle(QStringLiteral("Fit Animation"));
    m_worker.setMaxThreadCount(1);
    buildControls();
}

TFitAnimationDialog::~TFitAnimationDialog()
{
    // The worker posts its result to this dialog: it must end first.
    m_cancel->store(true);
    m_worker.waitForDone();
}

void TFitAnimationDialog::buildControls()
{
    introLabel = label(QStringLiteral("introLabel"), {});
    introLabel->setWordWrap(true);
    introLabel->setTextFormat(Qt::PlainText);
    introLabel->hide();

    preview = new TFitPreview;

    speedGroup = new QGroupBox(QStringLiteral("Speed"));
    speedGroup->setObjectName(QStringLiteral("speedGroup"));
    keepSpeedRadio = new QRadioButton;
    keepSpeedRadio->setObjectName(QStringLiteral("keepSpeedRadio"));
    everyFrameRadio = new QRadioButton;
    everyFrameRadio->setObjectName(QStringLiteral("everyFrameRadio"));
    auto *speedLayout = new QVBoxLayout(speedGroup);
    speedLayout->addWidget(keepSpeedRadio);
    speedLayout->addWidget(everyFrameRadio);
    speedGroup->hide();

    blockGauge = new QProgressBar;
    blockGauge->setObjectName(QStringLiteral("blockGauge"));
    blockGauge->setRange(0, kMaxBlockBytes);
    blockGauge->setTextVisible(false);
    blockLabel = label(QStringLiteral("blockLabel"), QStringLiteral("Animation block:"), blockGauge);
    blockSizeLabel = label(QStringLiteral("blockSizeLabel"), {});
    blockSizeLabel->setTextFormat(Qt::PlainText);
    blockSizeLabel->setAccessibleName(QStringLiteral("Animation block size"));

    frameSizeSlider = new QSlider(Qt::Horizontal);
    frameSizeSlider->setObjectName(QStringLiteral("frameSizeSlider"));
    frameSizeLabel = label(QStringLiteral("frameSizeLabel"), QStringLiteral("Frame &size:"), frameSizeSlider);
    frameSizeText = label(QStringLiteral("frameSizeText"), {});
    frameSizeText->setMinimumWidth(
        frameSizeText->fontMetrics().horizontalAdvance(QStringLiteral("255 \u00d7 255 pixels (100 %)")));

    coloursSpin = spinBox(QStringLiteral("coloursSpin"), 2, 256);
    coloursSpin->setValue(256);
    coloursLabel = label(QStringLiteral("coloursLabel"), QStringLiteral("&Colours:"), coloursSpin);

    everySpin = spinBox(QStringLiteral("everySpin"), 1, 1);
    everyLabel = label(QStringLiteral("everyLabel"), QStringLiteral("Take 1 frame in &every:"), everySpin);
    firstFrameSpin = spinBox(QStringLiteral("firstFrameSpin"), 1, 1);
    firstLabel = label(QStringLiteral("firstLabel"), QStringLiteral("&from frame:"), firstFrameSpin);
    lastFrameSpin = spinBox(QStringLiteral("lastFrameSpin"), 1, 1);
    lastLabel = label(QStringLiteral("lastLabel"), QStringLiteral("&to:"), lastFrameSpin);
    framesText = label(QStringLiteral("framesText"), {});

    buttonPictureCheck = new QCheckBox(QStringLiteral("Make the &button picture from the first frame"));
    buttonPictureCheck->setObjectName(QStringLiteral("buttonPictureCheck"));
    buttonPictureCheck->setChecked(true);
    buttonPictureCheck->hide();

    fitButton = new QPushButton(QStringLiteral("F&it"));
    fitButton->setObjectName(QStringLiteral("fitButton"));
    fitButton->setToolTip(QStringLiteral("Find the largest frames, with the most colours, that fit"));
    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->addButton(fitButton, QDialogButtonBox::ActionRole);

    auto *knobs = new QGridLayout;
    knobs->addWidget(blockLabel, 0, 0);
    knobs->addWidget(blockGauge, 0, 1, 1, 5);
    knobs->addWidget(blockSizeLabel, 1, 1, 1, 5);
    knobs->addWidget(frameSizeLabel, 2, 0);
    knobs->addWidget(frameSizeSlider, 2, 1, 1, 4);
    knobs->addWidget(frameSizeText, 2, 5);
    knobs->addWidget(coloursLabel, 3, 0);
    knobs->addWidget(coloursSpin, 3, 1);
    knobs->addWidget(everyLabel, 4, 0);
    knobs->addWidget(everySpin, 4, 1);
    knobs->addWidget(firstLabel, 4, 2);
    knobs->addWidget(firstFrameSpin, 4, 3);
    knobs->addWidget(lastLabel, 4, 4);
    knobs->addWidget(lastFrameSpin, 4, 5);
    knobs->addWidget(framesText, 5, 1, 1, 5);
    knobs->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(introLabel);
    layout->addWidget(preview, 1);
    layout->addWidget(speedGroup);
    layout->addLayout(knobs);
    layout->addWidget(buttonPictureCheck);
    layout->addWidget(buttonBox);

    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(fitButton, &QPushButton::clicked, this, guardedCallback([this] { runFit(); }));
    connect(keepSpeedRadio, &QRadioButton::toggled, this, guardedCallback([this](bool on) {
        if (on && !m_syncing)
            chooseSource(0);
    }));
    connect(everyFrameRadio, &QRadioButton::toggled, this, guardedCallback([this](bool on) {
        if (on && !m_syncing)
            chooseSource(1);
    }));
    connect(frameSizeSlider, &QSlider::valueChanged, this, guardedCallback([this] {
        showFrameSizeText();
        onKnobChanged();
    }));
    for (QSpinBox *spin : { coloursSpin, everySpin, firstFrameSpin, lastFrameSpin })
        connect(spin, &QSpinBox::valueChanged, this, guardedCallback([this] { onKnobChanged(); }));
}

void TFitAnimationDialog::setSources(std::vector<Source> sources, TColor transparent, const QString &author)
{
    m_sources = std::move(sources);
    m_transparent = transparent;
    m_author = author;
    m_fits.clear();
    for (const Source &source : m_sources)
        m_fits.push_back(std::make_shared<TAnimationFit>(*source.frames, transparent, author));
    const bool choice = m_sources.size() > 1;
    speedGroup->setVisible(choice);
    if (choice) {
        keepSpeedRadio->setText(QStringLiteral("&Keep the original speed: ") + m_sources[0].choice);
        everyFrameRadio->setText(QStringLiteral("Ta&ke every frame: ") + m_sources[1].choice);
        keepSpeedRadio->setAccessibleName(keepSpeedRadio->text().remove(QLatin1Char('&')));
        everyFrameRadio->setAccessibleName(everyFrameRadio->text().remove(QLatin1Char('&')));
    }
    chooseSource(0);
}

void TFitAnimationDialog::setTestBackground(TColor colour)
{
    preview->setBackground(colour);
}

void TFitAnimationDialog::offerButtonPicture(bool offer)
{
    buttonPictureCheck->setVisible(offer);
}

void TFitAnimationDialog::setIntro(const QString &text)
{
    introLabel->setText(text);
    introLabel->setVisible(!text.isEmpty());
}

void TFitAnimationDialog::setAcceptText(const QString &text)
{
    buttonBox->button(QDialogButtonBox::Ok)->setText(text);
}

bool TFitAnimationDialog::MakeButtonPicture() const
{
    return buttonPictureCheck->isVisible() && buttonPictureCheck->isChecked();
}

std::unique_ptr<TFrameList> TFitAnimationDialog::FittedFrames() const
{
    if (m_fits.empty())
        return nullptr;
    return m_fits[std::size_t(m_source)]->Make(m_settings);
}

void TFitAnimationDialog::chooseSource(int index)
{
    if (m_fits.empty())
        return;
    m_source = std::clamp(index, 0, int(m_fits.size()) - 1);
    const TAnimationFit &fit = *m_fits[std::size_t(m_source)];
    ++m_generation;
    m_shown.reset();
    {
        m_syncing = true;
        (m_source == 0 ? keepSpeedRadio : everyFrameRadio)->setChecked(true);
        const int count = std::max(1, fit.SourceCount());
        frameSizeSlider->setRange(1, std::max(1, fit.SourceSize().width()));
        everySpin->setRange(1, count);
        firstFrameSpin->setRange(1, count);
        lastFrameSpin->setRange(1, count);
        m_syncing = false;
    }
    showSettings(fit.Unchanged());
    runFit();
}

TFitSettings TFitAnimationDialog::knobSettings() const
{
    TFitSettings s;
    s.frameWidth = frameSizeSlider->value();
    s.colours = coloursSpin->value();
    s.first = firstFrameSpin->value() - 1;
    s.last = lastFrameSpin->value() - 1;
    s.every = everySpin->value();
    return s;
}

void TFitAnimationDialog::showSettings(const TFitSettings &settings)
{
    m_syncing = true;
    m_settings = m_fits.empty() ? settings : m_fits[std::size_t(m_source)]->Normalized(settings);
    frameSizeSlider->setValue(m_settings.frameWidth);
    coloursSpin->setValue(m_settings.colours);
    everySpin->setValue(m_settings.every);
    firstFrameSpin->setValue(m_settings.first + 1);
    lastFrameSpin->setValue(m_settings.last + 1);
    showFrameSizeText();
    m_syncing = false;
}

void TFitAnimationDialog::showFrameSizeText()
{
    if (m_fits.empty())
        return;
    const TAnimationFit &fit = *m_fits[std::size_t(m_source)];
    const QSize size = fit.FrameSizeFor(frameSizeSlider->value());
    const int percent = int(std::lround(100.0 * size.width() / std::max(1, fit.SourceSize().width())));
    frameSizeText->setText(
        QStringLiteral("%1 \u00d7 %2 pixels (%3 %)").arg(size.width()).arg(size.height()).arg(percent));
}

void TFitAnimationDialog::onKnobChanged()
{
    if (m_syncing || m_fits.empty())
        return;
    m_settings = m_fits[std::size_t(m_source)]->Normalized(knobSettings());
    m_measureWanted = m_settings;
    blockSizeLabel->setText(QStringLiteral("Measuring\u2026"));
    startWork();
}

void TFitAnimationDialog::runFit()
{
    if (m_fits.empty())
        return;
    m_fitWanted = true;
    m_measureWanted.reset();
    blockSizeLabel->setText(QStringLiteral("Fitting\u2026"));
    startWork();
}

void TFitAnimationDialog::startWork()
{
    if (m_busy || m_fits.empty())
        return;
    const bool fitting = m_fitWanted;
    if (!fitting && !m_measureWanted)
        return;
    const TFitSettings settings = m_measureWanted.value_or(m_settings);
    m_fitWanted = false;
    m_measureWanted.reset();
    m_busy = true;
    // While Fit searches, the knobs and OK wait for its answer.
    enableKnobs(!fitting);
    const std::shared_ptr<TAnimationFit> fit = m_fits[std::size_t(m_source)];
    const int generation = m_generation;
    const std::shared_ptr<std::atomic<bool>> cancel = m_cancel;
    m_worker.start([this, fit, settings, generation, cancel, fitting] {
        TFitMeasure measure;
        std::shared_ptr<TFrameList> frames;
        try {
            measure = fitting ? fit->Auto({}, cancel.get()) : fit->Measure(settings);
            frames = fit->Make(measure.settings);
        } catch (const std::exception &) {
            // Not enough memory for a strip: nothing to show; the knobs stay.
            measure = TFitMeasure { settings, {}, 0, 0 };
        }
        QMetaObject::invokeMethod(
            this, [=, this] { workDone(generation, measure, frames, fitting); }, Qt::QueuedConnection);
    });
}

void TFitAnimationDialog::workDone(
    int generation, const TFitMeasure &measure, std::shared_ptr<TFrameList> frames, bool fitted)
{
    m_busy = false;
    enableKnobs(true);
    if (generation == m_generation) {
        if (fitted)
            showSettings(measure.settings);
        // A measure of settings the knobs have left behind is not shown.
        if (fitted || measure.settings == m_settings) {
            m_shown = measure;
            preview->setFrames(std::move(frames));
            showMeasure();
        }
    }
    startWork();
}

void TFitAnimationDialog::enableKnobs(bool on)
{
    for (QWidget *knob : std::initializer_list<QWidget *> { frameSizeSlider, coloursSpin, everySpin,
             firstFrameSpin, lastFrameSpin, fitButton, speedGroup, buttonBox->button(QDialogButtonBox::Ok) })
        knob->setEnabled(on);
}

void TFitAnimationDialog::showMeasure()
{
    if (!m_shown)
        return;
    const TFitMeasure &m = *m_shown;
    if (m.frameCount == 0) {
        blockSizeLabel->setText(QStringLiteral("Not enough memory to measure these frames"));
        blockGauge->setValue(0);
        return;
    }
    blockGauge->setValue(int(std::min<qsizetype>(m.blockBytes, kMaxBlockBytes)));
    QString text = QStringLiteral("%1 of %2 bytes").arg(bytes(m.blockBytes), bytes(kMaxBlockBytes));
    if (!m.fits())
        text += QStringLiteral(": %1 bytes too many").arg(bytes(m.blockBytes - kMaxBlockBytes));
    blockSizeLabel->setText(text);
    // Too large shows in red, in the text and the bar.
    QPalette words = palette();
    QPalette bar = palette();
    if (!m.fits()) {
        words.setColor(QPalette::WindowText, QColor(Qt::red));
        bar.setColor(QPalette::Highlight, QColor(Qt::red));
    }
    blockSizeLabel->setPalette(words);
    blockGauge->setPalette(bar);
    framesText->setText(
        m.frameCount == 1 ? QStringLiteral("1 frame") : QStringLiteral("%1 frames").arg(m.frameCount));
    buttonBox->button(QDialogButtonBox::Ok)
        ->setToolTip(m.fits()
                ? QString()
                : QStringLiteral("The animation does not fit yet: the gesture cannot be saved"));
}

void TFitAnimationDialog::waitUntilIdle()
{
    while (m_busy || m_fitWanted || m_measureWanted) {
        m_worker.waitForDone();
        QCoreApplication::processEvents();
    }
}
