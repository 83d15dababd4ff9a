#pragma once
// File > Export: a gesture shared as an animated GIF, a WebM video or an MP4
// video. TExportDialog is the save dialog: its type follows the filter chosen
// and the name's extension, and a pane beside the list holds the options
// (how often a loop part plays; the size of a video's pixels). The export
// work itself runs without widgets, on a copy of the gesture.
#include "media/videoexport.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

class QFileDialog;
class QSpinBox;
class QWidget;
class TZQGesture;

enum class TExportKind { Gif, WebM, Mp4 };

struct TExportChoice
{
    QString Path;
    TExportKind Kind = TExportKind::Gif;
    int LoopPasses = 3; // 1..99
    int Scale = 4; // 1..8, videos only
};

// The kind a file name asks for by its extension (.gif, .webm, .mp4, .m4v).
std::optional<TExportKind> ExportKindOf(const QString &path);

class TExportDialog : public QObject
{
    Q_OBJECT

public:
    // The file dialog is a child of parent, named exportDialog.
    explicit TExportDialog(QWidget *parent);

    // Asks where and how to export, starting in folder (the first time;
    // later where the dialog was left) with the name
    // suggested; loops says whether the gesture repeats (the loop option
    // matters then). Nothing when the user cancelled. A name without one of
    // the kinds' extensions gets the chosen filter's.
    std::optional<TExportChoice> Ask(const QString &folder, const QString &name, bool loops);

    QFileDialog *Dialog() const { return m_dialog; }

private:
    void filterChosen(const QString &filter);
    TExportKind chosenKind() const;

    QFileDialog *m_dialog = nullptr;
    QSpinBox *loopsSpin = nullptr;
    QSpinBox *scaleSpin = nullptr;
    bool m_asked = false;
};

// Writes the gesture to choice.Path (atomically) as the kind says and
// returns what the user is told: what was written, with any warning (an
// encoder that stood in for a missing one). Runs on any one thread; EAbort
// when cancel is set.
QString ExportGestureFile(const TZQGesture &gesture, const TExportChoice &choice,
    const TImportProgress &progress = {}, const std::atomic<bool> *cancel = nullptr);
