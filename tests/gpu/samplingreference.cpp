#include "samplingreference.h"

#include "korvanetest.h"

namespace SamplingReference {

namespace {

int mirrored(int i, int n)
{
    const int period = 2 * n;
    i %= period;
    if (i < 0)
        i += period;
    return i < n ? i : period - 1 - i;
}

cv::Vec4d texel(const cv::Mat& image, int x, int y)
{
    const float* p = image.ptr<float>(mirrored(y, image.rows)) + mirrored(x, image.cols) * image.channels();
    cv::Vec4d v(0, 0, 0, 1);
    for (int c = 0; c < image.channels(); ++c)
        v[c] = p[c];
    return v;
}

} // namespace

cv::Vec4d bilinear(const cv::Mat& image, double s, double t)
{
    const double x = s * image.cols - 0.5, y = t * image.rows - 0.5;
    const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    const double fx = x - x0, fy = y - y0;
    return (texel(image, x0, y0) * (1 - fx) + texel(image, x0 + 1, y0) * fx) * (1 - fy)
           + (texel(image, x0, y0 + 1) * (1 - fx) + texel(image, x0 + 1, y0 + 1) * fx) * fy;
}

cv::Vec4d nearest(const cv::Mat& image, double s, double t)
{
    return texel(image, int(std::floor(s * image.cols)), int(std::floor(t * image.rows)));
}

cv::Mat pyramidReduce(const cv::Mat& in, const cv::Size& out)
{
    // The output spans the input corner texel to corner texel, plus the padding pixel.
    const double sx = (out.width - 1) / ((in.cols - 1) * 0.5);
    const double sy = (out.height - 1) / ((in.rows - 1) * 0.5);
    const double dx = sx / (in.cols - 1), dy = sy / (in.rows - 1);
    const double ax = 1.182425523806356 * dx, ay = 1.182425523806356 * dy;
    const double gx = 1.047425873177567 * dx, gy = 1.047425873177567 * dy;
    const double wAxis = 0.741865942949246, wDiag = 0.550365077307974;
    cv::Mat r(out, CV_32FC4);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const double px = sx * (x + 0.5) / out.width, py = sy * (y + 0.5) / out.height;
            cv::Vec4d sum = bilinear(in, px, py);
            for (int sgn : {-1, 1}) {
                sum += wAxis * (bilinear(in, px + sgn * ax, py) + bilinear(in, px, py + sgn * ay));
                sum += wDiag * (bilinear(in, px + sgn * gx, py + gy) + bilinear(in, px + sgn * gx, py - gy));
            }
            r.at<cv::Vec4f>(y, x) = cv::Vec4f(sum / (1.0 + 4.0 * wAxis + 4.0 * wDiag));
        }
    }
    return r;
}

cv::Mat texturedImage(const cv::Size& size, unsigned seed, double alpha)
{
    cv::RNG rng(seed);
    double phase[4][2], freq[4][2];
    for (int c = 0; c < 4; ++c) {
        for (int a = 0; a < 2; ++a) {
            phase[c][a] = rng.uniform(0.0, 6.28);
            freq[c][a] = rng.uniform(0.3, 1.2);
        }
    }
    cv::Mat m(size, CV_32FC4);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            cv::Vec4f& p = m.at<cv::Vec4f>(y, x);
            for (int c = 0; c < 4; ++c)
                p[c] = float(0.5 + 0.45 * std::sin(freq[c][0] * x + phase[c][0]) * std::cos(freq[c][1] * y + phase[c][1]));
            if (alpha >= 0)
                p[3] = float(alpha);
        }
    }
    return m;
}

cv::Point2d imagePointAt(const cv::Point2d& t, const cv::Size& image, const cv::Size& target, const QPointF& pos,
                         double scale, double rotation)
{
    const double a = rotation * M_PI / 180.0;
    const double dx = t.x - target.width / 2.0 * (1.0 + pos.x());
    const double dy = t.y - target.height / 2.0 * (1.0 + pos.y());
    return {image.width / 2.0 + (dx * std::cos(a) + dy * std::sin(a)) / scale,
            image.height / 2.0 + (-dx * std::sin(a) + dy * std::cos(a)) / scale};
}

double srgbDecode(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

} // namespace SamplingReference
