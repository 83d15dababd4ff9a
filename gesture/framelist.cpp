#include "framelist.h"

#include "platform/errors.h"

#include <QPainter>

namespace {

[[noreturn]] void indexError(int index)
{
    throw PlumoraError(QStringLiteral("Frame index out of bounds (%1)").arg(index));
}

} // namespace

TFrameList::TFrameList(int width, int height) : m_width(std::max(0, width)), m_height(std::max(0, height)) { }

const TFrameList::Frame &TFrameList::frame(int index) const
{
    if (index < 0 || index >= Count())
        indexError(index);
    return m_frames[index];
}

TFrameList::Frame TFrameList::makeFrame(const QImage &picture, TColor maskColor) const
{
    Frame f;
    f.maskColor = maskColor;
    if (picture.width() == m_width && picture.height() == m_height) {
        f.picture = picture.convertToFormat(QImage::Format_RGB32);
    } else {
        f.picture = QImage(m_width, m_height, QImage::Format_RGB32);
        f.picture.fill(Qt::black);
        QPainter painter(&f.picture);
        painter.drawImage(0, 0, picture);
    }
    return f;
}

void TFrameList::Add(const QImage &picture, TColor maskColor)
{
    m_frames.append(makeFrame(picture, maskColor));
}

void TFrameList::Insert(int index, const QImage &picture, TColor maskColor)
{
    if (index < 0 || index > Count())
        indexError(index);
    m_frames.insert(index, makeFrame(picture, maskColor));
}

void TFrameList::Delete(int index)
{
    frame(index);
    m_frames.removeAt(index);
}

void TFrameList::Move(int from, int to)
{
    frame(from);
    frame(to);
    m_frames.move(from, to);
}

bool TFrameList::IsTransparent(int index, int x, int y) const
{
    const Frame &f = frame(index);
    return f.maskColor != clNone && fromQRgb(f.picture.pixel(x, y)) == f.maskColor;
}

QImage TFrameList::CopyFrame(int index, TColor background) const
{
    const Frame &f = frame(index);
    QImage out = f.picture;
    if (background == clNone || f.maskColor == clNone || background == f.maskColor)
        return out;
    const QRgb key = toQRgb(f.maskColor);
    const QRgb fill = toQRgb(background);
    for (int y = 0; y < out.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((row[x] | 0xFF000000u) == key)
                row[x] = fill;
    }
    return out;
}

void TFrameList::Draw(QPainter &canvas, QPoint at, int index) const
{
    const Frame &f = frame(index);
    if (f.maskColor == clNone) {
        canvas.drawImage(at, f.picture);
        return;
    }
    if (f.masked.isNull()) {
        QImage masked = f.picture.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = toQRgb(f.maskColor);
        for (int y = 0; y < masked.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(masked.scanLine(y));
            for (int x = 0; x < masked.width(); ++x)
                if ((row[x] | 0xFF000000u) == key)
                    row[x] = 0;
        }
        f.masked = masked.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    canvas.drawImage(at, f.masked);
}
