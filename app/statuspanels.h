#pragma once
// The main window's status bar panels: three captions and three owner-drawn
// size gauges, at fixed widths, after the hint area.
#include <QWidget>

#include <functional>

class TStatusPanels : public QWidget
{
    Q_OBJECT

public:
    using DrawPanel = std::function<void(QPainter &, int panel, const QRect &)>;
    explicit TStatusPanels(DrawPanel drawPanel, QWidget *parent = nullptr);

    // Widths of the seven panels, in pixels.
    static constexpr int kWidths[7] = { 60, 100, 40, 100, 40, 100, 50 };
    QRect panelRect(int panel) const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    DrawPanel m_drawPanel;
};
