#include "testdata.h"

#include <QFile>

#include <gtest/gtest.h>

namespace testdata {

QString path(const QString &relative)
{
    return QStringLiteral(PLUMORA_TEST_DATA_DIR "/") + relative;
}

QByteArray read(const QString &relative)
{
    QFile f(path(relative));
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read test file " << relative.toStdString();
        return {};
    }
    return f.readAll();
}

} // namespace testdata
