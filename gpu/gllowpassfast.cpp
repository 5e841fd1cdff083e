#include "gpu/gllowpassfast.h"

#include "gpu/tsfbo.h"

#include <QOpenGLShaderProgram>

#include <algorithm>
#include <cmath>

namespace {
constexpr float kMaxWorkingRadius = 12.f;
constexpr int kMaxLevel = 5;
// Down to 1/4 size the image is reduced by plain 2 x 2 averages and comes back by bilinear
// up-sampling, one read per pixel each: both keep the box's edge width within a few % once
// radius / 2^L is 2.5 or more, and cost far less than a full-size box of 5 or more pixels.
constexpr int kMaxAveragedLevel = 2;
constexpr float kMinAveragedRadius = 2.5f;
// Beyond, the up-sampling pass smooths over this many reduced texels: enough to hide the
// texel grid of an 8 to 32 times enlargement, small against the working radius (12 to 24
// texels), so the blur keeps its width.
constexpr float kUpsampleRadius = 0.75f;
} // namespace

GLLowpassFast::GLLowpassFast()
    : GLProg(QStringLiteral(":/korvane/glshaders/blur3x3.frag"), QStringLiteral(":/korvane/glshaders/default.vert"))
    , m_blur1d(QStringLiteral(":/korvane/glshaders/blur1d.frag"), QStringLiteral(":/korvane/glshaders/default.vert"))
    , m_copy(QStringLiteral(":/korvane/glshaders/copy.frag"), QStringLiteral(":/korvane/glshaders/default.vert"))
{
}

GLLowpassFast::~GLLowpassFast() = default;

int GLLowpassFast::level(float radius)
{
    for (int i = kMaxLevel; i > kMaxAveragedLevel; --i) {
        if (radius / float(1 << i) > kMaxWorkingRadius)
            return i;
    }
    for (int i = kMaxAveragedLevel; i >= 1; --i) {
        if (radius / float(1 << i) >= kMinAveragedRadius)
            return i;
    }
    return 0;
}

TSFbo GLLowpassFast::log2Dec(const TSFbo& in, int n)
{
    if (n < 1 || in.isEmpty() || !checkedFuncs("GLLowpassFast::log2Dec"))
        return TSFbo();
    QOpenGLShaderProgram* halve = program();
    QOpenGLShaderProgram* copy = m_copy.program();
    if (!halve || !halve->isLinked() || !copy || !copy->isLinked())
        return TSFbo();
    const uint format = in.internalFormat();
    const int d = int(std::pow(2.0, n) + 0.1);
    // An image smaller than 2^n is stretched to 2^n rather than vanishing.
    const int w0 = std::max(d, in.width() / d * d);
    const int h0 = std::max(d, in.height() / d * d);

    TSFbo cur = in;
    if (QSize(w0, h0) != in.size()) {
        TSFbo resized(w0, h0, format);
        if (!resized.bind())
            return TSFbo();
        copy->bind();
        m_copy.setTexture2D("inputTexture0", in.texture(), 0, GL_MIRRORED_REPEAT, GL_LINEAR);
        m_copy.drawFullFbo(resized);
        copy->release();
        cur = resized;
    }
    int w = w0 / 2;
    int h = h0 / 2;
    for (int i = 0; i < n; ++i) {
        TSFbo out(std::max(w, 1), std::max(h, 1), format);
        if (!out.bind())
            return TSFbo();
        halve->bind();
        halve->setUniformValue("pixelStepx", 0.66f / cur.width());
        halve->setUniformValue("pixelStepy", 0.66f / cur.height());
        setTexture2D("inputTexture0", cur.texture(), 0, GL_MIRRORED_REPEAT, GL_LINEAR);
        drawFullFbo(out);
        halve->release();
        out.setScale(in.scale());
        cur = out;
        w = std::max(w, 1) / 2;
        h = std::max(h, 1) / 2;
    }
    return cur;
}

TSFbo GLLowpassFast::filter(const TSFbo& in, float radius)
{
    if (in.isEmpty() || radius < 0.f || !checkedFuncs("GLLowpassFast::filter"))
        return TSFbo();
    const int L = level(radius);
    const bool averaged = L <= kMaxAveragedLevel;
    // The reduced box keeps the full box's width, 2 radius + 1 pixels.
    const float workingRadius = ((2.f * radius + 1.f) / float(1 << L) - 1.f) / 2.f;
    const uint format = in.internalFormat();

    TSFbo cur = in;
    if (averaged) {
        // One bilinear read at the shared corner of each 2 x 2 block averages it.
        for (int i = 0; i < L; ++i) {
            TSFbo half(std::max(cur.width() / 2, 1), std::max(cur.height() / 2, 1), format);
            if (!blur1d(cur, half, 0.f, 0.f, 0.f))
                return TSFbo();
            cur = half;
        }
    } else {
        cur = log2Dec(in, L);
        if (cur.isEmpty())
            return TSFbo();
        yield();
    }
    TSFbo across(cur.size(), format);
    TSFbo blurred(cur.size(), format);
    if (!blur1d(cur, across, workingRadius, 1.f / cur.width(), 0.f)
        || !blur1d(across, blurred, workingRadius, 0.f, 1.f / cur.height()))
        return TSFbo();
    yield();
    if (L >= 1) {
        TSFbo full(in.size(), format);
        if (averaged) {
            // Back to full size by bilinear up-sampling alone.
            if (!blur1d(blurred, full, 0.f, 0.f, 0.f))
                return TSFbo();
        } else {
            // Back to full size: bilinear up-sampling, smoothed over kUpsampleRadius reduced texels.
            TSFbo wide(in.width(), blurred.height(), format);
            if (!blur1d(blurred, wide, kUpsampleRadius, 1.f / blurred.width(), 0.f)
                || !blur1d(wide, full, kUpsampleRadius, 0.f, 1.f / blurred.height()))
                return TSFbo();
        }
        blurred = full;
    }
    blurred.setScale(in.scale());
    return blurred;
}

bool GLLowpassFast::blur1d(const TSFbo& in, TSFbo& out, float radius, float offsetX, float offsetY)
{
    QOpenGLShaderProgram* p = m_blur1d.program();
    if (!p || !p->isLinked() || in.isEmpty() || !out.bind())
        return false;
    p->bind();
    p->setUniformValue("radius", radius);
    p->setUniformValue("offset", offsetX, offsetY);
    m_blur1d.setTexture2D("inputTexture0", in.texture(), 0, GL_MIRRORED_REPEAT, GL_LINEAR);
    m_blur1d.drawFullFbo(out);
    p->release();
    return true;
}
