#pragma once
// TfrmFrameImport: asks how a single picture is cut into frames, either
// into a number of frames or into frames of a width (frameimportdialog.ui).
// It shows the picture's size and, as the user types, what the split will
// give. The main window keeps one instance for the whole run, so it offers
// the last choice and values again.
#include "gesture/animationimport.h"
#include "platform/ui/application.h"

#include <QDialog>
#include <QSize>

#include <memory>
#include <optional>

class IGestureHost;
class QSpinBox;
namespace Ui {
class TfrmFrameImport;
}

class TfrmFrameImport : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmFrameImport(QWidget *parent = nullptr);
    ~TfrmFrameImport() override;

    // The ticked choice and its field's value, as whole numbers.
    TFrameSplit Choice() const;

    // Runs the dialog modally through the dialog seam for a picture of the
    // given size (shown with what the split gives, when valid); the choice
    // on OK, nothing on Cancel.
    std::optional<TFrameSplit> Ask(QSize picture = {});

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Ticking a choice marks its field with the window colour and the other
    // one with the button-face colour.
    void onFrameCountChosen();
    void onFrameWidthChosen();
    // A change of a field, or a click into it, ticks its choice.
    void onFrameCountFieldUsed();
    void onFrameWidthFieldUsed();
    // The event filter of the fields: a click into one uses it.
    bool watchFields(QObject *watched, QEvent *event);

    void markActive(QSpinBox *active, QSpinBox *inactive);
    // "5 frames of 60 x 60": what the choice gives for the picture.
    void showSplit();

    QSize m_picture;
    std::unique_ptr<Ui::TfrmFrameImport> ui;
    std::unique_ptr<plumora::ui::GuardedEventFilter> m_fieldWatch; // watchFields
};

// Asks a gesture window's question how to cut a picture: through the host's
// dialog, or, for a window without a host, in a dialog of its own (on
// parent) made for this one question.
std::optional<TFrameSplit> askFrameSplit(IGestureHost *host, QWidget *parent, QSize picture);
