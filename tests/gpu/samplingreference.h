#pragma once
// CPU texture sampling as GL defines it for GL_MIRRORED_REPEAT wrapping, in double
// precision, for references of passes that resample.

#include <QPointF>

#include <opencv2/core.hpp>

namespace SamplingReference {

// Bilinear sample of a CV_32FC(n) image at texture coordinate (s, t) in [0, 1] units.
cv::Vec4d bilinear(const cv::Mat& image, double s, double t);
// The texel that GL_NEAREST picks at (s, t).
cv::Vec4d nearest(const cv::Mat& image, double s, double t);

// One pyramid reduction of `in` into `out` pixels: a weighted 3 x 3 pattern of bilinear taps
// around where each output pixel maps into the input, about one input texel apart (axis taps
// a little further out than diagonal ones).
cv::Mat pyramidReduce(const cv::Mat& in, const cv::Size& out);

// A CV_32FC4 image of smooth but not slowly varying content (a few pixels per feature), the
// same for a given seed; channel 3 is set to `alpha` unless it is negative.
cv::Mat texturedImage(const cv::Size& size, unsigned seed, double alpha = 1.0);

// The image point (pixels) that target point `t` samples when an image is placed with `pos`
// (half-sizes from the target centre), `scale` and a clockwise `rotation` in degrees.
cv::Point2d imagePointAt(const cv::Point2d& t, const cv::Size& image, const cv::Size& target, const QPointF& pos,
                         double scale, double rotation);

// The sRGB decoding curve: linear toe up to 0.04045, power curve above.
double srgbDecode(double c);

} // namespace SamplingReference
