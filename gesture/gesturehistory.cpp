#include "gesturehistory.h"

#include "zqgesture.h"

#include <QUndoStack>

#include <exception>
#include <utility>

class TGestureHistory::Command : public QUndoCommand
{
public:
    Command(TGestureHistory &history, const QString &text, int mergeId, TGestureContent before,
        TGestureContent after)
        : QUndoCommand(text),
          m_history(history),
          m_id(mergeId),
          m_session(history.m_session),
          m_before(std::move(before)),
          m_after(std::move(after))
    {
    }

    int id() const override { return m_id; }

    bool mergeWith(const QUndoCommand *other) override
    {
        const auto *next = static_cast<const Command *>(other);
        if (next->m_session != m_session)
            return false;
        m_after = next->m_after;
        // Typing that ends where it began leaves no step behind.
        setObsolete(m_after.sameGesture(m_before));
        return true;
    }

    // The stack moves its index after these return: the state reached is the
    // saved one when the next index is the clean one.
    void undo() override
    {
        const QUndoStack &stack = *m_history.m_stack;
        m_history.restore(m_before, stack.index() - 1 != stack.cleanIndex());
    }
    void redo() override
    {
        // Pushed once the edit is done: the first redo has nothing to do.
        if (std::exchange(m_pushed, false))
            return;
        const QUndoStack &stack = *m_history.m_stack;
        m_history.restore(m_after, stack.index() + 1 != stack.cleanIndex());
    }

private:
    TGestureHistory &m_history;
    int m_id;
    int m_session;
    bool m_pushed = true;
    TGestureContent m_before, m_after;
};

TGestureHistory::TGestureHistory(TZQGesture &gesture, QObject *parent)
    : QObject(parent), m_gesture(gesture), m_stack(new QUndoStack(this))
{
    m_stack->setObjectName(QStringLiteral("undoStack"));
    m_stack->setUndoLimit(kLimit);
    connect(m_stack, &QUndoStack::cleanChanged, this, [this](bool clean) {
        // Back at the state last saved (also when typing undone in its field
        // left no step): nothing to save, as there.
        if (clean)
            m_gesture.RestoreModified(false);
        m_gesture.setUnsavedChanges(!clean);
    });
    // Saving makes the present state the saved one.
    connect(&m_gesture, &TZQGesture::unsavedChangesChanged, this, [this](bool unsaved) {
        if (!unsaved)
            m_stack->setClean();
    });
}

TGestureHistory::~TGestureHistory()
{
    // The commands go before the gesture they would restore.
    delete m_stack;
}

void TGestureHistory::Restart()
{
    m_stack->clear();
    m_stack->setClean();
    m_gesture.setUnsavedChanges(false);
    ++m_session;
}

void TGestureHistory::restore(const TGestureContent &content, bool modified)
{
    m_restoring = true;
    struct Done
    {
        bool &flag;
        ~Done() { flag = false; }
    } done { m_restoring };
    m_gesture.RestoreContent(content, modified);
    ++m_session; // typing after an undo starts a step of its own
    emit changed();
}

TGestureHistory::Step::Step(TGestureHistory &history, const QString &text, int mergeId)
    : m_history(history), m_text(text), m_mergeId(mergeId), m_errors(std::uncaught_exceptions())
{
    if (history.m_depth++ == 0 && !history.m_paused && !history.m_restoring)
        m_before = std::make_unique<TGestureContent>(history.m_gesture.Content());
}

TGestureHistory::Step::~Step()
{
    TGestureHistory &h = m_history;
    --h.m_depth;
    if (!m_before)
        return;
    TGestureContent after = h.m_gesture.Content();
    if (after.sameGesture(*m_before))
        return;
    if (std::uncaught_exceptions() > m_errors) {
        h.restore(*m_before, h.m_gesture.Modified());
        return;
    }
    h.m_stack->push(new Command(h, m_text, m_mergeId, std::move(*m_before), std::move(after)));
    emit h.changed();
}
