#pragma once
// Thread: render thread, with the engine context current.
// Owns: nothing; the program comes from the GPU cache.
// Errors: a failed pass returns an "ERROR!!! " status, which stops the render.

#include "nodes/tnodeworker.h"

// Renders LevelsLayer in one pass over the image it is given.
class LevelsLayerWorker : public TNodeWorker
{
    Q_OBJECT
public:
    using TNodeWorker::TNodeWorker;
    QString doProc(TSFbo& io) override;
};
