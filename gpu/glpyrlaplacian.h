#pragma once
// Thread: render thread, with the engine context current.
// Owns: its level framebuffers (TSFbo handles, returned to the pool when destroyed).
// Errors: create and reconstruct return false for empty images or without a context; a
//         pyramid of one level holds no band and reconstructs nothing.

#include "gpu/glpyramidbase.h"
#include "gpu/tsfbo.h"

#include <QSize>
#include <QVector>

// A Laplacian pyramid: levels 0 ... n-2 hold band-pass images offset by +0.5, level n-1 the
// coarsest low-pass image. In a float format reconstruct returns the input up to rounding.
class GLPyrLaplacian : public GLPyramidBase
{
public:
    // Allocates numLevels(size, minSize) levels of `internalFormat`.
    GLPyrLaplacian(const QSize& size, int internalFormat, int minSize);
    ~GLPyrLaplacian() override;

    bool create(const TSFbo& in);
    // Rebuilds the image into out (which must have level 0's size). Destructive: levels
    // 1 ... n-2 hold the rebuilt images of their scales afterwards.
    bool reconstruct(TSFbo& out);

    TSFbo& level(int i) { return m_levels[i]; }
    const TSFbo& level(int i) const { return m_levels[i]; }
    int numLevels() const { return m_levels.size(); }

private:
    QVector<TSFbo> m_levels;
};
