#include "maskstrokes.h"

#include "korvanetest.h"

#include "effects/tmask.h"

namespace MaskStrokes {

const QString kId = QStringLiteral("__GlobalBlendMask__");
const QSize kImage(320, 240);

QVariantMap brush(double radiusPx, double hardness, double strength, double flow, double aware)
{
    return {{"radius", radiusPx / 80.0}, {"hardness", hardness}, {"strength", strength}, {"flow", flow},
            {"coloraware", aware}};
}

BrushPoint at(double x, double y, bool begin, bool end, const QVariantMap& settings)
{
    return {kId, QPointF(x / kImage.width(), y / kImage.height()), begin, end, settings};
}

BrushPoint command(const QString& type)
{
    return {kId, QPointF(), false, false, {{"type", type}}};
}

QList<BrushPoint> stroke(double x0, double x1, double y, double step, const QVariantMap& settings, bool snapshot)
{
    QList<BrushPoint> s{at(x0, y, true, false, settings)};
    for (double x = x0 + step; x <= x1; x += step)
        s << at(x, y, false, false, settings);
    s << at(x1, y, false, true, settings);
    if (snapshot)
        s << command("snapshot");
    return s;
}

bool isDrawn(const MaskDab& d)
{
    return d.type == MaskDab::Type::Start || d.type == MaskDab::Type::In;
}

QVector<MaskDab> dabsOf(const QList<BrushPoint>& samples)
{
    QVector<MaskDab> dabs;
    GpuFixture::onRenderThread([&] {
        TMask twin(kId);
        twin.setup(TSFbo(cv::Mat(kImage.height(), kImage.width(), CV_8UC4, cv::Scalar::all(128)), GL_RGBA8));
        twin.procDrawCmds(samples, twin.maskSize());
        dabs = twin.dabs();
    });
    return dabs;
}

namespace {
double smoothstep(double e0, double e1, double x)
{
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}
} // namespace

cv::Mat rasterise(const QVector<MaskDab>& dabs, const std::function<cv::Vec3d(double, double)>& color)
{
    cv::Mat m(kImage.height(), kImage.width(), CV_64F, 0.0);
    for (const MaskDab& d : dabs) {
        const QPointF c = d.center;
        const double r = d.radius, hard = d.hardness, flow = d.flow;
        for (int y = 0; y < m.rows; ++y) {
            for (int x = 0; x < m.cols; ++x) {
                const double dist = std::hypot(x + 0.5 - c.x(), y + 0.5 - c.y());
                if (!isDrawn(d) || dist > r)
                    continue;
                double a = smoothstep(0, 1 - 0.9 * hard, 1 - dist / r);
                if (d.coloraware > 0.1) {
                    const cv::Vec3d diff = color(x + 0.5, y + 0.5) - color(c.x(), c.y());
                    const double luma = 0.299 * diff[0] + 0.587 * diff[1] + 0.114 * diff[2];
                    const double chroma = std::abs(diff[0] - luma) / 2 + std::abs(diff[2] - luma) / 2;
                    const double t = std::min(1.0, (6 * chroma + 1.5 * std::abs(luma)) / (0.1 + a));
                    a *= 1 - t * t * (3 - 2 * t);
                }
                a *= flow;
                m.at<double>(y, x) = a * d.strength + m.at<double>(y, x) * (1 - a);
            }
        }
    }
    cv::Mat bytes;
    m.convertTo(bytes, CV_8U, 255.0);
    return bytes;
}

} // namespace MaskStrokes
