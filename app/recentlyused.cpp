#include "recentlyused.h"

#include "platform/atomicfile.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace plumora {

namespace {

constexpr auto kApplication = "Plumora";
constexpr auto kMimeType = "application/x-plumora-gesture";
// A larger list is not one a desktop keeps; reading it would only cost memory.
constexpr qint64 kMaxListBytes = 16 * 1024 * 1024;

QDomElement childNamed(const QDomElement &parent, const QString &name)
{
    return parent.firstChildElement(name);
}

QDomElement ensureChild(QDomDocument &doc, QDomElement parent, const QString &name)
{
    QDomElement child = childNamed(parent, name);
    if (child.isNull())
        child = parent.appendChild(doc.createElement(name)).toElement();
    return child;
}

} // namespace

QString recentlyUsedFile()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/recently-used.xbel");
}

bool addToRecentlyUsed(const QString &filePath, const QDateTime &at)
{
    const QString listPath = recentlyUsedFile();
    QDomDocument doc;
    QFile file(listPath);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxListBytes)
            return false;
        const QByteArray bytes = file.read(kMaxListBytes + 1);
        file.close();
        // Prefixed names are kept as they stand ("bookmark:application"), so
        // whatever other programs wrote is written back unchanged.
        if (!bytes.trimmed().isEmpty()
            && (!doc.setContent(bytes) || doc.documentElement().tagName() != u"xbel"))
            return false;
    }
    if (doc.documentElement().isNull()) {
        doc.appendChild(doc.createProcessingInstruction(
            QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"")));
        QDomElement root = doc.createElement(QStringLiteral("xbel"));
        root.setAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
        root.setAttribute(QStringLiteral("xmlns:bookmark"),
            QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks"));
        root.setAttribute(QStringLiteral("xmlns:mime"),
            QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info"));
        doc.appendChild(root);
    }
    QDomElement root = doc.documentElement();
    const QString href = QString::fromUtf8(QUrl::fromLocalFile(filePath).toEncoded());
    const QString stamp = at.toUTC().toString(Qt::ISODateWithMs);

    QDomElement bookmark;
    for (QDomElement b = root.firstChildElement(QStringLiteral("bookmark")); !b.isNull();
         b = b.nextSiblingElement(QStringLiteral("bookmark")))
        if (b.attribute(QStringLiteral("href")) == href) {
            bookmark = b;
            break;
        }
    if (bookmark.isNull()) {
        bookmark = root.appendChild(doc.createElement(QStringLiteral("bookmark"))).toElement();
        bookmark.setAttribute(QStringLiteral("href"), href);
        bookmark.setAttribute(QStringLiteral("added"), stamp);
    }
    bookmark.setAttribute(QStringLiteral("modified"), stamp);
    bookmark.setAttribute(QStringLiteral("visited"), stamp);

    QDomElement info = ensureChild(doc, bookmark, QStringLiteral("info"));
    QDomElement metadata;
    for (QDomElement m = info.firstChildElement(QStringLiteral("metadata")); !m.isNull();
         m = m.nextSiblingElement(QStringLiteral("metadata")))
        if (m.attribute(QStringLiteral("owner")) == u"http://freedesktop.org")
            metadata = m;
    if (metadata.isNull()) {
        metadata = info.appendChild(doc.createElement(QStringLiteral("metadata"))).toElement();
        metadata.setAttribute(QStringLiteral("owner"), QStringLiteral("http://freedesktop.org"));
    }
    QDomElement mime = ensureChild(doc, metadata, QStringLiteral("mime:mime-type"));
    if (!mime.hasAttribute(QStringLiteral("type")))
        mime.setAttribute(QStringLiteral("type"), QString::fromLatin1(kMimeType));
    QDomElement apps = ensureChild(doc, metadata, QStringLiteral("bookmark:applications"));
    QDomElement app;
    for (QDomElement a = apps.firstChildElement(QStringLiteral("bookmark:application")); !a.isNull();
         a = a.nextSiblingElement(QStringLiteral("bookmark:application")))
        if (a.attribute(QStringLiteral("name")) == QLatin1String(kApplication))
            app = a;
    if (app.isNull()) {
        app = apps.appendChild(doc.createElement(QStringLiteral("bookmark:application"))).toElement();
        app.setAttribute(QStringLiteral("name"), QString::fromLatin1(kApplication));
        app.setAttribute(QStringLiteral("exec"), QStringLiteral("'plumora %u'"));
    }
    app.setAttribute(QStringLiteral("modified"), stamp);
    app.setAttribute(QStringLiteral("count"), app.attribute(QStringLiteral("count")).toInt() + 1);

    try {
        QDir().mkpath(QFileInfo(listPath).absolutePath());
        writeFileAtomically(listPath, doc.toByteArray(2));
    } catch (...) {
        return false; // the desktop's list is not ours to insist on
    }
    return true;
}

} // namespace plumora
