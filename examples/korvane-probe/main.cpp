// Starts the engine's render thread on a real OpenGL context, as a host does without a
// window, and prints what it probed: renderer, maximum texture and point sizes, the GPU
// memory estimate and the cache budget.

#include "engine/timpserver.h"
#include "io/korvane.h"
#include "engine/timpserverthread.h"
#include "gpu/glcache.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    Korvane::takeVerboseFlag(argc, argv);
    Korvane::prepareApplication();
    QGuiApplication app(argc, argv);

    if (!TImpServer::startHeadless()) {
        std::fprintf(stderr, "korvane-probe: no OpenGL 3.3 core context could be set up\n");
        TImpServer::shutDown();
        return 1;
    }
    TImpServerThread* t = TImpServer::impThread();
    std::printf("renderer:            %s\n", qPrintable(t->gpuRenderer()));
    std::printf("max texture size:    %d\n", t->glMaxTextureSize());
    std::printf("max point size:      %d (brush radius %d)\n", TImpServerThread::maxPointSize(),
                TImpServerThread::maxBrushRadius());
    std::printf("GPU memory estimate: %d KB\n", t->glRAMSizeKB());
    std::printf("GPU cache budget:    %d KB\n", GLCache::maxKB());
    std::printf("physical memory:     %d KB\n", TImpServer::cpuRamKB());
    TImpServer::shutDown();
    return 0;
}
