#pragma once
// Thread: render thread, with the engine context current.
// Owns: its transform and a handle on the cached copy2 program; no GL objects of its own.
// Errors: proc returns false (and leaves out untouched) for an empty image, an invalid
//         program or no current context.

#include "gpu/glprog.h"

#include <QPointF>
#include <QSize>
#include <QTransform>

class TSFbo;

// Places an image on a target (position, scale, rotation) without blending. Also the home
// of the placement transform that the blending passes share.
class GLTransform : public GLProg
{
public:
    GLTransform();
    ~GLTransform() override;

    // Draws `in` placed into `out`. Pixels outside the placed quad keep their content.
    bool proc(const TSFbo& in, const QPointF& pos, float scale, float rotation, TSFbo& out);

    // The transform of the last pass.
    QTransform& transform() { return m_transform; }

    // Maps the corners of the full-screen quad to where an image of `image` pixels lands on
    // a target of `target` pixels: its centre at normalised position pos (x right, y down,
    // (0, 0) the target's centre, +-1 its edges), shown at `scale` x its pixel size, keeping
    // its proportions, turned by `rotation` degrees about its centre. Matrix row 0 (the
    // image's top) is texture row 0, so a positive pos.y moves the image towards higher rows.
    static QTransform placement(const QSize& image, const QSize& target, const QPointF& pos, float scale,
                                float rotation);
    // The same chain with the quad's scale `s` (image width over target width in normalised
    // units) and both aspects (width / height) given directly.
    static QTransform placement(double s, double imageAspect, double targetAspect, const QPointF& pos,
                                float rotation);
    // The filter to sample a placed image with: GL_NEAREST when its texels land exactly on
    // target pixels (scale 1, no rotation, a whole-pixel offset), which is exact and faster;
    // GL_LINEAR otherwise.
    static GLenum sampling(const QSize& image, const QSize& target, const QPointF& pos, float scale,
                           float rotation);
    // True when the quad placed by `placement` covers every pixel of the target, so a pass
    // drawing it rewrites the whole image and need not start from a copy of the old one.
    static bool coversTarget(const QTransform& placement);
    // Binds `out` (viewport included) as the target of a pass drawing the quad placed by
    // `placement`: a shared out is detached into a copy of its pixels when the quad leaves
    // some uncovered, into a fresh framebuffer when it covers them all.
    static bool bindTarget(TSFbo& out, const QTransform& placement);

private:
    QTransform m_transform;
};
