#pragma once
// The status bar's size gauges: how close the animation, the sound and the
// whole gesture file come to the 64 KiB a gesture file block can hold.
#include <QColor>
#include <QRect>

class QFont;
class QPainter;

// Panels 1 (animation) and 3 (audio) turn yellow at 25000 bytes and red at
// 32500; panel 5 (total) at 54000 and 64000.
QColor GaugeColor(int panel, int size);
// Fill width of a gauge of the given width for a size (capped at 65536).
int GaugeFill(int width, int size);
// The text: whole KiB of the capped size, then "K".
QString GaugeText(int size);
// Draws one gauge into rect: the bar, the rest in the button face colour and
// the text with a transparent background.
void DrawSizeGauge(QPainter &painter, const QRect &rect, int panel, int size, const QColor &buttonFace);
