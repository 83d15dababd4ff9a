#pragma once
// Paths and small helpers shared by the tests.
#include <QByteArray>
#include <QString>

namespace testdata {

// Absolute path of a file under tests/data.
QString path(const QString &relative);
// The whole file under tests/data; fails the calling test when unreadable.
QByteArray read(const QString &relative);

} // namespace testdata
