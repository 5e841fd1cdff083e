#pragma once
// Thread: render thread, with the engine context current; the caches are not locked.
// Owns: nothing per object (a key string); process-wide caches of compiled shaders and
//       linked programs, freed by GLResources::teardown while the context is current.
// Errors: compile and link failures are logged once with the shader's path and the
//         compiler's text; such a program is not valid and its passes draw nothing.

#include <QMap>
#include <QString>
#include <QtGui/qopengl.h>

class QOpenGLFunctions_3_3_Core;
class QOpenGLShader;
class QOpenGLShaderProgram;
class TSFbo;

// A light handle on a linked program built from a fragment and a vertex shader resource.
// Programs with the same two paths share one program object; shaders are compiled once
// per path.
class GLProg
{
public:
    explicit GLProg(const QString& fragFile = QStringLiteral(":/korvane/glshaders/copy.frag"),
                    const QString& vertFile = QStringLiteral(":/korvane/glshaders/default.vert"));
    GLProg(const GLProg& other) = default;
    GLProg& operator=(const GLProg& other) = default;
    virtual ~GLProg();

    // The cached program (built again if the caches were cleared); null without a context.
    QOpenGLShaderProgram* program() const;
    // True when the program linked.
    bool isValid() const;
    // Fragment path followed directly by vertex path.
    QString key() const { return m_key; }

    // Renders the shared quad into the whole of `out` (bind, viewport, draw, release); the
    // caller has bound the program and set its uniforms.
    void drawFullFbo(TSFbo& out);
    // Binds `texture` to `unit` with the given wrap and filter and points the sampler
    // `uniform` at it; unit 0 is active again afterwards.
    void setTexture2D(const char* uniform, GLuint texture, int unit, GLenum wrap = GL_MIRRORED_REPEAT,
                      GLenum filter = GL_LINEAR);
    void setTexture1D(const char* uniform, GLuint texture, int unit, GLenum wrap = GL_CLAMP_TO_EDGE,
                      GLenum filter = GL_LINEAR);
    void setTexture3D(const char* uniform, GLuint texture, int unit, GLenum wrap = GL_CLAMP_TO_EDGE,
                      GLenum filter = GL_LINEAR);

    // Straight-alpha "over" for the next draws: colour weighted by the source's alpha,
    // coverage accumulated, so drawing onto an opaque image leaves it opaque.
    static void enableOverBlending();
    static void disableGlBlending();
    // The engine context's function table when a context is current on the calling thread
    // (the render thread in the engine), else null.
    static QOpenGLFunctions_3_3_Core* funcs();
    // funcs(), warning "<caller> - no current OpenGL context" when there is none.
    static QOpenGLFunctions_3_3_Core* checkedFuncs(const char* caller);
    static void glLog(const QString& tag);
    // glFinish, then lets other threads run.
    static void yield();

    // Live objects of the caches, for leak checks.
    static int cachedPrograms();
    static int cachedShaders();
    // Changes whenever the caches are cleared (uniform locations must then be looked up again).
    static int cacheGeneration() { return s_generation; }

protected:
    // Deletes every cached program and shader (context current).
    static void clearCache();

private:
    friend class GLResources;

    QOpenGLShaderProgram* build() const;
    static QOpenGLShader* shader(QMap<QString, QOpenGLShader*>& cache, const QString& path, bool vertex);

    QString m_fragFile;
    QString m_vertFile;
    QString m_key;

    static QMap<QString, QOpenGLShader*> s_vertCache;
    static QMap<QString, QOpenGLShader*> s_fragCache;
    static QMap<QString, QOpenGLShaderProgram*> s_progCache;
    static int s_generation;
};
