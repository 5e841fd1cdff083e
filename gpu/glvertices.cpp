#include "gpu/glvertices.h"

#include "gpu/glprog.h"

#include <QOpenGLBuffer>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>

#include <memory>
#include <vector>

int GLVertices::s_count = 0;
std::atomic<quint64> GLVertices::s_drawCalls{0};
int GLVertices::s_withBuffers = 0;

GLVertices::GLVertices()
{
    ++s_count;
}

GLVertices::~GLVertices()
{
    destroy();
    --s_count;
}

bool GLVertices::setup(QOpenGLShaderProgram* prog, const float* xyz, int count, GLenum mode)
{
    if (!prog || !xyz || count < 1 || !GLProg::checkedFuncs("GLVertices::setup"))
        return false;
    destroy();
    m_mode = mode;
    m_count = count;

    auto vbo = std::make_unique<QOpenGLBuffer>(QOpenGLBuffer::VertexBuffer);
    auto vao = std::make_unique<QOpenGLVertexArrayObject>();
    if (!vbo->create() || !vao->create())
        return false;
    // Attribute setup is state of the vertex array, not of the program: the program in use
    // is left alone, so a quad built lazily inside a pass does not unbind the pass's program.
    vbo->bind();
    vbo->setUsagePattern(QOpenGLBuffer::StaticDraw);
    vbo->allocate(xyz, count * 3 * int(sizeof(float)));
    vao->bind();
    prog->enableAttributeArray(0);
    prog->setAttributeBuffer(0, GL_FLOAT, 0, 3, 0);
    vao->release();
    vbo->release();

    m_vbo = vbo.release();
    m_vao = vao.release();
    ++s_withBuffers;
    return true;
}

bool GLVertices::setup(const float* xyz, int count, GLenum mode)
{
    return setup(GLProg().program(), xyz, count, mode);
}

bool GLVertices::setup(const QList<QVector3D>& points, GLenum mode)
{
    std::vector<float> xyz;
    xyz.reserve(size_t(points.size()) * 3);
    for (const QVector3D& p : points) {
        xyz.push_back(p.x());
        xyz.push_back(p.y());
        xyz.push_back(p.z());
    }
    return setup(xyz.data(), points.size(), mode);
}

void GLVertices::destroy()
{
    if (!m_vao)
        return;
    // Without a current context Qt forgets the names instead of freeing them.
    delete m_vao;
    m_vao = nullptr;
    delete m_vbo;
    m_vbo = nullptr;
    --s_withBuffers;
}

void GLVertices::bind()
{
    if (m_vao)
        m_vao->bind();
}

void GLVertices::release()
{
    if (m_vao)
        m_vao->release();
}

quint64 GLVertices::drawCalls()
{
    return s_drawCalls.load();
}

void GLVertices::draw()
{
    QOpenGLFunctions_3_3_Core* f = GLProg::checkedFuncs("GLVertices::draw");
    if (!m_vao || !f)
        return;
    m_vao->bind();
    f->glDrawArrays(m_mode, 0, m_count);
    ++s_drawCalls;
    m_vao->release();
}

namespace {
GLVertices& sharedQuad()
{
    // Never destroyed at exit: its GL objects are freed by releaseStdRect, with the context.
    static GLVertices* quad = new GLVertices;
    return *quad;
}
} // namespace

GLVertices& GLVertices::stdRect()
{
    GLVertices& quad = sharedQuad();
    if (!quad.isSetUp() && QOpenGLContext::currentContext()) {
        static const float kQuad[] = {1.f, -1.f, 0.f, 1.f, 1.f, 0.f, -1.f, -1.f, 0.f, -1.f, 1.f, 0.f};
        quad.setup(kQuad, 4, GL_TRIANGLE_STRIP);
    }
    return quad;
}

void GLVertices::releaseStdRect()
{
    sharedQuad().destroy();
}

int GLVertices::liveCount()
{
    return s_count;
}

int GLVertices::liveBuffers()
{
    return s_withBuffers;
}
