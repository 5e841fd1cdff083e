#include "selectionreference.h"

#include <QTransform>
#include <QVariantMap>

#include "korvanetest.h"

namespace SelectionReference {

double smooth(double e0, double e1, double x)
{
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// smoothstep(e0, e1, x), and its limit (a hard step just above e0) where the edges meet.
double ramp(double e0, double e1, double x)
{
    return e1 > e0 ? smooth(e0, e1, x) : (x > e0 ? 1.0 : 0.0);
}

double hueOf(const cv::Vec3d& c)
{
    const double r = c[0], g = c[1], b = c[2];
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
    const double d = hi - lo + 1e-6;
    const double sixths = r >= g && r >= b ? (g - b) / d : g >= b ? 2.0 + (b - r) / d : 4.0 + (r - g) / d;
    return (sixths + 1.0) / 6.0;
}

double hueWeight(const cv::Vec3d& c, double hue, double range, bool invert)
{
    const double chroma = std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]});
    const double dist = chroma < 0.02 ? 1.0 : std::fabs(hueOf(c) - hue);
    const double w = ramp(0.0, range, dist);
    return invert ? 1.0 - w : w;
}

double lumWeight(const cv::Vec3d& c, double lum, double range, bool invert)
{
    const double w = ramp(0.0, range, std::fabs(0.30 * c[0] + 0.59 * c[1] + 0.11 * c[2] - lum));
    return invert ? 1.0 - w : w;
}

cv::Vec3d rgbAt(const cv::Mat& m, int x, int y)
{
    const cv::Vec4f p = m.at<cv::Vec4f>(y, x);
    return {p[0], p[1], p[2]};
}

// Bilinear read at normalised (s, t), clamped at the borders (the spot's reference colour).
cv::Vec3d sample(const cv::Mat& m, double s, double t)
{
    const double x = std::clamp(s * m.cols - 0.5, 0.0, m.cols - 1.0), y = std::clamp(t * m.rows - 0.5, 0.0, m.rows - 1.0);
    const int x0 = std::min(int(x), m.cols - 2), y0 = std::min(int(y), m.rows - 2);
    const double fx = x - x0, fy = y - y0;
    return (rgbAt(m, x0, y0) * (1 - fx) + rgbAt(m, x0 + 1, y0) * fx) * (1 - fy)
           + (rgbAt(m, x0, y0 + 1) * (1 - fx) + rgbAt(m, x0 + 1, y0 + 1) * fx) * fy;
}

// The spot weight at pixel (x, y) from the uniforms. `ambiguous` is set where the pixel sits
// on a hard edge, which either side may claim.
double spotWeight(const TSelection& sel, const cv::Mat& img, int x, int y, bool* ambiguous)
{
    const QVariantMap u = sel.uniforms();
    const QPointF p = u["transformQMatrix3x3"].value<QTransform>().map(QPointF(x + 0.5, y + 0.5));
    const QPointF ab = u["elipseabVec2"].toPointF();
    const double dis = ab.x() == 0.0 ? std::hypot(p.x(), p.y()) : ab.x() * std::hypot(p.x() / ab.x(), p.y() / ab.y());
    const double edge = dis * u["d_scale"].toDouble() + u["d_offset"].toDouble();
    *ambiguous = u["d_scale"].toDouble() > 1e6 && std::fabs(edge) < 1e4; // within 1e-3 px of a hard edge
    const double spatial = 1.0 - smooth(0.0, 1.0, edge);

    auto lumaChroma = [](const cv::Vec3d& c) {
        const double y = 0.21875 * c[0] + 0.71875 * c[1] + 0.0625 * c[2];
        return cv::Vec3d(y, c[0] - y, c[2] - y);
    };
    const cv::Vec3d here = lumaChroma(rgbAt(img, x, y));
    const QPointF centre = u["point"].toPointF();
    const cv::Vec3d ref = lumaChroma(sample(img, centre.x(), centre.y()));
    const double dist = 0.2 * std::fabs(here[0] - ref[0]) + 0.8 * std::hypot(here[1] - ref[1], here[2] - ref[2]);
    const double mc = spatial * u["colorT"].toDouble();
    const double w = (1.0 - ramp(0.3 * mc, 2.0 * mc, dist)) * spatial;
    return u["invert"].toInt() ? 1.0 - w : w;
}

// A 64 x 48 image of saturated hues across, fading to grey downwards, with a few exact
// greys and primaries in the first row.
cv::Mat hueImage()
{
    cv::Mat m(48, 64, CV_32FC4);
    for (int y = 0; y < m.rows; ++y) {
        for (int x = 0; x < m.cols; ++x) {
            const double h = 6.0 * x / m.cols, sat = 1.0 - y / 47.0, v = 0.3 + 0.6 * (x % 7) / 6.0;
            const cv::Vec3d pure(std::clamp(std::fabs(h - 3.0) - 1.0, 0.0, 1.0), std::clamp(2.0 - std::fabs(h - 2.0), 0.0, 1.0),
                                 std::clamp(2.0 - std::fabs(h - 4.0), 0.0, 1.0));
            const cv::Vec3d c = (pure * sat + cv::Vec3d::all(1.0 - sat)) * v;
            m.at<cv::Vec4f>(y, x) = cv::Vec4f(float(c[0]), float(c[1]), float(c[2]), 1.f);
        }
    }
    const cv::Vec4f fixed[] = {{0.5f, 0.5f, 0.5f, 1.f}, {1.f, 0.f, 0.f, 1.f}, {0.f, 1.f, 0.f, 1.f}, {0.f, 0.f, 0.f, 1.f},
                               {0.5f, 0.51f, 0.5f, 1.f}, {1.f, 0.f, 1.f, 1.f}};
    for (int i = 0; i < 6; ++i)
        m.at<cv::Vec4f>(0, i) = fixed[i];
    return m;
}

} // namespace SelectionReference
