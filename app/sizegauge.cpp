#include "sizegauge.h"

#include <QPainter>
#include <QString>

namespace {
int capped(int size)
{
    return size > 65536 ? 65536 : size;
}
} // namespace

QColor GaugeColor(int panel, int size)
{
    const int s = capped(size);
    const int yellowAt = panel == 5 ? 54000 : 25000;
    const int redAt = panel == 5 ? 64000 : 32500;
    if (s < yellowAt)
        return QColor(0, 255, 0);
    if (s < redAt)
        return QColor(255, 255, 0);
    return QColor(255, 0, 0);
}

int GaugeFill(int width, int size)
{
    return int(width * (capped(size) / 65536.0));
}

QString GaugeText(int size)
{
    return QString::number(capped(size) / 1024) + QLatin1Char('K');
}

void DrawSizeGauge(QPainter &painter, const QRect &rect, int panel, int size, const QColor &buttonFace)
{
    const int left = rect.left();
    const int right = rect.left() + rect.width();
    const int w = right - left;
    const int fill = GaugeFill(w, size);
    // A negative size (not computed yet) draws no bar.
    if (fill > 0)
        painter.fillRect(
            QRect(QPoint(left, rect.top()), QPoint(left + fill - 1, rect.bottom())), GaugeColor(panel, size));
    const int restFrom = std::max(left, left + fill);
    if (restFrom < right)
        painter.fillRect(QRect(QPoint(restFrom, rect.top()), QPoint(right - 1, rect.bottom())), buttonFace);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics metrics(painter.font());
    painter.drawText(QPoint(left + w / 2 - 5, rect.top() + metrics.ascent()), GaugeText(size));
}
