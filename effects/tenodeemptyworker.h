#pragma once
// Thread: render thread. Owns: nothing beyond its node worker. Errors: none.

#include "effects/ttreenodelayerworker.h"

// Render-thread twin of the empty node (and of plain layers): no processing of its own, so
// its result is its input, laid over the output as a layer.
class TENodeEmptyWorker : public TTreeNodeLayerWorker
{
    Q_OBJECT
public:
    using TTreeNodeLayerWorker::TTreeNodeLayerWorker;

protected:
    QString doProc(TSFbo&) override { return QString(); }
};
