#pragma once
// Thread: render thread, with the engine context current.
// Owns: its program (cached by GLProg) and the registered input while it renders.
// Errors: an empty input, an empty size or a size larger than the input on either axis give
//         an empty TSFbo.

#include "gpu/glimfilter.h"

// Makes an image smaller by area: each output pixel is the mean of the input pixels it covers,
// as cv::INTER_AREA does, so gratings and other fine detail reduce to their mean instead of
// aliasing into moire (bilinear sampling reads only the four pixels nearest to each output
// pixel's centre however many it covers).
class GLAreaReduce : public GLImFilter
{
public:
    GLAreaReduce();
    TSFbo reduce(const TSFbo& in, const QSize& size, uint internalFormat = TSFbo::workingFormat());
};
