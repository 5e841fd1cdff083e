#include "nodes/tnodefactory.h"

#include "engine/tjson.h"

QMap<QString, TNodeFactory::NodeInfo> TNodeFactory::s_infos;

bool TNodeFactory::registerNodeClass(const QString& name, Creator creator, WorkerCreator workerCreator,
                                     const QUrl& guiQML, const TNodeInfo& info)
{
    if (s_infos.contains(name))
        return false;
    s_infos.insert(name, NodeInfo{std::move(creator), std::move(workerCreator), guiQML, info});
    TJson::keepPlainBlendModeFor(name);
    return true;
}

TNode* TNodeFactory::create(const QString& name, TImproc* parent, uint uid)
{
    auto it = s_infos.constFind(name);
    if (it == s_infos.cend() || !it->creator)
        return nullptr;
    return it->creator(parent, uid);
}

TNodeWorker* TNodeFactory::createNodeWorker(const QString& name, uint uid, int parentUid)
{
    auto it = s_infos.constFind(name);
    if (it == s_infos.cend() || !it->workerCreator)
        return nullptr;
    return it->workerCreator(uid, uint(parentUid));
}
