#include "nodes/tnoderootworker.h"

TNodeRootWorker::TNodeRootWorker(unsigned int uid, unsigned int parentUid)
    : TNodeWorker(uid, parentUid)
{
}

TNodeRootWorker::~TNodeRootWorker() = default;

void TNodeRootWorker::prepareInput(const TSMat& input)
{
    m_input = input;
}

TSMat TNodeRootWorker::procSaveOutputReq(TImprocWorker*, const QUrl&, const QVariantMap&)
{
    return TSMat();
}

void TNodeRootWorker::procSaveQImage(TImprocWorker*, const QString&)
{
}
