#pragma once
// Small gestures made in memory for the gesture tests.
#include "gesture/zqgesture.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>

#include <memory>

namespace gesturetest {

// A frame whose pixels depend on the frame number, with a few pixels of
// `marked` (when given) so masks have something to act on.
inline QImage frameImage(int w, int h, int seed, TColor marked = clNone)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(
                x, y, qRgb((x * 40 + seed * 7) & 0xFF, (y * 30 + seed * 50) & 0xFF, (seed * 90) & 0xFF));
    if (marked != clNone)
        for (int x = 0; x < w; x += 2)
            image.setPixel(x, 0, toQRgb(marked));
    return image;
}

inline std::unique_ptr<TFrameList> frames(int w, int h, int count, TColor marked = clNone)
{
    auto list = std::make_unique<TFrameList>(w, h);
    for (int i = 0; i < count; ++i)
        list->Add(frameImage(w, h, i, marked), clNone);
    return list;
}

inline QByteArray bytesOf(TZQGesture &g)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    g.WriteGesture(buffer);
    return buffer.data();
}

inline void readInto(TZQGesture &g, const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    g.ReadGesture(buffer);
}

// A minimal valid WAV image: 16-bit mono PCM at 8000 Hz.
inline QByteArray wav(int samples)
{
    QByteArray data;
    for (int i = 0; i < samples; ++i) {
        const qint16 v = qint16((i * 517) % 20000 - 10000);
        data.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
    }
    auto le32 = [](quint32 v) {
        QByteArray b;
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xFF));
        return b;
    };
    auto le16 = [](quint16 v) { return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char(v >> 8)); };
    QByteArray out = "RIFF" + le32(quint32(36 + data.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(1)
        + le32(8000) + le32(16000) + le16(2) + le16(16) + "data" + le32(quint32(data.size()));
    return out + data;
}

} // namespace gesturetest
