#include "gpu/tsmatcache.h"

#include <QDebug>
#include <QMutexLocker>

QCache<QString, TSMatCache::MatCacheData> TSMatCache::s_cache(1024000);
QMutex TSMatCache::s_mutex;

TSMatCache::MatCacheData::~MatCacheData()
{
    qDebug() << mat.size();
}

TSMatCache::~TSMatCache()
{
    clear();
}

void TSMatCache::set(const QString& key, const TSMat& mat)
{
    if (mat.isEmpty())
        return;
    QMutexLocker locker(&s_mutex);
    // The old entry goes first, even when the new one turns out too big: whoever sets a
    // key has moved on from the image stored under it.
    s_cache.remove(key);
    const int cost = mat.totalKB();
    if (cost > s_cache.maxCost())
        return;
    // Evicts least-recently-used entries down to maxCost - cost, then inserts as newest.
    s_cache.insert(key, new MatCacheData(mat), cost);
}

TSMat TSMatCache::get(const QString& key, uint uid)
{
    QMutexLocker locker(&s_mutex);
    // object() also makes the entry the most recently used.
    MatCacheData* entry = s_cache.object(key);
    if (!entry)
        return TSMat();
    if (uid != 0 && entry->mat.uid() != uid) {
        s_cache.remove(key);
        return TSMat();
    }
    return entry->mat;
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
