#pragma once
// Thread: render thread, with the engine context current.
// Owns: handles on cached programs; the framebuffers it returns belong to the caller.
// Errors: an empty input, a radius below 0, n < 1 or no current context give an empty TSFbo.

#include "gpu/glprog.h"

class TSFbo;

// Low-pass filtering at reduced resolution: images are halved up to five times so that the
// box blur itself never needs more than about 24 texels of half-width, and radii from 5 on
// never run at full size.
class GLLowpassFast : public GLProg
{
public:
    GLLowpassFast();
    ~GLLowpassFast() override;

    // A box blur of half-width `radius` pixels (2 radius + 1 wide, fractional ends) in `in`'s
    // size and format. Radii from 5 on are blurred at 1 / 2^L resolution (see level()).
    TSFbo filter(const TSFbo& in, float radius);
    // `in` shrunk by 2^n: first resampled to a multiple of 2^n (when it is not one), then
    // halved n times by a 2 x 2 low-pass, each side rounded down (at least 1 pixel).
    TSFbo log2Dec(const TSFbo& in, int n);

    // The number of halvings filter() applies for `radius`: the largest L in 3 ... 5 with
    // radius / 2^L > 12 (log2Dec, then smoothed up-sampling); else the largest L in 1 ... 2
    // with radius / 2^L >= 2.5 (2 x 2 averages, then bilinear up-sampling); else 0.
    static int level(float radius);

private:
    // One axis of the box blur from `in` into `out`, stepping `offset` in texture units.
    bool blur1d(const TSFbo& in, TSFbo& out, float radius, float offsetX, float offsetY);

    GLProg m_blur1d;
    GLProg m_copy;
};
