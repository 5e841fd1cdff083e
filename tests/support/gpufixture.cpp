#include "gpufixture.h"

#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "io/korvane.h"

#include <cstdio>

void GpuFixture::prepareApplication()
{
    const QString problem = Korvane::prepareApplication();
    if (!problem.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(problem));
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
