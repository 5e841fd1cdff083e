#pragma once
// Thread: made on the thread that creates its QOpenGLContext; current on one thread at a time,
//         as every OpenGL context.
// Owns: one EGL context (destroyed with it).
// Errors: a context that cannot be made is invalid (isValid false) and problem() says which
//         EGL call failed and why.

#include <qpa/qplatformopenglcontext.h>

#include <QString>
#include <QSurfaceFormat>

// An OpenGL context without any surface (EGL_KHR_surfaceless_context): it renders only into
// framebuffer objects, which is all the engine does, so it needs no display server.
class EglSurfacelessContext : public QPlatformOpenGLContext
{
public:
    // `display` is an initialised EGLDisplay; `share` may be null.
    EglSurfacelessContext(void* display, const QSurfaceFormat& requested, const EglSurfacelessContext* share);
    ~EglSurfacelessContext() override;

    QSurfaceFormat format() const override { return m_format; }
    void swapBuffers(QPlatformSurface*) override {}
    bool makeCurrent(QPlatformSurface* surface) override;
    void doneCurrent() override;
    bool isSharing() const override { return m_sharing; }
    bool isValid() const override { return m_context != nullptr; }
    QFunctionPointer getProcAddress(const char* procName) override;
    const QString& problem() const { return m_problem; }

private:
    void* m_display;
    void* m_context = nullptr;
    bool m_sharing = false;
    QSurfaceFormat m_format;
    QString m_problem;
};
