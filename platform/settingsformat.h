#pragma once
// A QSettings file format that keeps the type of every value, so that a
// 32-bit integer and a text never turn into each other on the way through
// the file. Readers can then tell a value of the wrong type from a good one.
//
// The file is UTF-8 text, one entry a line:
//
//   ; comment
//   [Software/Quorvant/Plumora/Settings]
//   "Left"=dword:00000064         32-bit integer (two's complement, hex)
//   "Gesture Open"="/home/a/b/"   text
//   "Blob"=hex:01,ff              bytes
//
// Section names and value names use the text escapes: \\ \" \n \r \t and
// \uHHHH for any other UTF-16 code unit (the writer uses it for control
// characters and unpaired surrogates; in a section name also for ']').
#include <QByteArray>
#include <QSettings>

#include <optional>

class QIODevice;

namespace plumora::settings {

// Files larger than this are refused as corrupt rather than read. The store
// holds a handful of values; only a file that cannot be a settings file of
// any use is refused, and one up to the limit is read a line at a time.
inline constexpr qint64 kMaxSettingsFileBytes = qint64(64) * 1024 * 1024;

// Parses a whole file. Any defect (bad UTF-8, an unknown line, a bad escape,
// an unknown type, an oversized file) gives nullopt and nothing else.
std::optional<QSettings::SettingsMap> parseTypedSettings(const QByteArray &bytes);

// The file text for a map. Values must be int, QString or QByteArray, and
// keys must be "section/name" paths with a non-empty name; anything else
// gives nullopt.
std::optional<QByteArray> formatTypedSettings(const QSettings::SettingsMap &map);

// A file's bytes for parseTypedSettings; nullopt, unread, when there are
// more than kMaxSettingsFileBytes.
std::optional<QByteArray> readSettingsBytes(QIODevice &device);

// The QSettings read and write functions built on the two above. The read
// function leaves the map untouched when it fails.
bool readTypedSettings(QIODevice &device, QSettings::SettingsMap &map);
bool writeTypedSettings(QIODevice &device, const QSettings::SettingsMap &map);

// The format, registered with QSettings on first use.
QSettings::Format typedSettingsFormat();

} // namespace plumora::settings
