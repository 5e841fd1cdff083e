#pragma once
// Thread: render thread, with the engine context current.
// Owns: its transform and handles on cached programs; no GL objects of its own.
// Errors: proc returns false and leaves out untouched (pixels and uid) when the strength is
//         below minStrength(), an image is empty, the program is invalid or no context is current.

#include "gpu/glprog.h"

#include <QPointF>
#include <QTransform>

#include <functional>

class TSFbo;

// Blends a placed foreground onto a background by one of the 28 blend modes
// (TNode::BlendMode values; unknown values blend like normal) at a strength.
// The colour formulas see colours clamped to [0, 1]; the result is composed with both
// alphas and stored straight (not premultiplied). Background that shows through keeps its
// unclamped values.
class GLBlendMode : public GLProg
{
public:
    GLBlendMode();
    ~GLBlendMode() override;

    // Blends `fg`, placed by pos, scale and rotation (see GLTransform::placement), onto the
    // content of `out`, in place: out takes a private copy of the background (one blit),
    // pixels outside the placed quad keep it; when the quad covers all of out there is
    // nothing to keep and no copy. `out` gets a fresh uid.
    bool proc(const TSFbo& fg, const QPointF& pos, float scale, float rotation, int mode, float strength,
              TSFbo& out);

    // The transform of the last pass.
    QTransform& transform() { return m_transform; }

    // Strengths below this skip the blend.
    static constexpr float minStrength() { return 0.005f; }

    // The pass every blend shader shares: places fg on out (the placement goes to
    // `transform`), binds out as the target, sets "vTransform", "strength" and "mode", the
    // foreground on unit 0 and the background on unit 1, lets `extra` set what its shader
    // adds, and draws. False, out untouched, when `blend` is not linked or out cannot be bound.
    static bool drawBlend(GLProg& blend, const TSFbo& fg, const QPointF& pos, float scale, float rotation, int mode,
                          float strength, TSFbo& out, QTransform& transform,
                          const std::function<void(GLProg&)>& extra);

private:
    GLProg m_blend;
    QTransform m_transform;
};
