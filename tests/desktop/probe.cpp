// An agent that Qt loads into the real program for the desktop test, as a
// generic plugin (QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS=plumoraprobe).
// It runs the steps of PLUMORA_PROBE_STEPS (separated by ';') in the
// program's own event loop and appends one JSON object per report to
// PLUMORA_PROBE_OUT. It reaches the program only through its windows,
// widgets and actions, found by object name, as a user would on the screen.
// Steps: main (shown and framed), frame X Y W H | frame available (as the
// window system reports it),
// maximized, windows N, modal CLASS [ENTRIES] wait; place X Y W H, maximize,
// normal, trigger ACTION, tab N, select FILE, click BUTTON, close (the modal
// dialog), report TAG, shot NAME act.
//
// Every waiting step waits for a condition, polled every 20 ms, at most
// kStepTimeoutMs; a step that times out is noted in the next report's
// "errors" and the script goes on, so the test fails with what it saw.
#include "support/textfit.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QGenericPlugin>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

namespace {

constexpr int kStepTimeoutMs = 20000;

QJsonArray rectJson(const QRect &r)
{
    return { r.x(), r.y(), r.width(), r.height() };
}

QMainWindow *mainWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmMain"))
            return qobject_cast<QMainWindow *>(w);
    return nullptr;
}

bool exposed(QWidget *w)
{
    return w && w->isVisible() && w->windowHandle() && w->windowHandle()->isExposed();
}

QRect parseRect(const QStringList &a)
{
    return QRect(a.value(1).toInt(), a.value(2).toInt(), a.value(3).toInt(), a.value(4).toInt());
}

class Probe : public QObject
{
public:
    Probe()
    {
        m_steps = qEnvironmentVariable("PLUMORA_PROBE_STEPS").split(QLatin1Char(';'), Qt::SkipEmptyParts);
        m_out = qEnvironmentVariable("PLUMORA_PROBE_OUT");
        connect(&m_tick, &QTimer::timeout, this, [this] { run(); });
        m_tick.start(20);
        m_clock.start();
        qApp->installEventFilter(this);
    }

protected:
    // Notes the main window's geometry as the window system reports it: a
    // request changes the geometry at once, before the window manager has
    // carried it out (or done otherwise).
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->spontaneous() && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
            && watched->isWindowType())
            if (QMainWindow *main = mainWindow(); main && watched == main->windowHandle())
                m_reported = static_cast<QWindow *>(watched)->geometry();
        return false;
    }

private:
    // One step per tick, so that the program handles what a step did
    // (layouts, repaints) before the next step looks.
    void run()
    {
        if (m_next >= m_steps.size()) {
            m_tick.stop();
            return;
        }
        const QStringList step = m_steps[m_next].trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!step.isEmpty() && !perform(step)) {
            if (m_clock.elapsed() < kStepTimeoutMs)
                return;
            m_errors.append(QStringLiteral("timed out: ") + m_steps[m_next]);
        }
        ++m_next;
        m_clock.restart();
    }

    // Performs one step; false while its condition does not hold yet.
    bool perform(const QStringList &a)
    {
        const QString &op = a[0];
        QMainWindow *main = mainWindow();
        if (op == QLatin1String("main"))
            // Shown, and framed by the window manager.
            return exposed(main) && main->frameGeometry() != main->geometry();
        if (!main)
            return false;
        if (op == QLatin1String("frame"))
            return !main->isMaximized() && main->geometry() == m_reported
                && main->frameGeometry()
                == (a.value(1) == QLatin1String("available") ? available() : parseRect(a));
        if (op == QLatin1String("windows")) {
            // That many windows, each done loading the file it opens.
            auto *area = main->findChild<QMdiArea *>();
            if (!area || area->subWindowList().size() != a.value(1).toInt())
                return false;
            for (QMdiSubWindow *sub : area->subWindowList())
                if (sub->windowTitle().startsWith(QLatin1String("(untitled)")))
                    return false;
            return true;
        }
        if (op == QLatin1String("maximized"))
            return main->isMaximized() && main->frameGeometry().width() >= available().width();
        if (op == QLatin1String("place")) {
            // As a user drags the frame to a place and a size.
            const QRect frame = parseRect(a);
            main->move(frame.topLeft());
            main->resize(frame.size() - (main->frameGeometry().size() - main->size()));
        } else if (op == QLatin1String("maximize")) {
            main->showMaximized();
        } else if (op == QLatin1String("normal")) {
            main->showNormal();
        } else if (op == QLatin1String("trigger")) {
            auto *action = main->findChild<QAction *>(a.value(1));
            if (!action)
                return false;
            QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
        } else if (op == QLatin1String("tab")) {
            for (QTabWidget *tabs : main->findChildren<QTabWidget *>(QStringLiteral("pageTabs")))
                tabs->setCurrentIndex(a.value(1).toInt());
        } else if (op == QLatin1String("modal")) {
            return modalReady(a.value(1), a.value(2).toInt());
        } else if (op == QLatin1String("select")) {
            // Clicks the file's row in the list, as a user picks a file.
            QWidget *modal = QApplication::activeModalWidget();
            auto *view = modal ? modal->findChild<QTreeView *>(QStringLiteral("treeView")) : nullptr;
            if (!view)
                return false;
            const QModelIndexList found = view->model()->match(view->model()->index(0, 0, view->rootIndex()),
                Qt::DisplayRole, a.value(1), 1, Qt::MatchExactly);
            if (found.isEmpty())
                return false;
            view->selectionModel()->setCurrentIndex(
                found.first(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        } else if (op == QLatin1String("click")) {
            QWidget *modal = QApplication::activeModalWidget();
            auto *button = modal ? modal->findChild<QAbstractButton *>(a.value(1)) : nullptr;
            if (!button || !button->isEnabled())
                return false;
            QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        } else if (op == QLatin1String("close")) {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        } else if (op == QLatin1String("report")) {
            report(a.value(1), main);
        } else if (op == QLatin1String("shot")) {
            const QString folder = qEnvironmentVariable("PLUMORA_PROBE_SHOTS");
            if (QScreen *screen = QGuiApplication::primaryScreen(); screen && !folder.isEmpty())
                screen->grabWindow(0).save(folder + QLatin1Char('/') + a.value(1) + QStringLiteral(".png"));
        }
        return true;
    }

    QRect available() const
    {
        const QScreen *screen = QGuiApplication::primaryScreen();
        return screen ? screen->availableGeometry() : QRect();
    }

    // A modal dialog of the class is up, shown, and (for a file dialog)
    // lists at least the given number of entries.
    bool modalReady(const QString &className, int entries)
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!exposed(modal) || !modal->inherits(className.toLatin1().constData()))
            return false;
        if (auto *view = modal->findChild<QTreeView *>(QStringLiteral("treeView")))
            return view->model()->rowCount(view->rootIndex()) >= entries;
        return true;
    }

    void report(const QString &tag, QMainWindow *main)
    {
        QJsonObject line;
        line[QStringLiteral("tag")] = tag;
        line[QStringLiteral("frame")] = rectJson(main->frameGeometry());
        line[QStringLiteral("maximized")] = main->isMaximized();
        line[QStringLiteral("available")] = rectJson(available());
        QJsonArray windows;
        if (auto *area = main->findChild<QMdiArea *>())
            for (QMdiSubWindow *sub : area->subWindowList())
                windows.append(sub->windowTitle());
        line[QStringLiteral("windows")] = windows;
        QStringList cut;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible())
                cut << CutTexts(w);
        line[QStringLiteral("cut")] = QJsonArray::fromStringList(cut);
        line[QStringLiteral("errors")] = QJsonArray::fromStringList(m_errors);
        m_errors.clear();
        QFile file(m_out);
        if (file.open(QIODevice::Append))
            file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
    }

    QStringList m_steps;
    qsizetype m_next = 0;
    QString m_out;
    QStringList m_errors;
    QTimer m_tick;
    QElapsedTimer m_clock;
    QRect m_reported;
};

} // namespace

class ProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "probe.json")

public:
    QObject *create(const QString &key, const QString &) override
    {
        return key.compare(QLatin1String("plumoraprobe"), Qt::CaseInsensitive) == 0 ? new Probe : nullptr;
    }
};

#include "probe.moc"
