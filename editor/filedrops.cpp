#include "filedrops.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

QStringList DroppedFiles(const QMimeData &data, const QStringList &kinds)
{
    QStringList files;
    for (const QUrl &url : data.urls()) {
        const QFileInfo file(url.toLocalFile());
        if (!url.isLocalFile() || !file.isFile() || !kinds.contains(file.suffix().toUpper()))
            return {};
        files << file.absoluteFilePath();
    }
    return files;
}

bool AcceptFileDrop(QDropEvent &event)
{
    for (const Qt::DropAction action : { Qt::CopyAction, Qt::LinkAction }) {
        if (event.possibleActions() & action) {
            event.setDropAction(action);
            event.accept();
            return true;
        }
    }
    event.ignore();
    return false;
}
