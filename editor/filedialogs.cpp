#include "filedialogs.h"

#include "picturepreview.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLineEdit>
#include <QVBoxLayout>

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
    SetFileFilter(*dialog, filter);
    return dialog;
}

void SetFileFilter(QFileDialog &dialog, const QString &filter)
{
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
    if (dialog.nameFilters() != filters)
        dialog.setNameFilters(filters);
}

namespace {

// The extensions of the pictures Qt's image plugins read beyond GIF, JPEG
// and BMP (PNG, WebP, TIFF, ...), as "*.png;*.webp;...".
QString qtPicturePatterns()
{
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats()) {
        const QString name = QString::fromLatin1(format).toLower();
        if (name == QLatin1String("gif") || name == QLatin1String("jpg") || name == QLatin1String("jpeg")
            || name == QLatin1String("bmp"))
            continue;
        patterns << QStringLiteral("*.") + name;
    }
    patterns.removeDuplicates();
    patterns.sort();
    return patterns.join(QLatin1Char(';'));
}

} // namespace

QString PictureFileFilter(bool withClips)
{
    const QString clips = QStringLiteral("*.webm;*.mp4;*.mkv;*.mov");
    QString all = QStringLiteral("*.gif;*.jpg;*.jpeg;*.bmp");
    const QString others = qtPicturePatterns();
    if (!others.isEmpty())
        all += QLatin1Char(';') + others;
    if (withClips)
        all += QLatin1Char(';') + clips;
    QString filter = QStringLiteral("All|%1|CompuServe GIF Image (*.gif)|*.gif|JPEG Image File (*.jpg)|*.jpg|"
                                    "JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp")
                         .arg(all);
    if (!others.isEmpty())
        filter += QStringLiteral("|Other pictures|%1").arg(others);
    if (withClips)
        filter += QStringLiteral("|Video clips|%1").arg(clips);
    // Any name: the content decides what a file is.
    return filter + QStringLiteral("|All files (*)|*");
}

QString RunFileDialog(QFileDialog &dialog, const QString &initialDir, bool confirmOverwrite)
{
    if (!initialDir.isEmpty() && QFileInfo(initialDir).isDir())
        dialog.setDirectory(initialDir);
    dialog.setResult(QDialog::Rejected);
    // A preview pane starts each run empty and stops playing when it ends.
    auto *pane = dialog.findChild<TPicturePreviewPane *>();
    if (pane)
        pane->Clear();
    const int result = plumora::ui::execDialog(dialog);
    if (pane)
        pane->Clear();
    if (result != QDialog::Accepted)
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

void AddSidePane(QFileDialog &dialog, QWidget *pane)
{
    pane->setParent(&dialog);
    // The standard controls fill a grid; the pane takes a column of its own
    // to their right, across all their rows.
    if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout()))
        grid->addWidget(pane, 0, grid->columnCount(), qMax(1, grid->rowCount()), 1);
    else if (dialog.layout())
        dialog.layout()->addWidget(pane);
}

QVBoxLayout *SetUpSidePane(QFrame &pane)
{
    pane.setFrameShape(QFrame::NoFrame);
    pane.setFixedWidth(169);
    auto *column = new QVBoxLayout(&pane);
    column->setContentsMargins(6, 4, 0, 0);
    column->setSpacing(0);
    return column;
}

QFrame *AddPaintPanel(QVBoxLayout &column, QWidget *surface)
{
    auto *panel = new QFrame(column.parentWidget());
    panel->setObjectName(QStringLiteral("paintPanel"));
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    panel->setMinimumHeight(145);
    auto *inside = new QVBoxLayout(panel);
    inside->setContentsMargins(0, 0, 0, 0);
    inside->addWidget(surface);
    column.addWidget(panel, 1);
    return panel;
}

namespace {

// The file a typed name stands for, in the folder the dialog shows.
QString typedPath(const QFileDialog &dialog, const QString &typed)
{
    const QString name = typed.trimmed();
    if (name.isEmpty())
        return {};
    const QString path = QFileInfo(name).isAbsolute() ? name : QDir(dialog.directory()).filePath(name);
    if (!QFileInfo(path).isFile() && QFileInfo(path).suffix().isEmpty()
        && !dialog.defaultSuffix().isEmpty()) {
        const QString withSuffix = path + QLatin1Char('.') + dialog.defaultSuffix();
        if (QFileInfo(withSuffix).isFile())
            return withSuffix;
    }
    return path;
}

} // namespace

void FollowCurrentFile(QFileDialog &dialog, std::function<void(const QString &path)> follow)
{
    QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, plumora::ui::guardedCallback(follow));
    // Typing a name does not move the list's current entry, so the name
    // field is followed too (clicking an entry also fills it in, with the
    // same file).
    if (auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
        QObject::connect(edit, &QLineEdit::textChanged, &dialog,
            plumora::ui::guardedCallback(
                [&dialog, follow](const QString &typed) { follow(typedPath(dialog, typed)); }));
    }
}
