#include "gpu/eglheadlessintegration.h"
#include "gpu/gpulogging.h"

#include "gpu/eglsurfacelesscontext.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QWindow>
#include <QtEventDispatcherSupport/private/qgenericunixeventdispatcher_p.h>
#include <qpa/qplatformoffscreensurface.h>
#include <qpa/qplatformscreen.h>
#include <qpa/qplatformwindow.h>
#include <qpa/qwindowsysteminterface.h>

// The EGL headers must not pull in X11's, whose macros (None, Bool, Status) break Qt's.
#define EGL_NO_X11
#define MESA_EGL_NO_X11_HEADERS
#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace {

// A screen of a common size, so that code asking for the primary screen finds one.
class HeadlessScreen : public QPlatformScreen
{
public:
    QRect geometry() const override { return QRect(0, 0, 1920, 1080); }
    int depth() const override { return 32; }
    QImage::Format format() const override { return QImage::Format_ARGB32_Premultiplied; }
};

// Shows nothing, but reports itself exposed when shown, so Qt Quick renders its scene (into
// no surface) and items such as the engine's server item run their set-up.
class HeadlessWindow : public QPlatformWindow
{
public:
    using QPlatformWindow::QPlatformWindow;
    void setVisible(bool visible) override
    {
        QPlatformWindow::setVisible(visible);
        const QRect exposed = visible ? QRect(QPoint(), geometry().size()) : QRect();
        QWindowSystemInterface::handleExposeEvent(window(), exposed);
    }
};

// Contexts need no surface: an offscreen surface only has to exist.
class HeadlessOffscreenSurface : public QPlatformOffscreenSurface
{
public:
    using QPlatformOffscreenSurface::QPlatformOffscreenSurface;
    bool isValid() const override { return true; }
    QSurfaceFormat format() const override { return offscreenSurface()->requestedFormat(); }
};

// An initialised surfaceless display, or null with the failed step in `problem`.
EGLDisplay openDisplay(QString* problem)
{
    const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!extensions || !QByteArray(extensions).contains("EGL_MESA_platform_surfaceless")) {
        *problem = QStringLiteral("EGL has no surfaceless platform (EGL_MESA_platform_surfaceless)");
        return EGL_NO_DISPLAY;
    }
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    EGLDisplay display =
        getPlatformDisplay ? getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr)
                           : EGL_NO_DISPLAY;
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        *problem = QStringLiteral("the surfaceless EGL display cannot be opened: EGL error 0x%1").arg(eglGetError(), 0, 16);
        return EGL_NO_DISPLAY;
    }
    const QByteArray displayExtensions(eglQueryString(display, EGL_EXTENSIONS));
    for (const char* needed : {"EGL_KHR_surfaceless_context", "EGL_KHR_no_config_context", "EGL_KHR_create_context"}) {
        if (!displayExtensions.contains(needed)) {
            *problem = QStringLiteral("the surfaceless EGL display lacks %1").arg(QLatin1String(needed));
            eglTerminate(display);
            return EGL_NO_DISPLAY;
        }
    }
    return display;
}

} // namespace

const char* EglHeadlessIntegration::platformName()
{
    return "korvane-headless";
}

QString EglHeadlessIntegration::probe()
{
    QString problem;
    if (EGLDisplay display = openDisplay(&problem))
        eglTerminate(display);
    return problem;
}

EglHeadlessIntegration::EglHeadlessIntegration()
{
    m_display = openDisplay(&m_problem);
    if (!m_problem.isEmpty())
        qCWarning(lcGpu).noquote() << "Headless OpenGL unavailable:" << m_problem;
}

EglHeadlessIntegration::~EglHeadlessIntegration()
{
    if (m_display)
        eglTerminate(m_display);
}

void EglHeadlessIntegration::initialize()
{
    QWindowSystemInterface::handleScreenAdded(new HeadlessScreen, true);
}

bool EglHeadlessIntegration::hasCapability(Capability capability) const
{
    switch (capability) {
    case OpenGL:
    case ThreadedOpenGL:
    case MultipleWindows:
    case NonFullScreenWindows:
        return true;
    default:
        return QPlatformIntegration::hasCapability(capability);
    }
}

QPlatformWindow* EglHeadlessIntegration::createPlatformWindow(QWindow* window) const
{
    return new HeadlessWindow(window);
}

QPlatformBackingStore* EglHeadlessIntegration::createPlatformBackingStore(QWindow*) const
{
    // Raster windows have nowhere to show: only OpenGL surfaces are supported here.
    qCWarning(lcGpu) << "The headless platform has no raster windows";
    return nullptr;
}

QPlatformOpenGLContext* EglHeadlessIntegration::createPlatformOpenGLContext(QOpenGLContext* context) const
{
    auto* share = static_cast<const EglSurfacelessContext*>(context->shareHandle());
    auto* created = new EglSurfacelessContext(m_display, context->format(), share);
    if (!created->isValid())
        qCWarning(lcGpu).noquote() << "Headless OpenGL context:" << created->problem();
    return created;
}

QPlatformOffscreenSurface* EglHeadlessIntegration::createPlatformOffscreenSurface(QOffscreenSurface* surface) const
{
    return new HeadlessOffscreenSurface(surface);
}

QAbstractEventDispatcher* EglHeadlessIntegration::createEventDispatcher() const
{
    return QtGenericUnixDispatcher::createUnixEventDispatcher();
}
