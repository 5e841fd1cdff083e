#pragma once
// Thread: render thread, with the engine context current; not locked (one owner, one thread).
// Owns: a vertex array object and a vertex buffer, made on first draw and freed by the
//       destructor while the context is current (forgotten with a warning otherwise); the
//       program is the shared one of its shader pair.
// Errors: draw returns false without a context or a linked program and drops the dabs.

#include "gpu/glprog.h"

#include <QPointF>
#include <QSize>
#include <QSizeF>
#include <QVector>

// Draws a batch of soft brush dabs, two triangles each, pre-multiplied over the bound target
// in one draw call. Every vertex carries its dab's settings, so dabs of different brushes
// share the call.
class TEffectMaskDrawTriangle : public GLProg
{
public:
    struct Dab
    {
        QPointF center;     // normalised to the target (0..1)
        QSizeF halfExtent;  // normalised half width and height of the covered square
        float radius = 0.f; // pixels
        float hardness = 1.f;
        float strength = 1.f;
        float flow = 1.f;
        bool colorAware = false;
    };

    TEffectMaskDrawTriangle();
    TEffectMaskDrawTriangle(const TEffectMaskDrawTriangle&) = delete;
    TEffectMaskDrawTriangle& operator=(const TEffectMaskDrawTriangle&) = delete;
    ~TEffectMaskDrawTriangle() override;

    // Queues one dab; dabs that cannot paint (radius or flow not above 0) are skipped.
    void addDab(const Dab& dab);
    int pendingDabs() const { return m_vertices.size() / (kFloatsPerVertex * kVerticesPerDab); }
    // Draws the queued dabs into the bound framebuffer of `sceneSize`, sampling "src2" (the
    // colour source of colour-aware dabs) from `colorSource`, and empties the queue. The
    // blend state is restored afterwards.
    bool draw(const QSize& sceneSize, GLuint colorSource);

    // Vertex arrays alive in all instances, for leak checks.
    static int liveVertexArrays();

private:
    static constexpr int kFloatsPerVertex = 8;
    static constexpr int kVerticesPerDab = 6;

    bool createBuffers();
    void drawQueued(const QSize& sceneSize, GLuint colorSource);

    QVector<float> m_vertices;
    GLuint m_vao = 0;
    GLuint m_vbo = 0;
};
