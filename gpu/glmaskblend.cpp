#include "gpu/glmaskblend.h"

#include "gpu/gltransform.h"
#include "gpu/glvertices.h"
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
    QOpenGLShaderProgram* p = program();
    if (!p || !p->isLinked())
        return false;
    m_transform = GLTransform::placement(fg.size(), out.size(), pos, scale, rotation);
    const TSFbo foreground = fg;
    const TSFbo weights = mask;
    // Binding out detaches it from the background handle (see GLBlendMode::proc).
    const TSFbo background = out;
    if (!GLTransform::bindTarget(out, m_transform))
        return false;
    p->bind();
    p->setUniformValue("vTransform", m_transform);
    p->setUniformValue("strength", strength);
    p->setUniformValue("minAlpha", minAlpha);
    p->setUniformValue("mode", mode);
    setTexture2D("inputTexture0", foreground.texture(), 0, GL_MIRRORED_REPEAT,
                 GLTransform::sampling(fg.size(), out.size(), pos, scale, rotation));
    // Read with texelFetch at the fragment: the background has out's size.
    setTexture2D("inputTexture1", background.texture(), 1, GL_MIRRORED_REPEAT, GL_NEAREST);
    // A mask made on the destination covers its pixels one to one.
    setTexture2D("mask", weights.texture(), 2, GL_MIRRORED_REPEAT,
                 weights.size() == out.size() ? GL_NEAREST : GL_LINEAR);
    GLVertices::stdRect().draw();
    p->release();
    out.release();
    return true;
}
