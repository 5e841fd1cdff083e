#pragma once
// Thread: render thread, with the engine context current.
// Owns: its program (cached by GLProg); the input is registered only during a pass.
// Errors: an empty input or output, or a source part smaller than the output on either axis
//         (that would be an enlargement) or outside the input, do nothing: false, or an empty
//         TSFbo.

#include "gpu/glimfilter.h"

#include <QRectF>

// Makes an image smaller by area: each output pixel is the mean of the input pixels it covers,
// as cv::INTER_AREA does, so gratings and other fine detail reduce to their mean instead of
// aliasing into moire (bilinear sampling reads only the four pixels nearest to each output
// pixel's centre however many it covers).
class GLAreaReduce : public GLImFilter
{
public:
    GLAreaReduce();
    // The whole of `in` into a new framebuffer of `size`.
    TSFbo reduce(const TSFbo& in, const QSize& size, uint internalFormat = TSFbo::workingFormat());
    // The `source` part of `in` (in pixels, fractional edges weighted by what they cover) into
    // all of `out`.
    bool reduce(const TSFbo& in, const QRectF& source, TSFbo& out);
};
