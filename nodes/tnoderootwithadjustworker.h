#pragma once
// Thread: render thread, with the engine context current while rendering.
// Owns: as TNodeRootWorker.
// Errors: "ERROR - TNodeRootWithAdjustWorker::procBasicAdjust - Empty buffer!!!" when there
//         is no placed input to adjust; it stops the pass before any child runs.

#include "nodes/tnoderootworker.h"

// Worker of the adjust root: brightness and contrast applied to the placed input before
// any child sees it.
class TNodeRootWithAdjustWorker : public TNodeRootWorker
{
    Q_OBJECT
public:
    TNodeRootWithAdjustWorker(unsigned int uid, unsigned int parentUid);

protected:
    QString prepareChildrenInput(const TSFbo& placed, TSFbo& childrenInput) override;

private:
    // rgb' = (rgb - 0.5) * contrast + brightness + 0.5; positive contrast counts five times.
    QString procBasicAdjust(const TSFbo& in, TSFbo& out);
};
