#include "gpu/eglsurfacelesscontext.h"
#include "gpu/gpulogging.h"

// The EGL headers must not pull in X11's, whose macros (None, Bool, Status) break Qt's.
#define EGL_NO_X11
#define MESA_EGL_NO_X11_HEADERS
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <vector>

EglSurfacelessContext::EglSurfacelessContext(void* display, const QSurfaceFormat& requested,
                                             const EglSurfacelessContext* share)
    : m_display(display)
    , m_format(requested)
{
    if (!display) {
        m_problem = QStringLiteral("no EGL display");
        return;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        m_problem = QStringLiteral("eglBindAPI(EGL_OPENGL_API) failed: EGL error 0x%1").arg(eglGetError(), 0, 16);
        return;
    }
    // The engine asks for 3.3 core; older requests get what the driver offers for them.
    const int major = std::max(requested.majorVersion(), 2);
    const int minor = requested.majorVersion() < 2 ? 0 : requested.minorVersion();
    std::vector<EGLint> attributes{EGL_CONTEXT_MAJOR_VERSION_KHR, major, EGL_CONTEXT_MINOR_VERSION_KHR, minor};
    const bool core = requested.profile() == QSurfaceFormat::CoreProfile && (major > 3 || (major == 3 && minor >= 2));
    if (core)
        attributes.insert(attributes.end(), {EGL_CONTEXT_OPENGL_PROFILE_MASK_KHR, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT_KHR});
    attributes.push_back(EGL_NONE);
    EGLContext shareContext = share && share->isValid() ? share->m_context : EGL_NO_CONTEXT;
    // No config: nothing is ever drawn into a surface of this context.
    m_context = eglCreateContext(m_display, EGL_NO_CONFIG_KHR, shareContext, attributes.data());
    if (m_context == EGL_NO_CONTEXT) {
        m_context = nullptr;
        m_problem = QStringLiteral("eglCreateContext for OpenGL %1.%2 failed: EGL error 0x%3")
                        .arg(major)
                        .arg(minor)
                        .arg(eglGetError(), 0, 16);
        return;
    }
    m_sharing = shareContext != EGL_NO_CONTEXT;
    m_format.setRenderableType(QSurfaceFormat::OpenGL);
    m_format.setVersion(major, minor);
    m_format.setProfile(core ? QSurfaceFormat::CoreProfile : QSurfaceFormat::NoProfile);
}

EglSurfacelessContext::~EglSurfacelessContext()
{
    if (m_context)
        eglDestroyContext(m_display, m_context);
}

bool EglSurfacelessContext::makeCurrent(QPlatformSurface*)
{
    if (!m_context)
        return false;
    eglBindAPI(EGL_OPENGL_API);
    if (eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_context))
        return true;
    qCWarning(lcGpu) << "EglSurfacelessContext - eglMakeCurrent failed: EGL error" << Qt::hex << eglGetError();
    return false;
}

void EglSurfacelessContext::doneCurrent()
{
    eglBindAPI(EGL_OPENGL_API);
    eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

QFunctionPointer EglSurfacelessContext::getProcAddress(const char* procName)
{
    // EGL_KHR_get_all_proc_addresses: core functions resolve here too.
    return reinterpret_cast<QFunctionPointer>(eglGetProcAddress(procName));
}
