#pragma once
// A text label that looks and acts like a hyperlink: blue and underlined at
// rest, URLColPre while the left button is held on it, and a click hands its
// caption to the desktop as a web address ("http://" + caption) or, in mail
// mode, as a mail address ("mailto:" + caption).
#include "platform/colors.h"

#include <QLabel>

class TURLLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(THTTPorMAIL HTTPorMail READ HTTPorMail WRITE setHTTPorMail)
    Q_PROPERTY(quint32 URLColStd READ URLColStd WRITE setURLColStd)
    Q_PROPERTY(quint32 URLColPre READ URLColPre WRITE setURLColPre)

public:
    enum THTTPorMAIL { hmHTTP = 0, hmMAIL = 1 };
    Q_ENUM(THTTPorMAIL)

    // The address is built in a buffer of this many characters, its
    // terminating zero included: longer addresses are cut to 79 characters.
    static constexpr int kAddressBufferChars = 80;

    explicit TURLLabel(QWidget *parent = nullptr);

    THTTPorMAIL HTTPorMail() const { return m_mode; }
    void setHTTPorMail(THTTPorMAIL mode);
    // Colour at rest; it is also made the text colour at once.
    TColor URLColStd() const { return m_colStd; }
    void setURLColStd(TColor color);
    // Colour while the left button is held down on the label.
    TColor URLColPre() const { return m_colPre; }
    void setURLColPre(TColor color);

    QString Caption() const { return text(); }
    void setCaption(const QString &caption) { setText(caption); }

    // The colour the text is drawn in now.
    TColor fontColor() const;

    // The address a click opens.
    QString address() const { return buildAddress(m_mode, text()); }
    static QString buildAddress(THTTPorMAIL mode, const QString &caption);

    // A click: emits clicked, then opens the address. The desktop's answer
    // is not looked at: without a browser the click simply does nothing.
    virtual void Click();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setFontColor(TColor color);

    THTTPorMAIL m_mode = hmHTTP;
    TColor m_colStd = RGBColor(0, 0, 255);
    TColor m_colPre = RGBColor(255, 0, 0);
    bool m_leftDown = false; // a left press began on the label
};

using THTTPorMAIL = TURLLabel::THTTPorMAIL;
inline constexpr THTTPorMAIL hmHTTP = TURLLabel::hmHTTP;
inline constexpr THTTPorMAIL hmMAIL = TURLLabel::hmMAIL;
