#pragma once
// The main window's status bar panels: the captions "Animation", "Audio" and
// "Total", each followed by its owner-drawn size gauge, and an empty panel.
// Their widths keep the proportions of 60, 100, 40, 100, 40, 100 and 50
// pixels, scaled up as far as the captions need in the window's font.
#include <QWidget>

#include <functional>

class TStatusPanels : public QWidget
{
    Q_OBJECT

public:
    // Draws gauge panel 1, 3 or 5 into the given rectangle.
    using DrawPanel = std::function<void(QPainter &, int panel, const QRect &)>;
    explicit TStatusPanels(DrawPanel drawPanel, QWidget *parent = nullptr);

    // Repaints the three gauges.
    void refreshGauges();

    static constexpr int kWidths[7] = { 60, 100, 40, 100, 40, 100, 50 };

private:
    class Gauge;
    DrawPanel m_drawPanel;
    QList<QWidget *> m_gauges;
};
