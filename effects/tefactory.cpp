#include "effects/tefactory.h"

QMap<QString, TEFactory::WorkerCreator> TEFactory::s_workerCreators;

bool TEFactory::registerWorkerClass(const QString& name, WorkerCreator createWorker)
{
    if (s_workerCreators.contains(name))
        return false;
    s_workerCreators.insert(name, std::move(createWorker));
    return true;
}

TEBaseWorker* TEFactory::createWorker(const QString& name, uint uid, uint parentUid)
{
    auto it = s_workerCreators.constFind(name);
    return (it == s_workerCreators.cend() || !*it) ? nullptr : (*it)(uid, parentUid);
}
