#pragma once
// Keeps a recovery copy of one gesture window's gesture while it has unsaved
// changes: a while after the last change (and at once on request) the
// gesture is written to the recovery store, from a copy of its content, so
// that its modified state, file name and undo history stay as they are.
// The copy goes when the gesture is saved or its window closes; it stays
// when the program ends without closing (see TRecoveryStore::keepCopies).
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class TfrmGestureWindow;
class TRecoveryStore;

class TGestureAutosave : public QObject
{
    Q_OBJECT

public:
    // delayMs 0: copies are written only on request.
    TGestureAutosave(TfrmGestureWindow &window, std::shared_ptr<TRecoveryStore> store, int delayMs,
        std::function<void(const QString &)> note);
    ~TGestureAutosave() override;

    // Writes the copy now when the gesture has unsaved changes. A gesture
    // that can not be written is noted once, never raised.
    void writeNow();
    // Takes over an adopted copy (a recovered gesture).
    void takeOver(const QString &key) { m_key = key; }
    const QString &key() const { return m_key; }

private:
    void changed();

    TfrmGestureWindow &m_window;
    std::shared_ptr<TRecoveryStore> m_store;
    std::function<void(const QString &)> m_note;
    QTimer m_timer;
    QString m_key;
    QString m_lastFailure;
};
