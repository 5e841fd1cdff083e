#include "gpu/tsmatcache.h"
#include "gpu/gpulogging.h"

#include <QMutexLocker>

#include <memory>

QCache<QString, TSMatCache::MatCacheData> TSMatCache::s_cache(1024000);
QMutex TSMatCache::s_mutex;

TSMatCache::MatCacheData::~MatCacheData()
{
    qCDebug(lcGpu) << mat.size();
}

TSMatCache::~TSMatCache()
{
    clear();
}

void TSMatCache::insert(const QString& key, MatCacheData* entry)
{
    std::unique_ptr<MatCacheData> owned(entry);
    if (entry->mat.isEmpty())
        return;
    QMutexLocker locker(&s_mutex);
    // The old entry goes first, even when the new one turns out too big: whoever sets a
    // key has moved on from the image stored under it.
    s_cache.remove(key);
    const int cost = entry->mat.totalKB();
    if (cost > s_cache.maxCost())
        return;
    // Evicts least-recently-used entries down to maxCost - cost, then inserts as newest.
    s_cache.insert(key, owned.release(), cost);
}

template <typename Valid>
TSMatCache::MatCacheData* TSMatCache::validEntry(const QString& key, Valid valid)
{
    // object() also makes the entry the most recently used.
    MatCacheData* entry = s_cache.object(key);
    if (entry && !valid(*entry)) {
        s_cache.remove(key);
        return nullptr;
    }
    return entry;
}

void TSMatCache::set(const QString& key, const TSMat& mat)
{
    insert(key, new MatCacheData(mat, 0, 0));
}

TSMat TSMatCache::get(const QString& key, uint uid)
{
    QMutexLocker locker(&s_mutex);
    MatCacheData* entry = validEntry(key, [uid](const MatCacheData& e) { return uid == 0 || e.mat.uid() == uid; });
    return entry ? entry->mat : TSMat();
}

void TSMatCache::setDerived(const QString& key, const TSMat& mat, uint sourceUid, int factor)
{
    insert(key, new MatCacheData(mat, sourceUid, factor));
}

TSMat TSMatCache::getDerived(const QString& key, uint sourceUid, int factor)
{
    QMutexLocker locker(&s_mutex);
    MatCacheData* entry = validEntry(key, [sourceUid, factor](const MatCacheData& e) {
        return e.sourceUid == sourceUid && e.factor == factor;
    });
    return entry ? entry->mat : TSMat();
}

void TSMatCache::setMax(int kb)
{
    QMutexLocker locker(&s_mutex);
    s_cache.setMaxCost(kb);
}

int TSMatCache::maxKB()
{
    QMutexLocker locker(&s_mutex);
    return s_cache.maxCost();
}

void TSMatCache::clear()
{
    QMutexLocker locker(&s_mutex);
    s_cache.clear();
}

int TSMatCache::totalKB()
{
    QMutexLocker locker(&s_mutex);
    return s_cache.totalCost();
}

int TSMatCache::count()
{
    QMutexLocker locker(&s_mutex);
    return s_cache.count();
}
