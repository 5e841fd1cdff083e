#pragma once
// Thread: render thread, with the engine context current.
// Owns: the shared unit-rectangle vertex buffer (freed by releaseAll at shutdown).
// Errors: without a current context stdRect returns null.

class QOpenGLBuffer;

// Shared geometry for full-screen passes.
class GLVertices
{
public:
    // The full-screen quad (-1,-1)-(1,1) as a triangle strip of four 3D vertices.
    static QOpenGLBuffer* stdRect();
    static void releaseAll();
    static int liveBuffers();

private:
    static QOpenGLBuffer* s_stdRect;
};
