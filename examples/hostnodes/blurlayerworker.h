#pragma once
// Thread: render thread, with the engine context current.
// Owns: nothing; the programs come from the GPU cache.
// Errors: a failed pass returns an "ERROR!!! " status, which stops the render.

#include "nodes/tnodeworker.h"

// Renders BlurLayer: two box blurs of half the radius each, a tent of the full radius, which
// hides the box's blocky edges.
class BlurLayerWorker : public TNodeWorker
{
    Q_OBJECT
public:
    using TNodeWorker::TNodeWorker;
    QString doProc(TSFbo& io) override;
};
