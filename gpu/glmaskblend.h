#pragma once
// Thread: render thread, with the engine context current.
// Owns: its transform and handles on cached programs; no GL objects of its own.
// Errors: proc returns false and leaves out untouched (pixels and uid) when the strength is
//         below GLBlendMode::minStrength(), an image is empty, the program is invalid or no
//         context is current.

#include "gpu/glblendmode.h"
#include "gpu/glprog.h"

#include <QPointF>
#include <QTransform>

class TSFbo;

// GLBlendMode through a mask: at each pixel the strength becomes
// (1 - minAlpha) * strength * mask + minAlpha, with the mask's red channel read in the
// target's coordinates (masks are measured on the destination, so they cover out, not fg).
class GLMaskBlend : public GLProg
{
public:
    GLMaskBlend();
    ~GLMaskBlend() override;

    // As GLBlendMode::proc, weighted by `mask`. An empty mask means no mask: the plain blend
    // at `strength` (minAlpha does not apply).
    bool proc(TSFbo& out, const TSFbo& fg, const TSFbo& mask, int mode, float strength, float minAlpha,
              const QPointF& pos, float scale, float rotation);

    // The transform of the last pass.
    QTransform& transform() { return m_transform; }

private:
    GLBlendMode m_plain;
    QTransform m_transform;
};
