#include "nodes/tnodestampworker.h"

#include "gpu/tuid.h"
#include "gpu/glcache.h"

#include <QtGlobal>

TNodeStampWorker::TNodeStampWorker(unsigned int uid, unsigned int parentUid)
    : TNodeWorker(uid, parentUid)
{
    // The address keeps the keys apart even when a worker is recreated with the same uid
    // before the old one is gone.
    const QString base = QStringLiteral("TNodeStampWorker/%1/%2").arg(uid).arg(quintptr(this), 0, 16);
    m_fullKey = base + QStringLiteral("/full");
    m_scaledKey = base + QStringLiteral("/scaled");
}

TNodeStampWorker::~TNodeStampWorker()
{
    GLCache::release(m_fullKey);
    GLCache::release(m_scaledKey);
}

bool TNodeStampWorker::needFullInput() const
{
    return m_snapshot.isEmpty() || m_stampFlag.load();
}

void TNodeStampWorker::restamp()
{
    m_snapshot = TSMat();
    GLCache::release(m_fullKey);
    GLCache::release(m_scaledKey);
}

QString TNodeStampWorker::layerSource(const TSFbo& in, TSFbo& source, bool* contributes)
{
    if (m_stampFlag.exchange(false))
        restamp();
    const bool fullResolution = !in.isEmpty() && qFuzzyCompare(in.scale(), 1.0f);
    if (m_snapshot.isEmpty()) {
        if (!fullResolution) {
            *contributes = false;
            return QString();
        }
        return takeSnapshot(in, source);
    }
    if (!fullResolution)
        return scaledSnapshot(in, source);
    source = stampedFullFbo();
    return source.isEmpty() ? QStringLiteral("ERROR - TNodeStampWorker - the snapshot cannot be uploaded") : QString();
}

QString TNodeStampWorker::takeSnapshot(const TSFbo& in, TSFbo& source)
{
    TSFbo copy = in.clone();
    if (copy.isEmpty())
        return QStringLiteral("ERROR - TNodeStampWorker - no framebuffer for the snapshot");
    // Every snapshot is new content: a fresh id, never one another image may carry.
    copy.setUid(TUid().uid());
    copy.setScale(1.0f);
    m_snapshot = copy.dataToTSMat(CV_16UC3);
    if (m_snapshot.isEmpty())
        return QStringLiteral("ERROR - TNodeStampWorker - the snapshot cannot be read back");
    GLCache::set(m_fullKey, copy, GLCache::FboCacheGpu);
    source = copy;
    return QString();
}

TSFbo TNodeStampWorker::stampedFullFbo() const
{
    if (m_snapshot.isEmpty())
        return TSFbo();
    TSFbo cached = GLCache::get(m_fullKey, m_snapshot.uid());
    if (!cached.isEmpty())
        return cached;
    TSFbo rebuilt(m_snapshot, TSFbo::workingFormat());
    if (rebuilt.isEmpty())
        return TSFbo();
    rebuilt.setScale(1.0f);
    rebuilt.setUid(m_snapshot.uid());
    GLCache::set(m_fullKey, rebuilt, GLCache::FboCacheGpu);
    return rebuilt;
}

QString TNodeStampWorker::scaledSnapshot(const TSFbo& in, TSFbo& source) const
{
    // Repeated previews at one scale reuse the scaled copy: its id follows the snapshot and
    // the scale, and the size must match too.
    const unsigned int uid = TUid::hash(m_snapshot.uid(), in.scale(), 2, 3, 4, 5, 6, 7, 8);
    TSFbo cached = GLCache::get(m_scaledKey, uid);
    if (!cached.isEmpty() && cached.size() == in.size()) {
        source = cached;
        return QString();
    }
    const TSFbo full = stampedFullFbo();
    TSFbo scaled(in.size(), TSFbo::workingFormat());
    if (full.isEmpty() || scaled.isEmpty())
        return QStringLiteral("ERROR - TNodeStampWorker - no framebuffer for the scaled snapshot");
    full.scaleTo(scaled);
    scaled.setName(in.name());
    scaled.setScale(in.scale());
    scaled.setUid(uid);
    GLCache::set(m_scaledKey, scaled, GLCache::FboCacheGpu);
    source = scaled;
    return QString();
}
