#include "nodes/tnodeenginehooks.h"

#include "engine/timprocworker.h"
#include "engine/timpserverthread.h"
#include "nodes/commands/tcmd_createnodewithuid.h"
#include "nodes/commands/tcmd_deletenodewithuid.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnoderootwithadjust.h"
#include "nodes/tnodeworker.h"

TImproc* TNodeEngineHooks::createRoot()
{
    return new TNodeRootWithAdjust;
}

TCmd* TNodeEngineHooks::createNodeCommand(const QString& className, unsigned int uid, unsigned int parentUid)
{
    return new TCmd_CreateNodeWithUid(className, uid, parentUid);
}

TCmd* TNodeEngineHooks::deleteNodeCommand(unsigned int uid)
{
    return new TCmd_DeleteNodeWithUid(uid);
}

QObject* TNodeEngineHooks::createWorker(const QString& className, unsigned int uid, unsigned int parentUid)
{
    return TNodeFactory::createNodeWorker(className, uid, int(parentUid));
}

QObject* TNodeEngineHooks::worker(unsigned int uid) const
{
    return TImprocWorker::ptr(uid);
}

void TNodeEngineHooks::deleteAll()
{
    TImprocWorker::clearWorkers();
}

namespace {
// Installed when the library loads, so the engine can make nodes before any host code runs.
const bool s_installed = [] {
    static TNodeEngineHooks hooks;
    TNodeModel::install(&hooks);
    TImpServerThread::registerWorkerFactory(TImpServerThread::WorkerFamily::Nodes, &hooks);
    return true;
}();
} // namespace
