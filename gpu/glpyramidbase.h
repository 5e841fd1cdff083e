#pragma once
// Thread: render thread, with the engine context current (sizes and levels: any thread).
// Owns: handles on seven cached programs; no GL objects of its own. Copies share them.
// Errors: a pass with an empty input or output, an invalid program or no current context
//         does nothing and returns false.

#include "gpu/glprog.h"

#include <QSize>
#include <QVector2D>
#include <QVector>

#include <initializer_list>

class TSFbo;

// The passes of Gaussian and Laplacian pyramids, each one full-screen pass into the caller's
// output. A coarser level has decSize(finer, 2) pixels; passes between two levels address
// the other level's texture through a uv scale (see uvScale) and mirror at the borders.
class GLPyramidBase
{
public:
    GLPyramidBase();
    virtual ~GLPyramidBase();

    // (qRound(w / factor) + 1, qRound(h / factor) + 1): the next coarser level's size.
    static QSize decSize(const QSize& s, int factor);
    // Levels from `s` down to about minSize on the shorter side; at least 1.
    static int numLevels(const QSize& s, int minSize);
    // ((b.w - 1) / ((a.w - 1) * factor), (b.h - 1) / ((a.h - 1) * factor)).
    static QVector2D uvScale(const QSize& a, double factor, const QSize& b);

    // Low-pass and halve: in is the finer level, out the coarser.
    bool reduce(const TSFbo& in, TSFbo& out) const;
    // Bilinear up-sampling of the coarser `in` into the finer `out`.
    bool expand(const TSFbo& in, TSFbo& out) const;
    // out = in - expand(inDs2) + 0.5 on all four channels.
    bool laplacian(const TSFbo& in, const TSFbo& inDs2, TSFbo& out) const;
    // One channel: the BT.709 luma of in - expand(inDs2), + 0.5.
    bool laplacianYOnly(const TSFbo& in, const TSFbo& inDs2, TSFbo& out) const;
    // out = lap + expand(inDs2) - 0.5: inverse of laplacian.
    bool reconstruct(const TSFbo& lap, const TSFbo& inDs2, TSFbo& out) const;
    // expand(inDs2) with its luma raised by lapY - 0.5: inverse of laplacianYOnly for the luma.
    bool reconstructYOnly(const TSFbo& lapY, const TSFbo& inDs2, TSFbo& out) const;
    // expand(inDs2) with its luma replaced by the first channel of fullY.
    bool expandYGuided(const TSFbo& fullY, const TSFbo& inDs2, TSFbo& out) const;

protected:
    // Framebuffers of every level: level 0 has `size`, each next one decSize(previous, 2).
    static QVector<TSFbo> allocateLevels(const QSize& size, int internalFormat, int minSize);

private:
    struct Input
    {
        const char* sampler;
        const TSFbo* image;
        int unit;
        // Inputs of the output's own size are read texel for texel (GL_NEAREST): exact, so
        // that reconstruct undoes laplacian up to float rounding.
        GLenum filter = GL_LINEAR;
    };
    // One pass of `prog` into out. `stepName`, when given, is a vec2 uniform set to `step`.
    bool pass(const GLProg& prog, std::initializer_list<Input> inputs, const QVector2D& scale, TSFbo& out,
              const char* stepName = nullptr, const QVector2D& step = QVector2D()) const;

    GLProg m_down;
    GLProg m_up;
    GLProg m_laplacian;
    GLProg m_recover;
    GLProg m_laplacianY;
    GLProg m_recoverY;
    GLProg m_upYGuided;
};
