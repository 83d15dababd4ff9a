#include "help.h"

#include "application.h"
#include "platform/errors.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>

namespace plumora::ui {

namespace {

// The dynamic property that carries a control's help context.
const char kHelpContextProperty[] = "helpContext";
const QString kHelpFileName = QStringLiteral("plumora.html");

QString &explicitHelpFile()
{
    static QString path;
    return path;
}

QPointer<QWidget> &viewer()
{
    static QPointer<QWidget> instance;
    return instance;
}

QTextBrowser *browserOf(QWidget *window)
{
    return window ? window->findChild<QTextBrowser *>(QStringLiteral("helpBrowser")) : nullptr;
}

QWidget *createViewer()
{
    // Owned by the window that asked for help first, so it goes when the
    // program's windows go; it stays a window of its own.
    auto *window = new QWidget(QApplication::activeWindow(), Qt::Window);
    window->setObjectName(QStringLiteral("helpViewer"));
    window->setWindowTitle(QStringLiteral("Plumora Help"));
    window->resize(640, 520);

    auto *browser = new QTextBrowser(window);
    browser->setObjectName(QStringLiteral("helpBrowser"));
    browser->setAccessibleName(QStringLiteral("Help topic"));
    browser->setOpenExternalLinks(true);

    auto button = [window](const QString &caption, const QString &name) {
        auto *b = new QPushButton(caption, window);
        b->setObjectName(name);
        b->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton *contents = button(QStringLiteral("&Contents"), QStringLiteral("btnHelpContents"));
    QPushButton *index = button(QStringLiteral("&Index"), QStringLiteral("btnHelpIndex"));
    QPushButton *back = button(QStringLiteral("&Back"), QStringLiteral("btnHelpBack"));
    QPushButton *forward = button(QStringLiteral("&Forward"), QStringLiteral("btnHelpForward"));
    back->setEnabled(false);
    forward->setEnabled(false);
    // The help file may have gone since the viewer opened: the error is shown.
    QObject::connect(contents, &QPushButton::clicked, browser, guardedCallback([] { showHelpContents(); }));
    QObject::connect(index, &QPushButton::clicked, browser, guardedCallback([] { showHelpIndex(); }));
    QObject::connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
    QObject::connect(forward, &QPushButton::clicked, browser, &QTextBrowser::forward);
    QObject::connect(browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    QObject::connect(browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : { contents, index, back, forward })
        buttons->addWidget(b);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(window);
    layout->addLayout(buttons);
    layout->addWidget(browser);
    return window;
}

// Whether the help file names the anchor; read once per file.
bool fileHasAnchor(const QString &path, const QString &anchor)
{
    static QString cachedPath;
    static QByteArray cachedText;
    if (path != cachedPath) {
        QFile file(path);
        cachedText = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        cachedPath = path;
    }
    return cachedText.contains("name=\"" + anchor.toUtf8() + '"');
}

void showAnchor(const QString &anchor)
{
    const QString path = helpFile();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        throw PlumoraError(
            QStringLiteral("Cannot find the help file %1").arg(path.isEmpty() ? kHelpFileName : path));
    if (!viewer())
        viewer() = createViewer();
    QTextBrowser *browser = browserOf(viewer());
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(anchor);
    browser->setSource(url);
    // setSource does not move when the address is the one already shown.
    browser->scrollToAnchor(anchor);
    viewer()->show();
    viewer()->raise();
    viewer()->activateWindow();
}

} // namespace

QString helpFile()
{
    if (!explicitHelpFile().isEmpty())
        return explicitHelpFile();
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString candidates[] = {
        programDir + QStringLiteral("/help/") + kHelpFileName,
        programDir + QStringLiteral("/../share/plumora/help/") + kHelpFileName,
        QStandardPaths::locate(
            QStandardPaths::GenericDataLocation, QStringLiteral("plumora/help/") + kHelpFileName),
    };
    for (const QString &candidate : candidates)
        if (!candidate.isEmpty() && QFileInfo(candidate).isFile())
            return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
    return {};
}

void setHelpFile(const QString &path)
{
    explicitHelpFile() = path;
}

QString helpAnchor(int context)
{
    return QStringLiteral("context-%1").arg(context);
}

void showHelpContents()
{
    showAnchor(QStringLiteral("contents"));
}

void showHelpIndex()
{
    showAnchor(QStringLiteral("index"));
}

void showHowToUseHelp()
{
    showAnchor(QStringLiteral("howto"));
}

bool showHelpContext(int context)
{
    const QString path = helpFile();
    if (context > 0 && !path.isEmpty() && fileHasAnchor(path, helpAnchor(context))) {
        showAnchor(helpAnchor(context));
        return true;
    }
    showHelpContents();
    return false;
}

void showHelpFor(const QWidget *widget)
{
    const int context = helpContext(widget);
    if (context > 0)
        showHelpContext(context);
    else
        showHelpContents();
}

void setHelpContext(QWidget *widget, int context)
{
    widget->setProperty(kHelpContextProperty, context);
}

int helpContext(const QWidget *widget)
{
    for (; widget; widget = widget->parentWidget()) {
        const int context = widget->property(kHelpContextProperty).toInt();
        if (context > 0)
            return context;
    }
    return 0;
}

QWidget *helpWindow()
{
    return viewer();
}

QTextBrowser *helpBrowser()
{
    return browserOf(viewer());
}

} // namespace plumora::ui
