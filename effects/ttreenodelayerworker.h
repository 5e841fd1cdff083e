#pragma once
// Thread: render thread. Owns: nothing beyond its node worker.
// Errors: an empty source or destination, or a placement that is not finite, leaves the
//         destination as it was.

#include "effects/ttreenodeworker.h"

// Render-thread twin of a layer: lays the layer's result over what lies below it with its
// placement, opacity and blend mode, weighted by a selection measured on what lies below.
class TTreeNodeLayerWorker : public TTreeNodeWorker
{
    Q_OBJECT
public:
    using TTreeNodeWorker::TTreeNodeWorker;

protected:
    QString postProc(const TSFbo& source, TSFbo& destination) override;
};
