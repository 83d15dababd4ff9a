#pragma once
// The program's per-user preferences: the main window's placement and the
// last folder of each kind of file dialog.
//
// Two keys hold them, "Software/Quorvant/Plumora/Settings" (the placement,
// 32-bit integers "Left", "Top", "Width", "Height", the outer edges and size
// of the window's frame, and "Maximized", 1 when it was closed maximised) and
// "Software/Quorvant/Plumora/Directories" (the folders, texts such as
// "Gesture Open"); "Software/Quorvant/Plumora/Recent Files" holds the list of
// recent gesture files. On Linux they live in one typed file in the XDG config
// folder (see settingsformat.h). Every read and write is a complete visit to
// the store: open, read or write, sync, close; nothing stays open between
// calls.
//
// Reading never fails: a store that cannot be read, a missing value or a
// value of the wrong type gives the defaults. Writing raises
// ERegistryException "Failed to set data for '<name>'" when the store
// refuses the value.
#include "platform/errors.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

class ERegistryException : public PlumoraError
{
public:
    using PlumoraError::PlumoraError;
};

class TPlumoraKeys
{
public:
    // Starts the placement cache at the virtual screen's top-left corner and
    // the primary screen's size.
    TPlumoraKeys();
    TPlumoraKeys(const TPlumoraKeys &) = delete;
    TPlumoraKeys &operator=(const TPlumoraKeys &) = delete;

    // (left, top) and (width, height) of the main window. Missing or
    // mistyped values fall back to the work area. The readers refresh the
    // cache; the writers store only a point that differs from the cache, and
    // a point the store refused is not cached, so that it is tried again.
    QPoint WindowPosition();
    void setWindowPosition(QPoint position);
    QPoint WindowSize();
    void setWindowSize(QPoint size);
    // Whether the window was closed maximised (then the placement above is
    // where it goes when it is restored). Missing or mistyped reads as false;
    // written only when it differs from the last value read or written.
    bool WindowMaximized();
    void setWindowMaximized(bool maximized);

    // Last folders, with their trailing separator as the callers give them.
    // A missing value reads as empty text; a value that is not text, or a
    // store that cannot be read, reads as the program file's full path.
    QString GestureOpenDir() { return readFolder(QStringLiteral("Gesture Open")); }
    void setGestureOpenDir(const QString &dir) { writeFolder(QStringLiteral("Gesture Open"), dir); }
    QString GestureSaveDir() { return readFolder(QStringLiteral("Gesture Save")); }
    void setGestureSaveDir(const QString &dir) { writeFolder(QStringLiteral("Gesture Save"), dir); }
    QString AnimationOpenDir() { return readFolder(QStringLiteral("Animation Open")); }
    void setAnimationOpenDir(const QString &dir) { writeFolder(QStringLiteral("Animation Open"), dir); }
    QString AnimationSaveDir() { return readFolder(QStringLiteral("Animation Save")); }
    void setAnimationSaveDir(const QString &dir) { writeFolder(QStringLiteral("Animation Save"), dir); }
    QString AudioOpenDir() { return readFolder(QStringLiteral("Audio Open")); }
    void setAudioOpenDir(const QString &dir) { writeFolder(QStringLiteral("Audio Open"), dir); }
    QString AudioSaveDir() { return readFolder(QStringLiteral("Audio Save")); }
    void setAudioSaveDir(const QString &dir) { writeFolder(QStringLiteral("Audio Save"), dir); }
    QString ButtonOpenDir() { return readFolder(QStringLiteral("Button Open")); }
    void setButtonOpenDir(const QString &dir) { writeFolder(QStringLiteral("Button Open"), dir); }
    QString ButtonSaveDir() { return readFolder(QStringLiteral("Button Save")); }
    void setButtonSaveDir(const QString &dir) { writeFolder(QStringLiteral("Button Save"), dir); }

    // The gesture files last opened or saved, most recent first, at most
    // kRecentFiles ("Recent Files", texts "File1" to "File8"). Unreadable or
    // mistyped values are left out.
    static constexpr int kRecentFiles = 8;
    QStringList RecentFiles();
    void setRecentFiles(const QStringList &files);
    // Seconds from the last change of a gesture to its recovery copy
    // ("Autosave Seconds" in the settings key; 10 when missing or negative,
    // 0 turns the copies off).
    int AutosaveSeconds();
    void setAutosaveSeconds(int seconds);

    // The desktop work area: the primary screen less panels and docks.
    QRect GetWorkArea() const;

    // The store's file: $PLUMORA_SETTINGS_FILE when set, else
    // <XDG config folder>/Quorvant/Plumora.conf. setStoreFile overrides both
    // (an empty path restores them).
    static QString storeFile();
    static void setStoreFile(const QString &path);

    static QString settingsKey() { return QStringLiteral("Software/Quorvant/Plumora/Settings"); }
    static QString directoriesKey() { return QStringLiteral("Software/Quorvant/Plumora/Directories"); }
    static QString recentFilesKey() { return QStringLiteral("Software/Quorvant/Plumora/Recent Files"); }

private:
    QPoint readPoint(const QString &xName, const QString &yName, QPoint fallback);
    void writePoint(const QString &xName, const QString &yName, QPoint point);
    QString readFolder(const QString &name);
    void writeFolder(const QString &name, const QString &dir);

    QPoint m_position; // cached (left, top)
    QPoint m_size; // cached (width, height)
    bool m_maximized = false; // cached "Maximized"
};
