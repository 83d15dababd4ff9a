#include "aboutbox.h"

#include "urllabel.h"
#include "platform/errors.h"

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
    m_picture.DrawFrame(p, QRect(0, 0, m_picture.ScreenWidth(), m_picture.ScreenHeight()));
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

    Panel1 = new TBevelPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 290, 137);

    ProgramIcon = new TGIFPictureBox(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setAccessibleName(QStringLiteral("Plumora logo"));
    ProgramIcon->setGeometry(4, 4, 228, 81);
    try {
        ProgramIcon->Picture().ReadFromBuffer(logoGif());
    } catch (const PlumoraError &) {
        // A missing or damaged logo leaves the picture empty; the box still opens.
        ProgramIcon->Picture().Reset();
    }

    // Created after the picture so that it is drawn over it.
    Version = plainLabel(QStringLiteral("Version 0.97 Beta"), QStringLiteral("Version"), Panel1, { 184, 48 });
    Copyright = plainLabel(
        QStringLiteral("Copyright \u00A9 2026 Quorvant"), QStringLiteral("Copyright"), Panel1, { 58, 91 });

    URLLabel1 = new TURLLabel(Panel1);
    URLLabel1->setObjectName(QStringLiteral("URLLabel1"));
    URLLabel1->setText(QStringLiteral("www.quorvant.example"));
    URLLabel1->setHTTPorMail(hmHTTP);
    URLLabel1->move(104, 112);
    URLLabel1->adjustSize();

    // With a wider system font a text may not fit behind its place; it then
    // moves left rather than running under the panel's edge.
    for (QWidget *text : { static_cast<QWidget *>(Version), static_cast<QWidget *>(Copyright),
             static_cast<QWidget *>(URLLabel1) }) {
        const int overflow = text->geometry().right() - (Panel1->width() - 3);
        if (overflow > 0)
            text->move(std::max(2, text->x() - overflow), text->y());
    }

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(115, 156, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
