#include "gpu/glpyramidbase.h"

#include "gpu/tsfbo.h"

#include <QOpenGLShaderProgram>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>

namespace {
GLProg pyramidProg(const char* frag)
{
    return GLProg(QStringLiteral(":/korvane/glshaders/") + QLatin1String(frag),
                  QStringLiteral(":/korvane/glshaders/uvscale.vert"));
}
} // namespace

GLPyramidBase::GLPyramidBase()
    : m_down(pyramidProg("pyramiddown.frag"))
    , m_up(pyramidProg("pyramidup.frag"))
    , m_laplacian(pyramidProg("pyramidlaplacian.frag"))
    , m_recover(pyramidProg("pyramidrecover.frag"))
    , m_laplacianY(pyramidProg("pyramidlaplaciany.frag"))
    , m_recoverY(pyramidProg("pyramidrecovery.frag"))
    , m_upYGuided(pyramidProg("pyramidupyguided.frag"))
{
}

GLPyramidBase::~GLPyramidBase() = default;

QSize GLPyramidBase::decSize(const QSize& s, int factor)
{
    return QSize(qRound(double(s.width()) / factor) + 1, qRound(double(s.height()) / factor) + 1);
}

int GLPyramidBase::numLevels(const QSize& s, int minSize)
{
    const int shorter = std::min(s.width(), s.height());
    if (shorter < 1 || minSize < 1)
        return 1;
    const double levels = std::trunc(std::round(std::log2(double(shorter)) - std::log2(double(minSize))) + 1.0);
    return std::max(1, int(levels));
}

QVector2D GLPyramidBase::uvScale(const QSize& a, double factor, const QSize& b)
{
    // A one-pixel side has no extent to scale; treat it as two pixels wide.
    const double aw = std::max(1, a.width() - 1);
    const double ah = std::max(1, a.height() - 1);
    return QVector2D(float((b.width() - 1) / (aw * factor)), float((b.height() - 1) / (ah * factor)));
}

bool GLPyramidBase::reduce(const TSFbo& in, TSFbo& out) const
{
    const QVector2D scale = uvScale(in.size(), 0.5, out.size());
    const QVector2D step(scale.x() / std::max(1, in.width() - 1), scale.y() / std::max(1, in.height() - 1));
    return pass(m_down, {{"inImage", &in, 0}}, scale, out, "inPixelDxDy", step);
}

bool GLPyramidBase::expand(const TSFbo& in, TSFbo& out) const
{
    return pass(m_up, {{"inImage", &in, 0}}, uvScale(in.size(), 2.0, out.size()), out);
}

bool GLPyramidBase::laplacian(const TSFbo& in, const TSFbo& inDs2, TSFbo& out) const
{
    return pass(m_laplacian, {{"inImage", &in, 0, GL_NEAREST}, {"inImageDs2", &inDs2, 1}},
                uvScale(inDs2.size(), 2.0, out.size()), out);
}

bool GLPyramidBase::laplacianYOnly(const TSFbo& in, const TSFbo& inDs2, TSFbo& out) const
{
    return pass(m_laplacianY, {{"inImage", &in, 0, GL_NEAREST}, {"inImageDs2", &inDs2, 1}},
                uvScale(inDs2.size(), 2.0, out.size()), out);
}

bool GLPyramidBase::reconstruct(const TSFbo& lap, const TSFbo& inDs2, TSFbo& out) const
{
    return pass(m_recover, {{"inLaplacian", &lap, 0, GL_NEAREST}, {"inImageDs2", &inDs2, 1}},
                uvScale(inDs2.size(), 2.0, out.size()), out);
}

bool GLPyramidBase::reconstructYOnly(const TSFbo& lapY, const TSFbo& inDs2, TSFbo& out) const
{
    return pass(m_recoverY, {{"inLaplacianY", &lapY, 0, GL_NEAREST}, {"inImageDs2", &inDs2, 1}},
                uvScale(inDs2.size(), 2.0, out.size()), out);
}

bool GLPyramidBase::expandYGuided(const TSFbo& fullY, const TSFbo& inDs2, TSFbo& out) const
{
    return pass(m_upYGuided, {{"fullY", &fullY, 2, GL_NEAREST}, {"inImageDs2", &inDs2, 3}},
                uvScale(inDs2.size(), 2.0, out.size()), out);
}

QVector<TSFbo> GLPyramidBase::allocateLevels(const QSize& size, int internalFormat, int minSize)
{
    QVector<TSFbo> levels;
    const int n = numLevels(size, minSize);
    QSize s = size;
    for (int i = 0; i < n; ++i) {
        levels.append(TSFbo(s, uint(internalFormat), QOpenGLFramebufferObject::NoAttachment));
        s = decSize(s, 2);
    }
    return levels;
}

bool GLPyramidBase::pass(const GLProg& prog, std::initializer_list<Input> inputs, const QVector2D& scale,
                         TSFbo& out, const char* stepName, const QVector2D& step) const
{
    if (out.isEmpty() || !GLProg::checkedFuncs("GLPyramidBase::pass"))
        return false;
    // Handles of our own: an input that is also the output keeps its old pixels when out
    // detaches on binding.
    QVarLengthArray<TSFbo, 2> held;
    for (const Input& in : inputs) {
        if (in.image->isEmpty())
            return false;
        held.append(*in.image);
    }
    GLProg p = prog;
    QOpenGLShaderProgram* program = p.program();
    if (!program || !program->isLinked())
        return false;
    // Output first: a detach or a fresh allocation would reset the texture bindings.
    if (!out.bind())
        return false;
    program->bind();
    program->setUniformValue("vUVScale", scale);
    if (stepName)
        program->setUniformValue(stepName, step);
    int i = 0;
    for (const Input& in : inputs)
        p.setTexture2D(in.sampler, held[i++].texture(), in.unit, GL_MIRRORED_REPEAT, in.filter);
    p.drawFullFbo(out);
    program->release();
    return true;
}
