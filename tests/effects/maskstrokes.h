#pragma once
// Brush strokes for the mask tests, on a 320 x 240 image (one mask pixel per image pixel, the
// largest dab radius R = 80 mask pixels), and a CPU rasterisation of their dabs written from
// the dab formula: smoothstep fall-off, flow, strength, "over" in floating point, colour-aware
// fading, one rounding to 8 bits at the end.

#include "effects/brushpoint.h"
#include "effects/maskdab.h"

#include <QSize>
#include <QVector>

#include <opencv2/core.hpp>

#include <functional>

namespace MaskStrokes {

extern const QString kId;
extern const QSize kImage;

QVariantMap brush(double radiusPx, double hardness = 0.5, double strength = 1.0, double flow = 1.0, double aware = 0.0);
// A sample at mask pixel (x, y) of the test image.
BrushPoint at(double x, double y, bool begin = false, bool end = false, const QVariantMap& settings = brush(10));
BrushPoint command(const QString& type);
// A straight stroke from (x0, y) to (x1, y), sampled every `step`, closed and (by default)
// recorded with a "snapshot".
QList<BrushPoint> stroke(double x0, double x1, double y, double step, const QVariantMap& settings,
                         bool snapshot = true);
bool isDrawn(const MaskDab& d);
// The dabs `samples` give on a fresh mask of the test image (render thread, CPU side only).
QVector<MaskDab> dabsOf(const QList<BrushPoint>& samples);
// The painted mask (CV_8U); colour-aware dabs compare `color` at the pixel and at the centre.
cv::Mat rasterise(const QVector<MaskDab>& dabs, const std::function<cv::Vec3d(double, double)>& color);

} // namespace MaskStrokes
