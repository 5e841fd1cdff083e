#pragma once
// Thread: render thread, with the engine context current while rendering. setStampFlag may
//         be called from the GUI thread while no render runs (a command's redo).
// Owns: the snapshot of its input: a CPU copy (16-bit RGB) and a GPU copy held in the GPU
//       cache under a key of this worker's own, released when the worker is deleted.
// Errors: as TNodeWorker; a snapshot that cannot be made stops the pass with an error text.

#include "gpu/tsmat.h"
#include "nodes/tnodeworker.h"

#include <atomic>

// Worker of a stamp node: the first time it renders at full resolution it takes a snapshot
// of its input, and from then on works on that snapshot (scaled down for previews) instead
// of on its live input, until the snapshot is dropped.
class TNodeStampWorker : public TNodeWorker
{
    Q_OBJECT
public:
    TNodeStampWorker(unsigned int uid, unsigned int parentUid);
    ~TNodeStampWorker() override;

    // True while there is no snapshot, or one is about to be dropped: the preview then needs
    // a full-resolution pass to take a new one.
    bool needFullInput() const override;

    // Drops the snapshot at once.
    void restamp();
    // With true, the next render drops the snapshot before it starts.
    void setStampFlag(bool b) { m_stampFlag.store(b); }
    bool stampFlag() const { return m_stampFlag.load(); }
    TSMat stampedFullMat() const { return m_snapshot; }
    // The snapshot as a full-resolution framebuffer: the cached one, or rebuilt from the CPU
    // copy when the cache has dropped it. Empty without a snapshot.
    TSFbo stampedFullFbo() const;

protected:
    // The snapshot instead of `in`: taken from `in` when missing and `in` is full
    // resolution; scaled to `in`'s size for previews; nothing at all while there is no
    // snapshot and `in` is reduced.
    QString layerSource(const TSFbo& in, TSFbo& source, bool* contributes) override;
    // What a stamp shows depends on when its snapshot was taken: it is never kept.
    quint64 stateKey() const override { return 0; }

private:
    QString takeSnapshot(const TSFbo& in, TSFbo& source);
    QString scaledSnapshot(const TSFbo& in, TSFbo& source) const;

    TSMat m_snapshot;
    std::atomic<bool> m_stampFlag{false};
    // GPU cache keys of the full snapshot and of its last scaled copy.
    QString m_fullKey;
    QString m_scaledKey;
};
