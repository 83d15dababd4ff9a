#include "filedialogs.h"

#include "platform/ui/dialogs.h"

#include <QFileDialog>
#include <QFileInfo>

QFileDialog *MakeFileDialog(QWidget *parent, const QString &objectName, bool save, const QString &filter,
    const QString &defaultSuffix)
{
    auto *dialog = new QFileDialog(parent);
    dialog->setObjectName(objectName);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // The replace question goes through the dialog seam instead (see below).
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setDefaultSuffix(defaultSuffix);
    QStringList filters;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // "All (*.gif;*.jpg)|*.gif;*.jpg" becomes "All (*.gif *.jpg)".
        QString description = parts[i];
        const QString patterns = parts[i + 1];
        if (!description.contains(QLatin1Char('(')))
            description
                += QStringLiteral(" (%1)").arg(QString(patterns).replace(QLatin1Char(';'), QLatin1Char(' ')));
        else
            description.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << description;
    }
    dialog->setNameFilters(filters);
    return dialog;
}

QString RunFileDialog(QFileDialog &dialog, const QString &initialDir, bool confirmOverwrite)
{
    if (!initialDir.isEmpty() && QFileInfo(initialDir).isDir())
        dialog.setDirectory(initialDir);
    dialog.setResult(QDialog::Rejected);
    if (plumora::ui::execDialog(dialog) != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty() || QFileInfo(files.first()).isDir())
        return {};
    QString path = files.first();
    if (dialog.acceptMode() == QFileDialog::AcceptSave && QFileInfo(path).suffix().isEmpty()
        && !dialog.defaultSuffix().isEmpty())
        path += QLatin1Char('.') + dialog.defaultSuffix();
    if (confirmOverwrite && QFileInfo::exists(path)) {
        const auto answer = plumora::ui::messageBox(&dialog,
            dialog.windowTitle().isEmpty() ? QStringLiteral("Plumora") : dialog.windowTitle(),
            QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(path).fileName()),
            QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return {};
    }
    return path;
}

QString FolderOf(const QString &path)
{
    QString folder = QFileInfo(path).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}
