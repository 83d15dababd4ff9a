#include "gesturedialogs.h"

#include "editor/filedialogs.h"
#include "gesture/zqgesture.h"
#include "platform/colors.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"
#include "previewwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardPaths>
#include <QStyle>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <functional>

namespace {

// a * b / c rounded to the nearest integer, for non-negative values.
int mulDiv(int a, int b, int c)
{
    return int((qint64(a) * b + c / 2) / c);
}

QString defaultFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

// The pane's drawing surface: the dialog paints it and opens the preview
// window on a double-click.
class TPaintBox : public QWidget
{
public:
    using QWidget::QWidget;

    std::function<void(QPainter &, const QRect &)> onPaint;
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(backgroundRole()));
        if (onPaint)
            onPaint(painter, rect());
    }
    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && onDoubleClick)
            onDoubleClick();
        else
            QWidget::mouseDoubleClickEvent(event);
    }
};

} // namespace

QRect PreviewPictureRect(const QRect &box, QSize picture)
{
    const int bw = box.width();
    const int bh = box.height();
    const int w = picture.width();
    const int h = picture.height();
    if (w <= 0 || h <= 0 || bw <= 0 || bh <= 0)
        return QRect(box.topLeft(), QSize(0, 0));
    if (w <= bw && h <= bh)
        return QRect(box.left() + (bw - w) / 2, box.top() + (bh - h) / 2, w, h);
    // The longer side takes the box's extent along it. When the box's own
    // proportions keep that from fitting, the other side decides instead.
    QSize fitted = w > h ? QSize(bw, mulDiv(h, bw, w)) : QSize(mulDiv(w, bh, h), bh);
    if (fitted.height() > bh)
        fitted = QSize(mulDiv(w, bh, h), bh);
    else if (fitted.width() > bw)
        fitted = QSize(bw, mulDiv(h, bw, w));
    return QRect(box.topLeft(), fitted);
}

void DrawPreview(QPainter &canvas, const QRect &box, const QColor &background, const QImage &picture,
    const QString &tagline)
{
    canvas.save();
    canvas.setClipRect(box, Qt::IntersectClip);
    const QFontMetrics metrics = canvas.fontMetrics();
    // Text goes on an opaque strip of the background colour.
    auto write = [&](int x, int y, const QString &text) {
        canvas.fillRect(QRect(x, y, metrics.horizontalAdvance(text), metrics.height()), background);
        canvas.drawText(x, y + metrics.ascent(), text);
    };
    if (picture.isNull()) {
        const QString none = QStringLiteral("(None)");
        write(box.left() + (box.width() - metrics.horizontalAdvance(none)) / 2,
            box.top() + (box.height() - metrics.height()) / 2, none);
    } else {
        const QRect target = PreviewPictureRect(box, picture.size());
        if (target.size() == picture.size())
            canvas.drawImage(target.topLeft(), picture);
        else if (!target.isEmpty())
            canvas.drawImage(target, picture);
        write(box.left() + (box.width() - metrics.horizontalAdvance(tagline)) / 2,
            box.top() + box.height() - metrics.height(), tagline);
    }
    canvas.restore();
}

void DrawPreview(QPainter &canvas, const QRect &box, const QColor &background, const TZQGesture &gesture)
{
    QImage picture;
    if (!gesture.Filename().isEmpty() && gesture.Valid())
        picture = gesture.Frames()->CopyFrame(0, fromQColor(background));
    DrawPreview(canvas, box, background, picture, gesture.Tagline());
}

// ---------------------------------------------------------------------------

TOpenGestureDialog::TOpenGestureDialog(QWidget *parent) : TOpenGestureDialog(parent, AcceptOpen) { }

TOpenGestureDialog::TOpenGestureDialog(QWidget *parent, AcceptMode mode) : QFileDialog(parent)
{
    // The pane lives in the dialog's own widgets, which a native dialog
    // would not have.
    setOption(DontUseNativeDialog);
    setAcceptMode(mode);
    setFileMode(mode == AcceptOpen ? ExistingFile : AnyFile);
    setNameFilter(QStringLiteral("Gestures (*.zqa)"));
    setDefaultSuffix(QStringLiteral("zqa"));

    // Reads the selected files for the pane, which draws its first frame.
    // Previewing must not encode anything, so sizes are not computed, nor
    // take long, so strips are read only up to the preview's budget.
    previewGesture = new TZQGesture(this);
    previewGesture->setObjectName(QStringLiteral("previewGesture"));
    previewGesture->NoSizeUpdate = true;
    previewGesture->MaxStripPixels = kPreviewMaxStripPixels;

    buildPane();
    FollowCurrentFile(*this, [this](const QString &path) { SelectionChanged(path); });
}

void TOpenGestureDialog::buildPane()
{
    picturePanel = new QFrame(this);
    picturePanel->setObjectName(QStringLiteral("picturePanel"));
    picturePanel->setAccessibleName(QStringLiteral("Picture"));
    QVBoxLayout *column = SetUpSidePane(*picturePanel);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    pictureLabel = new QLabel(picturePanel);
    pictureLabel->setObjectName(QStringLiteral("pictureLabel"));
    pictureLabel->setAccessibleName(QStringLiteral("Picture"));
    pictureLabel->setFixedHeight(23);
    pictureLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    row->addWidget(pictureLabel, 1);

    previewButton = new QToolButton(picturePanel);
    previewButton->setObjectName(QStringLiteral("previewButton"));
    previewButton->setAccessibleName(QStringLiteral("Preview"));
    previewButton->setToolTip(QStringLiteral("Preview"));
    previewButton->setFocusPolicy(Qt::NoFocus);
    previewButton->setAutoRaise(true);
    previewButton->setFixedSize(23, 22);
    previewButton->setIconSize(QSize(16, 16));
    previewButton->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    previewButton->setEnabled(false);
    connect(previewButton, &QToolButton::clicked, this,
        plumora::ui::guardedCallback([this] { ShowPreviewWindow(); }));
    row->addWidget(previewButton);
    // The button sits 2 pixels in from the picture area's right edge.
    row->addSpacing(2);
    column->addLayout(row);

    auto *paintBox = new TPaintBox;
    paintBox->setObjectName(QStringLiteral("paintSurface"));
    paintBox->setAccessibleName(QStringLiteral("Preview picture"));
    paintBox->onPaint = [this](QPainter &canvas, const QRect &box) { DrawPreview(canvas, box); };
    paintBox->onDoubleClick = plumora::ui::guardedCallback([this] { ShowPreviewWindow(); });
    paintSurface = paintBox;
    paintPanel = AddPaintPanel(*column, paintBox);
    paintPanel->setAccessibleName(QStringLiteral("Preview"));

    AddSidePane(*this, picturePanel);
}

void TOpenGestureDialog::setInitialDir(const QString &dir)
{
    m_initialDir = dir;
}

QString TOpenGestureDialog::FileName() const
{
    return selectedFiles().value(0);
}

QSize TOpenGestureDialog::previewFrameSize() const
{
    if (const TFrameList *frames = previewGesture->Frames())
        return QSize(frames->Width(), frames->Height());
    return QSize(0, 0);
}

void TOpenGestureDialog::PrepareRun()
{
    setDirectory(m_initialDir.isEmpty() ? defaultFolder() : m_initialDir);
    picturePanel->setVisible(!OldStyle);
    // As exec does; a scripted run may read the result of its own accept.
    setResult(QDialog::Rejected);
    // Each run starts with an empty preview.
    previewGesture->setFilename(QString());
    pictureLabel->clear();
    previewButton->setEnabled(false);
    paintSurface->update();
}

bool TOpenGestureDialog::Execute()
{
    PrepareRun();
    if (plumora::ui::execDialog(*this) != QDialog::Accepted)
        return false;
    const QString file = FileName();
    return !file.isEmpty() && !QFileInfo(file).isDir();
}

void TOpenGestureDialog::SelectionChanged(const QString &path)
{
    if (OldStyle)
        return;
    // Only plain files are read: a folder, a missing name or a device is
    // not a candidate (and reading a pipe could block).
    bool valid = !path.isEmpty() && QFileInfo(path).isFile();
    if (valid) {
        try {
            // Reading failures are swallowed by the gesture; a file that is
            // no gesture leaves it without frames and draws "(None)".
            previewGesture->setFilename(path);
            const QSize size = previewFrameSize();
            pictureLabel->setText(QStringLiteral(" (%1x%2)").arg(size.width()).arg(size.height()));
            previewButton->setEnabled(true);
        } catch (const std::exception &) {
            // Not shown to the user: the name just counts as not valid.
            valid = false;
        }
    }
    if (!valid) {
        pictureLabel->setText(QStringLiteral("Picture:"));
        previewButton->setEnabled(false);
        previewGesture->setFilename(QString());
    }
    paintSurface->update();
}

void TOpenGestureDialog::DrawPreview(QPainter &canvas, const QRect &box) const
{
    ::DrawPreview(
        canvas, box, paintSurface->palette().color(paintSurface->backgroundRole()), *previewGesture);
}

void TOpenGestureDialog::ShowPreviewWindow()
{
    TPreviewWindow window(previewGesture->Filename(), previewFrameSize(), this);
    plumora::ui::execDialog(window);
}

void TOpenGestureDialog::accept()
{
    // The file dialog's own "not found" warning would bypass the dialog
    // seam, so the same question is put here first.
    if (fileMode() == ExistingFile) {
        const QString file = FileName();
        if (!file.isEmpty() && !QFileInfo::exists(file)) {
            plumora::ui::messageBox(this, windowTitle(),
                tr("%1\nFile not found.\nPlease verify the correct file name was given.")
                    .arg(QFileInfo(file).fileName()),
                QMessageBox::Warning, QMessageBox::Ok);
            return;
        }
    }
    QFileDialog::accept();
}

void TOpenGestureDialog::done(int result)
{
    QFileDialog::done(result);
    QToolTip::hideText();
}

// ---------------------------------------------------------------------------

TSaveGestureDialog::TSaveGestureDialog(QWidget *parent) : TOpenGestureDialog(parent, AcceptSave)
{
    // The question before replacing is asked by ConfirmReplace, through the
    // dialog seam, instead of by the file dialog itself.
    setOption(DontConfirmOverwrite);
}

bool TSaveGestureDialog::ConfirmReplace(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists())
        return true;
    const auto answer = plumora::ui::messageBox(this, windowTitle(),
        tr("%1 already exists.\nDo you want to replace it?").arg(info.fileName()), QMessageBox::Warning,
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

void TSaveGestureDialog::accept()
{
    // Asked while the dialog is open, so No lets the user choose another
    // name.
    const QString file = FileName();
    const QFileInfo info(file);
    if (!file.isEmpty() && info.exists() && !info.isDir()) {
        if (!ConfirmReplace(file))
            return;
        m_confirmed = file;
    }
    TOpenGestureDialog::accept();
}

bool TSaveGestureDialog::Execute()
{
    m_confirmed.clear();
    if (!TOpenGestureDialog::Execute())
        return false;
    // A run that ended without the dialog's own accept (a scripted answer)
    // has not asked yet.
    const QString file = FileName();
    return file == m_confirmed || ConfirmReplace(file);
}
