#include "statuspanels.h"

#include <QPainter>
#include <QStyleOption>

TStatusPanels::TStatusPanels(DrawPanel drawPanel, QWidget *parent)
    : QWidget(parent), m_drawPanel(std::move(drawPanel))
{
    setObjectName(QStringLiteral("statusPanels"));
    setToolTip(QStringLiteral("Graphic, Audio, & Total file size limits "));
    setStatusTip(toolTip());
    setAccessibleName(QStringLiteral("File size limits"));
}

QRect TStatusPanels::panelRect(int panel) const
{
    int x = 0;
    for (int i = 0; i < panel; ++i)
        x += kWidths[i];
    return QRect(x + 1, 2, kWidths[panel] - 2, height() - 4);
}

QSize TStatusPanels::sizeHint() const
{
    int width = 0;
    for (int w : kWidths)
        width += w;
    return QSize(width, fontMetrics().height() + 6);
}

void TStatusPanels::paintEvent(QPaintEvent *)
{
    static const char *const captions[7] = { "Animation", nullptr, "Audio", nullptr, "Total", nullptr, "" };
    QPainter painter(this);
    for (int i = 0; i < 7; ++i) {
        const QRect r = panelRect(i);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(r.adjusted(-1, -1, 0, 0));
        if (captions[i]) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(
                r.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QLatin1String(captions[i]));
        } else if (m_drawPanel) {
            painter.save();
            m_drawPanel(painter, i, r);
            painter.restore();
        }
    }
}
