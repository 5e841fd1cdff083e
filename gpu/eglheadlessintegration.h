#pragma once
// Thread: made by QGuiApplication on the GUI thread; the contexts it makes follow their
//         QOpenGLContext to whichever thread uses them.
// Owns: the EGL display (terminated with it) and the one screen it announces.
// Errors: without a usable EGL display every context it makes is invalid, with a warning
//         naming the failed step (problem() has the same text).

#include <qpa/qplatformintegration.h>

#include <QString>

// A Qt platform for hosts without a windowing system (batch nodes, containers, CI jobs):
// OpenGL 3.3 core contexts on Mesa's surfaceless EGL platform, rendering into framebuffer
// objects only. Windows exist so that Qt Quick items can be hosted, but show nothing.
class EglHeadlessIntegration : public QPlatformIntegration
{
public:
    // The platform name a host puts in QT_QPA_PLATFORM (or passes as -platform).
    static const char* platformName();
    // Opens and closes a surfaceless display: empty when it works, else what failed.
    static QString probe();

    EglHeadlessIntegration();
    ~EglHeadlessIntegration() override;

    void initialize() override;
    bool hasCapability(Capability capability) const override;
    QPlatformWindow* createPlatformWindow(QWindow* window) const override;
    QPlatformBackingStore* createPlatformBackingStore(QWindow* window) const override;
    QPlatformOpenGLContext* createPlatformOpenGLContext(QOpenGLContext* context) const override;
    QPlatformOffscreenSurface* createPlatformOffscreenSurface(QOffscreenSurface* surface) const override;
    QAbstractEventDispatcher* createEventDispatcher() const override;
    const QString& problem() const { return m_problem; }

private:
    void* m_display = nullptr;
    QString m_problem;
};
