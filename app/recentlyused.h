#pragma once
// The desktop's list of recently used files: recently-used.xbel in the XDG
// data folder, shared by every program of the session. A file the program
// opened or saved is added, or its entry refreshed, with the program among
// its applications; every other entry and application stays as it was.
//
// The list is replaced as a whole (atomically), never edited in place. A
// list that does not parse, or is not a bookmark list, belongs to someone
// who may still mend it: it is left alone rather than replaced by a list
// holding only this program's entry.
#include <QDateTime>
#include <QString>

namespace plumora {

// $XDG_DATA_HOME/recently-used.xbel ($HOME/.local/share when unset).
QString recentlyUsedFile();

// Adds filePath as used now (at in tests). Returns false, with the list
// untouched, when it cannot be read, is damaged or cannot be written: the
// desktop's list is a convenience, and its failure never stops an open or a
// save.
bool addToRecentlyUsed(const QString &filePath, const QDateTime &at = QDateTime::currentDateTimeUtc());

} // namespace plumora
