#include "gpu/glvertices.h"

#include <QOpenGLBuffer>
#include <QOpenGLContext>

QOpenGLBuffer* GLVertices::s_stdRect = nullptr;

QOpenGLBuffer* GLVertices::stdRect()
{
    if (s_stdRect)
        return s_stdRect;
    if (!QOpenGLContext::currentContext())
        return nullptr;
    static const float kUnitRect[] = {-1.f, -1.f, 0.f, 1.f, -1.f, 0.f, -1.f, 1.f, 0.f, 1.f, 1.f, 0.f};
    auto* buffer = new QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
    if (!buffer->create()) {
        delete buffer;
        return nullptr;
    }
    buffer->bind();
    buffer->allocate(kUnitRect, int(sizeof(kUnitRect)));
    buffer->release();
    s_stdRect = buffer;
    return s_stdRect;
}

void GLVertices::releaseAll()
{
    if (!s_stdRect)
        return;
    // Without a current context the GL name cannot be freed; QOpenGLBuffer then only forgets it.
    s_stdRect->destroy();
    delete s_stdRect;
    s_stdRect = nullptr;
}

int GLVertices::liveBuffers()
{
    return s_stdRect ? 1 : 0;
}
