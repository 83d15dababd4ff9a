#pragma once
// Files dragged from a file manager onto the program's windows.
#include <QStringList>

class QDropEvent;
class QMimeData;

// The local files a drag holds when every one of them is of one of the
// kinds: upper-cased extensions without the dot ("GIF", "ZQA"), as the file
// dialogs choose kinds by name. Empty when the drag holds anything else
// (no file, a remote address, a folder, a file of another kind).
QStringList DroppedFiles(const QMimeData &data, const QStringList &kinds);

// Takes a drag or drop as a copy, or else as a link; never as a move, which
// would make the source delete its file. False (and refused) when the source
// offers neither.
bool AcceptFileDrop(QDropEvent &event);
