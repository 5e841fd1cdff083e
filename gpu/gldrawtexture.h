#pragma once
// Thread: render thread, with the engine context current.
// Owns: its transform and a handle on the cached program; the textures it draws stay the
//       caller's.
// Errors: none reported; without a current context or with an invalid program nothing is drawn.

#include "gpu/glprog.h"

#include <QPointF>
#include <QSize>
#include <QTransform>

class TSFbo;

// Draws an sRGB-encoded texture, placed and with an opacity, as linear light onto whatever
// target the caller has bound (a host's view, for instance).
class GLDrawTexture : public GLProg
{
public:
    explicit GLDrawTexture(const QString& frag = QStringLiteral(":/korvane/glshaders/drawtexture.frag"),
                           const QString& vert = QStringLiteral(":/korvane/glshaders/transform.vert"));
    ~GLDrawTexture() override;

    // draw(fbo.texture(), fbo.size(), ...).
    void draw(const TSFbo& fbo, float opacity, float aspect, const QPointF& pos, float scale, float rotation);
    // Places a texture of `textureSize` on a target of aspect `aspect` (width / height):
    // `scale` is the drawn width over the target's width, pos and rotation as in
    // GLTransform::placement. Then draw(texture, opacity).
    void draw(const GLuint& texture, const QSize& textureSize, float opacity, float aspect, const QPointF& pos,
              float scale, float rotation);
    // Draws with the member transform. The caller has bound the target, set the viewport
    // and bound program().
    void draw(const GLuint& texture, float opacity);

    QTransform& transform() { return m_transform; }

private:
    QTransform m_transform;
};
