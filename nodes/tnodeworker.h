#pragma once
// Thread: render thread.
// Owns: its child workers (QObject children).
// Errors: processing steps report a status string (empty on success).

#include "engine/timprocworker.h"

// Render-thread worker of a layer node.
class TNodeWorker : public TImprocWorker
{
    Q_OBJECT
public:
    TNodeWorker(unsigned int uid, unsigned int parentUid);
    ~TNodeWorker() override;
};
