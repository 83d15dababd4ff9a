#include "urllabel.h"

#include "platform/ui/shell.h"

#include <QMouseEvent>

TURLLabel::TURLLabel(QWidget *parent) : QLabel(parent)
{
    // The caption is an address, never markup.
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setFontColor(m_colStd);
}

void TURLLabel::setHTTPorMail(THTTPorMAIL mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    update();
}

void TURLLabel::setURLColStd(TColor color)
{
    if (color == m_colStd)
        return;
    m_colStd = color;
    setFontColor(color);
}

void TURLLabel::setURLColPre(TColor color)
{
    if (color == m_colPre)
        return;
    m_colPre = color;
    update();
}

TColor TURLLabel::fontColor() const
{
    return fromQColor(palette().color(QPalette::WindowText));
}

void TURLLabel::setFontColor(TColor color)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, toQColor(color));
    setPalette(p);
    update();
}

QString TURLLabel::buildAddress(THTTPorMAIL mode, const QString &caption)
{
    QString address = (mode == hmMAIL ? QStringLiteral("mailto:") : QStringLiteral("http://")) + caption;
    qsizetype length = kAddressBufferChars - 1;
    if (address.size() > length) {
        // Never cut between the two halves of a surrogate pair.
        if (address[length - 1].isHighSurrogate())
            --length;
        address.truncate(length);
    }
    return address;
}

void TURLLabel::Click()
{
    emit clicked();
    plumora::ui::openAddress(address());
}

void TURLLabel::mousePressEvent(QMouseEvent *event)
{
    QLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        m_leftDown = true;
        setFontColor(m_colPre);
    }
}

void TURLLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        const bool click = m_leftDown && rect().contains(event->position().toPoint());
        m_leftDown = false;
        if (click)
            Click();
    }
    setFontColor(m_colStd);
}
