#pragma once
// Thread: render thread, with the engine context current.
// Owns: nothing; the program comes from the GPU cache.
// Errors: a failed pass returns an "ERROR!!! " status, which fails the request.

#include "effects/teffectmaskworker.h"

// Renders LevelsEffect's own result in one pass over the input at the request's decimation.
class LevelsEffectWorker : public TEffectMaskWorker
{
    Q_OBJECT
public:
    using TEffectMaskWorker::TEffectMaskWorker;

protected:
    QString doProc(TSFbo& out) override;
};
