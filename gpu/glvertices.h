#pragma once
// Thread: render thread, with the engine context current.
// Owns: one vertex buffer and its vertex array object (vertex arrays are not shared between
//       contexts, so they live and die on the render thread's context). Not copyable: one
//       owner frees them once. The shared quad is owned by the class and freed by
//       GLResources::teardown.
// Errors: setup returns false without a current context; draw does nothing until set up.

#include <QList>
#include <QVector3D>
#include <QtGui/qopengl.h>

#include <atomic>

class QOpenGLBuffer;
class QOpenGLShaderProgram;
class QOpenGLVertexArrayObject;

// Vertices (x, y, z) in attribute 0, drawn with one primitive mode.
class GLVertices
{
public:
    GLVertices();
    GLVertices(const GLVertices&) = delete;
    GLVertices& operator=(const GLVertices&) = delete;
    virtual ~GLVertices();

    // Uploads `count` vertices of three floats and points attribute 0 of `prog` at them.
    bool setup(QOpenGLShaderProgram* prog, const float* xyz, int count, GLenum mode);
    // The same through the default program (copy.frag + default.vert).
    bool setup(const float* xyz, int count, GLenum mode);
    bool setup(const QList<QVector3D>& points, GLenum mode);
    bool isSetUp() const { return m_vao != nullptr; }
    // Frees the GL objects (the context must be current; without one they are forgotten).
    void destroy();

    void bind();
    void release();
    void draw();
    GLenum mode() const { return m_mode; }
    int count() const { return m_count; }

    // The shared full-screen quad: (1,-1), (1,1), (-1,-1), (-1,1) at z 0 as a triangle
    // strip, built on first use with a current context.
    static GLVertices& stdRect();
    // Frees the shared quad's GL objects (it is built again on next use).
    static void releaseStdRect();
    // Live GLVertices objects, and those of them holding GL objects.
    static int liveCount();
    static int liveBuffers();
    // Draw calls issued so far by every GLVertices (every pass of the GPU layer draws here).
    static quint64 drawCalls();

private:
    QOpenGLBuffer* m_vbo = nullptr;
    QOpenGLVertexArrayObject* m_vao = nullptr;
    GLenum m_mode = GL_TRIANGLE_STRIP;
    int m_count = 0;

    static int s_count;
    static int s_withBuffers;
    static std::atomic<quint64> s_drawCalls;
};
