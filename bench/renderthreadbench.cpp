#include "renderthreadbench.h"

#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "gpu/glcache.h"
#include "gpu/glprog.h"

#include <QElapsedTimer>
#include <QOpenGLFunctions_3_3_Core>

#include <algorithm>
#include <cstdio>
#include <vector>

bool RenderThreadBench::start(const char* name, int cacheKB)
{
    if (!TImpServer::startHeadless()) {
        std::fprintf(stderr, "%s: no OpenGL 3.3 core context could be set up\n", name);
        TImpServer::shutDown();
        return false;
    }
    onRenderThread([cacheKB] { GLCache::setMax(cacheKB, 24); });
    return true;
}

void RenderThreadBench::onRenderThread(const std::function<void()>& body)
{
    QMetaObject::invokeMethod(TImpServer::impThread(), [&] { body(); }, Qt::BlockingQueuedConnection);
}

void RenderThreadBench::stop()
{
    TImpServer::shutDown();
}

bool RenderThreadBench::run(const char* name, int cacheKB, const std::function<void()>& body)
{
    if (!start(name, cacheKB))
        return false;
    onRenderThread(body);
    stop();
    return true;
}

RenderThreadBench::Timing RenderThreadBench::measure(int runs, const std::function<void()>& f,
                                                     const std::function<void()>& prepare)
{
    QOpenGLFunctions_3_3_Core* gl = GLProg::funcs();
    std::vector<double> ms;
    for (int i = 0; i < std::max(runs, 1); ++i) {
        if (prepare)
            prepare();
        gl->glFinish();
        QElapsedTimer t;
        t.start();
        f();
        gl->glFinish();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2]};
}
