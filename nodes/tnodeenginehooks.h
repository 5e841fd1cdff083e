#pragma once
// Thread: `createRoot` and the commands on the GUI thread; the worker factory on the render
//         thread. Both install themselves with the engine when the library loads.
// Owns: nothing; roots and commands go to the caller, workers to their parent worker.
// Errors: unknown classes create nothing (null).

#include "engine/tnodemodel.h"
#include "engine/tworkerfactory.h"

// The node model as the engine sees it: the server's roots, the node commands it queues,
// and the render thread's node workers, all made from the node class registry.
class TNodeEngineHooks : public TNodeModel, public TWorkerFactory
{
public:
    TImproc* createRoot() override;
    TCmd* createNodeCommand(const QString& className, unsigned int uid, unsigned int parentUid) override;
    TCmd* deleteNodeCommand(unsigned int uid) override;

    QObject* createWorker(const QString& className, unsigned int uid, unsigned int parentUid) override;
    QObject* worker(unsigned int uid) const override;
    void deleteAll() override;
};
