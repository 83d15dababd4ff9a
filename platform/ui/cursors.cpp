#include "cursors.h"

#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace plumora::ui {

namespace {

QHash<int, QCursor> &table()
{
    static QHash<int, QCursor> cursors;
    return cursors;
}

int currentScreenCursor = crDefault;

} // namespace

void registerCursor(int number, const QCursor &cursor)
{
    table().insert(number, cursor);
}

QCursor cursor(int number)
{
    return table().value(number, QCursor(Qt::ArrowCursor));
}

bool hasCursor(int number)
{
    return table().contains(number);
}

QCursor colorSampleCursor()
{
    // An eyedropper lying from the lower left (tip) to the upper right (bulb):
    // black outline on white so that it shows on any colour it is picking.
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(1.5, 30.5);
    p.rotate(-45);

    QPainterPath tube; // glass tube with its pointed tip at the origin
    tube.moveTo(0, 0);
    tube.lineTo(5, -2.5);
    tube.lineTo(22, -2.5);
    tube.lineTo(22, 2.5);
    tube.lineTo(5, 2.5);
    tube.closeSubpath();
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(Qt::white);
    p.drawPath(tube);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(21, -4.5, 4, 9), 1, 1); // collar
    p.drawRoundedRect(QRectF(25, -3.5, 11, 7), 3.5, 3.5); // rubber bulb
    p.end();
    // Hot spot: the tip, at the lower left corner.
    return QCursor(picture, 1, 30);
}

void registerStandardCursors()
{
    const std::pair<int, Qt::CursorShape> system[] = {
        { crDefault, Qt::ArrowCursor },
        { crArrow, Qt::ArrowCursor },
        { crCross, Qt::CrossCursor },
        { crIBeam, Qt::IBeamCursor },
        { crSizeNS, Qt::SizeVerCursor },
        { crSizeWE, Qt::SizeHorCursor },
        { crHourGlass, Qt::WaitCursor },
        { crNo, Qt::ForbiddenCursor },
        { crHandPoint, Qt::PointingHandCursor },
        { crSizeAll, Qt::SizeAllCursor },
    };
    for (const auto &[number, shape] : system)
        registerCursor(number, QCursor(shape));
    registerCursor(crColorSample, colorSampleCursor());
}

void setScreenCursor(int number)
{
    if (number == currentScreenCursor)
        return;
    if (number == crDefault)
        QGuiApplication::restoreOverrideCursor();
    else if (currentScreenCursor == crDefault)
        QGuiApplication::setOverrideCursor(cursor(number));
    else
        QGuiApplication::changeOverrideCursor(cursor(number));
    currentScreenCursor = number;
}

int screenCursor()
{
    return currentScreenCursor;
}

} // namespace plumora::ui
