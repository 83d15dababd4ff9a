#pragma once
// Text fields whose text a gesture file stores as Windows-1252: they take
// only characters that code page holds, so what the field shows is what the
// file keeps.
#include <QString>

#include <functional>

class QLineEdit;

// The first character of text that Windows-1252 cannot hold (a surrogate
// pair counts as one character), or an empty text when it holds them all.
QString FirstUnstorableCharacter(const QString &text);

// The note shown when a field refuses a character, naming it and its code
// point.
QString UnstorableCharacterNote(const QString &character);

// Makes the field refuse any edit, typed or pasted, that would bring in a
// character Windows-1252 cannot hold; refused is called with that
// character. Text set by the program (read from a file) is not checked.
void AcceptOnlyStorableText(QLineEdit *field, std::function<void(const QString &character)> refused);
