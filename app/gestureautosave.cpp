#include "gestureautosave.h"

#include "editor/gesturewindow.h"
#include "gesture/zqgesture.h"
#include "platform/errors.h"
#include "recoverystore.h"

TGestureAutosave::TGestureAutosave(TfrmGestureWindow &window, std::shared_ptr<TRecoveryStore> store,
    int delayMs, std::function<void(const QString &)> note)
    : QObject(&window), m_window(window), m_store(std::move(store)), m_note(std::move(note))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(delayMs);
    connect(&m_timer, &QTimer::timeout, this, &TGestureAutosave::writeNow);
    const TZQGesture *gesture = window.Gesture();
    connect(gesture, &TZQGesture::edited, this, &TGestureAutosave::changed);
    connect(gesture, &TZQGesture::unsavedChangesChanged, this, &TGestureAutosave::changed);
}

TGestureAutosave::~TGestureAutosave()
{
    if (!m_key.isEmpty() && !m_store->keepCopies)
        m_store->remove(m_key);
}

void TGestureAutosave::changed()
{
    if (m_window.Gesture()->UnsavedChanges()) {
        if (m_timer.interval() > 0)
            m_timer.start();
        return;
    }
    // Saved (or back where it was saved): nothing to recover.
    m_timer.stop();
    if (!m_key.isEmpty())
        m_store->remove(m_key);
}

void TGestureAutosave::writeNow()
{
    m_timer.stop();
    const TZQGesture &gesture = *m_window.Gesture();
    if (!gesture.UnsavedChanges() || !m_store->isValid())
        return;
    try {
        // Writing prepares the strip in the gesture it writes; a copy of the
        // content keeps the user's gesture exactly as it is. Encoding is
        // bounded by the file's block limits.
        TZQGesture copy;
        copy.NoSizeUpdate = true;
        copy.RestoreContent(gesture.Content(), true);
        const QByteArray bytes = copy.WriteGestureToBuffer();
        if (m_key.isEmpty())
            m_key = m_store->newKey();
        m_store->write(m_key, bytes, gesture.Filename(), m_window.windowTitle());
        m_lastFailure.clear();
    } catch (const std::exception &error) {
        // Said once per reason, in the status bar: it comes back with every
        // change until the gesture fits again.
        const QString reason = QString::fromUtf8(error.what());
        if (reason != m_lastFailure && m_note)
            m_note(QStringLiteral("No recovery copy of this gesture: %1").arg(reason));
        m_lastFailure = reason;
    }
}
