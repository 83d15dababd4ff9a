#include "dialogs.h"

#include <QApplication>
#include <QDialog>

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

int execDialog(QDialog &dialog)
{
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
