#include "gesturehistory.h"

#include "zqgesture.h"

#include <QHash>
#include <QUndoStack>

#include <exception>
#include <utility>
#include <vector>

// The buffers the kept states hold (frames' pixels, the button picture, the
// sound bytes), each counted once however many states share it.
class TGestureHistory::Ledger
{
public:
    void add(const TGestureContent &c) { visit(c, 1); }
    void remove(const TGestureContent &c) { visit(c, -1); }
    // The bytes of the buffers held that the gesture's content does not hold.
    qint64 bytesBeyond(const TGestureContent &present) const
    {
        QHash<const void *, qint64> own;
        eachBuffer(present, [&](const void *key, qint64 bytes) { own.insert(key, bytes); });
        qint64 total = 0;
        for (auto it = m_buffers.cbegin(); it != m_buffers.cend(); ++it)
            if (!own.contains(it.key()))
                total += it->bytes;
        return total;
    }

private:
    struct Buffer
    {
        qint64 bytes = 0;
        int uses = 0;
    };
    template <typename F> static void eachBuffer(const TGestureContent &c, F &&block)
    {
        if (c.frames)
            c.frames->ForEachPixelBuffer(block);
        if (!c.glyph.image().isNull())
            block(static_cast<const void *>(c.glyph.image().constBits()),
                qint64(c.glyph.image().sizeInBytes()));
        if (!c.audio.isEmpty())
            block(static_cast<const void *>(c.audio.constData()), qint64(c.audio.size()));
    }
    void visit(const TGestureContent &c, int step)
    {
        eachBuffer(c, [&](const void *key, qint64 bytes) {
            Buffer &b = m_buffers[key];
            b.bytes = bytes;
            b.uses += step;
            if (b.uses <= 0)
                m_buffers.remove(key);
        });
    }
    QHash<const void *, Buffer> m_buffers;
};

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
        m_history.m_ledger->add(m_before);
        m_history.m_ledger->add(m_after);
    }
    ~Command() override
    {
        m_history.m_ledger->remove(m_before);
        m_history.m_ledger->remove(m_after);
    }

    int id() const override { return m_id; }

    bool mergeWith(const QUndoCommand *other) override
    {
        const auto *next = static_cast<const Command *>(other);
        if (next->m_session != m_session || m_history.m_rebuilding)
            return false;
        m_history.m_ledger->remove(m_after);
        m_after = next->m_after;
        m_history.m_ledger->add(m_after);
        // Typing that ends where it began leaves no step behind.
        setObsolete(m_after.sameGesture(m_before));
        return true;
    }

    // The stack moves its index after these return: the state reached is the
    // saved one when the next index is the clean one.
    void undo() override
    {
        if (m_history.m_rebuilding)
            return;
        const QUndoStack &stack = *m_history.m_stack;
        m_history.restore(m_before, stack.index() - 1 != stack.cleanIndex());
    }
    void redo() override
    {
        // Pushed once the edit is done: the first redo has nothing to do.
        if (std::exchange(m_pushed, false) || m_history.m_rebuilding)
            return;
        const QUndoStack &stack = *m_history.m_stack;
        m_history.restore(m_after, stack.index() + 1 != stack.cleanIndex());
    }

private:
    friend class TGestureHistory;
    TGestureHistory &m_history;
    int m_id;
    int m_session;
    bool m_pushed = true;
    TGestureContent m_before, m_after;
};

TGestureHistory::TGestureHistory(TZQGesture &gesture, QObject *parent)
    : QObject(parent), m_gesture(gesture), m_stack(new QUndoStack(this)), m_ledger(std::make_unique<Ledger>())
{
    m_stack->setObjectName(QStringLiteral("undoStack"));
    m_stack->setUndoLimit(kLimit);
    connect(m_stack, &QUndoStack::cleanChanged, this, [this](bool clean) {
        if (m_rebuilding)
            return;
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
    h.trim();
    emit h.changed();
}

qint64 TGestureHistory::KeptBytes() const
{
    return m_ledger->bytesBeyond(m_gesture.Content());
}

void TGestureHistory::trim()
{
    // Only steps already undone-to are dropped: the latest one stays.
    const int index = m_stack->index();
    if (index < 2 || KeptBytes() <= kByteLimit)
        return;
    // Counted on a copy of the ledger, the oldest steps let go one by one.
    Ledger ledger = *m_ledger;
    const TGestureContent present = m_gesture.Content();
    int drop = 0;
    while (drop < index - 1 && ledger.bytesBeyond(present) > kByteLimit) {
        const auto *oldest = static_cast<const Command *>(m_stack->command(drop));
        ledger.remove(oldest->m_before);
        ledger.remove(oldest->m_after);
        ++drop;
    }
    dropOldest(drop);
}

// QUndoStack drops its oldest commands only by its count limit, so the kept
// steps are taken out and pushed again, with the same index and clean state;
// nothing is restored meanwhile.
void TGestureHistory::dropOldest(int steps)
{
    if (steps <= 0)
        return;
    struct Kept
    {
        QString text;
        int id, session;
        TGestureContent before, after;
    };
    const int index = m_stack->index();
    const int clean = m_stack->cleanIndex();
    std::vector<Kept> kept;
    for (int i = steps; i < m_stack->count(); ++i) {
        const auto *c = static_cast<const Command *>(m_stack->command(i));
        kept.push_back({ c->text(), c->m_id, c->m_session, c->m_before, c->m_after });
    }
    m_rebuilding = true;
    struct Done
    {
        bool &flag;
        ~Done() { flag = false; }
    } done { m_rebuilding };
    m_stack->clear();
    const int newClean = clean - steps;
    if (newClean == 0)
        m_stack->setClean();
    for (Kept &k : kept) {
        auto *command = new Command(*this, k.text, k.id, std::move(k.before), std::move(k.after));
        command->m_session = k.session;
        m_stack->push(command);
        if (m_stack->index() == newClean)
            m_stack->setClean();
    }
    while (m_stack->index() > index - steps)
        m_stack->undo();
    if (newClean < 0)
        m_stack->resetClean();
}
