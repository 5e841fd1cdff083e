#include "gpufixture.h"

#include "engine/timpserver.h"
#include "engine/timpserverthread.h"

#include <QCoreApplication>
#include <QSurfaceFormat>

void GpuFixture::prepareApplication()
{
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    QSurfaceFormat::setDefaultFormat(format);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

TImpServerThread* GpuFixture::renderThread()
{
    return TImpServer::startHeadless() ? TImpServer::impThread() : nullptr;
}

bool GpuFixture::onRenderThread(const std::function<void()>& f)
{
    TImpServerThread* t = renderThread();
    if (!t)
        return false;
    QMetaObject::invokeMethod(t, [&f] { f(); }, Qt::BlockingQueuedConnection);
    return true;
}

void GpuFixture::shutDown()
{
    TImpServer::shutDown();
}
