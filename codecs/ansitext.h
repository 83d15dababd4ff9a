#pragma once
// Texts stored in GIF and gesture files are 8-bit Windows-1252 ("ANSI")
// strings. These convert them to and from Unicode without depending on the
// codecs the platform happens to ship.
#include <QByteArray>
#include <QString>

// Decodes Windows-1252 bytes. The five bytes that code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 control characters of the same
// value, so every byte string survives fromAnsi followed by toAnsi.
QString fromAnsi(const QByteArray &bytes);

// Encodes to Windows-1252; every character the code page cannot hold becomes
// one '?' (a surrogate pair counts as one character).
QByteArray toAnsi(const QString &text);
