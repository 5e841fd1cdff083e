#include "gpu/gltransform.h"

#include "gpu/glvertices.h"
#include "gpu/tsfbo.h"

#include <QOpenGLShaderProgram>
#include <QPolygonF>

#include <cmath>

GLTransform::GLTransform()
    : GLProg(QStringLiteral(":/korvane/glshaders/copy2.frag"), QStringLiteral(":/korvane/glshaders/transform.vert"))
{
}

GLTransform::~GLTransform() = default;

bool GLTransform::proc(const TSFbo& in, const QPointF& pos, float scale, float rotation, TSFbo& out)
{
    if (in.isEmpty() || out.isEmpty() || !checkedFuncs("GLTransform::proc"))
        return false;
    QOpenGLShaderProgram* p = program();
    if (!p || !p->isLinked())
        return false;
    m_transform = placement(in.size(), out.size(), pos, scale, rotation);
    // A second handle keeps reading the old pixels when in and out are the same image.
    const TSFbo source = in;
    if (!bindTarget(out, m_transform))
        return false;
    p->bind();
    p->setUniformValue("vTransform", m_transform);
    setTexture2D("inputTexture0", source.texture(), 0, GL_MIRRORED_REPEAT,
                 sampling(in.size(), out.size(), pos, scale, rotation));
    GLVertices::stdRect().draw();
    p->release();
    out.release();
    return true;
}

QTransform GLTransform::placement(const QSize& image, const QSize& target, const QPointF& pos, float scale,
                                  float rotation)
{
    if (image.isEmpty() || target.isEmpty())
        return QTransform();
    const double s = double(image.width()) * scale / target.width();
    const double imageAspect = double(image.width()) / image.height();
    const double targetAspect = double(target.width()) / target.height();
    return placement(s, imageAspect, targetAspect, pos, rotation);
}

QTransform GLTransform::placement(double s, double imageAspect, double targetAspect, const QPointF& pos,
                                  float rotation)
{
    // Applied to a point in reverse order: undo the image's aspect, rotate, scale, move,
    // then stretch by the target's aspect. Rotating in between the two aspect steps keeps
    // the rotation free of shear.
    QTransform t;
    t.scale(1.0, targetAspect);
    t.translate(pos.x(), pos.y() / targetAspect);
    t.scale(s, s);
    t.rotate(rotation);
    t.scale(1.0, 1.0 / imageAspect);
    return t;
}

bool GLTransform::coversTarget(const QTransform& placement)
{
    // Pixel centres lie half a pixel inside the edges (at least 1/32768 of the normalised
    // width for the largest texture); the margin only absorbs rounding in the aspect steps.
    constexpr double inner = 1.0 - 1e-5;
    const QPolygonF quad = placement.map(QPolygonF(QRectF(-1.0, -1.0, 2.0, 2.0)));
    for (const QPointF& corner : {QPointF(-inner, -inner), QPointF(inner, -inner), QPointF(inner, inner),
                                  QPointF(-inner, inner)}) {
        if (!quad.containsPoint(corner, Qt::OddEvenFill))
            return false;
    }
    return true;
}

bool GLTransform::bindTarget(TSFbo& out, const QTransform& placement)
{
    return coversTarget(placement) ? out.bindViewportToOverwrite() : out.bindViewport();
}

GLenum GLTransform::sampling(const QSize& image, const QSize& target, const QPointF& pos, float scale,
                             float rotation)
{
    // Where the image's left and top edges land, in target pixels.
    const double left = 0.5 * target.width() * (1.0 + pos.x()) - 0.5 * image.width();
    const double top = 0.5 * target.height() * (1.0 + pos.y()) - 0.5 * image.height();
    const auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-3; };
    const bool aligned = scale == 1.f && std::fmod(double(rotation), 360.0) == 0.0 && whole(left) && whole(top);
    return aligned ? GL_NEAREST : GL_LINEAR;
}
