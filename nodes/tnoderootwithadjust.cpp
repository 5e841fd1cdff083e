#include "nodes/tnoderootwithadjust.h"

TNodeRootWithAdjust::TNodeRootWithAdjust(TImproc* parent, unsigned int uid)
    : TNodeRoot(parent, uid)
{
    m_params.insert(QStringLiteral("brightness"), 0.0);
    m_params.insert(QStringLiteral("contrast"), 0.0);
    finalizeTNodeClass(QStringLiteral("TNodeRoot"));
}
