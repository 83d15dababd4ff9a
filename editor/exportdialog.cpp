#include "exportdialog.h"

#include "filedialogs.h"
#include "gesture/gestureexport.h"
#include "gesture/zqgesture.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// The filters, in the order of TExportKind, and each one's extension.
const struct
{
    const char *filter;
    const char *suffix;
} kKinds[] = {
    { "Animated GIF (*.gif)", "gif" },
    { "WebM video (*.webm)", "webm" },
    { "MP4 video (*.mp4)", "mp4" },
};

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 2);
}

} // namespace

std::optional<TExportKind> ExportKindOf(const QString &path)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("gif"), Qt::CaseInsensitive) == 0)
        return TExportKind::Gif;
    if (const std::optional<TVideoKind> video = VideoKindOf(path))
        return *video == TVideoKind::WebM ? TExportKind::WebM : TExportKind::Mp4;
    return std::nullopt;
}

TExportDialog::TExportDialog(QWidget *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("exportDialogOptions"));
    QStringList filters;
    for (const auto &kind : kKinds)
        filters << QString::fromLatin1(kind.filter)
                << QStringLiteral("*.") + QString::fromLatin1(kind.suffix);
    // No default suffix: Ask gives a name the chosen filter's extension
    // itself, as the filter may change after the name was typed.
    m_dialog = MakeFileDialog(
        parent, QStringLiteral("exportDialog"), true, filters.join(QLatin1Char('|')), QString());
    m_dialog->setWindowTitle(QStringLiteral("Export Gesture"));

    auto *pane = new QFrame;
    pane->setObjectName(QStringLiteral("exportOptionsPane"));
    QVBoxLayout *column = SetUpSidePane(*pane);
    auto *form = new QFormLayout;
    form->setContentsMargins(0, 0, 0, 0);
    loopsSpin = new QSpinBox(pane);
    loopsSpin->setObjectName(QStringLiteral("loopsSpin"));
    loopsSpin->setRange(1, 99);
    loopsSpin->setValue(3);
    loopsSpin->setSuffix(QStringLiteral(" times"));
    loopsSpin->setToolTip(QStringLiteral("How often the loop part plays in a gesture that repeats"));
    scaleSpin = new QSpinBox(pane);
    scaleSpin->setObjectName(QStringLiteral("scaleSpin"));
    scaleSpin->setRange(1, 8);
    scaleSpin->setValue(4);
    scaleSpin->setPrefix(QStringLiteral("\u00d7 "));
    scaleSpin->setToolTip(QStringLiteral("Each pixel of the gesture becomes a square this many pixels wide"));
    auto *loopsCaption = new QLabel(QStringLiteral("&Loop plays:"), pane);
    auto *scaleCaption = new QLabel(QStringLiteral("Video &scale:"), pane);
    loopsCaption->setBuddy(loopsSpin);
    scaleCaption->setBuddy(scaleSpin);
    loopsSpin->setAccessibleName(QStringLiteral("Loop plays"));
    scaleSpin->setAccessibleName(QStringLiteral("Video scale"));
    form->addRow(loopsCaption, loopsSpin);
    form->addRow(scaleCaption, scaleSpin);
    column->addLayout(form);
    column->addStretch(1);
    AddSidePane(*m_dialog, pane);

    connect(m_dialog, &QFileDialog::filterSelected, this,
        plumora::ui::guardedCallback([this](const QString &filter) { filterChosen(filter); }));
}

TExportKind TExportDialog::chosenKind() const
{
    const int index = m_dialog->nameFilters().indexOf(m_dialog->selectedNameFilter());
    return TExportKind(std::clamp(index, 0, 2));
}

void TExportDialog::filterChosen(const QString &)
{
    const TExportKind kind = chosenKind();
    const QString suffix = QString::fromLatin1(kKinds[int(kind)].suffix);
    scaleSpin->setEnabled(kind != TExportKind::Gif);
    // A typed name of another kind follows the filter.
    if (auto *edit = m_dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
        const QString typed = edit->text();
        if (ExportKindOf(typed) && ExportKindOf(typed) != kind)
            edit->setText(QFileInfo(typed).completeBaseName() + QLatin1Char('.') + suffix);
    }
}

std::optional<TExportChoice> TExportDialog::Ask(const QString &folder, const QString &name, bool loops)
{
    loopsSpin->setEnabled(loops);
    filterChosen(m_dialog->selectedNameFilter());
    if (!name.isEmpty())
        m_dialog->selectFile(name);
    // The kind is known only once the name is: the replace question comes after.
    QString path = RunFileDialog(*m_dialog, m_asked ? QString() : folder, false);
    m_asked = true;
    if (path.isEmpty())
        return std::nullopt;
    TExportChoice choice;
    const std::optional<TExportKind> named = ExportKindOf(path);
    choice.Kind = named.value_or(chosenKind());
    if (!named)
        path += QLatin1Char('.') + QString::fromLatin1(kKinds[int(choice.Kind)].suffix);
    if (QFileInfo::exists(path)) {
        const auto answer = plumora::ui::messageBox(m_dialog->parentWidget(),
            QStringLiteral("Export Gesture"),
            QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(path).fileName()),
            QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return std::nullopt;
    }
    choice.Path = path;
    choice.LoopPasses = loopsSpin->value();
    choice.Scale = scaleSpin->value();
    return choice;
}

QString ExportGestureFile(const TZQGesture &gesture, const TExportChoice &choice,
    const TImportProgress &progress, const std::atomic<bool> *cancel)
{
    const QString name = QDir::toNativeSeparators(choice.Path);
    if (choice.Kind == TExportKind::Gif) {
        const TExportSummary summary
            = ExportGif(gesture, choice.Path, { choice.LoopPasses }, progress, cancel);
        return QStringLiteral("%1 was written: %2 %3 of 250 ms, %4 s, %5.")
            .arg(name)
            .arg(summary.Frames)
            .arg(summary.Frames == 1 ? QStringLiteral("frame") : QStringLiteral("frames"),
                seconds(summary.DurationMs),
                summary.Forever ? QStringLiteral("repeating forever") : QStringLiteral("played once"));
    }
    TVideoExportOptions options;
    options.LoopPasses = choice.LoopPasses;
    options.Scale = choice.Scale;
    const TVideoExportResult result = ExportVideo(gesture, choice.Path, options, progress, cancel);
    QString text
        = QStringLiteral("%1 was written: %2 \u00d7 %3 pixels, %4 frames of 250 ms, %5 s; pictures %6, "
                         "sound %7.")
              .arg(name)
              .arg(result.FrameSize.width())
              .arg(result.FrameSize.height())
              .arg(result.Frames)
              .arg(seconds(result.DurationMs), result.VideoEncoder,
                  result.SoundEncoder.isEmpty() ? QStringLiteral("none") : result.SoundEncoder);
    for (const QString &notice : result.Notices)
        text += QStringLiteral("\n\nWarning: ") + notice;
    return text;
}
