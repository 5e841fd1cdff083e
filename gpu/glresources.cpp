#include "gpu/glresources.h"
#include "gpu/gpulogging.h"

#include "gpu/estexture.h"
#include "gpu/glcache.h"
#include "gpu/glprog.h"
#include "gpu/glvertices.h"
#include "gpu/tsfbo.h"

#include <QOpenGLContext>

void GLResources::teardown()
{
    if (!QOpenGLContext::currentContext())
        qCWarning(lcGpu) << "GLResources::teardown - no current context; GL names are forgotten, not freed";
    // Cached results first: their images return to the pool, which is emptied next.
    GLCache::clearAll(true);
    ESTexture::deletePending();
    GLCache::closePool();
    GLProg::clearCache();
    GLVertices::releaseStdRect();
    const LiveCounts live = liveCounts();
    qCDebug(lcGpu) << "GLResources::teardown - left: programs" << live.programs << "shaders" << live.shaders
             << "vertex buffers" << live.vertexBuffers << "pooled framebuffers" << live.pooledFramebuffers
             << "images" << live.images << "textures" << live.textures;
}

GLResources::LiveCounts GLResources::liveCounts()
{
    LiveCounts c;
    c.programs = GLProg::cachedPrograms();
    c.shaders = GLProg::cachedShaders();
    c.vertexBuffers = GLVertices::liveBuffers();
    c.pooledFramebuffers = GLCache::pooledCount();
    c.cachedResults = GLCache::fboCacheCount() + GLCache::spareCount();
    c.images = TSFbo::fboUsed();
    c.textures = ESTexture::liveTextures();
    return c;
}
