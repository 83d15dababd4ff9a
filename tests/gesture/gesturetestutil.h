#pragma once
// Small gestures made in memory for the gesture tests.
#include "gesture/zqgesture.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <memory>
#include <stdexcept>

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

inline QByteArray be16(int v)
{
    return QByteArray(1, char((v >> 8) & 0xFF)) + QByteArray(1, char(v & 0xFF));
}

// A gesture file built field by field.
inline QByteArray handMade(const QByteArray &tagline, const QByteArray &header, const QByteArray &button,
    const QByteArray &animation, const QByteArray *sound = nullptr)
{
    QByteArray out = "ZQAG0100";
    out.append(char(tagline.size()));
    out += tagline + header;
    out += be16(int(button.size())) + button + QByteArray(2, '\0');
    out += be16(int(animation.size())) + animation + QByteArray(2, '\0');
    if (sound)
        out += be16(int(sound->size())) + *sound + QByteArray(2, '\0');
    return out;
}

inline QByteArray header(int flags, int frameWidth, TColor colour, int loopFrame, int audioFrame)
{
    QByteArray h(42, '\0');
    h[3] = char(flags);
    h[5] = char(frameWidth);
    h[6] = char(redOf(colour));
    h[7] = char(greenOf(colour));
    h[8] = char(blueOf(colour));
    h[9] = char(loopFrame);
    h[10] = char(audioFrame);
    return h;
}

// LZW image data (code size 2) for n pixels of colour 0, coded as giflib
// codes them: each code the longest run the table holds, a clear code when
// the table is full. About 1,500 pixels a byte: a picture of millions of
// pixels takes a few kilobytes, as real LZW data would.
inline QByteArray blackLzw(qint64 n)
{
    QByteArray bytes;
    quint32 buffer = 0;
    int filled = 0;
    int bits = 3;
    int limit = 8;
    int next = 6; // the next table entry
    const auto put = [&](int code) {
        buffer |= quint32(code) << filled;
        for (filled += bits; filled >= 8; filled -= 8, buffer >>= 8)
            bytes.append(char(buffer & 0xFF));
        if (next >= limit)
            limit = 1 << ++bits;
    };
    put(4); // clear
    qint64 left = n - 1; // the first pixel starts the first run
    int run = 1;
    int longest = 1; // the longest run the table holds
    while (true) {
        const qint64 grow = std::min<qint64>(longest - run, left);
        run += int(grow);
        left -= grow;
        if (left == 0)
            break;
        put(run == 1 ? 0 : run + 4); // code 6 holds a run of 2, 7 of 3, ...
        --left; // the pixel after the run starts the next one
        run = 1;
        if (next >= 4095) {
            put(4);
            bits = 3;
            limit = 8;
            next = 6;
            longest = 1;
        } else {
            ++next;
            longest = std::max(longest, int(next - 4 - 1));
        }
    }
    put(run == 1 ? 0 : run + 4);
    put(5); // end
    if (filled > 0)
        bytes.append(char(buffer & 0xFF));
    return bytes;
}

// A GIF of one black w x h picture with a black and white colour table.
inline QByteArray blackGif(int w, int h)
{
    const auto le16
        = [](int v) { return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char((v >> 8) & 0xFF)); };
    QByteArray gif = "GIF89a" + le16(w) + le16(h) + QByteArray("\x80\x00\x00\x00\x00\x00\xff\xff\xff", 9)
        + ',' + le16(0) + le16(0) + le16(w) + le16(h) + QByteArray("\x00\x02", 2);
    const QByteArray data = blackLzw(qint64(w) * h);
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        gif += char(block.size()) + block;
    }
    return gif + QByteArray("\x00;", 2);
}

// A gesture whose animation is one black w x h strip cut into frames of
// frameWidth, with a black 18 x 18 button picture.
inline QByteArray blackGesture(int frameWidth, int w, int h)
{
    return handMade({}, header(0x10, frameWidth, 0, 0, 0), blackGif(18, 18), blackGif(w, h));
}

// A minimal valid WAV image: 16-bit mono PCM at `rate` samples a second.
inline QByteArray wav(int samples, quint32 rate = 8000)
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
        + le32(rate) + le32(2 * rate) + le16(2) + le16(16) + "data" + le32(quint32(data.size()));
    return out + data;
}

// Gives the gesture `sound` through a file of its own, as the user's Open
// sound does; the file goes with the temporary folder.
inline void loadSound(TZQGesture &g, const QByteArray &sound)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("sound.wav")));
    if (!file.open(QIODevice::WriteOnly) || file.write(sound) != sound.size())
        throw std::runtime_error("cannot write a temporary sound file");
    file.close();
    g.LoadAudioFromFile(file.fileName());
}

} // namespace gesturetest
