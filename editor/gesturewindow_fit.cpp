// Fitting the animation into the gesture file's animation block: Frames >
// Fit Animation, the fit offered by an import before it changes anything,
// and the note when an edit makes the animation too large for the file.
#include "fitanimationdialog.h"
#include "gesture/animationfit.h"
#include "gesture/animationimport.h"
#include "gesture/gesturehistory.h"
#include "gesture/zqgesture.h"
#include "gesturehost.h"
#include "gesturewindow.h"
#include "platform/ui/application.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"

#include <QLocale>
#include <QTimer>

namespace {

QString bytes(qsizetype count)
{
    return QLocale().toString(qlonglong(count));
}

QString tooLargeText(qsizetype blockBytes)
{
    return QStringLiteral("The animation takes %1 bytes, but a gesture file holds at most %2 bytes for it")
        .arg(bytes(blockBytes), bytes(kMaxBlockBytes));
}

} // namespace

bool TfrmGestureWindow::fitImportedAnimation(TImportedAnimation &imported, std::optional<bool> &makeButton)
{
    const TColor transparent = imported.KeepsTransparency ? imported.TransparentColor : clNone;
    std::vector<TFitAnimationDialog::Source> sources;
    std::shared_ptr<const TFrameList> every(std::move(imported.Frames));
    if (imported.TimedFrames) {
        std::shared_ptr<const TFrameList> timed(std::move(imported.TimedFrames));
        sources.push_back({ timed, KeepSpeedText(timed->Count(), imported.PlayTimeMs) });
        sources.push_back(
            { every, EveryFrameText(every->Count(), imported.SourceFrameCount, imported.PlayTimeMs) });
    } else {
        sources.push_back({ every, {} });
    }
    // The imported frames as they are, when they fit, nothing was left out
    // and there is nothing to choose: no question.
    const bool cut = every->Count() < imported.SourceFrameCount;
    std::optional<TFitMeasure> asImported;
    if (sources.size() == 1) {
        const TAnimationFit fit(*every, transparent, imported.Author);
        asImported = fit.Measure(fit.Unchanged());
        if (asImported->fits() && !cut) {
            imported.Frames = std::make_unique<TFrameList>(every->SharedCopy());
            return true;
        }
    }
    QString intro;
    if (sources.size() > 1)
        intro = QStringLiteral(
            "The animation's frames do not show for a gesture's 250 ms each: keep its speed, "
            "or take every frame.");
    else if (cut)
        intro = FrameLimitText(imported.SourceFrameCount, every->Count())
            + QStringLiteral(": the first %1 are taken.").arg(every->Count());
    if (asImported && !asImported->fits())
        intro += (intro.isEmpty() ? QString() : QStringLiteral(" ")) + tooLargeText(asImported->blockBytes)
            + QStringLiteral(": Fit has made it smaller.");

    TFitAnimationDialog dialog(this);
    dialog.setTestBackground(m_testBackground);
    dialog.setAcceptText(QStringLiteral("&Import"));
    dialog.offerButtonPicture(true);
    dialog.setIntro(intro);
    dialog.setSources(std::move(sources), transparent, imported.Author);
    plumora::ui::setScreenCursor(plumora::ui::crDefault);
    const int answer = plumora::ui::execDialog(dialog);
    plumora::ui::setScreenCursor(plumora::ui::crHourGlass);
    if (answer != QDialog::Accepted)
        return false;
    imported.Frames = dialog.FittedFrames();
    if (!imported.Frames)
        return false;
    imported.FrameSize = QSize(imported.Frames->Width(), imported.Frames->Height());
    makeButton = dialog.MakeButtonPicture();
    return true;
}

void TfrmGestureWindow::fitAnimation()
{
    const TFrameList *frames = gesture->Frames();
    if (!frames || frames->Count() == 0)
        return;
    TFitAnimationDialog dialog(this);
    dialog.setTestBackground(m_testBackground);
    dialog.setSources({ { std::make_shared<const TFrameList>(frames->SharedCopy()), {} } },
        gesture->TransparentColor(), gesture->Author());
    if (plumora::ui::execDialog(dialog) != QDialog::Accepted)
        return;
    std::unique_ptr<TFrameList> fitted = dialog.FittedFrames();
    if (!fitted)
        return;
    const TGestureHistory::Step step(*history, QStringLiteral("Fit Animation"));
    gesture->setFrames(std::move(fitted));
    gesture->setCurrentFrame(1);
}

void TfrmGestureWindow::watchAnimationSize()
{
    sizeTimer = new QTimer(this);
    sizeTimer->setObjectName(QStringLiteral("sizeTimer"));
    sizeTimer->setSingleShot(true);
    // Long enough that a run of edits (a held key) is measured once.
    sizeTimer->setInterval(200);
    connect(gesture, &TZQGesture::edited, sizeTimer, qOverload<>(&QTimer::start));
    connect(sizeTimer, &QTimer::timeout, this, plumora::ui::guardedCallback([this] {
        if (m_dying)
            return;
        gesture->MeasureSizes();
        warnWhenTooLarge();
    }));
}

void TfrmGestureWindow::warnWhenTooLarge()
{
    const int size = gesture->AnimationBlockSize();
    const bool fits = size <= kMaxBlockBytes;
    if (!fits && m_fitted && m_host)
        m_host->ShowStatusNote(
            tooLargeText(size) + QStringLiteral(": Frames \u25b8 Fit Animation makes it fit."));
    m_fitted = fits;
}
