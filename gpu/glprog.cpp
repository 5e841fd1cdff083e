#include "gpu/glprog.h"
#include "gpu/gpulogging.h"

#include "gpu/glcontextinfo.h"
#include "gpu/glvertices.h"
#include "gpu/tsfbo.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>
#include <QThread>

QMap<QString, QOpenGLShader*> GLProg::s_vertCache;
QMap<QString, QOpenGLShader*> GLProg::s_fragCache;
QMap<QString, QOpenGLShaderProgram*> GLProg::s_progCache;
int GLProg::s_generation = 0;

GLProg::GLProg(const QString& fragFile, const QString& vertFile)
    : m_fragFile(fragFile)
    , m_vertFile(vertFile)
    , m_key(fragFile + vertFile)
{
    build();
}

GLProg::~GLProg() = default;

QOpenGLShaderProgram* GLProg::program() const
{
    if (QOpenGLShaderProgram* p = s_progCache.value(m_key))
        return p;
    return build();
}

bool GLProg::isValid() const
{
    const QOpenGLShaderProgram* p = program();
    return p && p->isLinked();
}

QOpenGLShaderProgram* GLProg::build() const
{
    if (QOpenGLShaderProgram* p = s_progCache.value(m_key))
        return p;
    if (!QOpenGLContext::currentContext())
        return nullptr;
    QOpenGLShader* vert = shader(s_vertCache, m_vertFile, true);
    QOpenGLShader* frag = shader(s_fragCache, m_fragFile, false);
    auto* program = new QOpenGLShaderProgram;
    program->addShader(vert);
    program->addShader(frag);
    // A program whose shaders failed is kept too, so the failure is reported only once.
    if (vert->isCompiled() && frag->isCompiled() && !program->link())
        qCWarning(lcGpu).noquote() << "GLProg - cannot link" << m_fragFile << "with" << m_vertFile << ":\n"
                             << program->log();
    s_progCache.insert(m_key, program);
    return program;
}

QOpenGLShader* GLProg::shader(QMap<QString, QOpenGLShader*>& cache, const QString& path, bool vertex)
{
    if (QOpenGLShader* s = cache.value(path))
        return s;
    auto* s = new QOpenGLShader(vertex ? QOpenGLShader::Vertex : QOpenGLShader::Fragment);
    if (!s->compileSourceFile(path))
        qCWarning(lcGpu).noquote() << "GLProg - cannot compile" << path << ":\n" << s->log();
    else if (vertex)
        qCDebug(lcGpu).noquote() << "new vertex compiled: " + path;
    else
        qCDebug(lcGpu).noquote() << "new frag compiled: " + path;
    cache.insert(path, s);
    return s;
}

void GLProg::drawFullFbo(TSFbo& out)
{
    QOpenGLFunctions_3_3_Core* f = checkedFuncs("GLProg::drawFullFbo");
    if (!f || !out.bind())
        return;
    f->glViewport(0, 0, out.width(), out.height());
    GLVertices::stdRect().draw();
    out.release();
}

namespace {

// Binds `texture` to `unit` with its filter and wrap (on the target's `wrapAxes` axes) and
// points `uniform` at the unit; a no-op with a warning naming `caller` when no context is current.
void setTexture(GLProg& prog, const char* caller, const char* uniform, GLenum target, int wrapAxes,
                GLuint texture, int unit, GLenum wrap, GLenum filter)
{
    QOpenGLFunctions_3_3_Core* f = GLProg::checkedFuncs(caller);
    if (!f)
        return;
    f->glActiveTexture(GLenum(GL_TEXTURE0 + unit));
    f->glBindTexture(target, texture);
    f->glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GLint(filter));
    f->glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GLint(filter));
    const GLenum axes[] = {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R};
    for (int i = 0; i < wrapAxes; ++i)
        f->glTexParameteri(target, axes[i], GLint(wrap));
    if (texture != 0)
        f->glActiveTexture(GL_TEXTURE0);
    if (QOpenGLShaderProgram* p = prog.program())
        p->setUniformValue(uniform, unit);
}

} // namespace

void GLProg::setTexture2D(const char* uniform, GLuint texture, int unit, GLenum wrap, GLenum filter)
{
    setTexture(*this, "GLProg::setTexture2D", uniform, GL_TEXTURE_2D, 2, texture, unit, wrap, filter);
}

void GLProg::setTexture1D(const char* uniform, GLuint texture, int unit, GLenum wrap, GLenum filter)
{
    setTexture(*this, "GLProg::setTexture1D", uniform, GL_TEXTURE_1D, 1, texture, unit, wrap, filter);
}

void GLProg::setTexture3D(const char* uniform, GLuint texture, int unit, GLenum wrap, GLenum filter)
{
    setTexture(*this, "GLProg::setTexture3D", uniform, GL_TEXTURE_3D, 3, texture, unit, wrap, filter);
}

void GLProg::enableOverBlending()
{
    if (QOpenGLFunctions_3_3_Core* f = checkedFuncs("GLProg::enableOverBlending")) {
        f->glEnable(GL_BLEND);
        f->glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        f->glBlendEquation(GL_FUNC_ADD);
    }
}

void GLProg::disableGlBlending()
{
    if (QOpenGLFunctions_3_3_Core* f = checkedFuncs("GLProg::disableGlBlending"))
        f->glDisable(GL_BLEND);
}

QOpenGLFunctions_3_3_Core* GLProg::funcs()
{
    QOpenGLContext* current = QOpenGLContext::currentContext();
    if (!current)
        return nullptr;
    if (GLContextInfo::isRenderThread())
        return GLContextInfo::renderFuncs();
    // Another thread with a context of its own (tools): that context's table.
    auto* f = current->versionFunctions<QOpenGLFunctions_3_3_Core>();
    return f && f->initializeOpenGLFunctions() ? f : nullptr;
}

QOpenGLFunctions_3_3_Core* GLProg::checkedFuncs(const char* caller)
{
    Q_ASSERT_X(GLContextInfo::isRenderThread(), caller, "GPU work belongs on the render thread");
    QOpenGLFunctions_3_3_Core* f = funcs();
    if (!f)
        qCWarning(lcGpu) << caller << "- no current OpenGL context";
    return f;
}

void GLProg::glLog(const QString& tag)
{
    GLContextInfo::logDebugMessages(tag);
}

void GLProg::yield()
{
    if (QOpenGLFunctions_3_3_Core* f = funcs())
        f->glFinish();
    QThread::yieldCurrentThread();
}

int GLProg::cachedPrograms()
{
    return s_progCache.size();
}

int GLProg::cachedShaders()
{
    return s_vertCache.size() + s_fragCache.size();
}

void GLProg::clearCache()
{
    // Programs first: they reference the shaders.
    qDeleteAll(s_progCache);
    s_progCache.clear();
    qDeleteAll(s_vertCache);
    s_vertCache.clear();
    qDeleteAll(s_fragCache);
    s_fragCache.clear();
    ++s_generation;
}
