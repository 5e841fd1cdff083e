#include "effects/teffectmaskdrawtriangle.h"

#include "effects/effectslogging.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>
#include <QVector2D>

#include <atomic>

namespace {

std::atomic<int> s_liveVertexArrays{0};

// The blend state a draw replaces and puts back.
struct BlendState
{
    GLboolean enabled = GL_FALSE;
    GLint srcRgb = GL_ONE, dstRgb = GL_ZERO, srcAlpha = GL_ONE, dstAlpha = GL_ZERO;
    GLint equationRgb = GL_FUNC_ADD, equationAlpha = GL_FUNC_ADD;

    explicit BlendState(QOpenGLFunctions_3_3_Core* f)
    {
        enabled = f->glIsEnabled(GL_BLEND);
        f->glGetIntegerv(GL_BLEND_SRC_RGB, &srcRgb);
        f->glGetIntegerv(GL_BLEND_DST_RGB, &dstRgb);
        f->glGetIntegerv(GL_BLEND_SRC_ALPHA, &srcAlpha);
        f->glGetIntegerv(GL_BLEND_DST_ALPHA, &dstAlpha);
        f->glGetIntegerv(GL_BLEND_EQUATION_RGB, &equationRgb);
        f->glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &equationAlpha);
    }

    void restore(QOpenGLFunctions_3_3_Core* f) const
    {
        f->glBlendEquationSeparate(GLenum(equationRgb), GLenum(equationAlpha));
        f->glBlendFuncSeparate(GLenum(srcRgb), GLenum(dstRgb), GLenum(srcAlpha), GLenum(dstAlpha));
        if (enabled)
            f->glEnable(GL_BLEND);
        else
            f->glDisable(GL_BLEND);
    }
};

} // namespace

TEffectMaskDrawTriangle::TEffectMaskDrawTriangle()
    : GLProg(QStringLiteral(":/korvane/glshaders/tglmaskdrawtriangle.frag"),
             QStringLiteral(":/korvane/glshaders/tglmaskdrawtriangle.vert"))
{
}

TEffectMaskDrawTriangle::~TEffectMaskDrawTriangle()
{
    if (!m_vao)
        return;
    --s_liveVertexArrays;
    if (QOpenGLFunctions_3_3_Core* f = funcs()) {
        f->glDeleteBuffers(1, &m_vbo);
        f->glDeleteVertexArrays(1, &m_vao);
    } else {
        qCWarning(lcEffects) << "TEffectMaskDrawTriangle - no current context, vertex array forgotten";
    }
}

void TEffectMaskDrawTriangle::addDab(const Dab& dab)
{
    if (!(dab.radius > 0.f) || !(dab.flow > 0.f))
        return;
    const float cx = float(dab.center.x());
    const float cy = float(dab.center.y());
    const float hw = float(dab.halfExtent.width());
    const float hh = float(dab.halfExtent.height());
    // The sign of the flow carries the colour-aware switch, keeping a vertex at eight floats.
    const float flow = dab.colorAware ? -dab.flow : dab.flow;
    const float corners[kVerticesPerDab][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, -1}, {1, 1}, {-1, 1}};
    for (const auto& c : corners) {
        m_vertices << cx + c[0] * hw << cy + c[1] * hh << cx << cy << dab.radius << dab.hardness << dab.strength
                   << flow;
    }
}

bool TEffectMaskDrawTriangle::draw(const QSize& sceneSize, GLuint colorSource)
{
    QOpenGLFunctions_3_3_Core* f = checkedFuncs("TEffectMaskDrawTriangle::draw");
    QOpenGLShaderProgram* p = program();
    const bool ready = f && p && p->isLinked() && (m_vao || createBuffers());
    if (ready && !m_vertices.isEmpty())
        drawQueued(sceneSize, colorSource);
    m_vertices.clear();
    return ready;
}

int TEffectMaskDrawTriangle::liveVertexArrays()
{
    return s_liveVertexArrays;
}

bool TEffectMaskDrawTriangle::createBuffers()
{
    QOpenGLFunctions_3_3_Core* f = funcs();
    f->glGenVertexArrays(1, &m_vao);
    f->glGenBuffers(1, &m_vbo);
    if (!m_vao || !m_vbo) {
        qCWarning(lcEffects) << "TEffectMaskDrawTriangle - could not create the vertex array";
        f->glDeleteBuffers(1, &m_vbo);
        f->glDeleteVertexArrays(1, &m_vao);
        m_vao = m_vbo = 0;
        return false;
    }
    ++s_liveVertexArrays;
    return true;
}

void TEffectMaskDrawTriangle::drawQueued(const QSize& sceneSize, GLuint colorSource)
{
    QOpenGLFunctions_3_3_Core* f = funcs();
    QOpenGLShaderProgram* p = program();
    f->glViewport(0, 0, sceneSize.width(), sceneSize.height());
    p->bind();
    f->glBindVertexArray(m_vao);
    f->glBindBuffer(GL_ARRAY_BUFFER, m_vbo);
    // Rewritten for every batch.
    f->glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(m_vertices.size() * sizeof(float)), m_vertices.constData(),
                    GL_STREAM_DRAW);
    const GLsizei stride = kFloatsPerVertex * sizeof(float);
    const int position = p->attributeLocation("vPosition");
    const int settings = p->attributeLocation("vDab");
    f->glEnableVertexAttribArray(GLuint(position));
    f->glVertexAttribPointer(GLuint(position), 4, GL_FLOAT, GL_FALSE, stride, nullptr);
    f->glEnableVertexAttribArray(GLuint(settings));
    f->glVertexAttribPointer(GLuint(settings), 4, GL_FLOAT, GL_FALSE, stride,
                             reinterpret_cast<const void*>(4 * sizeof(float)));
    p->setUniformValue("sceneSize", QVector2D(sceneSize.width(), sceneSize.height()));
    setTexture2D("src2", colorSource, 0);

    const BlendState saved(f);
    f->glEnable(GL_BLEND);
    f->glBlendEquation(GL_FUNC_ADD);
    f->glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    f->glDrawArrays(GL_TRIANGLES, 0, GLsizei(m_vertices.size() / kFloatsPerVertex));
    saved.restore(f);

    f->glBindVertexArray(0);
    f->glBindBuffer(GL_ARRAY_BUFFER, 0);
    f->glBindTexture(GL_TEXTURE_2D, 0);
    p->release();
    f->glFlush();
}
