#include "blendreference.h"

#include "nodes/tnode.h"

#include <QMetaEnum>

#include "korvanetest.h"
#include <cstdio>

namespace BlendReference {

namespace {

double clamp01(double v)
{
    return std::min(1.0, std::max(0.0, v));
}

double burn(double b, double f)
{
    return b >= 1.0 ? 1.0 : f == 0.0 ? 0.0 : std::max(0.0, 1.0 - (1.0 - b) / f);
}

double dodge(double b, double f)
{
    return b <= 0.0 ? 0.0 : f == 1.0 ? 1.0 : std::min(1.0, b / (1.0 - f));
}

double vivid(double b, double f)
{
    return f < 0.5 ? burn(b, 2.0 * f) : dodge(b, 2.0 * f - 1.0);
}

double perChannel(int mode, double b, double f)
{
    switch (mode) {
    case TNode::BLENDMODE_DARKEN: return std::min(b, f);
    case TNode::BLENDMODE_MULTIPLY: return b * f;
    case TNode::BLENDMODE_COLOR_BURN: return burn(b, f);
    case TNode::BLENDMODE_LINEAR_BURN: return std::max(0.0, b + f - 1.0);
    case TNode::BLENDMODE_LIGHTEN: return std::max(b, f);
    case TNode::BLENDMODE_SCREEN: return b + f - b * f;
    case TNode::BLENDMODE_COLOR_DODGE: return dodge(b, f);
    case TNode::BLENDMODE_LINEAR_DODGE: return std::min(1.0, b + f);
    case TNode::BLENDMODE_OVERLAY:
        return b < 0.5 ? 2.0 * b * f : 1.0 - 2.0 * (1.0 - b) * (1.0 - f);
    case TNode::BLENDMODE_SOFT_LIGHT:
        if (f < 0.5)
            return 2.0 * b * f + b * b * (1.0 - 2.0 * f);
        return std::sqrt(b) * (2.0 * f - 1.0) + 2.0 * b * (1.0 - f);
    case TNode::BLENDMODE_HARD_LIGHT:
        return f < 0.5 ? 2.0 * b * f : 1.0 - 2.0 * (1.0 - b) * (1.0 - f);
    case TNode::BLENDMODE_VIVID_LIGHT: return vivid(b, f);
    case TNode::BLENDMODE_LINEAR_LIGHT:
        return f < 0.5 ? std::max(0.0, b + 2.0 * f - 1.0) : std::min(1.0, b + 2.0 * f - 1.0);
    case TNode::BLENDMODE_PIN_LIGHT:
        return f < 0.5 ? std::min(b, 2.0 * f) : std::max(b, 2.0 * f - 1.0);
    case TNode::BLENDMODE_HARD_MIX: return vivid(b, f) >= 0.5 ? 1.0 : 0.0;
    case TNode::BLENDMODE_DIFFERENCE: return std::fabs(b - f);
    case TNode::BLENDMODE_EXCLUSION: return b + f - 2.0 * b * f;
    case TNode::BLENDMODE_SUBTRACT: return b - f;
    case TNode::BLENDMODE_DIVISION: return b < 1e-6 ? 0.0 : clamp01(b / (f + 1e-6));
    case TNode::BLENDMODE_INVERSESCREEN: return b - b * f;
    default: return f; // normal, and values the table does not list
    }
}

double luma(const cv::Vec3d& c)
{
    return 0.30 * c[0] + 0.59 * c[1] + 0.11 * c[2];
}

double chroma(const cv::Vec3d& c)
{
    const auto [lo, hi] = std::minmax({c[0], c[1], c[2]});
    return hi - lo + 1e-6;
}

// In sixths of the circle; red wins ties, then green.
double hue(const cv::Vec3d& c)
{
    const double d = chroma(c), r = c[0], g = c[1], b = c[2];
    return r >= g && r >= b ? (g - b) / d : g >= b ? 2.0 + (b - r) / d : 4.0 + (r - g) / d;
}

// The saturated colour of chroma d at hue h, as distances from the primaries on the circle.
cv::Vec3d hexcone(double h, double d)
{
    h = std::fmod(h, 6.0);
    if (h < 0.0)
        h += 6.0;
    const double r = clamp01(std::fabs(h - 3.0) - 1.0);
    const double g = clamp01(2.0 - std::fabs(h - 2.0));
    const double b = clamp01(2.0 - std::fabs(h - 4.0));
    return cv::Vec3d(r, g, b) * d;
}

cv::Vec3d rebuild(double h, double d, double y)
{
    const cv::Vec3d p = hexcone(h, d);
    cv::Vec3d c = p + cv::Vec3d::all(y - luma(p));
    // Largest pull towards the luma that brings every channel into [0, 1].
    double t = 0.0;
    for (int i = 0; i < 3; ++i) {
        if (c[i] < 0.0)
            t = std::max(t, c[i] / (c[i] - y));
        else if (c[i] > 1.0)
            t = std::max(t, (c[i] - 1.0) / (c[i] - y));
    }
    return c * (1.0 - t) + cv::Vec3d::all(y) * t;
}

} // namespace

cv::Vec3d formula(int mode, const cv::Vec3d& B, const cv::Vec3d& F)
{
    switch (mode) {
    case TNode::BLENDMODE_DARKER_COLOR: return luma(F) <= luma(B) ? F : B;
    case TNode::BLENDMODE_LIGHTER_COLOR: return luma(B) <= luma(F) ? F : B;
    case TNode::BLENDMODE_HUE: return rebuild(hue(F), chroma(B), luma(B));
    case TNode::BLENDMODE_SATURATION: return rebuild(hue(B), chroma(F), luma(B));
    case TNode::BLENDMODE_COLOR: return rebuild(hue(F), chroma(F), luma(B));
    case TNode::BLENDMODE_LUMINOSITY: return rebuild(hue(B), chroma(B), luma(F));
    default: break;
    }
    cv::Vec3d x;
    for (int i = 0; i < 3; ++i)
        x[i] = perChannel(mode, B[i], F[i]);
    return x;
}

cv::Vec4d blend(int mode, const cv::Vec4d& fg, const cv::Vec4d& bg, double k)
{
    cv::Vec3d F, B, bgRaw;
    for (int i = 0; i < 3; ++i) {
        F[i] = clamp01(fg[i]);
        B[i] = clamp01(bg[i]);
        bgRaw[i] = bg[i];
    }
    const double af = fg[3], ab = bg[3];
    const double alpha = af + ab - af * ab;
    // Premultiplied: blended where both are present, each alone where only it is.
    const cv::Vec3d premultiplied = formula(mode, B, F) * (af * ab) + F * (af * (1.0 - ab)) + bgRaw * (ab * (1.0 - af));
    const cv::Vec3d composed = alpha > 0.0 ? premultiplied / alpha : premultiplied;
    const cv::Vec3d c = composed * k + bgRaw * (1.0 - k);
    return cv::Vec4d(c[0], c[1], c[2], alpha);
}

void branchInputs(cv::Mat& fg, cv::Mat& bg)
{
    const float fgValues[] = {0.f, 0.48f, 0.52f, 1.f, 0.8f};
    const float bgValues[] = {0.f, 0.49f, 0.51f, 1.f, 1.5f};
    const float alphas[] = {0.f, 0.5f, 1.f};
    // Column x picks the foreground colour (base-5 digits of x are its r, g, b), row y the
    // background colour; the alphas follow the colours' blocks of 25 so that every channel
    // pair meets every alpha pair.
    const int n = 125;
    fg.create(n, n, CV_32FC4);
    bg.create(n, n, CV_32FC4);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const int alphaPair = (5 * (x / 25) + y / 25) % 9;
            fg.at<cv::Vec4f>(y, x) = cv::Vec4f(fgValues[x % 5], fgValues[x / 5 % 5], fgValues[x / 25],
                                               alphas[alphaPair % 3]);
            bg.at<cv::Vec4f>(y, x) = cv::Vec4f(bgValues[y % 5], bgValues[y / 5 % 5], bgValues[y / 25],
                                               alphas[alphaPair / 3]);
        }
    }
}

const char* modeName(int mode)
{
    static char buffer[32];
    const char* key = QMetaEnum::fromType<TNode::BlendMode>().valueToKey(mode);
    if (key)
        return key;
    std::snprintf(buffer, sizeof buffer, "mode %d", mode);
    return buffer;
}

} // namespace BlendReference
