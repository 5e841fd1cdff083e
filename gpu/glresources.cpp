#include "gpu/glresources.h"
#include "gpu/gpulogging.h"

#include "gpu/estexture.h"
#include "gpu/glcache.h"
#include "gpu/glimfilter.h"
#include "gpu/glprog.h"
#include "gpu/glvertices.h"
#include "gpu/tsfbo.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

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

void GLResources::releaseIdleMemory()
{
    dropDeadImages();
    GLCache::clearBuffer();
}

void GLResources::dropDeadImages()
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context)
        return;
    // Queued passes hold the images they use: deleted under them, those would live on.
    context->functions()->glFinish();
    {
        // One pixel read and written: the driver's bindings now name these images, once
        // this pass has run too (until then it holds what was bound before it).
        const TSFbo pixel(QSize(1, 1), TSFbo::workingFormat());
        GLImFilter copy(QStringLiteral(":/korvane/glshaders/copy.frag"));
        copy.setTexture(QStringLiteral("inputTexture0"), pixel, GL_NEAREST);
        copy.render(QSize(1, 1), TSFbo::workingFormat(), 1.0f);
    }
    context->functions()->glFinish();
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
