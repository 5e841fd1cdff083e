#include "gpu/glcache.h"
#include "gpu/gpulogging.h"

#include "gpu/glcontextinfo.h"
#include "gpu/glprog.h"

#include <QMutexLocker>
#include <QOpenGLContext>

#include <algorithm>

namespace {
constexpr int kDefaultResultCacheKB = 307200;
constexpr double kResultCacheShare = 0.7;
constexpr int kLargestSpareShare = 8;
} // namespace

// The mutex is defined first so that it is destroyed last: entries destroyed at exit
// re-enter insert().
QRecursiveMutex GLCache::s_mutex;
QCache<QString, GLCache::GLCacheData> GLCache::s_cache(kDefaultResultCacheKB);
QCache<QString, GLCache::GLCacheData> GLCache::s_spares(kDefaultResultCacheKB);
QMap<QString, TSMat> GLCache::s_fboRamCache;
QQueue<QOpenGLFramebufferObject*> GLCache::s_delayDestroyBuffers;
std::atomic<uint> GLCache::s_currBufferSize{0};
std::atomic<uint> GLCache::s_totalMaxKB{409600};
std::atomic<uint> GLCache::s_maxNumBuffers{24};
bool GLCache::s_poolClosed = false;
GLCache::Stats GLCache::s_stats;

GLCache::~GLCache()
{
    clearAll(true);
}

void GLCache::set(const QString& key, const TSFbo& fbo, FBOCache mode)
{
    if (fbo.isEmpty())
        return;
    QMutexLocker locker(&s_mutex);
    if (mode == FboCacheGpu || mode == FboCacheGpuRam) {
        s_spares.remove(key);
        s_cache.insert(key, new GLCacheData(fbo), TSFbo::textureSizeKB(fbo.fbo()));
        fitSpares();
    }
    if (mode == FboCacheRam || mode == FboCacheGpuRam) {
        TSMat copy = fbo.dataToTSMat(TSFbo::toCvType(fbo.internalFormat()), false, false);
        copy.setProperty("_fboFormat_", int(fbo.internalFormat()));
        s_fboRamCache.insert(key, copy);
    }
}

void GLCache::setSpare(const QString& key, const TSFbo& fbo)
{
    if (fbo.isEmpty())
        return;
    QMutexLocker locker(&s_mutex);
    const int cost = TSFbo::textureSizeKB(fbo.fbo());
    if (cost > s_cache.maxCost() / kLargestSpareShare)
        return;
    s_cache.remove(key);
    fitSpares();
    s_spares.insert(key, new GLCacheData(fbo), cost);
}

void GLCache::fitSpares()
{
    s_spares.setMaxCost(std::max(0, s_cache.maxCost() - s_cache.totalCost()));
}

TSFbo GLCache::get(const QString& key, uint uid)
{
    QMutexLocker locker(&s_mutex);
    if (GLCacheData* spare = s_spares.object(key)) {
        if (uid == 0 || uid == spare->fbo.uid()) {
            ++s_stats.hits;
            return spare->fbo;
        }
        s_spares.remove(key);
    }
    if (GLCacheData* entry = s_cache.object(key); entry && !entry->fbo.isEmpty()) {
        if (uid == 0 || uid == entry->fbo.uid()) {
            ++s_stats.hits;
            return entry->fbo;
        }
        s_cache.remove(key);
    }
    const auto ram = s_fboRamCache.find(key);
    if (ram != s_fboRamCache.end()) {
        if (uid != 0 && uid == ram->uid()) {
            ++s_stats.hits;
            return TSFbo(*ram, ram->property("_fboFormat_").toUInt(), true);
        }
        s_fboRamCache.erase(ram);
    }
    ++s_stats.misses;
    return TSFbo();
}

void GLCache::set(const QString& key, const ESTexture& texture)
{
    if (texture.isEmpty())
        return;
    QMutexLocker locker(&s_mutex);
    s_cache.insert(key, new GLCacheData(texture), texture.textureSizeKB());
    fitSpares();
}

ESTexture GLCache::getTexture(const QString& key)
{
    QMutexLocker locker(&s_mutex);
    if (GLCacheData* entry = s_cache.object(key); entry && !entry->texture.isEmpty()) {
        ++s_stats.hits;
        return entry->texture;
    }
    ++s_stats.misses;
    return ESTexture();
}

bool GLCache::contains(const QString& key, uint uid)
{
    QMutexLocker locker(&s_mutex);
    if (GLCacheData* entry = s_cache.object(key); entry && !entry->fbo.isEmpty())
        return entry->fbo.uid() == uid;
    if (GLCacheData* spare = s_spares.object(key))
        return spare->fbo.uid() == uid;
    const auto ram = s_fboRamCache.constFind(key);
    return ram != s_fboRamCache.constEnd() && ram->uid() == uid;
}

bool GLCache::release(const QString& key)
{
    QMutexLocker locker(&s_mutex);
    s_fboRamCache.remove(key);
    const bool spare = s_spares.remove(key);
    return s_cache.remove(key) || spare;
}

void GLCache::clearAll(bool alsoRam)
{
    {
        QMutexLocker locker(&s_mutex);
        // Entries are destroyed inside the lock: their records re-enter insert() (recursive).
        s_cache.clear();
        s_spares.clear();
        if (alsoRam)
            s_fboRamCache.clear();
    }
    clearBuffer();
    qCDebug(lcGpu) << "all deleted";
}

void GLCache::clearBuffer()
{
    QMutexLocker locker(&s_mutex);
    if (!GLContextInfo::canFreeGlObjectsHere())
        return;
    s_stats.poolDeleted += s_delayDestroyBuffers.size();
    qDeleteAll(s_delayDestroyBuffers);
    s_delayDestroyBuffers.clear();
    s_currBufferSize = 0;
}

void GLCache::setMax(int totalKB, int maxNumBuffers)
{
    QMutexLocker locker(&s_mutex);
    s_totalMaxKB = uint(std::max(totalKB, 0));
    s_maxNumBuffers = uint(std::max(maxNumBuffers, 0));
    qCDebug(lcGpu) << "==========***** GLCache::setMax " << totalKB << maxNumBuffers;
    s_cache.setMaxCost(int(totalKB * kResultCacheShare));
    fitSpares();
    adjustBuffers();
}

int GLCache::maxKB()
{
    return int(s_totalMaxKB.load());
}

int GLCache::maxCount()
{
    return int(s_maxNumBuffers.load());
}

uint GLCache::fboCacheKB()
{
    QMutexLocker locker(&s_mutex);
    return uint(s_cache.totalCost());
}

uint GLCache::fboCacheMaxKB()
{
    QMutexLocker locker(&s_mutex);
    return uint(s_cache.maxCost());
}

int GLCache::fboCacheCount()
{
    QMutexLocker locker(&s_mutex);
    return s_cache.count();
}

int GLCache::spareCount()
{
    QMutexLocker locker(&s_mutex);
    return s_spares.count();
}

uint GLCache::delayDestroyBuffersKB()
{
    return s_currBufferSize.load();
}

int GLCache::pooledCount()
{
    QMutexLocker locker(&s_mutex);
    return s_delayDestroyBuffers.size();
}

GLCache::Stats GLCache::stats()
{
    QMutexLocker locker(&s_mutex);
    return s_stats;
}

void GLCache::resetStats()
{
    QMutexLocker locker(&s_mutex);
    s_stats = Stats();
}

QOpenGLFramebufferObject* GLCache::takeBuffer(const QSize& size, uint internalFormat,
                                              QOpenGLFramebufferObject::Attachment attachment)
{
    if (size.width() < 1 || size.height() < 1)
        return nullptr;
    QMutexLocker locker(&s_mutex);
    // The render thread is using the pool: hand-ins from other threads may wait for this.
    if (GLContextInfo::canFreeGlObjectsHere()) {
        s_poolClosed = false;
        adjustBuffers();
    }
    for (int i = s_delayDestroyBuffers.size() - 1; i >= 0; --i) {
        QOpenGLFramebufferObject* fbo = s_delayDestroyBuffers.at(i);
        if (fbo->size() == size && fbo->format().internalTextureFormat() == internalFormat
            && fbo->attachment() == attachment) {
            s_delayDestroyBuffers.removeAt(i);
            s_currBufferSize -= uint(TSFbo::textureSizeKB(fbo));
            ++s_stats.poolHits;
            return fbo;
        }
    }
    ++s_stats.poolMisses;
    return nullptr;
}

void GLCache::insert(QOpenGLFramebufferObject* fbo)
{
    if (!fbo)
        return;
    QMutexLocker locker(&s_mutex);
    if (fbo->width() < 1 || fbo->height() < 1 || s_poolClosed) {
        // Not worth pooling, or the GPU layer was torn down: without the engine context
        // current, Qt only forgets the GL names (they die with the context).
        delete fbo;
        return;
    }
    s_delayDestroyBuffers.enqueue(fbo);
    s_currBufferSize += uint(TSFbo::textureSizeKB(fbo));
    adjustBuffers();
}

void GLCache::adjustBuffers()
{
    QMutexLocker locker(&s_mutex);
    // Deleting a framebuffer is a GL call: off the render thread the pool only grows, and
    // the render thread's next pool call trims it.
    if (!GLContextInfo::canFreeGlObjectsHere())
        return;
    ESTexture::deletePending();
    const qint64 available = std::max<qint64>(
        0, qint64(s_totalMaxKB.load()) - qint64(TSFbo::totalKBytesUsed()) - qint64(ESTexture::totalKBytesUsed()));
    while (!s_delayDestroyBuffers.isEmpty()
           && (qint64(s_currBufferSize.load()) > available
               || uint(s_delayDestroyBuffers.size()) > s_maxNumBuffers.load())) {
        QOpenGLFramebufferObject* oldest = s_delayDestroyBuffers.dequeue();
        s_currBufferSize -= uint(TSFbo::textureSizeKB(oldest));
        ++s_stats.poolDeleted;
        delete oldest;
    }
}

void GLCache::closePool()
{
    QMutexLocker locker(&s_mutex);
    s_poolClosed = true;
    // Deleted here whatever the thread: with the context current the names are freed,
    // without it Qt forgets them.
    s_stats.poolDeleted += s_delayDestroyBuffers.size();
    qDeleteAll(s_delayDestroyBuffers);
    s_delayDestroyBuffers.clear();
    s_currBufferSize = 0;
}
