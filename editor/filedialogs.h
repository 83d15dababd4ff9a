#pragma once
// The gesture window's file dialogs: non-native QFileDialogs (so the dialog
// seam can answer them in tests) with the filters and default extensions of
// each kind of file.
#include <QString>

class QFileDialog;
class QWidget;

// Makes a picture/sound dialog. filter uses "Description|*.a;*.b|..." pairs.
QFileDialog *MakeFileDialog(QWidget *parent, const QString &objectName, bool save, const QString &filter,
    const QString &defaultSuffix);

// Runs the dialog through the dialog seam, starting in initialDir (empty:
// where it was). Returns the chosen path, or an empty text when cancelled.
// With confirmOverwrite, choosing an existing file asks before replacing it;
// answering No cancels.
QString RunFileDialog(QFileDialog &dialog, const QString &initialDir, bool confirmOverwrite = false);

// The folder part of a path with its trailing separator, as the settings
// store keeps it.
QString FolderOf(const QString &path);
