#pragma once
// Thread: any (pure functions).
// Owns: nothing.
// Errors: write() returns false with the reason in `error`.

#include <QSize>
#include <QString>
#include <opencv2/core.hpp>

// The example tools' default input: a chart that shows what a look does to real material:
// a hue sweep fading to white, a smooth and a stepped grey ramp, skin tones and saturated
// reference patches, a zone plate and fine line gratings.
class ColorChart
{
public:
    // 16-bit RGBA, sRGB-encoded, opaque.
    static cv::Mat make(const QSize& size);
    // make() written as a 16-bit PNG (no embedded profile: readers take it as sRGB).
    static bool write(const QString& path, const QSize& size, QString* error);
};
