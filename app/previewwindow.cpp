#include "previewwindow.h"

#include "editor/gestureview.h"
#include "gesture/zqgesture.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

TPreviewWindow::TPreviewWindow(const QString &fileName, QSize frameSize, QWidget *owner)
    : QDialog(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("PreviewForm"));
    setWindowTitle(QStringLiteral("Preview"));
    setAccessibleName(windowTitle());

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    gesturePanel = new QFrame(this);
    gesturePanel->setObjectName(QStringLiteral("gesturePanel"));
    gesturePanel->setAccessibleName(QStringLiteral("Preview"));
    gesturePanel->setFrameStyle(QFrame::Box | QFrame::Plain);
    gesturePanel->setLineWidth(1);
    gesturePanel->setBackgroundRole(QPalette::Base);
    gesturePanel->setAutoFillBackground(true);
    outer->addWidget(gesturePanel);

    auto *inner = new QVBoxLayout(gesturePanel);
    inner->setContentsMargins(kBorder, kBorder, kBorder, kBorder);

    gesture = new TZQGesture(this);
    gesture->setObjectName(QStringLiteral("gesture"));
    gesture->NoSizeUpdate = true;
    gesture->MaxStripPixels = kPreviewMaxStripPixels;
    gestureView = new TGestureView(gesture, gesturePanel);
    gestureView->setObjectName(QStringLiteral("gestureView"));
    gestureView->setAccessibleName(QStringLiteral("Gesture"));
    // The layout sizes the view; it must not resize itself on reading.
    gestureView->setAutoSize(false);
    gestureView->setAutoPlay(true);
    inner->addWidget(gestureView);

    m_escapeWatch = plumora::ui::guardedEventFilter(
        { gesturePanel, gestureView }, [this](QObject *, QEvent *event) { return takeEscape(event); });

    // Reading starts playback, since AutoPlay is on.
    gesture->setFilename(fileName);

    if (frameSize.width() > 0 && frameSize.height() > 0) {
        const int frame = gesturePanel->frameWidth();
        resize(frameSize.width() + 2 * (kBorder + frame), frameSize.height() + 2 * (kBorder + frame));
        // A gesture smaller than the window sits in its middle.
        gestureView->setFixedSize(frameSize);
        inner->setAlignment(gestureView, Qt::AlignCenter);
    } else {
        resize(200, 150);
    }
    // Never so small that the title bar cannot show the title beside its
    // buttons.
    const QFontMetrics metrics(font());
    setMinimumSize(metrics.horizontalAdvance(windowTitle()) + 8 * metrics.height(), 4 * metrics.height());

    if (const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen()) {
        QRect placed(QPoint(0, 0), size());
        placed.moveCenter(screen->availableGeometry().center());
        move(placed.topLeft());
    }
}

void TPreviewWindow::closeOnEscape(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        reject();
    }
}

bool TPreviewWindow::takeEscape(QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    key->ignore();
    closeOnEscape(key);
    return key->isAccepted();
}

void TPreviewWindow::keyPressEvent(QKeyEvent *event)
{
    event->ignore();
    closeOnEscape(event);
    if (!event->isAccepted())
        QDialog::keyPressEvent(event);
}
