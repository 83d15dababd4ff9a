#pragma once
// TFitAnimationDialog: makes an animation fit into the gesture file's
// animation block. It plays the animation as it will be saved, shows the
// block's real encoded size against the limit, and offers the knobs a user
// understands: the frame size (the proportions kept), the number of colours,
// and which frames (every n-th, from one frame to another). Fit finds the
// best result that fits by itself. Measuring runs on a worker thread, so
// the knobs follow the mouse; the window only ever shows finished measures.
//
// An import shows it with two sources to choose from (the frames that keep
// the original speed, and every frame) and offers to make the button
// picture. Each control's object name is its member name.
#include "gesture/animationfit.h"
#include "platform/colors.h"

#include <QDialog>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTimer;
class TFitPreview;
class TFrameList;

class TFitAnimationDialog : public QDialog
{
    Q_OBJECT

public:
    // A source of frames, and the words that offer it when there are two
    // ("38 frames, plays in 9.5 s as the original").
    struct Source
    {
        std::shared_ptr<const TFrameList> frames;
        QString choice;
    };

    explicit TFitAnimationDialog(QWidget *parent = nullptr);
    ~TFitAnimationDialog() override;

    // What is fitted: one source, or two to choose from (the first is chosen
    // at the start), the transparent colour the frames keep, the author text
    // the block will carry, and the colour the preview shows through the
    // transparent pixels. The knobs start at every frame, full size, all
    // colours; when that does not fit, Fit runs at once.
    void setSources(std::vector<Source> sources, TColor transparent, const QString &author);
    void setTestBackground(TColor colour);
    // Offers to make the button picture from the first frame (an import).
    void offerButtonPicture(bool offer);
    // The line above the preview ("The animation takes ...").
    void setIntro(const QString &text);
    void setAcceptText(const QString &text);

    // The answer, once accepted.
    int ChosenSource() const { return m_source; }
    TFitSettings Settings() const { return m_settings; }
    bool MakeButtonPicture() const;
    // The chosen source's frames as the settings fit them.
    std::unique_ptr<TFrameList> FittedFrames() const;

    // The last measure shown (for the settings it names).
    const std::optional<TFitMeasure> &ShownMeasure() const { return m_shown; }
    // Waits until the work under way has finished and been shown. Tests use
    // it; the window itself never waits.
    void waitUntilIdle();

private:
    void buildControls();
    void chooseSource(int index);
    // The settings the knobs show, as the fit reads them.
    TFitSettings knobSettings() const;
    void showSettings(const TFitSettings &settings);
    void onKnobChanged();
    void runFit();
    // Starts the next job when none runs: a Fit, or a measure of the
    // settings last asked for.
    void startWork();
    void workDone(
        int generation, const TFitMeasure &measure, std::shared_ptr<TFrameList> frames, bool fitted);
    void showMeasure();
    void enableKnobs(bool on);
    void showFrameSizeText();

    std::vector<Source> m_sources;
    std::vector<std::shared_ptr<TAnimationFit>> m_fits;
    int m_source = 0;
    TColor m_transparent = clNone;
    QString m_author;
    TFitSettings m_settings;
    std::optional<TFitMeasure> m_shown;
    bool m_syncing = false; // the knobs are being set from a result

    // The worker: one job at a time. A knob change asks for a measure; a
    // newer request replaces an older one that has not started.
    QThreadPool m_worker;
    bool m_busy = false;
    bool m_fitWanted = false;
    std::optional<TFitSettings> m_measureWanted;
    int m_generation = 0; // of the source and the requests; stale results are dropped
    std::shared_ptr<std::atomic<bool>> m_cancel;

    QLabel *introLabel = nullptr;
    TFitPreview *preview = nullptr;
    QGroupBox *speedGroup = nullptr;
    QRadioButton *keepSpeedRadio = nullptr;
    QRadioButton *everyFrameRadio = nullptr;
    QLabel *blockLabel = nullptr;
    QProgressBar *blockGauge = nullptr;
    QLabel *blockSizeLabel = nullptr;
    QLabel *frameSizeLabel = nullptr;
    QSlider *frameSizeSlider = nullptr;
    QLabel *frameSizeText = nullptr;
    QLabel *coloursLabel = nullptr;
    QSpinBox *coloursSpin = nullptr;
    QLabel *everyLabel = nullptr;
    QSpinBox *everySpin = nullptr;
    QLabel *firstLabel = nullptr;
    QSpinBox *firstFrameSpin = nullptr;
    QLabel *lastLabel = nullptr;
    QSpinBox *lastFrameSpin = nullptr;
    QLabel *framesText = nullptr;
    QCheckBox *buttonPictureCheck = nullptr;
    QPushButton *fitButton = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
};
