#include "effects/teffectworkerfactory.h"

#include "effects/tebaseworker.h"
#include "effects/tefactory.h"
#include "engine/timpserverthread.h"

QObject* TEffectWorkerFactory::createWorker(const QString& className, unsigned int uid, unsigned int parentUid)
{
    return TEFactory::createWorker(className, uid, parentUid);
}

QObject* TEffectWorkerFactory::worker(unsigned int uid) const
{
    return TEBaseWorker::ptr(uid);
}

void TEffectWorkerFactory::deleteAll()
{
    TEBaseWorker::clear();
}

namespace {
const bool s_installed = [] {
    static TEffectWorkerFactory factory;
    TImpServerThread::registerWorkerFactory(TImpServerThread::WorkerFamily::Effects, &factory);
    return true;
}();
} // namespace
