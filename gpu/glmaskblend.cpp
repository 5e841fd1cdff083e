#include "gpu/glmaskblend.h"

#include "gpu/tsfbo.h"

#include <QOpenGLShaderProgram>

GLMaskBlend::GLMaskBlend()
    : GLProg(QStringLiteral(":/korvane/glshaders/maskblending.frag"), QStringLiteral(":/korvane/glshaders/transform.vert"))
{
}

GLMaskBlend::~GLMaskBlend() = default;

bool GLMaskBlend::proc(TSFbo& out, const TSFbo& fg, const TSFbo& mask, int mode, float strength, float minAlpha,
                       const QPointF& pos, float scale, float rotation)
{
    if (strength < GLBlendMode::minStrength())
        return false;
    if (mask.isEmpty()) {
        const bool done = m_plain.proc(fg, pos, scale, rotation, mode, strength, out);
        m_transform = m_plain.transform();
        return done;
    }
    if (fg.isEmpty() || out.isEmpty() || !checkedFuncs("GLMaskBlend::proc"))
        return false;
    // The mask's own handle: the pass may replace out, which the mask can be.
    const TSFbo weights = mask;
    const QSize target = out.size();
    return GLBlendMode::drawBlend(*this, fg, pos, scale, rotation, mode, strength, out, m_transform,
                                  [&](GLProg& blend) {
                                      blend.program()->setUniformValue("minAlpha", minAlpha);
                                      // A mask made on the destination covers its pixels one to one.
                                      blend.setTexture2D("mask", weights.texture(), 2, GL_MIRRORED_REPEAT,
                                                         weights.size() == target ? GL_NEAREST : GL_LINEAR);
                                  });
}
