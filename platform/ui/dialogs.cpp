#include "dialogs.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QScreen>
#include <QTreeView>

#include <algorithm>

namespace plumora::ui {

namespace {
DialogResponder &responder()
{
    static DialogResponder instance;
    return instance;
}
} // namespace

void setDialogResponder(DialogResponder r)
{
    responder() = std::move(r);
}

bool hasDialogResponder()
{
    return bool(responder());
}

namespace {

// A file dialog's detail columns follow what they show (sizes up to
// "1023.99 KiB", the locale's dates), the name taking the rest, and the list
// is made wide enough for all of them, up to half the screen's width.
void fitFileDialog(QFileDialog &dialog)
{
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view || dialog.property("columnsFitted").toBool())
        return;
    dialog.setProperty("columnsFitted", true);
    QHeaderView *header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);

    const QFontMetrics fm(view->font());
    const int padding = 2 * fm.averageCharWidth() + 2 * view->style()->pixelMetric(QStyle::PM_HeaderMargin);
    const QString date
        = QLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58)), QLocale::ShortFormat);
    int columns = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * view->frameWidth();
    for (const QString &sample : { QStringLiteral("wwwwwwwwwwwwwwwwww"), QStringLiteral("1023.99 KiB"),
             QStringLiteral("Folder"), date })
        columns += fm.horizontalAdvance(sample) + padding;
    // The list asks for that much room; the dialog's layout grows with it.
    if (const QScreen *screen = dialog.screen())
        columns = std::min(columns, screen->availableGeometry().width() / 2);
    view->setMinimumWidth(std::max(view->minimumWidth(), columns));
}

} // namespace

int execDialog(QDialog &dialog)
{
    if (auto *files = qobject_cast<QFileDialog *>(&dialog))
        fitFileDialog(*files);
    if (responder())
        return responder()(dialog);
    return dialog.exec();
}

QMessageBox::StandardButton messageBox(QWidget *parent, const QString &caption, const QString &text,
    QMessageBox::Icon icon, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, caption, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(execDialog(box));
}

QString errorText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showError(const QString &message)
{
    messageBox(QApplication::activeWindow(), QStringLiteral("Plumora"), errorText(message),
        QMessageBox::Critical, QMessageBox::Ok);
}

} // namespace plumora::ui
