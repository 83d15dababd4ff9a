// Draws the program's pictures: the about box logo (logo.gif, 228 x 81,
// written with the program's own GIF writer, one transparent colour), and
// the application icon and the gesture file's icon in the hicolor theme's
// sizes (icons/hicolor/NxN/..., PNG with alpha, and scalable SVG). Run it by hand when the
// drawing changes; the results are committed. See resources/README.md.
#include "codecs/gifimage.h"
#include "platform/bitmap.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRegularExpression>

#include <cstdio>
#include <vector>

namespace {

const QColor kPlumDark(0x4A, 0x1B, 0x5E);
const QColor kPlum(0x7B, 0x2F, 0x8F);
const QColor kPlumLight(0xC8, 0x8F, 0xD8);
const QColor kLeaf(0x3C, 0x8D, 0x2F);
const QColor kLeafDark(0x1F, 0x5A, 0x1A);
const QColor kStem(0x6B, 0x45, 0x22);

// One filled or stroked shape of a drawing. A drawing is kept as a list of
// them so that the same shapes are painted into the PNG icons and written
// out as the scalable SVG icons.
struct Shape
{
    QPainterPath path;
    QBrush fill = Qt::NoBrush; // a colour, or a linear or radial gradient
    QPen stroke = Qt::NoPen;
};

QPen pen(const QColor &colour, qreal width, Qt::PenCapStyle cap = Qt::SquareCap)
{
    QPen p(colour, width, Qt::SolidLine, cap);
    return p;
}

// A plum with its stem and a leaf, filling the box (aspect about 0.9 : 1).
// Strokes never get thinner than about a pixel, so small icons keep them.
std::vector<Shape> plumShapes(const QRectF &box)
{
    std::vector<Shape> shapes;
    const qreal w = box.width();
    const qreal h = box.height();
    const QRectF body(box.left() + 0.04 * w, box.top() + 0.22 * h, 0.86 * w, 0.76 * h);

    QRadialGradient shade(
        body.left() + 0.35 * body.width(), body.top() + 0.3 * body.height(), 0.75 * body.width());
    shade.setColorAt(0.0, kPlumLight);
    shade.setColorAt(0.35, kPlum);
    shade.setColorAt(1.0, kPlumDark);
    QPainterPath fruit;
    fruit.addEllipse(body);
    shapes.push_back({ fruit, shade, pen(kPlumDark, std::max<qreal>(1.0, 0.02 * w)) });

    // The crease down the fruit.
    QPainterPath crease;
    crease.moveTo(body.left() + 0.52 * body.width(), body.top() + 0.06 * body.height());
    crease.cubicTo(body.left() + 0.30 * body.width(), body.top() + 0.35 * body.height(),
        body.left() + 0.32 * body.width(), body.top() + 0.70 * body.height(),
        body.left() + 0.45 * body.width(), body.top() + 0.96 * body.height());
    shapes.push_back({ crease, Qt::NoBrush,
        pen(QColor(kPlumDark.red(), kPlumDark.green(), kPlumDark.blue(), 150), 0.025 * w, Qt::RoundCap) });

    // Highlight.
    QPainterPath highlight;
    highlight.addEllipse(QRectF(body.left() + 0.18 * body.width(), body.top() + 0.16 * body.height(),
        0.16 * body.width(), 0.22 * body.height()));
    shapes.push_back({ highlight, QColor(255, 255, 255, 120), Qt::NoPen });

    // Stem.
    const QPointF stemFoot(body.left() + 0.52 * body.width(), body.top() + 0.06 * body.height());
    QPainterPath stem;
    stem.moveTo(stemFoot);
    stem.quadTo(stemFoot + QPointF(0.02 * w, -0.12 * h), stemFoot + QPointF(0.12 * w, -0.2 * h));
    shapes.push_back({ stem, Qt::NoBrush, pen(kStem, std::max<qreal>(1.0, 0.045 * w), Qt::RoundCap) });

    // Leaf, and its middle vein.
    const QPointF base = stemFoot + QPointF(0.05 * w, -0.1 * h);
    const QPointF tip(box.left() + 0.98 * w, box.top() + 0.02 * h);
    QPainterPath leaf;
    leaf.moveTo(base);
    leaf.cubicTo(base + QPointF(0.05 * w, -0.16 * h), tip + QPointF(-0.2 * w, 0.0), tip);
    leaf.cubicTo(tip + QPointF(0.0, 0.16 * h), base + QPointF(0.25 * w, 0.06 * h), base);
    QLinearGradient green(base, tip);
    green.setColorAt(0, kLeafDark);
    green.setColorAt(1, kLeaf);
    shapes.push_back({ leaf, green, pen(kLeafDark, std::max<qreal>(1.0, 0.015 * w)) });
    QPainterPath vein;
    vein.moveTo(base);
    vein.lineTo(tip);
    shapes.push_back({ vein, Qt::NoBrush, pen(kLeafDark, std::max<qreal>(0.8, 0.012 * w)) });
    return shapes;
}

// The icon of a gesture file: a page with a folded corner, and the plum on it.
std::vector<Shape> documentShapes(const QRectF &box)
{
    const qreal w = box.width();
    const qreal h = box.height();
    const QRectF page(box.left() + 0.14 * w, box.top() + 0.03 * h, 0.72 * w, 0.94 * h);
    const qreal fold = 0.24 * w;
    const QColor edge(0x6E, 0x6E, 0x78);
    const qreal line = std::max<qreal>(1.0, 0.02 * w);
    QPainterPath sheet;
    sheet.moveTo(page.topLeft());
    sheet.lineTo(page.right() - fold, page.top());
    sheet.lineTo(page.right(), page.top() + fold);
    sheet.lineTo(page.bottomRight());
    sheet.lineTo(page.bottomLeft());
    sheet.closeSubpath();
    QLinearGradient paper(page.topLeft(), page.bottomRight());
    paper.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
    paper.setColorAt(1, QColor(0xE4, 0xE0, 0xEA));
    std::vector<Shape> shapes { { sheet, paper, pen(edge, line) } };
    QPainterPath corner;
    corner.moveTo(page.right() - fold, page.top());
    corner.lineTo(page.right() - fold, page.top() + fold);
    corner.lineTo(page.right(), page.top() + fold);
    corner.closeSubpath();
    shapes.push_back({ corner, QColor(0xCF, 0xC8, 0xD6), pen(edge, line) });
    for (Shape &shape : plumShapes(QRectF(box.left() + 0.24 * w, box.top() + 0.34 * h, 0.5 * w, 0.56 * h)))
        shapes.push_back(std::move(shape));
    return shapes;
}

void paintShapes(QPainter &p, const std::vector<Shape> &shapes)
{
    for (const Shape &shape : shapes) {
        p.setBrush(shape.fill);
        p.setPen(shape.stroke);
        p.drawPath(shape.path);
    }
}

QString number(qreal value)
{
    return QString::number(value, 'f', 2).remove(QRegularExpression(QStringLiteral("\\.?0+$")));
}

QString svgColour(const QColor &colour)
{
    return colour.name(QColor::HexRgb);
}

// The stops of a gradient, and the opacity of a colour that is not opaque.
QString svgStops(const QGradientStops &stops)
{
    QString out;
    for (const QGradientStop &stop : stops)
        out += QStringLiteral("<stop offset=\"%1\" stop-color=\"%2\"/>")
                   .arg(number(stop.first), svgColour(stop.second));
    return out;
}

QString svgOpacity(const char *attribute, const QColor &colour)
{
    return colour.alpha() == 255
        ? QString()
        : QStringLiteral(" %1=\"%2\"").arg(QLatin1String(attribute), number(colour.alphaF()));
}

QString svgPathData(const QPainterPath &path)
{
    QString d;
    QPointF start;
    QPointF at;
    // A subpath that ends where it began is closed, so its stroke joins there.
    const auto closeIfBack = [&] {
        if (!d.isEmpty() && at == start)
            d += QLatin1Char('Z');
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            closeIfBack();
            d += QStringLiteral("M%1 %2").arg(number(e.x), number(e.y));
            start = e;
        } else if (e.isLineTo()) {
            d += QStringLiteral("L%1 %2").arg(number(e.x), number(e.y));
        } else if (e.isCurveTo()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element to = path.elementAt(i + 2);
            d += QStringLiteral("C%1 %2 %3 %4 %5 %6")
                     .arg(number(e.x), number(e.y), number(c2.x), number(c2.y), number(to.x), number(to.y));
            i += 2;
            at = to;
            continue;
        }
        at = e;
    }
    closeIfBack();
    return d;
}

// The shapes as an SVG document of size x size units, as QPainter paints them.
QString svgOf(const std::vector<Shape> &shapes, int size)
{
    QString defs;
    QString body;
    int gradients = 0;
    for (const Shape &shape : shapes) {
        QString fill = QStringLiteral(" fill=\"none\"");
        if (const QGradient *g = shape.fill.gradient()) {
            const QString id = QStringLiteral("g%1").arg(++gradients);
            if (g->type() == QGradient::RadialGradient) {
                const auto *r = static_cast<const QRadialGradient *>(g);
                defs += QStringLiteral("<radialGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" cx=\"%2\" "
                                       "cy=\"%3\" r=\"%4\">%5</radialGradient>\n")
                            .arg(id, number(r->center().x()), number(r->center().y()), number(r->radius()),
                                svgStops(r->stops()));
            } else {
                const auto *l = static_cast<const QLinearGradient *>(g);
                defs += QStringLiteral("<linearGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" x1=\"%2\" "
                                       "y1=\"%3\" x2=\"%4\" y2=\"%5\">%6</linearGradient>\n")
                            .arg(id, number(l->start().x()), number(l->start().y()),
                                number(l->finalStop().x()), number(l->finalStop().y()), svgStops(l->stops()));
            }
            fill = QStringLiteral(" fill=\"url(#%1)\"").arg(id);
        } else if (shape.fill.style() != Qt::NoBrush) {
            fill = QStringLiteral(" fill=\"%1\"").arg(svgColour(shape.fill.color()))
                + svgOpacity("fill-opacity", shape.fill.color());
        }
        QString stroke;
        if (shape.stroke.style() != Qt::NoPen) {
            const char *cap = shape.stroke.capStyle() == Qt::RoundCap ? "round" : "square";
            stroke
                = QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\" stroke-linecap=\"%3\" "
                                 "stroke-linejoin=\"bevel\"")
                      .arg(svgColour(shape.stroke.color()), number(shape.stroke.widthF()), QLatin1String(cap))
                + svgOpacity("stroke-opacity", shape.stroke.color());
        }
        body += QStringLiteral("<path d=\"%1\"%2%3/>\n").arg(svgPathData(shape.path), fill, stroke);
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                          "viewBox=\"0 0 %1 %1\">\n<defs>\n%2</defs>\n%3</svg>\n")
        .arg(size)
        .arg(defs, body);
}

QImage drawLogo()
{
    QImage art(228, 81, QImage::Format_ARGB32_Premultiplied);
    art.fill(Qt::transparent);
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    paintShapes(p, plumShapes(QRectF(5, 6, 64, 70)));

    QFont title(QStringLiteral("DejaVu Serif"));
    title.setPixelSize(31);
    title.setBold(true);
    p.setFont(title);
    p.setPen(kPlumDark);
    p.drawText(QPointF(76, 40), QStringLiteral("Plumora"));

    QPainterPath swoosh;
    swoosh.moveTo(78, 50);
    swoosh.cubicTo(110, 44, 140, 56, 172, 47);
    p.setPen(QPen(kLeaf, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(swoosh);

    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(12);
    sub.setBold(true);
    p.setFont(sub);
    p.setPen(kPlum);
    p.drawText(QPointF(80, 70), QStringLiteral("gesture editor"));
    p.end();

    // One colour key for transparency: pixels at least half covered are laid
    // on the dialog's usual face colour, the rest become the key.
    const QColor face(0xEF, 0xEF, 0xEF);
    const QRgb key = qRgb(255, 0, 255);
    QImage flat(art.size(), QImage::Format_RGB32);
    const QImage straight = art.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < flat.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(straight.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(flat.scanLine(y));
        for (int x = 0; x < flat.width(); ++x) {
            const int a = qAlpha(in[x]);
            if (a < 128) {
                out[x] = key;
                continue;
            }
            auto mix = [a](int c, int f) { return (c * a + f * (255 - a)) / 255; };
            out[x] = qRgb(mix(qRed(in[x]), face.red()), mix(qGreen(in[x]), face.green()),
                mix(qBlue(in[x]), face.blue()));
        }
    }
    return flat;
}

// The box of the application icon's plum at a size: 224 x 244 of 256.
QRectF iconBox(qreal size)
{
    const qreal k = size / 256.0;
    return QRectF(16 * k, 8 * k, 224 * k, 244 * k);
}

QImage drawIcon(int size, const std::vector<Shape> &shapes)
{
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    paintShapes(p, shapes);
    p.end();
    return icon.convertToFormat(QImage::Format_ARGB32);
}

bool writeText(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0
        && file.flush();
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: plumora-makeresources OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    try {
        TBitmap logo(drawLogo());
        logo.setTransparentColor(RGBColor(255, 0, 255));
        logo.setTransparent(true);
        TGIFImage gif;
        gif.CopyFrom(logo);
        gif.WriteToFile(out.filePath(QStringLiteral("logo.gif")));
    } catch (const PlumoraError &error) {
        std::fprintf(stderr, "plumora-makeresources: %s\n", error.what());
        return 1;
    }
    // The application icon and the gesture file's icon at the usual sizes of
    // the hicolor theme, each drawn at its size, and as SVG.
    const int sizes[] = { 16, 22, 24, 32, 48, 64, 128, 256, 512 };
    struct Icon
    {
        const char *context;
        const char *name;
        std::vector<Shape> (*shapes)(const QRectF &);
        QRectF (*box)(qreal);
    };
    const Icon icons[] = {
        { "apps", "plumora", plumShapes, iconBox },
        { "mimetypes", "application-x-plumora-gesture", documentShapes,
            [](qreal size) { return QRectF(0, 0, size, size); } },
    };
    bool ok = true;
    for (const Icon &icon : icons) {
        const QString name = QString::fromLatin1(icon.name);
        for (int size : sizes) {
            const QString folder
                = QStringLiteral("icons/hicolor/%1x%1/%2").arg(size).arg(QLatin1String(icon.context));
            out.mkpath(folder);
            ok &= drawIcon(size, icon.shapes(icon.box(size)))
                      .save(out.filePath(folder + '/' + name + ".png"), "PNG");
        }
        const QString folder = QStringLiteral("icons/hicolor/scalable/%1").arg(QLatin1String(icon.context));
        out.mkpath(folder);
        ok &= writeText(out.filePath(folder + '/' + name + ".svg"), svgOf(icon.shapes(icon.box(256)), 256));
    }
    if (!ok) {
        std::fprintf(stderr, "plumora-makeresources: cannot write the icons\n");
        return 1;
    }
    return 0;
}
