// The gesture window's undo history. Each command keeps the gesture as it
// was before and after one edit, with what the window showed of it (the file
// labels, the option fields, the preview button), and puts one or the other
// back. Kept states share their frames' pixels, texts and sound bytes with
// the gesture and with each other, so a step costs little more than the
// list of frames it changed.
#include "gesturewindow.h"

#include "gesture/zqgesture.h"
#include "gestureview.h"
#include "gesturehost.h"
#include "platform/ui/application.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QUndoStack>

#include <exception>
#include <utility>

namespace {

// Steps kept per window; older ones are dropped.
constexpr int kHistoryLimit = 100;

} // namespace

// The controls that show what the gesture came from or hold a value the
// gesture does not keep by itself.
struct TfrmGestureWindow::ViewState
{
    struct Label
    {
        QString text, toolTip;
        bool italic = false;
    };
    Label labels[3];
    bool saveEnabled[3] = {};
    bool authorEnabled = true;
    bool transparentTicked = false;
    TColor transColor = clNone;
    int loopFrameValue = 1, loopFrameMaximum = 1, audioFrameValue = 1, audioFrameMaximum = 1;
    QIcon previewIcon;
    QRect viewGeometry;
};

struct TfrmGestureWindow::Snapshot
{
    TGestureContent gesture;
    ViewState view;
};

class TEditCommand : public QUndoCommand
{
public:
    using Snapshot = TfrmGestureWindow::Snapshot;

    TEditCommand(TfrmGestureWindow *window, const QString &text, int mergeId, Snapshot before, Snapshot after)
        : QUndoCommand(text),
          m_window(window),
          m_id(mergeId),
          m_session(window->m_mergeSession),
          m_before(std::move(before)),
          m_after(std::move(after))
    {
    }

    int id() const override { return m_id; }

    bool mergeWith(const QUndoCommand *other) override
    {
        const auto *next = static_cast<const TEditCommand *>(other);
        if (next->m_session != m_session)
            return false;
        m_after = next->m_after;
        // Typing that ends where it began leaves no step behind.
        setObsolete(m_after.gesture.sameGesture(m_before.gesture));
        return true;
    }

    // The stack moves its index after these return: the state reached is the
    // saved one when the next index is the clean one.
    void undo() override
    {
        const QUndoStack &stack = *m_window->undoStack;
        m_window->restoreSnapshot(m_before, stack.index() - 1 != stack.cleanIndex());
    }
    void redo() override
    {
        // Pushed once the edit is done: the first redo has nothing to do.
        if (std::exchange(m_pushed, false))
            return;
        const QUndoStack &stack = *m_window->undoStack;
        m_window->restoreSnapshot(m_after, stack.index() + 1 != stack.cleanIndex());
    }

private:
    TfrmGestureWindow *m_window;
    int m_id;
    int m_session;
    bool m_pushed = true;
    Snapshot m_before, m_after;
};

// Whatever changes the gesture while an Edit lives becomes one command.
// Scopes inside another (a handler run by another handler) add to the outer
// one. An edit that ends with an error puts the gesture back as it was, so
// the history always matches it.
TfrmGestureWindow::Edit::Edit(TfrmGestureWindow *window, const QString &text, int mergeId)
    : m_window(window), m_text(text), m_mergeId(mergeId), m_errors(std::uncaught_exceptions())
{
    if (window->m_editDepth++ == 0 && !window->m_loading && !window->m_restoring)
        m_before = std::make_unique<Snapshot>(Snapshot { window->gesture->Content(), window->captureView() });
}

TfrmGestureWindow::Edit::~Edit()
{
    TfrmGestureWindow &w = *m_window;
    --w.m_editDepth;
    if (!m_before)
        return;
    Snapshot after { w.gesture->Content(), w.captureView() };
    if (after.gesture.sameGesture(m_before->gesture))
        return;
    if (std::uncaught_exceptions() > m_errors) {
        w.restoreSnapshot(*m_before, w.gesture->Modified());
        return;
    }
    w.undoStack->push(new TEditCommand(&w, m_text, m_mergeId, std::move(*m_before), std::move(after)));
    w.UpdateFileCommands();
}

void TfrmGestureWindow::buildHistory()
{
    undoStack = new QUndoStack(this);
    undoStack->setObjectName(QStringLiteral("undoStack"));
    undoStack->setUndoLimit(kHistoryLimit);
    // The gesture has unsaved changes exactly while the history is away from
    // the state last saved; saving makes the present state that one.
    connect(undoStack, &QUndoStack::cleanChanged, this, plumora::ui::guardedCallback([this](bool clean) {
        gesture->setUnsavedChanges(!clean);
        UpdateFileCommands();
    }));
    connect(gesture, &TZQGesture::unsavedChangesChanged, this, [this](bool unsaved) {
        if (!unsaved)
            undoStack->setClean();
    });
    // Typing into a field merges into one step until the field loses the
    // focus (or Return is pressed).
    const auto endTyping = [this] { ++m_mergeSession; };
    for (QLineEdit *field : { taglineEdit, authorEdit })
        connect(field, &QLineEdit::editingFinished, this, endTyping);
    for (QSpinBox *field : { animationLoopFrameSpin, audioLoopFrameSpin })
        connect(field, &QSpinBox::editingFinished, this, endTyping);
}

TfrmGestureWindow::ViewState TfrmGestureWindow::captureView() const
{
    ViewState v;
    const QLabel *labels[3] = { buttonImageFileLabel, animationFileLabel, audioFileLabel };
    const QPushButton *saves[3] = { buttonImageSaveButton, animationSaveButton, audioSaveButton };
    for (int i = 0; i < 3; ++i) {
        v.labels[i] = { labels[i]->text(), labels[i]->toolTip(), labels[i]->font().italic() };
        v.saveEnabled[i] = saves[i]->isEnabled();
    }
    v.authorEnabled = authorEdit->isEnabled();
    v.transparentTicked = transparentCheck->isChecked();
    v.transColor = m_transColor;
    v.loopFrameValue = animationLoopFrameSpin->value();
    v.loopFrameMaximum = animationLoopFrameSpin->maximum();
    v.audioFrameValue = audioLoopFrameSpin->value();
    v.audioFrameMaximum = audioLoopFrameSpin->maximum();
    v.previewIcon = previewButton->icon();
    v.viewGeometry = gestureView->geometry();
    return v;
}

void TfrmGestureWindow::applyView(const ViewState &v)
{
    // The controls are set quietly: their handlers would edit the gesture,
    // which already is as it should be.
    QLabel *labels[3] = { buttonImageFileLabel, animationFileLabel, audioFileLabel };
    QPushButton *saves[3] = { buttonImageSaveButton, animationSaveButton, audioSaveButton };
    for (int i = 0; i < 3; ++i) {
        QFont font = labels[i]->font();
        font.setItalic(v.labels[i].italic);
        labels[i]->setFont(font);
        labels[i]->setText(v.labels[i].text);
        labels[i]->setToolTip(v.labels[i].toolTip);
        saves[i]->setEnabled(v.saveEnabled[i]);
    }
    const QSignalBlocker blockers[] = { QSignalBlocker(taglineEdit), QSignalBlocker(authorEdit),
        QSignalBlocker(animationOnceRadio), QSignalBlocker(animationLoopRadio),
        QSignalBlocker(animationReverseRadio), QSignalBlocker(animationLoopFrameSpin),
        QSignalBlocker(audioOnceRadio), QSignalBlocker(audioLoopRadio), QSignalBlocker(audioLoopFrameSpin),
        QSignalBlocker(transparentCheck) };
    if (taglineEdit->text() != gesture->Tagline())
        taglineEdit->setText(gesture->Tagline());
    if (authorEdit->text() != gesture->Author())
        authorEdit->setText(gesture->Author());
    authorEdit->setEnabled(v.authorEnabled);

    const TAnimOptions option = gesture->AnimLoopOption();
    animationOnceRadio->setChecked(option == aoPlayOnce);
    animationLoopRadio->setChecked(option == aoLoop);
    animationReverseRadio->setChecked(option == aoReverse);
    animationLoopFrameSpin->setMaximum(v.loopFrameMaximum);
    animationLoopFrameSpin->setValue(v.loopFrameValue);
    animationLoopFrameSpin->setEnabled(option == aoLoop);
    audioOnceRadio->setChecked(!gesture->AudioRepeat());
    audioLoopRadio->setChecked(gesture->AudioRepeat());
    audioLoopFrameSpin->setMaximum(v.audioFrameMaximum);
    audioLoopFrameSpin->setValue(v.audioFrameValue);

    setTransColor(v.transColor);
    transparentCheck->setChecked(v.transparentTicked);
    pickTransparentButton->setEnabled(v.transparentTicked);

    showCurrentFrame();
    previewButton->setIcon(v.previewIcon);
    gestureView->setGeometry(v.viewGeometry);
}

void TfrmGestureWindow::restoreSnapshot(const Snapshot &snapshot, bool modified)
{
    m_restoring = true;
    struct Done
    {
        bool &flag;
        ~Done() { flag = false; }
    } done { m_restoring };
    gesture->RestoreContent(snapshot.gesture, modified);
    applyView(snapshot.view);
    ++m_mergeSession; // typing after an undo starts a step of its own
    update();
    UpdateFileCommands();
}
