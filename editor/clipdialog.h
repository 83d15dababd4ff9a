#pragma once
// TClipDialog: which stretch of a video clip becomes the animation. It shows
// the clip's length, the pictures at the chosen start and end, the start and
// end fields (seconds, m:ss or h:mm:ss, with fractions), the number of frames
// the span gives at one per 250 ms, and whether the clip's sound comes along.
#include "media/clipreader.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QTimer;

// "12", "12.5", "0:22", "1:02.25", "1:00:00" as ms; nothing for anything
// else (negative, empty, seconds or minutes of 60 and more after a colon).
std::optional<qint64> ParseClipTime(const QString &text);
// ms as "0:12.5", "1:02", "1:00:00".
QString ClipTimeText(qint64 ms);

class TClipDialog : public QDialog
{
    Q_OBJECT

public:
    // The reader shows the pictures; it must outlive the dialog.
    TClipDialog(TClipReader &reader, QWidget *parent = nullptr);

    // The span chosen (normalized by the reader), and whether its sound is taken.
    TClipSpan Span() const;
    bool TakesSound() const;
    // What the frame count line says ("40 frames, 10.0 s").
    QString SpanText() const;

private:
    void spanEdited();
    void showPictures();

    TClipReader &m_reader;
    QLabel *lengthLabel = nullptr;
    QLabel *startPicture = nullptr;
    QLabel *endPicture = nullptr;
    QLineEdit *startEdit = nullptr;
    QLineEdit *endEdit = nullptr;
    QLabel *spanLabel = nullptr;
    QCheckBox *soundCheck = nullptr;
    QDialogButtonBox *buttons = nullptr;
    QTimer *pictureTimer = nullptr;
    TClipSpan m_span;
    bool m_valid = true;
    bool m_soundWanted = false; // the user's choice, kept while the span allows no sound
};
