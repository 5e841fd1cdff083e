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
    // A reduced copy of another image (an effect's decimated input), validated by its
    // source's uid and the reduction factor together: combining the two into one number lets
    // different pairs collide (uid 100 at 2 and uid 101 at 3 both XOR to 102).
    static void setDerived(const QString& key, const TSMat& mat, uint sourceUid, int factor);
    // Empty unless the entry was made from sourceUid at factor (a mismatch removes it).
    static TSMat getDerived(const QString& key, uint sourceUid, int factor);
    // Evicts least-recently-used entries at once until the total fits.
    static void setMax(int kb);
    static int maxKB();
    static void clear();

    static int totalKB();
    static int count();

private:
    struct MatCacheData
    {
        MatCacheData(const TSMat& m, uint source, int f) : mat(m), sourceUid(source), factor(f) {}
        ~MatCacheData();
        TSMat mat;
        uint sourceUid = 0; // set for derived entries only
        int factor = 0;
    };

    static void insert(const QString& key, MatCacheData* entry);
    // The entry under key when `valid` holds for it; otherwise null, and a stale entry goes.
    template <typename Valid>
    static MatCacheData* validEntry(const QString& key, Valid valid);

    static QCache<QString, MatCacheData> s_cache;
    static QMutex s_mutex;
};
