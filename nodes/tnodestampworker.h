#pragma once
// Thread: render thread.
// Owns: the snapshot of its input (CPU copy).
// Errors: as TNodeWorker.

#include "gpu/tsmat.h"
#include "nodes/tnodeworker.h"

// Worker of a stamp node: keeps a full-resolution snapshot of its input.
class TNodeStampWorker : public TNodeWorker
{
    Q_OBJECT
public:
    TNodeStampWorker(unsigned int uid, unsigned int parentUid);
    ~TNodeStampWorker() override;

    // Drops the snapshot at once.
    void restamp() { m_snapshot = TSMat(); }
    // With true, the next render drops the snapshot before it starts.
    void setStampFlag(bool b) { m_stampFlag = b; }
    bool stampFlag() const { return m_stampFlag; }
    TSMat stampedFullMat() const { return m_snapshot; }

private:
    TSMat m_snapshot;
    bool m_stampFlag = false;
};
