#include "renderthreadbench.h"

#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "gpu/glcache.h"

#include <cstdio>

bool RenderThreadBench::run(const char* name, int cacheKB, const std::function<void()>& body)
{
    if (!TImpServer::startHeadless()) {
        std::fprintf(stderr, "%s: no OpenGL 3.3 core context could be set up\n", name);
        TImpServer::shutDown();
        return false;
    }
    QMetaObject::invokeMethod(TImpServer::impThread(), [&] {
        GLCache::setMax(cacheKB, 24);
        body();
    }, Qt::BlockingQueuedConnection);
    TImpServer::shutDown();
    return true;
}
