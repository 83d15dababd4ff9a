#include "statuspanels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <cmath>

class TStatusPanels::Gauge : public QFrame
{
public:
    Gauge(int panel, const TStatusPanels &owner) : m_panel(panel), m_owner(owner) { }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QFrame::paintEvent(event);
        if (!m_owner.m_drawPanel)
            return;
        QPainter painter(this);
        m_owner.m_drawPanel(painter, m_panel, contentsRect());
    }

private:
    int m_panel;
    const TStatusPanels &m_owner; // the gauge's parent
};

TStatusPanels::TStatusPanels(DrawPanel drawPanel, QWidget *parent)
    : QWidget(parent), m_drawPanel(std::move(drawPanel))
{
    setObjectName(QStringLiteral("statusPanels"));
    setToolTip(QStringLiteral("Graphic, Audio, & Total file size limits "));
    setStatusTip(toolTip());
    setAccessibleName(QStringLiteral("File size limits"));
    struct Caption
    {
        const char *text, *name, *gauge;
    };
    const Caption captions[3] = { { "Animation", "animationCaption", "animationGauge" },
        { "Audio", "audioCaption", "audioGauge" }, { "Total", "totalCaption", "totalGauge" } };
    QList<QFrame *> panels;
    for (int i = 0; i < 3; ++i) {
        auto *label = new QLabel(QString::fromLatin1(captions[i].text));
        label->setObjectName(QString::fromLatin1(captions[i].name));
        panels << label;
        auto *gauge = new Gauge(2 * i + 1, *this);
        gauge->setObjectName(QString::fromLatin1(captions[i].gauge));
        gauge->setAccessibleName(label->text() + QStringLiteral(" size"));
        panels << gauge;
        m_gauges << gauge;
    }
    panels << new QFrame;

    // One scale for all panels: the smallest that lets every caption fit.
    double scale = 1.0;
    for (int i = 0; i < 7; i += 2) {
        panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        scale = std::max(scale, double(panels[i]->sizeHint().width()) / kWidths[i]);
    }
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    for (int i = 0; i < 7; ++i) {
        panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panels[i]->setFixedWidth(int(std::ceil(kWidths[i] * scale)));
        row->addWidget(panels[i]);
    }
}

void TStatusPanels::refreshGauges()
{
    for (QWidget *gauge : m_gauges)
        gauge->update();
}
