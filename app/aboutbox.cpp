#include "aboutbox.h"

#include "platform/errors.h"
#include "platform/ui/application.h"
#include "ui_aboutbox.h"
#include "urllabel.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <qdrawutil.h>

#include <algorithm>

void TBevelPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    qDrawShadePanel(&p, rect(), palette(), true, 1);
    qDrawShadePanel(&p, rect().adjusted(1, 1, -1, -1), palette(), false, 1);
}

TGIFPictureBox::TGIFPictureBox(QWidget *parent) : QWidget(parent) { }

void TGIFPictureBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    plumora::ui::guarded(
        [&] { m_picture.DrawFrame(p, QRect(0, 0, m_picture.ScreenWidth(), m_picture.ScreenHeight())); });
}

QByteArray TAboutBox::logoGif()
{
    for (const QString &path : { QStringLiteral(":/plumora/logo.gif"),
             QCoreApplication::applicationDirPath() + QStringLiteral("/logo.gif") }) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return {};
}

TAboutBox::TAboutBox(QWidget *owner) : QDialog(owner), ui(std::make_unique<Ui::TAboutBox>())
{
    // The form gives the fixed layout, measured for an 8-point text face.
    ui->setupUi(this);
    try {
        ui->programIcon->Picture().ReadFromBuffer(logoGif());
    } catch (const PlumoraError &) {
        // A missing or damaged logo leaves the picture empty; the box still opens.
        ui->programIcon->Picture().Reset();
    }

    // Each text is as large as it is in the font in use, as an auto-sized
    // label is. With a wider system font a text may not fit behind its
    // place; it then moves left rather than running under the panel's edge.
    ui->webAddressLabel->setHTTPorMail(hmHTTP);
    for (QWidget *text : { static_cast<QWidget *>(ui->versionLabel),
             static_cast<QWidget *>(ui->copyrightLabel), static_cast<QWidget *>(ui->webAddressLabel) }) {
        text->adjustSize();
        const int overflow = text->geometry().right() - (ui->bevelPanel->width() - 3);
        if (overflow > 0)
            text->move(std::max(2, text->x() - overflow), text->y());
    }

    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TAboutBox::~TAboutBox() = default;
