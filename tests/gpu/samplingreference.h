#pragma once
// CPU references in double precision: texture sampling as GL defines it for
// GL_MIRRORED_REPEAT wrapping, for passes that resample, and the Y'UV the colour passes use.

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

// BT.709 luma; Y'UV with chroma centred on 0 (stored chroma adds 0.5), and back.
inline double luma(const cv::Vec4d& c)
{
    return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2];
}

inline cv::Vec3d toYUV(const cv::Vec4d& c)
{
    return {luma(c), -0.09991 * c[0] - 0.33609 * c[1] + 0.436 * c[2], 0.615 * c[0] - 0.55861 * c[1] - 0.05639 * c[2]};
}

inline cv::Vec3d toRGB(const cv::Vec3d& yuv)
{
    const double y = yuv[0], u = yuv[1], v = yuv[2];
    return {y - 0.000005767485569 * u + 1.280324266293523 * v, y - 0.214819843611307 * u - 0.380589675732042 * v,
            y + 2.127983079199983 * u + 0.000011039744505 * v};
}

} // namespace SamplingReference
