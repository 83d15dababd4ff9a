#pragma once
// TGestureHistory: the undo history of one gesture. Each step keeps the
// gesture as it was before and after one edit (TGestureContent) and puts one
// or the other back; the views follow the gesture's change signals, so the
// history holds nothing of theirs. Kept states share their frames' pixels,
// texts and sound bytes with the gesture and with each other, so a step costs
// little more than the list of frames it changed.
//
// The history keeps at most kLimit steps and at most kByteLimit bytes of
// pixels and sound that the gesture itself no longer holds, counting each
// shared buffer once; beyond either, the oldest steps go first (the latest
// step always stays).
//
// The gesture has unsaved changes exactly while the history is away from the
// state last saved or opened.
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <memory>

class QUndoStack;
class TZQGesture;
struct TGestureContent;

class TGestureHistory : public QObject
{
    Q_OBJECT

public:
    // Steps kept; older ones are dropped.
    static constexpr int kLimit = 1000;
    static constexpr qint64 kByteLimit = qint64(64) << 20;

    // Ids of steps that merge while the user keeps typing into one field.
    enum MergeId { NoMerge = -1, TaglineMerge = 1, AuthorMerge, LoopFrameMerge, AudioFrameMerge };

    explicit TGestureHistory(TZQGesture &gesture, QObject *parent = nullptr);
    ~TGestureHistory() override;

    // The commands, for the Edit menu's Undo and Redo.
    QUndoStack &Stack() const { return *m_stack; }

    // Whatever changes the gesture while a Step lives becomes one command,
    // named text; steps inside another add to the outer one. Consecutive
    // steps with the same merge id merge until EndTyping. A step that ends
    // with an exception puts the gesture back as it was, so the history
    // always matches it. Changes made while a step restores a state, or
    // while the history is paused, are no step.
    class Step
    {
    public:
        Step(TGestureHistory &history, const QString &text, int mergeId = NoMerge);
        ~Step();
        Step(const Step &) = delete;
        Step &operator=(const Step &) = delete;

    private:
        TGestureHistory &m_history;
        QString m_text;
        int m_mergeId;
        int m_errors; // exceptions under way when the step began
        std::unique_ptr<TGestureContent> m_before; // none inside another step
    };

    // The typing merged into one step ends (the field lost the focus).
    void EndTyping() { ++m_session; }
    // The gesture as it is now is where the history starts (a file was
    // opened): nothing to undo, nothing unsaved.
    void Restart();
    // While paused (a file being opened), changes are no step.
    void setPaused(bool paused) { m_paused = paused; }
    bool Restoring() const { return m_restoring; }
    // The bytes the kept states hold beyond the gesture's own (what
    // kByteLimit bounds).
    qint64 KeptBytes() const;

signals:
    // A step was recorded, undone or redone.
    void changed();

private:
    class Command;
    class Ledger;
    void restore(const TGestureContent &content, bool modified);
    // Drops the oldest steps while the history holds more than its bounds.
    void trim();
    void dropOldest(int steps);

    TZQGesture &m_gesture;
    QUndoStack *m_stack;
    int m_depth = 0; // steps open
    int m_session = 0; // typing merges within one session
    bool m_restoring = false;
    bool m_paused = false;
    bool m_rebuilding = false; // dropOldest puts the kept steps back
    std::unique_ptr<Ledger> m_ledger;
};
