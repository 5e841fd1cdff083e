#pragma once
// Thread: render thread, with the engine context current.
// Owns: its level framebuffers (TSFbo handles, returned to the pool when destroyed).
// Errors: create returns false (levels unchanged) for an empty input or without a context;
//         levels are empty when allocation failed.

#include "gpu/glpyramidbase.h"
#include "gpu/tsfbo.h"

#include <QSize>
#include <QVector>

// A Gaussian pyramid: level 0 is the image, each further level a reduction of the one before.
class GLPyrGaussian : public GLPyramidBase
{
public:
    // Allocates numLevels(size, minSize) levels of `internalFormat`.
    GLPyrGaussian(const QSize& size, int internalFormat, int minSize);
    ~GLPyrGaussian() override;

    // Copies `in` into level 0 (resampled when sizes differ) and reduces level by level.
    bool create(const TSFbo& in);

    TSFbo& level(int i) { return m_levels[i]; }
    const TSFbo& level(int i) const { return m_levels[i]; }
    int numLevels() const { return m_levels.size(); }

private:
    QVector<TSFbo> m_levels;
};
