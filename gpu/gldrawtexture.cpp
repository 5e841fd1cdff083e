#include "gpu/gldrawtexture.h"

#include "gpu/gltransform.h"
#include "gpu/glvertices.h"
#include "gpu/tsfbo.h"

#include <QOpenGLShaderProgram>

GLDrawTexture::GLDrawTexture(const QString& frag, const QString& vert)
    : GLProg(frag, vert)
{
}

GLDrawTexture::~GLDrawTexture() = default;

void GLDrawTexture::draw(const TSFbo& fbo, float opacity, float aspect, const QPointF& pos, float scale,
                         float rotation)
{
    draw(fbo.texture(), fbo.size(), opacity, aspect, pos, scale, rotation);
}

void GLDrawTexture::draw(const GLuint& texture, const QSize& textureSize, float opacity, float aspect,
                         const QPointF& pos, float scale, float rotation)
{
    const double imageAspect = textureSize.height() > 0 ? double(textureSize.width()) / textureSize.height() : 1.0;
    m_transform = GLTransform::placement(scale, imageAspect, aspect, pos, rotation);
    draw(texture, opacity);
}

void GLDrawTexture::draw(const GLuint& texture, float opacity)
{
    QOpenGLShaderProgram* p = program();
    if (!p || !p->isLinked() || !checkedFuncs("GLDrawTexture::draw"))
        return;
    p->setUniformValue("vTransform", m_transform);
    p->setUniformValue("opacity", opacity);
    setTexture2D("inputTexture0", texture, 0, GL_MIRRORED_REPEAT, GL_LINEAR);
    GLVertices::stdRect().draw();
}
