#pragma once
// Thread: render thread, except that the last TSFbo handle may die on any thread: its
//         framebuffer is then only queued into the pool, and trimmed (deleted) by the render
//         thread's next pool call. All state is behind one recursive mutex; KB counters are atomic.
// Owns: shared TSFbo handles of cached results, RAM copies (TSMat) of results, and the
//       pooled framebuffers (deleted on the render thread when trimmed or cleared).
// Errors: misses and stale uids give an empty TSFbo; an entry larger than the budget is not stored.

#include "gpu/estexture.h"
#include "gpu/tsfbo.h"
#include "gpu/tsmat.h"

#include <QCache>
#include <QMap>
#include <QQueue>
#include <QRecursiveMutex>
#include <QString>

#include <atomic>

// GPU memory of the engine, all static:
// - a result cache of TSFbo images (and sampled ESTexture textures) under string keys, each validated by the uid the caller
//   expects, least recently used evicted first, its cost the image's KB, limited to 70 % of
//   the total budget (307,200 KB before setMax); optionally RAM copies of results under the
//   same keys, uploaded again on demand;
// - spare entries: images worth keeping only while there is room (intermediate results that
//   can be rendered again), held in what the result cache leaves of its share and evicted,
//   least recently used first, before any result-cache entry has to go;
// - the pool of released framebuffers, reused by TSFbo allocation on an exact match of
//   size, internal format and attachment (newest first), limited to maxCount() buffers and
//   to the budget left over by live images and textures.
class GLCache
{
public:
    enum FBOCache { FboCacheGpu = 0, FboCacheRam = 1, FboCacheGpuRam = 2 };

    struct Stats
    {
        int hits = 0;        // result-cache lookups answered (GPU or RAM level)
        int misses = 0;
        int poolHits = 0;    // allocations served from the pool
        int poolMisses = 0;  // allocations that created a framebuffer
        int poolDeleted = 0; // pooled framebuffers deleted by trimming or clearing
    };

    GLCache() = default;
    // Clears everything, RAM copies included (the cache is process-wide).
    ~GLCache();

    // Stores a shared handle (no pixel copy) and/or a RAM copy; an empty fbo is ignored.
    static void set(const QString& key, const TSFbo& fbo, FBOCache mode = FboCacheGpu);
    // Stores a spare entry (see above). An image larger than an eighth of the result cache's
    // share is not stored: it would push out many others, and freeing it costs more than
    // keeping it saves on the software rasteriser.
    static void setSpare(const QString& key, const TSFbo& fbo);
    // The cached image when its uid is `uid` (any uid when 0), else a re-upload of a RAM copy
    // with exactly that non-zero uid, else an empty TSFbo; stale entries are removed.
    static TSFbo get(const QString& key, uint uid);
    // Stores a texture entry costing its real size; an empty texture is ignored.
    static void set(const QString& key, const ESTexture& texture);
    // The texture stored under `key`, or an empty one.
    static ESTexture getTexture(const QString& key);
    static bool contains(const QString& key, uint uid);
    // Removes the key from both levels; true when a result-cache entry existed.
    static bool release(const QString& key);
    // Empties the result cache (with `alsoRam` the RAM copies too), then the pool.
    static void clearAll(bool alsoRam);
    // Deletes every pooled framebuffer.
    static void clearBuffer();
    // Total budget in KB and pool length; the result cache gets 70 % of the total.
    static void setMax(int totalKB, int maxNumBuffers);

    static int maxKB();
    static int maxCount();
    static uint fboCacheKB();
    static uint fboCacheMaxKB();
    static int fboCacheCount();
    static int spareCount();
    static uint delayDestroyBuffersKB();
    static int pooledCount();
    static Stats stats();
    static void resetStats();

private:
    friend class TSFboData;
    friend class GLResources;

    struct GLCacheData
    {
        explicit GLCacheData(const TSFbo& f) : fbo(f) {}
        explicit GLCacheData(const ESTexture& t) : texture(t) {}
        TSFbo fbo;
        ESTexture texture;
    };

    // A pooled framebuffer of exactly this size, format and attachment, or null.
    static QOpenGLFramebufferObject* takeBuffer(const QSize& size, uint internalFormat,
                                                QOpenGLFramebufferObject::Attachment attachment);
    // Takes ownership of the framebuffer of a dying record.
    static void insert(QOpenGLFramebufferObject* fbo);
    // Trims the pool to its limits; only on the render thread with a context.
    static void adjustBuffers();
    // Called by the GPU teardown: deletes the pooled framebuffers; after it, framebuffers
    // handed in are deleted at once (their GL names die with the context) until the render
    // thread uses the pool again.
    static void closePool();
    // Gives the spare entries what the result cache leaves of its share, evicting the oldest.
    static void fitSpares();

    static QCache<QString, GLCacheData> s_cache;
    static QCache<QString, GLCacheData> s_spares;
    static QMap<QString, TSMat> s_fboRamCache;
    static QQueue<QOpenGLFramebufferObject*> s_delayDestroyBuffers;
    static std::atomic<uint> s_currBufferSize;
    static std::atomic<uint> s_totalMaxKB;
    static std::atomic<uint> s_maxNumBuffers;
    static bool s_poolClosed;
    static Stats s_stats;
    static QRecursiveMutex s_mutex;
};
