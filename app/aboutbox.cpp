#include "aboutbox.h"

#include "urllabel.h"
#include "platform/errors.h"
#include "platform/ui/application.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <qdrawutil.h>

#include <algorithm>

namespace {

// A panel with a lowered outer and a raised inner bevel, one pixel each.
class TBevelPanel : public QFrame
{
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        qDrawShadePanel(&p, rect(), palette(), true, 1);
        qDrawShadePanel(&p, rect().adjusted(1, 1, -1, -1), palette(), false, 1);
    }
};

QLabel *plainLabel(const QString &text, const QString &name, QWidget *parent, QPoint at)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->move(at);
    label->adjustSize(); // sized to its text, as an auto-sized label is
    return label;
}

} // namespace

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

TAboutBox::TAboutBox(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(306, 191);
    // The layout is measured for an 8-point text face.
    QFont face = font();
    face.setPointSize(8);
    setFont(face);

    bevelPanel = new TBevelPanel(this);
    bevelPanel->setObjectName(QStringLiteral("bevelPanel"));
    bevelPanel->setGeometry(8, 8, 290, 137);

    programIcon = new TGIFPictureBox(bevelPanel);
    programIcon->setObjectName(QStringLiteral("programIcon"));
    programIcon->setAccessibleName(QStringLiteral("Plumora logo"));
    programIcon->setGeometry(4, 4, 228, 81);
    try {
        programIcon->Picture().ReadFromBuffer(logoGif());
    } catch (const PlumoraError &) {
        // A missing or damaged logo leaves the picture empty; the box still opens.
        programIcon->Picture().Reset();
    }

    // Created after the picture so that it is drawn over it.
    versionLabel = plainLabel(
        QStringLiteral("Version 0.97 Beta"), QStringLiteral("versionLabel"), bevelPanel, { 184, 48 });
    copyrightLabel = plainLabel(QStringLiteral("Copyright \u00A9 2026 Quorvant"),
        QStringLiteral("copyrightLabel"), bevelPanel, { 58, 91 });

    webAddressLabel = new TURLLabel(bevelPanel);
    webAddressLabel->setObjectName(QStringLiteral("webAddressLabel"));
    webAddressLabel->setText(QStringLiteral("www.quorvant.example"));
    webAddressLabel->setHTTPorMail(hmHTTP);
    webAddressLabel->move(104, 112);
    webAddressLabel->adjustSize();

    // With a wider system font a text may not fit behind its place; it then
    // moves left rather than running under the panel's edge.
    for (QWidget *text : { static_cast<QWidget *>(versionLabel), static_cast<QWidget *>(copyrightLabel),
             static_cast<QWidget *>(webAddressLabel) }) {
        const int overflow = text->geometry().right() - (bevelPanel->width() - 3);
        if (overflow > 0)
            text->move(std::max(2, text->x() - overflow), text->y());
    }

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(115, 156, 75, 25);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
