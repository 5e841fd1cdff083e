#include "gpu/glblendmode.h"

#include "gpu/gltransform.h"
#include "gpu/glvertices.h"
#include "gpu/tsfbo.h"

#include <QOpenGLShaderProgram>

GLBlendMode::GLBlendMode()
    : GLProg(QStringLiteral(":/korvane/glshaders/opacity.frag"), QStringLiteral(":/korvane/glshaders/transform.vert"))
    , m_blend(QStringLiteral(":/korvane/glshaders/psblending.frag"), QStringLiteral(":/korvane/glshaders/transform.vert"))
{
}

GLBlendMode::~GLBlendMode() = default;

bool GLBlendMode::proc(const TSFbo& fg, const QPointF& pos, float scale, float rotation, int mode, float strength,
                       TSFbo& out)
{
    if (strength < minStrength() || fg.isEmpty() || out.isEmpty() || !checkedFuncs("GLBlendMode::proc"))
        return false;
    return drawBlend(m_blend, fg, pos, scale, rotation, mode, strength, out, m_transform, [](GLProg&) {});
}

bool GLBlendMode::drawBlend(GLProg& blend, const TSFbo& fg, const QPointF& pos, float scale, float rotation,
                            int mode, float strength, TSFbo& out, QTransform& transform,
                            const std::function<void(GLProg&)>& extra)
{
    QOpenGLShaderProgram* p = blend.program();
    if (!p || !p->isLinked())
        return false;
    transform = GLTransform::placement(fg.size(), out.size(), pos, scale, rotation);
    // The second handle on out is the background: binding out now detaches it into a copy
    // of those pixels, which the pass overwrites inside the quad; a quad covering all of out
    // rewrites every pixel, so out then starts from a fresh framebuffer instead. fg may be
    // out itself: its handle keeps those pixels too.
    const TSFbo foreground = fg;
    const TSFbo background = out;
    if (!GLTransform::bindTarget(out, transform))
        return false;
    p->bind();
    p->setUniformValue("vTransform", transform);
    p->setUniformValue("strength", strength);
    p->setUniformValue("mode", mode);
    blend.setTexture2D("inputTexture0", foreground.texture(), 0, GL_MIRRORED_REPEAT,
                       GLTransform::sampling(fg.size(), out.size(), pos, scale, rotation));
    // Read with texelFetch at the fragment: the background has out's size.
    blend.setTexture2D("inputTexture1", background.texture(), 1, GL_MIRRORED_REPEAT, GL_NEAREST);
    extra(blend);
    GLVertices::stdRect().draw();
    p->release();
    out.release();
    return true;
}
