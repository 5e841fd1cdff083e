#pragma once
// Thread: any; every operation holds one process-wide mutex for its whole duration.
// Owns: shared TSMat handles of the cached images (the pixels stay shared with the callers).
// Errors: a miss or a stale entry gives an empty TSMat; an image larger than the budget is
//         simply not stored.

#include "gpu/tsmat.h"

#include <QCache>
#include <QMutex>
#include <QString>

// Process-wide least-recently-used cache of images under string keys, budgeted in KB of
// pixel memory (default 1,024,000 KB). A lookup names the uid it expects, so an entry made
// from an older source image is dropped instead of being handed out.
class TSMatCache
{
public:
    TSMatCache() = default;
    // Clears the whole (process-wide) cache.
    ~TSMatCache();

    // Replaces whatever was stored under key; an empty mat is ignored and leaves the
    // existing entry in place.
    static void set(const QString& key, const TSMat& mat);
    // The stored image, or an empty TSMat when absent or when its uid differs from a
    // non-zero uid (the stale entry is then removed). uid 0 accepts any stored image.
    static TSMat get(const QString& key, uint uid);
    // Evicts least-recently-used entries at once until the total fits.
    static void setMax(int kb);
    static int maxKB();
    static void clear();

    static int totalKB();
    static int count();

private:
    struct MatCacheData
    {
        explicit MatCacheData(const TSMat& m) : mat(m) {}
        ~MatCacheData();
        TSMat mat;
    };

    static QCache<QString, MatCacheData> s_cache;
    static QMutex s_mutex;
};
