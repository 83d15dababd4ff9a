#include "previewwindow.h"

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

    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("Panel"));
    m_panel->setAccessibleName(QStringLiteral("Preview"));
    m_panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_panel->setLineWidth(1);
    m_panel->setBackgroundRole(QPalette::Base);
    m_panel->setAutoFillBackground(true);
    outer->addWidget(m_panel);

    auto *inner = new QVBoxLayout(m_panel);
    inner->setContentsMargins(kBorder, kBorder, kBorder, kBorder);

    m_gesture = new TZQGesture(m_panel);
    m_gesture->setObjectName(QStringLiteral("Gesture"));
    m_gesture->setAccessibleName(QStringLiteral("Gesture"));
    m_gesture->NoSizeUpdate = true;
    // The layout sizes the control; it must not resize itself on reading.
    m_gesture->setAutoSize(false);
    m_gesture->setAutoPlay(true);
    inner->addWidget(m_gesture);

    m_panel->installEventFilter(this);
    m_gesture->installEventFilter(this);

    // Reading starts playback, since AutoPlay is on.
    m_gesture->setFilename(fileName);

    if (frameSize.width() > 0 && frameSize.height() > 0) {
        const int frame = m_panel->frameWidth();
        resize(frameSize.width() + 2 * (kBorder + frame), frameSize.height() + 2 * (kBorder + frame));
    } else {
        resize(200, 150);
    }

    if (const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen()) {
        QRect placed(QPoint(0, 0), size());
        placed.moveCenter(screen->availableGeometry().center());
        move(placed.topLeft());
    }
}

void TPreviewWindow::PreviewWindowKeyPress(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        reject();
    }
}

bool TPreviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        key->ignore();
        PreviewWindowKeyPress(key);
        if (key->isAccepted())
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TPreviewWindow::keyPressEvent(QKeyEvent *event)
{
    event->ignore();
    PreviewWindowKeyPress(event);
    if (!event->isAccepted())
        QDialog::keyPressEvent(event);
}
