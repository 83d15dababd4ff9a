#pragma once
// The histogram reduction as it was before its palette followed the pixels:
// each palette entry is a masked colour and each pixel goes through its masked
// colour. Kept as the reduction benchmarks' peer, so that today's speed can be
// quoted against it on any machine; its quality is what was mended.
#include <QImage>

// An 8-bit palette copy (256 entries) of a Format_RGB32 picture.
QImage maskedReduction(const QImage &rgb);
