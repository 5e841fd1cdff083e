#include "colorchart.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <functional>
#include <cmath>

namespace {
using Rgb = std::array<double, 3>; // 0 ... 1, sRGB-encoded

cv::Vec4w pixel(const Rgb& c)
{
    auto q = [](double v) { return ushort(std::lround(std::clamp(v, 0.0, 1.0) * 65535.0)); };
    return cv::Vec4w(q(c[0]), q(c[1]), q(c[2]), 65535);
}

Rgb hueColor(double hue)
{
    const double h = 6.0 * (hue - std::floor(hue));
    auto channel = [h](double offset) {
        const double d = std::fmod(h + offset, 6.0);
        return std::clamp(std::abs(d - 3.0) - 1.0, 0.0, 1.0);
    };
    return {channel(0.0), channel(4.0), channel(2.0)};
}

void fill(cv::Mat& m, const cv::Rect& r, const std::function<Rgb(double u, double v, int x, int y)>& f)
{
    const cv::Rect clipped = r & cv::Rect(0, 0, m.cols, m.rows);
    for (int y = clipped.y; y < clipped.br().y; ++y) {
        auto* row = m.ptr<cv::Vec4w>(y);
        for (int x = clipped.x; x < clipped.br().x; ++x) {
            const double u = (x - r.x + 0.5) / r.width, v = (y - r.y + 0.5) / r.height;
            row[x] = pixel(f(u, v, x - r.x, y - r.y));
        }
    }
}

// Light to deep skin, then the saturated primaries and secondaries of print references.
const std::array<Rgb, 12> kPatches = {{
    {0.996, 0.890, 0.780}, {0.945, 0.761, 0.490}, {0.878, 0.675, 0.412},
    {0.776, 0.525, 0.259}, {0.553, 0.333, 0.141}, {0.349, 0.184, 0.165},
    {0.686, 0.212, 0.235}, {0.275, 0.580, 0.286}, {0.220, 0.239, 0.588},
    {0.906, 0.780, 0.122}, {0.733, 0.337, 0.584}, {0.031, 0.522, 0.631},
}};
} // namespace

cv::Mat ColorChart::make(const QSize& size)
{
    cv::Mat m(std::max(size.height(), 8), std::max(size.width(), 8), CV_16UC4, cv::Scalar::all(0));
    const int w = m.cols, h = m.rows;
    auto rows = [h](double from, double to) { return std::make_pair(int(from * h), int(to * h) - int(from * h)); };

    auto [sweepY, sweepH] = rows(0.0, 0.34);
    fill(m, {0, sweepY, w, sweepH}, [](double u, double v, int, int) {
        const Rgb c = hueColor(u);
        return Rgb{c[0] + (1 - c[0]) * v, c[1] + (1 - c[1]) * v, c[2] + (1 - c[2]) * v};
    });
    auto [rampY, rampH] = rows(0.34, 0.44);
    fill(m, {0, rampY, w, rampH}, [](double u, double, int, int) { return Rgb{u, u, u}; });
    auto [stepY, stepH] = rows(0.44, 0.54);
    fill(m, {0, stepY, w, stepH}, [](double u, double, int, int) {
        const double g = std::min(std::floor(u * 11.0), 10.0) / 10.0;
        return Rgb{g, g, g};
    });
    auto [patchY, patchH] = rows(0.54, 0.82);
    fill(m, {0, patchY, w / 2, patchH}, [](double u, double v, int, int) {
        const int column = std::min(int(u * 6), 5), row = std::min(int(v * 2), 1);
        const double du = u * 6 - column, dv = v * 2 - row;
        const bool border = du < 0.06 || du > 0.94 || dv < 0.06 || dv > 0.94;
        return border ? Rgb{0.2, 0.2, 0.2} : kPatches[size_t(row * 6 + column)];
    });
    // Zone plate: rings whose frequency rises to the Nyquist limit at its rim.
    const int plateW = w - w / 2;
    fill(m, {w / 2, patchY, plateW, patchH}, [plateW, patchH = patchH](double, double, int x, int y) {
        const double dx = x - 0.5 * plateW, dy = y - 0.5 * patchH, r2 = dx * dx + dy * dy;
        const double radius = 0.5 * patchH;
        const double g = r2 > radius * radius ? 0.5 : 0.5 + 0.5 * std::cos(M_PI / patchH * r2);
        return Rgb{g, g, g};
    });
    auto [lineY, lineH] = rows(0.82, 1.0);
    fill(m, {0, lineY, w, lineH}, [](double u, double v, int x, int y) {
        // Four gratings of 1, 2, 3 and 4 pixel lines, the lower half tilted a little.
        const int period = 1 + std::min(int(u * 4), 3);
        const int shifted = v < 0.5 ? x : x + y / 8;
        const double g = (shifted / period) % 2 ? 0.9 : 0.1;
        return Rgb{g, g, g};
    });
    return m;
}

bool ColorChart::write(const QString& path, const QSize& size, QString* error)
{
    cv::Mat bgra;
    cv::cvtColor(make(size), bgra, cv::COLOR_RGBA2BGRA);
    try {
        if (cv::imwrite(path.toStdString(), bgra))
            return true;
        if (error)
            *error = QStringLiteral("cannot write \"%1\"").arg(path);
    } catch (const cv::Exception& e) {
        if (error)
            *error = QStringLiteral("cannot write \"%1\": %2").arg(path, QString::fromStdString(e.msg));
    }
    return false;
}
