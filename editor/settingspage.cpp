#include "settingspage.h"

#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"
#include "platform/ui/application.h"
#include "ui_settingspage.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>

using plumora::ui::guardedCallback;

namespace {

void paintSwatch(QWidget *swatch, TColor colour)
{
    QPalette palette = swatch->palette();
    palette.setColor(QPalette::Window, toQColor(colour));
    swatch->setPalette(palette);
    swatch->update();
}

// The largest frame number a field may be given: anything, the gesture
// brings it within its frames and the field shows what it kept.
constexpr int kFrameFieldMaximum = 9999;

} // namespace

TSettingsPage::TSettingsPage(TZQGesture &gesture, TGestureHistory &history, QWidget *parent)
    : QWidget(parent), m_gesture(gesture), m_history(history), ui(std::make_unique<Ui::TSettingsPage>())
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("settingsPage"));
    for (QSpinBox *field : { ui->animationLoopFrameSpin, ui->audioLoopFrameSpin }) {
        field->setRange(0, kFrameFieldMaximum);
        // Typing a number is one step until the field loses the focus.
        connect(field, &QSpinBox::editingFinished, this, [this] { m_history.EndTyping(); });
    }
    bindAnimationOptions();
    bindTransparency();
    bindAudioOptions();
    // The swatch acts as a button: a left click, Space or Return.
    m_swatchKeys
        = plumora::ui::guardedEventFilter({ ui->testBackgroundSwatch }, [this](QObject *, QEvent *event) {
              bool asked = false;
              if (event->type() == QEvent::MouseButtonPress)
                  asked = static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
              else if (event->type() == QEvent::KeyPress) {
                  const int key = static_cast<QKeyEvent *>(event)->key();
                  asked = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
              }
              if (asked)
                  emit testBackgroundRequested();
              return asked;
          });
}

TSettingsPage::~TSettingsPage()
{
    m_swatchKeys.reset();
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
}

void TSettingsPage::bindAnimationOptions()
{
    // A radio button turned on, by a click, a key or an assistive tool, sets
    // the option; leaving the loop, the loop field goes back to 1.
    const struct
    {
        QRadioButton *radio;
        TAnimOptions option;
        const char *step;
    } options[] = {
        { ui->animationOnceRadio, aoPlayOnce, "Play Once" },
        { ui->animationLoopRadio, aoLoop, "Loop to Frame" },
        { ui->animationReverseRadio, aoReverse, "Reverse at End" },
    };
    for (const auto &o : options)
        connect(o.radio, &QRadioButton::toggled, this, guardedCallback([this, o](bool on) {
            if (!on || m_gesture.AnimLoopOption() == o.option)
                return;
            const TGestureHistory::Step step(m_history, QString::fromLatin1(o.step));
            m_gesture.setAnimLoopOption(o.option);
            if (o.option != aoLoop)
                m_gesture.setAnimLoopFrame(1);
        }));
    connect(&m_gesture, &TZQGesture::animLoopOptionChanged, this, [this, options](TAnimOptions option) {
        for (const auto &o : options)
            if (o.option == option)
                o.radio->setChecked(true);
        ui->animationLoopFrameSpin->setEnabled(option == aoLoop);
    });
    connect(ui->animationLoopFrameSpin, &QSpinBox::valueChanged, this, guardedCallback([this](int value) {
        const TGestureHistory::Step step(
            m_history, QStringLiteral("Change Loop Frame"), TGestureHistory::LoopFrameMerge);
        m_gesture.setAnimLoopFrame(value);
    }));
    connect(&m_gesture, &TZQGesture::animLoopFrameChanged, ui->animationLoopFrameSpin, &QSpinBox::setValue);
    ui->animationLoopFrameSpin->setValue(m_gesture.AnimLoopFrame());
}

void TSettingsPage::bindTransparency()
{
    connect(ui->transparentCheck, &QCheckBox::toggled, this, guardedCallback([this](bool on) {
        if (on == (m_gesture.TransparentColor() != clNone))
            return;
        const TGestureHistory::Step step(
            m_history, on ? QStringLiteral("Transparent Color On") : QStringLiteral("Transparent Color Off"));
        m_gesture.setTransparent(on);
    }));
    connect(&m_gesture, &TZQGesture::transparentColorChanged, this, [this](TColor colour) {
        ui->transparentCheck->setChecked(colour != clNone);
        ui->pickTransparentButton->setEnabled(colour != clNone);
    });
    connect(&m_gesture, &TZQGesture::lastTransparentColorChanged, this,
        [this](TColor colour) { paintSwatch(ui->transparentSwatch, colour); });
    paintSwatch(ui->transparentSwatch, m_gesture.LastTransparentColor());
    connect(
        ui->pickTransparentButton, &QToolButton::toggled, this, [this](bool on) { emit pickRequested(on); });
}

void TSettingsPage::bindAudioOptions()
{
    const struct
    {
        QRadioButton *radio;
        bool repeat;
        const char *step;
    } options[] = {
        { ui->audioOnceRadio, false, "Play Sound Once" },
        { ui->audioLoopRadio, true, "Restart Sound on Each Loop" },
    };
    for (const auto &o : options)
        connect(o.radio, &QRadioButton::toggled, this, guardedCallback([this, o](bool on) {
            if (!on || m_gesture.AudioRepeat() == o.repeat)
                return;
            const TGestureHistory::Step step(m_history, QString::fromLatin1(o.step));
            m_gesture.setAudioRepeat(o.repeat);
        }));
    connect(&m_gesture, &TZQGesture::audioRepeatChanged, this,
        [this](bool repeat) { (repeat ? ui->audioLoopRadio : ui->audioOnceRadio)->setChecked(true); });
    connect(ui->audioLoopFrameSpin, &QSpinBox::valueChanged, this, guardedCallback([this](int value) {
        const TGestureHistory::Step step(
            m_history, QStringLiteral("Change Sound Start Frame"), TGestureHistory::AudioFrameMerge);
        m_gesture.setAudioLoopFrame(value);
    }));
    connect(&m_gesture, &TZQGesture::audioLoopFrameChanged, ui->audioLoopFrameSpin, &QSpinBox::setValue);
    ui->audioLoopFrameSpin->setValue(m_gesture.AudioLoopFrame());
}

void TSettingsPage::showTestBackground(TColor colour)
{
    paintSwatch(ui->testBackgroundSwatch, colour);
}

void TSettingsPage::showPicking(bool picking)
{
    const QSignalBlocker quiet(ui->pickTransparentButton);
    ui->pickTransparentButton->setChecked(picking);
}
