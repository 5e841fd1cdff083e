#include "nodes/tnoderootwithadjust.h"

#include "nodes/tnoderootwithadjustworker.h"

TNodeRootWithAdjust::TNodeRootWithAdjust(TImproc* parent, unsigned int uid)
    : TNodeRoot(parent, uid)
{
    m_params.insert(QStringLiteral("brightness"), 0.0);
    m_params.insert(QStringLiteral("contrast"), 0.0);
    finalizeTNodeClass(QStringLiteral("TNodeRoot"));
}

TImprocWorker* TNodeRootWithAdjust::createImproc()
{
    return new TNodeRootWithAdjustWorker(0, 0);
}
