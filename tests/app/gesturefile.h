#pragma once
// A small gesture file for the main window's tests: three 8 × 6 frames of
// distinct colours, the given texts, written with the gesture library.
#include "gesture/zqgesture.h"

#include <QImage>

#include <memory>

inline QString makeGesture(const QString &path, const QString &tagline, const QString &author = {})
{
    TZQGesture g;
    auto frames = std::make_unique<TFrameList>(8, 6);
    for (int i = 0; i < 3; ++i) {
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(qRgb(40 * i, 100, 200));
        frames->Add(image, clNone);
    }
    g.setFrames(std::move(frames));
    g.setTagline(tagline);
    g.SetAuthor(author);
    g.SaveToFile(path);
    return path;
}
