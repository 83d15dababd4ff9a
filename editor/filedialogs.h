#pragma once
// The gesture window's file dialogs: non-native QFileDialogs (so the dialog
// seam can answer them in tests) with the filters and default extensions of
// each kind of file.
#include <QString>

#include <functional>

class QFileDialog;
class QFrame;
class QVBoxLayout;
class QWidget;

// Makes a picture/sound dialog. filter uses "Description|*.a;*.b|..." pairs.
QFileDialog *MakeFileDialog(QWidget *parent, const QString &objectName, bool save, const QString &filter,
    const QString &defaultSuffix);

// Sets the dialog's filters from "Description|*.a;*.b|..." pairs (kept as
// they are when they are the same, so the chosen one stays chosen).
void SetFileFilter(QFileDialog &dialog, const QString &filter);

// The filter of the dialogs that open pictures: every picture Qt reads,
// GIF, JPEG and BMP on their own, and any file (its content decides);
// withClips adds the video clips an animation may come from.
QString PictureFileFilter(bool withClips);

// Runs the dialog through the dialog seam, starting in initialDir (empty:
// where it was). Returns the chosen path, or an empty text when cancelled.
// With confirmOverwrite, choosing an existing file asks before replacing it;
// answering No cancels.
QString RunFileDialog(QFileDialog &dialog, const QString &initialDir, bool confirmOverwrite = false);

// The folder part of a path with its trailing separator, as the settings
// store keeps it.
QString FolderOf(const QString &path);

// Puts a preview pane in a column of its own to the right of the dialog's
// standard controls, across all their rows. The dialog must be non-native.
void AddSidePane(QFileDialog &dialog, QWidget *pane);

// Sets up the frame of a preview pane as the gesture and picture dialogs
// have it: 169 pixels wide, its contents 6 pixels from the standard controls
// and 4 lower than their top, in one column, which is returned.
QVBoxLayout *SetUpSidePane(QFrame &pane);
// Adds the pane's sunken picture area, which surface fills, to the column,
// taking the height the rows above leave.
QFrame *AddPaintPanel(QVBoxLayout &column, QWidget *surface);

// Calls follow with the file the dialog now points at, as the user moves
// through the list (clicks, arrow keys) or types a name: the list's current
// entry, or the typed name taken in the folder shown (with the default
// extension when the name has none and only that names a file). The path
// may name a folder or nothing at all; follow decides what it shows.
void FollowCurrentFile(QFileDialog &dialog, std::function<void(const QString &path)> follow);
