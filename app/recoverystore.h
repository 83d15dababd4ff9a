#pragma once
// Recovery copies of gestures with unsaved changes, kept in the user's state
// folder ($XDG_STATE_HOME/plumora/recovery, made 0700) so that a crash, a
// kill or a log-out loses no work.
//
// Each running editor holds a lock file "<instance>.lock" for its whole run
// and names its copies "<instance>-<n>.zqa", each with a description
// "<instance>-<n>.json" (the gesture's own file or none, the window title,
// the time of the copy). Copies whose instance no longer runs are orphans:
// the next start offers them. Widget-free, so tests drive it directly.
#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

class QLockFile;

struct TRecoveryEntry
{
    QString path; // the gesture copy
    QString original; // the gesture's own file; empty when untitled
    QString title; // the window title at the time of the copy
    QDateTime time;
};

class TRecoveryStore
{
public:
    // Makes the folder and takes this instance's lock; without them the
    // store is not valid and writes nothing.
    explicit TRecoveryStore(const QString &folder = defaultFolder());
    ~TRecoveryStore();
    TRecoveryStore(const TRecoveryStore &) = delete;
    TRecoveryStore &operator=(const TRecoveryStore &) = delete;

    static QString defaultFolder();
    const QString &folder() const { return m_folder; }
    bool isValid() const;

    // A name for one more gesture of this instance.
    QString newKey();
    // Writes a copy atomically; raises the write's error.
    void write(const QString &key, const QByteArray &gesture, const QString &original, const QString &title);
    void remove(const QString &key);

    // The copies of editors that no longer run, oldest first.
    QList<TRecoveryEntry> orphans() const;
    // Makes an orphan one of this instance's copies; returns its key, or an
    // empty key when it could not be moved (another editor took it).
    QString adopt(const TRecoveryEntry &entry);
    static void discard(const TRecoveryEntry &entry);
    QString pathOf(const QString &key) const;

    // Set when the program ends without closing its gestures (SIGTERM, the
    // session's end): the copies stay for the next start.
    bool keepCopies = false;

private:
    QString m_folder;
    QString m_instance;
    std::unique_ptr<QLockFile> m_lock;
    int m_next = 0;
};
