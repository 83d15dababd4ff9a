// Draws the program's pictures: the about box logo (logo.gif, 228 x 81,
// written with the program's own GIF writer, one transparent colour) and the
// desktop icon (plumora.png, 256 x 256 with alpha). Run it by hand when the
// drawing changes; the results are committed. See resources/README.md.
#include "codecs/gifimage.h"
#include "platform/bitmap.h"
#include "platform/errors.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

const QColor kPlumDark(0x4A, 0x1B, 0x5E);
const QColor kPlum(0x7B, 0x2F, 0x8F);
const QColor kPlumLight(0xC8, 0x8F, 0xD8);
const QColor kLeaf(0x3C, 0x8D, 0x2F);
const QColor kLeafDark(0x1F, 0x5A, 0x1A);
const QColor kStem(0x6B, 0x45, 0x22);

// A plum with its stem and a leaf, filling the box (aspect about 0.9 : 1).
void drawPlum(QPainter &p, const QRectF &box)
{
    const qreal w = box.width();
    const qreal h = box.height();
    const QRectF body(box.left() + 0.04 * w, box.top() + 0.22 * h, 0.86 * w, 0.76 * h);

    QRadialGradient shade(
        body.left() + 0.35 * body.width(), body.top() + 0.3 * body.height(), 0.75 * body.width());
    shade.setColorAt(0.0, kPlumLight);
    shade.setColorAt(0.35, kPlum);
    shade.setColorAt(1.0, kPlumDark);
    p.setPen(QPen(kPlumDark, std::max<qreal>(1.0, 0.02 * w)));
    p.setBrush(shade);
    p.drawEllipse(body);

    // The crease down the fruit.
    QPainterPath crease;
    crease.moveTo(body.left() + 0.52 * body.width(), body.top() + 0.06 * body.height());
    crease.cubicTo(body.left() + 0.30 * body.width(), body.top() + 0.35 * body.height(),
        body.left() + 0.32 * body.width(), body.top() + 0.70 * body.height(),
        body.left() + 0.45 * body.width(), body.top() + 0.96 * body.height());
    p.setPen(QPen(QColor(kPlumDark.red(), kPlumDark.green(), kPlumDark.blue(), 150), 0.025 * w, Qt::SolidLine,
        Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(crease);

    // Highlight.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 120));
    p.drawEllipse(QRectF(body.left() + 0.18 * body.width(), body.top() + 0.16 * body.height(),
        0.16 * body.width(), 0.22 * body.height()));

    // Stem.
    const QPointF stemFoot(body.left() + 0.52 * body.width(), body.top() + 0.06 * body.height());
    QPainterPath stem;
    stem.moveTo(stemFoot);
    stem.quadTo(stemFoot + QPointF(0.02 * w, -0.12 * h), stemFoot + QPointF(0.12 * w, -0.2 * h));
    p.setPen(QPen(kStem, 0.045 * w, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(stem);

    // Leaf.
    const QPointF base = stemFoot + QPointF(0.05 * w, -0.1 * h);
    const QPointF tip(box.left() + 0.98 * w, box.top() + 0.02 * h);
    QPainterPath leaf;
    leaf.moveTo(base);
    leaf.cubicTo(base + QPointF(0.05 * w, -0.16 * h), tip + QPointF(-0.2 * w, 0.0), tip);
    leaf.cubicTo(tip + QPointF(0.0, 0.16 * h), base + QPointF(0.25 * w, 0.06 * h), base);
    QLinearGradient green(base, tip);
    green.setColorAt(0, kLeafDark);
    green.setColorAt(1, kLeaf);
    p.setPen(QPen(kLeafDark, std::max<qreal>(1.0, 0.015 * w)));
    p.setBrush(green);
    p.drawPath(leaf);
    p.setPen(QPen(kLeafDark, std::max<qreal>(0.8, 0.012 * w)));
    p.drawLine(base, tip);
}

QImage drawLogo()
{
    QImage art(228, 81, QImage::Format_ARGB32_Premultiplied);
    art.fill(Qt::transparent);
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawPlum(p, QRectF(5, 6, 64, 70));

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

QImage drawIcon()
{
    QImage icon(256, 256, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    drawPlum(p, QRectF(16, 8, 224, 244));
    p.end();
    return icon.convertToFormat(QImage::Format_ARGB32);
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
    if (!drawIcon().save(out.filePath(QStringLiteral("plumora.png")), "PNG")) {
        std::fprintf(stderr, "plumora-makeresources: cannot write plumora.png\n");
        return 1;
    }
    return 0;
}
